// Brushes, pens and fonts. Their settings live in pooled records shared by value, so equal
// settings share one platform object; the object is made when first asked for and deleted with
// the last reference.
#include "graphics/Bitmap.h"
#include "graphics/CanvasModule.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <type_traits>

namespace graphics {

// Byte comparison and hashing see every byte of the data, so no byte may be padding.
static_assert(std::has_unique_object_representations_v<TBrushData>);
static_assert(std::has_unique_object_representations_v<TPenData>);
static_assert(std::has_unique_object_representations_v<TFontData>);

namespace {

// Font weights and LOGFONTA field values as the platform documents them.
constexpr gdi::LONG FW_NORMAL = 400;
constexpr gdi::LONG FW_BOLD = 700;
constexpr gdi::BYTE OUT_DEFAULT_PRECIS = 0;
constexpr gdi::BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr gdi::BYTE DEFAULT_QUALITY = 0;
constexpr gdi::BYTE DEFAULT_PITCH = 0;
constexpr gdi::BYTE FIXED_PITCH = 1;
constexpr gdi::BYTE VARIABLE_PITCH = 2;

// A multiplicative hash over eight bytes at a time (every canvas hashes three records when it is
// made), folded to the record's 16 bits; the byte comparison settles collisions.
std::uint16_t HashData(const void* data, std::size_t size) {
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t hash = size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * kOdd;
        hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    if (i < size)
        std::memcpy(&tail, bytes + i, size - i);
    hash = (hash ^ tail) * kOdd;
    hash ^= hash >> 32;
    return std::uint16_t(hash ^ (hash >> 16));
}

}  // namespace

// ---- pools ------------------------------------------------------------------------------------

TResourceManager::TResourceManager(std::size_t dataSize) : FDataSize(dataSize) {
    assert(dataSize <= sizeof(TResource::Data));
}

TResourceManager::~TResourceManager() {
    // Only objects that outlive the process's last moments leave records here.
    for (const auto& resource : FResources)
        if (resource->Handle != nullptr)
            gdi::DeleteObject(resource->Handle);
}

TResource* TResourceManager::AllocResource(const void* data) {
    const std::uint16_t hash = HashData(data, FDataSize);
    std::lock_guard lock(FLock);
    for (const auto& resource : FResources) {
        if (resource->HashCode == hash && std::memcmp(&resource->Data, data, FDataSize) == 0) {
            ++resource->RefCount;
            return resource.get();
        }
    }
    auto resource = std::make_unique<TResource>();
    std::memset(&resource->Data, 0, sizeof resource->Data);
    std::memcpy(&resource->Data, data, FDataSize);
    resource->HashCode = hash;
    resource->RefCount = 1;
    resource->Handle = nullptr;
    FResources.push_back(std::move(resource));
    return FResources.back().get();
}

void TResourceManager::FreeResource(TResource* resource) {
    if (resource == nullptr)
        return;
    std::lock_guard lock(FLock);
    assert(resource->RefCount > 0);
    if (--resource->RefCount > 0)
        return;
    if (resource->Handle != nullptr)
        gdi::DeleteObject(resource->Handle);
    auto it = std::find_if(FResources.begin(), FResources.end(),
                           [resource](const auto& entry) { return entry.get() == resource; });
    assert(it != FResources.end());
    if (it != FResources.end()) {
        std::swap(*it, FResources.back());
        FResources.pop_back();
    }
}

void TResourceManager::Reference(TResource* resource) {
    std::lock_guard lock(FLock);
    assert(resource->RefCount > 0);
    ++resource->RefCount;
}

gdi::HGDIOBJ TResourceManager::Handle(TResource* resource, const std::function<gdi::HGDIOBJ()>& make) {
    std::lock_guard lock(FLock);
    // Under the lock, so two threads asking for a new record's object make only one.
    if (resource->Handle == nullptr)
        resource->Handle = make();
    return resource->Handle;
}

gdi::HGDIOBJ TResourceManager::MadeHandle(const TResource* resource) const {
    std::lock_guard lock(FLock);
    return resource->Handle;
}

std::size_t TResourceManager::Count() const {
    std::lock_guard lock(FLock);
    return FResources.size();
}

TResourceManager& BrushResources() { return detail::CanvasModule().Brushes; }
TResourceManager& PenResources() { return detail::CanvasModule().Pens; }
TResourceManager& FontResources() { return detail::CanvasModule().Fonts; }

// ---- the common base ----------------------------------------------------------------------------

void TGraphicsObject::Changed() {
    if (OwnerCanvas != nullptr)
        OwnerCanvas->ObjectChanged(*this);
    if (OnChange)
        OnChange(this);
}

void TGraphicsObject::ReplaceResource(TResourceManager& pool, TResource* next) {
    TResource* previous = FResource;
    if (next == previous) {
        // Equal settings: the object keeps its record and nobody needs to hear of it.
        pool.FreeResource(next);
        return;
    }
    FResource = next;
    try {
        Changed();
    } catch (...) {
        pool.FreeResource(previous);
        throw;
    }
    pool.FreeResource(previous);
}

// ---- brushes --------------------------------------------------------------------------------

TBrush::TBrush() {
    TBrushData data;
    std::memset(&data, 0, sizeof data);
    data.Color = clWhite;
    data.Style = TBrushStyle::bsSolid;
    FResource = BrushResources().AllocResource(&data);
}

TBrush::~TBrush() { BrushResources().FreeResource(FResource); }

TBrushData TBrush::Data() const {
    // Copied byte for byte, so the reserved bytes stay zero as the record has them.
    TBrushData data;
    std::memcpy(&data, &FResource->Data.Brush, sizeof data);
    return data;
}

void TBrush::SetData(const TBrushData& data) { ReplaceResource(BrushResources(), BrushResources().AllocResource(&data)); }

void TBrush::Assign(TPersistent* source) {
    if (auto* brush = dynamic_cast<TBrush*>(source)) {
        BrushResources().Reference(brush->FResource);
        ReplaceResource(BrushResources(), brush->FResource);
        return;
    }
    TGraphicsObject::Assign(source);
}

TColor TBrush::Color() const { return FResource->Data.Brush.Color; }

void TBrush::SetColor(TColor value) {
    TBrushData data = Data();
    data.Color = value;
    // A colour is meant to be seen: a hollow brush given one becomes solid.
    if (data.Style == TBrushStyle::bsClear)
        data.Style = TBrushStyle::bsSolid;
    SetData(data);
}

TBrushStyle TBrush::Style() const { return FResource->Data.Brush.Style; }

void TBrush::SetStyle(TBrushStyle value) {
    TBrushData data = Data();
    data.Style = value;
    SetData(data);
}

TBitmap* TBrush::Bitmap() const { return FResource->Data.Brush.Bitmap; }

void TBrush::SetBitmap(TBitmap* value) {
    TBrushData data = Data();
    data.Bitmap = value;
    SetData(data);
}

gdi::HBRUSH TBrush::Handle() {
    const TBrushData& data = FResource->Data.Brush;
    if (gdi::HGDIOBJ made = BrushResources().MadeHandle(FResource))
        return static_cast<gdi::HBRUSH>(made);
    // The bitmap is asked for its handle before the pool is locked: making it may take the
    // bitmap's own locks, which must never wait inside the pool's.
    gdi::HBITMAP pattern = data.Bitmap != nullptr ? data.Bitmap->Handle() : nullptr;
    gdi::HGDIOBJ handle = BrushResources().Handle(FResource, [&]() -> gdi::HGDIOBJ {
        gdi::LOGBRUSH log;
        std::memset(&log, 0, sizeof log);
        log.lbColor = ColorToRGB(data.Color);
        if (pattern != nullptr) {
            log.lbStyle = gdi::BS_PATTERN;
            log.lbHatch = reinterpret_cast<std::uintptr_t>(pattern);
        } else if (data.Style == TBrushStyle::bsSolid) {
            log.lbStyle = gdi::BS_SOLID;
        } else if (data.Style == TBrushStyle::bsClear) {
            log.lbStyle = gdi::BS_HOLLOW;
        } else {
            // The six hatch styles follow bsSolid and bsClear in the platform's hatch order.
            log.lbStyle = gdi::BS_HATCHED;
            log.lbHatch = std::uintptr_t(data.Style) - 2;
        }
        return GDICheck(gdi::CreateBrushIndirect(&log));
    });
    return static_cast<gdi::HBRUSH>(handle);
}

// ---- pens -------------------------------------------------------------------------------------

int PenModeRop2(TPenMode mode) {
    static constexpr int kRop2[] = {
        gdi::R2_BLACK,       gdi::R2_WHITE,       gdi::R2_NOP,        gdi::R2_NOT,
        gdi::R2_COPYPEN,     gdi::R2_NOTCOPYPEN,  gdi::R2_MERGEPENNOT, gdi::R2_MASKPENNOT,
        gdi::R2_MERGENOTPEN, gdi::R2_MASKNOTPEN,  gdi::R2_MERGEPEN,   gdi::R2_NOTMERGEPEN,
        gdi::R2_MASKPEN,     gdi::R2_NOTMASKPEN,  gdi::R2_XORPEN,     gdi::R2_NOTXORPEN,
    };
    const auto index = std::size_t(mode);
    return index < std::size(kRop2) ? kRop2[index] : gdi::R2_COPYPEN;
}

TPen::TPen() {
    TPenData data;
    std::memset(&data, 0, sizeof data);
    data.Color = clBlack;
    data.Width = 1;
    data.Style = TPenStyle::psSolid;
    FResource = PenResources().AllocResource(&data);
}

TPen::~TPen() { PenResources().FreeResource(FResource); }

TPenData TPen::Data() const {
    TPenData data;
    std::memcpy(&data, &FResource->Data.Pen, sizeof data);
    return data;
}

void TPen::SetData(const TPenData& data) { ReplaceResource(PenResources(), PenResources().AllocResource(&data)); }

void TPen::Assign(TPersistent* source) {
    if (auto* pen = dynamic_cast<TPen*>(source)) {
        if (pen == this)
            return;
        PenResources().Reference(pen->FResource);
        // The mode is the pen's own, not the record's; it goes over first so the one change
        // notice covers both.
        const bool modeChanged = FMode != pen->FMode;
        FMode = pen->FMode;
        if (pen->FResource == FResource) {
            PenResources().FreeResource(pen->FResource);
            if (modeChanged)
                Changed();
            return;
        }
        ReplaceResource(PenResources(), pen->FResource);
        return;
    }
    TGraphicsObject::Assign(source);
}

TColor TPen::Color() const { return FResource->Data.Pen.Color; }

void TPen::SetColor(TColor value) {
    TPenData data = Data();
    data.Color = value;
    SetData(data);
}

int TPen::Width() const { return FResource->Data.Pen.Width; }

void TPen::SetWidth(int value) {
    TPenData data = Data();
    data.Width = value;
    SetData(data);
}

TPenStyle TPen::Style() const { return FResource->Data.Pen.Style; }

void TPen::SetStyle(TPenStyle value) {
    TPenData data = Data();
    data.Style = value;
    SetData(data);
}

void TPen::SetMode(TPenMode value) {
    if (value == FMode)
        return;
    FMode = value;
    Changed();
}

gdi::HPEN TPen::Handle() {
    const TPenData& data = FResource->Data.Pen;
    gdi::HGDIOBJ handle = PenResources().Handle(FResource, [&]() -> gdi::HGDIOBJ {
        gdi::LOGPEN log;
        std::memset(&log, 0, sizeof log);
        log.lopnStyle = gdi::UINT(data.Style);
        log.lopnWidth.x = data.Width;
        log.lopnColor = ColorToRGB(data.Color);
        return GDICheck(gdi::CreatePenIndirect(&log));
    });
    return static_cast<gdi::HPEN>(handle);
}

// ---- fonts ------------------------------------------------------------------------------------

TFont::TFont() : PixelsPerInch(ScreenPixelsPerInch()) {
    FResource = FontResources().AllocResource(&detail::CanvasModule().DefaultFont);
}

TFont::~TFont() { FontResources().FreeResource(FResource); }

TFontData TFont::Data() const {
    TFontData data;
    std::memcpy(&data, &FResource->Data.Font, sizeof data);
    return data;
}

void TFont::SetData(const TFontData& data) { ReplaceResource(FontResources(), FontResources().AllocResource(&data)); }

void TFont::Assign(TPersistent* source) {
    if (auto* font = dynamic_cast<TFont*>(source)) {
        if (font == this)
            return;
        // The colour is the font's own; it goes over first so the one change notice covers both.
        const bool colorChanged = FColor != font->FColor;
        FColor = font->FColor;
        FontResources().Reference(font->FResource);
        if (font->FResource == FResource) {
            FontResources().FreeResource(font->FResource);
            if (colorChanged)
                Changed();
        } else {
            ReplaceResource(FontResources(), font->FResource);
        }
        // A font measured for another resolution keeps its size in points, not in pixels.
        if (font->PixelsPerInch != PixelsPerInch)
            SetSize(font->Size());
        return;
    }
    TGraphicsObject::Assign(source);
}

void TFont::SetColor(TColor value) {
    if (value == FColor)
        return;
    FColor = value;
    Changed();
}

int TFont::Height() const { return FResource->Data.Font.Height; }

void TFont::SetHeight(int value) {
    TFontData data = Data();
    data.Height = value;
    SetData(data);
}

int TFont::Size() const {
    // Negative heights measure the characters without their internal leading, which is what a
    // point size means; the platform's rounding is kept.
    return -gdi::MulDiv(Height(), 72, PixelsPerInch);
}

void TFont::SetSize(int value) { SetHeight(-gdi::MulDiv(value, PixelsPerInch, 72)); }

std::string TFont::Name() const {
    const char* name = FResource->Data.Font.Name;
    return std::string(name, ::strnlen(name, sizeof FResource->Data.Font.Name));
}

void TFont::SetName(const std::string& value) {
    TFontData data = Data();
    // The platform keeps face names of at most 31 characters; the rest is cut, and the bytes
    // after the name are cleared so equal names compare equal.
    std::memset(data.Name, 0, sizeof data.Name);
    std::memcpy(data.Name, value.data(), std::min(value.size(), sizeof data.Name - 1));
    SetData(data);
}

std::uint8_t TFont::Style() const { return FResource->Data.Font.Style; }

void TFont::SetStyle(std::uint8_t value) {
    TFontData data = Data();
    data.Style = value & (fsBold | fsItalic | fsUnderline | fsStrikeOut);
    SetData(data);
}

std::uint8_t TFont::Charset() const { return FResource->Data.Font.Charset; }

void TFont::SetCharset(std::uint8_t value) {
    TFontData data = Data();
    data.Charset = value;
    SetData(data);
}

TFontPitch TFont::Pitch() const { return TFontPitch(FResource->Data.Font.Pitch); }

void TFont::SetPitch(TFontPitch value) {
    TFontData data = Data();
    data.Pitch = std::uint8_t(value);
    SetData(data);
}

gdi::HFONT TFont::Handle() {
    const TFontData& data = FResource->Data.Font;
    gdi::HGDIOBJ handle = FontResources().Handle(FResource, [&]() -> gdi::HGDIOBJ {
        gdi::LOGFONTA log;
        std::memset(&log, 0, sizeof log);
        log.lfHeight = data.Height;
        log.lfEscapement = data.Orientation;
        log.lfOrientation = data.Orientation;
        log.lfWeight = (data.Style & fsBold) ? FW_BOLD : FW_NORMAL;
        log.lfItalic = (data.Style & fsItalic) ? 1 : 0;
        log.lfUnderline = (data.Style & fsUnderline) ? 1 : 0;
        log.lfStrikeOut = (data.Style & fsStrikeOut) ? 1 : 0;
        log.lfCharSet = data.Charset;
        log.lfOutPrecision = OUT_DEFAULT_PRECIS;
        log.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        log.lfQuality = DEFAULT_QUALITY;
        switch (TFontPitch(data.Pitch)) {
        case TFontPitch::fpFixed: log.lfPitchAndFamily = FIXED_PITCH; break;
        case TFontPitch::fpVariable: log.lfPitchAndFamily = VARIABLE_PITCH; break;
        default: log.lfPitchAndFamily = DEFAULT_PITCH; break;
        }
        std::memcpy(log.lfFaceName, data.Name, std::min(sizeof log.lfFaceName, sizeof data.Name));
        log.lfFaceName[gdi::LF_FACESIZE - 1] = '\0';
        return GDICheck(gdi::CreateFontIndirectA(&log));
    });
    return static_cast<gdi::HFONT>(handle);
}

}  // namespace graphics
