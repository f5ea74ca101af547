// Included once by each target that draws text through the layer.
#pragma once

// Fontconfig loses a little memory while it parses its configuration, once per process, when the
// layer first chooses a face; the leak check that any later input with a growing cache sets off
// would report it every time. The fast unwinder stops inside the library, so the library is
// named: the layer's one use of it (choosing a face) destroys every pattern it makes.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
