// Graphic classes of the tests' own, so the registry and the picture can be tested without any
// real format, and a scratch folder for files.
#pragma once

#include "graphics/Canvas.h"
#include "graphics/Graphic.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace picturetest {

using graphics::TGraphic;
using graphics::TGraphicClass;

/// A tiny graphic whose whole state is its size and a few bytes. Its stream form is "TG", the
/// width, the height, a byte count and the bytes; anything else is EInvalidGraphic. Loading
/// reports progress at its start and end.
class TByteGraphic : public TGraphic {
public:
    TByteGraphic() { ++LiveCount; }
    ~TByteGraphic() override { --LiveCount; }

    void Assign(TPersistent* source) override;
    void Draw(graphics::TCanvas& canvas, const graphics::TRect& rect) override;
    bool GetEmpty() override { return FWidth == 0 || FHeight == 0; }
    int GetHeight() override { return FHeight; }
    int GetWidth() override { return FWidth; }
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(std::uint16_t format, graphics::THandle data, graphics::HPALETTE palette) override;
    void SaveToClipboardFormat(std::uint16_t& format, graphics::THandle& data, graphics::HPALETTE& palette) override;

    /// Gives the graphic a size and bytes without telling anybody.
    void Fill(int width, int height, std::vector<std::uint8_t> bytes);
    const std::vector<std::uint8_t>& Bytes() const { return FBytes; }

    /// Graphics of this family alive now; a failed load must not leave one behind.
    static inline int LiveCount = 0;

private:
    int FWidth = 0;
    int FHeight = 0;
    std::vector<std::uint8_t> FBytes;
};

class TTestGraphic : public TByteGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
};

class TTestSubGraphic : public TTestGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
};

/// Same stream form as TTestGraphic, but a class of its own beside it.
class TOtherGraphic : public TByteGraphic {
public:
    VISTEL_DECLARE_GRAPHIC_CLASS()
};

/// The reference of an abstract class: it derives from TGraphic but cannot be made.
const TGraphicClass& AbstractTestClass();

/// The stream form of a byte graphic.
std::vector<std::uint8_t> ByteGraphicData(int width, int height, std::vector<std::uint8_t> bytes);

/// A folder of its own under the system's temporary folder, removed with its contents.
class TScratchFolder {
public:
    TScratchFolder();
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    std::string Path(const std::string& relative) const { return (FRoot / relative).string(); }
    /// Writes a file (making its folders) and returns its full name.
    std::string Write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path FRoot;
};

/// The number of file descriptors this process holds open.
int OpenFileCount();

}  // namespace picturetest
