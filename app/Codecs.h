// Start-up and shutdown of the codec modules, shared by the window and the command-line tool so
// both meet the same formats in the same registry order.
#pragma once

namespace app {

/// Runs the codecs' start-up after the picture framework's: JPEG ("jpeg", "jpg"), then PNG.
void InitializeCodecs();
/// Withdraws the codecs from the format registry in the reverse order.
void FinalizeCodecs();

}  // namespace app
