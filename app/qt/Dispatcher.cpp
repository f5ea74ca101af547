#include "app/qt/Dispatcher.h"

#include "app/MainForm.h"
#include "graphics/Bitmap.h"

#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

namespace app::qt {
namespace {

TErrorPresenter& Presenter() {
    static TErrorPresenter presenter;
    return presenter;
}

void ShowMessageBox(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

// A 32 × 32 picture in a frame: sky, sun and two hills, which reads as "pictures" at icon size.
QPixmap DrawMainIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 32.0;
    painter.scale(unit, unit);
    painter.setPen(QPen(QColor(60, 60, 60), 1.0));
    painter.setBrush(QColor(250, 250, 245));
    painter.drawRect(QRectF(1.5, 3.5, 29, 25));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 180, 235));
    painter.drawRect(QRectF(4, 6, 24, 20));
    painter.setBrush(QColor(250, 210, 60));
    painter.drawEllipse(QPointF(22, 11), 3, 3);
    painter.setBrush(QColor(70, 150, 70));
    QPolygonF hills;
    hills << QPointF(4, 26) << QPointF(4, 20) << QPointF(11, 13) << QPointF(17, 19) << QPointF(21, 16)
          << QPointF(28, 22) << QPointF(28, 26);
    painter.drawPolygon(hills);
    return pixmap;
}

}  // namespace

void SetErrorPresenter(TErrorPresenter presenter) { Presenter() = std::move(presenter); }

QString ApplicationTitle() {
    return QString::fromStdString(app::ApplicationTitle(QCoreApplication::applicationFilePath().toStdString()));
}

void ShowException(std::exception_ptr error) noexcept {
    try {
        std::optional<std::string> message = ShownMessage(error);
        if (!message)
            return;
        const QString text = QString::fromStdString(ErrorBoxText(*message));
        if (Presenter())
            Presenter()(ApplicationTitle(), text);
        else
            ShowMessageBox(ApplicationTitle(), text);
    } catch (...) {
        // Nothing is left to tell the user with when showing the error fails itself.
    }
}

TVistelApplication::TVistelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(ApplicationTitle());
    // Lets Wayland compositors match the window with vistel.desktop and its icon.
    setDesktopFileName(QStringLiteral("vistel"));
    setWindowIcon(MainIcon());
    InstallFontSubstitutions();
}

bool TVistelApplication::notify(QObject* receiver, QEvent* event) {
    ++FDepth;
    bool handled = false;
    try {
        handled = QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
    }
    // Idle bitmap canvases give their memory contexts back once a message is fully handled.
    if (--FDepth == 0)
        graphics::ReleaseIdleBitmapContexts();
    return handled;
}

QIcon MainIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(DrawMainIcon(size));
    return icon;
}

void InstallFontSubstitutions() {
    // "ＭＳ Ｐゴシック" in full-width letters: the proportional Gothic face the layout stores.
    const QString stored = QString::fromUtf8("\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
    QFont::insertSubstitutions(stored, {QStringLiteral("IPAPGothic"), QString::fromUtf8("IPA Pゴシック"),
                                        QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                        QStringLiteral("Droid Sans Japanese")});
}

}  // namespace app::qt
