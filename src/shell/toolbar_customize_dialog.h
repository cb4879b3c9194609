#pragma once
// "Customize": shows and hides the buttons of a toolbar; every change takes
// effect at once.

#include <QDialog>

class QListWidget;

namespace shell {

class CommandToolBar;

class ToolbarCustomizeDialog : public QDialog {
    Q_OBJECT
public:
    explicit ToolbarCustomizeDialog(CommandToolBar* toolbar, QWidget* parent = nullptr);
    QListWidget* CommandList() const { return list_; }

private:
    CommandToolBar* toolbar_;
    QListWidget* list_;
};

}  // namespace shell
