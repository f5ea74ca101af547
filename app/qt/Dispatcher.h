// The exception dispatcher: no exception crosses the Qt event loop. Every handler of ours runs
// inside Guarded, and the application's notify catches whatever still escapes an event; both show
// the window's error message box and let the loop go on.
#pragma once

#include <QApplication>
#include <QIcon>
#include <QString>

#include <exception>
#include <functional>

namespace app::qt {

/// Shows an error: the caption is the application title, the text the message with the "." rule.
using TErrorPresenter = std::function<void(const QString& caption, const QString& text)>;

/// Replaces how errors are shown (tests record them instead of opening a modal box); an empty
/// presenter restores the message box.
void SetErrorPresenter(TErrorPresenter presenter);

/// Shows what was thrown, unless it is the silent abort. Never throws.
void ShowException(std::exception_ptr error) noexcept;

/// The application title of this process, from its executable's name.
QString ApplicationTitle();

/// Runs a handler; whatever it throws is shown and goes no further.
template <typename F>
void Guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

class TVistelApplication : public QApplication {
public:
    TVistelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    int FDepth = 0;
};

/// The program's icon resource "MAINICON", drawn in code: a framed picture of a landscape.
QIcon MainIcon();

/// Maps the stored font face to an installed Japanese proportional Gothic face.
void InstallFontSubstitutions();

}  // namespace app::qt
