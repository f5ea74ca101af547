// The folder namespace: the shell's folder interface, item id lists and special folders, with the
// platform's names, constants and result codes, provided over the Linux file system.
//
// Choices made where the platform's documentation leaves room, or where Linux differs:
// - The desktop is the root of the namespace and stands for the file system's root "/". Its item
//   id list is empty; every other item is reached from it by one item per path component, so a
//   full item id list is an absolute path taken apart.
// - Each item of a list carries one kind byte (folder or other) and the component's name bytes,
//   without a terminator; names are byte strings and are shown as UTF-8 (invalid sequences become
//   U+FFFD in display names, never in parsing names, which are the real paths).
// - Hidden means the name starts with "."; folders are directories, symbolic links followed.
// - Item comparison puts folders before other items, then orders names with the user's locale,
//   case-insensitively, digit runs by value; names that collate equal are ordered by their bytes,
//   so that only the same item compares equal.
// - Interfaces are shared or owned through smart pointers instead of reference counts; item id
//   lists are values that own their bytes, so no shell allocator is involved.
#pragma once

#include "platform/shell/ItemIdList.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using SFGAOF = ULONG;
using SHCONTF = ULONG;
using SHGDNF = ULONG;
using LPARAM = std::intptr_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr unsigned HRESULT_CODE(HRESULT hr) { return unsigned(hr) & 0xFFFFu; }
constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code) {
    return HRESULT((severity << 31) | (facility << 16) | code);
}

// The platform's error codes that the namespace reports, wrapped as HRESULT_FROM_WIN32 does.
constexpr unsigned ERROR_FILE_NOT_FOUND = 2;
constexpr unsigned ERROR_PATH_NOT_FOUND = 3;
constexpr unsigned ERROR_ACCESS_DENIED = 5;
constexpr unsigned ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr unsigned ERROR_NOT_SAME_DEVICE = 17;
constexpr unsigned ERROR_WRITE_PROTECT = 19;
constexpr unsigned ERROR_GEN_FAILURE = 31;
constexpr unsigned ERROR_NOT_SUPPORTED = 50;
constexpr unsigned ERROR_FILE_EXISTS = 80;
constexpr unsigned ERROR_INVALID_PARAMETER = 87;
constexpr unsigned ERROR_DISK_FULL = 112;
constexpr unsigned ERROR_INVALID_NAME = 123;
constexpr unsigned ERROR_DIR_NOT_EMPTY = 145;
constexpr unsigned ERROR_BUSY = 170;
constexpr unsigned ERROR_ALREADY_EXISTS = 183;
constexpr unsigned ERROR_FILENAME_EXCED_RANGE = 206;
constexpr unsigned ERROR_DIRECTORY = 267;
constexpr unsigned ERROR_CANT_RESOLVE_FILENAME = 1921;
constexpr HRESULT HRESULT_FROM_WIN32(unsigned code) {
    return code == 0 ? S_OK : MAKE_HRESULT(1, 7, code & 0xFFFFu);
}
/// The result for an errno value of the file system.
HRESULT ResultFromErrno(int error);

// Attribute bits (SFGAO_*).
constexpr SFGAOF SFGAO_CANCOPY = 0x00000001;
constexpr SFGAOF SFGAO_CANMOVE = 0x00000002;
constexpr SFGAOF SFGAO_CANRENAME = 0x00000010;
constexpr SFGAOF SFGAO_CANDELETE = 0x00000020;
constexpr SFGAOF SFGAO_DROPTARGET = 0x00000100;
constexpr SFGAOF SFGAO_LINK = 0x00010000;
constexpr SFGAOF SFGAO_SHARE = 0x00020000;
constexpr SFGAOF SFGAO_READONLY = 0x00040000;
constexpr SFGAOF SFGAO_HIDDEN = 0x00080000;
constexpr SFGAOF SFGAO_STREAM = 0x00400000;
constexpr SFGAOF SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr SFGAOF SFGAO_FOLDER = 0x20000000;
constexpr SFGAOF SFGAO_FILESYSTEM = 0x40000000;
constexpr SFGAOF SFGAO_HASSUBFOLDER = 0x80000000;

// Enumeration flags (SHCONTF_*).
constexpr SHCONTF SHCONTF_FOLDERS = 0x0020;
constexpr SHCONTF SHCONTF_NONFOLDERS = 0x0040;
constexpr SHCONTF SHCONTF_INCLUDEHIDDEN = 0x0080;

// Display name flags (SHGDN_*).
constexpr SHGDNF SHGDN_NORMAL = 0x0000;
constexpr SHGDNF SHGDN_INFOLDER = 0x0001;
constexpr SHGDNF SHGDN_FOREDITING = 0x1000;
constexpr SHGDNF SHGDN_FORADDRESSBAR = 0x4000;
constexpr SHGDNF SHGDN_FORPARSING = 0x8000;

/// CompareIDs: compare the canonical identity only (bytes), not the display order.
constexpr LPARAM SHCIDS_CANONICALONLY = 0x10000000;

// Special folders (CSIDL_*), the numbers the platform gives them.
constexpr int CSIDL_DESKTOP = 0;
constexpr int CSIDL_INTERNET = 1;
constexpr int CSIDL_PROGRAMS = 2;
constexpr int CSIDL_CONTROLS = 3;
constexpr int CSIDL_PRINTERS = 4;
constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_FAVORITES = 6;
constexpr int CSIDL_STARTUP = 7;
constexpr int CSIDL_RECENT = 8;
constexpr int CSIDL_SENDTO = 9;
constexpr int CSIDL_BITBUCKET = 10;
constexpr int CSIDL_STARTMENU = 11;
constexpr int CSIDL_DESKTOPDIRECTORY = 16;
constexpr int CSIDL_DRIVES = 17;
constexpr int CSIDL_NETWORK = 18;
constexpr int CSIDL_FONTS = 20;
constexpr int CSIDL_TEMPLATES = 21;
constexpr int CSIDL_COMMON_STARTMENU = 22;
constexpr int CSIDL_COMMON_PROGRAMS = 23;
constexpr int CSIDL_COMMON_STARTUP = 24;
constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 25;
constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_PRINTHOOD = 27;

// The name record a folder returns for a display name. The platform's record holds one of three
// forms; here the inline 8-bit form has no length limit.
constexpr UINT STRRET_WSTR = 0;
constexpr UINT STRRET_OFFSET = 1;
constexpr UINT STRRET_CSTR = 2;
struct STRRET {
    UINT uType = STRRET_CSTR;
    std::u16string pOleStr;  // STRRET_WSTR: UTF-16.
    UINT uOffset = 0;        // STRRET_OFFSET: a NUL-terminated 8-bit string inside the item id.
    std::string cStr;        // STRRET_CSTR: UTF-8.
};

/// Name bytes as text to show: valid UTF-8 is kept, each invalid sequence becomes U+FFFD.
std::string DisplayNameFromBytes(std::string_view bytes);

/// Converts a name record to UTF-8. Fails with E_INVALIDARG when an offset does not lead to a
/// terminated string inside the item's bytes; unpaired UTF-16 surrogates become U+FFFD.
HRESULT StrRetToStrA(const STRRET& name, const TItemIdList& item, std::string& text);

class IEnumIDList {
public:
    virtual ~IEnumIDList() = default;
    /// S_OK with the next item's relative id list, S_FALSE after the last one.
    virtual HRESULT Next(TItemIdList& item) = 0;
    virtual HRESULT Reset() = 0;
};

// Context menu query flags (CMF_*) and the command record.
constexpr UINT CMF_NORMAL = 0x0000;
constexpr UINT CMF_EXPLORE = 0x0004;
constexpr UINT CMF_CANRENAME = 0x0010;

/// One command of a context menu: its number as the menu reports it, the language-neutral verb
/// and the caption to show.
struct TMenuCommand {
    UINT Id = 0;
    std::string Verb;
    std::string Caption;
    bool Enabled = true;
};

struct CMINVOKECOMMANDINFO {
    std::string lpVerb;   // The verb; when empty, idCmd chooses the command.
    UINT idCmd = 0;       // Offset from the first command number passed to QueryContextMenu.
    std::string lpDirectory;  // Working folder of a program the command starts; empty: the item's folder.
};

class IContextMenu {
public:
    virtual ~IContextMenu() = default;
    /// Appends the commands, numbered from idCmdFirst up to at most idCmdLast, and returns a
    /// success code whose code part is the highest offset used plus one.
    virtual HRESULT QueryContextMenu(std::vector<TMenuCommand>& menu, UINT idCmdFirst, UINT idCmdLast,
                                     UINT flags) = 0;
    /// The verb of the command at offset idCmd.
    virtual HRESULT GetCommandString(UINT idCmd, std::string& verb) = 0;
    virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO& info) = 0;
};

/// The shell's folder interface. Item id lists passed in are relative to this folder and may
/// span several levels.
class IShellFolder {
public:
    virtual ~IShellFolder() = default;
    /// Parses a name into an item id list relative to this folder; the desktop takes absolute
    /// paths. attributes, when given, is the requested bits in and the answer out.
    virtual HRESULT ParseDisplayName(const std::string& name, TItemIdList& item, SFGAOF* attributes) = 0;
    virtual HRESULT EnumObjects(SHCONTF flags, std::unique_ptr<IEnumIDList>& enumerator) = 0;
    virtual HRESULT BindToObject(const TItemIdList& item, std::shared_ptr<IShellFolder>& folder) = 0;
    /// Negative, zero or positive in the low 16 bits of a success code (cast the code to short).
    virtual HRESULT CompareIDs(LPARAM lParam, const TItemIdList& a, const TItemIdList& b) = 0;
    /// attributes holds the requested bits in and, out, those of them that every item has.
    virtual HRESULT GetAttributesOf(std::span<const TItemIdList* const> items, SFGAOF& attributes) = 0;
    virtual HRESULT GetUIObjectOf(std::span<const TItemIdList* const> items, std::unique_ptr<IContextMenu>& menu) = 0;
    virtual HRESULT GetDisplayNameOf(const TItemIdList& item, SHGDNF flags, STRRET& name) = 0;
    /// Renames the item without ever replacing another; newItem receives its new id list.
    virtual HRESULT SetNameOf(const TItemIdList& item, const std::string& name, SHGDNF flags,
                              TItemIdList* newItem) = 0;
};

/// The desktop folder, the root of the namespace.
HRESULT SHGetDesktopFolder(std::shared_ptr<IShellFolder>& folder);

/// The item id list of a special folder, from the desktop. The desktop itself is the empty list;
/// the others are the XDG folders that stand for them and that exist (see KnownFolders.h);
/// folders that have no such counterpart fail with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT SHGetSpecialFolderLocation(int csidl, TItemIdList& item);

/// The absolute path that a full item id list names ("/" for the desktop).
std::string PathFromIdList(const TItemIdList& item);

/// The full item id list of an existing file or folder, parsed by the desktop.
HRESULT ILCreateFromPath(const std::string& path, TItemIdList& item);

}  // namespace shell
