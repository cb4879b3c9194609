#pragma once
// A dialog with a one-pane status line along its bottom edge, drawn in the
// pane's own colours. The derived dialog creates the line while it opens and
// lays the bars out again after each resize.

#include <QDialog>
#include <QString>

#include "widgets/custom_status_bar.h"

namespace widgets {

class StatusBarDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kStatusBarId = 59393;  // the status line's control id
    static constexpr int kResultPaneId = 127;   // its one pane, "<result>" at first

    StatusBarDialog(int templateId, QWidget* parent = nullptr);
    ~StatusBarDialog() override;

    int TemplateId() const { return templateId_; }
    // 1 once the status line exists.
    bool HasStatusBar() const { return hasStatusBar_; }
    CustomStatusBar* StatusBar() const { return statusBar_; }

    // Pane 0's text in the default colours; nothing without a status line.
    void SetStatusText(const QString& text);
    // Repaints the dialog now.
    virtual void RefreshNow();

protected:
    // While the dialog opens: the status line with its stretching,
    // owner-drawn pane. False when it could not be made; the dialog then
    // works without one.
    bool CreateStatusBar();
    // The status line along the bottom, across the whole width.
    void RepositionBars();
    // The client area left to the dialog's controls.
    QRect ControlArea() const;

private:
    const int templateId_;
    CustomStatusBar* statusBar_;
    bool hasStatusBar_ = false;
};

}  // namespace widgets
