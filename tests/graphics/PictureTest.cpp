// The picture container: loading by extension, copying, forcing a type, passing events on, and
// its stored form.
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "tests/graphics/PictureTestSupport.h"

#include "platform/base/Exception.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

namespace {

using namespace graphics;
using namespace picturetest;
using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

std::string UnknownExtensionText(const std::string& ext) { return "拡張子 ." + ext + " の画像形式は処理できません"; }

/// Tests on a fresh registry that knows "tst" as TTestGraphic, and a scratch folder.
class Picture : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseFormatRegistries();
        TPicture::RegisterFileFormat("tst", "test graphic", TTestGraphic::StaticClass());
    }
    void TearDown() override {
        ReleaseFormatRegistries();
        EXPECT_EQ(TByteGraphic::LiveCount, FLiveBefore);
    }

    /// A picture holding a TTestGraphic of the given size, loaded from a file.
    void LoadTestGraphic(TPicture& picture, int width, int height) {
        picture.LoadFromFile(FFolder.Write("start.tst", ByteGraphicData(width, height, {1})));
    }
    TByteGraphic& Held(TPicture& picture) { return dynamic_cast<TByteGraphic&>(*picture.Graphic()); }

    TScratchFolder FFolder;
    int FLiveBefore = TByteGraphic::LiveCount;
};

// The extension rule.

struct TExtCase {
    const char* FileName;
    const char* Extension;
};

void PrintTo(const TExtCase& c, std::ostream* os) { *os << '"' << c.FileName << '"'; }

class ExtractFileExtRule : public ::testing::TestWithParam<TExtCase> {};

TEST_P(ExtractFileExtRule, TakesTheTextAfterTheLastDotOfTheLastName) {
    EXPECT_EQ(ExtractFileExt(GetParam().FileName), GetParam().Extension);
}

const TExtCase kExtCases[] = {
    {"photo.JPG", "JPG"},
    {"archive.tar.bmp", "bmp"},
    {"/home/u/d.x/file", ""},
    {"d.x/file", ""},
    {"noext", ""},
    {"trailing.", ""},
    {".hidden", "hidden"},
    {"drive:name", ""},
    {"a.b:c", ""},
    {"a:b.c", "c"},
    {"", ""},
    {"/tmp/\xE5\x86\x99\xE7\x9C\x9F.Png", "Png"},  // "写真.Png"
    {"/tmp/a.\xE7\x94\xBB", "\xE7\x94\xBB"},          // a multi-byte extension "画"
};
INSTANTIATE_TEST_SUITE_P(Names, ExtractFileExtRule, ::testing::ValuesIn(kExtCases));

// Loading.

class PictureLoadsByExtension : public Picture, public ::testing::WithParamInterface<const char*> {};

TEST_P(PictureLoadsByExtension, AnySpellingOfARegisteredExtensionLoads) {
    TPicture picture;
    picture.LoadFromFile(FFolder.Write(GetParam(), ByteGraphicData(7, 3, {1, 2})));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TTestGraphic::StaticClass());
    EXPECT_EQ(picture.Width(), 7);
    EXPECT_EQ(picture.Height(), 3);
}
INSTANTIATE_TEST_SUITE_P(Names, PictureLoadsByExtension,
                         ::testing::Values("a.tst", "b.TST", "c.Tst", "archive.bmp.tst", "d.x/inside.tst"));

class PictureUnknownExtension : public Picture, public ::testing::WithParamInterface<TExtCase> {};

TEST_P(PictureUnknownExtension, RaisesInvalidGraphicWithTheExtensionAsWrittenAndKeepsTheGraphic) {
    TPicture picture;
    LoadTestGraphic(picture, 5, 4);
    TGraphic* before = picture.Graphic();
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };
    EXPECT_THAT([&] { picture.LoadFromFile(FFolder.Write(GetParam().FileName, ByteGraphicData(1, 1, {}))); },
                ThrowsMessage<EInvalidGraphic>(StrEq(UnknownExtensionText(GetParam().Extension))));
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 5);
    EXPECT_EQ(picture.Height(), 4);
    EXPECT_EQ(changes, 0);
}

INSTANTIATE_TEST_SUITE_P(Names, PictureUnknownExtension,
                         ::testing::Values(TExtCase{"notes.TXT", "TXT"}, TExtCase{"noextension", ""},
                                           TExtCase{"d.x/file", ""}, TExtCase{"dot.", ""},
                                           TExtCase{"image.tst.gz", "gz"}));

TEST_F(Picture, FailedLoadKeepsThePreviousGraphicAndFreesTheNewOne) {
    TPicture picture;
    LoadTestGraphic(picture, 9, 8);
    TGraphic* before = picture.Graphic();
    int live = TByteGraphic::LiveCount;
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };

    EXPECT_THROW(picture.LoadFromFile(FFolder.Write("bad.tst", {'N', 'O', 1, 1, 0})), EInvalidGraphic);
    EXPECT_THROW(picture.LoadFromFile(FFolder.Write("short.tst", {'T', 'G', 1, 1, 9, 0})), EReadError);
    std::string missing = FFolder.Path("missing.tst");
    EXPECT_THAT([&] { picture.LoadFromFile(missing); },
                ThrowsMessage<EFOpenError>(StrEq("ファイル " + missing + " は開けません")));

    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 9);
    EXPECT_EQ(picture.Height(), 8);
    EXPECT_EQ(TByteGraphic::LiveCount, live);
    EXPECT_EQ(changes, 0);
}

TEST_F(Picture, SuccessfulLoadReplacesTheGraphicAndRunsChangedOnce) {
    TPicture picture;
    LoadTestGraphic(picture, 1, 1);
    int live = TByteGraphic::LiveCount;
    std::vector<TPersistent*> senders;
    picture.OnChange = [&](TPersistent* sender) { senders.push_back(sender); };
    picture.LoadFromFile(FFolder.Write("next.tst", ByteGraphicData(2, 2, {})));
    EXPECT_THAT(senders, ElementsAre(&picture));
    EXPECT_EQ(TByteGraphic::LiveCount, live);
    EXPECT_EQ(picture.Width(), 2);
}

TEST_F(Picture, ProgressOfTheLoadingGraphicReachesThePicture) {
    TPicture picture;
    std::vector<TProgressStage> stages;
    std::vector<TPersistent*> senders;
    picture.OnProgress = [&](TPersistent* sender, TProgressStage stage, std::uint8_t, bool, const TRect&,
                             const std::string&) {
        stages.push_back(stage);
        senders.push_back(sender);
    };
    picture.LoadFromFile(FFolder.Write("p.tst", ByteGraphicData(2, 2, {})));
    EXPECT_THAT(stages, ElementsAre(TProgressStage::psStarting, TProgressStage::psEnding));
    EXPECT_THAT(senders, ElementsAre(picture.Graphic(), picture.Graphic()));
}

TEST_F(Picture, LastRegisteredClassWinsUntilUnregistered) {
    TPicture::RegisterFileFormat("TST", "sub", TTestSubGraphic::StaticClass());
    TPicture picture;
    std::string name = FFolder.Write("x.tst", ByteGraphicData(1, 1, {}));
    picture.LoadFromFile(name);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TTestSubGraphic::StaticClass());

    TPicture::UnregisterGraphicClass(TTestSubGraphic::StaticClass());
    picture.LoadFromFile(name);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TTestGraphic::StaticClass());

    TPicture::RegisterFileFormat("tst", "sub", TTestSubGraphic::StaticClass());
    TPicture::UnregisterGraphicClass(TTestGraphic::StaticClass());
    EXPECT_THAT([&] { picture.LoadFromFile(name); },
                ThrowsMessage<EInvalidGraphic>(StrEq(UnknownExtensionText("tst"))));
}

TEST_F(Picture, EmptyPictureHasNoSize) {
    TPicture picture;
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
}

// Set-graphic, force type, assign.

TEST_F(Picture, SetGraphicStoresACopyOfTheSameClass) {
    TTestSubGraphic source;
    source.Fill(3, 4, {7, 7});
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };
    picture.SetGraphic(&source);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_NE(picture.Graphic(), &source);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TTestSubGraphic::StaticClass());
    EXPECT_TRUE(picture.Graphic()->Equals(&source));
    EXPECT_EQ(changes, 1);

    source.SetWidth(1);
    EXPECT_EQ(picture.Width(), 3);
}

TEST_F(Picture, SetGraphicOfItsOwnGraphicKeepsTheContent) {
    TPicture picture;
    LoadTestGraphic(picture, 6, 2);
    picture.SetGraphic(picture.Graphic());
    EXPECT_EQ(picture.Width(), 6);
    EXPECT_EQ(Held(picture).Bytes(), std::vector<std::uint8_t>{1});
}

TEST_F(Picture, SetGraphicNothingEmptiesThePicture) {
    TPicture picture;
    LoadTestGraphic(picture, 6, 2);
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };
    picture.SetGraphic(nullptr);
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(changes, 1);
}

TEST_F(Picture, ForceTypeKeepsAGraphicOfTheClassOrASubclass) {
    TPicture picture;
    TTestSubGraphic sub;
    sub.Fill(2, 2, {3});
    picture.SetGraphic(&sub);
    TGraphic* held = picture.Graphic();
    int changes = 0;
    picture.OnChange = [&](TPersistent*) { ++changes; };
    picture.ForceType(TTestSubGraphic::StaticClass());
    picture.ForceType(TTestGraphic::StaticClass());
    picture.ForceType(TGraphic::StaticClass());
    EXPECT_EQ(picture.Graphic(), held);
    EXPECT_EQ(changes, 0);
}

TEST_F(Picture, ForceTypeReplacesAnotherClassByAnEmptyInstance) {
    TPicture picture;
    LoadTestGraphic(picture, 4, 4);
    std::vector<TPersistent*> senders;
    picture.OnChange = [&](TPersistent* sender) { senders.push_back(sender); };
    picture.ForceType(TOtherGraphic::StaticClass());
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TOtherGraphic::StaticClass());
    EXPECT_TRUE(picture.Graphic()->Empty());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_THAT(senders, ElementsAre(&picture));

    // The new graphic is attached: its changes reach the picture.
    picture.Graphic()->SetWidth(3);
    EXPECT_EQ(senders.size(), 2u);
}

TEST_F(Picture, ForceTypeToAnAbstractClassRaisesAndKeepsTheGraphic) {
    TPicture picture;
    LoadTestGraphic(picture, 4, 3);
    TGraphic* held = picture.Graphic();
    EXPECT_THAT([&] { picture.ForceType(AbstractTestClass()); },
                ThrowsMessage<EAbstractError>(StrEq("抽象メソッドが呼び出されました")));
    EXPECT_EQ(picture.Graphic(), held);
}

class NotifierSpy : public IChangeNotifier {
public:
    void Changed() override { ++Calls; }
    int Calls = 0;
};

TEST_F(Picture, ChangesOfTheGraphicReachTheHandlerAndTheNotifier) {
    TPicture picture;
    LoadTestGraphic(picture, 4, 3);
    NotifierSpy notifier;
    std::vector<TPersistent*> senders;
    picture.Notify = &notifier;
    picture.OnChange = [&](TPersistent* sender) { senders.push_back(sender); };
    picture.Graphic()->SetHeight(9);
    picture.Graphic()->SetTransparent(true);
    EXPECT_THAT(senders, ElementsAre(&picture, &picture));
    EXPECT_EQ(notifier.Calls, 2);
    EXPECT_TRUE(picture.Graphic()->Modified);
}

class TPlainThing : public TPersistent {
public:
    const char* ClassName() const override { return "TPlainThing"; }
};

TEST_F(Picture, AssignCopiesFromAPictureOrAGraphicAndEmptiesFromNothing) {
    TPicture source;
    LoadTestGraphic(source, 5, 6);
    TPicture picture;
    picture.Assign(&source);
    EXPECT_NE(picture.Graphic(), source.Graphic());
    EXPECT_TRUE(picture.Graphic()->Equals(source.Graphic()));

    TOtherGraphic other;
    other.Fill(1, 2, {});
    picture.Assign(&other);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TOtherGraphic::StaticClass());
    EXPECT_EQ(picture.Height(), 2);

    picture.Assign(nullptr);
    EXPECT_EQ(picture.Graphic(), nullptr);
    picture.Assign(&source);
    TPicture empty;
    picture.Assign(&empty);
    EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST_F(Picture, AssignFromAnUnrelatedObjectRaisesTheConversionError) {
    TPicture picture;
    TPlainThing thing;
    EXPECT_THAT([&] { picture.Assign(&thing); },
                ThrowsMessage<EConvertError>(StrEq("TPlainThing を TPicture に代入することはできません")));
}

TEST_F(Picture, AssignToAGraphicOfTheHeldClassCopiesIt) {
    TPicture picture;
    TTestSubGraphic sub;
    sub.Fill(2, 3, {4});
    picture.SetGraphic(&sub);
    TTestGraphic dest;
    picture.AssignTo(dest);
    EXPECT_EQ(dest.Width(), 2);
    EXPECT_EQ(dest.Height(), 3);
    EXPECT_EQ(dest.Bytes(), std::vector<std::uint8_t>{4});
}

TEST_F(Picture, AssignToAnythingElseRaisesTheConversionError) {
    TPicture picture;
    LoadTestGraphic(picture, 2, 2);
    TOtherGraphic other;
    EXPECT_THAT([&] { picture.AssignTo(other); },
                ThrowsMessage<EConvertError>(StrEq("TPicture を TOtherGraphic に代入することはできません")));
    TTestSubGraphic narrower;
    EXPECT_THAT([&] { picture.AssignTo(narrower); },
                ThrowsMessage<EConvertError>(StrEq("TPicture を TTestSubGraphic に代入することはできません")));
    TPicture empty;
    TTestGraphic dest;
    EXPECT_THAT([&] { empty.AssignTo(dest); },
                ThrowsMessage<EConvertError>(StrEq("TPicture を TTestGraphic に代入することはできません")));
}

TEST(ConversionError, NamesNilWhenThereIsNoSource) {
    TTestGraphic graphic;
    EXPECT_THAT([&] { graphic.Assign(nullptr); },
                ThrowsMessage<EConvertError>(StrEq("nil を TTestGraphic に代入することはできません")));
    TPlainThing thing;
    EXPECT_THAT([&] { graphic.AssignTo(thing); },
                ThrowsMessage<EConvertError>(StrEq("TTestGraphic を TPlainThing に代入することはできません")));
}

// The stored form.

std::vector<std::uint8_t> StoredPicture(const std::string& className, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> value = {std::uint8_t(className.size())};
    value.insert(value.end(), className.begin(), className.end());
    value.insert(value.end(), data.begin(), data.end());
    std::vector<std::uint8_t> out = {4, 'D', 'a', 't', 'a'};
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(std::uint8_t(value.size() >> shift));
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

TEST_F(Picture, StoredDataIsTheClassNameThenTheGraphicsData) {
    TPicture picture;
    LoadTestGraphic(picture, 3, 2);
    TMemoryStream stream;
    WriteProperties(picture, stream);
    EXPECT_EQ(stream.Bytes(), StoredPicture("TTestGraphic", ByteGraphicData(3, 2, {1})));

    stream.SetPosition(0);
    TPicture copy;
    int changes = 0;
    copy.OnChange = [&](TPersistent*) { ++changes; };
    ReadProperties(copy, stream);
    ASSERT_NE(copy.Graphic(), nullptr);
    EXPECT_EQ(&copy.Graphic()->ClassType(), &TTestGraphic::StaticClass());
    EXPECT_TRUE(copy.Graphic()->Equals(picture.Graphic()));
    EXPECT_EQ(changes, 1);
    copy.Graphic()->SetWidth(8);
    EXPECT_EQ(changes, 2);
}

TEST_F(Picture, StoredDataIsWrittenOnlyForAGraphicThatDiffersFromTheAncestors) {
    TPicture empty;
    TMemoryStream nothing;
    WriteProperties(empty, nothing);
    EXPECT_EQ(nothing.Size(), 0);

    TPicture picture;
    LoadTestGraphic(picture, 3, 2);
    TPicture same;
    LoadTestGraphic(same, 3, 2);
    TMemoryStream againstSame;
    WriteProperties(picture, againstSame, &same);
    EXPECT_EQ(againstSame.Size(), 0);

    TPicture different;
    LoadTestGraphic(different, 3, 1);
    TMemoryStream againstDifferent;
    WriteProperties(picture, againstDifferent, &different);
    EXPECT_EQ(againstDifferent.Bytes(), StoredPicture("TTestGraphic", ByteGraphicData(3, 2, {1})));

    TMemoryStream againstEmpty;
    WriteProperties(picture, againstEmpty, &empty);
    EXPECT_EQ(againstEmpty.Size(), againstDifferent.Size());
}

TEST_F(Picture, StoredClassNameThatNoRecordCarriesLeavesThePictureEmpty) {
    TPicture picture;
    LoadTestGraphic(picture, 3, 2);
    TMemoryStream stream(StoredPicture("TOtherGraphic", ByteGraphicData(1, 1, {})));
    ReadProperties(picture, stream);
    EXPECT_EQ(picture.Graphic(), nullptr);

    TMemoryStream noGraphic(StoredPicture("", {}));
    LoadTestGraphic(picture, 3, 2);
    ReadProperties(picture, noGraphic);
    EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST_F(Picture, DamagedStoredDataRaisesReadErrorAndKeepsTheGraphic) {
    TPicture picture;
    LoadTestGraphic(picture, 3, 2);
    TGraphic* held = picture.Graphic();
    // The class name claims more characters than the property holds.
    std::vector<std::uint8_t> bytes = StoredPicture("TTestGraphic", {});
    bytes[9] = 40;
    TMemoryStream longName(bytes);
    EXPECT_THROW(ReadProperties(picture, longName), EReadError);
    // The graphic's own data is cut short.
    TMemoryStream shortData(StoredPicture("TTestGraphic", {'T', 'G', 1, 1, 5, 0}));
    EXPECT_THROW(ReadProperties(picture, shortData), EReadError);
    EXPECT_EQ(picture.Graphic(), held);
    EXPECT_EQ(picture.Width(), 3);
}

class TLongNamedGraphic : public TByteGraphic {
public:
    static const TGraphicClass& StaticClass() {
        static const TGraphicClass cls{"TGraphicWithANameLongerThanTheSixtyThreeCharactersOfTheStoredForm",
                                       &TGraphic::StaticClass(),
                                       []() -> std::unique_ptr<TGraphic> { return std::make_unique<TLongNamedGraphic>(); }};
        return cls;
    }
    const TGraphicClass& ClassType() const override { return StaticClass(); }
};

TEST_F(Picture, StoredClassNameIsCutToSixtyThreeCharactersAndThenNamesNoClass) {
    TPicture::RegisterFileFormat("lng", "long", TLongNamedGraphic::StaticClass());
    TLongNamedGraphic graphic;
    graphic.Fill(1, 1, {});
    TPicture picture;
    picture.SetGraphic(&graphic);
    TMemoryStream stream;
    WriteProperties(picture, stream);
    std::string fullName = TLongNamedGraphic::StaticClass().Name;
    EXPECT_EQ(stream.Bytes(), StoredPicture(fullName.substr(0, 63), ByteGraphicData(1, 1, {})));

    stream.SetPosition(0);
    TPicture copy;
    LoadTestGraphic(copy, 2, 2);
    ReadProperties(copy, stream);
    EXPECT_EQ(copy.Graphic(), nullptr);
}

// The bitmap side.

class PictureBitmap : public TGraphicsTest {
protected:
    void SetUp() override {
        TGraphicsTest::SetUp();
        ReleaseFormatRegistries();
    }
    void TearDown() override {
        ReleaseFormatRegistries();
        TGraphicsTest::TearDown();
    }
};

TEST_F(PictureBitmap, BmpFilesLoadAsBitmapsByTheBuiltInRecord) {
    TPicture picture;
    picture.LoadFromFile("../shared/corpus/bmpsuite/g/rgb24.bmp");
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TBitmap::StaticClass());
    EXPECT_EQ(picture.Width(), 127);
    EXPECT_EQ(picture.Height(), 64);
}

TEST_F(PictureBitmap, AskingForTheBitmapReplacesAnotherGraphicByAnEmptyBitmap) {
    TPicture picture;
    TTestGraphic graphic;
    graphic.Fill(5, 5, {1});
    picture.SetGraphic(&graphic);
    TBitmap& bitmap = picture.Bitmap();
    EXPECT_EQ(picture.Graphic(), &bitmap);
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_EQ(&picture.Bitmap(), &bitmap);
}

TEST_F(PictureBitmap, StreamsAlwaysCarryTheBitmapFileFormat) {
    TBitmap source;
    source.SetWidth(3);
    source.SetHeight(2);
    TMemoryStream file;
    source.SaveToStream(file);
    ASSERT_GE(file.Size(), 2);
    EXPECT_EQ(file.Memory()[0], 'B');
    EXPECT_EQ(file.Memory()[1], 'M');

    TPicture picture;
    TTestGraphic graphic;
    graphic.Fill(9, 9, {});
    picture.SetGraphic(&graphic);
    file.SetPosition(0);
    picture.LoadFromStream(file);
    EXPECT_EQ(&picture.Graphic()->ClassType(), &TBitmap::StaticClass());
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 2);

    TMemoryStream again;
    picture.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), file.Bytes());
}

TEST_F(PictureBitmap, StoredBitmapRoundTripsThroughTheRegistryByClassName) {
    TPicture picture;
    picture.LoadFromFile("../shared/corpus/bmpsuite/g/pal8.bmp");
    TMemoryStream stream;
    WriteProperties(picture, stream);
    stream.SetPosition(0);
    TPicture copy;
    ReadProperties(copy, stream);
    ASSERT_NE(copy.Graphic(), nullptr);
    EXPECT_EQ(&copy.Graphic()->ClassType(), &TBitmap::StaticClass());
    EXPECT_TRUE(copy.Graphic()->Equals(picture.Graphic()));
}

}  // namespace
