// Start-up and shutdown of the JPEG module: the default decode depth from the screen, and the
// "jpeg" and "jpg" formats in the picture registry.
#pragma once

namespace jpeg {

/// Registers the JPEG messages, chooses JPEGDefaultSettings.DecodeDepth from the screen (8 bits per pixel or fewer: 8-bit
/// decoding) and registers TJPEGImage for "jpeg", then "jpg".
void InitializeJpeg();
/// Withdraws TJPEGImage from the picture registry.
void FinalizeJpeg();

}  // namespace jpeg
