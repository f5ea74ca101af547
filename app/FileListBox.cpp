#include "app/FileListBox.h"

#include "platform/base/Messages.h"
#include "platform/gdi/Handles.h"
#include "platform/shell/Collation.h"
#include "platform/shell/FileSearch.h"
#include "platform/shell/Paths.h"

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace app {
namespace {

using graphics::TBitmap;
using graphics::TColor;

constexpr TColor kHighlightColor = TColor(0x80000000u | gdi::COLOR_HIGHLIGHT);
constexpr TColor kHighlightTextColor = TColor(0x80000000u | gdi::COLOR_HIGHLIGHTTEXT);
constexpr TColor kWindowTextColor = TColor(0x80000000u | gdi::COLOR_WINDOWTEXT);

// The position of an inserted entry at which a long listing shows the hourglass.
constexpr std::size_t kHourGlassPosition = 100;

// The glyph of a row's owner drawing sits this far from the row's left edge, and the text this
// far past the glyph's right edge (or at kGlyphLeft without a glyph).
constexpr int kGlyphLeft = 2;
constexpr int kTextAfterGlyph = 6;

constexpr int kGlyphSize = 16;
using TGlyphArt = std::array<const char*, kGlyphSize>;

// The glyphs' pictures, one letter per pixel. "." is the background; it fills the bottom-left
// corner, which the row drawing treats as transparent, and appears nowhere in the pictures.
constexpr TGlyphArt kExecutableArt = {
    "................",
    "................",
    "kkkkkkkkkkkkkkk.",
    "knnnnnnnnnnwkwk.",
    "knnnnnnnnnnkkkk.",
    "kkkkkkkkkkkkkkk.",
    "kwwwwwwwwwwwwwk.",
    "kwssssswwwwwwwk.",
    "kwwwwwwwwwwwwwk.",
    "kwssssssssswwwk.",
    "kwwwwwwwwwwwwwk.",
    "kwsssswwwwwwwwk.",
    "kwwwwwwwwwwwwwk.",
    "kkkkkkkkkkkkkkk.",
    "................",
    "................",
};

constexpr TGlyphArt kClosedFolderArt = {
    "................",
    "................",
    "................",
    ".kkkkk..........",
    "kyyyyyk.........",
    "kkkkkkkkkkkkkk..",
    "kyyyyyyyyyyyyok.",
    "kyyyyyyyyyyyyok.",
    "kyyyyyyyyyyyyok.",
    "kyyyyyyyyyyyyok.",
    "kyyyyyyyyyyyyok.",
    "kyyyyyyyyyyyyok.",
    "koooooooooooook.",
    "kkkkkkkkkkkkkkk.",
    "................",
    "................",
};

constexpr TGlyphArt kUnknownFileArt = {
    "................",
    "..kkkkkkkk......",
    "..kwwwwwwkk.....",
    "..kwwwwwwkwk....",
    "..kwwwwwwkkkk...",
    "..kwwwwwwwwwk...",
    "..kwggggggwwk...",
    "..kwwwwwwwwwk...",
    "..kwggggggwwk...",
    "..kwwwwwwwwwk...",
    "..kwggggwwwwk...",
    "..kwwwwwwwwwk...",
    "..kwwwwwwwwwk...",
    "..kkkkkkkkkkk...",
    "................",
    "................",
};

// Every row is a whole glyph wide, and the corner that decides transparency is background.
constexpr bool WellFormed(const TGlyphArt& art) {
    for (const char* row : art)
        if (std::char_traits<char>::length(row) != kGlyphSize)
            return false;
    return art[kGlyphSize - 1][0] == '.';
}
static_assert(WellFormed(kExecutableArt) && WellFormed(kClosedFolderArt) && WellFormed(kUnknownFileArt));

gdi::COLORREF ArtColor(char letter) {
    switch (letter) {
    case 'k': return gdi::RGB(0, 0, 0);
    case 'w': return gdi::RGB(255, 255, 255);
    case 's': return gdi::RGB(192, 192, 192);
    case 'g': return gdi::RGB(128, 128, 128);
    case 'n': return gdi::RGB(0, 0, 128);
    case 'y': return gdi::RGB(255, 255, 0);
    case 'o': return gdi::RGB(128, 128, 0);
    default: return gdi::RGB(0, 128, 128);  // the background
    }
}

std::unique_ptr<TBitmap> MakeGlyph(const TGlyphArt& art) {
    auto glyph = std::make_unique<TBitmap>();
    glyph->SetPixelFormat(graphics::px24Bit);
    glyph->SetWidth(kGlyphSize);
    glyph->SetHeight(kGlyphSize);
    for (int y = 0; y < kGlyphSize; ++y) {
        auto* row = static_cast<gdi::BYTE*>(glyph->ScanLine(y));
        for (int x = 0; x < kGlyphSize; ++x) {
            const gdi::COLORREF color = ArtColor(art[std::size_t(y)][x]);
            row[3 * x] = gdi::GetBValue(color);
            row[3 * x + 1] = gdi::GetGValue(color);
            row[3 * x + 2] = gdi::GetRValue(color);
        }
    }
    // Drawn with its bottom-left colour left out, the glyph keeps the row's background.
    glyph->SetTransparent(true);
    return glyph;
}

// The attribute word of a FileType: the platform bits of its members other than ftNormal,
// which has none.
int AttributeWord(TFileType fileType) {
    static constexpr std::pair<TFileAttr, int> kBits[] = {
        {ftReadOnly, shell::faReadOnly}, {ftHidden, shell::faHidden},       {ftSystem, shell::faSysFile},
        {ftVolumeID, shell::faVolumeID}, {ftDirectory, shell::faDirectory}, {ftArchive, shell::faArchive},
    };
    int word = 0;
    for (const auto& [member, bit] : kBits)
        if (fileType.Contains(member))
            word |= bit;
    return word;
}

bool IsProgramName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".pif";
}

int CharacterCount(const std::string& text) {
    return int(std::count_if(text.begin(), text.end(), [](char c) { return (std::uint8_t(c) & 0xC0) != 0x80; }));
}

// Puts the remembered cursor back on every way out of a listing.
class TCursorRestore {
public:
    TCursorRestore() : FSaved(ScreenCursor().Shape()) {}
    ~TCursorRestore() { ScreenCursor().SetShape(FSaved); }
    TCursorRestore(const TCursorRestore&) = delete;
    TCursorRestore& operator=(const TCursorRestore&) = delete;

private:
    TCursor FSaved;
};

// A name inside a folder; a folder the system could not tell leaves the name relative.
std::string InFolder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : shell::JoinPath(folder, name);
}

// An entry of a listing in progress: its text and the number of entries found before it.
using TArrival = std::pair<const std::string*, std::size_t>;

// The sorted list's order: alphabetical without regard to case, then by the names' bytes so
// that the order is total, then by arrival, which puts an entry after the equal ones already
// listed.
struct TListOrder {
    bool operator()(const TArrival& a, const TArrival& b) const {
        int order = shell::CompareNamesAlphabetically(*a.first, *b.first);
        if (order == 0)
            order = a.first->compare(*b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    }
};

// The order with each entry's position at its insertion, found in logarithmic time so that a
// folder of many thousand files lists as fast as it sorts.
using TSortedEntries = __gnu_pbds::tree<TArrival, __gnu_pbds::null_type, TListOrder, __gnu_pbds::rb_tree_tag,
                                        __gnu_pbds::tree_order_statistics_node_update>;

// The font's character height as the list's window measures it: the cell height of the face the
// font resolves to, through a canvas on a context of the screen.
int CharacterHeight(graphics::TFont& font) {
    // A memory context of the screen, given back on every path.
    gdi::TOwnedDC context(graphics::GDICheck(gdi::CreateCompatibleDC(nullptr)));
    // Made after the context, so it lets go of the context (and takes its font out) first.
    graphics::TCanvas canvas;
    canvas.SetHandle(context.Get());
    canvas.Font().Assign(&font);
    return canvas.TextHeight("0");
}

}  // namespace

// ---- TEdit and the cursor ----

TEdit::~TEdit() {
    for (TFileListBox* list : FLinkedLists)
        list->FFileEdit = nullptr;
}

void TEdit::SetText(const std::string& text) {
    FText = text;
    FSelStart = 0;
    FSelLength = 0;
}

void TEdit::SelectAll() {
    FSelStart = 0;
    FSelLength = CharacterCount(FText);
}

void TScreenCursor::SetShape(TCursor shape) {
    if (shape == FShape)
        return;
    FShape = shape;
    if (OnChange)
        OnChange(shape);
}

TScreenCursor& ScreenCursor() {
    static TScreenCursor cursor;
    return cursor;
}

// ---- SplitPath ----

TPathParts SplitPath(const std::string& path) {
    std::string folder = path;
    // A folder entry of the list comes in brackets.
    if (folder.size() >= 2 && folder.front() == '[' && folder.back() == ']')
        folder = folder.substr(1, folder.size() - 2);

    const std::size_t slash = folder.rfind('/');
    std::string file = slash == std::string::npos ? folder : folder.substr(slash + 1);
    if (folder.size() == file.size() + 1) {
        folder.assign(1, '/');
    } else if (folder.size() > file.size() + 1) {
        folder.resize(folder.size() - file.size() - 1);
        // Only a relative name needs the current folder, and it is read once, never changed.
        if (folder.front() != '/')
            folder = InFolder(shell::GetCurrentDir(), folder);
    } else {
        // A bare name lies in the current folder.
        folder = shell::GetCurrentDir();
        if (folder.empty())
            folder.assign(1, '/');
    }
    if (!file.empty() && !shell::HasWildcards(file) && !shell::FileExists(InFolder(folder, file))) {
        folder = shell::JoinPath(folder, file);
        file.clear();
    }
    return {folder, file};
}

// ---- TFileListBox ----

TFileListBox::TFileListBox() : FFolderPath(shell::GetCurrentDir()) {
    // A list made by itself (outside the program's start-up) still has its messages to raise.
    static const bool registered = (base::RegisterMessages(res::kFileListMessages), true);
    (void)registered;
    LoadGlyphs();
    FFont.OnChange = [this](graphics::TGraphicsObject*) { FontChanged(); };
}

TFileListBox::~TFileListBox() {
    if (FFileEdit != nullptr)
        std::erase(FFileEdit->FLinkedLists, this);
}

void TFileListBox::LoadGlyphs() {
    FExecutableGlyph = MakeGlyph(kExecutableArt);
    FFolderGlyph = MakeGlyph(kClosedFolderArt);
    FUnknownFileGlyph = MakeGlyph(kUnknownFileArt);
}

void TFileListBox::HandleNeeded() {
    if (FHandleAllocated)
        return;
    FHandleAllocated = true;
    ReloadNames();
}

const std::vector<std::string>& TFileListBox::Items() const {
    // A list is a control and never a const object, so making its window from a reader that
    // only holds it as const is sound; the entries then describe FolderPath as they must.
    const_cast<TFileListBox*>(this)->HandleNeeded();
    return FItems;
}

graphics::TBitmap* TFileListBox::ItemGlyph(int index) const {
    const std::vector<std::string>& items = Items();
    return index >= 0 && std::size_t(index) < items.size() ? FGlyphs[std::size_t(index)] : nullptr;
}

int TFileListBox::ItemIndex() const {
    Items();
    return FItemIndex;
}

void TFileListBox::SetItemIndex(int index) {
    const std::vector<std::string>& items = Items();
    FItemIndex = index >= 0 && std::size_t(index) < items.size() ? index : -1;
}

std::string TFileListBox::SelectedFileName() const {
    const int index = ItemIndex();
    return index >= 0 ? FItems[std::size_t(index)] : std::string();
}

int TFileListBox::FindEntry(const std::string& name) const {
    const std::vector<std::string>& items = Items();
    // Two names that differ only in case are two files here; the one spelt exactly wins.
    auto exact = std::find(items.begin(), items.end(), name);
    if (exact != items.end())
        return int(exact - items.begin());
    auto folded = std::find_if(items.begin(), items.end(),
                               [&](const std::string& item) { return shell::SameFileName(item, name); });
    return folded != items.end() ? int(folded - items.begin()) : -1;
}

void TFileListBox::SelectFileName(const std::string& name) {
    const std::string selected = SelectedFileName();
    if (selected == name)
        return;
    const int index = FindEntry(name);
    if (shell::SameFileName(selected, name) && (index < 0 || FItems[std::size_t(index)] != name))
        return;
    FItemIndex = index;
    NotifyChange();
}

void TFileListBox::Click() {
    if (OnClick)
        OnClick(*this);
    if (ItemIndex() != FLastSelection)
        NotifyChange();
}

void TFileListBox::MirrorIntoEdit() {
    if (FFileEdit == nullptr)
        return;
    FFileEdit->SetText(ItemIndex() < 0 ? FMask : SelectedFileName());
    FFileEdit->SelectAll();
}

void TFileListBox::NotifyChange() {
    FLastSelection = ItemIndex();
    MirrorIntoEdit();
    if (OnChange)
        OnChange(*this);
}

void TFileListBox::ReloadNames() {
    if (!FHandleAllocated)
        return;
    const int attrWord = AttributeWord(FFileType);
    const bool everyKind = FFileType.Contains(ftNormal);
    FItems.clear();
    FGlyphs.clear();
    FItemIndex = -1;

    struct TFound {
        std::string Text;
        TBitmap* Glyph;
    };
    // A deque keeps every text where it is while the order refers to it.
    std::deque<TFound> found;
    TSortedEntries order;
    {
        const TCursorRestore restoreCursor;
        std::size_t begin = 0;
        for (;;) {
            const std::size_t end = std::min(FMask.find(';', begin), FMask.size());
            // The folder is named in every search: the process's current folder is not the list's.
            for (shell::TFileSearch search(InFolder(FFolderPath, FMask.substr(begin, end - begin)), attrWord);
                 search.Found(); search.Next()) {
                const shell::TSearchRec& entry = search.Current();
                if (!everyKind && (entry.Attr & attrWord) == 0)
                    continue;
                if ((entry.Attr & shell::faDirectory) != 0)
                    found.push_back({"[" + entry.Name + "]", FShowGlyphs ? FFolderGlyph.get() : nullptr});
                else
                    found.push_back({entry.Name, IsProgramName(entry.Name) ? FExecutableGlyph.get()
                                                                           : FUnknownFileGlyph.get()});
                const TArrival arrival(&found.back().Text, found.size() - 1);
                order.insert(arrival);
                if (order.order_of_key(arrival) == kHourGlassPosition)
                    ScreenCursor().SetShape(TCursor::crHourGlass);
            }
            if (end == FMask.size())
                break;
            begin = end + 1;
        }
    }
    FItems.reserve(found.size());
    FGlyphs.reserve(found.size());
    for (const TArrival& arrival : order) {
        // Nothing compares entries any more, so the texts can move out from under the order.
        FItems.push_back(std::move(found[arrival.second].Text));
        FGlyphs.push_back(found[arrival.second].Glyph);
    }
    NotifyChange();
}

std::string TFileListBox::SelectedFilePath() {
    const std::string name = SelectedFileName();
    if (ItemIndex() < 0)
        return std::string();
    if (!FFolderPath.empty() && FFolderPath.back() == '/')
        return FFolderPath + name;
    return FFolderPath + "/" + name;
}

void TFileListBox::SetFolderPath(const std::string& path) { EnterFolder(path, path); }

void TFileListBox::EnterFolder(const std::string& path, const std::string& shownPath) {
    // A relative path is taken from the list's folder, not from wherever the process stands.
    const std::string absolute = path.empty() || path.front() == '/' ? path : InFolder(FFolderPath, path);
    if (shell::SamePath(absolute, FFolderPath))
        return;
    // A folder that cannot be listed is refused as a missing one is; taking any other folder's
    // entries instead would show them under this folder's path.
    const std::optional<std::string> folder = shell::ResolveFolder(absolute);
    if (!folder)
        throw EInvalidOperation(base::FmtLoadStr(res::SInvalidFileName, {shownPath}));
    FFolderPath = *folder;
    ReloadNames();
}

void TFileListBox::SetMask(const std::string& mask) {
    if (mask == FMask)
        return;
    FMask = mask;
    ReloadNames();
}

void TFileListBox::SetFileType(TFileType fileType) {
    if (fileType == FFileType)
        return;
    FFileType = fileType;
    ReloadNames();
}

void TFileListBox::ApplyPath(const std::string& path) {
    if (path.empty() || shell::SamePath(SelectedFilePath(), path))
        return;
    const TPathParts parts = SplitPath(path);
    EnterFolder(parts.Folder, path);
    if (shell::HasWildcards(parts.File)) {
        SetMask(parts.File);
    } else if (!parts.File.empty()) {
        SelectFileName(parts.File);
        if (!shell::FileExists(InFolder(FFolderPath, parts.File)))
            throw EInvalidOperation(base::FmtLoadStr(res::SInvalidFileName, {path}));
        if (SelectedFileName().empty()) {
            SetMask(parts.File);
            SelectFileName(parts.File);
        }
    }
}

void TFileListBox::SetShowGlyphs(bool value) {
    FShowGlyphs = value;
    if (FShowGlyphs && FItemHeight < FExecutableGlyph->Height() + 1)
        FItemHeight = FExecutableGlyph->Height() + 1;
}

void TFileListBox::SetFileEdit(TEdit* edit) {
    if (edit == FFileEdit)
        return;
    if (FFileEdit != nullptr)
        std::erase(FFileEdit->FLinkedLists, this);
    FFileEdit = edit;
    if (FFileEdit != nullptr) {
        FFileEdit->FLinkedLists.push_back(this);
        MirrorIntoEdit();
    }
}

void TFileListBox::SetItemHeight(int value) {
    if (value > 0)
        FItemHeight = value;
}

void TFileListBox::FontChanged() {
    int height = CharacterHeight(FFont);
    if (FShowGlyphs)
        height = std::max(height, FExecutableGlyph->Height() + 1);
    SetItemHeight(height);
}

void TFileListBox::DrawItem(graphics::TCanvas& canvas, int index, const graphics::TRect& rect, bool selected) {
    canvas.Font().Assign(&FFont);
    canvas.Font().SetColor(selected ? kHighlightTextColor : kWindowTextColor);
    canvas.Brush().SetStyle(graphics::TBrushStyle::bsSolid);
    canvas.Brush().SetColor(selected ? kHighlightColor : Color);
    canvas.FillRect(rect);
    if (index < 0 || index >= Count())
        return;
    TBitmap* glyph = FShowGlyphs ? ItemGlyph(index) : nullptr;
    int textLeft = rect.left + kGlyphLeft;
    if (glyph != nullptr) {
        canvas.Draw(rect.left + kGlyphLeft, rect.top + (rect.bottom - rect.top - glyph->Height()) / 2, glyph);
        textLeft += glyph->Width() + kTextAfterGlyph;
    }
    // The name goes over the row's own background and never spills into the next row.
    canvas.Brush().SetStyle(graphics::TBrushStyle::bsClear);
    canvas.TextRect(rect, textLeft, rect.top, Items()[std::size_t(index)]);
}

}  // namespace app
