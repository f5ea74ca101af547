// The shell's folder interface over the file system. A folder object knows the full item id list
// of the folder it stands for; every item id list it is given is relative to that folder.
#include "platform/base/Messages.h"
#include "platform/shell/ContextMenu.h"
#include "platform/shell/Collation.h"
#include "platform/shell/FileOperations.h"
#include "platform/shell/Paths.h"
#include "platform/shell/Posix.h"
#include "platform/shell/ShellApi.h"
#include "platform/shell/KnownFolders.h"

#include <sys/stat.h>
#include <unistd.h>

namespace shell {
namespace {

bool IsHiddenName(std::string_view name) { return !name.empty() && name.front() == '.'; }

// The kind of a directory entry, links followed; a link that leads nowhere is not a folder.
TItemKind EntryKind(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR)
        return TItemKind::Folder;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return TItemKind::Other;
    return IsFolder(JoinPath(folder, entry.d_name)) ? TItemKind::Folder : TItemKind::Other;
}

bool HasSubFolder(const std::string& path) {
    TUniqueDir dir(opendir(path.c_str()));
    if (!dir)
        return false;
    // Hidden folders count: the expand button is put right when the folder is first read.
    while (dirent* entry = NextEntry(dir.Get()))
        if (EntryKind(path, *entry) == TItemKind::Folder)
            return true;
    return false;
}

HRESULT AttributesOf(const std::string& path, SFGAOF requested, SFGAOF& attributes) {
    struct stat link;
    if (lstat(path.c_str(), &link) != 0)
        return ResultFromErrno(errno);
    struct stat target;
    if (stat(path.c_str(), &target) != 0)
        target = link;
    bool folder = S_ISDIR(target.st_mode);
    SFGAOF found = SFGAO_FILESYSTEM | SFGAO_CANCOPY;
    found |= folder ? SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_DROPTARGET : SFGAO_STREAM;
    if (S_ISLNK(link.st_mode))
        found |= SFGAO_LINK;
    if (IsHiddenName(NameOfPath(path)))
        found |= SFGAO_HIDDEN;
    if ((target.st_mode & S_IWUSR) == 0)
        found |= SFGAO_READONLY;
    if (path != "/" && access(ParentPath(path).c_str(), W_OK) == 0)
        found |= SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE;
    if (folder && (requested & SFGAO_HASSUBFOLDER) != 0 && HasSubFolder(path))
        found |= SFGAO_HASSUBFOLDER;
    attributes = found & requested;
    return S_OK;
}

int CompareItems(const TItem& a, const TItem& b, bool canonical) {
    if (canonical) {
        if (a.Kind != b.Kind)
            return a.Kind < b.Kind ? -1 : 1;
        int bytes = a.Name.compare(b.Name);
        return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
    }
    if (a.Kind != b.Kind)
        return a.Kind == TItemKind::Folder ? -1 : 1;
    if (int order = CompareNamesNaturally(a.Name, b.Name))
        return order;
    int bytes = a.Name.compare(b.Name);
    return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

class TFolderEnumerator final : public IEnumIDList {
public:
    TFolderEnumerator(std::string path, TUniqueDir dir, SHCONTF flags)
        : FPath(std::move(path)), FDir(std::move(dir)), FFlags(flags) {}

    HRESULT Next(TItemIdList& item) override {
        while (dirent* entry = NextEntry(FDir.Get())) {
            std::string_view name = entry->d_name;
            if (!TItemIdList::IsValidName(name) || (IsHiddenName(name) && !(FFlags & SHCONTF_INCLUDEHIDDEN)))
                continue;
            TItemKind kind = EntryKind(FPath, *entry);
            SHCONTF wanted = kind == TItemKind::Folder ? SHCONTF_FOLDERS : SHCONTF_NONFOLDERS;
            if ((FFlags & wanted) == 0)
                continue;
            item = TItemIdList::FromItem(kind, name);
            return S_OK;
        }
        return S_FALSE;
    }

    HRESULT Reset() override {
        rewinddir(FDir.Get());
        return S_OK;
    }

private:
    std::string FPath;
    TUniqueDir FDir;
    SHCONTF FFlags;
};

class TFileSystemFolder final : public IShellFolder {
public:
    explicit TFileSystemFolder(TItemIdList absolute)
        : FAbsolute(std::move(absolute)), FPath(PathFromIdList(FAbsolute)) {}

    HRESULT ParseDisplayName(const std::string& name, TItemIdList& item, SFGAOF* attributes) override {
        if (name.empty())
            return E_INVALIDARG;
        auto path = NormalizePath(name.front() == '/' ? name : JoinPath(FPath, name));
        if (!path || !IsPathWithin(*path, FPath))
            return E_INVALIDARG;
        struct stat info;
        if (stat(path->c_str(), &info) != 0)
            return ResultFromErrno(errno);
        auto parts = SplitPath(*path);
        std::size_t skip = SplitPath(FPath).size();
        TItemIdList parsed;
        for (std::size_t i = skip; i < parts.size(); ++i) {
            if (!TItemIdList::IsValidName(parts[i]))
                return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
            bool last = i + 1 == parts.size();
            parsed.Append(!last || S_ISDIR(info.st_mode) ? TItemKind::Folder : TItemKind::Other, parts[i]);
        }
        if (attributes != nullptr) {
            HRESULT hr = AttributesOf(*path, *attributes, *attributes);
            if (FAILED(hr))
                return hr;
        }
        item = std::move(parsed);
        return S_OK;
    }

    HRESULT EnumObjects(SHCONTF flags, std::unique_ptr<IEnumIDList>& enumerator) override {
        TUniqueDir dir(opendir(FPath.c_str()));
        if (!dir)
            return ResultFromErrno(errno);
        enumerator = std::make_unique<TFolderEnumerator>(FPath, std::move(dir), flags);
        return S_OK;
    }

    HRESULT BindToObject(const TItemIdList& item, std::shared_ptr<IShellFolder>& folder) override {
        std::string path = PathOf(item);
        struct stat info;
        if (stat(path.c_str(), &info) != 0)
            return ResultFromErrno(errno);
        if (!S_ISDIR(info.st_mode))
            return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
        folder = std::make_shared<TFileSystemFolder>(FAbsolute.Join(item));
        return S_OK;
    }

    HRESULT CompareIDs(LPARAM lParam, const TItemIdList& a, const TItemIdList& b) override {
        bool canonical = (lParam & SHCIDS_CANONICALONLY) != 0;
        if ((lParam & 0xFFFF) != 0 && !canonical)
            return E_INVALIDARG;
        auto itemsA = a.Items();
        auto itemsB = b.Items();
        int order = 0;
        for (std::size_t i = 0; order == 0 && i < itemsA.size() && i < itemsB.size(); ++i)
            order = CompareItems(itemsA[i], itemsB[i], canonical);
        if (order == 0 && itemsA.size() != itemsB.size())
            order = itemsA.size() < itemsB.size() ? -1 : 1;
        return MAKE_HRESULT(0, 0, static_cast<unsigned short>(static_cast<short>(order)));
    }

    HRESULT GetAttributesOf(std::span<const TItemIdList* const> items, SFGAOF& attributes) override {
        SFGAOF requested = attributes;
        SFGAOF common = requested;
        if (items.empty())
            return AttributesOf(FPath, requested, attributes);
        for (const TItemIdList* item : items) {
            SFGAOF one = 0;
            HRESULT hr = AttributesOf(PathOf(*item), requested, one);
            if (FAILED(hr))
                return hr;
            common &= one;
        }
        attributes = common;
        return S_OK;
    }

    HRESULT GetUIObjectOf(std::span<const TItemIdList* const> items, std::unique_ptr<IContextMenu>& menu) override {
        if (items.size() != 1 || items[0]->Empty())
            return E_INVALIDARG;
        std::string path = PathOf(*items[0]);
        struct stat info;
        if (lstat(path.c_str(), &info) != 0)
            return ResultFromErrno(errno);
        menu = CreateItemContextMenu(path, IsFolder(path));
        return S_OK;
    }

    HRESULT GetDisplayNameOf(const TItemIdList& item, SHGDNF flags, STRRET& name) override {
        std::string path = PathOf(item);
        name = STRRET{};
        name.uType = STRRET_CSTR;
        if ((flags & SHGDN_FORPARSING) != 0 && (flags & SHGDN_INFOLDER) == 0)
            name.cStr = path;
        else if ((flags & SHGDN_FORPARSING) != 0)
            name.cStr = path == "/" ? path : NameOfPath(path);
        else
            name.cStr = path == "/" ? path : DisplayNameFromBytes(NameOfPath(path));
        return S_OK;
    }

    HRESULT SetNameOf(const TItemIdList& item, const std::string& name, SHGDNF, TItemIdList* newItem) override {
        if (item.Empty())
            return E_INVALIDARG;
        if (!TItemIdList::IsValidName(name))
            return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        TItem last = item.Last();
        TItemIdList renamed = item.Parent();
        renamed.Append(last.Kind, name);
        if (name != last.Name) {
            std::string from = PathOf(item);
            HRESULT hr = RenameNoReplace(from, JoinPath(ParentPath(from), name));
            if (FAILED(hr))
                return hr;
        }
        if (newItem != nullptr)
            *newItem = std::move(renamed);
        return S_OK;
    }

private:
    std::string PathOf(const TItemIdList& item) const { return PathFromIdList(FAbsolute.Join(item)); }

    TItemIdList FAbsolute;
    std::string FPath;
};

}  // namespace

std::string PathFromIdList(const TItemIdList& item) {
    std::string path;
    for (const TItem& part : item.Items()) {
        path += '/';
        path += part.Name;
    }
    return path.empty() ? "/" : path;
}

HRESULT SHGetDesktopFolder(std::shared_ptr<IShellFolder>& folder) {
    // The namespace starts here, so its messages join the string table with the desktop.
    static const std::shared_ptr<IShellFolder> desktop = [] {
        base::RegisterMessages(res::kShellMessages);
        return std::make_shared<TFileSystemFolder>(TItemIdList());
    }();
    folder = desktop;
    return S_OK;
}

HRESULT ILCreateFromPath(const std::string& path, TItemIdList& item) {
    std::shared_ptr<IShellFolder> desktop;
    HRESULT hr = SHGetDesktopFolder(desktop);
    if (FAILED(hr))
        return hr;
    if (path.empty() || path.front() != '/')
        return E_INVALIDARG;
    return desktop->ParseDisplayName(path, item, nullptr);
}

HRESULT SHGetSpecialFolderLocation(int csidl, TItemIdList& item) {
    if (csidl == CSIDL_DESKTOP) {
        item = TItemIdList();
        return S_OK;
    }
    std::string path = SpecialFolderPath(csidl);
    if (path.empty())
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    return ILCreateFromPath(path, item);
}

}  // namespace shell
