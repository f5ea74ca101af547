#include "platform/base/Exception.h"
#include "platform/base/Messages.h"
#include "platform/base/Stream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

std::filesystem::path TempPath(const char* name) {
    return std::filesystem::temp_directory_path() / (std::string("vistel-") + std::to_string(::getpid()) + "-" + name);
}

}  // namespace

TEST(MemoryStream, GrowsOnWriteAndReadsBack) {
    TMemoryStream stream;
    for (int i = 0; i < 1000; ++i)
        stream.WriteBuffer(&i, sizeof i);
    EXPECT_EQ(stream.Size(), 4000);
    EXPECT_EQ(stream.Position(), 4000);
    stream.SetPosition(4 * 500);
    int value = 0;
    stream.ReadBuffer(&value, sizeof value);
    EXPECT_EQ(value, 500);
    EXPECT_EQ(stream.Remaining(), 4000 - 4 * 501);

    // Writing past the end after a seek fills the gap with zero bytes.
    stream.Seek(10, TSeekOrigin::End);
    stream.WriteBuffer("x", 1);
    EXPECT_EQ(stream.Size(), 4011);
    EXPECT_EQ(stream.Memory()[4005], 0);
    EXPECT_EQ(stream.Memory()[4010], 'x');
}

TEST(MemoryStream, ShortReadOfARequiredCountRaisesTheReadError) {
    TMemoryStream stream(std::vector<std::uint8_t>{1, 2, 3});
    std::uint8_t buffer[4];
    EXPECT_THAT([&] { stream.ReadBuffer(buffer, 4); },
                ThrowsMessage<EReadError>(StrEq(base::LoadStr(res::SReadError))));
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(buffer, 4), 3);
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_THROW(stream.ReadBuffer(buffer, -1), EReadError);
    EXPECT_EQ(stream.Seek(-10, TSeekOrigin::Beginning), 3) << "a seek before the start is refused";
}

TEST(MemoryStream, SizeChangesAndCopies) {
    TMemoryStream source(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    source.SetPosition(3);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(source, 0), 5) << "a count of 0 copies the whole stream";
    EXPECT_EQ(copy.Bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    source.SetPosition(1);
    TMemoryStream part;
    part.CopyFrom(source, 2);
    EXPECT_EQ(part.Bytes(), (std::vector<std::uint8_t>{2, 3}));
    EXPECT_THROW(part.CopyFrom(source, 10), EReadError);

    copy.SetSize(2);
    EXPECT_EQ(copy.Position(), 2);
    copy.SetSize(4);
    EXPECT_EQ(copy.Bytes(), (std::vector<std::uint8_t>{1, 2, 0, 0}));
    copy.Clear();
    EXPECT_EQ(copy.Size(), 0);
}

TEST(BytesStream, IsReadOnly) {
    const std::uint8_t data[] = {9, 8, 7};
    TBytesStream stream(data, sizeof data);
    EXPECT_THROW(stream.WriteBuffer("a", 1), EWriteError);
    std::uint8_t out[3];
    stream.ReadBuffer(out, 3);
    EXPECT_EQ(out[2], 7);
}

TEST(FileStream, WritesAndReadsAFile) {
    auto path = TempPath("stream.bin");
    {
        TFileStream file(path.string(), TFileMode::Create);
        file.WriteBuffer("hello", 5);
        EXPECT_EQ(file.Size(), 5);
    }
    {
        TFileStream file(path.string(), TFileMode::OpenReadShared);
        TFileStream second(path.string(), TFileMode::OpenReadShared);
        char text[6] = {};
        file.ReadBuffer(text, 5);
        EXPECT_STREQ(text, "hello");
        EXPECT_THROW(file.ReadBuffer(text, 1), EReadError);
        EXPECT_EQ(file.Write("x", 1), 0) << "opened for reading only";
        EXPECT_EQ(second.Size(), 5);
    }
    TMemoryStream memory;
    memory.LoadFromFile(path.string());
    EXPECT_EQ(memory.Size(), 5);
    std::filesystem::remove(path);
}

TEST(FileStream, FailuresNameTheFile) {
    auto missing = TempPath("missing.bmp").string();
    EXPECT_THAT([&] { TFileStream file(missing, TFileMode::OpenReadShared); },
                ThrowsMessage<EFOpenError>(StrEq("ファイル " + missing + " は開けません")));
    std::string uncreatable = "/nonexistent-folder/x.bmp";
    EXPECT_THAT([&] { TFileStream file(uncreatable, TFileMode::Create); },
                ThrowsMessage<EFCreateError>(StrEq("ファイル " + uncreatable + " を作成できません")));
}

TEST(FileStream, RefusesFoldersAndPipesInsteadOfHanging) {
    auto folder = std::filesystem::temp_directory_path().string();
    EXPECT_THROW(TFileStream(folder, TFileMode::OpenReadShared), EFOpenError);
    auto fifo = TempPath("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(TFileStream(fifo.string(), TFileMode::OpenReadShared), EFOpenError);
    std::filesystem::remove(fifo);
}
