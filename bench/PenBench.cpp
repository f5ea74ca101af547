// Vector drawing against cairo, both aliased, on the same 1024 × 1024 32-bit surface: filling a
// 1,000-vertex star, stroking a 100-segment polyline 5 pixels wide (round caps and joins), and
// filling 10,000 small ellipses 12 pixels across, one call each. Cairo is only the yardstick here.
#include "platform/gdi/Gdi.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using namespace gdi;

constexpr int kSide = 1024;

std::vector<POINT> Star() {
    std::vector<POINT> points;
    for (int k = 0; k < 1000; ++k) {
        const double angle = 2 * std::numbers::pi * k / 1000, radius = k % 2 == 0 ? 500 : 200;
        points.push_back(POINT{LONG(512 + radius * std::cos(angle)), LONG(512 + radius * std::sin(angle))});
    }
    return points;
}

std::vector<POINT> Zigzag() {
    std::vector<POINT> points;
    for (int k = 0; k <= 100; ++k)
        points.push_back(POINT{LONG(12 + k * 10), LONG(k % 2 == 0 ? 100 : 900)});
    return points;
}

// The centres of 10,000 small shapes on a 100 × 100 grid.
std::vector<POINT> GridCentres() {
    std::vector<POINT> centres;
    for (int i = 0; i < 10000; ++i)
        centres.push_back(POINT{LONG(6 + (i % 100) * 10.2), LONG(6 + (i / 100) * 10.2)});
    return centres;
}

class TOurs {
public:
    TOurs() {
        BITMAPINFOHEADER info{};
        info.biSize = sizeof info;
        info.biWidth = kSide;
        info.biHeight = -kSide;
        info.biPlanes = 1;
        info.biBitCount = 32;
        info.biCompression = BI_RGB;
        void* bits = nullptr;
        FBitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
        FDc = CreateCompatibleDC(nullptr);
        FOld = SelectObject(FDc, FBitmap);
        PatBlt(FDc, 0, 0, kSide, kSide, WHITENESS);
    }
    ~TOurs() {
        SelectObject(FDc, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDc);
    }
    HDC Dc() const { return FDc; }

private:
    HBITMAP FBitmap = nullptr;
    HDC FDc = nullptr;
    HGDIOBJ FOld = nullptr;
};

class TCairo {
public:
    TCairo() {
        FSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSide, kSide);
        FCr = cairo_create(FSurface);
        cairo_set_antialias(FCr, CAIRO_ANTIALIAS_NONE);
        cairo_set_source_rgb(FCr, 1, 1, 1);
        cairo_paint(FCr);
        cairo_set_source_rgb(FCr, 0, 0, 0);
    }
    ~TCairo() {
        cairo_destroy(FCr);
        cairo_surface_destroy(FSurface);
    }
    cairo_t* Cr() const { return FCr; }
    void Path(const POINT* points, std::size_t count) const {
        cairo_move_to(FCr, points[0].x, points[0].y);
        for (std::size_t k = 1; k < count; ++k)
            cairo_line_to(FCr, points[k].x, points[k].y);
    }

private:
    cairo_surface_t* FSurface = nullptr;
    cairo_t* FCr = nullptr;
};

void BM_StarFill_Ours(benchmark::State& state) {
    TOurs ours;
    const auto star = Star();
    SelectObject(ours.Dc(), GetStockObject(NULL_PEN));
    SelectObject(ours.Dc(), GetStockObject(BLACK_BRUSH));
    for (auto _ : state)
        Polygon(ours.Dc(), star.data(), int(star.size()));
}
BENCHMARK(BM_StarFill_Ours);

void BM_StarFill_Cairo(benchmark::State& state) {
    TCairo cairo;
    const auto star = Star();
    for (auto _ : state) {
        cairo.Path(star.data(), star.size());
        cairo_close_path(cairo.Cr());
        cairo_fill(cairo.Cr());
    }
}
BENCHMARK(BM_StarFill_Cairo);

void BM_WidePolyline_Ours(benchmark::State& state) {
    TOurs ours;
    const auto line = Zigzag();
    HGDIOBJ old = SelectObject(ours.Dc(), CreatePen(PS_SOLID, 5, 0));
    for (auto _ : state)
        Polyline(ours.Dc(), line.data(), int(line.size()));
    DeleteObject(SelectObject(ours.Dc(), old));
}
BENCHMARK(BM_WidePolyline_Ours);

void BM_WidePolyline_Cairo(benchmark::State& state) {
    TCairo cairo;
    const auto line = Zigzag();
    cairo_set_line_width(cairo.Cr(), 5);
    cairo_set_line_cap(cairo.Cr(), CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cairo.Cr(), CAIRO_LINE_JOIN_ROUND);
    for (auto _ : state) {
        cairo.Path(line.data(), line.size());
        cairo_stroke(cairo.Cr());
    }
}
BENCHMARK(BM_WidePolyline_Cairo);

void BM_SmallEllipses_Ours(benchmark::State& state) {
    TOurs ours;
    const auto centres = GridCentres();
    SelectObject(ours.Dc(), GetStockObject(NULL_PEN));
    SelectObject(ours.Dc(), GetStockObject(BLACK_BRUSH));
    for (auto _ : state)
        for (const POINT& c : centres)
            Ellipse(ours.Dc(), c.x - 6, c.y - 6, c.x + 6, c.y + 6);
}
BENCHMARK(BM_SmallEllipses_Ours);

void BM_SmallEllipses_Cairo(benchmark::State& state) {
    TCairo cairo;
    const auto centres = GridCentres();
    for (auto _ : state) {
        for (const POINT& c : centres) {
            cairo_arc(cairo.Cr(), c.x, c.y, 6, 0, 2 * std::numbers::pi);
            cairo_fill(cairo.Cr());
        }
    }
}
BENCHMARK(BM_SmallEllipses_Cairo);

}  // namespace
