#include "app/MainForm.h"
#include "app/qt/Dispatcher.h"
#include "app/qt/MainWindow.h"
#include "graphics/Bitmap.h"
#include "graphics/Canvas.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace app;
namespace fs = std::filesystem;

namespace {

// The window over a folder tree of our own: a root with a folder of pictures and an empty one.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        FStartFolder = fs::current_path();
        FRoot = fs::temp_directory_path() / ("vistel-window-" + std::to_string(::getpid()));
        fs::remove_all(FRoot);
        fs::create_directories(FRoot / "pictures");
        fs::create_directories(FRoot / "empty");
        WriteBmp("pictures/b.bmp", 16, 16);
        WriteBmp("pictures/A.bmp", 64, 64);
        std::ofstream(FRoot / "pictures" / "notes.txt") << "not a picture";
        qt::SetErrorPresenter([this](const QString&, const QString& text) { Errors.push_back(text.toStdString()); });
    }
    void TearDown() override {
        Window.reset();
        qt::SetErrorPresenter(nullptr);
        fs::current_path(FStartFolder);
        fs::remove_all(FRoot);
    }

    void WriteBmp(const std::string& name, int width, int height) {
        graphics::TBitmap bitmap;
        bitmap.SetPixelFormat(graphics::px24Bit);
        bitmap.SetWidth(width);
        bitmap.SetHeight(height);
        bitmap.Canvas().Brush().SetColor(0x0000FF);
        bitmap.Canvas().FillRect(graphics::Rect(0, 0, width, height));
        bitmap.SaveToFile((FRoot / name).string());
    }

    void Open(int pixelsPerInch = 96) {
        TFormLayout layout = ParseLayout(StoredLayoutText());
        for (TLayoutObject& object : layout.Controls)
            for (auto& [key, value] : object.Properties)
                if (key == "Root")
                    value = FRoot.string();
        ScaleLayout(layout, pixelsPerInch);
        Window = std::make_unique<qt::TMainWindow>(std::make_unique<TF_Vistel>(layout));
        Window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        Settle();
    }

    // Runs what the last step queued (the window fitting its frame, the list catching up), and
    // what that queued in turn, so a loaded machine sees the same window as an idle one.
    static void Settle() {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    QTreeWidgetItem* FolderItem(const std::string& name) {
        QTreeWidgetItem* root = Window->Tree()->topLevelItem(0);
        for (int i = 0; root != nullptr && i < root->childCount(); ++i)
            if (root->child(i)->text(0).toStdString() == name)
                return root->child(i);
        return nullptr;
    }

    void LeftClick(QTreeWidgetItem* item) {
        QTreeWidget* tree = Window->Tree();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
        Settle();
    }

    fs::path FStartFolder;
    fs::path FRoot;
    std::unique_ptr<qt::TMainWindow> Window;
    std::vector<std::string> Errors;
};

TEST_F(MainWindow, OpensAtTheStoredPlaceAndSizeWithItsCaption) {
    Open();
    EXPECT_EQ(Window->frameGeometry(), QRect(192, 107, 696, 150));
    EXPECT_EQ(Window->windowTitle(), "F_Vistel");
    EXPECT_FALSE(Window->windowIcon().isNull());
    EXPECT_EQ(F_Vistel, &Window->Form());
    EXPECT_TRUE(Window->Form().V_CList->DoubleBuffered);
    EXPECT_EQ(Window->font().pixelSize(), 12);
    // The stored face resolves to the installed proportional IPA Gothic.
    EXPECT_EQ(QFontInfo(Window->font()).family(), "IPAPGothic");
}

struct TWidgetPlace {
    const char* Name;
    QRect Geometry;
};
void PrintTo(const TWidgetPlace& place, std::ostream* out) { *out << place.Name; }

class MainWindowControls : public MainWindow, public ::testing::WithParamInterface<TWidgetPlace> {};

TEST_P(MainWindowControls, SitAtTheirDesignedPlaceAndStayThereWhenTheWindowResizes) {
    Open();
    auto* widget = Window->findChild<QWidget*>(GetParam().Name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), GetParam().Geometry);
    EXPECT_TRUE(widget->isVisible());
    Window->resize(1000, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(widget->geometry(), GetParam().Geometry);
    Window->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(widget->geometry(), GetParam().Geometry);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, MainWindowControls,
    ::testing::Values(TWidgetPlace{"Bevel1", QRect(144, 8, 2, 105)}, TWidgetPlace{"Image1", QRect(40, 8, 65, 65)},
                      TWidgetPlace{"SpeedButton1", QRect(8, 8, 23, 22)}, TWidgetPlace{"SpeedButton2", QRect(8, 48, 23, 22)},
                      TWidgetPlace{"SpeedButton3", QRect(112, 8, 23, 22)},
                      TWidgetPlace{"SpeedButton4", QRect(112, 48, 23, 22)}, TWidgetPlace{"Bevel2", QRect(40, 8, 65, 65)},
                      TWidgetPlace{"ShellTreeView1", QRect(152, 8, 121, 105)},
                      TWidgetPlace{"V_CList", QRect(276, 8, 405, 105)}));

TEST_F(MainWindow, HasNoWidgetForTheHiddenFileListAndScalesWithTheTextHeight) {
    Open(144);
    EXPECT_EQ(Window->findChild<QWidget*>("_DirFiles"), nullptr);
    EXPECT_EQ(Window->findChild<QWidget*>("V_CList")->geometry(), QRect(414, 12, 608, 158));
    EXPECT_EQ(Window->font().pixelSize(), 18);
}

TEST_F(MainWindow, ShowsTheRootSelectedAndAnEmptyList) {
    Open();
    QTreeWidget* tree = Window->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(tree->currentItem(), root);
    EXPECT_TRUE(root->isExpanded());
    ASSERT_EQ(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "empty");
    EXPECT_EQ(root->child(1)->text(0), "pictures");
    EXPECT_EQ(Window->List()->count(), 0);
    EXPECT_EQ(Window->Form().ShellTreeView1->SelectedPath(), FRoot.string());
}

TEST_F(MainWindow, ClickingAFolderOfBitmapsFillsTheListInFileListOrder) {
    Open();
    QTreeWidgetItem* pictures = FolderItem("pictures");
    ASSERT_NE(pictures, nullptr);
    LeftClick(pictures);
    EXPECT_EQ(Window->Tree()->currentItem(), pictures);
    QListWidget* list = Window->List();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "A.bmp");
    EXPECT_EQ(list->item(1)->text(), "b.bmp");
    EXPECT_EQ(list->iconSize(), QSize(64, 64));
    EXPECT_EQ(list->viewMode(), QListView::IconMode);
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(255, 255, 255));
    // The 16 × 16 picture sits centred at (24, 24) on the list's white background.
    QImage small = qt::ImageOf(*Window->Form().ImageList1, 1);
    ASSERT_EQ(small.size(), QSize(64, 64));
    EXPECT_EQ(small.pixel(24, 24), qRgb(255, 0, 0));
    EXPECT_EQ(small.pixel(39, 39), qRgb(255, 0, 0));
    EXPECT_EQ(small.pixel(23, 24), qRgb(255, 255, 255));
    EXPECT_EQ(small.pixel(40, 39), qRgb(255, 255, 255));
    QImage shown = list->item(1)->icon().pixmap(64, 64).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(30, 30), qRgb(255, 0, 0));
    EXPECT_TRUE(Errors.empty());

    // A new click replaces the whole list.
    LeftClick(FolderItem("empty"));
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(Window->Form().ImageList1->Count(), 0);
}

TEST_F(MainWindow, KeepsTheSelectionWhenAFolderIsRightClicked) {
    Open();
    QTreeWidgetItem* root = Window->Tree()->topLevelItem(0);
    QTreeWidgetItem* pictures = FolderItem("pictures");
    ASSERT_NE(pictures, nullptr);
    QTreeWidget* tree = Window->Tree();
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(pictures).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->currentItem(), root);
    EXPECT_EQ(Window->Form().ShellTreeView1->SelectedPath(), FRoot.string());
    EXPECT_EQ(Window->List()->count(), 0);
}

TEST_F(MainWindow, OffersTheFolderMenuWithJapaneseLabelsAndRunsTheChosenCommand) {
    Open();
    QTreeWidget* tree = Window->Tree();
    QTreeWidgetItem* empty = FolderItem("empty");
    ASSERT_NE(empty, nullptr);
    QStringList labels;
    // The menu runs its own loop; this picks 名前の変更 from it once it is open.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            labels << action->text();
            if (action->text().startsWith(QString::fromUtf8("名前の変更")))
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint at = tree->visualItemRect(empty).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(tree->viewport(), &event);
    QCoreApplication::processEvents();
    EXPECT_TRUE(labels.contains(QString::fromUtf8("開く(&O)")));
    EXPECT_TRUE(labels.contains(QString::fromUtf8("削除(&D)")));
    // The menu's node is being renamed in place, and the real selection never moved.
    EXPECT_EQ(Window->Form().ShellTreeView1->EditingNode(), Window->Tree()->NodeOf(empty));
    EXPECT_NE(tree->findChild<QLineEdit*>(), nullptr);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
    EXPECT_TRUE(Errors.empty());
}

TEST_F(MainWindow, LeavesTheListAloneWhenTheInertControlsAreClicked) {
    Open();
    LeftClick(FolderItem("pictures"));
    for (const char* name : {"SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "Image1"}) {
        auto* widget = Window->findChild<QWidget*>(name);
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Window->List()->count(), 2);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(MainWindow, ExpandsFoldersOnlyWhenAsked) {
    fs::create_directories(FRoot / "pictures" / "inner");
    Open();
    QTreeWidgetItem* pictures = FolderItem("pictures");
    ASSERT_NE(pictures, nullptr);
    EXPECT_EQ(pictures->childCount(), 0);
    EXPECT_EQ(pictures->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    pictures->setExpanded(true);
    QCoreApplication::processEvents();
    pictures = FolderItem("pictures");
    ASSERT_EQ(pictures->childCount(), 1);
    EXPECT_EQ(pictures->child(0)->text(0), "inner");
    EXPECT_TRUE(Window->Form().ShellTreeView1->Item(0).Item(1).Expanded());
}

class MainWindowRename : public MainWindow {
protected:
    // Starts the context menu's rename on a folder and types a new name into the label's editor.
    void Rename(const std::string& folder, const QString& name) {
        TShellTreeNode* node = Window->Tree()->NodeOf(FolderItem(folder));
        ASSERT_NE(node, nullptr);
        ASSERT_TRUE(Window->Tree()->ChooseContextCommand(*node, "rename"));
        QCoreApplication::processEvents();
        auto* editor = Window->Tree()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
};

TEST_F(MainWindowRename, RenamesTheFolderInPlace) {
    Open();
    Rename("empty", "renamed");
    EXPECT_TRUE(fs::is_directory(FRoot / "renamed"));
    EXPECT_FALSE(fs::exists(FRoot / "empty"));
    EXPECT_NE(FolderItem("renamed"), nullptr);
    EXPECT_EQ(FolderItem("empty"), nullptr);
    EXPECT_EQ(Window->Form().ShellTreeView1->EditingNode(), nullptr);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(MainWindowRename, CancelsWithEscapeAndLeavesTheFolder) {
    Open();
    TShellTreeNode* node = Window->Tree()->NodeOf(FolderItem("empty"));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(Window->Tree()->ChooseContextCommand(*node, "rename"));
    auto* editor = Window->Tree()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("other");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(Window->Form().ShellTreeView1->EditingNode(), nullptr);
    EXPECT_TRUE(fs::is_directory(FRoot / "empty"));
    EXPECT_FALSE(fs::exists(FRoot / "other"));
    EXPECT_NE(FolderItem("empty"), nullptr);
}

TEST_F(MainWindowRename, ShowsARefusedNameInTheErrorBoxAndKeepsTheLabel) {
    Open();
    Rename("empty", "pictures");
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find("pictures"), std::string::npos);
    EXPECT_EQ(Errors[0].back(), '.');
    EXPECT_TRUE(fs::is_directory(FRoot / "empty"));
    EXPECT_NE(FolderItem("empty"), nullptr);
    EXPECT_EQ(Window->Form().ShellTreeView1->EditingNode(), nullptr);
}

TEST_F(MainWindow, RendersForAPersonToLookAt) {
    Open();
    LeftClick(FolderItem("pictures"));
    QPixmap shot = Window->grab();
    EXPECT_EQ(shot.size(), Window->size());
    EXPECT_TRUE(shot.save(VISTEL_WINDOW_SHOT));
}

TEST_F(MainWindow, ClosingTheWindowIsAccepted) {
    Open();
    EXPECT_TRUE(Window->close());
    EXPECT_FALSE(Window->isVisible());
}

}  // namespace
