// The main window's stored layout: the objects of the window in creation order, with their
// designed positions (client coordinates at 96 pixels per inch) and stored properties, kept as a
// small text table that is read when the window is created, and the rule that scales it to the
// screen's resolution.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace app {

struct TLayoutObject {
    std::string Name;
    std::string ClassName;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::vector<std::pair<std::string, std::string>> Properties;

    /// The stored value of a property, or fallback when the layout stores none.
    std::string Property(const std::string& key, const std::string& fallback = {}) const;
    int IntProperty(const std::string& key, int fallback) const;
};

struct TFormLayout {
    /// The window itself: its position, outer size, caption, colour and font.
    TLayoutObject Form;
    /// The controls and components, in the order the layout creates them.
    std::vector<TLayoutObject> Controls;

    /// The control or component of that name; nullptr when the layout has none.
    const TLayoutObject* Find(const std::string& name) const;
};

/// The layout text stored with the program.
const std::string& StoredLayoutText();

/// Reads a layout text: one object a line, "Name|Class|Left|Top|Width|Height|key=value;...",
/// the window first; blank lines and lines starting with "#" are skipped. Raises EReadError
/// with the stream read message for a line that does not have that form.
TFormLayout ParseLayout(const std::string& text);

/// The text height the layout scales by, for a font of the given height: its magnitude. That is
/// the designed face's own measure, whose cell at a 12-pixel em is 12 pixels. The face installed
/// in its place (IPA P Gothic) puts the same em in a 13-pixel cell; measuring that face would grow
/// the window designed as 696 × 150 by a twelfth, so the designed face's measure stands.
int TextHeightOf(int fontHeight);

/// Adapts a layout designed at its PixelsPerInch to a screen of screenPixelsPerInch: the font
/// height scales by the ratio of the resolutions; when the resulting text height differs from the
/// designed TextHeight, every control's position and size and the window's client size scale by
/// the ratio of the new text height to the designed one. frameWidth and frameHeight are what the
/// window's frame adds to its client size (the window's stored size is its outer size).
void ScaleLayout(TFormLayout& layout, int screenPixelsPerInch, int frameWidth = 0, int frameHeight = 0);

/// The stored layout read and scaled to the screen.
TFormLayout LoadStoredLayout(int screenPixelsPerInch);

}  // namespace app
