// The glue between the JPEG graphic and libjpeg-turbo, private to this module: one context per
// library call sequence holding the error, progress, source and destination managers.
//
// libjpeg is C. Its errors, and failures of our own callbacks, leave its frames through longjmp to
// the setjmp in RunGuarded, never as a C++ exception; only there, once the library is behind us,
// does a failure become an exception again (RaiseCodecError). Code run by RunGuarded keeps no
// object with a destructor alive across a library call.
#pragma once

#include "platform/base/Stream.h"
#include "platform/gdi/Gdi.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <exception>

#include <jpeglib.h>

namespace jpeg {

class TJPEGImage;

constexpr std::size_t kStreamBufferSize = 4096;

struct TStreamSource {
    jpeg_source_mgr Pub;
    TStream* Stream;
    bool StartOfFile;
    JOCTET Buffer[kStreamBufferSize];
};

struct TStreamDestination {
    jpeg_destination_mgr Pub;
    TStream* Stream;
    JOCTET Buffer[kStreamBufferSize];
};

struct TCodecContext {
    jpeg_error_mgr Error;
    jpeg_progress_mgr Progress;
    TJPEGImage* Owner;
    int LastPercent;
    gdi::DWORD LastTick;
    JDIMENSION LastRow;
    // The decode settings of the final output pass, kept while incremental passes use faster ones.
    J_DCT_METHOD FinalDctMethod;
    bool FinalTwoPass;
    J_DITHER_MODE FinalDither;
    union {
        jpeg_decompress_struct D;
        jpeg_compress_struct C;
    };
    jmp_buf Jump;
    /// A C++ failure of one of our callbacks, carried past the library's frames.
    std::exception_ptr Pending;
    TStreamSource Source;
    TStreamDestination Destination;

    TCodecContext();
    ~TCodecContext();
    TCodecContext(const TCodecContext&) = delete;
    TCodecContext& operator=(const TCodecContext&) = delete;
    j_common_ptr Common() { return reinterpret_cast<j_common_ptr>(&D); }
};

/// Fills the context's error manager with ours and points the codec object at it and the context.
void SetupErrorManager(TCodecContext& context);
/// Installs the progress manager, reporting to owner (which may be null).
void SetupProgress(TCodecContext& context, TJPEGImage* owner);
/// Source and destination managers over a stream, read and written kStreamBufferSize bytes at a
/// time; a source that runs dry supplies an end-of-image marker, as libjpeg's file source does.
void SetStreamSource(TCodecContext& context, TStream& stream);
void SetStreamDestination(TCodecContext& context, TStream& stream);
/// Destroys the codec object, if one was created; safe to call twice.
void DestroyCodec(TCodecContext& context);

/// Runs body with the context's jump target set: true when it returned, false when libjpeg or
/// a callback left through the jump. A C++ exception thrown by body itself (outside the library)
/// passes normally.
template <typename TBody>
[[gnu::noinline]] bool RunGuarded(TCodecContext& context, TBody&& body) {
    if (setjmp(context.Jump) != 0)
        return false;
    body();
    return true;
}

/// After RunGuarded failed: the callback's exception, or EJPEG with the library's message code.
[[noreturn]] void RaiseCodecError(TCodecContext& context);

/// Destroys the codec object when the scope ends, whichever way.
class TCodecGuard {
public:
    explicit TCodecGuard(TCodecContext& context) : FContext(context) {}
    ~TCodecGuard() { DestroyCodec(FContext); }
    TCodecGuard(const TCodecGuard&) = delete;
    TCodecGuard& operator=(const TCodecGuard&) = delete;

private:
    TCodecContext& FContext;
};

}  // namespace jpeg
