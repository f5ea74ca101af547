// What the bitmap's sources (Bitmap.cpp, BitmapPalette.cpp, BitmapRebuild.cpp, BitmapMask.cpp)
// share beyond Bitmap.h. Private to the framework.
#pragma once

#include "graphics/Bitmap.h"
#include "platform/gdi/Handles.h"

namespace graphics {

/// The 16-colour palette in the order of the platform's standard colours; on a palette screen
/// its first and last eight entries are the screen's static colours.
HPALETTE MakeStandardPalette16();
/// A new palette with the entries of palette; nullptr for nullptr or an empty palette.
HPALETTE CopyPalette(HPALETTE palette);
/// Deletes a palette that image data owns: nullptr and the shared standard palette stay.
void DeletePalette(HPALETTE palette);
/// A palette on its way into image data, deleted as DeletePalette does unless handed on.
using TImagePalette = gdi::TUniqueHandle<HPALETTE, &DeletePalette>;

}  // namespace graphics
