#pragma once
// "Windows": lists the chart document windows; activates or closes them.

#include <QDialog>

class QListWidget;
class QMdiArea;
class QPushButton;

namespace shell {

class CWindowsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWindowsDlg(QMdiArea* area, QWidget* parent = nullptr);
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
