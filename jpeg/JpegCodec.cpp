#include "jpeg/JpegCodec.h"

#include "jpeg/JpegImage.h"
#include "platform/base/Messages.h"

#include <cstring>

#include <jerror.h>

namespace jpeg {

namespace {

TCodecContext& ContextOf(j_common_ptr cinfo) { return *static_cast<TCodecContext*>(cinfo->client_data); }

[[noreturn]] void JumpOut(TCodecContext& context) { std::longjmp(context.Jump, 1); }

// ---- error manager ----------------------------------------------------------------------------

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { JumpOut(ContextOf(cinfo)); }

// Warnings (data ending early, corrupt entropy data) and trace messages are not reported: the
// library goes on as far as the data lets it.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }
void ResetErrorManager(j_common_ptr cinfo) { cinfo->err->msg_code = 0; }

[[noreturn]] void LibraryError(j_common_ptr cinfo, int code) {
    cinfo->err->msg_code = code;
    cinfo->err->error_exit(cinfo);
    std::abort();  // error_exit never returns; this keeps the compiler sure of it
}

// ---- progress --------------------------------------------------------------------------------

// Returns false when the owner's progress listener raised; the exception is kept in the context.
bool ReportTo(TCodecContext& context) noexcept {
    try {
        context.Owner->ReportProgress(context);
        return true;
    } catch (...) {
        context.Pending = std::current_exception();
        return false;
    }
}

void ProgressMonitor(j_common_ptr cinfo) {
    TCodecContext& context = ContextOf(cinfo);
    if (context.Owner == nullptr)
        return;
    if (!ReportTo(context))
        JumpOut(context);
}

// ---- stream source ---------------------------------------------------------------------------

bool ReadFrom(TCodecContext& context, std::int64_t& count) noexcept {
    try {
        count = context.Source.Stream->Read(context.Source.Buffer, std::int64_t(kStreamBufferSize));
        return true;
    } catch (...) {
        context.Pending = std::current_exception();
        return false;
    }
}

void InitSource(j_decompress_ptr cinfo) {
    TCodecContext& context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    context.Source.StartOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto common = reinterpret_cast<j_common_ptr>(cinfo);
    TCodecContext& context = ContextOf(common);
    TStreamSource& source = context.Source;
    std::int64_t count = 0;
    if (!ReadFrom(context, count))
        JumpOut(context);
    if (count <= 0) {
        if (source.StartOfFile)
            LibraryError(common, JERR_INPUT_EMPTY);
        // The data ends before its end-of-image marker: hand the decoder one, so a truncated file
        // decodes as far as its data goes and the rest is filled in.
        cinfo->err->emit_message(common, -1);
        source.Buffer[0] = 0xFF;
        source.Buffer[1] = JPEG_EOI;
        count = 2;
    }
    source.Pub.next_input_byte = source.Buffer;
    source.Pub.bytes_in_buffer = std::size_t(count);
    source.StartOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr& pub = *cinfo->src;
    auto remaining = static_cast<unsigned long>(count);
    while (remaining > pub.bytes_in_buffer) {
        remaining -= static_cast<unsigned long>(pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    pub.next_input_byte += remaining;
    pub.bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr) {}

// ---- stream destination ----------------------------------------------------------------------

bool WriteTo(TCodecContext& context, std::size_t count) noexcept {
    try {
        context.Destination.Stream->WriteBuffer(context.Destination.Buffer, std::int64_t(count));
        return true;
    } catch (...) {
        context.Pending = std::current_exception();
        return false;
    }
}

void InitDestination(j_compress_ptr cinfo) {
    TCodecContext& context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    context.Destination.Pub.next_output_byte = context.Destination.Buffer;
    context.Destination.Pub.free_in_buffer = kStreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    TCodecContext& context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (!WriteTo(context, kStreamBufferSize))
        JumpOut(context);
    context.Destination.Pub.next_output_byte = context.Destination.Buffer;
    context.Destination.Pub.free_in_buffer = kStreamBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    TCodecContext& context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    const std::size_t count = kStreamBufferSize - context.Destination.Pub.free_in_buffer;
    if (count > 0 && !WriteTo(context, count))
        JumpOut(context);
}

}  // namespace

TCodecContext::TCodecContext()
    : Error{}, Progress{}, Owner(nullptr), LastPercent(0), LastTick(0), LastRow(0), FinalDctMethod(JDCT_ISLOW),
      FinalTwoPass(false), FinalDither(JDITHER_NONE), D{}, Jump{}, Source{}, Destination{} {}

TCodecContext::~TCodecContext() { DestroyCodec(*this); }

void SetupErrorManager(TCodecContext& context) {
    jpeg_std_error(&context.Error);
    context.Error.error_exit = ErrorExit;
    context.Error.emit_message = EmitMessage;
    context.Error.output_message = OutputMessage;
    context.Error.format_message = FormatMessage;
    context.Error.reset_error_mgr = ResetErrorManager;
    // Both codec objects begin with the same common fields, so D serves for either.
    context.D.err = &context.Error;
    context.D.client_data = &context;
}

void SetupProgress(TCodecContext& context, TJPEGImage* owner) {
    context.Progress.progress_monitor = ProgressMonitor;
    context.Owner = owner;
    context.Common()->progress = &context.Progress;
}

void SetStreamSource(TCodecContext& context, TStream& stream) {
    TStreamSource& source = context.Source;
    source.Stream = &stream;
    source.StartOfFile = true;
    source.Pub.init_source = InitSource;
    source.Pub.fill_input_buffer = FillInputBuffer;
    source.Pub.skip_input_data = SkipInputData;
    source.Pub.resync_to_restart = jpeg_resync_to_restart;
    source.Pub.term_source = TermSource;
    source.Pub.next_input_byte = nullptr;
    source.Pub.bytes_in_buffer = 0;
    context.D.src = &source.Pub;
}

void SetStreamDestination(TCodecContext& context, TStream& stream) {
    TStreamDestination& destination = context.Destination;
    destination.Stream = &stream;
    destination.Pub.init_destination = InitDestination;
    destination.Pub.empty_output_buffer = EmptyOutputBuffer;
    destination.Pub.term_destination = TermDestination;
    context.C.dest = &destination.Pub;
}

void DestroyCodec(TCodecContext& context) {
    // jpeg_destroy frees every pool and leaves mem null, so a second call does nothing; it
    // raises no error of its own.
    if (context.Common()->mem != nullptr)
        jpeg_destroy(context.Common());
}

void RaiseCodecError(TCodecContext& context) {
    if (context.Pending) {
        std::exception_ptr pending = context.Pending;
        context.Pending = nullptr;
        std::rethrow_exception(pending);
    }
    throw EJPEG(base::FmtLoadStr(res::SJPEGError, {static_cast<long long>(context.Error.msg_code)}));
}

}  // namespace jpeg
