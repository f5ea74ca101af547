#include "app/FileListBox.h"

#include "app/Codecs.h"
#include "platform/base/Messages.h"
#include "platform/gdi/Screen.h"
#include "platform/shell/Collation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace app;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

class FileListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        gdi::SetScreen(gdi::TScreenSettings{});
        graphics::InitializeGraphics();
        app::InitializeCodecs();
        shell::SetCollationLocale("");
        FSaved = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "vistel-filelist-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FRoot = fs::canonical(pattern).string();
    }
    void TearDown() override {
        fs::current_path(FSaved);
        fs::remove_all(FRoot);
        ScreenCursor().OnChange = nullptr;
        shell::SetCollationLocale("");
        app::FinalizeCodecs();
        graphics::FinalizeGraphics();
    }
    std::string At(const std::string& name) const { return FRoot + "/" + name; }
    void MakeFile(const std::string& name) { std::ofstream(At(name)) << "x"; }
    void MakeFolder(const std::string& name) { fs::create_directories(At(name)); }
    void MakeFiles(std::initializer_list<const char*> names) {
        for (const char* name : names)
            MakeFile(name);
    }
    // The folder of the first edge case: three pictures among entries the list leaves out.
    void MakePictureFolder() {
        MakeFiles({"b.PNG", "A.bmp", "c.jpg", ".d.bmp"});
        ASSERT_EQ(mkfifo(At("e.ico").c_str(), 0600), 0);
        MakeFolder("f");
    }

    fs::path FSaved;
    std::string FRoot;
};

// ---- Which entries, in which order ----

TEST_F(FileListBoxTest, ListsPlainFilesAlphabeticallyLeavingOutHiddenSystemAndFolders) {
    MakePictureFolder();
    TFileListBox list;
    list.ApplyPath(FRoot);
    EXPECT_THAT(list.Items(), ElementsAre("A.bmp", "b.PNG", "c.jpg"));
    EXPECT_EQ(list.FolderPath(), FRoot);
}

TEST_F(FileListBoxTest, ListsFilesWithoutExtensionUnderTheDefaultMask) {
    MakeFiles({"README", "notes.txt"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    EXPECT_EQ(list.Mask(), "*.*");
    EXPECT_THAT(list.Items(), ElementsAre("notes.txt", "README"));
}

TEST_F(FileListBoxTest, SortsByLocaleIgnoringCaseAndWithoutNumbers) {
    MakeFiles({"file9.txt", "file10.txt", "b.txt", "B2.txt", "\xC3\xA4.txt", "a.txt", "z.txt", "Z.txt"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    // "ä" sorts with "a", digits one by one, and names equal but for case by their bytes.
    EXPECT_THAT(list.Items(), ElementsAre("a.txt", "\xC3\xA4.txt", "b.txt", "B2.txt", "file10.txt", "file9.txt",
                                          "Z.txt", "z.txt"));
}

TEST_F(FileListBoxTest, FollowsTheCollationOfTheUsersLocale) {
    MakeFiles({"z.txt", "\xC3\xA4.txt", "a.txt"});
    shell::SetCollationLocale("sv_SE");
    TFileListBox list;
    list.ApplyPath(FRoot);
    // Swedish puts "ä" after "z".
    EXPECT_THAT(list.Items(), ElementsAre("a.txt", "z.txt", "\xC3\xA4.txt"));
}

struct TMaskCase {
    const char* Mask;
    std::vector<std::string> Expected;
};

void PrintTo(const TMaskCase& c, std::ostream* out) { *out << '"' << c.Mask << '"'; }

class FileListBoxMaskTest : public FileListBoxTest, public ::testing::WithParamInterface<TMaskCase> {};

TEST_P(FileListBoxMaskTest, ListsWhatThePatternsMatch) {
    MakeFiles({"a.bmp", "B.BMP", "c.png", "d.jpg", "noext", "x.bmp.txt"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    list.SetMask(GetParam().Mask);
    EXPECT_EQ(list.Items(), GetParam().Expected) << GetParam().Mask;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, FileListBoxMaskTest,
    ::testing::Values(TMaskCase{"*.bmp", {"a.bmp", "B.BMP"}}, TMaskCase{"*.bmp;*.png", {"a.bmp", "B.BMP", "c.png"}},
                      TMaskCase{"*.", {"noext"}},
                      TMaskCase{"?.*", {"a.bmp", "B.BMP", "c.png", "d.jpg", "x.bmp.txt"}},
                      // A name matched by two patterns is listed twice.
                      TMaskCase{"*.bmp;a*", {"a.bmp", "a.bmp", "B.BMP"}},
                      // Patterns that match nothing, empty ones included, add nothing.
                      TMaskCase{"*.gif;;*.png;", {"c.png"}}, TMaskCase{"", {}}));

struct TFileTypeCase {
    const char* Description;
    TFileType FileType;
    std::vector<std::string> Expected;
};

void PrintTo(const TFileTypeCase& c, std::ostream* out) { *out << c.Description; }

class FileListBoxFileTypeTest : public FileListBoxTest, public ::testing::WithParamInterface<TFileTypeCase> {};

TEST_P(FileListBoxFileTypeTest, ListsTheAskedKinds) {
    MakeFiles({"plain.txt", "locked.txt", ".hidden.txt"});
    fs::permissions(At("locked.txt"), fs::perms::owner_read);
    MakeFolder("sub");
    ASSERT_EQ(mkfifo(At("pipe").c_str(), 0600), 0);
    TFileListBox list;
    list.ApplyPath(FRoot);
    list.SetFileType(GetParam().FileType);
    EXPECT_EQ(list.Items(), GetParam().Expected) << GetParam().Description;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileListBoxFileTypeTest,
    ::testing::Values(
        TFileTypeCase{"normal", {ftNormal}, {"locked.txt", "plain.txt"}},
        TFileTypeCase{"normal and folders", {ftNormal, ftDirectory}, {"[sub]", "locked.txt", "plain.txt"}},
        TFileTypeCase{"folders only", {ftDirectory}, {"[sub]"}},
        TFileTypeCase{"hidden only", {ftHidden}, {".hidden.txt"}},
        // The locale's order puts "." before "[" and "]".
        TFileTypeCase{"normal and hidden folders", {ftNormal, ftHidden, ftDirectory},
                      {".hidden.txt", "[..]", "[.]", "[sub]", "locked.txt", "plain.txt"}},
        TFileTypeCase{"normal and system", {ftNormal, ftSystem}, {"locked.txt", "pipe", "plain.txt"}},
        TFileTypeCase{"read-only only", {ftReadOnly}, {"locked.txt"}},
        TFileTypeCase{"archive only", {ftArchive}, {}}, TFileTypeCase{"nothing", {}, {}}));

TEST_F(FileListBoxTest, ChangingMaskOrFileTypeRereadsButSettingTheSameDoesNot) {
    MakeFiles({"a.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    MakeFile("b.bmp");
    list.SetMask("*.*");
    list.SetFileType({ftNormal});
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp"));
    list.SetMask("*.BMP");
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "b.bmp"));
    MakeFile("c.bmp");
    list.SetFileType({ftNormal, ftReadOnly});
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "b.bmp", "c.bmp"));
}

TEST_F(FileListBoxTest, ReadsNothingBeforeTheEntriesAreFirstAskedFor) {
    MakeFiles({"a.bmp"});
    TFileListBox list;
    list.SetFolderPath(FRoot);
    EXPECT_FALSE(list.HandleAllocated());
    MakeFile("b.bmp");
    // The names are read when asked for, from the folder set meanwhile.
    const TFileListBox& reader = list;
    EXPECT_THAT(reader.Items(), ElementsAre("a.bmp", "b.bmp"));
    EXPECT_TRUE(list.HandleAllocated());
}

// ---- ApplyPath ----

TEST_F(FileListBoxTest, ApplyingAFolderListsItWhereverTheProcessStands) {
    MakeFolder("pictures");
    MakeFolder("elsewhere");
    std::ofstream(At("pictures/p.bmp")) << "x";
    std::ofstream(At("elsewhere/e.bmp")) << "x";
    fs::current_path(At("elsewhere"));
    TFileListBox list;
    list.ApplyPath(At("pictures"));
    EXPECT_EQ(list.FolderPath(), At("pictures"));
    EXPECT_THAT(list.Items(), ElementsAre("p.bmp"));
    EXPECT_EQ(fs::current_path().string(), At("elsewhere"));
}

TEST_F(FileListBoxTest, RelativeFoldersGoByTheListsFolderAndBareNamesByTheCurrentOne) {
    MakeFolder("shown/sub");
    MakeFolder("elsewhere/sub");
    std::ofstream(At("shown/sub/s.bmp")) << "x";
    std::ofstream(At("elsewhere/sub/e.bmp")) << "x";
    std::ofstream(At("elsewhere/here.bmp")) << "x";
    TFileListBox list;
    list.SetFolderPath(At("shown"));
    fs::current_path(At("elsewhere"));
    list.SetFolderPath("sub");
    EXPECT_EQ(list.FolderPath(), At("shown/sub"));
    EXPECT_THAT(list.Items(), ElementsAre("s.bmp"));
    list.SetFolderPath("..");
    EXPECT_EQ(list.FolderPath(), At("shown"));
    // A bare name has nothing but the current folder to go by; it is read, not changed.
    list.ApplyPath("here.bmp");
    EXPECT_EQ(list.FolderPath(), At("elsewhere"));
    EXPECT_EQ(list.SelectedFileName(), "here.bmp");
    EXPECT_EQ(fs::current_path().string(), At("elsewhere"));
}

TEST_F(FileListBoxTest, ApplyingAFileListsItsFolderAndSelectsIt) {
    MakeFiles({"a.bmp", "b.bmp"});
    TFileListBox list;
    list.ApplyPath(At("b.bmp"));
    EXPECT_EQ(list.FolderPath(), FRoot);
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "b.bmp"));
    EXPECT_EQ(list.SelectedFileName(), "b.bmp");
    EXPECT_EQ(list.SelectedFilePath(), At("b.bmp"));
}

TEST_F(FileListBoxTest, ApplyingAHiddenFileNarrowsTheMaskToIt) {
    MakeFiles({"a.bmp", ".secret"});
    TFileListBox list;
    // Not listed, but there: the list shows it through a mask of its own name.
    list.ApplyPath(At(".secret"));
    EXPECT_EQ(list.Mask(), ".secret");
    EXPECT_THAT(list.Items(), IsEmpty());
}

TEST_F(FileListBoxTest, ApplyingAPatternMakesItTheMask) {
    MakeFiles({"a.bmp", "b.png", "c.bmp"});
    TFileListBox list;
    list.ApplyPath(At("*.bmp"));
    EXPECT_EQ(list.FolderPath(), FRoot);
    EXPECT_EQ(list.Mask(), "*.bmp");
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "c.bmp"));
}

TEST_F(FileListBoxTest, ApplyingTheShownFolderInAnyCaseDoesNotReread) {
    MakeFiles({"a.bmp", "b.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    list.SetItemIndex(0);
    fs::remove(At("a.bmp"));
    MakeFile("c.bmp");
    list.ApplyPath(FRoot);
    list.ApplyPath(Upper(FRoot));
    list.ApplyPath(At("A.BMP"));
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "b.bmp"));
    EXPECT_EQ(list.ItemIndex(), 0);
}

TEST_F(FileListBoxTest, ApplyingAFolderThatDiffersOnlyInCaseFromAnotherRereads) {
    MakeFolder("Pics");
    MakeFolder("pics");
    std::ofstream(At("pics/inner.bmp")) << "x";
    TFileListBox list;
    list.ApplyPath(At("Pics"));
    EXPECT_THAT(list.Items(), IsEmpty());
    // Two folders here, though the platform would call them one name.
    list.ApplyPath(At("pics"));
    EXPECT_EQ(list.FolderPath(), At("pics"));
    EXPECT_THAT(list.Items(), ElementsAre("inner.bmp"));
}

TEST_F(FileListBoxTest, ApplyingAnEmptyPathChangesNothing) {
    TFileListBox list;
    const fs::path before = fs::current_path();
    list.ApplyPath("");
    EXPECT_FALSE(list.HandleAllocated());
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FileListBoxTest, AFolderThatCannotBeOpenedRaisesTheInvalidFileNameAndKeepsTheList) {
    MakeFiles({"a.bmp", "file.txt"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "file.txt"));
    MakeFile("b.bmp");
    const std::string missing = At("missing/deeper");
    EXPECT_THAT([&] { list.ApplyPath(missing); },
                ThrowsMessage<EInvalidOperation>(StrEq("不正なファイル名 - " + missing)));
    EXPECT_THAT([&] { list.SetFolderPath(At("file.txt")); },
                ThrowsMessage<EInvalidOperation>(StrEq("不正なファイル名 - " + At("file.txt"))));
    EXPECT_THAT([&] { list.SetFolderPath("missing"); },
                ThrowsMessage<EInvalidOperation>(StrEq("不正なファイル名 - missing")));
    // Neither refusal read any folder: the entries are still the ones listed first.
    EXPECT_EQ(list.FolderPath(), FRoot);
    EXPECT_THAT(list.Items(), ElementsAre("a.bmp", "file.txt"));
}

TEST_F(FileListBoxTest, ApplyingAMissingFileRaisesTheInvalidFileNameWithTheWholePath) {
    // The name exists where the process stands, not in the list's folder.
    MakeFolder("shown");
    MakeFolder("elsewhere");
    std::ofstream(At("elsewhere/x.bmp")) << "x";
    TFileListBox list;
    list.ApplyPath(At("shown"));
    fs::current_path(At("elsewhere"));
    const std::string path = "missing/x.bmp";
    EXPECT_THAT([&] { list.ApplyPath(path); },
                ThrowsMessage<EInvalidOperation>(StrEq("不正なファイル名 - missing/x.bmp")));
    EXPECT_EQ(base::FmtLoadStr(res::SInvalidFileName, {path}), "不正なファイル名 - " + path);
    EXPECT_EQ(list.FolderPath(), At("shown"));
}

// ---- SplitPath ----

struct TSplitCase {
    const char* Path;  // "~" stands for the test's folder
    const char* Folder;
    const char* File;
};

void PrintTo(const TSplitCase& c, std::ostream* out) { *out << '"' << c.Path << '"'; }

class SplitPathTest : public FileListBoxTest, public ::testing::WithParamInterface<TSplitCase> {};

std::string Expand(const char* text, const std::string& root) {
    std::string out = text;
    if (const std::size_t tilde = out.find('~'); tilde != std::string::npos)
        out.replace(tilde, 1, root);
    return out;
}

TEST_P(SplitPathTest, SplitsWithoutChangingTheCurrentFolder) {
    MakeFiles({"a.bmp"});
    MakeFolder("sub");
    fs::current_path(FRoot);
    const TPathParts parts = SplitPath(Expand(GetParam().Path, FRoot));
    EXPECT_EQ(parts.Folder, Expand(GetParam().Folder, FRoot));
    EXPECT_EQ(parts.File, GetParam().File);
    EXPECT_EQ(fs::current_path().string(), FRoot);
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitPathTest,
                         ::testing::Values(TSplitCase{"~", "~", ""}, TSplitCase{"~/", "~", ""},
                                           TSplitCase{"~/sub", "~/sub", ""}, TSplitCase{"~/a.bmp", "~", "a.bmp"},
                                           TSplitCase{"~/*.bmp", "~", "*.bmp"}, TSplitCase{"~/a?.bmp", "~", "a?.bmp"},
                                           TSplitCase{"~/missing.bmp", "~/missing.bmp", ""},
                                           TSplitCase{"a.bmp", "~", "a.bmp"}, TSplitCase{"[sub]", "~/sub", ""},
                                           TSplitCase{"sub/", "~/sub", ""}, TSplitCase{"sub/a.bmp", "~/sub/a.bmp", ""},
                                           TSplitCase{"/", "/", ""},
                                           TSplitCase{"/tmp", "/tmp", ""}));

// ---- Selection, notices and the edit box ----

TEST_F(FileListBoxTest, SelectFileNameFindsTheEntryWithoutRegardToCase) {
    MakeFiles({"a.bmp", "B.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    int notices = 0;
    list.OnChange = [&](TFileListBox&) { ++notices; };
    list.SelectFileName("b.BMP");
    EXPECT_EQ(list.SelectedFileName(), "B.bmp");
    EXPECT_EQ(notices, 1);
    list.SelectFileName("B.BMP");  // the selected name already
    EXPECT_EQ(notices, 1);
    list.SelectFileName("missing");
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.SelectedFileName(), "");
    EXPECT_EQ(list.SelectedFilePath(), "");
    EXPECT_EQ(notices, 2);
}

TEST_F(FileListBoxTest, SelectFileNamePrefersTheExactSpelling) {
    MakeFiles({"a.bmp", "A.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    list.SelectFileName("a.bmp");
    EXPECT_EQ(list.SelectedFileName(), "a.bmp");
    list.SelectFileName("A.bmp");
    EXPECT_EQ(list.SelectedFileName(), "A.bmp");
}

TEST_F(FileListBoxTest, ClickNotifiesOnlyWhenTheSelectionMoved) {
    MakeFiles({"a.bmp", "b.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    std::vector<std::string> events;
    list.OnClick = [&](TFileListBox&) { events.push_back("click"); };
    list.OnChange = [&](TFileListBox& sender) { events.push_back("change " + sender.SelectedFileName()); };
    list.SetItemIndex(1);
    list.Click();
    list.Click();
    list.SetItemIndex(7);
    list.Click();
    EXPECT_THAT(events, ElementsAre("click", "change b.bmp", "click", "click", "change "));
}

TEST_F(FileListBoxTest, FileEditMirrorsTheSelectionOrTheMask) {
    MakeFiles({"a.bmp", "\xE7\x94\xBB\xE5\x83\x8F.bmp"});
    TFileListBox list;
    list.ApplyPath(FRoot);
    TEdit edit;
    list.SetFileEdit(&edit);
    EXPECT_EQ(edit.Text(), "*.*");
    EXPECT_EQ(edit.SelLength(), 3);
    list.SelectFileName("\xE7\x94\xBB\xE5\x83\x8F.bmp");
    EXPECT_EQ(edit.Text(), "\xE7\x94\xBB\xE5\x83\x8F.bmp");
    // Characters, not bytes, as an edit box counts them.
    EXPECT_EQ(edit.SelStart(), 0);
    EXPECT_EQ(edit.SelLength(), 6);
    list.SetMask("*.png");
    EXPECT_EQ(edit.Text(), "*.png");
}

TEST_F(FileListBoxTest, EditBoxAndListForgetEachOtherWhenEitherGoes) {
    TFileListBox list;
    list.SetFolderPath(FRoot);
    {
        TEdit edit;
        list.SetFileEdit(&edit);
        EXPECT_EQ(list.FileEdit(), &edit);
    }
    EXPECT_EQ(list.FileEdit(), nullptr);
    list.NotifyChange();  // must not reach the edit box that is gone

    TEdit edit;
    {
        TFileListBox shortLived;
        shortLived.SetFolderPath(FRoot);
        shortLived.SetFileEdit(&edit);
    }
    list.SetFileEdit(&edit);
    list.SetFileEdit(nullptr);
    edit.SetText("still here");
    EXPECT_EQ(edit.Text(), "still here");
}

TEST_F(FileListBoxTest, LongListingShowsTheHourGlassAndRestoresTheCursor) {
    for (int i = 0; i < 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "a%03d.txt", i);
        MakeFile(name);
    }
    MakeFile("b.txt");
    TFileListBox list;
    list.ApplyPath(FRoot);
    std::vector<TCursor> shapes;
    ScreenCursor().OnChange = [&](TCursor shape) { shapes.push_back(shape); };
    // The first pattern fills positions 0 to 99; the second inserts "b.txt" at 100.
    list.SetMask("a*");
    EXPECT_THAT(shapes, IsEmpty());
    list.SetMask("a*;b*");
    EXPECT_THAT(shapes, ElementsAre(TCursor::crHourGlass, TCursor::crDefault));
    EXPECT_EQ(list.Count(), 101);
    EXPECT_EQ(list.Items().back(), "b.txt");
}

// ---- Glyphs and owner drawing ----

TEST_F(FileListBoxTest, EntriesCarryTheGlyphOfTheirKind) {
    MakeFiles({"setup.EXE", "run.bat", "old.com", "app.pif", "doc.txt", "exe"});
    MakeFolder("sub");
    TFileListBox list;
    list.SetFileType({ftNormal, ftDirectory});
    list.ApplyPath(FRoot);
    ASSERT_THAT(list.Items(), ElementsAre("[sub]", "app.pif", "doc.txt", "exe", "old.com", "run.bat", "setup.EXE"));
    EXPECT_EQ(list.ItemGlyph(0), nullptr);  // folders get theirs only with glyphs shown
    EXPECT_EQ(list.ItemGlyph(1), &list.ExecutableGlyph());
    EXPECT_EQ(list.ItemGlyph(2), &list.UnknownFileGlyph());
    EXPECT_EQ(list.ItemGlyph(3), &list.UnknownFileGlyph());
    EXPECT_EQ(list.ItemGlyph(4), &list.ExecutableGlyph());
    EXPECT_EQ(list.ItemGlyph(5), &list.ExecutableGlyph());
    EXPECT_EQ(list.ItemGlyph(6), &list.ExecutableGlyph());
    EXPECT_EQ(list.ItemGlyph(7), nullptr);
    list.SetShowGlyphs(true);
    list.ReloadNames();
    EXPECT_EQ(list.ItemGlyph(0), &list.FolderGlyph());
}

std::uint32_t Pixel(graphics::TBitmap& bitmap, int x, int y) {
    return gdi::GetPixel(bitmap.Canvas().Handle(), x, y);
}

TEST_F(FileListBoxTest, GlyphsAreSmallPicturesOnATransparentBackground) {
    TFileListBox list;
    graphics::TBitmap* glyphs[] = {&list.ExecutableGlyph(), &list.FolderGlyph(), &list.UnknownFileGlyph()};
    const gdi::COLORREF background = gdi::RGB(0, 128, 128);
    for (graphics::TBitmap* glyph : glyphs) {
        EXPECT_EQ(glyph->Width(), 16);
        EXPECT_EQ(glyph->Height(), 16);
        EXPECT_TRUE(glyph->GetTransparent());
        EXPECT_EQ(Pixel(*glyph, 0, 15), background);
    }
    EXPECT_EQ(Pixel(list.ExecutableGlyph(), 3, 3), gdi::RGB(0, 0, 128));     // title bar
    EXPECT_EQ(Pixel(list.ExecutableGlyph(), 3, 8), gdi::RGB(255, 255, 255));  // window body
    EXPECT_EQ(Pixel(list.FolderGlyph(), 3, 7), gdi::RGB(255, 255, 0));
    EXPECT_EQ(Pixel(list.UnknownFileGlyph(), 4, 6), gdi::RGB(128, 128, 128));  // a line of text
}

TEST_F(FileListBoxTest, ShowingGlyphsGrowsLowRowsToTheGlyphHeight) {
    TFileListBox list;
    list.SetItemHeight(12);
    list.SetShowGlyphs(true);
    EXPECT_EQ(list.ItemHeight(), 17);
    list.SetItemHeight(24);
    list.SetShowGlyphs(false);
    list.SetShowGlyphs(true);
    EXPECT_EQ(list.ItemHeight(), 24);
}

TEST_F(FileListBoxTest, FontChangeSetsTheRowHeightToTheCellButNotBelowTheGlyphs) {
    TFileListBox list;
    list.Font().SetName("ＭＳ Ｐゴシック");
    // IPA P Gothic's cell is 1.076 em: a 20-pixel em gets an 18 + 4 pixel cell.
    list.Font().SetHeight(-20);
    EXPECT_EQ(list.ItemHeight(), 22);
    list.Font().SetHeight(-12);
    EXPECT_EQ(list.ItemHeight(), 13);
    list.Font().SetHeight(30);
    EXPECT_EQ(list.ItemHeight(), 30) << "a positive height is the cell itself";
    list.SetShowGlyphs(true);
    list.Font().SetHeight(-9);
    EXPECT_EQ(list.ItemHeight(), 17);
}

class FileListBoxDrawTest : public FileListBoxTest {
protected:
    static constexpr gdi::COLORREF kOutside = gdi::RGB(1, 2, 3);
    void SetUp() override {
        FileListBoxTest::SetUp();
        FSurface = std::make_unique<graphics::TBitmap>();
        FSurface->SetPixelFormat(graphics::px32Bit);
        FSurface->SetWidth(60);
        FSurface->SetHeight(40);
        FSurface->Canvas().Brush().SetColor(graphics::TColor(kOutside));
        FSurface->Canvas().FillRect(graphics::Rect(0, 0, 60, 40));
        MakeFiles({"setup.exe"});
        FList = std::make_unique<TFileListBox>();
        FList->ApplyPath(FRoot);
    }
    void TearDown() override {
        FList.reset();
        FSurface.reset();
        FileListBoxTest::TearDown();
    }
    std::uint32_t At(int x, int y) { return Pixel(*FSurface, x, y); }

    std::unique_ptr<graphics::TBitmap> FSurface;
    std::unique_ptr<TFileListBox> FList;
};

TEST_F(FileListBoxDrawTest, RowGetsTheWindowColourAndTheGlyphCentredAtTwoPixels) {
    FList->SetShowGlyphs(true);
    const gdi::COLORREF window = gdi::GetSysColor(gdi::COLOR_WINDOW);
    // A row 24 high centres the 16-pixel glyph 4 pixels down.
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 10, 50, 34), false);
    EXPECT_EQ(At(0, 10), window);
    EXPECT_EQ(At(49, 33), window);
    EXPECT_EQ(At(2, 14), window) << "the glyph's background is transparent";
    EXPECT_EQ(At(2, 16), gdi::RGB(0, 0, 0)) << "the glyph's outline, row 2";
    EXPECT_EQ(At(1, 16), window);
    EXPECT_EQ(At(5, 17), gdi::RGB(0, 0, 128));
    EXPECT_EQ(At(16, 16), gdi::RGB(0, 0, 0)) << "the outline's right end";
    EXPECT_EQ(At(17, 16), window);
    // Nothing outside the row.
    EXPECT_EQ(At(0, 9), kOutside);
    EXPECT_EQ(At(50, 20), kOutside);
    EXPECT_EQ(At(10, 34), kOutside);
}

TEST_F(FileListBoxDrawTest, SelectedRowTakesTheHighlightColour) {
    FList->SetShowGlyphs(true);
    const gdi::COLORREF highlight = gdi::GetSysColor(gdi::COLOR_HIGHLIGHT);
    ASSERT_NE(highlight, gdi::GetSysColor(gdi::COLOR_WINDOW));
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 0, 50, 17), true);
    EXPECT_EQ(At(0, 0), highlight);
    EXPECT_EQ(At(2, 0), highlight) << "transparent glyph pixels show the highlight";
    EXPECT_EQ(At(2, 2), gdi::RGB(0, 0, 0));
    EXPECT_EQ(At(40, 16), highlight) << "below the text";
}

TEST_F(FileListBoxDrawTest, WithoutGlyphsShownTheRowIsBackgroundAndText) {
    FList->Color = graphics::TColor(gdi::RGB(200, 220, 240));
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 0, 50, 17), false);
    for (int x = 0; x < 50; x += 7)
        EXPECT_EQ(At(x, 16), gdi::RGB(200, 220, 240)) << x << " below the text";
    EXPECT_EQ(At(1, 5), gdi::RGB(200, 220, 240)) << "left of the text";
}

// Where pixels differ from the background within a box: the extremes and how many.
struct TInk {
    int Left = INT_MAX, Top = INT_MAX, Right = -1, Bottom = -1, Count = 0;
    int Exact = 0;       // pixels of exactly the text colour
    int Foreign = 0;     // pixels that are no blend of the text colour over the background
};

class FileListBoxTextTest : public FileListBoxDrawTest {
protected:
    TInk InkOf(gdi::COLORREF background, gdi::COLORREF text, int left, int top, int right, int bottom) {
        auto between = [](int value, int a, int b) { return value >= std::min(a, b) && value <= std::max(a, b); };
        TInk ink;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const gdi::COLORREF pixel = At(x, y);
                if (pixel == background)
                    continue;
                ink.Left = std::min(ink.Left, x), ink.Top = std::min(ink.Top, y);
                ink.Right = std::max(ink.Right, x), ink.Bottom = std::max(ink.Bottom, y);
                ++ink.Count;
                ink.Exact += pixel == text;
                const bool blend = between(gdi::GetRValue(pixel), gdi::GetRValue(text), gdi::GetRValue(background)) &&
                                   between(gdi::GetGValue(pixel), gdi::GetGValue(text), gdi::GetGValue(background)) &&
                                   between(gdi::GetBValue(pixel), gdi::GetBValue(text), gdi::GetBValue(background));
                ink.Foreign += !blend;
            }
        return ink;
    }
};

TEST_F(FileListBoxTextTest, TextStartsTwoPixelsInAtTheRowsTopWithoutGlyphs) {
    FList->Font().SetHeight(-12);
    FList->Font().SetColor(graphics::TColor(gdi::RGB(0, 200, 0)));
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 10, 60, 30), false);
    const gdi::COLORREF window = gdi::GetSysColor(gdi::COLOR_WINDOW);
    const gdi::COLORREF text = gdi::GetSysColor(gdi::COLOR_WINDOWTEXT);
    const TInk ink = InkOf(window, text, 0, 10, 60, 30);
    ASSERT_GT(ink.Count, 20);
    EXPECT_GT(ink.Exact, 0) << "the name is written in the window text colour, whatever the font's own";
    EXPECT_EQ(ink.Foreign, 0);
    EXPECT_GE(ink.Left, 2);
    EXPECT_LE(ink.Left, 3) << "\"s\" starts within its left bearing of the text's origin";
    EXPECT_GE(ink.Top, 10);
    EXPECT_LT(ink.Bottom, 10 + FList->ItemHeight()) << "within the font's cell";
}

TEST_F(FileListBoxTextTest, TextStartsSixPixelsPastTheGlyph) {
    FList->SetShowGlyphs(true);
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 0, 60, 17), false);
    const gdi::COLORREF window = gdi::GetSysColor(gdi::COLOR_WINDOW);
    const gdi::COLORREF text = gdi::GetSysColor(gdi::COLOR_WINDOWTEXT);
    // The glyph spans columns 2 … 17; the gap after it is background.
    EXPECT_EQ(InkOf(window, text, 18, 0, 24, 17).Count, 0);
    const TInk ink = InkOf(window, text, 18, 0, 60, 17);
    ASSERT_GT(ink.Count, 20);
    EXPECT_EQ(ink.Foreign, 0);
    EXPECT_LE(ink.Left, 25);
}

TEST_F(FileListBoxTextTest, SelectedRowsWriteInTheHighlightTextColour) {
    const gdi::COLORREF highlight = gdi::GetSysColor(gdi::COLOR_HIGHLIGHT);
    const gdi::COLORREF highlightText = gdi::GetSysColor(gdi::COLOR_HIGHLIGHTTEXT);
    ASSERT_NE(highlightText, highlight);
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 0, 60, 17), true);
    const TInk ink = InkOf(highlight, highlightText, 0, 0, 60, 17);
    ASSERT_GT(ink.Count, 20);
    EXPECT_GT(ink.Exact, 0);
    EXPECT_EQ(ink.Foreign, 0) << "only blends of the highlight text colour over the highlight";
}

TEST_F(FileListBoxTextTest, TextNeverLeavesItsRow) {
    // A row shorter and narrower than the name: what does not fit is cut off.
    FList->Font().SetHeight(-24);
    ASSERT_GT(FList->ItemHeight(), 25);
    FList->DrawItem(FSurface->Canvas(), 0, graphics::Rect(0, 5, 20, 25), false);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            if (x >= 20 || y < 5 || y >= 25) {
                ASSERT_EQ(At(x, y), kOutside) << x << "," << y;
            }
    const gdi::COLORREF window = gdi::GetSysColor(gdi::COLOR_WINDOW);
    EXPECT_GT(InkOf(window, gdi::GetSysColor(gdi::COLOR_WINDOWTEXT), 0, 5, 20, 25).Count, 20);
}

TEST_F(FileListBoxDrawTest, RowOutsideTheEntriesIsOnlyBackground) {
    FList->SetShowGlyphs(true);
    FList->DrawItem(FSurface->Canvas(), 5, graphics::Rect(0, 0, 50, 17), false);
    EXPECT_EQ(At(2, 2), gdi::GetSysColor(gdi::COLOR_WINDOW));
}

}  // namespace
