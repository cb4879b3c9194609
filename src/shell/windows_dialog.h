#pragma once
// "Windows": lists the chart document windows; activates or closes them.

#include <QDialog>
#include <QString>

class QListWidget;
class QMdiArea;
class QPushButton;

namespace shell {

// A window title as its title bar shows it: the "[*]" placeholder becomes
// "*" while the window is modified and nothing otherwise; "[*][*]" is a
// literal "[*]".
QString ShownWindowTitle(const QString& title, bool modified);

class WindowsDialog : public QDialog {
    Q_OBJECT
public:
    explicit WindowsDialog(QMdiArea* area, QWidget* parent = nullptr);
    QListWidget* WindowList() const { return list_; }
    void ActivateSelected();
    void CloseSelected();

private:
    void Fill();
    void UpdateButtons();

    QMdiArea* area_;
    QListWidget* list_;
    QPushButton* activate_;
    QPushButton* close_;
};

}  // namespace shell
