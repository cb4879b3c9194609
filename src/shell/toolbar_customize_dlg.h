#pragma once
// "Customize": shows and hides the buttons of a toolbar; every change takes
// effect at once.

#include <QDialog>

class QListWidget;

namespace shell {

class CCommandToolBar;

class CToolbarCustomizeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CToolbarCustomizeDlg(CCommandToolBar* toolbar, QWidget* parent = nullptr);
    QListWidget* CommandList() const { return list_; }

private:
    CCommandToolBar* toolbar_;
    QListWidget* list_;
};

}  // namespace shell
