#include "graphics/Graphic.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <cstring>

namespace graphics {

bool TGraphicClass::InheritsFrom(const TGraphicClass& other) const {
    // Every class has exactly one reference object, so identity of the references is identity of
    // the classes; two classes that merely share a name stay apart.
    for (const TGraphicClass* cls = this; cls != nullptr; cls = cls->Parent) {
        if (cls == &other)
            return true;
    }
    return false;
}

std::unique_ptr<TGraphic> TGraphicClass::NewInstance() const {
    // An abstract class has no constructor; asking it for an instance is the runtime's
    // abstract-call failure, not a jump through a null pointer.
    if (Create == nullptr)
        throw EAbstractError(base::LoadStr(res::SAbstractError));
    return Create();
}

const TGraphicClass& TGraphic::StaticClass() {
    static const TGraphicClass cls{"TGraphic", nullptr, nullptr};
    return cls;
}

void TGraphic::DefineProperties(TFiler& filer) {
    bool hasData;
    if (TPersistent* ancestor = filer.Ancestor()) {
        // Against an ancestor only a difference is worth storing.
        auto* ancestorGraphic = dynamic_cast<TGraphic*>(ancestor);
        hasData = ancestorGraphic == nullptr || !Equals(ancestorGraphic);
    } else {
        hasData = !Empty();
    }
    filer.DefineBinaryProperty(
        "Data", [this](TStream& stream) { ReadData(stream); }, [this](TStream& stream) { WriteData(stream); },
        hasData);
}

void TGraphic::Changed(TPersistent*) {
    Modified = true;
    // The handler always hears of the graphic itself, whoever started the change.
    if (OnChange)
        OnChange(this);
}

bool TGraphic::Equals(TGraphic* other) {
    if (other == nullptr)
        return false;
    bool thisEmpty = Empty();
    bool otherEmpty = other->Empty();
    // Two empty graphics are equal whatever their classes: neither has an image to differ in.
    if (thisEmpty || otherEmpty)
        return thisEmpty && otherEmpty;
    if (&ClassType() != &other->ClassType())
        return false;
    TMemoryStream mine;
    TMemoryStream theirs;
    WriteData(mine);
    other->WriteData(theirs);
    return mine.Size() == theirs.Size() &&
           (mine.Size() == 0 || std::memcmp(mine.Memory(), theirs.Memory(), std::size_t(mine.Size())) == 0);
}

HPALETTE TGraphic::GetPalette() { return nullptr; }

bool TGraphic::GetTransparent() { return FTransparent; }

void TGraphic::ReadData(TStream& stream) { LoadFromStream(stream); }

void TGraphic::SetPalette(HPALETTE) {}

void TGraphic::SetTransparent(bool value) {
    if (value == FTransparent)
        return;
    FTransparent = value;
    Changed(this);
}

void TGraphic::WriteData(TStream& stream) { SaveToStream(stream); }

void TGraphic::LoadFromFile(const std::string& fileName) {
    // The stream closes itself when this frame ends, whether the reader returns or throws.
    TFileStream stream(fileName, TFileMode::OpenReadShared);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    TFileStream stream(fileName, TFileMode::Create);
    SaveToStream(stream);
}

void TGraphic::Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                        const TRect& r, const std::string& msg) {
    if (OnProgress)
        OnProgress(sender, stage, percentDone, redrawNow, r, msg);
}

}  // namespace graphics
