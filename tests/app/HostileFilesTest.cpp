// Small hostile files, run through vistel-thumbs as a person runs it, one file to a folder: each
// must be shown or refused with its message, and the tool's peak memory must stay near that of a
// run on one tiny picture. The files are made here, never stored.
#include "graphics/Bitmap.h"
#include "graphics/GraphicsBase.h"
#include "jpeg/JpegImage.h"
#include "jpeg/JpegModule.h"
#include "platform/base/Stream.h"
#include "png/PngImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef VISTEL_THUMBS

namespace fs = std::filesystem;

namespace {

using TBytes = std::vector<std::uint8_t>;

void Put32(TBytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

void PutLE16(TBytes& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void PutLE32(TBytes& out, std::uint32_t v) {
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}

void PutChunk(TBytes& out, const char* type, const TBytes& data) {
    Put32(out, std::uint32_t(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, std::uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

TBytes Header(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType) {
    TBytes data;
    Put32(data, width);
    Put32(data, height);
    data.insert(data.end(), {depth, colorType, 0, 0, 0});
    return data;
}

/// zlib data of `total` zero bytes, deflated a slice at a time so the zeros never exist at once.
TBytes DeflatedZeros(std::size_t total) {
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<std::uint8_t> zeros(1 << 20, 0);
    std::vector<std::uint8_t> window(1 << 16);
    TBytes out;
    std::size_t left = total;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (z.avail_in == 0 && left > 0) {
            const std::size_t slice = std::min(left, zeros.size());
            z.next_in = zeros.data();
            z.avail_in = uInt(slice);
            left -= slice;
        }
        z.next_out = window.data();
        z.avail_out = uInt(window.size());
        status = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.insert(out.end(), window.data(), window.data() + (window.size() - z.avail_out));
    }
    deflateEnd(&z);
    return out;
}

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

/// A PNG with the given header, chunks before the image data, and image data.
TBytes Png(const TBytes& header, const std::vector<std::pair<const char*, TBytes>>& before, const TBytes& idat) {
    TBytes out(kSignature, kSignature + 8);
    PutChunk(out, "IHDR", header);
    for (const auto& [type, data] : before)
        PutChunk(out, type, data);
    PutChunk(out, "IDAT", idat);
    PutChunk(out, "IEND", {});
    return out;
}

/// A 4 × 4 RGB image's rows: filter byte 0 and red pixels.
TBytes RedRows() {
    TBytes rows;
    for (int y = 0; y < 4; ++y) {
        rows.push_back(0);
        for (int x = 0; x < 4; ++x)
            rows.insert(rows.end(), {255, 0, 0});
    }
    uLongf size = compressBound(uLong(rows.size()));
    TBytes out(size);
    compress(out.data(), &size, rows.data(), uLong(rows.size()));
    out.resize(size);
    return out;
}

struct TRun {
    int Status = -1;
    std::string Output;
    long PeakKb = 0;
};

/// Runs the tool on the folder with --keep-going; its output, exit status and peak memory. The
/// peak is measured by time(1): a child forked from this (large) test process would count the
/// test's own pages as its peak until it calls exec.
TRun RunThumbs(const fs::path& folder) {
    TRun run;
    const std::string base = folder.string();
    const std::string output = base + ".out", peak = base + ".peak";
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        // Freed memory kept back by the address checker would count as the tool's own.
        ::setenv("ASAN_OPTIONS", "quarantine_size_mb=0:detect_leaks=1", 1);
        ::execl("/usr/bin/time", "time", "-f", "%M", "-o", peak.c_str(), VISTEL_THUMBS, folder.c_str(),
                "--keep-going", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child)
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(output);
    run.Output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::ifstream kilobytes(peak);
    kilobytes >> run.PeakKb;
    return run;
}

class HostileFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FRoot = fs::temp_directory_path() / ("vistel-hostile-" + std::to_string(::getpid()));
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "baseline");
        Write(FRoot / "baseline" / "red.png", Png(Header(4, 4, 8, 2), {}, RedRows()));
        FBaseline = RunThumbs(FRoot / "baseline");
    }
    static void TearDownTestSuite() { fs::remove_all(FRoot); }

    static void Write(const fs::path& path, const TBytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    /// A folder holding only the named file with the given bytes.
    static fs::path Folder(const std::string& name, const TBytes& bytes) {
        const fs::path folder = FRoot / (name + ".d");
        fs::create_directories(folder);
        Write(folder / name, bytes);
        return folder;
    }

    /// Runs the tool and checks that it kept within `budgetMb` beyond the baseline run.
    static TRun Expect(const fs::path& folder, long budgetMb) {
        const TRun run = RunThumbs(folder);
        EXPECT_EQ(run.Status, 0) << run.Output;
        EXPECT_LT(run.PeakKb - FBaseline.PeakKb, budgetMb * 1024)
            << "peak " << run.PeakKb << " kB against " << FBaseline.PeakKb << " kB for one tiny picture";
        return run;
    }

    static inline fs::path FRoot;
    static inline TRun FBaseline;
};

TEST_F(HostileFiles, TheBaselineDrawsItsPicture) {
    EXPECT_EQ(FBaseline.Status, 0) << FBaseline.Output;
    EXPECT_NE(FBaseline.Output.find("red.png\t0"), std::string::npos) << FBaseline.Output;
}

TEST_F(HostileFiles, ACompressedTextThatInflatesToAGibibyteLeavesThePictureDrawn) {
    TBytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    const TBytes bomb = DeflatedZeros(std::size_t(1) << 30);
    text.insert(text.end(), bomb.begin(), bomb.end());
    const TRun run = Expect(Folder("text.png", Png(Header(4, 4, 8, 2), {{"zTXt", text}}, RedRows())), 64);
    EXPECT_NE(run.Output.find("text.png\t0"), std::string::npos) << run.Output;
}

TEST_F(HostileFiles, HugeHeadersAreRefusedBeforeTheirStorageExists) {
    // Each file is a few dozen bytes that describe gigabytes of pixels.
    const std::pair<const char*, TBytes> headers[] = {
        {"rgba16.png", Header(30000, 30000, 16, 6)},
        {"widest.png", Header(65535, 65535, 8, 2)},
        {"beyond.png", Header(0x7FFFFFFF, 0x7FFFFFFF, 8, 6)},
    };
    for (const auto& [name, header] : headers) {
        const TRun run = Expect(Folder(name, Png(header, {}, RedRows())), 20);
        EXPECT_NE(run.Output.find(std::string(name) + "\t-\t"), std::string::npos) << run.Output;
    }

    TBytes bmp = {'B', 'M'};
    PutLE32(bmp, 54);
    PutLE32(bmp, 0);
    PutLE32(bmp, 54);
    PutLE32(bmp, 40);
    PutLE32(bmp, 60000);
    PutLE32(bmp, 60000);
    PutLE16(bmp, 1);
    PutLE16(bmp, 24);
    for (int i = 0; i < 6; ++i)
        PutLE32(bmp, 0);
    Expect(Folder("wide.bmp", bmp), 20);
}

TEST_F(HostileFiles, AJpegHeaderOfHugeDimensionsIsRefusedWhenDrawn) {
    // A real 8 × 8 picture whose frame header is made to say 65500 × 65500.
    graphics::InitializeGraphics();
    jpeg::InitializeJpeg();
    TBytes bytes;
    {
        graphics::TBitmap bitmap;
        bitmap.SetPixelFormat(graphics::px24Bit);
        bitmap.SetWidth(8);
        bitmap.SetHeight(8);
        jpeg::TJPEGImage image;
        image.Assign(&bitmap);
        TMemoryStream stream;
        image.SaveToStream(stream);
        bytes = stream.Bytes();
    }
    jpeg::FinalizeJpeg();
    graphics::FinalizeGraphics();
    bool patched = false;
    for (std::size_t i = 0; i + 9 < bytes.size() && !patched; ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = bytes[i + 7] = 0xFF;
            bytes[i + 6] = bytes[i + 8] = 0xDC;
            patched = true;
        }
    }
    ASSERT_TRUE(patched);
    const TRun run = Expect(Folder("huge.jpg", bytes), 20);
    EXPECT_NE(run.Output.find("huge.jpg\t-\t"), std::string::npos) << run.Output;
}

TEST_F(HostileFiles, FilesLargerThanTheStorageCapAreRefusedUnread) {
    // A run-length BMP keeps its whole file too; its headers come first.
    TBytes rle = {'B', 'M'};
    PutLE32(rle, 0);
    PutLE32(rle, 0);
    PutLE32(rle, 54 + 1024);
    PutLE32(rle, 40);
    PutLE32(rle, 16);
    PutLE32(rle, 16);
    PutLE16(rle, 1);
    PutLE16(rle, 8);
    PutLE32(rle, 1);  // BI_RLE8
    for (int i = 0; i < 5; ++i)
        PutLE32(rle, 0);
    const std::pair<const char*, TBytes> files[] = {{"sparse.jpg", {}}, {"sparse.ico", {}}, {"sparse.bmp", rle}};
    for (const auto& [name, head] : files) {
        const fs::path folder = Folder(name, head);
        // Three gigabytes, zeros after the head, that take no room on disk.
        ASSERT_EQ(::truncate((folder / name).c_str(), off_t(3) << 30), 0);
        const TRun run = Expect(folder, 20);
        EXPECT_NE(run.Output.find(std::string(name) + "\t-\t"), std::string::npos) << run.Output;
    }
}

TEST_F(HostileFiles, ManyEntriesChunksAndInflatedBytesStayCheap) {
    // An icon directory of 65535 entries that all point past the file.
    TBytes icon;
    PutLE16(icon, 0);
    PutLE16(icon, 1);
    PutLE16(icon, 65535);
    for (int i = 0; i < 65535; ++i) {
        icon.insert(icon.end(), {16, 16, 0, 0});
        PutLE16(icon, 1);
        PutLE16(icon, 32);
        PutLE32(icon, 0x7FFFFFFF);
        PutLE32(icon, 0x7FFFFFF0);
    }
    Expect(Folder("many.ico", icon), 20);

    // 200,000 unknown ancillary chunks before the image data. They are kept to be saved again, so
    // they cost memory in proportion to their count: some 20 MB, half again with the address
    // checker's padding around each small block.
    std::vector<std::pair<const char*, TBytes>> chunks(200000, {"vsTl", TBytes{}});
    const TRun many = Expect(Folder("chunks.png", Png(Header(4, 4, 8, 2), chunks, RedRows())), 40);
    EXPECT_NE(many.Output.find("chunks.png\t0"), std::string::npos) << many.Output;

    // Image data that inflates to a gibibyte for a 4 × 4 picture.
    const TRun bomb = Expect(Folder("idat.png", Png(Header(4, 4, 8, 2), {}, DeflatedZeros(std::size_t(1) << 30))), 20);
    EXPECT_NE(bomb.Output.find("idat.png"), std::string::npos) << bomb.Output;
}

}  // namespace

#endif
