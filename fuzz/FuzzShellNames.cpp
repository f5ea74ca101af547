// Feeds the folder namespace the bytes it takes from outside: the clipboard's URI list, item id
// lists handed over as raw bytes, and name bytes shown as text. The first byte picks the reader.
#include "platform/shell/FileOperations.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void UriList(std::string_view text) {
    for (const std::string& path : shell::ParseUriList(text)) {
        Check(!path.empty() && path.front() == '/');
        Check(path.find('\0') == std::string::npos && path.find("//") == std::string::npos);
        Check(path == "/" || path.back() != '/');
    }
}

void IdList(const std::uint8_t* data, std::size_t size) {
    auto list = shell::TItemIdList::FromBytes({data, size});
    if (!list)
        return;
    // What was accepted reads back the same, whole and item by item.
    auto again = shell::TItemIdList::FromBytes(list->Bytes());
    Check(again && *again == *list);
    shell::TItemIdList rebuilt;
    for (const shell::TItem& item : list->Items())
        rebuilt.Append(item.Kind, item.Name);
    Check(rebuilt == *list);
    if (!list->Empty())
        Check(list->Parent().Join(list->LastItem()) == *list);
    shell::PathFromIdList(*list);
    shell::STRRET name;
    name.uType = shell::STRRET_OFFSET;
    std::string text;
    for (std::size_t offset = 0; offset <= list->Size() && offset < 512; ++offset) {
        name.uOffset = shell::UINT(offset);
        shell::StrRetToStrA(name, *list, text);
    }
}

void DisplayName(std::string_view bytes) {
    std::string shown = shell::DisplayNameFromBytes(bytes);
    // Valid UTF-8 passes unchanged, so showing what was shown changes nothing.
    Check(shell::DisplayNameFromBytes(shown) == shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        UriList(text);
        break;
    case 1:
        IdList(data + 1, size - 1);
        break;
    default:
        DisplayName(text);
        break;
    }
    return 0;
}
