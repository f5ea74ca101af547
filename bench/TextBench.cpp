// Writing one file-list row: a file name in the designed face at its designed size, onto a
// 32-bit surface, against plain FreeType loading, rendering and blending the same characters with
// no cache, in the same run. Compare BM_Vistel<What> with BM_FreeType<What>.
#include "platform/gdi/Gdi.h"

#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace gdi;

const std::string kName = "IMG_20240501_123456 画像サンプル.jpg";
constexpr int kWidth = 320;
constexpr int kHeight = 16;

class TRow {
public:
    TRow() {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        FBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &FBits, nullptr, 0);
        FDc = CreateCompatibleDC(nullptr);
        FOldBitmap = SelectObject(FDc, FBitmap);
        LOGFONTA log{};
        log.lfHeight = -12;
        log.lfCharSet = SHIFTJIS_CHARSET;
        std::strcpy(log.lfFaceName, "ＭＳ Ｐゴシック");
        FFont = CreateFontIndirectA(&log);
        FOldFont = SelectObject(FDc, FFont);
        SetBkMode(FDc, TRANSPARENT);
    }
    ~TRow() {
        SelectObject(FDc, FOldFont);
        SelectObject(FDc, FOldBitmap);
        DeleteObject(FFont);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    HDC Dc() const { return FDc; }

private:
    HBITMAP FBitmap = nullptr;
    void* FBits = nullptr;
    HDC FDc = nullptr;
    HFONT FFont = nullptr;
    HGDIOBJ FOldBitmap = nullptr, FOldFont = nullptr;
};

void BM_VistelWrite(benchmark::State& state) {
    TRow row;
    for (auto _ : state)
        benchmark::DoNotOptimize(TextOutA(row.Dc(), 2, 0, kName.data(), int(kName.size())));
}
BENCHMARK(BM_VistelWrite);

void BM_VistelMeasure(benchmark::State& state) {
    TRow row;
    SIZE size{};
    for (auto _ : state) {
        GetTextExtentPoint32A(row.Dc(), kName.data(), int(kName.size()), &size);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_VistelMeasure);

// The peer: the installed face opened once, each character loaded (and rendered) per call.
class TPeer {
public:
    TPeer() {
        FT_Init_FreeType(&FLibrary);
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAPGothic"));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        FcPatternGetString(match, FC_FILE, 0, &file);
        FT_New_Face(FLibrary, reinterpret_cast<const char*>(file), 0, &FFace);
        FcPatternDestroy(match);
        FcPatternDestroy(pattern);
        FT_Set_Pixel_Sizes(FFace, 0, 12);
        for (std::size_t i = 0; i < kName.size();) {
            // The characters decoded once: the peer is measured on glyph work only.
            unsigned char lead = kName[i];
            int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t code = length == 1 ? lead : lead & (0x7F >> length);
            for (int k = 1; k < length; ++k)
                code = (code << 6) | (kName[i + k] & 0x3F);
            Codes.push_back(code);
            i += length;
        }
    }
    ~TPeer() {
        FT_Done_Face(FFace);
        FT_Done_FreeType(FLibrary);
    }
    FT_Face Face() const { return FFace; }
    std::vector<char32_t> Codes;

private:
    FT_Library FLibrary = nullptr;
    FT_Face FFace = nullptr;
};

void BM_FreeTypeWrite(benchmark::State& state) {
    TPeer peer;
    std::vector<std::uint32_t> pixels(kWidth * kHeight, 0xFFFFFFFFu);
    for (auto _ : state) {
        int pen = 2;
        for (char32_t code : peer.Codes) {
            if (FT_Load_Char(peer.Face(), code, FT_LOAD_RENDER) != 0)
                continue;
            const FT_GlyphSlot slot = peer.Face()->glyph;
            const int top = 10 - slot->bitmap_top;
            for (unsigned y = 0; y < slot->bitmap.rows; ++y)
                for (unsigned x = 0; x < slot->bitmap.width; ++x) {
                    const int px = pen + slot->bitmap_left + int(x), py = top + int(y);
                    if (px < 0 || py < 0 || px >= kWidth || py >= kHeight)
                        continue;
                    const unsigned c = slot->bitmap.buffer[y * unsigned(slot->bitmap.pitch) + x];
                    std::uint32_t& p = pixels[std::size_t(py) * kWidth + std::size_t(px)];
                    const unsigned under = p & 0xFF;
                    const unsigned v = (under * (255 - c) + 127) / 255;
                    p = v | (v << 8) | (v << 16);
                }
            pen += int((slot->advance.x + 32) >> 6);
        }
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_FreeTypeWrite);

void BM_FreeTypeMeasure(benchmark::State& state) {
    TPeer peer;
    for (auto _ : state) {
        long width = 0;
        for (char32_t code : peer.Codes)
            if (FT_Load_Char(peer.Face(), code, FT_LOAD_DEFAULT) == 0)
                width += (peer.Face()->glyph->advance.x + 32) >> 6;
        benchmark::DoNotOptimize(width);
    }
}
BENCHMARK(BM_FreeTypeMeasure);

}  // namespace
