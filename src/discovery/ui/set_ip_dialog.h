#pragma once
// The small dialog that asks for a controller's new address and mask.

#include <QDialog>

#include <cstdint>

namespace discovery::ui {

class IpAddressEdit;

class SetIpDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 317;
    static constexpr int IDC_IP_ADDRESS = 1034;
    static constexpr int IDC_IP_MASK = 1035;

    explicit SetIpDialog(QWidget* parent = nullptr);

    // The values, first field in the most significant byte. Set before the
    // dialog opens they fill the fields; after OK they hold what was typed.
    uint32_t address = 0;
    uint32_t mask = 0;

    IpAddressEdit* AddressField() const { return addressField_; }
    IpAddressEdit* MaskField() const { return maskField_; }

    // Takes both fields' values; no value is refused.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    IpAddressEdit* addressField_;
    IpAddressEdit* maskField_;
};

}  // namespace discovery::ui
