#pragma once
// A profile document: the table of points beside the chart control with its
// one chart "Profile", the rules the profile breaks, its metrics against a
// chosen process window, and the commands that save it and send it to the
// controller. Points are dragged on the chart (snapped; Shift keeps the
// time) and typed in the table; every edit can be undone.

#include <QString>
#include <QWidget>
#include <functional>

#include "bake/profile_upload.h"
#include "profile/ui/profile_edit_model.h"

namespace chart::ui {
class ChartWidget;
}
namespace platform {
class MessageBox;
}
class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace profile::ui {

enum class CloseChoice { Save, Discard, Cancel };

class ProfileEditor : public QWidget {
    Q_OBJECT
public:
    explicit ProfileEditor(QWidget* parent = nullptr);

    ProfileEditModel* Model() { return &model_; }
    const profile::Profile& Profile() const { return model_.Profile(); }

    // A new document starts from `p` with nothing to undo.
    void SetProfile(const profile::Profile& p);
    // Loads a profile file; false with `error` set when it cannot be read.
    bool Open(const QString& path, QString* error);
    // Writes the profile file; false with `error` set on failure.
    bool SaveTo(const QString& path, QString* error);
    const QString& FilePath() const { return path_; }
    QString Title() const;

    // Where "Upload to controller" sends the profile (the control panel's
    // one call for it); unset: nothing is sent.
    void SetProfileSender(bake::ProfileSender send) {
        send_ = std::move(send);
        UpdateCommands();
    }
    // Whether the controller takes a profile now (the panel is Idle): the
    // shell follows the panel's state signal. Upload and read only then.
    void SetControllerIdle(bool idle) {
        controllerIdle_ = idle;
        UpdateCommands();
    }
    void SetMessageBox(platform::MessageBox* box) { messages_ = box; }
    // "Read from controller": the shell asks the controller and opens what
    // it reports in a new profile document.
    void SetReader(std::function<void()> read) {
        read_ = std::move(read);
        UpdateCommands();
    }
    // "Save As...": asks for a path; empty = cancelled.
    void SetSavePathAsker(std::function<QString(QWidget*, const QString&)> ask) {
        askSavePath_ = std::move(ask);
    }
    void UpdateCommands();
    // Asked when an editor with unsaved edits closes; unset: it closes.
    void SetCloseQuestion(std::function<CloseChoice(QWidget*, const QString& title)> ask) {
        askClose_ = std::move(ask);
    }
    bool IsModified() const { return !model_.UndoStack()->isClean(); }
    // "Save As...": asks for a path and saves; false when cancelled or failed (shown).
    bool SaveAs();

    // The process window the metrics are measured against ("pbfree", "snpb").
    void SetWindow(const QString& name);
    QString WindowName() const;

    // Sends the profile; false when a rule is broken or the panel is not Idle.
    bool Upload();
    // Adds a point after the current row (at the end with none); deletes
    // the current row.
    void AddPoint();
    void DeletePoint();

    chart::ui::ChartWidget* Chart() const { return chart_; }
    QTableWidget* Table() const { return table_; }
    QLabel* RulesLabel() const { return rules_; }
    QLabel* MetricsLabel() const { return metrics_; }
    QPushButton* UploadButton() const { return upload_; }
    QPushButton* ReadButton() const { return read_button_; }
    QAction* UndoAction() const { return undoAction_; }
    QAction* RedoAction() const { return redoAction_; }
    // The point being dragged, or -1.
    int DraggedPoint() const { return dragIndex_; }

signals:
    void titleChanged(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Refresh();
    void FillTable();
    void RefreshChart();
    void RefreshRulesAndMetrics();
    void OnCellChanged(int row, int column);
    void FitChart();

    ProfileEditModel model_;
    QString path_;
    QTableWidget* table_ = nullptr;
    chart::ui::ChartWidget* chart_ = nullptr;
    QLabel* rules_ = nullptr;
    QLabel* metrics_ = nullptr;
    QComboBox* window_ = nullptr;
    QPushButton* upload_ = nullptr;
    QPushButton* read_button_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    bake::ProfileSender send_;
    bool controllerIdle_ = false;
    platform::MessageBox* messages_ = nullptr;
    std::function<void()> read_;
    std::function<QString(QWidget*, const QString&)> askSavePath_;
    std::function<CloseChoice(QWidget*, const QString&)> askClose_;
    int chartId_ = -1;
    bool filling_ = false;
    int dragIndex_ = -1;
    int dragSerial_ = 0;
    profile::ChartPoint dragOrigin_{};
};

}  // namespace profile::ui
