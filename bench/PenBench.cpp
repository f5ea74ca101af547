// Vector drawing against cairo, both aliased, on the same 1024 × 1024 32-bit surface: filling a
// 1,000-vertex star, stroking a 100-segment polyline 5 pixels wide (round caps and joins), and
// 10,000 small 16-sided polygons, one call each. Cairo is only the yardstick here.
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

// 10,000 polygons of 16 corners and radius 6 on a 100 × 100 grid.
std::vector<POINT> SmallPolygons() {
    std::vector<POINT> points;
    for (int i = 0; i < 10000; ++i) {
        const double cx = 5 + (i % 100) * 10.2, cy = 5 + (i / 100) * 10.2;
        for (int k = 0; k < 16; ++k) {
            const double angle = 2 * std::numbers::pi * k / 16;
            points.push_back(POINT{LONG(std::lround(cx + 6 * std::cos(angle))), LONG(std::lround(cy + 6 * std::sin(angle)))});
        }
    }
    return points;
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

void BM_SmallPolygons_Ours(benchmark::State& state) {
    TOurs ours;
    const auto points = SmallPolygons();
    SelectObject(ours.Dc(), GetStockObject(BLACK_PEN));
    SelectObject(ours.Dc(), GetStockObject(GRAY_BRUSH));
    for (auto _ : state)
        for (std::size_t i = 0; i < points.size(); i += 16)
            Polygon(ours.Dc(), points.data() + i, 16);
}
BENCHMARK(BM_SmallPolygons_Ours);

void BM_SmallPolygons_Cairo(benchmark::State& state) {
    TCairo cairo;
    const auto points = SmallPolygons();
    cairo_set_line_width(cairo.Cr(), 1);
    for (auto _ : state) {
        for (std::size_t i = 0; i < points.size(); i += 16) {
            cairo.Path(points.data() + i, 16);
            cairo_close_path(cairo.Cr());
            cairo_set_source_rgb(cairo.Cr(), 0.5, 0.5, 0.5);
            cairo_fill_preserve(cairo.Cr());
            cairo_set_source_rgb(cairo.Cr(), 0, 0, 0);
            cairo_stroke(cairo.Cr());
        }
    }
}
BENCHMARK(BM_SmallPolygons_Cairo);

}  // namespace
