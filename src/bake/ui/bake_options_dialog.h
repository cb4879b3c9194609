#pragma once
// The "Bake options" dialog: the controller's PID coefficients and its two
// sensor options, edited between a type-49 reply and the type-48 request.

#include <QDialog>
#include <QString>

#include <cstdint>

#include "platform/message_box.h"

class QCheckBox;
class QLineEdit;

namespace bake::ui {

// "%.15g", always with a '.' whatever the user's locale.
QString FormatCoefficient(double value);
// A decimal number as "%lf" reads it (leading blanks, then the longest
// number; trailing text is ignored), in the C locale. Infinities and NaN
// are refused: they have no fixed-point value to send.
bool ParseCoefficient(const QString& text, double* value);

class BakeOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids of the layout.
    enum : int {
        kIdIgnoreSensorDiff = 1018,
        kIdUseSecondarySensor = 1020,
        kIdKp = 1003,
        kIdKi = 1029,
        kIdKd = 1031,
    };

    explicit BakeOptionsDialog(platform::MessageBox* messageBox, QWidget* parent = nullptr);

    // Shows the 28-byte bake options record modally; on OK writes the edited
    // values back into it and returns true. Anything else leaves it as it was.
    bool EditBakeOptions(uint8_t* packet28);

    // The two halves of EditBakeOptions, around the modal run.
    void LoadFromPacket(const uint8_t* packet28);
    void StoreToPacket(uint8_t* packet28) const;

    uint32_t options = 0;
    double kp = 0;
    double ki = 0;
    double kd = 0;

    QCheckBox* IgnoreSensorDiffBox() const { return ignoreDiff_; }
    QCheckBox* UseSecondarySensorBox() const { return useSecondary_; }
    QLineEdit* KpEdit() const { return kpEdit_; }
    QLineEdit* KiEdit() const { return kiEdit_; }
    QLineEdit* KdEdit() const { return kdEdit_; }

public slots:
    // The OK button: reads the controls; on a bad number it says so and
    // keeps the dialog open.
    void OnOK();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateControls();

    platform::MessageBox* messageBox_;
    // The coefficients as shown: fifteen digits do not always give the same
    // fixed-point value back, so an edit left as shown keeps its exact value.
    double shown_[3] = {};
    QString shownText_[3];
    QCheckBox* ignoreDiff_;
    QCheckBox* useSecondary_;
    QLineEdit* kpEdit_;
    QLineEdit* kiEdit_;
    QLineEdit* kdEdit_;
};

}  // namespace bake::ui
