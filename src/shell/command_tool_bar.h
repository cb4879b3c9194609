#pragma once
// A toolbar of commands whose buttons the operator can show and hide
// ("Customize..."), ending in a drop-down button that offers the dialog.

#include <QList>
#include <QToolBar>

class QAction;
class QToolButton;

namespace shell {

class CommandToolBar : public QToolBar {
    Q_OBJECT
public:
    // customize: the "Customize..." command offered by the end button.
    CommandToolBar(const QString& title, QAction* customize, QWidget* parent = nullptr);

    // Commands in their toolbar order; null stands for a separator.
    void SetCommands(const QList<QAction*>& commands);
    QList<QAction*> Commands() const;  // without separators
    bool IsCommandShown(QAction* command) const;
    void SetCommandShown(QAction* command, bool shown);

private:
    void Rebuild();

    struct Entry {
        QAction* action;  // null = separator
        bool shown;
    };
    QList<Entry> entries_;
    QAction* customize_;
    QToolButton* endButton_;
    QAction* endAction_;          // stays last; everything else is rebuilt before it
    QList<QAction*> separators_;  // owned; made anew by every rebuild
};

}  // namespace shell
