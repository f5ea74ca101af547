// The folder tree's widget: shows the TShellTreeView model and passes clicks, expansion, the
// context menu and in-place renaming back to it. The model decides everything; the widget only
// mirrors the nodes it reports.
#pragma once

#include "app/ShellTreeView.h"

#include <QHash>
#include <QTreeWidget>

namespace app::qt {

class TShellTreeWidget : public QTreeWidget {
public:
    TShellTreeWidget(TShellTreeView& model, QWidget* parent);
    ~TShellTreeWidget() override;

    QTreeWidgetItem* ItemOf(const TShellTreeNode* node) const { return FItems.value(node, nullptr); }
    TShellTreeNode* NodeOf(const QTreeWidgetItem* item) const;
    /// Builds every item again from the model.
    void Rebuild();
    /// Opens the context menu of a node as a right-click does and runs the command with this
    /// verb, as if it had been chosen (for tests and keyboard use); false when there is none.
    bool ChooseContextCommand(TShellTreeNode& node, const std::string& verb);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Changed(TShellTreeChange change, TShellTreeNode* node);
    QTreeWidgetItem* MakeItem(TShellTreeNode& node);
    void FillChildren(QTreeWidgetItem* item, TShellTreeNode& node);
    void UpdateItem(QTreeWidgetItem* item, TShellTreeNode& node);
    void ApplyExpansion(QTreeWidgetItem* item);
    void Forget(QTreeWidgetItem* item);
    void ShowContextMenu(const QPoint& position);
    void SyncSelection();
    QIcon IconFor(int index) const;

    TShellTreeView& FModel;
    QHash<const TShellTreeNode*, QTreeWidgetItem*> FItems;
    // Set while the widget follows the model, so that its own signals are not sent back.
    bool FSyncing = false;
};

}  // namespace app::qt
