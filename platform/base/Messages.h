// The string table: every message the system shows is looked up by its resource number, and
// texts with "%s", "%d" or "%x" are formatted with their arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

namespace base {

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

// Resource numbers of the runtime's own messages. Other modules number theirs beside their code,
// and the texts all live in the one table of Messages.cpp.
namespace res {
constexpr int SReadError = 64000;
constexpr int SWriteError = 64001;
constexpr int SFOpenError = 64002;
constexpr int SFCreateError = 64003;
constexpr int SInvalidCast = 64004;
constexpr int SAbstractError = 64005;
constexpr int SOperationAborted = 64006;
constexpr int SOSError = 64007;
constexpr int SUnknownOSError = 64008;
constexpr int SOutOfMemory = 64009;
constexpr int SAssignError = 65445;
}  // namespace res
