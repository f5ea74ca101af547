#include "app/Layout.h"
#include "app/MainForm.h"
#include "platform/base/Exception.h"

#include <gtest/gtest.h>

using namespace app;

namespace {

struct TPlacement {
    const char* Name;
    const char* ClassName;
    int Left, Top, Width, Height;
};

constexpr TPlacement kDesigned[] = {
    {"Bevel1", "TBevel", 144, 8, 2, 105},
    {"Image1", "TImage", 40, 8, 65, 65},
    {"SpeedButton1", "TSpeedButton", 8, 8, 23, 22},
    {"SpeedButton2", "TSpeedButton", 8, 48, 23, 22},
    {"SpeedButton3", "TSpeedButton", 112, 8, 23, 22},
    {"SpeedButton4", "TSpeedButton", 112, 48, 23, 22},
    {"Bevel2", "TBevel", 40, 8, 65, 65},
    {"ShellTreeView1", "TShellTreeView", 152, 8, 121, 105},
    {"V_CList", "TListView", 276, 8, 405, 105},
    {"_DirFiles", "TFileListBox", 528, 16, 145, 89},
    {"ImageList1", "TImageList", 0, 0, 64, 64},
};

TEST(StoredLayout, HoldsTheWindowAndItsControlsInCreationOrder) {
    TFormLayout layout = ParseLayout(StoredLayoutText());
    EXPECT_EQ(layout.Form.Name, "F_Vistel");
    EXPECT_EQ(layout.Form.Left, 192);
    EXPECT_EQ(layout.Form.Top, 107);
    EXPECT_EQ(layout.Form.Width, 696);
    EXPECT_EQ(layout.Form.Height, 150);
    EXPECT_EQ(layout.Form.Property("Caption"), "F_Vistel");
    EXPECT_EQ(layout.Form.Property("Font.Name"), "\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
    EXPECT_EQ(layout.Form.IntProperty("Font.Height", 0), -12);
    ASSERT_EQ(layout.Controls.size(), std::size(kDesigned));
    for (std::size_t i = 0; i < std::size(kDesigned); ++i) {
        const TLayoutObject& object = layout.Controls[i];
        EXPECT_EQ(object.Name, kDesigned[i].Name);
        EXPECT_EQ(object.ClassName, kDesigned[i].ClassName);
        EXPECT_EQ(object.Left, kDesigned[i].Left) << object.Name;
        EXPECT_EQ(object.Top, kDesigned[i].Top) << object.Name;
        EXPECT_EQ(object.Width, kDesigned[i].Width) << object.Name;
        EXPECT_EQ(object.Height, kDesigned[i].Height) << object.Name;
    }
    EXPECT_EQ(layout.Find("ShellTreeView1")->Property("Root"), "rfPersonal");
    EXPECT_EQ(layout.Find("V_CList")->Property("LargeImages"), "ImageList1");
    EXPECT_EQ(layout.Find("_DirFiles")->Property("Visible"), "False");
}

class MalformedLayout : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedLayout, RaisesTheReadError) {
    EXPECT_THROW(ParseLayout(GetParam()), EReadError);
}

INSTANTIATE_TEST_SUITE_P(Lines, MalformedLayout,
                         ::testing::Values("", "# only a comment\n", "F|TF|1|2|3\n", "F|TF|1|2|3|x|\n",
                                           "F|TF|1|2|-3|4|\n", "F|TF|1|2|3|4|novalue\n", "|TF|1|2|3|4|\n",
                                           "F|TF|1|2|3|4|\nA|TBevel|0|0|1|1|\nA|TBevel|0|0|1|1|\n",
                                           "F|TF|1|2|3|4|\nA|TBevel|0|0|1|99999999999|\n"));

struct TScaleCase {
    int PixelsPerInch;
    int FontHeight;
    int TreeLeft, TreeWidth, FormWidth;
};
void PrintTo(const TScaleCase& c, std::ostream* out) { *out << c.PixelsPerInch << " dpi"; }

class LayoutScaling : public ::testing::TestWithParam<TScaleCase> {};

TEST_P(LayoutScaling, ScalesTheFontByResolutionAndControlsByTextHeight) {
    const TScaleCase& c = GetParam();
    TFormLayout layout = ParseLayout(StoredLayoutText());
    ScaleLayout(layout, c.PixelsPerInch);
    EXPECT_EQ(layout.Form.IntProperty("Font.Height", 0), c.FontHeight);
    EXPECT_EQ(layout.Find("ShellTreeView1")->Left, c.TreeLeft);
    EXPECT_EQ(layout.Find("ShellTreeView1")->Width, c.TreeWidth);
    EXPECT_EQ(layout.Form.Width, c.FormWidth);
    // The window keeps its place, and the image list its cell size.
    EXPECT_EQ(layout.Form.Left, 192);
    EXPECT_EQ(layout.Find("ImageList1")->Width, 64);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, LayoutScaling,
                         ::testing::Values(TScaleCase{96, -12, 152, 121, 696},
                                           // 98 dpi rounds the font back to 12: nothing moves.
                                           TScaleCase{98, -12, 152, 121, 696},
                                           TScaleCase{120, -15, 190, 151, 870},
                                           TScaleCase{144, -18, 228, 182, 1044},
                                           TScaleCase{72, -9, 114, 91, 522}));

TEST(LayoutFrameScaling, ScalesOnlyTheClientPartOfTheOuterSize) {
    TFormLayout layout = ParseLayout(StoredLayoutText());
    ScaleLayout(layout, 192, 16, 40);
    EXPECT_EQ(layout.Form.Width, (696 - 16) * 2 + 16);
    EXPECT_EQ(layout.Form.Height, (150 - 40) * 2 + 40);
}

TEST(MainFormLayout, RefusesAnUnknownObjectOrAMissingControl) {
    TFormLayout extra = ParseLayout(StoredLayoutText() + "Button9|TButton|0|0|1|1|\n");
    EXPECT_THROW(TF_Vistel{extra}, EReadError);
    TFormLayout wrongClass = ParseLayout(StoredLayoutText());
    wrongClass.Controls[0].ClassName = "TImage";
    EXPECT_THROW(TF_Vistel{wrongClass}, EReadError);
    TFormLayout missing = ParseLayout(StoredLayoutText());
    missing.Controls.pop_back();
    EXPECT_THROW(TF_Vistel{missing}, EReadError);
    EXPECT_EQ(F_Vistel, nullptr);
}

}  // namespace

namespace {

TEST(MainFormLayout, EndsCreationWhenTheTreesRootCannotBeSet) {
    TFormLayout layout = ParseLayout(StoredLayoutText());
    for (TLayoutObject& object : layout.Controls)
        for (auto& [key, value] : object.Properties)
            if (key == "Root")
                value = "/nonexistent-vistel-root/inside";
    try {
        TF_Vistel form(layout);
        FAIL() << "the window was created";
    } catch (const EShellError& error) {
        EXPECT_NE(error.Message().find("/nonexistent-vistel-root/inside"), std::string::npos);
    }
    EXPECT_EQ(F_Vistel, nullptr);
}

}  // namespace
