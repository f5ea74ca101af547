#include "app/qt/ShellTree.h"

#include "app/qt/Dispatcher.h"
#include "platform/shell/SystemIcons.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace app::qt {
namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

// Committing an edited label hands the text to the model, which renames the folder and reports
// the new label; the widget never writes the text itself, so a refused name leaves the label.
class TRenameDelegate : public QStyledItemDelegate {
public:
    TRenameDelegate(TShellTreeView& model, QObject* parent) : QStyledItemDelegate(parent), FModel(model) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const override {
        const QByteArray text = editor->property("text").toString().toUtf8();
        Guarded([&] { FModel.EndEdit(std::string(text.constData(), std::size_t(text.size()))); });
    }

private:
    TShellTreeView& FModel;
};

// The model counts the menu's node as selected until the menu closes, so it must close on every
// path out of the handler, an exception's included.
struct TMenuCloser {
    TShellTreeView& Model;
    ~TMenuCloser() { Model.CloseContextMenu(); }
};

}  // namespace

TShellTreeWidget::TShellTreeWidget(TShellTreeView& model, QWidget* parent) : QTreeWidget(parent), FModel(model) {
    setHeaderHidden(true);
    setColumnCount(1);
    setIndentation(19);
    // ShowRoot off: the top node has no expand button of its own.
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new TRenameDelegate(FModel, this));

    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (FSyncing)
            return;
        Guarded([&] {
            if (TShellTreeNode* node = NodeOf(item); node != nullptr && !FModel.Expand(*node)) {
                QSignalBlocker block(this);
                item->setExpanded(false);
            }
        });
    });
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (FSyncing)
            return;
        Guarded([&] {
            if (TShellTreeNode* node = NodeOf(item))
                FModel.Collapse(*node);
        });
    });
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
        if (FSyncing || item == nullptr)
            return;
        Guarded([&] { FModel.Select(NodeOf(item)); });
    });
    // Qt reports clicked only for the left button, which is the tree's OnClick.
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        Guarded([&] {
            if (TShellTreeNode* node = NodeOf(item))
                FModel.Click(*node);
        });
    });
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { Guarded([&] { ShowContextMenu(position); }); });
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this](QWidget*, QAbstractItemDelegate::EndEditHint) {
        // An editor closed without committing cancels the edit in the model too.
        Guarded([&] {
            if (FModel.EditingNode() != nullptr)
                FModel.EndEdit(std::nullopt);
        });
    });

    FModel.OnChange = [this](TShellTreeChange change, TShellTreeNode* node) { Changed(change, node); };
    Rebuild();
}

TShellTreeWidget::~TShellTreeWidget() { FModel.OnChange = nullptr; }

TShellTreeNode* TShellTreeWidget::NodeOf(const QTreeWidgetItem* item) const {
    if (item == nullptr)
        return nullptr;
    return reinterpret_cast<TShellTreeNode*>(item->data(0, kNodeRole).value<quintptr>());
}

void TShellTreeWidget::Rebuild() {
    const QSignalBlocker block(this);
    FSyncing = true;
    clear();
    FItems.clear();
    for (std::size_t i = 0; i < FModel.Count(); ++i) {
        QTreeWidgetItem* item = MakeItem(FModel.Item(i));
        addTopLevelItem(item);
        ApplyExpansion(item);
    }
    FSyncing = false;
    SyncSelection();
}

QTreeWidgetItem* TShellTreeWidget::MakeItem(TShellTreeNode& node) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    FItems.insert(&node, item);
    FillChildren(item, node);
    UpdateItem(item, node);
    return item;
}

void TShellTreeWidget::FillChildren(QTreeWidgetItem* item, TShellTreeNode& node) {
    for (QTreeWidgetItem* child : item->takeChildren()) {
        Forget(child);
        delete child;
    }
    for (std::size_t i = 0; i < node.Count(); ++i)
        item->addChild(MakeItem(node.Item(i)));
}

void TShellTreeWidget::ApplyExpansion(QTreeWidgetItem* item) {
    // An item takes its expanded state only once it belongs to the tree.
    if (TShellTreeNode* node = NodeOf(item))
        item->setExpanded(node->Expanded());
    for (int i = 0; i < item->childCount(); ++i)
        ApplyExpansion(item->child(i));
}

void TShellTreeWidget::UpdateItem(QTreeWidgetItem* item, TShellTreeNode& node) {
    item->setText(0, QString::fromStdString(node.Text()));
    QIcon icon = IconFor(node.ImageIndex());
    if (node.SelectedIndex() != node.ImageIndex())
        icon.addPixmap(IconFor(node.SelectedIndex()).pixmap(16, 16), QIcon::Selected);
    item->setIcon(0, icon);
    // Children are read on first expansion, so the button shows what the shell promises.
    item->setChildIndicatorPolicy(node.HasChildren() ? QTreeWidgetItem::ShowIndicator
                                                     : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    item->setExpanded(node.Expanded());
}

void TShellTreeWidget::Forget(QTreeWidgetItem* item) {
    FItems.remove(NodeOf(item));
    for (int i = 0; i < item->childCount(); ++i)
        Forget(item->child(i));
}

void TShellTreeWidget::Changed(TShellTreeChange change, TShellTreeNode* node) {
    QTreeWidgetItem* item = ItemOf(node);
    if (change == TShellTreeChange::Reset || (node != nullptr && item == nullptr &&
                                              change != TShellTreeChange::NodeDeleting &&
                                              change != TShellTreeChange::SelectionChanged)) {
        Rebuild();
        return;
    }
    const QSignalBlocker block(this);
    FSyncing = true;
    switch (change) {
    case TShellTreeChange::ChildrenChanged:
        if (node == nullptr) {
            FSyncing = false;
            Rebuild();
            return;
        }
        FillChildren(item, *node);
        UpdateItem(item, *node);
        ApplyExpansion(item);
        break;
    case TShellTreeChange::NodeChanged:
        UpdateItem(item, *node);
        break;
    case TShellTreeChange::NodeDeleting:
        if (item != nullptr) {
            Forget(item);
            delete item;
        }
        break;
    case TShellTreeChange::EditRequested:
        FSyncing = false;
        scrollToItem(item);
        editItem(item, 0);
        return;
    default:
        break;
    }
    FSyncing = false;
    SyncSelection();
}

void TShellTreeWidget::SyncSelection() {
    const QSignalBlocker block(this);
    FSyncing = true;
    QTreeWidgetItem* item = ItemOf(FModel.Selected());
    setCurrentItem(item);
    if (item != nullptr)
        scrollToItem(item);
    FSyncing = false;
}

QIcon TShellTreeWidget::IconFor(int index) const {
    QStyle::StandardPixmap fallback = QStyle::SP_DirIcon;
    switch (index) {
    case shell::kIconFile:
        fallback = QStyle::SP_FileIcon;
        break;
    case shell::kIconFolderOpen:
        fallback = QStyle::SP_DirOpenIcon;
        break;
    case shell::kIconHome:
        fallback = QStyle::SP_DirHomeIcon;
        break;
    case shell::kIconRoot:
        fallback = QStyle::SP_DriveHDIcon;
        break;
    default:
        break;
    }
    const std::string name = shell::SystemIconName(index);
    return QIcon::fromTheme(QString::fromStdString(name), style()->standardIcon(fallback));
}

bool TShellTreeWidget::ChooseContextCommand(TShellTreeNode& node, const std::string& verb) {
    return FModel.RunContextCommand(node, verb);
}

void TShellTreeWidget::mousePressEvent(QMouseEvent* event) {
    // A right-click only opens the node's menu: the model lets that node stand for the selected
    // one while the menu is open, and the real selection stays where it was.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void TShellTreeWidget::ShowContextMenu(const QPoint& position) {
    TShellTreeNode* node = NodeOf(itemAt(position));
    if (node == nullptr)
        return;
    TMenuCloser closer{FModel};
    const std::vector<shell::TMenuCommand> commands = FModel.PopupContextMenu(*node);
    if (commands.empty())
        return;
    QMenu menu(this);
    for (const shell::TMenuCommand& command : commands) {
        if (command.Caption.empty()) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromStdString(command.Caption));
        action->setEnabled(command.Enabled);
        action->setData(command.Id);
    }
    QAction* chosen = menu.exec(viewport()->mapToGlobal(position));
    if (chosen != nullptr)
        FModel.InvokeContextCommand(chosen->data().toUInt());
}

}  // namespace app::qt
