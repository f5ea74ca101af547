#include "app/Layout.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Gdi.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

namespace app {
namespace {

// The layout as designed. Properties a control does not store take its defaults; references
// between objects (LargeImages) are resolved by name once every object exists.
const std::string kStoredLayout = R"(# Name|Class|Left|Top|Width|Height|properties
F_Vistel|TF_Vistel|192|107|696|150|Caption=F_Vistel;Color=clBtnFace;Font.Charset=SHIFTJIS_CHARSET;Font.Color=clWindowText;Font.Height=-12;Font.Name=ＭＳ Ｐゴシック;Font.Style=;OldCreateOrder=False;Visible=True;OnClose=FormClose;OnCreate=FormCreate;PixelsPerInch=96;TextHeight=12
Bevel1|TBevel|144|8|2|105|
Image1|TImage|40|8|65|65|
SpeedButton1|TSpeedButton|8|8|23|22|
SpeedButton2|TSpeedButton|8|48|23|22|
SpeedButton3|TSpeedButton|112|8|23|22|
SpeedButton4|TSpeedButton|112|48|23|22|
Bevel2|TBevel|40|8|65|65|
ShellTreeView1|TShellTreeView|152|8|121|105|ObjectTypes=otFolders;Root=rfPersonal;UseShellImages=True;AutoRefresh=False;Indent=19;ParentColor=False;RightClickSelect=True;ShowRoot=False;TabOrder=0;OnClick=ShellTreeView1Click
V_CList|TListView|276|8|405|105|Columns=1;LargeImages=ImageList1;SmallImages=ImageList1;ReadOnly=True;TabOrder=2
_DirFiles|TFileListBox|528|16|145|89|ItemHeight=12;TabOrder=1;Visible=False
ImageList1|TImageList|0|0|64|64|Height=64;Width=64
)";

[[noreturn]] void LayoutError() { throw EReadError(base::LoadStr(res::SReadError)); }

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && !text.empty();
}

TLayoutObject ParseObject(const std::string& line) {
    std::vector<std::string> fields = Split(line, '|');
    if (fields.size() != 7 || fields[0].empty() || fields[1].empty())
        LayoutError();
    TLayoutObject object;
    object.Name = fields[0];
    object.ClassName = fields[1];
    if (!ParseInt(fields[2], object.Left) || !ParseInt(fields[3], object.Top) || !ParseInt(fields[4], object.Width) ||
        !ParseInt(fields[5], object.Height) || object.Width < 0 || object.Height < 0)
        LayoutError();
    if (!fields[6].empty()) {
        for (const std::string& entry : Split(fields[6], ';')) {
            auto equals = entry.find('=');
            if (equals == std::string::npos || equals == 0)
                LayoutError();
            object.Properties.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
        }
    }
    return object;
}

// Scaling rounds to nearest as the platform's MulDiv does, and a size never turns negative.
int Scale(int value, int numerator, int denominator) { return gdi::MulDiv(value, numerator, denominator); }

}  // namespace

std::string TLayoutObject::Property(const std::string& key, const std::string& fallback) const {
    for (const auto& [name, value] : Properties)
        if (name == key)
            return value;
    return fallback;
}

int TLayoutObject::IntProperty(const std::string& key, int fallback) const {
    int value = 0;
    return ParseInt(Property(key), value) ? value : fallback;
}

const TLayoutObject* TFormLayout::Find(const std::string& name) const {
    for (const TLayoutObject& object : Controls)
        if (object.Name == name)
            return &object;
    return nullptr;
}

const std::string& StoredLayoutText() { return kStoredLayout; }

TFormLayout ParseLayout(const std::string& text) {
    TFormLayout layout;
    bool haveForm = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        TLayoutObject object = ParseObject(line);
        if (!haveForm) {
            layout.Form = std::move(object);
            haveForm = true;
        } else {
            if (layout.Find(object.Name) != nullptr || object.Name == layout.Form.Name)
                LayoutError();
            layout.Controls.push_back(std::move(object));
        }
    }
    if (!haveForm)
        LayoutError();
    return layout;
}

int TextHeightOf(int fontHeight) { return std::abs(fontHeight); }

void ScaleLayout(TFormLayout& layout, int screenPixelsPerInch, int frameWidth, int frameHeight) {
    const int designedPpi = layout.Form.IntProperty("PixelsPerInch", 96);
    const int designedTextHeight = layout.Form.IntProperty("TextHeight", 12);
    const int fontHeight = layout.Form.IntProperty("Font.Height", -12);
    if (designedPpi <= 0 || screenPixelsPerInch <= 0 || designedTextHeight <= 0)
        return;
    const int scaledFont = Scale(fontHeight, screenPixelsPerInch, designedPpi);
    for (auto& [key, value] : layout.Form.Properties)
        if (key == "Font.Height")
            value = std::to_string(scaledFont);
    const int textHeight = TextHeightOf(scaledFont);
    if (textHeight == designedTextHeight)
        return;
    for (TLayoutObject& object : layout.Controls) {
        // Components without a place on the window (the image list) keep their cell size.
        if (object.ClassName == "TImageList")
            continue;
        object.Left = Scale(object.Left, textHeight, designedTextHeight);
        object.Top = Scale(object.Top, textHeight, designedTextHeight);
        object.Width = Scale(object.Width, textHeight, designedTextHeight);
        object.Height = Scale(object.Height, textHeight, designedTextHeight);
    }
    const int clientWidth = std::max(0, layout.Form.Width - frameWidth);
    const int clientHeight = std::max(0, layout.Form.Height - frameHeight);
    layout.Form.Width = Scale(clientWidth, textHeight, designedTextHeight) + frameWidth;
    layout.Form.Height = Scale(clientHeight, textHeight, designedTextHeight) + frameHeight;
}

TFormLayout LoadStoredLayout(int screenPixelsPerInch) {
    TFormLayout layout = ParseLayout(StoredLayoutText());
    ScaleLayout(layout, screenPixelsPerInch);
    return layout;
}

}  // namespace app
