#include "platform/shell/ShellApi.h"

#include <cerrno>
#include <cstring>

namespace shell {
namespace {

void AppendUtf8(std::string& text, char32_t code) {
    if (code < 0x80) {
        text += char(code);
    } else if (code < 0x800) {
        text += char(0xC0 | (code >> 6));
        text += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += char(0xE0 | (code >> 12));
        text += char(0x80 | ((code >> 6) & 0x3F));
        text += char(0x80 | (code & 0x3F));
    } else {
        text += char(0xF0 | (code >> 18));
        text += char(0x80 | ((code >> 12) & 0x3F));
        text += char(0x80 | ((code >> 6) & 0x3F));
        text += char(0x80 | (code & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// The length of the well-formed UTF-8 sequence at the start of bytes (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF), or 0 when it is not one.
std::size_t SequenceLength(std::string_view bytes) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

}  // namespace

HRESULT ResultFromErrno(int error) {
    switch (error) {
    case 0:
        return S_OK;
    case ENOENT:
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    case EACCES:
    case EPERM:
        return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case ENOMEM:
        return E_OUTOFMEMORY;
    case EXDEV:
        return HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE);
    case EROFS:
        return HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT);
    case EEXIST:
        return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    case EINVAL:
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    case ENOSPC:
    case EDQUOT:
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case ENAMETOOLONG:
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case ENOTEMPTY:
        return HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
    case EBUSY:
        return HRESULT_FROM_WIN32(ERROR_BUSY);
    case ELOOP:
        return HRESULT_FROM_WIN32(ERROR_CANT_RESOLVE_FILENAME);
    default:
        return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
    }
}

std::string DisplayNameFromBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        std::size_t length = SequenceLength(bytes);
        if (length == 0) {
            AppendUtf8(text, kReplacement);
            length = 1;
        } else {
            text.append(bytes.substr(0, length));
        }
        bytes.remove_prefix(length);
    }
    return text;
}

HRESULT StrRetToStrA(const STRRET& name, const TItemIdList& item, std::string& text) {
    switch (name.uType) {
    case STRRET_CSTR:
        text = name.cStr;
        return S_OK;
    case STRRET_OFFSET: {
        auto bytes = item.Bytes();
        if (name.uOffset >= bytes.size())
            return E_INVALIDARG;
        auto tail = bytes.subspan(name.uOffset);
        const void* end = std::memchr(tail.data(), 0, tail.size());
        if (end == nullptr)
            return E_INVALIDARG;
        text.assign(reinterpret_cast<const char*>(tail.data()), static_cast<const std::uint8_t*>(end) - tail.data());
        return S_OK;
    }
    case STRRET_WSTR: {
        std::string converted;
        const std::u16string& wide = name.pOleStr;
        for (std::size_t i = 0; i < wide.size(); ++i) {
            char32_t unit = wide[i];
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                wide[i + 1] <= 0xDFFF) {
                AppendUtf8(converted, 0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
                ++i;
            } else if (unit >= 0xD800 && unit <= 0xDFFF) {
                AppendUtf8(converted, kReplacement);
            } else {
                AppendUtf8(converted, unit);
            }
        }
        text = std::move(converted);
        return S_OK;
    }
    default:
        return E_INVALIDARG;
    }
}

}  // namespace shell
