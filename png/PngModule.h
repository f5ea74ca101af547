// Start-up and shutdown of the PNG codec: the chunk classes, the status texts of decompression,
// and the format "PNG" in the picture framework's registry.
#pragma once

namespace png {

/// Registers the PNG messages, the standard chunk classes and the file format "PNG" ("Portable Network Graphics").
/// Runs after the picture framework's start-up.
void InitializePng();
/// Withdraws TPNGObject from the format registries and releases the chunk classes and status
/// texts; the messages stay in the string table.
void FinalizePng();

}  // namespace png
