#include "tests/graphics/PictureTestSupport.h"

#include "platform/base/Exception.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace picturetest {

void TByteGraphic::Assign(TPersistent* source) {
    if (auto* graphic = dynamic_cast<TByteGraphic*>(source)) {
        FWidth = graphic->FWidth;
        FHeight = graphic->FHeight;
        FBytes = graphic->FBytes;
        Changed(this);
        return;
    }
    TGraphic::Assign(source);
}

void TByteGraphic::Draw(graphics::TCanvas&, const graphics::TRect&) {}

void TByteGraphic::SetHeight(int value) {
    FHeight = value;
    Changed(this);
}

void TByteGraphic::SetWidth(int value) {
    FWidth = value;
    Changed(this);
}

void TByteGraphic::LoadFromStream(TStream& stream) {
    Progress(this, graphics::TProgressStage::psStarting, 0, false, graphics::Rect(0, 0, 0, 0), "load");
    std::uint8_t header[5] = {};
    if (stream.Read(header, 5) != 5 || header[0] != 'T' || header[1] != 'G')
        throw EInvalidGraphic("not a byte graphic");
    std::vector<std::uint8_t> bytes(header[4]);
    stream.ReadBuffer(bytes.data(), std::int64_t(bytes.size()));
    Fill(header[2], header[3], std::move(bytes));
    Progress(this, graphics::TProgressStage::psEnding, 100, true, graphics::Rect(0, 0, FWidth, FHeight), "load");
    Changed(this);
}

void TByteGraphic::SaveToStream(TStream& stream) {
    std::vector<std::uint8_t> data = ByteGraphicData(FWidth, FHeight, FBytes);
    stream.WriteBuffer(data.data(), std::int64_t(data.size()));
}

void TByteGraphic::LoadFromClipboardFormat(std::uint16_t, graphics::THandle, graphics::HPALETTE) {
    throw EInvalidGraphic("no clipboard");
}

void TByteGraphic::SaveToClipboardFormat(std::uint16_t&, graphics::THandle&, graphics::HPALETTE&) {
    throw EInvalidGraphic("no clipboard");
}

void TByteGraphic::Fill(int width, int height, std::vector<std::uint8_t> bytes) {
    FWidth = width;
    FHeight = height;
    FBytes = std::move(bytes);
}

VISTEL_GRAPHIC_CLASS(TTestGraphic, TGraphic)
VISTEL_GRAPHIC_CLASS(TTestSubGraphic, TTestGraphic)
VISTEL_GRAPHIC_CLASS(TOtherGraphic, TGraphic)

const TGraphicClass& AbstractTestClass() {
    static const TGraphicClass cls{"TAbstractTestGraphic", &TGraphic::StaticClass(), nullptr};
    return cls;
}

std::vector<std::uint8_t> ByteGraphicData(int width, int height, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> data = {'T', 'G', std::uint8_t(width), std::uint8_t(height), std::uint8_t(bytes.size())};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return data;
}

TScratchFolder::TScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistel-picture-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch folder");
    FRoot = pattern;
}

TScratchFolder::~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FRoot, ignored);
}

std::string TScratchFolder::Write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
    std::filesystem::path path = FRoot / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path.string();
}

int OpenFileCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

}  // namespace picturetest
