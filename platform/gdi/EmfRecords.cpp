// Checking an enhanced metafile's record stream once, when a handle is made, and reading the
// variable parts of single records when they are played. Every size from the file is compared in
// 64-bit arithmetic against what the record or the stream really holds.
#include "platform/gdi/EmfRecords.h"

#include "platform/gdi/Storage.h"

namespace gdi::detail {

namespace {

DWORD Dword(const BYTE* at) {
    DWORD value;
    std::memcpy(&value, at, 4);
    return value;
}

// Widest point count one poly record may carry: the layer draws at most 2^24 points per call.
constexpr std::uint64_t kMaxPoints = std::uint64_t(1) << 24;

}  // namespace

bool CheckStream(const BYTE* data, std::size_t size, ENHMETAHEADER& header) {
    if (data == nullptr || size < kMinStreamSize)
        return false;
    header = ENHMETAHEADER{};
    std::memcpy(&header, data, kMinHeaderSize);
    if (header.iType != EMR_HEADER || header.dSignature != ENHMETA_SIGNATURE || header.nHandles == 0)
        return false;
    // The stream is what the header says it is; bytes the caller gave beyond that are not ours.
    const std::uint64_t total = header.nBytes;
    if (total < kMinStreamSize || total > size || total % 4 != 0)
        return false;
    if (header.nSize < kMinHeaderSize || header.nSize % 4 != 0 || header.nSize > total)
        return false;
    std::memcpy(&header, data, std::min<std::size_t>(header.nSize, sizeof header));
    if (header.nDescription != 0 &&
        std::uint64_t(header.offDescription) + 2 * std::uint64_t(header.nDescription) > header.nSize)
        return false;
    if (header.szlDevice.cx <= 0 || header.szlDevice.cy <= 0 || header.szlMillimeters.cx <= 0 ||
        header.szlMillimeters.cy <= 0)
        return false;
    std::uint64_t offset = header.nSize;
    while (true) {
        if (total - offset < 8)
            return false;
        const DWORD type = Dword(data + offset);
        const DWORD length = Dword(data + offset + 4);
        if (length < 8 || length % 4 != 0 || length > total - offset)
            return false;
        if (type == EMR_HEADER)
            return false;
        if (type == EMR_EOF) {
            if (length < kEofRecordSize)
                return false;
            const DWORD count = Dword(data + offset + 8);
            const DWORD at = Dword(data + offset + 12);
            return count == 0 || std::uint64_t(at) + 4 * std::uint64_t(count) <= length;
        }
        offset += length;
    }
}

TEmfRecord RecordAt(const BYTE* data, std::size_t offset) {
    return TEmfRecord{Dword(data + offset), data + offset, Dword(data + offset + 4)};
}

std::vector<PALETTEENTRY> EndPalette(const BYTE* data, std::size_t size) {
    ENHMETAHEADER header;
    std::memcpy(&header, data, kMinHeaderSize);
    std::size_t offset = header.nSize;
    while (offset + 8 <= size) {
        const TEmfRecord record = RecordAt(data, offset);
        if (record.Type == EMR_EOF) {
            EMREOF eof;
            if (!ReadFixed(record, eof) || eof.nPalEntries == 0)
                return {};
            std::vector<PALETTEENTRY> entries(eof.nPalEntries);
            std::memcpy(entries.data(), record.Data + eof.offPalEntries, entries.size() * sizeof(PALETTEENTRY));
            return entries;
        }
        offset += record.Size;
    }
    return {};
}

bool InsideRecord(const TEmfRecord& record, std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    if (size != 0 && count > (std::uint64_t(1) << 40) / size)
        return false;
    return offset <= record.Size && count * size <= record.Size - offset;
}

bool ReadPoly(const TEmfRecord& record, bool small, std::vector<POINT>& points) {
    EMRPOLY fixed;
    if (!ReadFixed(record, fixed) || fixed.cptl > kMaxPoints)
        return false;
    const std::size_t unit = small ? 4 : 8;
    if (!InsideRecord(record, sizeof fixed, fixed.cptl, unit))
        return false;
    points.resize(fixed.cptl);
    const BYTE* at = record.Data + sizeof fixed;
    for (POINT& point : points) {
        if (small) {
            std::int16_t xy[2];
            std::memcpy(xy, at, 4);
            point = POINT{xy[0], xy[1]};
        } else {
            std::memcpy(&point, at, 8);
        }
        at += unit;
    }
    return true;
}

bool ReadPolyPoly(const TEmfRecord& record, bool small, std::vector<DWORD>& counts, std::vector<POINT>& points) {
    EMRPOLYPOLY fixed;
    if (!ReadFixed(record, fixed) || fixed.cptl > kMaxPoints || fixed.nPolys > kMaxPoints)
        return false;
    const std::size_t unit = small ? 4 : 8;
    if (!InsideRecord(record, sizeof fixed, fixed.nPolys, 4))
        return false;
    const std::uint64_t pointsAt = sizeof fixed + 4 * std::uint64_t(fixed.nPolys);
    if (!InsideRecord(record, pointsAt, fixed.cptl, unit))
        return false;
    counts.resize(fixed.nPolys);
    if (!counts.empty())
        std::memcpy(counts.data(), record.Data + sizeof fixed, counts.size() * 4);
    std::uint64_t sum = 0;
    for (DWORD count : counts)
        sum += count;
    if (sum != fixed.cptl)
        return false;
    points.resize(fixed.cptl);
    const BYTE* at = record.Data + pointsAt;
    for (POINT& point : points) {
        if (small) {
            std::int16_t xy[2];
            std::memcpy(xy, at, 4);
            point = POINT{xy[0], xy[1]};
        } else {
            std::memcpy(&point, at, 8);
        }
        at += unit;
    }
    return true;
}

bool ReadPolyDraw(const TEmfRecord& record, bool small, std::vector<POINT>& points, std::vector<BYTE>& types) {
    if (!ReadPoly(record, small, points))
        return false;
    const std::uint64_t typesAt = sizeof(EMRPOLY) + std::uint64_t(points.size()) * (small ? 4 : 8);
    if (!InsideRecord(record, typesAt, points.size(), 1))
        return false;
    types.assign(record.Data + typesAt, record.Data + typesAt + points.size());
    return true;
}

bool ReadDib(const TEmfRecord& record, DWORD offBmi, DWORD cbBmi, DWORD offBits, DWORD cbBits, TEmfDib& dib) {
    dib = TEmfDib{};
    if (cbBmi == 0)
        return true;
    if (cbBmi < sizeof(BITMAPCOREHEADER) || !InsideRecord(record, offBmi, cbBmi, 1) ||
        !InsideRecord(record, offBits, cbBits, 1))
        return false;
    const BYTE* info = record.Data + offBmi;
    const DWORD headerSize = Dword(info);
    if (headerSize < sizeof(BITMAPCOREHEADER) || headerSize > cbBmi)
        return false;
    LONG width = 0, height = 0;
    WORD bits = 0;
    DWORD compression = BI_RGB, sizeImage = 0;
    if (headerSize == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, info, sizeof core);
        width = core.bcWidth, height = core.bcHeight, bits = core.bcBitCount;
    } else {
        if (headerSize < sizeof(BITMAPINFOHEADER))
            return false;
        BITMAPINFOHEADER header;
        std::memcpy(&header, info, sizeof header);
        width = header.biWidth, height = header.biHeight, bits = header.biBitCount;
        compression = header.biCompression, sizeImage = header.biSizeImage;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN)
        return false;
    // A colour table cut short by the bytes given for it is tolerated (writers count a 256-entry
    // table with biClrUsed 0 by the colours they use): the copy below holds a whole table, its
    // missing entries black.
    // The bits: every row of an uncompressed image, or the run-length data's stated size.
    const std::uint64_t rows = height < 0 ? std::uint64_t(-std::int64_t(height)) : std::uint64_t(height);
    if (compression == BI_RGB || compression == BI_BITFIELDS) {
        const std::uint64_t stride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
        if (stride == 0 || rows > (std::uint64_t(1) << 40) / stride || stride * rows > cbBits)
            return false;
    } else if (compression == BI_RLE8 || compression == BI_RLE4) {
        if (sizeImage > cbBits)
            return false;
    }
    // Other compressions (JPEG, PNG) are not damage: the calls that draw bitmaps refuse them.
    // A copy, aligned for the layer and with room for a whole colour table or the masks.
    const std::uint64_t copySize = std::max<std::uint64_t>(cbBmi, std::uint64_t(headerSize) + 256 * 4);
    if (!ResizeStorage(dib.Info, std::size_t(copySize)))
        return false;
    std::memcpy(dib.Info.data(), info, cbBmi);
    dib.Bits = record.Data + offBits;
    dib.BitsSize = cbBits;
    return true;
}

bool ReadRegionData(const TEmfRecord& record, std::size_t offset, DWORD cbRgnData, std::vector<BYTE>& data) {
    if (cbRgnData < sizeof(RGNDATAHEADER) || !InsideRecord(record, offset, cbRgnData, 1))
        return false;
    RGNDATAHEADER header;
    std::memcpy(&header, record.Data + offset, sizeof header);
    if (header.dwSize != sizeof(RGNDATAHEADER) ||
        std::uint64_t(header.dwSize) + std::uint64_t(header.nCount) * sizeof(RECT) > cbRgnData)
        return false;
    data.assign(record.Data + offset, record.Data + offset + cbRgnData);
    return true;
}

bool ReadEmrText(const TEmfRecord& record, const EMRTEXT& text, bool wide, TEmfText& out) {
    out = TEmfText{};
    out.Reference = text.ptlReference;
    out.Options = text.fOptions;
    out.Rect = RECT{text.rcl.left, text.rcl.top, text.rcl.right, text.rcl.bottom};
    if (text.nChars == 0)
        return true;
    const std::size_t unit = wide ? 2 : 1;
    if (!InsideRecord(record, text.offString, text.nChars, unit))
        return false;
    const BYTE* string = record.Data + text.offString;
    if (wide) {
        out.Wide.resize(text.nChars);
        std::memcpy(out.Wide.data(), string, out.Wide.size() * 2);
    } else {
        out.Ansi.assign(string, string + text.nChars);
    }
    if (text.offDx != 0) {
        const std::uint64_t perChar = (text.fOptions & ETO_PDY) ? 2 : 1;
        if (!InsideRecord(record, text.offDx, text.nChars * perChar, 4))
            return false;
        out.Dx.resize(text.nChars * perChar);
        std::memcpy(out.Dx.data(), record.Data + text.offDx, out.Dx.size() * 4);
    }
    return true;
}

bool ReadSmallText(const TEmfRecord& record, EMRSMALLTEXTOUT& fixed, TEmfText& out) {
    constexpr UINT kNoRect = 0x0100, kSmallChars = 0x0200;
    out = TEmfText{};
    if (!ReadFixed(record, fixed))
        return false;
    std::size_t at = sizeof fixed;
    if ((fixed.fuOptions & kNoRect) == 0) {
        RECTL bounds;
        if (!InsideRecord(record, at, 1, sizeof bounds))
            return false;
        std::memcpy(&bounds, record.Data + at, sizeof bounds);
        out.Rect = RECT{bounds.left, bounds.top, bounds.right, bounds.bottom};
        at += sizeof bounds;
    }
    out.Reference = POINT{fixed.x, fixed.y};
    out.Options = fixed.fuOptions & ~(kNoRect | kSmallChars);
    const bool small = (fixed.fuOptions & kSmallChars) != 0;
    if (!InsideRecord(record, at, fixed.cChars, small ? 1 : 2))
        return false;
    out.Wide.resize(fixed.cChars);
    for (std::size_t i = 0; i < out.Wide.size(); ++i) {
        if (small) {
            out.Wide[i] = WCHAR(record.Data[at + i]);
        } else {
            std::memcpy(&out.Wide[i], record.Data + at + 2 * i, 2);
        }
    }
    return true;
}

LOGFONTA NarrowFont(const LOGFONTW& wide) {
    LOGFONTA font{};
    font.lfHeight = wide.lfHeight;
    font.lfWidth = wide.lfWidth;
    font.lfEscapement = wide.lfEscapement;
    font.lfOrientation = wide.lfOrientation;
    font.lfWeight = wide.lfWeight;
    font.lfItalic = wide.lfItalic;
    font.lfUnderline = wide.lfUnderline;
    font.lfStrikeOut = wide.lfStrikeOut;
    font.lfCharSet = wide.lfCharSet;
    font.lfOutPrecision = wide.lfOutPrecision;
    font.lfClipPrecision = wide.lfClipPrecision;
    font.lfQuality = wide.lfQuality;
    font.lfPitchAndFamily = wide.lfPitchAndFamily;
    std::size_t length = 0;
    while (length < LF_FACESIZE && wide.lfFaceName[length] != 0)
        ++length;
    std::string name = Utf16ToUtf8(wide.lfFaceName, length);
    // Cut to the record's room without splitting a character.
    std::size_t keep = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
    while (keep > 0 && keep < name.size() && (BYTE(name[keep]) & 0xC0) == 0x80)
        --keep;
    std::memcpy(font.lfFaceName, name.data(), keep);
    font.lfFaceName[keep] = '\0';
    return font;
}

bool ReadFont(const TEmfRecord& record, DWORD& index, LOGFONTA& font) {
    EMREXTCREATEFONTINDIRECTW fixed;
    if (!ReadFixed(record, fixed))
        return false;
    index = fixed.ihFont;
    font = NarrowFont(fixed.elfw);
    return true;
}

bool ReadGradient(const TEmfRecord& record, EMRGRADIENTFILL& fixed, std::vector<TRIVERTEX>& vertices,
                  std::vector<DWORD>& indices) {
    if (!ReadFixed(record, fixed) || fixed.nVer > kMaxPoints || fixed.nTri > kMaxPoints)
        return false;
    // Rectangles take two indices, triangles three.
    const std::uint64_t perShape = fixed.ulMode == 2 ? 3 : 2;
    if (fixed.ulMode > 2 || !InsideRecord(record, sizeof fixed, fixed.nVer, sizeof(TRIVERTEX)))
        return false;
    const std::uint64_t indicesAt = sizeof fixed + std::uint64_t(fixed.nVer) * sizeof(TRIVERTEX);
    if (!InsideRecord(record, indicesAt, std::uint64_t(fixed.nTri) * perShape, 4))
        return false;
    vertices.resize(fixed.nVer);
    if (!vertices.empty())
        std::memcpy(vertices.data(), record.Data + sizeof fixed, vertices.size() * sizeof(TRIVERTEX));
    indices.resize(std::size_t(fixed.nTri * perShape));
    if (!indices.empty())
        std::memcpy(indices.data(), record.Data + indicesAt, indices.size() * 4);
    for (DWORD index : indices) {
        if (index >= fixed.nVer)
            return false;
    }
    return true;
}

std::string Utf16ToUtf8(const WCHAR* text, std::size_t count, std::vector<std::size_t>* byteOfUnit) {
    std::string out;
    out.reserve(count);
    if (byteOfUnit != nullptr)
        byteOfUnit->assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (byteOfUnit != nullptr)
            (*byteOfUnit)[i] = out.size();
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
            if (byteOfUnit != nullptr)
                (*byteOfUnit)[i] = out.size();
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

}  // namespace gdi::detail
