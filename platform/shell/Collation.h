// Name ordering by the user's locale. Folders in the tree follow a file manager's order (digit
// runs compared by value); the file list orders alphabetically. Both ignore letter case.
#pragma once

#include <string>
#include <string_view>

namespace shell {

/// Negative, zero or positive: the file manager's order, case-insensitive, with "file2" before
/// "file10". Names that differ only in case (or in the leading zeros of a number) compare equal.
int CompareNamesNaturally(std::string_view a, std::string_view b);

/// Negative, zero or positive: alphabetical and case-insensitive, digits one by one.
int CompareNamesAlphabetically(std::string_view a, std::string_view b);

/// The locale both orders follow, as an ICU or POSIX locale name ("de_DE.UTF-8", "sv"). Empty
/// goes back to the environment's (LC_ALL, then LC_COLLATE, then LANG; "C" and "POSIX" mean the
/// language-neutral order).
void SetCollationLocale(const std::string& locale);

/// The ICU locale name in use ("root" for the language-neutral order).
std::string CollationLocale();

}  // namespace shell
