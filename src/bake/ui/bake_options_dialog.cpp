#include "bake/ui/bake_options_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <locale.h>
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bake/controller_packets.h"
#include "widgets/dialog_units.h"

namespace bake::ui {

QString FormatCoefficient(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
}

bool ParseCoefficient(const QString& text, double* value) {
    // The operator's locale must not turn "0.1" into 0: numbers on this
    // dialog are always read the C way.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const QByteArray bytes = text.toUtf8();
    const char* start = bytes.constData();
    char* end = nullptr;
    const double v = strtod_l(start, &end, cLocale);
    if (end == start || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

BakeOptionsDialog::BakeOptionsDialog(platform::MessageBox* messageBox, QWidget* parent)
    : QDialog(parent), messageBox_(messageBox) {
    setWindowTitle(tr("Bake options"));
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());
    setFixedSize(du.Size(316, 215));

    ignoreDiff_ =
        new QCheckBox(tr("Ignore sensor 1 to sensor 2 temperature difference when bake"), this);
    ignoreDiff_->setGeometry(du.Rect(30, 20, 218, 10));
    useSecondary_ = new QCheckBox(tr("Use secondary sensor to regulate temperature"), this);
    useSecondary_->setGeometry(du.Rect(30, 33, 166, 10));

    auto* group = new QGroupBox(tr(" PID Parameters "), this);
    group->setGeometry(du.Rect(23, 62, 173, 97));

    auto label = [&](const QString& text, QRect r) {
        auto* l = new QLabel(text, this);
        l->setGeometry(r);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    auto edit = [&](QRect r, const char* name) {
        auto* e = new QLineEdit(this);
        e->setGeometry(r);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    QLabel* kpLabel = label(tr("KP : "), du.Rect(86, 84, 16, 8));
    kpEdit_ = edit(du.Rect(105, 82, 62, 14), "kp");
    QLabel* kiLabel = label(tr(" KI : "), du.Rect(86, 102, 16, 8));
    kiEdit_ = edit(du.Rect(105, 99, 61, 14), "ki");
    QLabel* kdLabel = label(tr(" KD : "), du.Rect(84, 118, 18, 8));
    kdEdit_ = edit(du.Rect(105, 116, 61, 14), "kd");
    kpLabel->setBuddy(kpEdit_);
    kiLabel->setBuddy(kiEdit_);
    kdLabel->setBuddy(kdEdit_);

    auto* ok = new QPushButton(tr("OK"), this);
    ok->setGeometry(du.Rect(100, 194, 50, 14));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setGeometry(du.Rect(166, 194, 50, 14));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &BakeOptionsDialog::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // The layout's widths were measured for another font; a check box whose
    // text needs more room gets it, as far as the dialog reaches.
    for (QCheckBox* box : {ignoreDiff_, useSecondary_}) {
        QRect r = box->geometry();
        r.setWidth(
            std::min(std::max(r.width(), box->sizeHint().width()), width() - r.x() - du.X(7)));
        box->setGeometry(r);
    }

    setTabOrder(ignoreDiff_, useSecondary_);
    setTabOrder(useSecondary_, kpEdit_);
    setTabOrder(kpEdit_, kiEdit_);
    setTabOrder(kiEdit_, kdEdit_);
    setTabOrder(kdEdit_, ok);
    setTabOrder(ok, cancel);
    UpdateControls();
}

void BakeOptionsDialog::UpdateControls() {
    ignoreDiff_->setChecked((options & bake::CONCC_OPT_IGNORE_SENSOR_DIFF) != 0);
    useSecondary_->setChecked((options & bake::CONCC_OPT_USE_SECONDARY_SENSOR) != 0);
    QLineEdit* edits[] = {kpEdit_, kiEdit_, kdEdit_};
    const double values[] = {kp, ki, kd};
    for (int i = 0; i < 3; ++i) {
        shown_[i] = values[i];
        shownText_[i] = bake::ui::FormatCoefficient(values[i]);
        edits[i]->setText(shownText_[i]);
    }
}

void BakeOptionsDialog::showEvent(QShowEvent* event) {
    UpdateControls();
    QDialog::showEvent(event);
}

void BakeOptionsDialog::OnOK() {
    QLineEdit* edits[] = {kpEdit_, kiEdit_, kdEdit_};
    double values[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (edits[i]->text() == shownText_[i]) {
            values[i] = shown_[i];
        } else if (!bake::ui::ParseCoefficient(edits[i]->text(), &values[i])) {
            if (messageBox_)
                messageBox_->ShowMessage(L"Enter a number.", platform::MessageIcon::Error);
            edits[i]->setFocus();
            edits[i]->selectAll();
            return;
        }
    }
    kp = values[0];
    ki = values[1];
    kd = values[2];
    options = (ignoreDiff_->isChecked() ? bake::CONCC_OPT_IGNORE_SENSOR_DIFF : 0u) +
              (useSecondary_->isChecked() ? bake::CONCC_OPT_USE_SECONDARY_SENSOR : 0u);
    accept();
}

void BakeOptionsDialog::LoadFromPacket(const uint8_t* packet28) {
    bake::CONCC_BakeOptions rec;
    bake::DecodeBakeOptions(packet28, bake::kBakeOptionsSize, rec);
    options = rec.options;
    kp = bake::CoefficientFromWire(rec.kp);
    ki = bake::CoefficientFromWire(rec.ki);
    kd = bake::CoefficientFromWire(rec.kd);
    UpdateControls();
}

void BakeOptionsDialog::StoreToPacket(uint8_t* packet28) const {
    bake::CONCC_BakeOptions rec;
    bake::DecodeBakeOptions(packet28, bake::kBakeOptionsSize, rec);
    rec.options = options;
    rec.kp = bake::CoefficientToWire(kp);
    rec.ki = bake::CoefficientToWire(ki);
    rec.kd = bake::CoefficientToWire(kd);
    const auto bytes = bake::EncodeBakeOptions(rec);
    std::memcpy(packet28, bytes.data(), bytes.size());
}

bool BakeOptionsDialog::EditBakeOptions(uint8_t* packet28) {
    LoadFromPacket(packet28);
    if (exec() != QDialog::Accepted)
        return false;
    StoreToPacket(packet28);
    return true;
}

}  // namespace bake::ui
