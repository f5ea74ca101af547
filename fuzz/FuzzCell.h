// The thumbnail builder's last step, shared by the fuzz targets of every picture reader: a graphic
// that loaded is drawn into a 64 × 64 cell, at its own size when it fits and stretched otherwise.
#pragma once

#include "graphics/Bitmap.h"

namespace fuzz {

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
