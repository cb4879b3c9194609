#pragma once
// "Process Windows": the operator's own windows, written as window-file text
// (ts_min, ts_max, t_l and <metric>_min / <metric>_max lines) under a name,
// checked when saved and kept in the settings store.

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace report::ui {

class WindowDialog : public QDialog {
    Q_OBJECT
public:
    // `start` names the window to show first (a built-in one is offered as
    // a template under a new name).
    explicit WindowDialog(const QString& start, QWidget* parent = nullptr);

    // Saves what is in the editor; false with the reason shown in the dialog.
    bool SaveCurrent();
    QString Error() const;
    QLineEdit* NameEdit() const { return name_; }
    QPlainTextEdit* TextEdit() const { return text_; }

private:
    void Load(const QString& name);
    void Reload();

    QListWidget* list_;
    QLineEdit* name_;
    QPlainTextEdit* text_;
    QLabel* error_;
};

}  // namespace report::ui
