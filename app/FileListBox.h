// The folder file list: a sorted list of the file names of one folder, which the thumbnail
// builder points at the folder selected in the tree and then reads in order. It is a list box
// that is never shown, so it lives here as plain code over the picture framework: entries,
// selection, the edit box that mirrors the selection, and the owner drawing of a row.
#pragma once

#include "graphics/Bitmap.h"
#include "graphics/Canvas.h"
#include "platform/base/Messages.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace app {

class TFileListBox;

/// The kinds of entry a file list shows.
enum class TFileAttr : std::uint8_t { ftReadOnly, ftHidden, ftSystem, ftVolumeID, ftDirectory, ftArchive, ftNormal };
constexpr TFileAttr ftReadOnly = TFileAttr::ftReadOnly;
constexpr TFileAttr ftHidden = TFileAttr::ftHidden;
constexpr TFileAttr ftSystem = TFileAttr::ftSystem;
constexpr TFileAttr ftVolumeID = TFileAttr::ftVolumeID;
constexpr TFileAttr ftDirectory = TFileAttr::ftDirectory;
constexpr TFileAttr ftArchive = TFileAttr::ftArchive;
constexpr TFileAttr ftNormal = TFileAttr::ftNormal;

/// A set of TFileAttr.
class TFileType {
public:
    constexpr TFileType() = default;
    constexpr TFileType(std::initializer_list<TFileAttr> members) {
        for (TFileAttr member : members)
            FBits = std::uint8_t(FBits | Bit(member));
    }
    constexpr bool Contains(TFileAttr member) const { return (FBits & Bit(member)) != 0; }
    constexpr bool operator==(const TFileType&) const = default;

private:
    static constexpr std::uint8_t Bit(TFileAttr member) { return std::uint8_t(1u << unsigned(member)); }
    std::uint8_t FBits = 0;
};

/// An edit box's text and selection, as far as a file list uses one.
class TEdit {
public:
    TEdit() = default;
    /// Clears the FileEdit of every list that still refers to this edit box.
    ~TEdit();
    TEdit(const TEdit&) = delete;
    TEdit& operator=(const TEdit&) = delete;

    const std::string& Text() const { return FText; }
    /// Replaces the text; the caret goes to its start with nothing selected.
    void SetText(const std::string& text);
    void SelectAll();
    /// The selection in characters (UTF-8 sequences), as an edit control counts them.
    int SelStart() const { return FSelStart; }
    int SelLength() const { return FSelLength; }

private:
    friend class TFileListBox;
    std::string FText;
    int FSelStart = 0;
    int FSelLength = 0;
    std::vector<TFileListBox*> FLinkedLists;
};

/// The mouse cursor shapes plain code asks for.
enum class TCursor { crDefault, crHourGlass };

/// The program's mouse cursor: plain code sets the shape, the window shows it.
class TScreenCursor {
public:
    TCursor Shape() const { return FShape; }
    /// Stores the shape and tells OnChange when it differs from the current one.
    void SetShape(TCursor shape);
    std::function<void(TCursor)> OnChange;

private:
    TCursor FShape = TCursor::crDefault;
};

/// The one cursor of the process.
TScreenCursor& ScreenCursor();

/// The parts of a path as the file list splits it: the folder to show and the name or pattern
/// after it.
struct TPathParts {
    std::string Folder;
    std::string File;
};

/// Splits a path into its folder and its last component. A last component that is neither a
/// pattern nor an existing file is taken for a folder and moved into the folder part; a text
/// in brackets ("[name]", a folder entry of the list) loses them first. A relative path is
/// taken from the current folder, so the folder part comes back absolute (unless the system
/// cannot tell the current folder); the current folder is only read. There are no drive letters
/// or server names here.
TPathParts SplitPath(const std::string& path);

class TFileListBox {
public:
    /// Shows the process's current folder once the entries are first asked for.
    TFileListBox();
    virtual ~TFileListBox();
    TFileListBox(const TFileListBox&) = delete;
    TFileListBox& operator=(const TFileListBox&) = delete;

    // Virtual operations added by the list, in slot order (the glyphs are made by the
    // constructor).
    /// Records the selection, mirrors it into FileEdit and calls OnChange.
    virtual void NotifyChange();
    /// Reads the folder again; nothing before the list's window exists.
    virtual void ReloadNames();
    /// FolderPath and the selected entry's text joined by "/", or "" with no entry selected.
    virtual std::string SelectedFilePath();
    /// Points the list at a folder, a file or a pattern. Raises EInvalidOperation with
    /// "不正なファイル名 - %s" (the whole path) when the folder cannot be opened for listing
    /// (missing, not a folder, or not readable), leaving FolderPath and the entries as they were,
    /// and when the last component names a file that is not there.
    virtual void ApplyPath(const std::string& path);

    /// The entries' texts in display order. Asking for them makes the list's window, as asking a
    /// list box for its entries does, so they are always read for FolderPath.
    const std::vector<std::string>& Items() const;
    int Count() const { return int(Items().size()); }
    /// The glyph attached to an entry (not owned), or nullptr.
    graphics::TBitmap* ItemGlyph(int index) const;

    /// The selected entry's index, or -1.
    int ItemIndex() const;
    /// Selects an entry as a user's pick does; an index outside the entries selects none.
    void SetItemIndex(int index);
    std::string SelectedFileName() const;
    /// Selects the entry named name (letter case aside, an entry of exactly that spelling
    /// first) and runs NotifyChange, unless it is the selected name already.
    void SelectFileName(const std::string& name);
    /// A click: OnClick, then NotifyChange when the selection moved since the last notice.
    void Click();

    const std::string& FolderPath() const { return FFolderPath; }
    /// Points the list at the folder (a relative path is taken from FolderPath, never from the
    /// process's current folder) and reads it, unless it is FolderPath already. FolderPath keeps
    /// the folder's absolute path with links resolved. Raises EInvalidOperation with
    /// "不正なファイル名 - %s" (the path) when the folder cannot be opened for listing, leaving
    /// FolderPath and the entries as they were.
    void SetFolderPath(const std::string& path);
    const std::string& Mask() const { return FMask; }
    void SetMask(const std::string& mask);
    TFileType FileType() const { return FFileType; }
    void SetFileType(TFileType fileType);
    bool ShowGlyphs() const { return FShowGlyphs; }
    void SetShowGlyphs(bool value);
    TEdit* FileEdit() const { return FFileEdit; }
    void SetFileEdit(TEdit* edit);

    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    /// The rows' font; a change of it makes the row height the font's cell height (at least the
    /// glyph height + 1 with glyphs shown).
    graphics::TFont& Font() { return FFont; }
    /// The rows' background.
    graphics::TColor Color = graphics::TColor(0x80000005u);

    /// Whether the list's window exists, and making it (which reads the folder).
    bool HandleAllocated() const { return FHandleAllocated; }
    void HandleNeeded();

    /// Paints one row as the list box's owner drawing: the list's colours (the highlight ones
    /// when selected), the background, with ShowGlyphs the entry's glyph, and the entry's text at
    /// the row's top, clipped to the row.
    void DrawItem(graphics::TCanvas& canvas, int index, const graphics::TRect& rect, bool selected);

    graphics::TBitmap& ExecutableGlyph() { return *FExecutableGlyph; }
    graphics::TBitmap& FolderGlyph() { return *FFolderGlyph; }
    graphics::TBitmap& UnknownFileGlyph() { return *FUnknownFileGlyph; }

    std::function<void(TFileListBox&)> OnChange;
    std::function<void(TFileListBox&)> OnClick;

private:
    friend class TEdit;
    /// SetFolderPath, naming shownPath in the error.
    void EnterFolder(const std::string& path, const std::string& shownPath);
    void LoadGlyphs();
    void MirrorIntoEdit();
    void FontChanged();
    int FindEntry(const std::string& name) const;

    std::string FFolderPath;
    std::string FMask = "*.*";
    TFileType FFileType{ftNormal};
    bool FShowGlyphs = false;
    TEdit* FFileEdit = nullptr;
    int FItemHeight = 16;
    graphics::TFont FFont;

    // The list's window: its entries and selection.
    bool FHandleAllocated = false;
    std::vector<std::string> FItems;
    std::vector<graphics::TBitmap*> FGlyphs;
    int FItemIndex = -1;
    int FLastSelection = -1;

    std::unique_ptr<graphics::TBitmap> FExecutableGlyph;
    std::unique_ptr<graphics::TBitmap> FFolderGlyph;
    std::unique_ptr<graphics::TBitmap> FUnknownFileGlyph;
};

}  // namespace app

// The file list's message, registered by the program's start-up (InitializeCodecs).
namespace res {
inline constexpr base::TMessage SInvalidFileName{65424, "不正なファイル名 - %s"};

inline constexpr base::TMessage kFileListMessages[] = {SInvalidFileName};
}  // namespace res
