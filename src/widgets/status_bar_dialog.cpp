#include "widgets/status_bar_dialog.h"

namespace widgets {

CStatusBarDialog::CStatusBarDialog(int templateId, QWidget* parent)
    : QDialog(parent), templateId_(templateId), statusBar_(new CCustomStatusBar(this)) {
    // The object exists from the start; its window shows once created.
    statusBar_->hide();
}

CStatusBarDialog::~CStatusBarDialog() = default;

bool CStatusBarDialog::CreateStatusBar() {
    if (hasStatusBar_)
        return true;
    statusBar_->setProperty("controlId", kStatusBarId);
    if (!statusBar_->SetIndicators({kResultPaneId}))
        return false;
    statusBar_->SetPaneInfo(0, kResultPaneId,
                            CCustomStatusBar::kPaneStretch | CCustomStatusBar::kPaneOwnerDraw, 0);
    statusBar_->show();
    hasStatusBar_ = true;
    RepositionBars();
    return true;
}

void CStatusBarDialog::RepositionBars() {
    if (!hasStatusBar_)
        return;
    const int h = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, height() - h, width(), h);
    statusBar_->raise();
}

QRect CStatusBarDialog::ControlArea() const {
    QRect r = rect();
    if (hasStatusBar_)
        r.setBottom(r.bottom() - statusBar_->height());
    return r;
}

void CStatusBarDialog::SetStatusText(const QString& text) {
    if (!hasStatusBar_)
        return;
    QRect pane;
    if (statusBar_->GetItemRect(0, &pane))
        statusBar_->SetPaneColours(0, statusBar_->DefaultBackground(), statusBar_->DefaultText());
    statusBar_->SetPaneText(0, text, false);
    statusBar_->repaint();
}

void CStatusBarDialog::RefreshNow() {
    repaint();
}

}  // namespace widgets
