// The main window F_Vistel on screen: the plain TF_Vistel with its controls placed where the
// stored layout puts them. Nothing is anchored or laid out, so resizing moves nothing.
#pragma once

#include "app/MainForm.h"
#include "app/qt/ShellTree.h"
#include "app/qt/ThumbnailList.h"

#include <QWidget>

#include <memory>

namespace app::qt {

class TMainWindow : public QWidget {
public:
    explicit TMainWindow(std::unique_ptr<TF_Vistel> form);
    ~TMainWindow() override;

    TF_Vistel& Form() const { return *FForm; }
    TShellTreeWidget* Tree() const { return FTree; }
    TThumbnailListWidget* List() const { return FList; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FitOuterSize();
    std::unique_ptr<TF_Vistel> FForm;
    TShellTreeWidget* FTree = nullptr;
    TThumbnailListWidget* FList = nullptr;
    bool FShown = false;
};

}  // namespace app::qt
