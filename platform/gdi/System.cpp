// Kernel and window-system services the drawing code relies on: the last error and its text,
// the tick count, MulDiv, system colours and metrics.
#include "platform/gdi/Internal.h"

#include <chrono>
#include <cstdlib>

namespace gdi {

using namespace detail;

namespace {

thread_local DWORD tLastError = ERROR_SUCCESS;

struct TMessage {
    DWORD Code;
    const char* Text;
};

// The system's language is Japanese, so are the texts of its error codes.
constexpr TMessage kMessages[] = {
    {ERROR_SUCCESS, "この操作は正しく終了しました。"},
    {ERROR_FILE_NOT_FOUND, "指定されたファイルが見つかりません。"},
    {ERROR_INVALID_HANDLE, "ハンドルが正しくありません。"},
    {ERROR_NOT_ENOUGH_MEMORY, "この操作を行うのに十分なメモリがありません。"},
    {ERROR_INVALID_DATA, "データが無効です。"},
    {ERROR_OUTOFMEMORY, "この操作を完了するのに十分なメモリがありません。"},
    {ERROR_NOT_SUPPORTED, "要求はサポートされていません。"},
    {ERROR_INVALID_PARAMETER, "引数が正しくありません。"},
    {ERROR_INSUFFICIENT_BUFFER, "システム コールに渡されるデータ領域が小さすぎます。"},
    {ERROR_BUSY, "要求されたリソースは使用中です。"},
    {ERROR_INVALID_BITMAP, "ビットマップが正しくありません。"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "指定されたリソース名が見つかりません。"},
    {ERROR_INVALID_PIXEL_FORMAT, "ピクセル形式が正しくありません。"},
};

}  // namespace

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD code) { tLastError = code; }

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, char* buffer, DWORD size, std::va_list*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buffer == nullptr || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const TMessage& message : kMessages) {
        if (message.Code != messageId)
            continue;
        std::size_t length = std::strlen(message.Text);
        // Never cut a multi-byte character in two.
        if (length > size - 1) {
            length = size - 1;
            while (length > 0 && (BYTE(message.Text[length]) & 0xC0) == 0x80)
                --length;
        }
        std::memcpy(buffer, message.Text, length);
        buffer[length] = '\0';
        return DWORD(length);
    }
    buffer[0] = '\0';
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    return DWORD(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    long long quotient = product / denominator;
    const long long remainder = product % denominator;
    // Round half away from zero.
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(denominator)))
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    if (quotient > 0x7FFFFFFFLL || quotient < -0x7FFFFFFFLL - 1)
        return -1;
    return static_cast<int>(quotient);
}

DWORD GetSysColor(int index) {
    TLock lock(LayerMutex());
    if (index < 0 || index >= kSysColorCount)
        return 0;
    return State().SysColors[std::size_t(index)];
}

BOOL SetSysColors(int count, const INT* elements, const COLORREF* colors) {
    TLock lock(LayerMutex());
    if (count < 0 || (count > 0 && (elements == nullptr || colors == nullptr))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int i = 0; i < count; ++i) {
        if (elements[i] >= 0 && elements[i] < kSysColorCount)
            State().SysColors[std::size_t(elements[i])] = colors[i] & 0x00FFFFFF;
    }
    return TRUE;
}

int GetSystemMetrics(int index) {
    TLock lock(LayerMutex());
    const TScreenSettings& screen = State().Screen;
    switch (index) {
    case SM_CXSCREEN: return screen.Width;
    case SM_CYSCREEN: return screen.Height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CYMENU: return 20;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

}  // namespace gdi
