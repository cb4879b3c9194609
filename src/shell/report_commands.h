#pragma once
// The bake report in the main frame: the "Bake report" pane for the active
// document (View menu), File > "Export Report..." (the PDF) and "Compare
// with record...", and at the end of every bake its verdict and reasons in
// the Output log, with the report shown.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include "bake/ui/control_panel.h"
#include "report/report_format.h"

namespace document {
class DocumentManager;
}
namespace document {
class ChartDocument;
}
class QAction;
class QDockWidget;

namespace report::ui {
class ReportPane;
}

namespace shell {

class MainWindow;
class ControllerSession;

class ReportCommands : public QObject {
    Q_OBJECT
public:
    enum CommandId : int {
        ID_EXPORT_REPORT = 32790,
        ID_COMPARE_RECORD = 32791,
    };

    ReportCommands(MainWindow* frame, document::DocumentManager* documents);

    QDockWidget* Dock() const { return dock_; }
    report::ui::ReportPane* Pane() const { return pane_; }
    QAction* ExportAction() const { return export_; }
    QAction* CompareAction() const { return compare_; }

    // Writes the active document's report as a PDF; false (shown) on failure.
    bool ExportReport(const QString& path);
    // Draws the chosen chart of the record at `path` as the active
    // document's reference; false (shown) when it cannot be had.
    bool CompareWith(const QString& path);
    // The line the Output log gets for a finished bake.
    static QString VerdictLine(const QString& record, const report::Report& r);

private:
    void Update();
    void OnPanelState(ControllerSession* session, bake::ui::ControlState state);
    // `session`: the controller that baked it, if it is still there.
    void BakeEnded(document::ChartDocument* doc, ControllerSession* session);
    void ShowError(const QString& text);

    MainWindow* frame_;
    document::DocumentManager* documents_;
    QDockWidget* dock_;
    report::ui::ReportPane* pane_;
    QAction* export_;
    QAction* compare_;
    QHash<const ControllerSession*, bake::ui::ControlState> lastStates_;
    QPointer<document::ChartDocument> liveDoc_;
    QSet<const document::ChartDocument*> recorded_;  // records of bakes of this session
};

}  // namespace shell
