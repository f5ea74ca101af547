// Start-up and shutdown of the codec modules and the program's own messages, shared by the window
// and the command-line tool so both meet the same formats in the same registry order.
#pragma once

namespace app {

/// Registers the program's messages (the image list's and the file list's) and runs the codecs'
/// start-up after the picture framework's: JPEG ("jpeg", "jpg"), then PNG.
void InitializeCodecs();
/// Withdraws the codecs from the format registry in the reverse order; the messages stay.
void FinalizeCodecs();

}  // namespace app
