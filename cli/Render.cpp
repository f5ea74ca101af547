// vistel-render: draws one picture of any registered format over a bitmap of a chosen size, the way
// the thumbnail builder stretches a picture over its cell, and saves the bitmap as PNG or BMP.
#include "app/Codecs.h"
#include "app/ThumbnailBuilder.h"
#include "cli/Output.h"
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "platform/base/Version.h"

#include <charconv>
#include <iostream>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: vistel-render FILE OUT.png|OUT.bmp [--size WxH] [--background RRGGBB]\n"
    "\n"
    "Loads FILE as the picture framework does (every format it reads: BMP, icons, JPEG, PNG and\n"
    "the others registered), draws it stretched over a W x H picture with the thumbnail builder's\n"
    "drawing, and writes that picture. OUT's extension chooses the format: .png writes PNG, .bmp\n"
    "BMP, any other registered extension its own format.\n"
    "\n"
    "  --size WxH             the picture's width and height in pixels (1 to 65535 each);\n"
    "                         by default the loaded picture's own size\n"
    "  --background RRGGBB    the colour under the picture, as six hexadecimal digits of red,\n"
    "                         green and blue (default ffffff, white); it shows through\n"
    "                         transparent parts\n"
    "  --help                 show this text\n"
    "  --version              show the program's version\n"
    "\n"
    "Exit status: 0, or 1 when FILE does not load or OUT cannot be written (the framework's\n"
    "message goes to standard error), or 2 when the command line was not understood.\n";

constexpr int kMaxSide = 65535;

struct TSize {
    int Width;
    int Height;
};

std::optional<int> ParseSide(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxSide)
        return std::nullopt;
    return value;
}

std::optional<TSize> ParseSize(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return std::nullopt;
    const auto width = ParseSide(std::string_view(text).substr(0, x));
    const auto height = ParseSide(std::string_view(text).substr(x + 1));
    if (!width || !height)
        return std::nullopt;
    return TSize{*width, *height};
}

// RRGGBB as people write colours, turned into the framework's colour (red in the low byte).
std::optional<graphics::TColor> ParseColour(const std::string& text) {
    if (text.size() != 6)
        return std::nullopt;
    unsigned rgb = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rgb, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const unsigned red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    return graphics::TColor(red | (green << 8) | (blue << 16));
}

int Render(const std::string& input, const std::string& output, std::optional<TSize> size,
           graphics::TColor background) {
    try {
        graphics::TPicture picture;
        picture.LoadFromFile(input);
        const TSize target = size ? *size : TSize{picture.Width(), picture.Height()};
        if (target.Width < 1 || target.Height < 1 || target.Width > kMaxSide || target.Height > kMaxSide) {
            std::cerr << "vistel-render: " << input << ": the picture is " << picture.Width() << " x "
                      << picture.Height() << " pixels; give a size with --size WxH\n";
            return 1;
        }
        graphics::TBitmap bitmap;
        bitmap.SetPixelFormat(graphics::px24Bit);
        bitmap.SetWidth(target.Width);
        bitmap.SetHeight(target.Height);
        const graphics::TRect whole = graphics::Rect(0, 0, target.Width, target.Height);
        bitmap.Canvas().Brush().SetColor(background);
        bitmap.Canvas().FillRect(whole);
        bitmap.Canvas().StretchDraw(whole, picture.Graphic());
        cli::SaveInFormatOf(output, bitmap);
    } catch (...) {
        std::cerr << cli::OneLine(app::ExceptionText(std::current_exception())) << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output;
    std::optional<TSize> size;
    graphics::TColor background = 0xFFFFFF;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "vistel-render " VISTEL_VERSION "\n";
            return 0;
        }
        if (arg == "--size" && i + 1 < argc) {
            size = ParseSize(argv[++i]);
            if (!size) {
                std::cerr << "vistel-render: --size wants WxH, each from 1 to 65535: " << argv[i] << "\n\n" << kUsage;
                return 2;
            }
        } else if (arg == "--background" && i + 1 < argc) {
            const auto colour = ParseColour(argv[++i]);
            if (!colour) {
                std::cerr << "vistel-render: --background wants six hexadecimal digits: " << argv[i] << "\n\n"
                          << kUsage;
                return 2;
            }
            background = *colour;
        } else if (!arg.empty() && arg[0] != '-' && input.empty()) {
            input = arg;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (input.empty() || output.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    graphics::InitializeGraphics();
    app::InitializeCodecs();
    const int status = Render(input, output, size, background);
    app::FinalizeCodecs();
    graphics::FinalizeGraphics();
    return status;
}
