#include "png/PngModule.h"

#include "graphics/Graphic.h"
#include "png/PngImage.h"

namespace png {

void InitializePng() {
    ReleaseChunkClasses();
    RegisterStandardChunkClasses();
    CreateZlibStatusTexts();
    graphics::TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", TPNGObject::StaticClass());
}

void FinalizePng() {
    graphics::TPicture::UnregisterGraphicClass(TPNGObject::StaticClass());
    ReleaseChunkClasses();
    ReleaseZlibStatusTexts();
}

}  // namespace png
