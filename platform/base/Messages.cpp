#include "platform/base/Messages.h"

#include <cassert>
#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace base {
namespace {

// Read far more often than written: every message raised reads it, and only start-up writes.
class TMessageTable {
public:
    TMessageTable() { Add(res::kRuntimeMessages); }

    void Add(std::span<const TMessage> messages) {
        const std::unique_lock lock(FLock);
        for (const TMessage& message : messages) {
            [[maybe_unused]] const auto [it, added] = FTexts.emplace(message.Id, message.Text);
            assert((added || it->second == message.Text) && "two modules claim one message number");
        }
    }

    std::string Find(int id) const {
        const std::shared_lock lock(FLock);
        const auto it = FTexts.find(id);
        return it == FTexts.end() ? std::string() : std::string(it->second);
    }

private:
    mutable std::shared_mutex FLock;
    std::unordered_map<int, std::string_view> FTexts;
};

TMessageTable& Table() {
    static TMessageTable table;
    return table;
}

}  // namespace

void RegisterMessages(std::span<const TMessage> messages) { Table().Add(messages); }

std::string LoadStr(int id) { return Table().Find(id); }

std::string Format(const std::string& format, std::initializer_list<TFormatArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 == format.size()) {
            out += c;
            continue;
        }
        char directive = format[i + 1];
        if (directive == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (directive != 's' && directive != 'd' && directive != 'x') {
            out += c;
            continue;
        }
        bool used = false;
        if (next != args.end()) {
            if (directive == 's' && std::holds_alternative<std::string>(*next)) {
                out += std::get<std::string>(*next);
                used = true;
            } else if (directive != 's' && std::holds_alternative<long long>(*next)) {
                char number[32];
                long long value = std::get<long long>(*next);
                if (directive == 'd')
                    std::snprintf(number, sizeof number, "%lld", value);
                else
                    std::snprintf(number, sizeof number, "%llX", static_cast<unsigned long long>(value));
                out += number;
                used = true;
            }
        }
        if (used) {
            ++next;
        } else {
            out += c;
            out += directive;
        }
        ++i;
    }
    return out;
}

std::string FmtLoadStr(int id, std::initializer_list<TFormatArg> args) { return Format(LoadStr(id), args); }

}  // namespace base
