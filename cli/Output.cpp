#include "cli/Output.h"

#include "graphics/Graphic.h"
#include "platform/base/Messages.h"

namespace cli {

std::string OneLine(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n' || text[i] == '\r')
            out += "\\n";
        else
            out += text[i];
    }
    return out;
}

void SaveInFormatOf(const std::string& fileName, graphics::TBitmap& bitmap) {
    const std::string extension = graphics::ExtractFileExt(fileName);
    const graphics::TGraphicClass* format = graphics::GetFileFormats().FindExt(extension);
    if (format == nullptr)
        throw EInvalidGraphic(base::FmtLoadStr(res::SUnknownExtension, {extension}));
    if (format->InheritsFrom(graphics::TBitmap::StaticClass())) {
        bitmap.SaveToFile(fileName);
        return;
    }
    auto graphic = format->NewInstance();
    graphic->Assign(&bitmap);
    graphic->SaveToFile(fileName);
}

}  // namespace cli
