#pragma once
// The About box.

#include <QDialog>

namespace shell {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace shell
