#include "app/MainForm.h"

#include "app/ThumbnailBuilder.h"
#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <new>
#include <type_traits>

namespace app {

TF_Vistel* F_Vistel = nullptr;

namespace {

[[noreturn]] void LayoutError() { throw EReadError(base::LoadStr(res::SReadError)); }

template <typename T>
void Make(std::unique_ptr<T>& member, const TLayoutObject& object, const char* className) {
    if (object.ClassName != className || member)
        LayoutError();
    if constexpr (std::is_base_of_v<TInertControl, T>)
        member = std::make_unique<T>(object);
    else
        member = std::make_unique<T>();
}

TShellObjectTypes ParseObjectTypes(const std::string& text) {
    TShellObjectTypes types = 0;
    if (text.find("otFolders") != std::string::npos)
        types |= otFolders;
    if (text.find("otNonFolders") != std::string::npos)
        types |= otNonFolders;
    if (text.find("otHidden") != std::string::npos)
        types |= otHidden;
    return types;
}

}  // namespace

TF_Vistel::TF_Vistel(TFormLayout layout) : FLayout(std::move(layout)) {
    if (FLayout.Form.ClassName != "TF_Vistel")
        LayoutError();
    for (const TLayoutObject& object : FLayout.Controls)
        CreateControl(object);
    if (!Bevel1 || !Image1 || !SpeedButton1 || !SpeedButton2 || !SpeedButton3 || !SpeedButton4 || !ShellTreeView1 ||
        !Bevel2 || !V_CList || !ImageList1 || !_DirFiles)
        LayoutError();

    // References between objects are resolved once all of them exist, as the image list comes
    // after the list view that shows it.
    const TLayoutObject& list = *FLayout.Find("V_CList");
    if (list.Property("LargeImages") == "ImageList1")
        V_CList->LargeImages = ImageList1.get();
    if (list.Property("SmallImages") == "ImageList1")
        V_CList->SmallImages = ImageList1.get();
    ShellTreeView1->OnClick = [this] { ShellTreeView1Click(this); };

    if (F_Vistel == nullptr)
        F_Vistel = this;
    // The end of loading: the tree reads its root now, and a root that fails ends the creation.
    try {
        ShellTreeView1->Loaded();
    } catch (...) {
        if (F_Vistel == this)
            F_Vistel = nullptr;
        throw;
    }
    FormCreate(this);
}

TF_Vistel::~TF_Vistel() {
    if (F_Vistel == this)
        F_Vistel = nullptr;
}

void TF_Vistel::CreateControl(const TLayoutObject& object) {
    const std::string& name = object.Name;
    if (name == "Bevel1") {
        Make(Bevel1, object, "TBevel");
    } else if (name == "Image1") {
        Make(Image1, object, "TImage");
    } else if (name == "SpeedButton1") {
        Make(SpeedButton1, object, "TSpeedButton");
    } else if (name == "SpeedButton2") {
        Make(SpeedButton2, object, "TSpeedButton");
    } else if (name == "SpeedButton3") {
        Make(SpeedButton3, object, "TSpeedButton");
    } else if (name == "SpeedButton4") {
        Make(SpeedButton4, object, "TSpeedButton");
    } else if (name == "Bevel2") {
        Make(Bevel2, object, "TBevel");
    } else if (name == "ShellTreeView1") {
        Make(ShellTreeView1, object, "TShellTreeView");
        // Until Loaded these only record the stored values.
        ShellTreeView1->SetObjectTypes(ParseObjectTypes(object.Property("ObjectTypes", "otFolders")));
        ShellTreeView1->SetRoot(object.Property("Root", "rfPersonal"));
        ShellTreeView1->SetRightClickSelect(object.Property("RightClickSelect", "True") == "True");
        ShellTreeView1->SetReadOnly(object.Property("ReadOnly", "False") == "True");
    } else if (name == "V_CList") {
        Make(V_CList, object, "TListView");
    } else if (name == "ImageList1") {
        if (object.ClassName != "TImageList" || ImageList1 || object.Width <= 0 || object.Height <= 0)
            LayoutError();
        ImageList1 = std::make_unique<TImageList>(object.IntProperty("Width", object.Width),
                                                  object.IntProperty("Height", object.Height));
    } else if (name == "_DirFiles") {
        Make(_DirFiles, object, "TFileListBox");
        _DirFiles->SetItemHeight(object.IntProperty("ItemHeight", _DirFiles->ItemHeight()));
    } else {
        LayoutError();
    }
}

void TF_Vistel::FormClose(void*, TCloseAction&) {}

void TF_Vistel::FormCreate(void*) { V_CList->DoubleBuffered = true; }

void TF_Vistel::ShellTreeView1Click(void*) {
    BuildThumbnails([this] { return ShellTreeView1->SelectedPath(); }, *_DirFiles, *V_CList, *ImageList1);
}

std::string ApplicationTitle(const std::string& executablePath) {
    std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
    name = name.substr(0, name.find('.'));
    // Letters beyond ASCII keep their case: the first character may span several bytes, and
    // only ASCII letters have a case fold that keeps a name's byte length.
    bool first = true;
    for (char& c : name) {
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (!first && !continuation && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (!continuation)
            first = false;
    }
    return name;
}

std::string ErrorBoxText(const std::string& message) {
    if (message.empty())
        return message;
    // The last whole character: step back over UTF-8 continuation bytes to its lead byte; a
    // string of continuation bytes alone compares by its first byte.
    std::size_t start = message.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(message[start]) & 0xC0) == 0x80)
        --start;
    // Compared as bytes, any character of more than one byte sorts after ".".
    if (message.compare(start, std::string::npos, ".") > 0)
        return message + ".";
    return message;
}

std::optional<std::string> ShownMessage(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return base::LoadStr(res::SOutOfMemory);
    } catch (...) {
        return ExceptionText(std::current_exception());
    }
}

}  // namespace app
