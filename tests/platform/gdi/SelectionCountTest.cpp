// A selected object must not be deleted. Contexts count their selections of every object but the
// stock ones, which are never deleted; these tests follow an object through several contexts.
#include "GdiTestSupport.h"

#include <string>

using namespace gdi;

namespace {

enum class TObjectKind { Brush, Pen, Font, Palette };
const char* const kObjectKindNames[] = {"Brush", "Pen", "Font", "Palette"};

HGDIOBJ MakeObject(TObjectKind kind, HDC dc) {
    switch (kind) {
    case TObjectKind::Brush: return CreateSolidBrush(RGB(1, 2, 3));
    case TObjectKind::Pen: return CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
    case TObjectKind::Font: {
        LOGFONTA font{};
        font.lfHeight = -11;
        return CreateFontIndirectA(&font);
    }
    case TObjectKind::Palette: return CreateHalftonePalette(dc);
    }
    return nullptr;
}

HGDIOBJ Select(TObjectKind kind, HDC dc, HGDIOBJ object) {
    if (kind == TObjectKind::Palette)
        return SelectPalette(dc, static_cast<HPALETTE>(object), FALSE);
    return SelectObject(dc, object);
}

class SelectionCount : public TGdiTest, public ::testing::WithParamInterface<TObjectKind> {};

TEST_P(SelectionCount, AnObjectInTwoContextsIsFreeOnlyOnceBothLetGo) {
    const TObjectKind kind = GetParam();
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = GetDC(nullptr);
    HGDIOBJ object = MakeObject(kind, first);
    ASSERT_NE(object, nullptr);

    const HGDIOBJ stock = Select(kind, first, object);
    ASSERT_NE(stock, nullptr);
    ASSERT_EQ(Select(kind, second, object), stock);
    // Selecting it again where it already is changes nothing.
    EXPECT_EQ(Select(kind, second, object), object);

    SetLastError(0);
    EXPECT_FALSE(DeleteObject(object));
    EXPECT_EQ(GetLastError(), ERROR_BUSY);

    EXPECT_EQ(Select(kind, first, stock), object);
    EXPECT_FALSE(DeleteObject(object)) << "the second context still holds it";
    EXPECT_EQ(ReleaseDC(nullptr, second), 1);
    EXPECT_TRUE(DeleteObject(object));
    EXPECT_TRUE(DeleteDC(first));
}

// Stock objects go in and out of any number of contexts, and deleting one is harmless even while
// contexts hold it.
TEST_P(SelectionCount, StockObjectsMoveFreelyAndOutliveEveryContext) {
    const TObjectKind kind = GetParam();
    HDC contexts[3] = {CreateCompatibleDC(nullptr), CreateCompatibleDC(nullptr), GetDC(nullptr)};
    HGDIOBJ object = MakeObject(kind, contexts[0]);
    HGDIOBJ stock = nullptr;
    for (int round = 0; round < 3; ++round) {
        for (HDC dc : contexts) {
            stock = Select(kind, dc, object);
            ASSERT_NE(stock, nullptr);
            ASSERT_EQ(Select(kind, dc, stock), object);
        }
    }
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_TRUE(DeleteObject(object)) << "every context gave it back";
    EXPECT_TRUE(DeleteDC(contexts[0]));
    EXPECT_TRUE(DeleteDC(contexts[1]));
    EXPECT_EQ(ReleaseDC(nullptr, contexts[2]), 1);
    EXPECT_NE(GetObjectType(stock), 0u);

    HDC fresh = CreateCompatibleDC(nullptr);
    const UINT type = kind == TObjectKind::Brush ? OBJ_BRUSH
                      : kind == TObjectKind::Pen ? OBJ_PEN
                      : kind == TObjectKind::Font ? OBJ_FONT
                                                   : OBJ_PAL;
    EXPECT_EQ(GetCurrentObject(fresh, type), stock);
    EXPECT_TRUE(DeleteDC(fresh));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SelectionCount,
                         ::testing::Values(TObjectKind::Brush, TObjectKind::Pen, TObjectKind::Font, TObjectKind::Palette),
                         [](const ::testing::TestParamInfo<TObjectKind>& info) {
                             return std::string(kObjectKindNames[int(info.param)]);
                         });

}  // namespace
