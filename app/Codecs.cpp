#include "app/Codecs.h"

#include "app/FileListBox.h"
#include "app/ImageList.h"
#include "jpeg/JpegModule.h"
#include "png/PngModule.h"

namespace app {

void InitializeCodecs() {
    base::RegisterMessages(res::kImageListMessages);
    base::RegisterMessages(res::kFileListMessages);
    jpeg::InitializeJpeg();
    png::InitializePng();
}

void FinalizeCodecs() {
    png::FinalizePng();
    jpeg::FinalizeJpeg();
}

}  // namespace app
