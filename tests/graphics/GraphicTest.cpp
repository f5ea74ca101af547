// The abstract graphic's own operations, class references, and the two format registries.
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "graphics/Icon.h"
#include "graphics/Metafile.h"
#include "tests/graphics/PictureTestSupport.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

namespace {

using namespace graphics;
using namespace picturetest;
using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

const std::string kAbstractCall = "抽象メソッドが呼び出されました";

std::vector<std::uint8_t> BytesOf(TMemoryStream& stream) { return stream.Bytes(); }

/// What WriteProperties stores for one binary property.
std::vector<std::uint8_t> StoredProperty(const std::string& name, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> out = {std::uint8_t(name.size())};
    out.insert(out.end(), name.begin(), name.end());
    std::uint32_t size = std::uint32_t(data.size());
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(size >> shift));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::unique_ptr<TByteGraphic> MakeGraphic(const TGraphicClass& cls, int width, int height,
                                          std::vector<std::uint8_t> bytes) {
    std::unique_ptr<TByteGraphic> graphic(dynamic_cast<TByteGraphic*>(cls.NewInstance().release()));
    graphic->Fill(width, height, std::move(bytes));
    return graphic;
}

// Class references.

struct TInheritanceCase {
    const char* Name;
    const TGraphicClass& (*Class)();
    const TGraphicClass& (*Other)();
    bool Expected;
};

void PrintTo(const TInheritanceCase& c, std::ostream* os) { *os << c.Name; }

class GraphicClassInheritance : public ::testing::TestWithParam<TInheritanceCase> {};

TEST_P(GraphicClassInheritance, FollowsTheParentChain) {
    EXPECT_EQ(GetParam().Class().InheritsFrom(GetParam().Other()), GetParam().Expected);
}

const TInheritanceCase kInheritanceCases[] = {
    {"SelfIsItself", &TTestGraphic::StaticClass, &TTestGraphic::StaticClass, true},
    {"SubDerivesFromBase", &TTestSubGraphic::StaticClass, &TTestGraphic::StaticClass, true},
    {"SubDerivesFromTGraphic", &TTestSubGraphic::StaticClass, &TGraphic::StaticClass, true},
    {"BaseIsNotSub", &TTestGraphic::StaticClass, &TTestSubGraphic::StaticClass, false},
    {"SiblingIsNotBase", &TOtherGraphic::StaticClass, &TTestGraphic::StaticClass, false},
    {"TGraphicIsNoSub", &TGraphic::StaticClass, &TTestGraphic::StaticClass, false},
    {"AbstractDerivesFromTGraphic", &AbstractTestClass, &TGraphic::StaticClass, true},
    {"BitmapDerivesFromTGraphic", &TBitmap::StaticClass, &TGraphic::StaticClass, true},
};
INSTANTIATE_TEST_SUITE_P(Cases, GraphicClassInheritance, ::testing::ValuesIn(kInheritanceCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(GraphicClass, SameNameIsNotSameClass) {
    static const TGraphicClass impostor{"TTestGraphic", &TGraphic::StaticClass(), nullptr};
    EXPECT_FALSE(impostor.InheritsFrom(TTestGraphic::StaticClass()));
    EXPECT_FALSE(TTestGraphic::StaticClass().InheritsFrom(impostor));
}

TEST(GraphicClass, AbstractClassRaisesAbstractErrorInsteadOfConstructing) {
    EXPECT_THAT([] { TGraphic::StaticClass().NewInstance(); }, ThrowsMessage<EAbstractError>(StrEq(kAbstractCall)));
    EXPECT_THAT([] { AbstractTestClass().NewInstance(); }, ThrowsMessage<EAbstractError>(StrEq(kAbstractCall)));
    EXPECT_STREQ(TGraphic::StaticClass().Name, "TGraphic");
    EXPECT_EQ(TGraphic::StaticClass().Parent, nullptr);
}

TEST(GraphicClass, VirtualConstructorMakesAnEmptyGraphicOfTheObjectsOwnClass) {
    auto original = MakeGraphic(TTestSubGraphic::StaticClass(), 3, 2, {1, 2});
    std::unique_ptr<TGraphic> made = original->NewInstance();
    EXPECT_EQ(&made->ClassType(), &TTestSubGraphic::StaticClass());
    EXPECT_STREQ(made->ClassName(), "TTestSubGraphic");
    EXPECT_TRUE(made->Empty());
}

// The base operations.

TEST(Graphic, ChangedSetsModifiedAndReportsTheGraphicAsSender) {
    TTestGraphic graphic;
    TOtherGraphic stranger;
    std::vector<TPersistent*> senders;
    graphic.OnChange = [&](TPersistent* sender) { senders.push_back(sender); };
    graphic.Changed(&stranger);
    EXPECT_TRUE(graphic.Modified);
    EXPECT_THAT(senders, ElementsAre(&graphic));
}

TEST(Graphic, ChangedWithoutHandlerOnlySetsModified) {
    TTestGraphic graphic;
    graphic.Changed(nullptr);
    EXPECT_TRUE(graphic.Modified);
}

TEST(Graphic, SetTransparentRunsChangedOnlyWhenTheValueDiffers) {
    TTestGraphic graphic;
    int changes = 0;
    graphic.OnChange = [&](TPersistent*) { ++changes; };
    EXPECT_FALSE(graphic.GetTransparent());
    graphic.SetTransparent(false);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(graphic.Modified);
    graphic.SetTransparent(true);
    EXPECT_TRUE(graphic.GetTransparent());
    EXPECT_EQ(changes, 1);
    graphic.SetTransparent(true);
    EXPECT_EQ(changes, 1);
    graphic.SetTransparent(false);
    EXPECT_EQ(changes, 2);
}

TEST(Graphic, BaseHasNoPaletteAndIgnoresOne) {
    TTestGraphic graphic;
    EXPECT_EQ(graphic.GetPalette(), nullptr);
    graphic.SetPalette(reinterpret_cast<HPALETTE>(std::uintptr_t(0x1234)));
    EXPECT_EQ(graphic.GetPalette(), nullptr);
    EXPECT_FALSE(graphic.Modified);
}

TEST(Graphic, ProgressReachesTheHandlerWithItsArguments) {
    TTestGraphic graphic;
    TOtherGraphic sender;
    int calls = 0;
    graphic.OnProgress = [&](TPersistent* s, TProgressStage stage, std::uint8_t percent, bool redraw, const TRect& r,
                             const std::string& msg) {
        ++calls;
        EXPECT_EQ(s, &sender);
        EXPECT_EQ(stage, TProgressStage::psRunning);
        EXPECT_EQ(percent, 42);
        EXPECT_TRUE(redraw);
        EXPECT_EQ(r.left, 1);
        EXPECT_EQ(r.bottom, 4);
        EXPECT_EQ(msg, "half");
    };
    graphic.Progress(&sender, TProgressStage::psRunning, 42, true, Rect(1, 2, 3, 4), "half");
    EXPECT_EQ(calls, 1);
    graphic.OnProgress = nullptr;
    graphic.Progress(&sender, TProgressStage::psRunning, 42, true, Rect(1, 2, 3, 4), "half");
}

TEST(Graphic, DataIsReadAndWrittenThroughTheStreamOperations) {
    auto graphic = MakeGraphic(TTestGraphic::StaticClass(), 4, 5, {9, 8, 7});
    TMemoryStream stream;
    graphic->WriteData(stream);
    EXPECT_EQ(BytesOf(stream), ByteGraphicData(4, 5, {9, 8, 7}));
    TTestGraphic copy;
    stream.SetPosition(0);
    copy.ReadData(stream);
    EXPECT_EQ(copy.Width(), 4);
    EXPECT_EQ(copy.Height(), 5);
    EXPECT_THAT(copy.Bytes(), ElementsAre(9, 8, 7));
}

// Equals.

struct TEqualsCase {
    const char* Name;
    const TGraphicClass& (*LeftClass)();
    int LeftWidth;
    std::vector<std::uint8_t> LeftBytes;
    const TGraphicClass& (*RightClass)();
    int RightWidth;
    std::vector<std::uint8_t> RightBytes;
    bool Expected;
};

void PrintTo(const TEqualsCase& c, std::ostream* os) { *os << c.Name; }

class GraphicEquals : public ::testing::TestWithParam<TEqualsCase> {};

TEST_P(GraphicEquals, ComparesEmptinessThenClassThenStoredBytes) {
    const TEqualsCase& c = GetParam();
    auto left = MakeGraphic(c.LeftClass(), c.LeftWidth, 2, c.LeftBytes);
    auto right = MakeGraphic(c.RightClass(), c.RightWidth, 2, c.RightBytes);
    EXPECT_EQ(left->Equals(right.get()), c.Expected);
    EXPECT_EQ(right->Equals(left.get()), c.Expected);
}

const TEqualsCase kEqualsCases[] = {
    {"EmptyEqualsEmptyOfAnotherClass", &TTestGraphic::StaticClass, 0, {1}, &TOtherGraphic::StaticClass, 0, {2}, true},
    {"EmptyDiffersFromNonEmpty", &TTestGraphic::StaticClass, 0, {}, &TTestGraphic::StaticClass, 3, {}, false},
    {"SameBytesOfAnotherClassDiffer", &TTestGraphic::StaticClass, 3, {1, 2}, &TOtherGraphic::StaticClass, 3, {1, 2},
     false},
    {"SubclassDiffersFromBase", &TTestGraphic::StaticClass, 3, {1, 2}, &TTestSubGraphic::StaticClass, 3, {1, 2},
     false},
    {"SameClassSameBytesAreEqual", &TTestGraphic::StaticClass, 3, {1, 2}, &TTestGraphic::StaticClass, 3, {1, 2}, true},
    {"OneDifferentByteDiffers", &TTestGraphic::StaticClass, 3, {1, 2}, &TTestGraphic::StaticClass, 3, {1, 3}, false},
    {"DifferentLengthDiffers", &TTestGraphic::StaticClass, 3, {1, 2}, &TTestGraphic::StaticClass, 3, {1, 2, 0},
     false},
    {"DifferentSizeDiffers", &TTestGraphic::StaticClass, 3, {1}, &TTestGraphic::StaticClass, 4, {1}, false},
};
INSTANTIATE_TEST_SUITE_P(Cases, GraphicEquals, ::testing::ValuesIn(kEqualsCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Graphic, EqualsNothingIsFalse) {
    TTestGraphic empty;
    EXPECT_FALSE(empty.Equals(nullptr));
}

// The stored "Data" property and its ancestor rule.

enum class TAncestor { None, EqualGraphic, DifferentGraphic, EmptyGraphic, NotAGraphic };

struct TStoredCase {
    const char* Name;
    int Width;  // 0 makes the graphic empty
    TAncestor Ancestor;
    bool Written;
};

void PrintTo(const TStoredCase& c, std::ostream* os) { *os << c.Name; }

class GraphicStoredData : public ::testing::TestWithParam<TStoredCase> {};

TEST_P(GraphicStoredData, WritesDataOnlyWhenItTellsSomething) {
    const TStoredCase& c = GetParam();
    auto graphic = MakeGraphic(TTestGraphic::StaticClass(), c.Width, 2, {5, 6});
    std::unique_ptr<TPersistent> ancestor;
    switch (c.Ancestor) {
        case TAncestor::None: break;
        case TAncestor::EqualGraphic: ancestor = MakeGraphic(TTestGraphic::StaticClass(), c.Width, 2, {5, 6}); break;
        case TAncestor::DifferentGraphic: ancestor = MakeGraphic(TTestGraphic::StaticClass(), 7, 2, {5}); break;
        case TAncestor::EmptyGraphic: ancestor = MakeGraphic(TTestGraphic::StaticClass(), 0, 0, {}); break;
        case TAncestor::NotAGraphic: ancestor = std::make_unique<TPicture>(); break;
    }
    TMemoryStream stream;
    WriteProperties(*graphic, stream, ancestor.get());
    if (c.Written)
        EXPECT_EQ(BytesOf(stream), StoredProperty("Data", ByteGraphicData(c.Width, 2, {5, 6})));
    else
        EXPECT_EQ(stream.Size(), 0);
}

const TStoredCase kStoredCases[] = {
    {"EmptyWithoutAncestorIsNotWritten", 0, TAncestor::None, false},
    {"NonEmptyWithoutAncestorIsWritten", 3, TAncestor::None, true},
    {"EqualToAncestorIsNotWritten", 3, TAncestor::EqualGraphic, false},
    {"DifferentFromAncestorIsWritten", 3, TAncestor::DifferentGraphic, true},
    {"EmptyLikeItsEmptyAncestorIsNotWritten", 0, TAncestor::EmptyGraphic, false},
    {"EmptyAgainstNonEmptyAncestorIsWritten", 0, TAncestor::DifferentGraphic, true},
    {"AncestorThatIsNoGraphicAlwaysWrites", 0, TAncestor::NotAGraphic, true},
};
INSTANTIATE_TEST_SUITE_P(Cases, GraphicStoredData, ::testing::ValuesIn(kStoredCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Graphic, StoredDataRoundTripsIntoAFreshGraphic) {
    auto graphic = MakeGraphic(TTestGraphic::StaticClass(), 6, 1, {1, 2, 3, 4});
    TMemoryStream stream;
    WriteProperties(*graphic, stream);
    stream.SetPosition(0);
    TTestGraphic copy;
    ReadProperties(copy, stream);
    EXPECT_TRUE(copy.Equals(graphic.get()));
}

// Files.

TEST(GraphicFile, SaveThenLoadGivesTheSameGraphic) {
    TScratchFolder folder;
    auto graphic = MakeGraphic(TTestGraphic::StaticClass(), 2, 3, {4, 5});
    std::string name = folder.Path("saved.tst");
    graphic->SaveToFile(name);
    TTestGraphic loaded;
    loaded.LoadFromFile(name);
    EXPECT_TRUE(loaded.Equals(graphic.get()));
}

TEST(GraphicFile, SavingTruncatesAnExistingFile) {
    TScratchFolder folder;
    std::string name = folder.Write("big.tst", std::vector<std::uint8_t>(100, 0xEE));
    MakeGraphic(TTestGraphic::StaticClass(), 1, 1, {})->SaveToFile(name);
    EXPECT_EQ(std::filesystem::file_size(name), ByteGraphicData(1, 1, {}).size());
}

TEST(GraphicFile, MissingFileRaisesFOpenErrorWithTheFullName) {
    TScratchFolder folder;
    std::string name = folder.Path("missing.tst");
    TTestGraphic graphic;
    EXPECT_THAT([&] { graphic.LoadFromFile(name); },
                ThrowsMessage<EFOpenError>(StrEq("ファイル " + name + " は開けません")));
}

TEST(GraphicFile, UncreatableFileRaisesFCreateErrorWithTheFullName) {
    TScratchFolder folder;
    std::string name = folder.Path("no-such-folder/out.tst");
    auto graphic = MakeGraphic(TTestGraphic::StaticClass(), 1, 1, {});
    EXPECT_THAT([&] { graphic->SaveToFile(name); },
                ThrowsMessage<EFCreateError>(StrEq("ファイル " + name + " を作成できません")));
}

TEST(GraphicFile, FileIsClosedWhenTheReaderFails) {
    TScratchFolder folder;
    std::string name = folder.Write("bad.tst", {'X', 'X', 1, 1, 0});
    TTestGraphic graphic;
    int before = OpenFileCount();
    EXPECT_THROW(graphic.LoadFromFile(name), EInvalidGraphic);
    EXPECT_EQ(OpenFileCount(), before);
    graphic.LoadFromFile(folder.Write("good.tst", ByteGraphicData(1, 1, {})));
    EXPECT_EQ(OpenFileCount(), before);
}

// The format registry.

class FileFormatsList : public ::testing::Test {
protected:
    TFileFormatsList FList;
};

TEST_F(FileFormatsList, StartsWithTheBuiltInMetafileIconAndBitmapFormats) {
    struct Expected {
        const char* Extension;
        const char* Description;
        const TGraphicClass* Class;
    };
    const Expected expected[] = {
        {"wmf", "メタファイル", &TMetafile::StaticClass()},
        {"emf", "エンハンス メタファイル", &TMetafile::StaticClass()},
        {"ico", "アイコン", &TIcon::StaticClass()},
        {"bmp", "ビットマップ", &TBitmap::StaticClass()},
    };
    ASSERT_EQ(FList.Formats().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& format = FList.Formats()[i];
        EXPECT_EQ(format.Extension, expected[i].Extension);
        EXPECT_EQ(format.Description, expected[i].Description);
        EXPECT_EQ(format.DescResID, 0);
        EXPECT_EQ(format.GraphicClass, expected[i].Class);
    }
    EXPECT_EQ(FList.FindExt("Ico"), &TIcon::StaticClass());
    EXPECT_EQ(FList.FindExt("BMP"), &TBitmap::StaticClass());
    EXPECT_EQ(FList.FindExt("Emf"), &TMetafile::StaticClass());
}

class FileFormatsLookup : public ::testing::TestWithParam<const char*> {};

TEST_P(FileFormatsLookup, IgnoresAsciiLetterCase) {
    TFileFormatsList list;
    list.Add("TsT", "test", 0, TTestGraphic::StaticClass());
    EXPECT_EQ(list.Formats().back().Extension, "tst");
    EXPECT_EQ(list.FindExt(GetParam()), &TTestGraphic::StaticClass());
}
INSTANTIATE_TEST_SUITE_P(Spellings, FileFormatsLookup, ::testing::Values("tst", "TST", "Tst", "tsT"));

TEST_F(FileFormatsList, UnknownExtensionFindsNothing) {
    FList.Add("tst", "test", 0, TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("ts"), nullptr);
    EXPECT_EQ(FList.FindExt("tstx"), nullptr);
    EXPECT_EQ(FList.FindExt(""), nullptr);
    EXPECT_EQ(FList.FindExt(".tst"), nullptr);
}

TEST_F(FileFormatsList, NonAsciiBytesAreComparedAsTheyStand) {
    FList.Add("\xC3\x89X", "accented", 0, TTestGraphic::StaticClass());  // "ÉX"
    EXPECT_EQ(FList.Formats().back().Extension, "\xC3\x89x");
    EXPECT_EQ(FList.FindExt("\xC3\x89x"), &TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("\xC3\x89X"), &TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("\xC3\xA9x"), nullptr);  // "éx": only ASCII letters fold
}

TEST_F(FileFormatsList, LastRegistrationWinsUntilItsClassIsRemoved) {
    FList.Add("tst", "test", 0, TTestGraphic::StaticClass());
    FList.Add("TST", "sub", 0, TTestSubGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("tst"), &TTestSubGraphic::StaticClass());
    FList.Add("bmp", "sub as bitmap", 0, TTestSubGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("bmp"), &TTestSubGraphic::StaticClass());

    FList.Remove(TTestSubGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("tst"), &TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("bmp"), &TBitmap::StaticClass());
}

TEST_F(FileFormatsList, RemovingABaseClassRemovesItsSubclassesToo) {
    FList.Add("tst", "test", 0, TTestGraphic::StaticClass());
    FList.Add("bmp", "sub as bitmap", 0, TTestSubGraphic::StaticClass());
    FList.Add("oth", "other", 0, TOtherGraphic::StaticClass());
    FList.Remove(TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindExt("tst"), nullptr);
    EXPECT_EQ(FList.FindExt("bmp"), &TBitmap::StaticClass());
    EXPECT_EQ(FList.FindExt("oth"), &TOtherGraphic::StaticClass());
    EXPECT_EQ(FList.Formats().size(), 5u);
}

TEST_F(FileFormatsList, DuplicatesStayInRegistrationOrder) {
    FList.Add("a", "1", 0, TTestGraphic::StaticClass());
    FList.Add("a", "2", 7, TTestGraphic::StaticClass());
    ASSERT_EQ(FList.Formats().size(), 6u);
    EXPECT_EQ(FList.Formats()[4].Description, "1");
    EXPECT_EQ(FList.Formats()[5].Description, "2");
    EXPECT_EQ(FList.Formats()[5].DescResID, 7);
}

TEST_F(FileFormatsList, FindClassNameIsExactAndSearchesFromTheLastRecord) {
    static const TGraphicClass namesake{"TTestGraphic", &TGraphic::StaticClass(), nullptr};
    FList.Add("tst", "test", 0, TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindClassName("TTestGraphic"), &TTestGraphic::StaticClass());
    EXPECT_EQ(FList.FindClassName("ttestgraphic"), nullptr);
    EXPECT_EQ(FList.FindClassName("TBitmap"), &TBitmap::StaticClass());
    EXPECT_EQ(FList.FindClassName("TTestSubGraphic"), nullptr);
    FList.Add("dup", "namesake", 0, namesake);
    EXPECT_EQ(FList.FindClassName("TTestGraphic"), &namesake);
}

// The clipboard registry.

TEST(ClipboardFormats, StartsWithTheMetafileAndBitmapFormats) {
    TClipboardFormats formats;
    EXPECT_THAT(formats.Formats(), ElementsAre(3, 14, 2));
    EXPECT_THAT(formats.Classes(),
                ElementsAre(&TMetafile::StaticClass(), &TMetafile::StaticClass(), &TBitmap::StaticClass()));
}

TEST(ClipboardFormats, RemoveTakesPairsOfTheClassAndItsSubclasses) {
    TClipboardFormats formats;
    formats.Add(0xC001, TTestGraphic::StaticClass());
    formats.Add(0xC002, TOtherGraphic::StaticClass());
    formats.Add(0xC003, TTestSubGraphic::StaticClass());
    formats.Remove(TTestGraphic::StaticClass());
    EXPECT_THAT(formats.Formats(), ElementsAre(3, 14, 2, 0xC002));
    EXPECT_EQ(formats.Classes().back(), &TOtherGraphic::StaticClass());
}

// The process-wide registries.

class FormatRegistries : public ::testing::Test {
protected:
    void SetUp() override { ReleaseFormatRegistries(); }
    void TearDown() override { ReleaseFormatRegistries(); }
};

TEST_F(FormatRegistries, FirstRegistrationBuildsTheListWithTheBuiltInsFirst) {
    TPicture::RegisterFileFormat("TST", "test", TTestGraphic::StaticClass());
    const auto& formats = GetFileFormats().Formats();
    ASSERT_EQ(formats.size(), 5u);
    EXPECT_EQ(formats[0].Extension, "wmf");
    EXPECT_EQ(formats[3].Extension, "bmp");
    EXPECT_EQ(formats[4].Extension, "tst");
    EXPECT_EQ(formats[4].Description, "test");
    EXPECT_EQ(formats[4].DescResID, 0);
}

TEST_F(FormatRegistries, ReleaseForgetsRegistrationsAndTheNextUseStartsAnew) {
    TPicture::RegisterFileFormat("tst", "test", TTestGraphic::StaticClass());
    GetClipboardFormats().Add(0xC001, TTestGraphic::StaticClass());
    ReleaseFormatRegistries();
    EXPECT_EQ(GetFileFormats().FindExt("tst"), nullptr);
    EXPECT_EQ(GetFileFormats().Formats().size(), 4u);
    EXPECT_THAT(GetClipboardFormats().Formats(), ElementsAre(3, 14, 2));
}

TEST_F(FormatRegistries, UnregisterRemovesFromBothRegistries) {
    TPicture::RegisterFileFormat("tst", "test", TTestGraphic::StaticClass());
    TPicture::RegisterFileFormat("sub", "sub", TTestSubGraphic::StaticClass());
    GetClipboardFormats().Add(0xC001, TTestSubGraphic::StaticClass());
    TPicture::UnregisterGraphicClass(TTestGraphic::StaticClass());
    EXPECT_EQ(GetFileFormats().FindExt("tst"), nullptr);
    EXPECT_EQ(GetFileFormats().FindExt("sub"), nullptr);
    EXPECT_THAT(GetClipboardFormats().Formats(), ElementsAre(3, 14, 2));
}

TEST_F(FormatRegistries, UnregisterLeavesAnUnmadeRegistryAlone) {
    // Had the call made the list, it would have taken the bitmap out of it for good.
    TPicture::UnregisterGraphicClass(TBitmap::StaticClass());
    EXPECT_EQ(GetFileFormats().FindExt("bmp"), &TBitmap::StaticClass());
    EXPECT_THAT(GetClipboardFormats().Formats(), ElementsAre(3, 14, 2));
}

TEST(FormatRegistryTexts, DescriptionsOfTheBuiltInFormats) {
    // The framework's texts are there once it has started.
    InitializeGraphics();
    EXPECT_EQ(base::LoadStr(res::SVMetafiles), "メタファイル");
    EXPECT_EQ(base::LoadStr(res::SVEnhMetafiles), "エンハンス メタファイル");
    EXPECT_EQ(base::LoadStr(res::SVIcons), "アイコン");
    EXPECT_EQ(base::LoadStr(res::SVBitmaps), "ビットマップ");
    FinalizeGraphics();
}

}  // namespace
