#include "platform/shell/ContextMenu.h"

#include "platform/base/Messages.h"
#include "platform/shell/FileOperations.h"
#include "platform/shell/Paths.h"

#include <array>

namespace shell {
namespace {

struct TVerb {
    const char* Verb;
    int Caption;
};

// Offsets are fixed per verb, so a command number means the same verb in every menu.
constexpr std::array<TVerb, 4> kVerbs = {{
    {"open", res::SMenuOpen},
    {"paste", res::SMenuPaste},
    {"delete", res::SMenuDelete},
    {"rename", res::SMenuRename},
}};
constexpr UINT kPaste = 1;
constexpr UINT kRename = 3;

class TItemContextMenu final : public IContextMenu {
public:
    TItemContextMenu(std::string path, bool folder) : FPath(std::move(path)), FFolder(folder) {}

    HRESULT QueryContextMenu(std::vector<TMenuCommand>& menu, UINT idCmdFirst, UINT idCmdLast, UINT flags) override {
        UINT used = 0;
        for (UINT offset = 0; offset < kVerbs.size(); ++offset) {
            if (!Offers(offset, flags) || idCmdFirst + offset > idCmdLast)
                continue;
            bool enabled = offset != kPaste || !ParseUriList(ReadClipboardUriList()).empty();
            menu.push_back({idCmdFirst + offset, kVerbs[offset].Verb, base::LoadStr(kVerbs[offset].Caption), enabled});
            used = offset + 1;
        }
        FFlags = flags;
        return MAKE_HRESULT(0, 0, used);
    }

    HRESULT GetCommandString(UINT idCmd, std::string& verb) override {
        if (idCmd >= kVerbs.size() || !Offers(idCmd, FFlags))
            return E_INVALIDARG;
        verb = kVerbs[idCmd].Verb;
        return S_OK;
    }

    HRESULT InvokeCommand(const CMINVOKECOMMANDINFO& info) override {
        std::string verb = info.lpVerb;
        if (verb.empty() && FAILED(GetCommandString(info.idCmd, verb)))
            return E_INVALIDARG;
        if (verb == "open")
            return ShellOpen(FPath, info.lpDirectory.empty() ? ParentPath(FPath) : info.lpDirectory);
        if (verb == "delete")
            return MoveToTrash(FPath);
        if (verb == "paste" && FFolder)
            return PasteUriList(ReadClipboardUriList(), FPath);
        if (verb == "rename")
            return E_NOTIMPL;
        return E_INVALIDARG;
    }

private:
    bool Offers(UINT offset, UINT flags) const {
        if (offset == kPaste)
            return FFolder;
        if (offset == kRename)
            return (flags & CMF_CANRENAME) != 0;
        return true;
    }

    std::string FPath;
    bool FFolder;
    UINT FFlags = CMF_NORMAL;
};

}  // namespace

std::unique_ptr<IContextMenu> CreateItemContextMenu(const std::string& path, bool folder) {
    base::RegisterMessages(res::kShellMessages);
    return std::make_unique<TItemContextMenu>(path, folder);
}

}  // namespace shell
