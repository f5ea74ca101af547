#include "GdiTestSupport.h"

#include "platform/gdi/Handles.h"

#include <stdexcept>
#include <vector>

using namespace gdi;

namespace {

// An object is alive exactly as long as the handle table still knows it.
bool Alive(HGDIOBJ object) { return GetObjectType(object) != 0; }

HBITMAP SmallBitmap() { return CreateBitmap(2, 2, 1, 1, nullptr); }

HPALETTE TwoColourPalette() {
    struct {
        WORD palVersion;
        WORD palNumEntries;
        PALETTEENTRY entries[2];
    } log{0x300, 2, {{10, 20, 30, 0}, {40, 50, 60, 0}}};
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

}  // namespace

using HandleOwner = TGdiTest;

TEST_F(HandleOwner, DeletesEachKindOfObjectWhenItsScopeEnds) {
    HBITMAP bitmap = SmallBitmap();
    HPALETTE palette = TwoColourPalette();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
    LOGFONTA log{};
    log.lfHeight = -12;
    HFONT font = CreateFontIndirectA(&log);
    const std::size_t before = LiveObjectCount();
    {
        TOwnedBitmap ownedBitmap(bitmap);
        TOwnedPalette ownedPalette(palette);
        TOwnedBrush ownedBrush(brush);
        TOwnedPen ownedPen(pen);
        TOwnedFont ownedFont(font);
        for (HGDIOBJ object : {HGDIOBJ(bitmap), HGDIOBJ(palette), HGDIOBJ(brush), HGDIOBJ(pen), HGDIOBJ(font)})
            EXPECT_TRUE(Alive(object));
        EXPECT_EQ(ownedBitmap.Get(), bitmap);
        EXPECT_TRUE(ownedFont);
    }
    EXPECT_EQ(LiveObjectCount(), before - 5);
    for (HGDIOBJ object : {HGDIOBJ(bitmap), HGDIOBJ(palette), HGDIOBJ(brush), HGDIOBJ(pen), HGDIOBJ(font)})
        EXPECT_FALSE(Alive(object));
}

TEST_F(HandleOwner, ContextsEndWithTheirOwnCall) {
    HDC memory = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    {
        TOwnedDC ownedMemory(memory);
        TOwnedScreenDC ownedScreen(screen);
        EXPECT_EQ(GetObjectType(memory), OBJ_MEMDC);
        EXPECT_EQ(GetObjectType(screen), OBJ_DC);
    }
    // DeleteObject would have refused both, so their being gone shows DeleteDC and ReleaseDC ran.
    EXPECT_EQ(GetObjectType(memory), 0u);
    EXPECT_EQ(GetObjectType(screen), 0u);
}

TEST_F(HandleOwner, DeletesWhenAnExceptionLeavesTheScope) {
    HBITMAP bitmap = SmallBitmap();
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_THROW(
        {
            TOwnedBitmap owned(bitmap);
            TOwnedDC context(dc);
            TSelection selected = ScopedSelectObject(context.Get(), owned.Get());
            throw std::runtime_error("a later step failed");
        },
        std::runtime_error);
    // The bitmap could only be deleted after it had been selected out of the context.
    EXPECT_FALSE(Alive(bitmap));
    EXPECT_EQ(GetObjectType(dc), 0u);
}

TEST_F(HandleOwner, MoveHandsOwnershipOnAndAssignmentFreesTheOldHandle) {
    HBITMAP first = SmallBitmap();
    HBITMAP second = SmallBitmap();
    TOwnedBitmap a(first);
    TOwnedBitmap b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), first);

    TOwnedBitmap c(second);
    c = std::move(b);
    EXPECT_FALSE(Alive(second));
    EXPECT_TRUE(Alive(first));
    EXPECT_EQ(c.Get(), first);

    TOwnedBitmap& same = c;
    c = std::move(same);
    EXPECT_TRUE(Alive(first));
    EXPECT_EQ(c.Get(), first);

    std::vector<TOwnedBitmap> many;
    many.emplace_back(SmallBitmap());
    many.emplace_back(std::move(c));
    many.reserve(64);  // moving the owners inside the vector must not free anything
    EXPECT_TRUE(Alive(many[0].Get()));
    EXPECT_TRUE(Alive(many[1].Get()));
}

TEST_F(HandleOwner, ReleaseKeepsTheHandleAliveAndResetFreesIt) {
    HBITMAP bitmap = SmallBitmap();
    HBITMAP kept;
    {
        TOwnedBitmap owned(bitmap);
        kept = owned.Release();
        EXPECT_FALSE(owned);
    }
    EXPECT_EQ(kept, bitmap);
    EXPECT_TRUE(Alive(bitmap));

    TOwnedBitmap owned(bitmap);
    HBITMAP next = SmallBitmap();
    owned.Reset(next);
    EXPECT_FALSE(Alive(bitmap));
    owned.Reset();
    EXPECT_FALSE(Alive(next));
    EXPECT_FALSE(owned);
}

TEST_F(HandleOwner, SelectionsAreUndoneInReverseOrder) {
    TOwnedBitmap first(SmallBitmap());
    TOwnedBitmap second(SmallBitmap());
    TOwnedBrush brush(CreateSolidBrush(RGB(7, 8, 9)));
    TOwnedPalette palette(TwoColourPalette());
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    const HGDIOBJ defaultBitmap = GetCurrentObject(dc.Get(), OBJ_BITMAP);
    const HGDIOBJ defaultBrush = GetCurrentObject(dc.Get(), OBJ_BRUSH);
    const HGDIOBJ defaultPalette = GetCurrentObject(dc.Get(), OBJ_PAL);
    {
        TSelection outer = ScopedSelectObject(dc.Get(), first.Get());
        TSelection brushSelected = ScopedSelectObject(dc.Get(), brush.Get());
        TPaletteSelection paletteSelected = ScopedSelectPalette(dc.Get(), palette.Get(), FALSE);
        {
            TSelection inner = ScopedSelectObject(dc.Get(), second.Get());
            EXPECT_EQ(inner.Get().Previous, first.Get());
            EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), second.Get());
            // A selected object cannot be deleted, so the owners must outlive the selections.
            EXPECT_FALSE(DeleteObject(second.Get()));
        }
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), first.Get());
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), brush.Get());
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PAL), palette.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), defaultBitmap);
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BRUSH), defaultBrush);
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PAL), defaultPalette);
}

TEST_F(HandleOwner, AFailedSelectionRestoresNothing) {
    TOwnedBitmap bitmap(SmallBitmap());
    TOwnedDC holder(CreateCompatibleDC(nullptr));
    TOwnedDC other(CreateCompatibleDC(nullptr));
    TSelection held = ScopedSelectObject(holder.Get(), bitmap.Get());
    ASSERT_TRUE(held);
    TOwnedBitmap second(SmallBitmap());
    TSelection secondSelected = ScopedSelectObject(other.Get(), second.Get());
    {
        // A bitmap lives in one context at a time, so this selection fails; when it ends it must
        // not select anything into the context, whose own selection stays as it was.
        TSelection refused = ScopedSelectObject(other.Get(), bitmap.Get());
        EXPECT_FALSE(refused);
        TPaletteSelection noPalette = ScopedSelectPalette(other.Get(), nullptr, TRUE);
        EXPECT_FALSE(noPalette);
        // Ending them makes no call at all: a call would fail and leave its error behind.
        SetLastError(0);
    }
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(GetCurrentObject(other.Get(), OBJ_BITMAP), second.Get());
    EXPECT_EQ(GetCurrentObject(holder.Get(), OBJ_BITMAP), bitmap.Get());
}

TEST_F(HandleOwner, PaletteSelectionGoesBackWithItsBackgroundFlag) {
    // On a palette screen a foreground realisation takes the middle of the system palette afresh
    // and adds every colour again; a background one reuses the colours already there. The flag
    // a restore passes is what the context's next realisation goes by.
    UseScreenDepth(8);
    TOwnedPalette palette(TwoColourPalette());
    TOwnedPalette other(TwoColourPalette());
    TOwnedDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(SelectPalette(dc.Get(), palette.Get(), FALSE));
    ASSERT_EQ(RealizePalette(dc.Get()), 2u);
    for (BOOL restoreBackground : {TRUE, FALSE}) {
        {
            TPaletteSelection selected = ScopedSelectPalette(dc.Get(), other.Get(), FALSE, restoreBackground);
            ASSERT_TRUE(selected);
            EXPECT_EQ(selected.Get().Previous, palette.Get());
        }
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_PAL), palette.Get());
        EXPECT_EQ(RealizePalette(dc.Get()), restoreBackground ? 0u : 2u);
    }
}
