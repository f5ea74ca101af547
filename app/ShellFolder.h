// The folder object that each node of the folder tree owns: where its item sits in the shell's
// namespace, and the item's own folder interface, through which its children are read.
#pragma once

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"
#include "platform/shell/ShellApi.h"

#include <memory>
#include <string>

namespace app {

/// A failure of the folder tree that carries its own message: a root that cannot be set, a name
/// that cannot be given, a context-menu command that failed.
VISTEL_EXCEPTION(EShellError, Exception);

class TShellFolder {
public:
    /// parent is the parent node's folder object (the desktop object for a top node, nullptr for
    /// the desktop object itself) and must outlive this one; folder may be absent.
    TShellFolder(TShellFolder* parent, shell::TItemIdList relativeId, std::shared_ptr<shell::IShellFolder> folder);
    TShellFolder(const TShellFolder&) = delete;
    TShellFolder& operator=(const TShellFolder&) = delete;

    /// The process-wide desktop object, made on first use. Raises EOSError when the platform
    /// gives no desktop folder.
    static TShellFolder& Desktop();

    TShellFolder* Parent() const { return FParent; }
    const shell::TItemIdList& RelativeID() const { return FRelativeID; }
    const shell::TItemIdList& AbsoluteID() const { return FAbsoluteID; }
    shell::IShellFolder* ShellFolder() const { return FShellFolder.get(); }
    const std::shared_ptr<shell::IShellFolder>& SharedShellFolder() const { return FShellFolder; }
    /// Depth below the parent given at creation: 0 under the desktop object or without a parent.
    int Level() const { return FLevel; }

    /// The desktop's parsing name for the full item id (an absolute path for a file-system
    /// folder), or its ordinary display name when the parsing name is a virtual "::{" one.
    std::string ParsingPath() const;
    /// The parent's in-folder display name for the item, with the same fallback.
    std::string InFolderName() const;
    /// The desktop's ordinary display name for the full item id.
    std::string DisplayName() const;

    /// Those of the requested attribute bits that the item has; 0 when it cannot be asked.
    shell::SFGAOF Attributes(shell::SFGAOF requested) const;
    /// The same with the platform's answer: attributes holds the requested bits in and the
    /// item's out; a failure (the item has gone) leaves it alone.
    shell::HRESULT QueryAttributes(shell::SFGAOF& attributes) const;

    /// Gives the item a new name. False, and nothing changed, when the item says it cannot take
    /// a new name; raises EShellError "%s に名前を変更できませんでした。" when the platform
    /// refuses it (the name is taken or invalid, the item has gone).
    bool Rename(const std::string& name);
    /// Rebuilds the full item id and the folder interface after an ancestor got a new name.
    void AncestorRenamed();

    /// A fresh folder interface for the item (nullptr when it is not a folder or is gone).
    std::shared_ptr<shell::IShellFolder> BindItem() const;
    /// The item's context menu from its parent folder, or nullptr when there is none.
    std::unique_ptr<shell::IContextMenu> ContextMenu() const;

private:
    struct TTarget {
        shell::IShellFolder* Folder;
        const shell::TItemIdList* Item;
    };
    /// The folder that answers for this item and the item's id there: the parent's interface
    /// with the relative id, or the desktop's with the full id.
    TTarget Target() const;
    std::string NameFor(shell::IShellFolder* folder, const shell::TItemIdList& item, shell::SHGDNF flags) const;
    const TShellFolder& Top() const;
    void Rebind();

    TShellFolder* FParent;
    shell::TItemIdList FRelativeID;
    shell::TItemIdList FAbsoluteID;
    std::shared_ptr<shell::IShellFolder> FShellFolder;
    int FLevel;
};

/// A name record as the tree shows it: converted to UTF-8, and when the result is longer than
/// one character, starts with "?" and has a digit second, every "?" is taken out of it.
std::string NameFromStrRet(const shell::STRRET& name, const shell::TItemIdList& item);

}  // namespace app

// The folder's message, registered with the tree's when the desktop folder is first made.
namespace res {
inline constexpr base::TMessage SRenamedFailedError{65324, "%s に名前を変更できませんでした。"};

inline constexpr base::TMessage kShellFolderMessages[] = {SRenamedFailedError};
}  // namespace res
