// The public test images: every valid PngSuite file decodes to libpng's pixels (after our
// conversions: 16-bit samples keep their high byte in the colour plane and their low byte in the
// extra plane, colour samples pass through our gamma table), every corrupt one fails with the
// class of its defect, and the further PNG files load or fail with a PNG error class.
#include "PngTestSupport.h"

#include "png/ImageData.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <typeindex>

using namespace png;
namespace fs = std::filesystem;

namespace {

const fs::path kSuite = "../shared/corpus/pngsuite";
const fs::path kFurther = "../shared/corpus/png";

/// libpng's reading: palettes expanded to RGB, grey below 8 bits widened, 16-bit samples kept;
/// no gamma and no tRNS conversion.
struct TReference {
    bool Ok = false;
    std::uint32_t Width = 0, Height = 0;
    int Channels = 0, Depth = 0;
    bool Alpha = false;  // the file's own colour type carries alpha (not a tRNS expansion)
    std::vector<std::uint8_t> Pixels;
    std::size_t RowBytes = 0;
};

TReference DecodeWithLibpng(const fs::path& file) {
    TReference ref;
    std::FILE* fp = std::fopen(file.c_str(), "rb");
    if (fp == nullptr)
        return ref;
    png_structp read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(read);
    // Nothing with a destructor is created between here and the libpng calls but the result,
    // which outlives the jump.
    if (setjmp(png_jmpbuf(read))) {
        png_destroy_read_struct(&read, &info, nullptr);
        std::fclose(fp);
        ref.Ok = false;
        return ref;
    }
    png_init_io(read, fp);
    png_read_info(read, info);
    ref.Alpha = (png_get_color_type(read, info) & PNG_COLOR_MASK_ALPHA) != 0;
    png_set_palette_to_rgb(read);
    png_set_expand_gray_1_2_4_to_8(read);
    png_set_interlace_handling(read);
    png_read_update_info(read, info);
    ref.Width = png_get_image_width(read, info);
    ref.Height = png_get_image_height(read, info);
    ref.Channels = png_get_channels(read, info);
    ref.Depth = png_get_bit_depth(read, info);
    ref.RowBytes = png_get_rowbytes(read, info);
    ref.Pixels.resize(ref.RowBytes * ref.Height);
    std::vector<png_bytep> rows(ref.Height);
    for (std::uint32_t y = 0; y < ref.Height; ++y)
        rows[y] = ref.Pixels.data() + y * ref.RowBytes;
    png_read_image(read, rows.data());
    png_read_end(read, nullptr);
    png_destroy_read_struct(&read, &info, nullptr);
    std::fclose(fp);
    ref.Ok = true;
    return ref;
}

struct TOurPixel {
    std::uint8_t R, G, B, A;
    std::uint8_t LowR, LowG, LowB;  // the extra plane, blue-green-red positions as stored
};

TOurPixel OurPixel(const TChunkIHDR& header, std::uint32_t x, std::uint32_t y) {
    TOurPixel p{};
    const std::uint8_t* row = header.ColorRow(y);
    const std::size_t offset = std::size_t(header.RowStride()) * (header.Height() - 1 - y);
    const std::uint8_t* extra = header.ExtraPlane() != nullptr ? header.ExtraPlane() + offset : nullptr;
    const int bits = header.BitmapInfo().bmiHeader.biBitCount;
    if (bits == 24) {
        p.B = row[3 * x];
        p.G = row[3 * x + 1];
        p.R = row[3 * x + 2];
        if (extra != nullptr) {
            p.LowB = extra[3 * x];
            p.LowG = extra[3 * x + 1];
            p.LowR = extra[3 * x + 2];
        }
    } else {
        unsigned index = 0;
        if (bits == 1)
            index = (row[x / 8] >> (7 - x % 8)) & 1;
        else if (bits == 4)
            index = (row[x / 2] >> ((1 - x % 2) * 4)) & 15;
        else
            index = row[x];
        const gdi::RGBQUAD& entry = header.BitmapInfo().bmiColors[index];
        p.R = entry.rgbRed;
        p.G = entry.rgbGreen;
        p.B = entry.rgbBlue;
        if (extra != nullptr)
            p.LowR = p.LowG = p.LowB = extra[x];
    }
    p.A = header.AlphaPlane() != nullptr ? header.AlphaPlane()[std::size_t(y) * header.Width() + x] : 255;
    return p;
}

/// Compares every pixel; returns the number of mismatches (reporting the first few).
int CompareWithReference(TPNGObject& png, const TReference& ref, const std::string& name) {
    const TChunkIHDR& header = png.RequireHeader();
    EXPECT_EQ(header.Width(), ref.Width) << name;
    EXPECT_EQ(header.Height(), ref.Height) << name;
    if (header.Width() != ref.Width || header.Height() != ref.Height)
        return 1;
    const auto& gamma = png.GammaLookup;
    const bool grey = ref.Channels <= 2;
    const bool wide = ref.Depth == 16;
    const int step = wide ? 2 : 1;
    int mismatches = 0;
    for (std::uint32_t y = 0; y < ref.Height; ++y) {
        for (std::uint32_t x = 0; x < ref.Width; ++x) {
            const std::uint8_t* s = ref.Pixels.data() + y * ref.RowBytes + std::size_t(x) * ref.Channels * step;
            const TOurPixel ours = OurPixel(header, x, y);
            std::uint8_t r, g, b, a = 255, lowR = 0, lowG = 0, lowB = 0;
            if (grey) {
                r = g = b = gamma[s[0]];
                // Grey low bytes go to the extra plane as they are.
                lowR = lowG = lowB = wide ? s[1] : 0;
                if (ref.Channels == 2 && ref.Alpha)
                    a = s[step];
            } else {
                r = gamma[s[0]];
                g = gamma[s[step]];
                b = gamma[s[2 * step]];
                if (wide) {
                    lowR = gamma[s[1]];
                    lowG = gamma[s[3]];
                    lowB = gamma[s[5]];
                }
                if (ref.Channels == 4 && ref.Alpha)
                    a = s[3 * step];
            }
            const bool same = ours.R == r && ours.G == g && ours.B == b && ours.A == a &&
                              (!wide || (ours.LowR == lowR && ours.LowG == lowG && ours.LowB == lowB));
            if (!same && ++mismatches <= 3) {
                ADD_FAILURE() << name << " pixel " << x << "," << y << ": ours " << int(ours.R) << " " << int(ours.G)
                              << " " << int(ours.B) << " " << int(ours.A) << " expected " << int(r) << " " << int(g)
                              << " " << int(b) << " " << int(a);
            }
        }
    }
    return mismatches;
}

std::vector<std::string> SuiteFiles(bool corrupt) {
    std::vector<std::string> names;
    if (!fs::exists(kSuite))
        return names;
    for (const auto& entry : fs::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && (name[0] == 'x') == corrupt)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// True for the codec's own failure classes.
bool IsPngError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EPngError&) {
    } catch (const EPngUnexpectedEnd&) {
    } catch (const EPNGNoImageData&) {
    } catch (const EPNGOutMemory&) {
    } catch (const EPNGHeaderNotPresent&) {
    } catch (const EPngInvalidCRC&) {
    } catch (const EPngInvalidIHDR&) {
    } catch (const EPNGMissingMultipleIDAT&) {
    } catch (const EPNGZLIBError&) {
    } catch (const EPNGInvalidPalette&) {
    } catch (const EPNGInvalidFileHeader&) {
    } catch (const EPNGIHDRNotFirst&) {
    } catch (const EPNGSizeExceeds&) {
    } catch (const EPNGUnknownCriticalChunk&) {
    } catch (const EPNGUnknownCompression&) {
    } catch (const EPNGUnknownInterlace&) {
    } catch (...) {
        return false;
    }
    return true;
}

TBytes ReadFile(const fs::path& file) {
    TMemoryStream stream;
    stream.LoadFromFile(file.string());
    return stream.Bytes();
}

}  // namespace

class PngSuite : public TPngTest, public ::testing::WithParamInterface<std::size_t> {
protected:
    void SetUp() override {
        TPngTest::SetUp();
        SetWholeInflateLimit(GetParam());
    }
    void TearDown() override {
        SetWholeInflateLimit(kDefaultWholeInflateLimit);
        TPngTest::TearDown();
    }
};

// Both ways of inflating: the whole image data at once, and row by row.
INSTANTIATE_TEST_SUITE_P(Inflate, PngSuite, ::testing::Values(kDefaultWholeInflateLimit, std::size_t(0)),
                         [](const auto& info) { return info.param == 0 ? std::string("RowByRow") : std::string("Whole"); });

TEST_P(PngSuite, EveryValidFileDecodesToLibpngsPixels) {
    const std::vector<std::string> files = SuiteFiles(false);
    ASSERT_GT(files.size(), 150u) << "the PngSuite images are missing";
    for (const std::string& name : files) {
        const TReference ref = DecodeWithLibpng(kSuite / name);
        ASSERT_TRUE(ref.Ok) << name;
        TPNGObject png;
        try {
            png.LoadFromFile((kSuite / name).string());
        } catch (const Exception& e) {
            ADD_FAILURE() << name << ": " << e.Message();
            continue;
        }
        EXPECT_EQ(CompareWithReference(png, ref, name), 0) << name;
    }
}

TEST_F(TPngTest, EveryCorruptSuiteFileFailsWithTheClassOfItsDefect) {
    // File names say the defect: signature damage, a bad colour type or depth, check values, a
    // missing image data chunk.
    const std::map<std::string, std::type_index> expected = {
        {"xc1n0g08.png", typeid(EPngInvalidIHDR)},       {"xc9n2c08.png", typeid(EPngInvalidIHDR)},
        {"xcrn0g04.png", typeid(EPNGInvalidFileHeader)}, {"xcsn0g01.png", typeid(EPngInvalidCRC)},
        {"xd0n2c08.png", typeid(EPngInvalidIHDR)},       {"xd3n2c08.png", typeid(EPngInvalidIHDR)},
        {"xd9n2c08.png", typeid(EPngInvalidIHDR)},       {"xdtn0g01.png", typeid(EPNGNoImageData)},
        {"xhdn0g08.png", typeid(EPngInvalidCRC)},        {"xlfn0g04.png", typeid(EPNGInvalidFileHeader)},
        {"xs1n0g01.png", typeid(EPNGInvalidFileHeader)}, {"xs2n0g01.png", typeid(EPNGInvalidFileHeader)},
        {"xs4n0g01.png", typeid(EPNGInvalidFileHeader)}, {"xs7n0g01.png", typeid(EPNGInvalidFileHeader)},
    };
    const std::vector<std::string> files = SuiteFiles(true);
    EXPECT_EQ(files.size(), expected.size());
    for (const std::string& name : files) {
        TPNGObject png;
        try {
            png.LoadFromFile((kSuite / name).string());
            ADD_FAILURE() << name << " loaded";
        } catch (const Exception& e) {
            const auto it = expected.find(name);
            ASSERT_NE(it, expected.end()) << name;
            EXPECT_EQ(std::type_index(typeid(e)), it->second) << name << ": " << e.Message();
        }
    }
}

TEST_F(TPngTest, FurtherPngFilesLoadOrFailWithAPngErrorClass) {
    ASSERT_TRUE(fs::exists(kFurther));
    int loaded = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kFurther)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".png")
            continue;
        const std::string name = entry.path().string();
        TPNGObject png;
        try {
            LoadPng(png, ReadFile(entry.path()));
        } catch (...) {
            EXPECT_TRUE(IsPngError(std::current_exception())) << name;
            continue;
        }
        ++loaded;
        const TReference ref = DecodeWithLibpng(entry.path());
        if (ref.Ok) {
            EXPECT_EQ(CompareWithReference(png, ref, name), 0) << name;
        }
        // Drawing what loaded into a thumbnail cell raises nothing but the codec's own errors.
        graphics::TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        try {
            cell.Canvas().StretchDraw(graphics::Rect(0, 0, 64, 64), &png);
        } catch (...) {
            EXPECT_TRUE(IsPngError(std::current_exception())) << name;
        }
    }
    EXPECT_GT(loaded, 30);
}
