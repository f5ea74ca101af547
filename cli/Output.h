// What the command-line tools share: one-line messages and writing a bitmap in the format its
// file name's extension names.
#pragma once

#include "graphics/Bitmap.h"

#include <string>

namespace cli {

/// The text with its line breaks written as "\n", so a message stays on one line of output.
std::string OneLine(const std::string& text);

/// Saves the bitmap in the registered format of the file name's extension: bitmap formats save it
/// as it is, any other format is assigned the bitmap first. An unknown extension raises
/// EInvalidGraphic with the framework's message.
void SaveInFormatOf(const std::string& fileName, graphics::TBitmap& bitmap);

}  // namespace cli
