// Item id lists in the platform's byte format: a sequence of items, each a 16-bit little-endian
// size that counts itself followed by that many bytes minus two, ended by a 16-bit zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace shell {

/// The first data byte of every item this namespace writes.
enum class TItemKind : std::uint8_t { Folder = 0x01, Other = 0x02 };

/// One item as this namespace writes it; Name views the list's own bytes.
struct TItem {
    TItemKind Kind;
    std::string_view Name;
};

/// The longest name of one path component, as the file systems of Linux allow it.
constexpr std::size_t kMaxItemName = 255;

class TItemIdList {
public:
    /// The empty list, which names the desktop.
    TItemIdList();

    /// Takes bytes from outside, checking every size field against what the bytes really hold
    /// and every item against the namespace's own form; empty when anything is wrong.
    static std::optional<TItemIdList> FromBytes(std::span<const std::uint8_t> bytes);
    /// A list of one item.
    static TItemIdList FromItem(TItemKind kind, std::string_view name);
    /// Whether a name can be one item: 1 to kMaxItemName bytes, no "/" or NUL, not "." or "..".
    static bool IsValidName(std::string_view name);

    /// The bytes in the platform's format, terminator included.
    std::span<const std::uint8_t> Bytes() const { return FBytes; }
    /// The size in bytes, terminator included, as ILGetSize reports it.
    std::size_t Size() const { return FBytes.size(); }
    bool Empty() const { return FBytes.size() == 2; }
    std::size_t Count() const;
    std::vector<TItem> Items() const;
    /// The last item; the list must not be empty.
    TItem Last() const;

    /// The list without its last item (the desktop's list stays empty).
    TItemIdList Parent() const;
    /// A list of the last item alone, as ILFindLastID finds it.
    TItemIdList LastItem() const;
    /// This list followed by tail, as ILCombine joins them.
    TItemIdList Join(const TItemIdList& tail) const;
    /// Appends one item; the name must satisfy IsValidName.
    void Append(TItemKind kind, std::string_view name);

    bool operator==(const TItemIdList& other) const = default;

private:
    std::vector<std::uint8_t> FBytes;
};

}  // namespace shell
