#include "png/PngErrors.h"

#include <array>
#include <memory>

namespace png {
namespace {

using TStatusTexts = std::array<const char*, 9>;

// Indexed by the zlib status code + 6.
constexpr TStatusTexts kStatusTexts = {
    "incompatible version (-6)", "buffer error (-5)", "insufficient memory (-4)",
    "data error (-3)",           "stream error (-2)", "file error (-1)",
    "(0)",                       "stream end (1)",    "need dictionary (2)",
};

std::unique_ptr<TStatusTexts>& StatusTable() {
    static std::unique_ptr<TStatusTexts> table;
    return table;
}

}  // namespace

void CreateZlibStatusTexts() {
    if (!StatusTable())
        StatusTable() = std::make_unique<TStatusTexts>(kStatusTexts);
}

void ReleaseZlibStatusTexts() { StatusTable().reset(); }

std::string ZlibStatusText(int code) {
    if (code < -6 || code > 2)
        return std::string();
    CreateZlibStatusTexts();
    return (*StatusTable())[std::size_t(code + 6)];
}

}  // namespace png
