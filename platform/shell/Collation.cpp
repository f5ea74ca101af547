#include "platform/shell/Collation.h"

#include <unicode/ucol.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace shell {
namespace {

struct TCollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using TCollator = std::unique_ptr<UCollator, TCollatorCloser>;

struct TCollation {
    std::mutex Lock;
    bool Ready = false;
    std::string Override;
    std::string Locale;
    TCollator Natural;
    TCollator Alphabetical;
};

TCollation& Collation() {
    static TCollation collation;
    return collation;
}

// POSIX names carry a code set and a modifier ("de_DE.UTF-8@euro") that ICU does not want.
std::string IcuLocaleName(std::string name) {
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "root";
    return name;
}

std::string EnvironmentLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "C";
}

TCollator OpenCollator(const std::string& locale, bool numeric) {
    UErrorCode status = U_ZERO_ERROR;
    TCollator collator(ucol_open(locale.c_str(), &status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("root", &status));
        if (U_FAILURE(status))
            return nullptr;
    }
    // Secondary strength keeps accents apart but lets case go.
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &status);
    return U_FAILURE(status) ? nullptr : std::move(collator);
}

void Prepare(TCollation& collation) {
    if (collation.Ready)
        return;
    collation.Locale = IcuLocaleName(collation.Override.empty() ? EnvironmentLocale() : collation.Override);
    collation.Natural = OpenCollator(collation.Locale, true);
    collation.Alphabetical = OpenCollator(collation.Locale, false);
    collation.Ready = true;
}

int Compare(bool numeric, std::string_view a, std::string_view b) {
    TCollation& collation = Collation();
    std::lock_guard lock(collation.Lock);
    Prepare(collation);
    UCollator* collator = numeric ? collation.Natural.get() : collation.Alphabetical.get();
    if (collator != nullptr && a.size() <= INT32_MAX && b.size() <= INT32_MAX) {
        UErrorCode status = U_ZERO_ERROR;
        UCollationResult result =
            ucol_strcollUTF8(collator, a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
        if (U_SUCCESS(status))
            return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
    }
    // Without a collator the bytes decide, which is still a total order.
    return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

}  // namespace

int CompareNamesNaturally(std::string_view a, std::string_view b) { return Compare(true, a, b); }

int CompareNamesAlphabetically(std::string_view a, std::string_view b) { return Compare(false, a, b); }

void SetCollationLocale(const std::string& locale) {
    TCollation& collation = Collation();
    std::lock_guard lock(collation.Lock);
    collation.Override = locale;
    collation.Ready = false;
}

std::string CollationLocale() {
    TCollation& collation = Collation();
    std::lock_guard lock(collation.Lock);
    Prepare(collation);
    return collation.Locale;
}

}  // namespace shell
