// The folder tree as a plain model: nodes that own their folder objects, children read on first
// expansion and sorted by the shell, the selection and the right-click selection, in-place
// renaming and the folder context menu's commands. The window's tree widget only shows what the
// model holds and passes the user's actions to it; the model never watches the file system.
#pragma once

#include "app/ShellFolder.h"
#include "platform/base/Messages.h"
#include "platform/shell/ShellApi.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace app {

/// Which items become nodes.
enum TShellObjectType : unsigned { otFolders = 1, otNonFolders = 2, otHidden = 4 };
using TShellObjectTypes = unsigned;

class TShellTreeNode {
public:
    TShellTreeNode(const TShellTreeNode&) = delete;
    TShellTreeNode& operator=(const TShellTreeNode&) = delete;

    const std::string& Text() const { return FText; }
    TShellFolder& Folder() const { return *FFolder; }
    TShellTreeNode* Parent() const { return FParent; }
    std::size_t Count() const { return FChildren.size(); }
    TShellTreeNode& Item(std::size_t index) const { return *FChildren.at(index); }
    /// The expand button: the node may have children (read or not).
    bool HasChildren() const { return FHasChildren; }
    bool Expanded() const { return FExpanded; }
    /// Indexes into the system's small-icon list (shell::SystemIconName names them).
    int ImageIndex() const { return FImageIndex; }
    int SelectedIndex() const { return FSelectedIndex; }
    /// The overlay icon index, or −1 for none.
    int OverlayIndex() const { return FOverlayIndex; }

private:
    friend class TShellTreeView;
    TShellTreeNode(TShellTreeNode* parent, std::unique_ptr<TShellFolder> folder)
        : FParent(parent), FFolder(std::move(folder)) {}

    TShellTreeNode* FParent;
    // Declared before the children so that they, whose folder objects point at this one, go first.
    std::unique_ptr<TShellFolder> FFolder;
    std::vector<std::unique_ptr<TShellTreeNode>> FChildren;
    std::string FText;
    bool FHasChildren = false;
    bool FExpanded = false;
    int FImageIndex = 0;
    int FSelectedIndex = 0;
    int FOverlayIndex = -1;
};

/// What changed, for the view that shows the model.
enum class TShellTreeChange {
    Reset,             // All nodes were replaced (node: nullptr).
    ChildrenChanged,   // The node's children were read, added to, removed or reordered.
    NodeChanged,       // The node's label, images, button or expanded state changed.
    NodeDeleting,      // The node and its subtree are about to be destroyed.
    SelectionChanged,  // Selected() is another node.
    EditRequested,     // The view should start editing the node's label in place.
};

class TShellTreeView {
public:
    TShellTreeView();
    ~TShellTreeView();
    TShellTreeView(const TShellTreeView&) = delete;
    TShellTreeView& operator=(const TShellTreeView&) = delete;

    // Stored properties. Until Loaded(), setting them only records them.
    const std::string& Root() const { return FRoot; }
    /// A special-folder name ("rfPersonal", any letter case) or a path. Reloads the tree; raises
    /// EShellError "Error setting path: "<root>"" when it cannot be resolved, after rebuilding the
    /// tree from the previous root, which stays.
    void SetRoot(const std::string& root);
    TShellObjectTypes ObjectTypes() const { return FObjectTypes; }
    void SetObjectTypes(TShellObjectTypes types);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly) { FReadOnly = readOnly; }
    bool RightClickSelect() const { return FRightClickSelect; }
    void SetRightClickSelect(bool rightClickSelect) { FRightClickSelect = rightClickSelect; }

    /// The end of loading the stored layout: the root is loaded now (see SetRoot for failures).
    void Loaded();
    /// Drops every node and loads the root again, as a new window of the tree does.
    void Reload();

    std::size_t Count() const { return FNodes.size(); }
    TShellTreeNode& Item(std::size_t index) const { return *FNodes.at(index); }

    /// The selected node; while a context menu is open, the node it was opened on.
    TShellTreeNode* Selected() const;
    void Select(TShellTreeNode* node);
    /// The selected node's parsing path ("/" only for the root folder, otherwise without a
    /// trailing "/"), or "" when no node is selected.
    std::string SelectedPath() const;
    /// Expands the tree down to the folder at path (absolute, or relative to the current folder)
    /// and selects it; nullptr, selection unchanged, when it is not shown under the root.
    TShellTreeNode* SelectPath(const std::string& path);
    /// The node scrolled to the top of the view (the view reports it; Refresh restores it).
    TShellTreeNode* TopItem() const { return FTopItem; }
    void SetTopItem(TShellTreeNode* node) { FTopItem = node; }

    /// Reads the node's children when it has none yet; a node that is not a folder is opened
    /// with the desktop's default application instead. Returns whether it is expanded now.
    bool Expand(TShellTreeNode& node);
    void Collapse(TShellTreeNode& node);

    /// A left click: selects the node, then runs OnClick.
    void Click(TShellTreeNode& node);
    std::function<void()> OnClick;
    std::function<void(TShellTreeChange change, TShellTreeNode* node)> OnChange;

    /// Opens the context menu of a node: with RightClickSelect the node counts as the selected
    /// one until CloseContextMenu, while the real selection stays. Returns the commands to show.
    std::vector<shell::TMenuCommand> PopupContextMenu(TShellTreeNode& node);
    /// Carries out the chosen command: "rename" starts editing the label; the others run in the
    /// shell, then "delete" removes the node once its item is gone and "paste" refreshes it.
    /// Raises EShellError with the command's failure message.
    void InvokeContextCommand(shell::UINT id);
    void CloseContextMenu();
    /// PopupContextMenu, the command with this verb, CloseContextMenu. False when the menu has
    /// no such command.
    bool RunContextCommand(TShellTreeNode& node, const std::string& verb);

    /// Starts editing a node's label; false when the tree is read-only.
    bool BeginEdit(TShellTreeNode& node);
    TShellTreeNode* EditingNode() const { return FEditing; }
    /// Ends editing: nullopt cancels. Otherwise the folder takes the new name (nothing happens
    /// when the item cannot be renamed) and the label shows it; raises EShellError
    /// "%s に名前を変更できませんでした。" when the name is refused, leaving the label.
    void EndEdit(const std::optional<std::string>& text);

    /// Reads the node's folder again, keeping the expanded folders, the selection and the top item.
    void Refresh(TShellTreeNode& node);
    /// Removes a node with its subtree and folder objects.
    void Delete(TShellTreeNode& node);

private:
    void LoadRootFolder();
    void ClearNodes();
    std::unique_ptr<TShellTreeNode> MakeNode(TShellTreeNode* parent, std::unique_ptr<TShellFolder> folder);
    void SetUpNode(TShellTreeNode& node, bool topNode);
    void FillChildren(TShellTreeNode& node);
    void SortChildren(TShellTreeNode& node);
    std::vector<std::unique_ptr<TShellTreeNode>>& Siblings(TShellTreeNode& node);
    void ForgetSubtree(TShellTreeNode& node);
    TShellTreeNode* FindNode(const shell::TItemIdList& absoluteId) const;
    void Notify(TShellTreeChange change, TShellTreeNode* node);
    void FinishCommand(TShellTreeNode& node, const std::string& verb, shell::HRESULT hr);

    std::string FRoot = "rfPersonal";
    TShellObjectTypes FObjectTypes = otFolders;
    bool FReadOnly = false;
    bool FRightClickSelect = true;
    bool FLoading = true;
    std::unique_ptr<TShellFolder> FRootFolder;
    std::vector<std::unique_ptr<TShellTreeNode>> FNodes;
    TShellTreeNode* FSelected = nullptr;
    TShellTreeNode* FTopItem = nullptr;
    TShellTreeNode* FEditing = nullptr;
    TShellTreeNode* FMenuNode = nullptr;
    std::unique_ptr<shell::IContextMenu> FMenu;
};

}  // namespace app

// The tree's messages, registered with the folder's when the desktop folder is first made.
namespace res {
inline constexpr base::TMessage SErrorSettingPath{65339, "Error setting path: \"%s\""};
inline constexpr base::TMessage SOpenFailed{64204, "%s を開けませんでした。"};
inline constexpr base::TMessage SDeleteFailed{64205, "%s をごみ箱に移動できませんでした。"};
inline constexpr base::TMessage SPasteFailed{64206, "%s に貼り付けできませんでした。"};

inline constexpr base::TMessage kShellTreeMessages[] = {SErrorSettingPath, SOpenFailed, SDeleteFailed, SPasteFailed};
static_assert(base::HasDistinctIds(kShellTreeMessages));
}  // namespace res
