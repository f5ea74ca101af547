#include "app/qt/MainWindow.h"

#include "app/qt/Dispatcher.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdlib>

namespace app::qt {
namespace {

void Place(QWidget* widget, const TLayoutObject& layout) {
    widget->setObjectName(QString::fromStdString(layout.Name));
    widget->setGeometry(layout.Left, layout.Top, layout.Width, layout.Height);
}

// A lowered box; the two-pixel-wide one is all edge and reads as a groove.
QFrame* MakeBevel(QWidget* parent, const TLayoutObject& layout) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setLineWidth(1);
    // A bevel only draws; clicks go to what lies under it.
    bevel->setAttribute(Qt::WA_TransparentForMouseEvents);
    Place(bevel, layout);
    return bevel;
}

}  // namespace

TMainWindow::TMainWindow(std::unique_ptr<TF_Vistel> form) : FForm(std::move(form)) {
    const TFormLayout& layout = FForm->Layout();
    setWindowTitle(QString::fromStdString(FForm->Caption()));
    setWindowIcon(MainIcon());
    QFont font(QString::fromStdString(layout.Form.Property("Font.Name")));
    font.setPixelSize(std::max(1, std::abs(layout.Form.IntProperty("Font.Height", -12))));
    setFont(font);

    // Widgets are made in the layout's order, so later ones lie above earlier ones as designed
    // (Bevel2 frames Image1 from above). The hidden file list and the image list have none.
    for (const TLayoutObject& object : layout.Controls) {
        if (object.ClassName == "TBevel") {
            MakeBevel(this, object);
        } else if (object.ClassName == "TImage") {
            auto* image = new QLabel(this);
            Place(image, object);
        } else if (object.ClassName == "TSpeedButton") {
            auto* button = new QToolButton(this);
            button->setAutoRaise(false);
            Place(button, object);
        } else if (object.ClassName == "TShellTreeView") {
            FTree = new TShellTreeWidget(*FForm->ShellTreeView1, this);
            Place(FTree, object);
        } else if (object.ClassName == "TListView") {
            FList = new TThumbnailListWidget(*FForm->V_CList, this);
            Place(FList, object);
        }
    }
    if (FTree != nullptr)
        FTree->setFocus();
    // The stored size is the outer one; without a frame known yet it is the client size, and
    // FitOuterSize corrects it once the window manager has framed the window.
    resize(layout.Form.Width, layout.Form.Height);
    move(layout.Form.Left, layout.Form.Top);
}

TMainWindow::~TMainWindow() {
    // The widgets go before the objects they show.
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    TCloseAction action = TCloseAction::caHide;
    Guarded([&] { FForm->FormClose(this, action); });
    if (action == TCloseAction::caNone)
        event->ignore();
    else
        event->accept();
}

void TMainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    QTimer::singleShot(0, this, [this] { FitOuterSize(); });
}

void TMainWindow::FitOuterSize() {
    const TLayoutObject& form = FForm->Layout().Form;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return;
    resize(std::max(1, form.Width - frame.width()), std::max(1, form.Height - frame.height()));
    move(form.Left, form.Top);
}

}  // namespace app::qt
