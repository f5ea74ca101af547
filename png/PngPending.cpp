// FIXME: saving and the object operations (assignment, clipboard, resizing, the header's and the
// image data's writing) are being built beside this file; until they land, the operations the
// graphic's interface requires refuse to run instead of writing a broken file. This file goes
// when png/PngWrite.cpp and png/PngOperations.cpp arrive.
#include "png/PngImage.h"

namespace png {
namespace {

[[noreturn]] void NotAvailable(const char* operation) {
    throw EInvalidGraphicOperation(std::string("TPNGObject: ") + operation + " is not available yet");
}

}  // namespace

void TPNGObject::AssignTo(TPersistent& dest) { TGraphic::AssignTo(dest); }
void TPNGObject::Assign(TPersistent* source) { TGraphic::Assign(source); }
void TPNGObject::SetHeight(int) { NotAvailable("SetHeight"); }
void TPNGObject::SetWidth(int) { NotAvailable("SetWidth"); }
void TPNGObject::SaveToStream(TStream&) { NotAvailable("SaveToStream"); }
void TPNGObject::LoadFromClipboardFormat(std::uint16_t, graphics::THandle, HPALETTE) {
    NotAvailable("LoadFromClipboardFormat");
}
void TPNGObject::SaveToClipboardFormat(std::uint16_t&, graphics::THandle&, HPALETTE&) {
    NotAvailable("SaveToClipboardFormat");
}
bool TChunkIHDR::WriteChunk(TStream&) { NotAvailable("writing the header"); }
bool TChunkIDAT::WriteChunk(TStream&) { NotAvailable("writing the image data"); }

}  // namespace png
