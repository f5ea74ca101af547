// The abstract graphic every picture format implements, the class references that let the
// format registry make graphics by extension, the registries, and the picture container.
#pragma once

#include "graphics/GraphicsBase.h"
#include "platform/base/Persistent.h"
#include "platform/base/Stream.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace graphics {

class TCanvas;
class TGraphic;

/// A class reference: the name, the parent class, and the virtual constructor.
struct TGraphicClass {
    const char* Name;
    const TGraphicClass* Parent;
    std::unique_ptr<TGraphic> (*Create)();

    /// True when this class is other or derives from it.
    bool InheritsFrom(const TGraphicClass& other) const;
    /// A new, empty graphic of this class. Raises EAbstractError for an abstract class, whose
    /// reference has no constructor.
    std::unique_ptr<TGraphic> NewInstance() const;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

using TProgressEvent = std::function<void(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                                          bool redrawNow, const TRect& r, const std::string& msg)>;

/// A clipboard data handle.
using THandle = std::uintptr_t;

class TGraphic : public TInterfacedPersistent {
public:
    TGraphic() = default;
    ~TGraphic() override = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    static const TGraphicClass& StaticClass();
    /// The class reference of this object's own class.
    virtual const TGraphicClass& ClassType() const = 0;
    const char* ClassName() const override { return ClassType().Name; }
    /// A new, empty graphic of this object's own class.
    std::unique_ptr<TGraphic> NewInstance() const { return ClassType().NewInstance(); }

    // The persistent base's operations.
    void DefineProperties(TFiler& filer) override;

    // The graphic's own virtual operations, in the order of their slots.
    virtual void Changed(TPersistent* sender);
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
    virtual bool Equals(TGraphic* other);
    virtual bool GetEmpty() = 0;
    virtual int GetHeight() = 0;
    virtual HPALETTE GetPalette();
    virtual bool GetTransparent();
    virtual int GetWidth() = 0;
    virtual void ReadData(TStream& stream);
    virtual void SetHeight(int value) = 0;
    virtual void SetPalette(HPALETTE value);
    virtual void SetTransparent(bool value);
    virtual void SetWidth(int value) = 0;
    virtual void WriteData(TStream& stream);
    virtual void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromClipboardFormat(std::uint16_t format, THandle data, HPALETTE palette) = 0;
    virtual void SaveToClipboardFormat(std::uint16_t& format, THandle& data, HPALETTE& palette) = 0;
    /// Dispatched outside the table of virtual operations on the platform; calls OnProgress.
    void Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                  const TRect& r, const std::string& msg);

    bool Empty() { return GetEmpty(); }
    int Width() { return GetWidth(); }
    int Height() { return GetHeight(); }

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;
    bool Modified = false;

protected:
    bool FTransparent = false;
    bool FPaletteModified = false;
};

/// The format registry: extension (lower-cased, without the dot) → graphic class.
class TFileFormatsList {
public:
    struct TFileFormat {
        const TGraphicClass* GraphicClass;
        std::string Extension;
        std::string Description;
        int DescResID;
    };

    /// Adds the built-in formats, in their fixed order.
    TFileFormatsList();
    void Add(const std::string& ext, const std::string& desc, int descID, const TGraphicClass& graphicClass);
    /// Case-insensitive; the last registration of an extension wins.
    const TGraphicClass* FindExt(const std::string& ext) const;
    /// Exact class name; searched from the last record.
    const TGraphicClass* FindClassName(const std::string& className) const;
    /// Removes every record whose class is the class or derives from it.
    void Remove(const TGraphicClass& graphicClass);
    const std::vector<TFileFormat>& Formats() const { return FFormats; }

private:
    std::vector<TFileFormat> FFormats;
};

class TClipboardFormats {
public:
    TClipboardFormats();
    void Add(std::uint16_t format, const TGraphicClass& graphicClass);
    void Remove(const TGraphicClass& graphicClass);
    const std::vector<const TGraphicClass*>& Classes() const { return FClasses; }
    const std::vector<std::uint16_t>& Formats() const { return FFormats; }

private:
    std::vector<const TGraphicClass*> FClasses;
    std::vector<std::uint16_t> FFormats;
};

/// The process-wide registries, made on first use.
TFileFormatsList& GetFileFormats();
TClipboardFormats& GetClipboardFormats();
/// Destroys both registries (graphics module shutdown); they are made anew on the next use.
void ReleaseFormatRegistries();

/// Interface an owner can give a picture to hear of its changes.
class IChangeNotifier {
public:
    virtual ~IChangeNotifier() = default;
    virtual void Changed() = 0;
};

class TPicture : public TInterfacedPersistent {
public:
    TPicture();
    ~TPicture() override;
    const char* ClassName() const override { return "TPicture"; }

    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   const TGraphicClass& graphicClass);
    static void UnregisterGraphicClass(const TGraphicClass& graphicClass);

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    /// Both act on the picture's bitmap: they read and write the bitmap file format.
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);

    int Width() const;
    int Height() const;
    TGraphic* Graphic() const { return FGraphic.get(); }
    /// Stores a copy of the graphic (nullptr empties the picture).
    void SetGraphic(TGraphic* value);
    /// The picture's graphic as a bitmap, replacing any other kind of graphic by an empty bitmap.
    class TBitmap& Bitmap();
    void ForceType(const TGraphicClass& graphicClass);

    void Assign(TPersistent* source) override;
    void AssignTo(TPersistent& dest) override;
    void DefineProperties(TFiler& filer) override;

    void Changed(TPersistent* sender);
    void Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                  const TRect& r, const std::string& msg);

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;
    IChangeNotifier* Notify = nullptr;

private:
    void ReadData(TStream& stream);
    void WriteData(TStream& stream);
    void AttachHandlers(TGraphic& graphic);
    std::unique_ptr<TGraphic> FGraphic;
};

/// The extension of a file name: the text after the last "." that follows the last "/" and ":",
/// without the dot, in its own letter case; empty when there is none.
std::string ExtractFileExt(const std::string& fileName);

}  // namespace graphics

/// Declares a graphic class's class reference; define it with VISTEL_GRAPHIC_CLASS.
#define VISTEL_DECLARE_GRAPHIC_CLASS()                                   \
    static const ::graphics::TGraphicClass& StaticClass();               \
    const ::graphics::TGraphicClass& ClassType() const override { return StaticClass(); }

#define VISTEL_GRAPHIC_CLASS(type, parent)                                                         \
    const ::graphics::TGraphicClass& type::StaticClass() {                                         \
        static const ::graphics::TGraphicClass cls{#type, &parent::StaticClass(),                  \
                                                   []() -> std::unique_ptr<::graphics::TGraphic> { \
                                                       return std::make_unique<type>();            \
                                                   }};                                             \
        return cls;                                                                                \
    }
