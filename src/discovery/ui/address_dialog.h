#pragma once
// Asks for a controller's address by hand: broadcasts do not cross routers
// or VPNs, so a controller beyond them never shows in the live list. The
// last address typed is remembered in the settings for the next time.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace discovery::ui {

class AddressDialog : public QDialog {
    Q_OBJECT
public:
    explicit AddressDialog(QWidget* parent = nullptr);

    // The address field starts with this text (normally LastAddress()).
    void SetAddress(const QString& address);
    // The trimmed text after OK.
    QString Address() const { return address_; }
    QLineEdit* Field() const { return field_; }
    QPushButton* OkButton() const { return ok_; }

    // The settings value that remembers the last typed address.
    static QString LastAddress();
    static void StoreLastAddress(const QString& address);

    void accept() override;

private:
    QLineEdit* field_;
    QPushButton* ok_;
    QString address_;
};

}  // namespace discovery::ui
