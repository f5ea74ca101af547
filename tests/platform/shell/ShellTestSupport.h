// Temporary folders and environment settings for the tests of the folder namespace and the tree.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

namespace shelltest {

/// A folder of its own under the system's temporary folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vistel-shell-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = std::filesystem::canonical(pattern).string();
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::string& Path() const { return FPath; }
    std::string operator/(const std::string& relative) const { return FPath + "/" + relative; }

    /// Makes a folder and its missing parents; returns its path.
    std::string Folder(const std::string& relative) const {
        std::filesystem::create_directories(*this / relative);
        return *this / relative;
    }
    /// Writes a file (making its folder); returns its path.
    std::string File(const std::string& relative, const std::string& contents = "data") const {
        std::string path = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

private:
    std::string FPath;
};

/// Sets (or, with nullopt, removes) an environment variable and puts the old value back.
class TScopedEnv {
public:
    TScopedEnv(std::string name, const std::optional<std::string>& value) : FName(std::move(name)) {
        if (const char* old = std::getenv(FName.c_str()))
            FOld = old;
        if (value)
            setenv(FName.c_str(), value->c_str(), 1);
        else
            unsetenv(FName.c_str());
    }
    ~TScopedEnv() {
        if (FOld)
            setenv(FName.c_str(), FOld->c_str(), 1);
        else
            unsetenv(FName.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FOld;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

inline bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// ---- Folders this process may not read ----
//
// Tests run as root, and root reads every folder, so a folder is made unreadable for real: a child
// process drops to an unprivileged user before it looks. Without root the folder's own mode
// keeps this process out already.

/// The user and group an unreadable folder is checked as when the tests run as root.
constexpr uid_t kUnprivilegedId = 65534;

/// Makes the folder one that RunUnprivileged's check may not open: mode 0700 for root's folder
/// (the check runs as another user), mode 0 otherwise.
inline void LockFolder(const std::string& path) {
    ::chmod(path.c_str(), ::geteuid() == 0 ? 0700 : 0);
}

/// Opens the folder (and every folder above it) to everyone, as a shared folder would be, so
/// that only a locked folder below it keeps anyone out. mkdtemp makes its folders private.
inline void ShareFolder(const std::string& path) { ::chmod(path.c_str(), 0755); }

/// Undoes LockFolder so the folder can be removed without root.
inline void UnlockFolder(const std::string& path) { ::chmod(path.c_str(), 0755); }

/// Whether opening the folder fails with EACCES for the calling process: the premise of every
/// check of an unreadable folder, tested first so a check cannot pass for the wrong reason.
inline bool CannotOpen(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (dir != nullptr) {
        ::closedir(dir);
        return false;
    }
    return errno == EACCES;
}

/// Runs check in a child process, as the unprivileged user when the tests run as root, and
/// returns its result: 0 when every expectation held, another value naming the first that did
/// not (the check prints why on stderr). GoogleTest's assertions do not reach the parent from a
/// child, so the check reports through its exit status only.
inline int RunUnprivileged(const std::function<int()>& check) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 0;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)) {
            code = 120;
        } else {
            try {
                code = check();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "unexpected exception: %s\n", e.what());
                code = 121;
            } catch (...) {
                code = 122;
            }
        }
        std::fflush(nullptr);
        ::_exit(code);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace shelltest
