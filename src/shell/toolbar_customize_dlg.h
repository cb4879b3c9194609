#pragma once
// "Customize": shows and hides the buttons of a toolbar; every change takes
// effect at once.

#include <QDialog>

class CCommandToolBar;
class QListWidget;

class CToolbarCustomizeDlg : public QDialog {
    Q_OBJECT
public:
    explicit CToolbarCustomizeDlg(CCommandToolBar* toolbar, QWidget* parent = nullptr);
    QListWidget* CommandList() const { return list_; }

private:
    CCommandToolBar* toolbar_;
    QListWidget* list_;
};
