#include "app/MainForm.h"
#include "app/qt/Dispatcher.h"
#include "graphics/Bitmap.h"
#include "graphics/Canvas.h"
#include "graphics/GraphicsBase.h"
#include "platform/base/Messages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QObject>

#include <new>

using namespace app;

namespace {

struct TTextCase {
    const char* Message;
    const char* Shown;
};
void PrintTo(const TTextCase& c, std::ostream* out) { *out << '"' << c.Message << '"'; }

class ErrorBoxTextRule : public ::testing::TestWithParam<TTextCase> {};

TEST_P(ErrorBoxTextRule, AppendsAPeriodOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(ErrorBoxText(GetParam().Message), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxTextRule,
    ::testing::Values(TTextCase{"", ""}, TTextCase{"abc", "abc."}, TTextCase{"abc.", "abc."},
                      TTextCase{"ends in a bracket)", "ends in a bracket)"}, TTextCase{"minus-", "minus-"},
                      TTextCase{"slash/", "slash/."}, TTextCase{"space ", "space "}, TTextCase{"7", "7."},
                      // Every character of more than one byte sorts after "."; a stray continuation
                      // byte counts by itself.
                      TTextCase{"イメージサイズが正しくありません", "イメージサイズが正しくありません."},
                      TTextCase{"終わり。", "終わり。."}, TTextCase{"\x80", "\x80."},
                      TTextCase{"line\n", "line\n"}));

struct TTitleCase {
    const char* Path;
    const char* Title;
};
void PrintTo(const TTitleCase& c, std::ostream* out) { *out << '"' << c.Path << '"'; }

class ApplicationTitleRule : public ::testing::TestWithParam<TTitleCase> {};

TEST_P(ApplicationTitleRule, KeepsTheFirstCharacterAndLowersTheRestBeforeTheFirstDot) {
    EXPECT_EQ(ApplicationTitle(GetParam().Path), GetParam().Title);
}

INSTANTIATE_TEST_SUITE_P(Paths, ApplicationTitleRule,
                         ::testing::Values(TTitleCase{"/usr/bin/vistel", "vistel"}, TTitleCase{"Vistel.exe", "Vistel"},
                                           TTitleCase{"/opt/VISTEL.tar.gz", "Vistel"},
                                           TTitleCase{"/a.b/ViStEl", "Vistel"}, TTitleCase{"/x/.hidden", ""},
                                           TTitleCase{"ÉCRAN", "Écran"}, TTitleCase{"", ""}));

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override {
        qt::SetErrorPresenter([this](const QString& caption, const QString& text) {
            Captions.push_back(caption.toStdString());
            Texts.push_back(text.toStdString());
        });
    }
    void TearDown() override { qt::SetErrorPresenter(nullptr); }
    std::vector<std::string> Captions;
    std::vector<std::string> Texts;
};

TEST_F(Dispatcher, ShowsAGuardedHandlersExceptionWithTheTitleAndThePeriodRule) {
    bool after = false;
    qt::Guarded([] { throw EInvalidOperation("不正な操作です"); });
    after = true;
    EXPECT_TRUE(after);
    ASSERT_EQ(Texts.size(), 1u);
    EXPECT_EQ(Texts[0], "不正な操作です.");
    EXPECT_EQ(Captions[0], "app_qt_tests");
}

TEST_F(Dispatcher, KeepsTheSilentAbortUnseenAndNamesOtherFailures) {
    qt::Guarded([] { throw EAbort("見せない"); });
    qt::Guarded([] { throw std::bad_alloc(); });
    qt::Guarded([] { throw 42; });
    ASSERT_EQ(Texts.size(), 2u);
    EXPECT_EQ(Texts[0], ErrorBoxText(base::LoadStr(res::SOutOfMemory)));
    EXPECT_EQ(Texts[1], "");
}

// An object whose event handler throws, as a handler that forgot its guard would.
class TThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw EOSError("失敗しました", 5);
        return QObject::event(event);
    }
};

TEST_F(Dispatcher, CatchesWhatEscapesAnEventAndLetsTheLoopGoOn) {
    TThrowingObject object;
    QEvent first(QEvent::User);
    QCoreApplication::sendEvent(&object, &first);
    QCoreApplication::postEvent(&object, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(Texts.size(), 2u);
    EXPECT_EQ(Texts[0], "失敗しました.");
    EXPECT_EQ(Texts[1], "失敗しました.");
}

// An object that draws on a bitmap while it handles an event and sends itself one more.
class TDrawingObject : public QObject {
public:
    graphics::TBitmap Bitmap;
    bool HeldDuringNestedEvent = false;
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            Bitmap.Canvas().FillRect(graphics::Rect(0, 0, 4, 4));
            QEvent nested(QEvent::Type(QEvent::User + 1));
            QCoreApplication::sendEvent(this, &nested);
            HeldDuringNestedEvent = Bitmap.Canvas().HandleAllocated();
            return true;
        }
        return QObject::event(event);
    }
};

TEST_F(Dispatcher, ReleasesIdleBitmapContextsOnceAMessageIsFullyHandled) {
    TDrawingObject object;
    object.Bitmap.SetWidth(4);
    object.Bitmap.SetHeight(4);
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&object, &event);
    EXPECT_TRUE(object.HeldDuringNestedEvent);
    EXPECT_FALSE(object.Bitmap.Canvas().HandleAllocated());
    EXPECT_TRUE(Texts.empty());
}

TEST(MainIcon, IsDrawnAtTheIconSizes) {
    QIcon icon = qt::MainIcon();
    ASSERT_FALSE(icon.isNull());
    QImage image = icon.pixmap(32, 32).toImage();
    EXPECT_EQ(image.size(), QSize(32, 32));
    // The frame's inside is not transparent: a picture was drawn.
    EXPECT_EQ(qAlpha(image.pixel(16, 16)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

}  // namespace
