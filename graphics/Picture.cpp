// The picture: a container of at most one graphic, loaded by the file's extension through the
// format registry, with its stored form in component streams.
#include "graphics/Bitmap.h"
#include "graphics/Graphic.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <utility>

namespace graphics {
namespace {

// The stored class name is a short string: one length byte and at most this many characters.
constexpr std::size_t kMaxStoredClassName = 63;

}  // namespace

TPicture::TPicture() {
    GetFileFormats();
    GetClipboardFormats();
}

TPicture::~TPicture() = default;

void TPicture::AttachHandlers(TGraphic& graphic) {
    graphic.OnChange = [this](TPersistent* sender) { Changed(sender); };
    graphic.OnProgress = [this](TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                                bool redrawNow, const TRect& r, const std::string& msg) {
        Progress(sender, stage, percentDone, redrawNow, r, msg);
    };
}

void TPicture::LoadFromFile(const std::string& fileName) {
    std::string ext = ExtractFileExt(fileName);
    const TGraphicClass* graphicClass = GetFileFormats().FindExt(ext);
    if (graphicClass == nullptr)
        throw EInvalidGraphic(base::FmtLoadStr(res::SUnknownExtension, {ext}));

    // The new graphic loads on the side, so a file that cannot be read leaves the current
    // graphic in place; only progress is heard while loading, changes once it is current.
    std::unique_ptr<TGraphic> graphic = graphicClass->NewInstance();
    graphic->OnProgress = [this](TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                                 bool redrawNow, const TRect& r, const std::string& msg) {
        Progress(sender, stage, percentDone, redrawNow, r, msg);
    };
    graphic->LoadFromFile(fileName);

    FGraphic = std::move(graphic);
    FGraphic->OnChange = [this](TPersistent* sender) { Changed(sender); };
    Changed(this);
}

void TPicture::SaveToFile(const std::string& fileName) {
    if (FGraphic)
        FGraphic->SaveToFile(fileName);
}

void TPicture::LoadFromStream(TStream& stream) { Bitmap().LoadFromStream(stream); }

void TPicture::SaveToStream(TStream& stream) { Bitmap().SaveToStream(stream); }

int TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }

int TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

void TPicture::SetGraphic(TGraphic* value) {
    // The copy is made before the old graphic goes, so a picture can be given its own graphic.
    std::unique_ptr<TGraphic> copy;
    if (value != nullptr) {
        copy = value->NewInstance();
        copy->Assign(value);
        AttachHandlers(*copy);
    }
    std::unique_ptr<TGraphic> old = std::exchange(FGraphic, std::move(copy));
    try {
        old.reset();
        Changed(this);
    } catch (...) {
        FGraphic.reset();
        throw;
    }
}

TBitmap& TPicture::Bitmap() {
    ForceType(TBitmap::StaticClass());
    // A class reference that names TBitmap but makes something else is a broken class, not a
    // picture to draw: fail as the runtime's invalid cast instead of using it as a bitmap.
    auto* bitmap = dynamic_cast<TBitmap*>(FGraphic.get());
    if (bitmap == nullptr)
        throw EInvalidCast(base::LoadStr(res::SInvalidCast));
    return *bitmap;
}

void TPicture::ForceType(const TGraphicClass& graphicClass) {
    if (FGraphic && FGraphic->ClassType().InheritsFrom(graphicClass))
        return;
    // Made before the old graphic is dropped, so an abstract class leaves the picture as it was.
    std::unique_ptr<TGraphic> graphic = graphicClass.NewInstance();
    FGraphic = std::move(graphic);
    AttachHandlers(*FGraphic);
    Changed(this);
}

void TPicture::Assign(TPersistent* source) {
    if (source == nullptr) {
        SetGraphic(nullptr);
    } else if (auto* picture = dynamic_cast<TPicture*>(source)) {
        SetGraphic(picture->Graphic());
    } else if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
        SetGraphic(graphic);
    } else {
        TInterfacedPersistent::Assign(source);
    }
}

void TPicture::AssignTo(TPersistent& dest) {
    // Only a graphic destination has a class the held graphic can be an instance of.
    auto* destGraphic = dynamic_cast<TGraphic*>(&dest);
    if (FGraphic && destGraphic != nullptr && FGraphic->ClassType().InheritsFrom(destGraphic->ClassType()))
        dest.Assign(FGraphic.get());
    else
        TInterfacedPersistent::AssignTo(dest);
}

void TPicture::DefineProperties(TFiler& filer) {
    bool hasData = FGraphic != nullptr;
    if (hasData && filer.Ancestor() != nullptr) {
        // Against an ancestor picture only a different graphic is stored.
        if (auto* ancestor = dynamic_cast<TPicture*>(filer.Ancestor()))
            hasData = !FGraphic->Equals(ancestor->Graphic());
    }
    filer.DefineBinaryProperty(
        "Data", [this](TStream& stream) { ReadData(stream); }, [this](TStream& stream) { WriteData(stream); },
        hasData);
}

void TPicture::ReadData(TStream& stream) {
    std::uint8_t length = 0;
    stream.ReadBuffer(&length, 1);
    // The name is read at its stored length even beyond the usual 63 characters, so that the
    // graphic's data after it is found where it starts; such a name names no class anyway.
    std::string className(length, '\0');
    stream.ReadBuffer(className.data(), length);

    std::unique_ptr<TGraphic> graphic;
    if (const TGraphicClass* graphicClass = GetFileFormats().FindClassName(className)) {
        graphic = graphicClass->NewInstance();
        graphic->ReadData(stream);
        AttachHandlers(*graphic);
    }
    FGraphic = std::move(graphic);
    Changed(this);
}

void TPicture::WriteData(TStream& stream) {
    std::string className = FGraphic ? FGraphic->ClassName() : "";
    if (className.size() > kMaxStoredClassName)
        className.resize(kMaxStoredClassName);
    std::uint8_t length = std::uint8_t(className.size());
    stream.WriteBuffer(&length, 1);
    stream.WriteBuffer(className.data(), length);
    if (FGraphic)
        FGraphic->WriteData(stream);
}

void TPicture::Changed(TPersistent*) {
    if (OnChange)
        OnChange(this);
    if (Notify != nullptr)
        Notify->Changed();
}

void TPicture::Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                        const TRect& r, const std::string& msg) {
    if (OnProgress)
        OnProgress(sender, stage, percentDone, redrawNow, r, msg);
}

}  // namespace graphics
