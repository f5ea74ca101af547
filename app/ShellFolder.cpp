#include "app/ShellFolder.h"

#include "app/ShellTreeView.h"
#include "platform/base/Messages.h"

#include <algorithm>

namespace app {

TShellFolder::TShellFolder(TShellFolder* parent, shell::TItemIdList relativeId,
                           std::shared_ptr<shell::IShellFolder> folder)
    : FParent(parent),
      FRelativeID(std::move(relativeId)),
      FAbsoluteID(parent != nullptr ? parent->FAbsoluteID.Join(FRelativeID) : FRelativeID),
      FShellFolder(std::move(folder)),
      FLevel(parent == nullptr || parent->FParent == nullptr ? 0 : parent->FLevel + 1) {}

TShellFolder& TShellFolder::Desktop() {
    static TShellFolder* desktop = [] {
        // The tree's start-up: every tree reaches its folders through the desktop.
        base::RegisterMessages(res::kShellFolderMessages);
        base::RegisterMessages(res::kShellTreeMessages);
        std::shared_ptr<shell::IShellFolder> folder;
        shell::HRESULT hr = shell::SHGetDesktopFolder(folder);
        shell::TItemIdList item;
        if (shell::SUCCEEDED(hr))
            hr = shell::SHGetSpecialFolderLocation(shell::CSIDL_DESKTOP, item);
        if (shell::FAILED(hr))
            throw EOSError(base::FmtLoadStr(res::SOSError, {static_cast<long long>(shell::HRESULT_CODE(hr)),
                                                              std::string("SHGetDesktopFolder")}),
                           shell::HRESULT_CODE(hr));
        // Lives until the process ends: nodes anywhere may point at it as their parent.
        static TShellFolder object(nullptr, std::move(item), std::move(folder));
        return &object;
    }();
    return *desktop;
}

const TShellFolder& TShellFolder::Top() const {
    const TShellFolder* top = this;
    while (top->FParent != nullptr)
        top = top->FParent;
    return *top;
}

TShellFolder::TTarget TShellFolder::Target() const {
    if (FParent != nullptr && FParent->FShellFolder)
        return {FParent->FShellFolder.get(), &FRelativeID};
    return {Top().FShellFolder.get(), &FAbsoluteID};
}

std::string TShellFolder::NameFor(shell::IShellFolder* folder, const shell::TItemIdList& item,
                                  shell::SHGDNF flags) const {
    shell::STRRET name;
    if (folder == nullptr || shell::FAILED(folder->GetDisplayNameOf(item, flags, name)))
        return {};
    std::string text = NameFromStrRet(name, item);
    if (text.rfind("::{", 0) == 0 && shell::FAILED(folder->GetDisplayNameOf(item, shell::SHGDN_NORMAL, name)))
        return {};
    return text.rfind("::{", 0) == 0 ? NameFromStrRet(name, item) : text;
}

std::string TShellFolder::ParsingPath() const {
    return NameFor(Top().FShellFolder.get(), FAbsoluteID, shell::SHGDN_FORPARSING);
}

std::string TShellFolder::InFolderName() const {
    TTarget target = Target();
    return NameFor(target.Folder, *target.Item, shell::SHGDN_INFOLDER);
}

std::string TShellFolder::DisplayName() const {
    return NameFor(Top().FShellFolder.get(), FAbsoluteID, shell::SHGDN_NORMAL);
}

shell::HRESULT TShellFolder::QueryAttributes(shell::SFGAOF& attributes) const {
    TTarget target = Target();
    if (target.Folder == nullptr)
        return shell::E_FAIL;
    const shell::TItemIdList* items[] = {target.Item};
    // The desktop object asks about itself with no items at all.
    std::span<const shell::TItemIdList* const> list(items, FParent == nullptr ? 0 : 1);
    return target.Folder->GetAttributesOf(list, attributes);
}

shell::SFGAOF TShellFolder::Attributes(shell::SFGAOF requested) const {
    shell::SFGAOF attributes = requested;
    return shell::SUCCEEDED(QueryAttributes(attributes)) ? attributes : 0;
}

bool TShellFolder::Rename(const std::string& name) {
    // An item that says it cannot be renamed is left alone; one that cannot even be asked (it
    // has gone) is tried, so that the user learns that the name was not given.
    shell::SFGAOF attributes = shell::SFGAO_CANRENAME;
    if (shell::SUCCEEDED(QueryAttributes(attributes)) && (attributes & shell::SFGAO_CANRENAME) == 0)
        return false;
    TTarget target = Target();
    if (target.Folder == nullptr)
        throw EShellError(base::FmtLoadStr(res::SRenamedFailedError, {name}));
    shell::TItemIdList renamed;
    if (shell::FAILED(target.Folder->SetNameOf(*target.Item, name, shell::SHGDN_NORMAL, &renamed)) || renamed.Empty())
        throw EShellError(base::FmtLoadStr(res::SRenamedFailedError, {name}));
    shell::TItem last = renamed.Last();
    FRelativeID = FRelativeID.Parent();
    FRelativeID.Append(last.Kind, last.Name);
    FAbsoluteID = FParent != nullptr ? FParent->FAbsoluteID.Join(FRelativeID) : FRelativeID;
    Rebind();
    return true;
}

void TShellFolder::AncestorRenamed() {
    if (FParent == nullptr)
        return;
    FAbsoluteID = FParent->FAbsoluteID.Join(FRelativeID);
    Rebind();
}

void TShellFolder::Rebind() {
    // Only an item that had its own folder gets one again; the old one names the old path.
    if (FShellFolder)
        FShellFolder = BindItem();
}

std::shared_ptr<shell::IShellFolder> TShellFolder::BindItem() const {
    TTarget target = Target();
    std::shared_ptr<shell::IShellFolder> folder;
    if (target.Folder == nullptr || shell::FAILED(target.Folder->BindToObject(*target.Item, folder)))
        return nullptr;
    return folder;
}

std::unique_ptr<shell::IContextMenu> TShellFolder::ContextMenu() const {
    TTarget target = Target();
    std::unique_ptr<shell::IContextMenu> menu;
    const shell::TItemIdList* items[] = {target.Item};
    if (target.Folder == nullptr || shell::FAILED(target.Folder->GetUIObjectOf(items, menu)))
        return nullptr;
    return menu;
}

std::string NameFromStrRet(const shell::STRRET& name, const shell::TItemIdList& item) {
    std::string text;
    if (shell::FAILED(shell::StrRetToStrA(name, item, text)))
        return {};
    if (text.size() > 1 && text[0] == '?' && text[1] >= '0' && text[1] <= '9')
        text.erase(std::remove(text.begin(), text.end(), '?'), text.end());
    return text;
}

}  // namespace app
