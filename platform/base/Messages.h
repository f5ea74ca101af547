// The string table: every message the system shows is looked up by its resource number, and
// texts with "%s", "%d" or "%x" are formatted with their arguments. Each module declares its
// messages beside its code, one record per message, and adds them to the table at start-up; the
// runtime's own messages below are in the table from the start.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace base {

/// One message: its resource number and its text. It stands for its number wherever a number
/// is expected, so `LoadStr(res::SReadError)` reads the table.
struct TMessage {
    int Id;
    std::string_view Text;
    constexpr operator int() const noexcept { return Id; }
};

/// Whether no two records of the list share a number; modules check their lists with it at
/// compile time.
constexpr bool HasDistinctIds(std::span<const TMessage> messages) {
    for (std::size_t i = 0; i < messages.size(); ++i)
        for (std::size_t j = i + 1; j < messages.size(); ++j)
            if (messages[i].Id == messages[j].Id)
                return false;
    return true;
}

/// Adds a module's messages to the table. Registering the same records again (a start-up after
/// a shutdown) changes nothing, and the table may be read from any thread meanwhile. The texts
/// must outlive the process's use of the table, as string literals do. A number the table
/// already holds with another text is a programming error: it asserts, and the first text stays.
void RegisterMessages(std::span<const TMessage> messages);

/// The text of a resource number; empty for a number the table does not hold.
std::string LoadStr(int id);

using TFormatArg = std::variant<std::string, long long>;

/// Replaces each "%s", "%d" and "%x" of the format, in order, by the next argument ("%%" is a
/// percent sign). A missing or mismatched argument leaves its directive as written, so a faulty
/// message is still readable rather than a crash.
std::string Format(const std::string& format, std::initializer_list<TFormatArg> args);

/// LoadStr followed by Format.
std::string FmtLoadStr(int id, std::initializer_list<TFormatArg> args);

}  // namespace base

// Resource numbers and texts of the runtime's own messages. Other modules declare theirs beside
// their code and register them from their start-up.
namespace res {
inline constexpr base::TMessage SReadError{64000, "ストリームの読み込みエラー"};
inline constexpr base::TMessage SWriteError{64001, "ストリームの書き込みエラー"};
inline constexpr base::TMessage SFOpenError{64002, "ファイル %s は開けません"};
inline constexpr base::TMessage SFCreateError{64003, "ファイル %s を作成できません"};
inline constexpr base::TMessage SInvalidCast{64004, "型キャストが正しくありません"};
inline constexpr base::TMessage SAbstractError{64005, "抽象メソッドが呼び出されました"};
inline constexpr base::TMessage SOperationAborted{64006, "操作は中止されました"};
inline constexpr base::TMessage SOSError{64007, "システム エラー (コード %d): %s"};
inline constexpr base::TMessage SUnknownOSError{64008, "原因不明のシステム エラーです"};
inline constexpr base::TMessage SOutOfMemory{64009, "メモリが足りません"};
inline constexpr base::TMessage SAssignError{65445, "%s を %s に代入することはできません"};

/// Every message of the runtime; the table holds them before anything is registered.
inline constexpr base::TMessage kRuntimeMessages[] = {
    SReadError,        SWriteError, SFOpenError,     SFCreateError,   SInvalidCast, SAbstractError,
    SOperationAborted, SOSError,    SUnknownOSError, SOutOfMemory,    SAssignError,
};
static_assert(base::HasDistinctIds(kRuntimeMessages));
}  // namespace res
