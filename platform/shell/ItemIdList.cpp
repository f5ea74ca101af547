#include "platform/shell/ItemIdList.h"

#include <cassert>

namespace shell {
namespace {

// A size field, the kind byte and at least one name byte.
constexpr std::size_t kMinItemSize = 4;
constexpr std::size_t kSizeField = 2;

std::size_t ReadSize(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::size_t(bytes[at]) | std::size_t(bytes[at + 1]) << 8;
}

bool IsValidItem(std::span<const std::uint8_t> item) {
    if (item.size() < kMinItemSize)
        return false;
    auto kind = TItemKind(item[kSizeField]);
    if (kind != TItemKind::Folder && kind != TItemKind::Other)
        return false;
    auto name = item.subspan(kSizeField + 1);
    return TItemIdList::IsValidName(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
}

// Calls visit(offset, size) for each item of a list that is known to be well formed.
template <typename F>
void ForEachItem(std::span<const std::uint8_t> bytes, F visit) {
    std::size_t at = 0;
    while (at + kSizeField <= bytes.size()) {
        std::size_t size = ReadSize(bytes, at);
        if (size == 0 || size > bytes.size() - at)
            return;
        visit(at, size);
        at += size;
    }
}

TItem ItemAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    const char* name = reinterpret_cast<const char*>(bytes.data() + at + kSizeField + 1);
    return TItem{TItemKind(bytes[at + kSizeField]), std::string_view(name, size - kSizeField - 1)};
}

}  // namespace

TItemIdList::TItemIdList() : FBytes{0, 0} {}

std::optional<TItemIdList> TItemIdList::FromBytes(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    for (;;) {
        if (bytes.size() - at < kSizeField)
            return std::nullopt;
        std::size_t size = ReadSize(bytes, at);
        if (size == 0)
            break;
        if (size > bytes.size() - at || !IsValidItem(bytes.subspan(at, size)))
            return std::nullopt;
        at += size;
    }
    // Bytes after the terminator belong to no item; the list ends where its terminator is.
    TItemIdList list;
    list.FBytes.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(at + kSizeField));
    return list;
}

TItemIdList TItemIdList::FromItem(TItemKind kind, std::string_view name) {
    TItemIdList list;
    list.Append(kind, name);
    return list;
}

bool TItemIdList::IsValidName(std::string_view name) {
    if (name.empty() || name.size() > kMaxItemName || name == "." || name == "..")
        return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::size_t TItemIdList::Count() const {
    std::size_t count = 0;
    ForEachItem(FBytes, [&](std::size_t, std::size_t) { ++count; });
    return count;
}

std::vector<TItem> TItemIdList::Items() const {
    std::vector<TItem> items;
    ForEachItem(FBytes, [&](std::size_t at, std::size_t size) { items.push_back(ItemAt(FBytes, at, size)); });
    return items;
}

TItem TItemIdList::Last() const {
    assert(!Empty());
    std::size_t lastAt = 0, lastSize = 0;
    ForEachItem(FBytes, [&](std::size_t at, std::size_t size) { lastAt = at, lastSize = size; });
    return ItemAt(FBytes, lastAt, lastSize);
}

TItemIdList TItemIdList::Parent() const {
    TItemIdList parent;
    std::size_t lastAt = 0;
    ForEachItem(FBytes, [&](std::size_t at, std::size_t) { lastAt = at; });
    parent.FBytes.assign(FBytes.begin(), FBytes.begin() + std::ptrdiff_t(lastAt));
    parent.FBytes.insert(parent.FBytes.end(), {0, 0});
    return parent;
}

TItemIdList TItemIdList::LastItem() const {
    if (Empty())
        return {};
    TItem last = Last();
    return FromItem(last.Kind, last.Name);
}

TItemIdList TItemIdList::Join(const TItemIdList& tail) const {
    TItemIdList joined;
    joined.FBytes.assign(FBytes.begin(), FBytes.end() - kSizeField);
    joined.FBytes.insert(joined.FBytes.end(), tail.FBytes.begin(), tail.FBytes.end());
    return joined;
}

void TItemIdList::Append(TItemKind kind, std::string_view name) {
    assert(IsValidName(name));
    // A valid name is at most kMaxItemName bytes, so the item's size fits its 16-bit field.
    std::size_t size = kSizeField + 1 + name.size();
    FBytes.resize(FBytes.size() - kSizeField);
    FBytes.push_back(std::uint8_t(size & 0xFF));
    FBytes.push_back(std::uint8_t(size >> 8));
    FBytes.push_back(std::uint8_t(kind));
    FBytes.insert(FBytes.end(), name.begin(), name.end());
    FBytes.insert(FBytes.end(), {0, 0});
}

}  // namespace shell
