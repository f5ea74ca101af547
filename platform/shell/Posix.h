// Owners of the POSIX handles the namespace opens, private to platform/shell.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace shell {

template <typename H, H Empty, auto Free>
class TUniqueHandle {
public:
    explicit TUniqueHandle(H handle = Empty) noexcept : FHandle(handle) {}
    TUniqueHandle(TUniqueHandle&& other) noexcept : FHandle(other.Release()) {}
    TUniqueHandle& operator=(TUniqueHandle other) noexcept {
        std::swap(FHandle, other.FHandle);
        return *this;
    }
    ~TUniqueHandle() {
        if (FHandle != Empty)
            Free(FHandle);
    }
    H Get() const noexcept { return FHandle; }
    H Release() noexcept { return std::exchange(FHandle, Empty); }
    explicit operator bool() const noexcept { return FHandle != Empty; }

private:
    H FHandle;
};

using TUniqueFd = TUniqueHandle<int, -1, close>;
using TUniqueDir = TUniqueHandle<DIR*, nullptr, closedir>;

/// Writes all of bytes, going on after short writes and interruptions; false with errno set.
inline bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

/// The next entry other than "." and "..", or nullptr at the end.
inline dirent* NextEntry(DIR* dir) {
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            return entry;
    }
    return nullptr;
}

}  // namespace shell
