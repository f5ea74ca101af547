#include "app/Codecs.h"

#include "jpeg/JpegModule.h"
#include "png/PngModule.h"

namespace app {

void InitializeCodecs() {
    jpeg::InitializeJpeg();
    png::InitializePng();
}

void FinalizeCodecs() {
    png::FinalizePng();
    jpeg::FinalizeJpeg();
}

}  // namespace app
