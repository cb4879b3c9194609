#include "widgets/status_bar_dialog.h"

namespace widgets {

StatusBarDialog::StatusBarDialog(int templateId, QWidget* parent)
    : QDialog(parent), templateId_(templateId), statusBar_(new CustomStatusBar(this)) {
    // The object exists from the start; its window shows once created.
    statusBar_->hide();
}

StatusBarDialog::~StatusBarDialog() = default;

bool StatusBarDialog::CreateStatusBar() {
    if (hasStatusBar_)
        return true;
    statusBar_->setProperty("controlId", kStatusBarId);
    if (!statusBar_->SetIndicators({kResultPaneId}))
        return false;
    statusBar_->SetPaneInfo(0, kResultPaneId,
                            CustomStatusBar::kPaneStretch | CustomStatusBar::kPaneOwnerDraw, 0);
    statusBar_->show();
    hasStatusBar_ = true;
    RepositionBars();
    return true;
}

void StatusBarDialog::RepositionBars() {
    if (!hasStatusBar_)
        return;
    const int h = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, height() - h, width(), h);
    statusBar_->raise();
}

QRect StatusBarDialog::ControlArea() const {
    QRect r = rect();
    if (hasStatusBar_)
        r.setBottom(r.bottom() - statusBar_->height());
    return r;
}

void StatusBarDialog::SetStatusText(const QString& text) {
    if (!hasStatusBar_)
        return;
    QRect pane;
    if (statusBar_->GetItemRect(0, &pane))
        statusBar_->SetPaneColours(0, statusBar_->DefaultBackground(), statusBar_->DefaultText());
    statusBar_->SetPaneText(0, text, false);
    statusBar_->repaint();
}

void StatusBarDialog::RefreshNow() {
    repaint();
}

}  // namespace widgets
