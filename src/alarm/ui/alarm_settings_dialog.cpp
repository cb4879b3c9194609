#include "alarm/ui/alarm_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace alarms::ui {

namespace {

QDoubleSpinBox* SpinBox(QWidget* parent, const char* name, Range range, int decimals,
                        const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(range.min, range.max);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

}  // namespace

AlarmSettingsDialog::AlarmSettingsDialog(const AlarmPreferences& preferences, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Alarms"));
    const QString degrees = QStringLiteral(" \u00b0C");
    const QString seconds = QStringLiteral(" s");

    overTemperature_ = CheckBox(this, "overTemperature",
                                tr("Main temperature above the profile's peak by more than"));
    margin_ = SpinBox(this, "overTemperatureMargin", kMarginRange, 1, degrees);
    deviation_ = CheckBox(this, "profileDeviation",
                          tr("Main temperature away from the profile by more than"));
    band_ = SpinBox(this, "deviationBand", kBandRange, 1, degrees);
    deviationSeconds_ = SpinBox(this, "deviationSeconds", kDeviationSecondsRange, 0, seconds);
    linkLost_ = CheckBox(this, "linkLost", tr("Link lost during a bake"));
    bakeError_ = CheckBox(this, "bakeError", tr("Bake ended with an error"));
    bakeFinished_ = CheckBox(this, "bakeFinished", tr("Bake finished"));
    repeat_ = SpinBox(this, "repeatSeconds", kRepeatSecondsRange, 0, seconds);
    repeat_->setSpecialValueText(tr("never"));
    sound_ = CheckBox(this, "sound", tr("Play a sound with every alarm"));

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(overTemperature_, row, 0, 1, 2);
    grid->addWidget(margin_, row++, 2);
    grid->addWidget(deviation_, row, 0, 1, 2);
    grid->addWidget(band_, row++, 2);
    auto* forLonger = new QLabel(tr("for longer than"), this);
    forLonger->setBuddy(deviationSeconds_);
    grid->addWidget(forLonger, row, 1, Qt::AlignRight);
    grid->addWidget(deviationSeconds_, row++, 2);
    grid->addWidget(linkLost_, row++, 0, 1, 3);
    grid->addWidget(bakeError_, row++, 0, 1, 3);
    grid->addWidget(bakeFinished_, row++, 0, 1, 3);
    auto* repeatLabel = new QLabel(tr("Announce an unacknowledged alarm again every"), this);
    repeatLabel->setBuddy(repeat_);
    grid->addWidget(repeatLabel, row, 0, 1, 2);
    grid->addWidget(repeat_, row++, 2);
    grid->addWidget(sound_, row++, 0, 1, 3);
    grid->setColumnMinimumWidth(0, 24);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { ShowPreferences(AlarmPreferences{}); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    for (QCheckBox* box : {overTemperature_, deviation_})
        connect(box, &QCheckBox::toggled, this, &AlarmSettingsDialog::UpdateEnabling);
    ShowPreferences(preferences);
}

void AlarmSettingsDialog::ShowPreferences(const AlarmPreferences& p) {
    const auto& r = p.rules;
    overTemperature_->setChecked(r.overTemperature);
    margin_->setValue(r.overTemperatureMargin);
    deviation_->setChecked(r.profileDeviation);
    band_->setValue(r.deviationBand);
    deviationSeconds_->setValue(r.deviationSeconds);
    linkLost_->setChecked(r.linkLost);
    bakeError_->setChecked(r.bakeError);
    bakeFinished_->setChecked(r.bakeFinished);
    repeat_->setValue(r.repeatSeconds);
    sound_->setChecked(p.sound);
    UpdateEnabling();
}

AlarmPreferences AlarmSettingsDialog::Preferences() const {
    AlarmPreferences p;
    auto& r = p.rules;
    r.overTemperature = overTemperature_->isChecked();
    r.overTemperatureMargin = margin_->value();
    r.profileDeviation = deviation_->isChecked();
    r.deviationBand = band_->value();
    r.deviationSeconds = deviationSeconds_->value();
    r.linkLost = linkLost_->isChecked();
    r.bakeError = bakeError_->isChecked();
    r.bakeFinished = bakeFinished_->isChecked();
    r.repeatSeconds = repeat_->value();
    p.sound = sound_->isChecked();
    return p;
}

void AlarmSettingsDialog::UpdateEnabling() {
    margin_->setEnabled(overTemperature_->isChecked());
    band_->setEnabled(deviation_->isChecked());
    deviationSeconds_->setEnabled(deviation_->isChecked());
}

}  // namespace alarms::ui
