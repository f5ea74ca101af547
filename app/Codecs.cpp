#include "app/Codecs.h"

#include "jpeg/JpegModule.h"

namespace app {

void InitializeCodecs() {
    jpeg::InitializeJpeg();
}

void FinalizeCodecs() {
    jpeg::FinalizeJpeg();
}

}  // namespace app
