#include "png/PngModule.h"

#include "graphics/Graphic.h"
#include "platform/base/Messages.h"
#include "png/PngErrors.h"
#include "png/PngImage.h"

namespace png {

void InitializePng() {
    base::RegisterMessages(res::kPngMessages);
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
