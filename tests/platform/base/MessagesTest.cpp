#include "platform/base/Exception.h"
#include "platform/base/Messages.h"
#include "platform/base/Persistent.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using ::testing::StrEq;
using ::testing::ThrowsMessage;

TEST(Messages, FormatFillsDirectivesInOrder) {
    EXPECT_EQ(base::Format("%s を %s に", {std::string("A"), std::string("B")}), "A を B に");
    EXPECT_EQ(base::Format("#%d: %x%%", {42LL, 255LL}), "#42: FF%");
    EXPECT_EQ(base::Format("%d", {-7LL}), "-7");
    // Missing or mismatched arguments leave the directive visible instead of failing.
    EXPECT_EQ(base::Format("%s and %s", {std::string("one")}), "one and %s");
    EXPECT_EQ(base::Format("%d", {std::string("x")}), "%d");
    EXPECT_EQ(base::Format("100%", {}), "100%");
    EXPECT_EQ(base::Format("%q", {}), "%q");
    EXPECT_EQ(base::LoadStr(-1), "");
}

namespace {

// Numbers no module uses, so registering them cannot disturb another test.
constexpr base::TMessage kFirstSample{101, "一つ目 %s"};
constexpr base::TMessage kSecondSample{102, "second, with \"quotes\"\r\n"};
constexpr base::TMessage kSamples[] = {kFirstSample, kSecondSample};
static_assert(base::HasDistinctIds(kSamples));
constexpr base::TMessage kClash[] = {kFirstSample, {101, "other"}};
static_assert(!base::HasDistinctIds(kClash));

}  // namespace

TEST(Messages, RuntimeTextsNeedNoStartUp) {
    for (const base::TMessage& message : res::kRuntimeMessages)
        EXPECT_EQ(base::LoadStr(message), message.Text) << message.Id;
    EXPECT_EQ(base::FmtLoadStr(res::SFOpenError, {std::string("a.bmp")}), "ファイル a.bmp は開けません");
}

TEST(Messages, RegisteringAgainWhileOtherThreadsReadChangesNothing) {
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (!done) {
                // Before its registration a number has no text; after it, always its own.
                const std::string text = base::LoadStr(kSecondSample);
                if (!text.empty() && text != kSecondSample.Text)
                    ++wrong;
                if (base::LoadStr(res::SReadError) != res::SReadError.Text)
                    ++wrong;
            }
        });
    for (int round = 0; round < 200; ++round)
        base::RegisterMessages(kSamples);
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(base::FmtLoadStr(kFirstSample, {std::string("x")}), "一つ目 x");
    EXPECT_EQ(base::LoadStr(kSecondSample), "second, with \"quotes\"\r\n");
    EXPECT_EQ(base::LoadStr(103), "");
}

namespace {

class TSample : public TPersistent {
public:
    const char* ClassName() const override { return "TSample"; }
    std::vector<std::uint8_t> Data;
    std::vector<std::uint8_t> Other;
    void DefineProperties(TFiler& filer) override {
        filer.DefineBinaryProperty(
            "Data", [this](TStream& s) { Data.resize(std::size_t(s.Size())); s.ReadBuffer(Data.data(), s.Size()); },
            [this](TStream& s) { s.WriteBuffer(Data.data(), std::int64_t(Data.size())); }, !Data.empty());
        filer.DefineBinaryProperty(
            "Other", [this](TStream& s) { Other.resize(std::size_t(s.Size())); s.ReadBuffer(Other.data(), s.Size()); },
            [this](TStream& s) { s.WriteBuffer(Other.data(), std::int64_t(Other.size())); }, !Other.empty());
    }
};

}  // namespace

TEST(Persistent, AssigningWithoutAWayRaisesTheConversionError) {
    TSample target;
    TSample source;
    EXPECT_THAT([&] { target.Assign(&source); },
                ThrowsMessage<EConvertError>(StrEq("TSample を TSample に代入することはできません")));
    EXPECT_THAT([&] { target.Assign(nullptr); },
                ThrowsMessage<EConvertError>(StrEq("nil を TSample に代入することはできません")));
}

TEST(Persistent, PropertiesRoundTripAndSkipEmptyOnes) {
    TSample original;
    original.Data = {1, 2, 3};
    TMemoryStream stream;
    WriteProperties(original, stream);
    EXPECT_EQ(stream.Size(), 1 + 4 + 4 + 3) << "only the property with data is stored";
    stream.SetPosition(0);
    TSample copy;
    ReadProperties(copy, stream);
    EXPECT_EQ(copy.Data, original.Data);
    EXPECT_TRUE(copy.Other.empty());
}

TEST(Persistent, DamagedPropertyStreamRaisesTheReadError) {
    TSample original;
    original.Data = {1, 2, 3};
    TMemoryStream stream;
    WriteProperties(original, stream);
    auto bytes = stream.Bytes();
    bytes[5] = 0xFF;  // the count's low byte now claims far more than the stream holds
    TMemoryStream damaged(bytes);
    TSample copy;
    EXPECT_THROW(ReadProperties(copy, damaged), EReadError);
    TMemoryStream truncated(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 3));
    EXPECT_THROW(ReadProperties(copy, truncated), EReadError);
}
