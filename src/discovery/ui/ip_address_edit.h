#pragma once
// An IPv4 address field that behaves like the classic address control: four
// octet boxes of up to three digits, each 0 to 255 (a larger number becomes
// 255), the dots drawn between them. A third digit moves on to the next box,
// and so does a dot or a space typed at the end of a box; Backspace or Left
// at the start of a box goes back to the previous one, Right at its end on to
// the next.

#include <QFrame>

#include <cstdint>

class QLineEdit;

namespace discovery::ui {

class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // The four boxes as one value, the first box in the most significant byte.
    void SetAddress(uint32_t fields);
    // Blank boxes count as 0. Returns the number of boxes that are not blank.
    int GetAddress(uint32_t* fields) const;
    uint32_t Address() const;
    bool IsBlank() const;
    void ClearAddress();

    QLineEdit* Field(int index) const { return fields_[index]; }

signals:
    void addressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnEdited(int index);
    void FocusField(int index, bool selectAll, bool atEnd);

    QLineEdit* fields_[4] = {};
};

}  // namespace discovery::ui
