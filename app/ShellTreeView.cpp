#include "app/ShellTreeView.h"

#include "platform/base/Messages.h"
#include "platform/shell/FileOperations.h"
#include "platform/shell/Paths.h"
#include "platform/shell/SystemIcons.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cctype>
#include <filesystem>

namespace app {
namespace {

struct TSpecialFolder {
    const char* Name;
    int Number;
};

constexpr std::array<TSpecialFolder, 23> kSpecialFolders = {{
    {"rfDesktop", shell::CSIDL_DESKTOP},
    {"rfMyComputer", shell::CSIDL_DRIVES},
    {"rfNetwork", shell::CSIDL_NETWORK},
    {"rfRecycleBin", shell::CSIDL_BITBUCKET},
    {"rfAppData", shell::CSIDL_APPDATA},
    {"rfCommonDesktopDirectory", shell::CSIDL_COMMON_DESKTOPDIRECTORY},
    {"rfCommonPrograms", shell::CSIDL_COMMON_PROGRAMS},
    {"rfCommonStartMenu", shell::CSIDL_COMMON_STARTMENU},
    {"rfCommonStartup", shell::CSIDL_COMMON_STARTUP},
    {"rfControlPanel", shell::CSIDL_CONTROLS},
    {"rfDesktopDirectory", shell::CSIDL_DESKTOPDIRECTORY},
    {"rfFavorites", shell::CSIDL_FAVORITES},
    {"rfFonts", shell::CSIDL_FONTS},
    {"rfInternet", shell::CSIDL_INTERNET},
    {"rfPersonal", shell::CSIDL_PERSONAL},
    {"rfPrinters", shell::CSIDL_PRINTERS},
    {"rfPrintHood", shell::CSIDL_PRINTHOOD},
    {"rfPrograms", shell::CSIDL_PROGRAMS},
    {"rfRecent", shell::CSIDL_RECENT},
    {"rfSendTo", shell::CSIDL_SENDTO},
    {"rfStartMenu", shell::CSIDL_STARTMENU},
    {"rfStartup", shell::CSIDL_STARTUP},
    {"rfTemplates", shell::CSIDL_TEMPLATES},
}};

std::optional<int> SpecialFolderNumber(const std::string& root) {
    for (const TSpecialFolder& folder : kSpecialFolders) {
        std::string_view name = folder.Name;
        if (name.size() == root.size() &&
            std::equal(name.begin(), name.end(), root.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return folder.Number;
    }
    return std::nullopt;
}

shell::SHCONTF EnumFlags(TShellObjectTypes types) {
    shell::SHCONTF flags = 0;
    if (types & otFolders)
        flags |= shell::SHCONTF_FOLDERS;
    if (types & otNonFolders)
        flags |= shell::SHCONTF_NONFOLDERS;
    if (types & otHidden)
        flags |= shell::SHCONTF_INCLUDEHIDDEN;
    return flags;
}

short CompareResult(shell::HRESULT hr) { return static_cast<short>(shell::HRESULT_CODE(hr)); }

// The desktop's comparison decides whether two full item ids name the same item.
bool SameItem(TShellFolder& desktop, const shell::TItemIdList& a, const shell::TItemIdList& b) {
    return CompareResult(desktop.ShellFolder()->CompareIDs(0, a, b)) == 0;
}

auto PositionOf(std::vector<std::unique_ptr<TShellTreeNode>>& siblings, const TShellTreeNode& node) {
    return std::find_if(siblings.begin(), siblings.end(), [&](const auto& sibling) { return sibling.get() == &node; });
}

bool IsWithin(const TShellTreeNode* node, const TShellTreeNode* ancestor) {
    for (; node != nullptr; node = node->Parent())
        if (node == ancestor)
            return true;
    return false;
}

// Visits node and its subtree in display order.
template <typename F>
void Walk(TShellTreeNode& node, F visit) {
    visit(node);
    for (std::size_t i = 0; i < node.Count(); ++i)
        Walk(node.Item(i), visit);
}

}  // namespace

TShellTreeView::TShellTreeView() = default;

TShellTreeView::~TShellTreeView() {
    OnChange = nullptr;
    FNodes.clear();
}

void TShellTreeView::SetRoot(const std::string& root) {
    std::string previous = std::exchange(FRoot, root);
    if (FLoading)
        return;
    try {
        LoadRootFolder();
    } catch (const EShellError&) {
        FRoot = previous;
        throw;
    }
}

void TShellTreeView::SetObjectTypes(TShellObjectTypes types) {
    FObjectTypes = types;
    if (!FLoading)
        Reload();
}

void TShellTreeView::Loaded() {
    FLoading = false;
    LoadRootFolder();
}

void TShellTreeView::Reload() {
    ClearNodes();
    LoadRootFolder();
}

void TShellTreeView::LoadRootFolder() {
    if (FLoading)
        return;
    TShellFolder& desktop = TShellFolder::Desktop();
    shell::TItemIdList rootId;
    shell::HRESULT hr;
    if (auto number = SpecialFolderNumber(FRoot))
        hr = shell::SHGetSpecialFolderLocation(*number, rootId);
    else
        hr = desktop.ShellFolder()->ParseDisplayName(FRoot, rootId, nullptr);
    // A root that is not a folder (a file given as a path) has no folder of its own; falling back
    // to the desktop's would show the whole file system under the file's name.
    std::shared_ptr<shell::IShellFolder> folder;
    if (shell::SUCCEEDED(hr))
        hr = desktop.ShellFolder()->BindToObject(rootId, folder);
    std::string error;
    if (shell::FAILED(hr))
        error = base::FmtLoadStr(res::SErrorSettingPath, {FRoot});
    else
        FRootFolder = std::make_unique<TShellFolder>(&desktop, std::move(rootId), std::move(folder));
    if (FRootFolder) {
        ClearNodes();
        auto top = MakeNode(nullptr, std::make_unique<TShellFolder>(&desktop, FRootFolder->AbsoluteID(),
                                                                     FRootFolder->SharedShellFolder()));
        TShellTreeNode& node = *top;
        SetUpNode(node, true);
        FNodes.push_back(std::move(top));
        Notify(TShellTreeChange::Reset, nullptr);
        Expand(node);
        Select(&node);
    }
    if (!error.empty())
        throw EShellError(error);
}

void TShellTreeView::ClearNodes() {
    FSelected = FTopItem = FEditing = FMenuNode = nullptr;
    FMenu.reset();
    FNodes.clear();
    Notify(TShellTreeChange::Reset, nullptr);
}

std::unique_ptr<TShellTreeNode> TShellTreeView::MakeNode(TShellTreeNode* parent, std::unique_ptr<TShellFolder> folder) {
    return std::unique_ptr<TShellTreeNode>(new TShellTreeNode(parent, std::move(folder)));
}

void TShellTreeView::SetUpNode(TShellTreeNode& node, bool topNode) {
    TShellFolder& folder = node.Folder();
    node.FText = topNode ? folder.DisplayName() : folder.InFolderName();
    node.FImageIndex = shell::SystemIconIndex(folder.AbsoluteID(), false);
    node.FSelectedIndex = shell::SystemIconIndex(folder.AbsoluteID(), true);
    if (node.FSelectedIndex == 0)
        node.FSelectedIndex = node.FImageIndex;
    shell::SFGAOF attributes = folder.Attributes(shell::SFGAO_HASSUBFOLDER | shell::SFGAO_SHARE);
    node.FHasChildren = (attributes & shell::SFGAO_HASSUBFOLDER) != 0;
    node.FOverlayIndex = (attributes & shell::SFGAO_SHARE) != 0 ? shell::kIconSharedOverlay : -1;
    if ((FObjectTypes & otNonFolders) != 0 && folder.ShellFolder() != nullptr) {
        std::unique_ptr<shell::IEnumIDList> items;
        shell::TItemIdList first;
        shell::HRESULT hr = folder.ShellFolder()->EnumObjects(EnumFlags(FObjectTypes), items);
        node.FHasChildren = shell::SUCCEEDED(hr) && items && items->Next(first) == shell::S_OK;
    }
}

void TShellTreeView::FillChildren(TShellTreeNode& node) {
    shell::IShellFolder* folder = node.Folder().ShellFolder();
    std::unique_ptr<shell::IEnumIDList> items;
    if (folder == nullptr || shell::FAILED(folder->EnumObjects(EnumFlags(FObjectTypes), items)) || !items)
        return;
    TShellFolder& desktop = TShellFolder::Desktop();
    shell::TItemIdList item;
    while (items->Next(item) == shell::S_OK) {
        std::shared_ptr<shell::IShellFolder> childFolder;
        if (shell::FAILED(folder->BindToObject(item, childFolder)))
            desktop.ShellFolder()->BindToObject(node.Folder().AbsoluteID().Join(item), childFolder);
        auto child = MakeNode(&node, std::make_unique<TShellFolder>(&node.Folder(), item, std::move(childFolder)));
        SetUpNode(*child, false);
        node.FChildren.push_back(std::move(child));
    }
    SortChildren(node);
}

void TShellTreeView::SortChildren(TShellTreeNode& node) {
    shell::IShellFolder* folder = node.Folder().ShellFolder();
    if (folder == nullptr)
        return;
    std::stable_sort(node.FChildren.begin(), node.FChildren.end(), [&](const auto& a, const auto& b) {
        return CompareResult(folder->CompareIDs(0, a->Folder().RelativeID(), b->Folder().RelativeID())) < 0;
    });
    Notify(TShellTreeChange::ChildrenChanged, &node);
}

std::vector<std::unique_ptr<TShellTreeNode>>& TShellTreeView::Siblings(TShellTreeNode& node) {
    return node.FParent != nullptr ? node.FParent->FChildren : FNodes;
}

TShellTreeNode* TShellTreeView::Selected() const { return FMenuNode != nullptr ? FMenuNode : FSelected; }

void TShellTreeView::Select(TShellTreeNode* node) {
    if (node == FSelected)
        return;
    FSelected = node;
    Notify(TShellTreeChange::SelectionChanged, node);
}

std::string TShellTreeView::SelectedPath() const {
    TShellTreeNode* node = Selected();
    return node != nullptr ? node->Folder().ParsingPath() : std::string();
}

TShellTreeNode* TShellTreeView::SelectPath(const std::string& path) {
    if (FNodes.empty() || path.empty())
        return nullptr;
    std::string absolute = path;
    if (absolute.front() != '/') {
        std::error_code error;
        absolute = shell::JoinPath(std::filesystem::current_path(error).string(), path);
        if (error)
            return nullptr;
    }
    auto target = shell::NormalizePath(absolute);
    TShellTreeNode* node = FNodes.front().get();
    std::string rootPath = node->Folder().ParsingPath();
    if (!target || !shell::IsPathWithin(*target, rootPath))
        return nullptr;
    std::string_view below = std::string_view(*target).substr(rootPath == "/" ? 0 : rootPath.size());
    for (const std::string& part : shell::SplitPath(below)) {
        Expand(*node);
        TShellTreeNode* found = nullptr;
        for (std::size_t i = 0; i < node->Count() && found == nullptr; ++i)
            if (node->Item(i).Folder().RelativeID().Last().Name == part)
                found = &node->Item(i);
        if (found == nullptr)
            return nullptr;
        node = found;
    }
    Select(node);
    return node;
}

bool TShellTreeView::Expand(TShellTreeNode& node) {
    TShellFolder& folder = node.Folder();
    // An item that cannot be asked any more is a folder that cannot be read, not one to open.
    shell::SFGAOF attributes = shell::SFGAO_FOLDER;
    if (shell::SUCCEEDED(folder.QueryAttributes(attributes)) && (attributes & shell::SFGAO_FOLDER) == 0) {
        // An item that is not a folder opens instead, in its own folder.
        std::string path = folder.ParsingPath();
        shell::ShellOpen(path, shell::ParentPath(path));
        return false;
    }
    if (node.FHasChildren && node.FChildren.empty())
        FillChildren(node);
    // The has-subfolders attribute may have counted folders that are not shown.
    node.FHasChildren = !node.FChildren.empty();
    node.FExpanded = node.FHasChildren;
    Notify(TShellTreeChange::NodeChanged, &node);
    return node.FExpanded;
}

void TShellTreeView::Collapse(TShellTreeNode& node) {
    node.FExpanded = false;
    Notify(TShellTreeChange::NodeChanged, &node);
}

void TShellTreeView::Click(TShellTreeNode& node) {
    Select(&node);
    if (OnClick)
        OnClick();
}

std::vector<shell::TMenuCommand> TShellTreeView::PopupContextMenu(TShellTreeNode& node) {
    CloseContextMenu();
    // Without RightClickSelect a right-click applies to the selected node, wherever it was.
    TShellTreeNode* target = FRightClickSelect ? &node : FSelected;
    std::vector<shell::TMenuCommand> commands;
    if (target == nullptr)
        return commands;
    FMenu = target->Folder().ContextMenu();
    if (!FMenu)
        return commands;
    FMenuNode = target;
    shell::UINT flags = shell::CMF_EXPLORE;
    if (!FReadOnly && (target->Folder().Attributes(shell::SFGAO_CANRENAME) & shell::SFGAO_CANRENAME) != 0)
        flags |= shell::CMF_CANRENAME;
    FMenu->QueryContextMenu(commands, 1, 0x7FFF, flags);
    return commands;
}

void TShellTreeView::InvokeContextCommand(shell::UINT id) {
    std::string verb;
    if (!FMenu || FMenuNode == nullptr || id == 0 || shell::FAILED(FMenu->GetCommandString(id - 1, verb)))
        return;
    TShellTreeNode& node = *FMenuNode;
    if (verb == "rename") {
        BeginEdit(node);
        return;
    }
    shell::CMINVOKECOMMANDINFO info;
    info.idCmd = id - 1;
    // The program that opens the item starts in the item's folder; this process's current
    // folder is left alone, as other threads may be resolving relative names against it.
    if (verb == "open")
        info.lpDirectory = shell::ParentPath(node.Folder().ParsingPath());
    FinishCommand(node, verb, FMenu->InvokeCommand(info));
}

void TShellTreeView::FinishCommand(TShellTreeNode& node, const std::string& verb, shell::HRESULT hr) {
    std::string path = node.Folder().ParsingPath();
    struct stat info;
    if (verb == "delete" && shell::SUCCEEDED(hr) && lstat(path.c_str(), &info) != 0)
        Delete(node);
    // Whatever a paste managed to copy is shown, even when some of it failed.
    if (verb == "paste")
        Refresh(node);
    if (shell::SUCCEEDED(hr))
        return;
    int message = verb == "open"     ? res::SOpenFailed
                  : verb == "delete" ? res::SDeleteFailed
                  : verb == "paste"  ? res::SPasteFailed
                                     : 0;
    if (message != 0)
        throw EShellError(base::FmtLoadStr(message, {path}));
}

void TShellTreeView::CloseContextMenu() {
    FMenu.reset();
    FMenuNode = nullptr;
}

bool TShellTreeView::RunContextCommand(TShellTreeNode& node, const std::string& verb) {
    struct TCloser {
        TShellTreeView& Tree;
        ~TCloser() { Tree.CloseContextMenu(); }
    } closer{*this};
    for (const shell::TMenuCommand& command : PopupContextMenu(node)) {
        if (command.Verb == verb && command.Enabled) {
            InvokeContextCommand(command.Id);
            return true;
        }
    }
    return false;
}

bool TShellTreeView::BeginEdit(TShellTreeNode& node) {
    if (FReadOnly)
        return false;
    FEditing = &node;
    Notify(TShellTreeChange::EditRequested, &node);
    return true;
}

void TShellTreeView::EndEdit(const std::optional<std::string>& text) {
    TShellTreeNode* node = std::exchange(FEditing, nullptr);
    // An unchanged label is no new name, even when it only shows the name's valid characters.
    if (node == nullptr || !text || *text == node->FText)
        return;
    if (!node->Folder().Rename(*text))
        return;
    node->FText = *text;
    // Folder objects below hold full item ids and folders under the old name.
    for (auto& child : node->FChildren)
        Walk(*child, [](TShellTreeNode& below) { below.Folder().AncestorRenamed(); });
    Notify(TShellTreeChange::NodeChanged, node);
    if (node->FParent != nullptr)
        SortChildren(*node->FParent);
}

void TShellTreeView::Refresh(TShellTreeNode& node) {
    if (node.Folder().ShellFolder() == nullptr)
        return;
    std::optional<shell::TItemIdList> topId, selectedId;
    if (FTopItem != nullptr)
        topId = FTopItem->Folder().AbsoluteID();
    if (FSelected != nullptr)
        selectedId = FSelected->Folder().AbsoluteID();
    bool selectionInside = IsWithin(FSelected, &node);

    TShellFolder& old = node.Folder();
    auto fresh = MakeNode(node.FParent, std::make_unique<TShellFolder>(old.Parent(), old.RelativeID(), old.BindItem()));
    TShellTreeNode& added = *fresh;
    auto& siblings = Siblings(node);
    auto at = PositionOf(siblings, node);
    assert(at != siblings.end());
    siblings.insert(at, std::move(fresh));
    SetUpNode(added, node.FParent == nullptr);
    added.FHasChildren = true;
    FillChildren(added);
    added.FHasChildren = !added.FChildren.empty();

    TShellFolder& desktop = TShellFolder::Desktop();
    Walk(node, [&](TShellTreeNode& before) {
        if (!before.FExpanded)
            return;
        TShellTreeNode* match = nullptr;
        Walk(added, [&](TShellTreeNode& after) {
            if (match == nullptr &&
                SameItem(desktop, after.Folder().AbsoluteID(), before.Folder().AbsoluteID()))
                match = &after;
        });
        if (match != nullptr)
            Expand(*match);
    });

    Delete(node);
    TShellTreeNode* selected = selectedId ? FindNode(*selectedId) : nullptr;
    Select(selected == nullptr && selectionInside ? &added : selected);
    FTopItem = topId ? FindNode(*topId) : nullptr;
}

TShellTreeNode* TShellTreeView::FindNode(const shell::TItemIdList& absoluteId) const {
    TShellFolder& desktop = TShellFolder::Desktop();
    TShellTreeNode* found = nullptr;
    for (const auto& top : FNodes)
        Walk(*top, [&](TShellTreeNode& node) {
            if (found == nullptr && SameItem(desktop, node.Folder().AbsoluteID(), absoluteId))
                found = &node;
        });
    return found;
}

void TShellTreeView::Delete(TShellTreeNode& node) {
    Notify(TShellTreeChange::NodeDeleting, &node);
    auto& siblings = Siblings(node);
    auto at = PositionOf(siblings, node);
    assert(at != siblings.end());
    // A tree moves its selection off a deleted node: to the next sibling, the one before, or up.
    TShellTreeNode* nextSelection = nullptr;
    bool selectionInside = IsWithin(FSelected, &node);
    if (selectionInside) {
        if (at + 1 != siblings.end())
            nextSelection = (at + 1)->get();
        else if (at != siblings.begin())
            nextSelection = (at - 1)->get();
        else
            nextSelection = node.FParent;
    }
    ForgetSubtree(node);
    TShellTreeNode* parent = node.FParent;
    siblings.erase(at);
    if (parent != nullptr) {
        parent->FHasChildren = !parent->FChildren.empty();
        parent->FExpanded = parent->FExpanded && parent->FHasChildren;
        Notify(TShellTreeChange::ChildrenChanged, parent);
    }
    if (selectionInside)
        Select(nextSelection);
}

void TShellTreeView::ForgetSubtree(TShellTreeNode& node) {
    for (TShellTreeNode** link : {&FSelected, &FTopItem, &FEditing, &FMenuNode})
        if (IsWithin(*link, &node))
            *link = nullptr;
}

void TShellTreeView::Notify(TShellTreeChange change, TShellTreeNode* node) {
    if (OnChange)
        OnChange(change, node);
}

}  // namespace app
