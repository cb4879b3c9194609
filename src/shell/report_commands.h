#pragma once
// The bake report in the main frame: the "Bake report" pane for the active
// document (View menu), File > "Export Report..." (the PDF) and "Compare
// with record...", and at the end of every bake its verdict and reasons in
// the Output log, with the report shown.

#include <QObject>
#include <QPointer>
#include <QSet>

#include "bake/ui/control_frame.h"
#include "report/report_format.h"

class CDocumentManager;
class CTVR_Doc;
class QAction;
class QDockWidget;

namespace report_ui {
class CReportPane;
}

namespace shell {

class CMainFrame;

class CReportCommands : public QObject {
    Q_OBJECT
public:
    enum CommandId : int {
        ID_EXPORT_REPORT = 32790,
        ID_COMPARE_RECORD = 32791,
    };

    CReportCommands(CMainFrame* frame, CDocumentManager* documents);

    QDockWidget* Dock() const { return dock_; }
    report_ui::CReportPane* Pane() const { return pane_; }
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
    void OnPanelState(ControlState state);
    void BakeEnded(CTVR_Doc* doc);
    void ShowError(const QString& text);

    CMainFrame* frame_;
    CDocumentManager* documents_;
    QDockWidget* dock_;
    report_ui::CReportPane* pane_;
    QAction* export_;
    QAction* compare_;
    ControlState lastState_ = CF_DISCONNECTED;
    QPointer<CTVR_Doc> liveDoc_;
    QSet<const CTVR_Doc*> recorded_;  // records of bakes of this session
};

}  // namespace shell
