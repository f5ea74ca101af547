// The canvas side of the graphics module's process-wide state: the stock objects a canvas falls
// back on, the three drawing-object pools, the lock that guards every canvas's lock count and the
// list of all canvases. Only the canvas and drawing-object sources include this file.
#pragma once

#include "graphics/Canvas.h"

#include <mutex>
#include <vector>

namespace graphics::detail {

struct TCanvasModule {
    /// Reads the stock objects and the default font from the raster layer. The layer's stock
    /// objects are never deleted, so the handles stay good for the life of the process.
    TCanvasModule();

    gdi::HPEN StockPen = nullptr;
    gdi::HBRUSH StockBrush = nullptr;
    gdi::HFONT StockFont = nullptr;
    /// The settings a new font starts with: those of the platform's default interface font.
    TFontData DefaultFont;

    // Declared before anything that might hold records, so it is destroyed after them.
    TResourceManager Brushes{sizeof(TBrushData)};
    TResourceManager Pens{sizeof(TPenData)};
    TResourceManager Fonts{sizeof(TFontData)};

    std::mutex CounterLock;
    std::mutex CanvasListLock;
    std::vector<TCanvas*> Canvases;
};

/// The state, made on first use and kept until the process ends: drawing objects that outlive
/// the module's shutdown still hold records of its pools.
TCanvasModule& CanvasModule();

}  // namespace graphics::detail
