#include "discovery/ui/ip_address_edit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "discovery/ip_fields.h"

namespace discovery::ui {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int i = 0; i < 4; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("field%1").arg(i));
        box->setFrame(false);
        box->setAlignment(Qt::AlignCenter);
        box->setMaxLength(3);
        box->setValidator(digits);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i] { OnEdited(i); });
        connect(box, &QLineEdit::textChanged, this, &IpAddressEdit::addressChanged);
        fields_[i] = box;
        layout->addWidget(box, 1);
        if (i < 3) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
    }
    setFocusProxy(fields_[0]);
}

void IpAddressEdit::SetAddress(uint32_t value) {
    for (int i = 0; i < 4; ++i) fields_[i]->setText(QString::number(FieldOf(value, i)));
}

int IpAddressEdit::GetAddress(uint32_t* value) const {
    uint32_t f[4] = {};
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        const QString text = fields_[i]->text();
        if (text.isEmpty())
            continue;
        ++filled;
        f[i] = std::min(255u, text.toUInt());
    }
    *value = MakeFields(f[0], f[1], f[2], f[3]);
    return filled;
}

uint32_t IpAddressEdit::Address() const {
    uint32_t value = 0;
    GetAddress(&value);
    return value;
}

bool IpAddressEdit::IsBlank() const {
    for (QLineEdit* f : fields_)
        if (!f->text().isEmpty())
            return false;
    return true;
}

void IpAddressEdit::ClearAddress() {
    for (QLineEdit* f : fields_) f->clear();
}

void IpAddressEdit::FocusField(int index, bool selectAll, bool atEnd) {
    if (index < 0 || index > 3)
        return;
    QLineEdit* f = fields_[index];
    f->setFocus(Qt::OtherFocusReason);
    if (selectAll) {
        f->selectAll();
    } else {
        f->setCursorPosition(atEnd ? f->text().size() : 0);
    }
}

void IpAddressEdit::OnEdited(int index) {
    QLineEdit* f = fields_[index];
    const QString text = f->text();
    if (text.isEmpty())
        return;
    if (text.toUInt() > 255)
        f->setText(QStringLiteral("255"));
    if (f->text().size() == 3 && f->cursorPosition() == 3 && index < 3)
        FocusField(index + 1, true, false);
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    int index = -1;
    for (int i = 0; i < 4; ++i)
        if (watched == fields_[i])
            index = i;
    if (index < 0)
        return QFrame::eventFilter(watched, event);
    QLineEdit* f = fields_[index];
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool noSelection = !f->hasSelectedText();
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Space:
            // A separator ends a box typed into. Right after moving on by
            // itself the next box is selected: the separator the operator
            // types anyway must not skip it.
            if (!f->text().isEmpty() && noSelection && f->cursorPosition() == f->text().size() &&
                index < 3)
                FocusField(index + 1, true, false);
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Left:
            if (noSelection && f->cursorPosition() == 0 && index > 0) {
                FocusField(index - 1, false, true);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (noSelection && f->cursorPosition() == f->text().size() && index < 3) {
                FocusField(index + 1, false, false);
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace discovery::ui
