// What the fuzz targets of every picture reader share: the framework's start-up, the guard around
// one input, and the thumbnail builder's last step, which draws a graphic that loaded into a
// 64 × 64 cell, at its own size when it fits and stretched otherwise.
#pragma once

#include "graphics/Bitmap.h"
#include "platform/gdi/Screen.h"

#include <cstddef>

namespace fuzz {

/// Starts the picture framework once per process, then the codec when one is named. The storage
/// cap is small so that hostile sizes are refused at once instead of spending the fuzzer's time on
/// huge, mostly empty images.
inline void StartOnce(std::size_t storageCap, void (*startCodec)() = nullptr) {
    static const bool started = [&] {
        gdi::SetBitmapStorageCap(storageCap);
        graphics::InitializeGraphics();
        if (startCodec != nullptr)
            startCodec();
        return true;
    }();
    (void)started;
}

/// Runs one input's work. Refusing a damaged file is the expected outcome; only crashes and leaks
/// are failures. The bitmaps' idle contexts go afterwards, as after every message of the window.
template <class TWork>
void Guarded(TWork&& work) {
    try {
        work();
    } catch (const Exception&) {
    }
    graphics::ReleaseIdleBitmapContexts();
}

inline void DrawIntoCell(graphics::TGraphic& graphic) {
    graphics::TBitmap cell;
    cell.SetWidth(64);
    cell.SetHeight(64);
    if (graphic.Width() <= 64 && graphic.Height() <= 64)
        cell.Canvas().Draw(0, 0, &graphic);
    else
        cell.Canvas().StretchDraw(graphics::Rect(0, 0, 64, 64), &graphic);
}

}  // namespace fuzz
