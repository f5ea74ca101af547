// The BMP suite and further public BMP files: good files must match their reference renders,
// every other file must load or fail with an exception of the framework, never crash or leak.
#include "GraphicsTestSupport.h"

#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <map>

using namespace graphics;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = "../shared/corpus";

struct TReference {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;
};

bool ReadPng(const fs::path& path, TReference& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGB;
    out.Width = int(image.width);
    out.Height = int(image.height);
    out.Rgb.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, out.Rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// The reference render of each good file; several files draw the same picture.
const std::map<std::string, std::string> kReferences = {
    {"pal1.bmp", "pal1.png"},       {"pal1bg.bmp", "pal1bg.png"},     {"pal1wb.bmp", "pal1.png"},
    {"pal4.bmp", "pal4.png"},       {"pal4gs.bmp", "pal4gs.png"},     {"pal4rle.bmp", "pal4.png"},
    {"pal8-0.bmp", "pal8.png"},     {"pal8.bmp", "pal8.png"},         {"pal8gs.bmp", "pal8gs.png"},
    {"pal8nonsquare.bmp", "pal8nonsquare-e.png"},                     {"pal8os2.bmp", "pal8.png"},
    {"pal8rle.bmp", "pal8.png"},    {"pal8topdown.bmp", "pal8.png"},  {"pal8v4.bmp", "pal8.png"},
    {"pal8v5.bmp", "pal8.png"},     {"pal8w124.bmp", "pal8w124.png"}, {"pal8w125.bmp", "pal8w125.png"},
    {"pal8w126.bmp", "pal8w126.png"}, {"rgb16-565.bmp", "rgb16-565.png"}, {"rgb16-565pal.bmp", "rgb16-565.png"},
    {"rgb16.bmp", "rgb16.png"},     {"rgb16bfdef.bmp", "rgb16.png"},  {"rgb24.bmp", "rgb24.png"},
    {"rgb24pal.bmp", "rgb24.png"},  {"rgb32.bmp", "rgb24.png"},       {"rgb32bf.bmp", "rgb24.png"},
    {"rgb32bfdef.bmp", "rgb24.png"},
};

std::vector<fs::path> FilesIn(const fs::path& folder, bool recursive = false) {
    std::vector<fs::path> files;
    if (recursive) {
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    } else {
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().extension() == ".bmp")
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Loads a file and draws it into a thumbnail cell; true when it loaded.
bool LoadAndDraw(const fs::path& path, std::string& error) {
    try {
        TBitmap bitmap;
        bitmap.LoadFromFile(path.string());
        TBitmap cell;
        cell.SetWidth(64);
        cell.SetHeight(64);
        if (bitmap.Width() <= 64 && bitmap.Height() <= 64)
            cell.Canvas().Draw(0, 0, &bitmap);
        else
            cell.Canvas().StretchDraw(Rect(0, 0, 64, 64), &bitmap);
        return true;
    } catch (const Exception& e) {
        error = e.Message();
        return false;
    }
}

class BmpCorpus : public TGraphicsTest {
protected:
    void SetUp() override {
        TGraphicsTest::SetUp();
        if (!fs::exists(kCorpus / "bmpsuite"))
            GTEST_SKIP() << "the shared test images are not beside the project";
        // Hostile sizes must fail fast rather than fill the machine.
        gdi::SetBitmapStorageCap(256u << 20);
    }
};

}  // namespace

TEST_F(BmpCorpus, GoodFilesMatchTheirReferenceRenders) {
    int compared = 0;
    for (const fs::path& path : FilesIn(kCorpus / "bmpsuite" / "g")) {
        SCOPED_TRACE(path.filename().string());
        TBitmap bitmap;
        ASSERT_NO_THROW(bitmap.LoadFromFile(path.string()));
        auto it = kReferences.find(path.filename().string());
        if (it == kReferences.end())
            continue;
        TReference reference;
        ASSERT_TRUE(ReadPng(kCorpus / "bmpsuite" / "ref" / it->second, reference));
        ASSERT_EQ(bitmap.Width(), reference.Width);
        ASSERT_EQ(bitmap.Height(), reference.Height);
        // Five and six-bit channels are widened by repeating their bits; the references may
        // round differently by a step or two.
        const bool sixteen = path.filename().string().rfind("rgb16", 0) == 0;
        const int tolerance = sixteen ? 4 : 0;
        auto pixels = ReadPixels(bitmap);
        int mismatches = 0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const int r = int((pixels[i] >> 16) & 0xFF), g = int((pixels[i] >> 8) & 0xFF), b = int(pixels[i] & 0xFF);
            const std::uint8_t* ref = &reference.Rgb[3 * i];
            if (std::abs(r - ref[0]) > tolerance || std::abs(g - ref[1]) > tolerance || std::abs(b - ref[2]) > tolerance)
                ++mismatches;
        }
        EXPECT_EQ(mismatches, 0);
        ++compared;
    }
    EXPECT_EQ(compared, int(kReferences.size()));
}

TEST_F(BmpCorpus, OtherFilesLoadOrFailCleanly) {
    std::vector<fs::path> files;
    for (const char* folder : {"q", "b", "x"})
        if (fs::exists(kCorpus / "bmpsuite" / folder))
            for (auto& path : FilesIn(kCorpus / "bmpsuite" / folder))
                files.push_back(path);
    for (auto& path : FilesIn(kCorpus / "bmp", true))
        files.push_back(path);
    ASSERT_FALSE(files.empty());
    const std::size_t live = gdi::LiveObjectCount();
    for (const fs::path& path : files) {
        std::string error;
        const bool loaded = LoadAndDraw(path, error);
        // The log lists which questionable files load; it is read when the suite changes.
        std::printf("%-60s %s\n", fs::relative(path, kCorpus).c_str(), loaded ? "loads" : ("fails: " + error).c_str());
        EXPECT_EQ(gdi::LiveObjectCount(), live) << path;
    }
}
