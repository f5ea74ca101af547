// The registries that map file extensions and clipboard formats to graphic classes, and the
// file-name rule that finds an extension.
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"
#include "graphics/Icon.h"
#include "graphics/Metafile.h"

#include "platform/base/Messages.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace graphics {
namespace {

struct TBuiltInFormat {
    const char* Extension;
    int DescResID;
    const TGraphicClass& (*GraphicClass)();
};

// The formats every format list starts with. Their order matters: a later registration of the
// same extension wins, so these sit behind everything the codecs add.
const TBuiltInFormat kBuiltInFormats[] = {
    {"wmf", res::SVMetafiles, &TMetafile::StaticClass},
    {"emf", res::SVEnhMetafiles, &TMetafile::StaticClass},
    {"ico", res::SVIcons, &TIcon::StaticClass},
    {"bmp", res::SVBitmaps, &TBitmap::StaticClass},
};

struct TBuiltInClipboardFormat {
    std::uint16_t Format;
    const TGraphicClass& (*GraphicClass)();
};

// The platform's standard clipboard formats that the framework's own classes render.
const TBuiltInClipboardFormat kBuiltInClipboardFormats[] = {
    {3, &TMetafile::StaticClass},
    {14, &TMetafile::StaticClass},
    {2, &TBitmap::StaticClass},
};

// Extensions fold only ASCII letters; bytes of other scripts are compared as they stand, so a
// UTF-8 sequence is never split or rewritten.
std::string LowerCaseAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

// The registries are made on first use, which may come from several threads at once (pictures
// made by the thumbnail builder's workers): the making is serialised, and once made they are
// only read until the framework is shut down.
std::unique_ptr<TFileFormatsList> gFileFormats;
std::unique_ptr<TClipboardFormats> gClipboardFormats;
std::mutex gFileFormatsMutex;
std::mutex gClipboardFormatsMutex;

}  // namespace

TFileFormatsList::TFileFormatsList() {
    // The list is made on first use, which may come before the framework's start-up; the
    // descriptions it keeps must not be read from a table that lacks them.
    base::RegisterMessages(res::kGraphicsMessages);
    for (const TBuiltInFormat& format : kBuiltInFormats)
        Add(format.Extension, base::LoadStr(format.DescResID), 0, format.GraphicClass());
}

void TFileFormatsList::Add(const std::string& ext, const std::string& desc, int descID,
                           const TGraphicClass& graphicClass) {
    FFormats.push_back(TFileFormat{&graphicClass, LowerCaseAscii(ext), desc, descID});
}

const TGraphicClass* TFileFormatsList::FindExt(const std::string& ext) const {
    std::string wanted = LowerCaseAscii(ext);
    for (auto it = FFormats.rbegin(); it != FFormats.rend(); ++it) {
        if (it->Extension == wanted)
            return it->GraphicClass;
    }
    return nullptr;
}

const TGraphicClass* TFileFormatsList::FindClassName(const std::string& className) const {
    for (auto it = FFormats.rbegin(); it != FFormats.rend(); ++it) {
        if (className == it->GraphicClass->Name)
            return it->GraphicClass;
    }
    return nullptr;
}

void TFileFormatsList::Remove(const TGraphicClass& graphicClass) {
    std::erase_if(FFormats,
                  [&](const TFileFormat& format) { return format.GraphicClass->InheritsFrom(graphicClass); });
}

TClipboardFormats::TClipboardFormats() {
    for (const TBuiltInClipboardFormat& format : kBuiltInClipboardFormats)
        Add(format.Format, format.GraphicClass());
}

void TClipboardFormats::Add(std::uint16_t format, const TGraphicClass& graphicClass) {
    FClasses.push_back(&graphicClass);
    // The two lists pair by position, so a failed second append must not leave the first behind.
    try {
        FFormats.push_back(format);
    } catch (...) {
        FClasses.pop_back();
        throw;
    }
}

void TClipboardFormats::Remove(const TGraphicClass& graphicClass) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < FClasses.size(); ++i) {
        if (FClasses[i]->InheritsFrom(graphicClass))
            continue;
        FClasses[kept] = FClasses[i];
        FFormats[kept] = FFormats[i];
        ++kept;
    }
    FClasses.resize(kept);
    FFormats.resize(kept);
}

TFileFormatsList& GetFileFormats() {
    std::lock_guard lock(gFileFormatsMutex);
    if (!gFileFormats)
        gFileFormats = std::make_unique<TFileFormatsList>();
    return *gFileFormats;
}

TClipboardFormats& GetClipboardFormats() {
    std::lock_guard lock(gClipboardFormatsMutex);
    if (!gClipboardFormats)
        gClipboardFormats = std::make_unique<TClipboardFormats>();
    return *gClipboardFormats;
}

void ReleaseFormatRegistries() {
    std::lock_guard fileLock(gFileFormatsMutex);
    std::lock_guard clipboardLock(gClipboardFormatsMutex);
    gFileFormats.reset();
    gClipboardFormats.reset();
}

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  const TGraphicClass& graphicClass) {
    GetFileFormats().Add(extension, description, 0, graphicClass);
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
    // A registry that was never made holds nothing to withdraw; making it now would only build
    // the built-in list during shutdown.
    {
        std::lock_guard lock(gFileFormatsMutex);
        if (gFileFormats)
            gFileFormats->Remove(graphicClass);
    }
    std::lock_guard lock(gClipboardFormatsMutex);
    if (gClipboardFormats)
        gClipboardFormats->Remove(graphicClass);
}

std::string ExtractFileExt(const std::string& fileName) {
    // UTF-8 never uses the bytes of "/", ":" or "." inside a multi-byte character, so a plain
    // byte search cannot split a character.
    std::size_t pos = fileName.find_last_of("./:");
    if (pos == std::string::npos || fileName[pos] != '.')
        return std::string();
    return fileName.substr(pos + 1);
}

}  // namespace graphics
