// The main window TF_Vistel as plain objects: its members in declared order, created from the
// stored layout, and its three event handlers. The Qt window shows these objects and passes the
// user's actions to them; nothing here needs a window system.
#pragma once

#include "app/FileListBox.h"
#include "app/ImageList.h"
#include "app/Layout.h"
#include "app/ListView.h"
#include "app/ShellTreeView.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace app {

/// What a control without behaviour keeps: its place on the window.
class TInertControl {
public:
    explicit TInertControl(const TLayoutObject& layout) : Name(layout.Name), Left(layout.Left), Top(layout.Top),
        Width(layout.Width), Height(layout.Height) {}
    std::string Name;
    int Left;
    int Top;
    int Width;
    int Height;
};

/// A lowered box: Bevel1, two pixels wide, reads as a vertical groove.
class TBevel : public TInertControl {
public:
    using TInertControl::TInertControl;
};
/// A picture area that never holds a picture.
class TImage : public TInertControl {
public:
    using TInertControl::TInertControl;
};
/// A raised button without caption, glyph or handler.
class TSpeedButton : public TInertControl {
public:
    using TInertControl::TInertControl;
};

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

class TF_Vistel {
public:
    /// Creates the controls in the layout's order, resolves the references between them, lets
    /// the tree load its root and runs FormCreate. Raises what the tree's root raises, which ends
    /// start-up, and EReadError for a layout that names an unknown object or class.
    explicit TF_Vistel(TFormLayout layout);
    ~TF_Vistel();
    TF_Vistel(const TF_Vistel&) = delete;
    TF_Vistel& operator=(const TF_Vistel&) = delete;

    std::unique_ptr<TBevel> Bevel1;
    std::unique_ptr<TImage> Image1;
    std::unique_ptr<TSpeedButton> SpeedButton1;
    std::unique_ptr<TSpeedButton> SpeedButton2;
    std::unique_ptr<TSpeedButton> SpeedButton3;
    std::unique_ptr<TSpeedButton> SpeedButton4;
    std::unique_ptr<TShellTreeView> ShellTreeView1;
    std::unique_ptr<TBevel> Bevel2;
    std::unique_ptr<TListView> V_CList;
    std::unique_ptr<TImageList> ImageList1;
    std::unique_ptr<TFileListBox> _DirFiles;

    void FormClose(void* sender, TCloseAction& action);
    void FormCreate(void* sender);
    void ShellTreeView1Click(void* sender);

    /// The layout the window was made from (scaled to the screen).
    const TFormLayout& Layout() const { return FLayout; }
    /// The window's caption as stored.
    std::string Caption() const { return FLayout.Form.Property("Caption"); }

private:
    void CreateControl(const TLayoutObject& object);
    TFormLayout FLayout;
};

/// The first window created, the application's main window; nullptr when none exists.
extern TF_Vistel* F_Vistel;

/// The application title: the executable's file name without folder, cut before its first ".",
/// every character after the first in lower case.
std::string ApplicationTitle(const std::string& executablePath);

/// The text the error message box shows for a message: "." is appended when the message is not
/// empty and its last whole character sorts after ".".
std::string ErrorBoxText(const std::string& message);

/// The message of whatever was thrown, for the error message box; nullopt for the silent abort,
/// which is shown to no one.
std::optional<std::string> ShownMessage(std::exception_ptr error);

}  // namespace app
