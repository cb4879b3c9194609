#include "shell/report_commands.h"

#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenu>
#include <QTimer>

#include <set>

#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "document/record_name.h"
#include "report/ui/report_pane.h"
#include "report/ui/report_pdf.h"
#include "shell/main_window.h"

namespace shell {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString RecordName(const document::ChartDocument* doc) {
    return doc->FilePath().isEmpty() ? doc->Title() : QFileInfo(doc->FilePath()).fileName();
}

}  // namespace

ReportCommands::ReportCommands(MainWindow* frame, document::DocumentManager* documents)
    : QObject(frame), frame_(frame), documents_(documents) {
    dock_ = new QDockWidget(tr("Bake report"), frame);
    dock_->setObjectName(QStringLiteral("BakeReportPane"));
    pane_ = new report::ui::ReportPane(dock_);
    dock_->setWidget(pane_);
    frame->addDockWidget(Qt::RightDockWidgetArea, dock_);
    // Beside the Control pane rather than under it: the metrics table wants
    // the height.
    if (QDockWidget* control = frame->ControlPane())
        frame->splitDockWidget(control, dock_, Qt::Horizontal);
    dock_->hide();
    pane_->SetGuidesShown(false);
    // The guides come and go with the report.
    connect(dock_, &QDockWidget::visibilityChanged, pane_,
            [this](bool visible) { pane_->SetGuidesShown(visible); });

    export_ = frame->Commands().exportReport;
    compare_ = frame->Commands().compareRecord;
    connect(export_, &QAction::triggered, this, [this] {
        document::ChartDocument* doc = documents_->ActiveDocument();
        if (!doc || !documents_->Context().askExportPath)
            return;
        const QString suggested =
            QFileInfo(RecordName(doc)).completeBaseName() + QStringLiteral("-report.pdf");
        const QString path =
            documents_->Context().askExportPath(frame_, suggested, QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty())
            ExportReport(path);
    });
    connect(compare_, &QAction::triggered, this, [this] {
        if (!documents_->ActiveDocument() || !documents_->Context().askImportPath)
            return;
        const QString path = documents_->Context().askImportPath(frame_);
        if (!path.isEmpty())
            CompareWith(path);
    });

    frame->MenuBarMenus().view->addAction(dock_->toggleViewAction());
    frame->MenuBarMenus().panes->addAction(dock_->toggleViewAction());

    connect(documents_, &document::DocumentManager::documentsChanged, this,
            &ReportCommands::Update);
    connect(frame->MdiArea(), &QMdiArea::subWindowActivated, this, &ReportCommands::Update);
    // Every controller's bakes are reported, each under its own name.
    auto follow = [this](ControllerSession* s) {
        lastStates_[s] = s->Panel() ? s->Panel()->State() : bake::ui::ControlState::CF_DISCONNECTED;
        connect(s, &ControllerSession::stateChanged, this,
                [this, s](bake::ui::ControlState state) { OnPanelState(s, state); });
    };
    for (ControllerSession* s : frame->Sessions()->All()) follow(s);
    connect(frame->Sessions(), &Controllers::added, this, follow);
    connect(frame->Sessions(), &Controllers::removed, this,
            [this](ControllerSession* s) { lastStates_.remove(s); });
    Update();
}

void ReportCommands::Update() {
    if (!qobject_cast<MainWindow*>(static_cast<QObject*>(frame_)))
        return;  // the frame is going away
    document::ChartDocument* doc = documents_->ActiveDocument();
    export_->setVisible(doc != nullptr);
    compare_->setVisible(doc != nullptr);
    for (document::ChartDocument* d : documents_->Documents()) {
        if (d->IsLiveBake()) {
            liveDoc_ = d;
            recorded_.insert(d);
        }
    }
    document::ChartDocumentWindow* window = documents_->WindowOf(doc);
    pane_->SetChart(window ? window->Container() : nullptr, doc ? RecordName(doc) : QString());
}

void ReportCommands::OnPanelState(ControllerSession* session, bake::ui::ControlState state) {
    const bake::ui::ControlState was =
        lastStates_.value(session, bake::ui::ControlState::CF_DISCONNECTED);
    lastStates_[session] = state;
    Update();
    // The bake's own record: still this controller's live record while the
    // state signal runs; the bake's end follows it.
    document::ChartDocument* live =
        session->Recorder() ? session->Recorder()->LiveRecord() : nullptr;
    if (!live && frame_->Sessions()->Count() == 1)
        live = liveDoc_;
    if (was == bake::ui::ControlState::CF_BAKING && state != bake::ui::ControlState::CF_BAKING &&
        live) {
        // After the document has finished its own end of the bake (saved it).
        QPointer<document::ChartDocument> doc = live;
        QPointer<ControllerSession> from = session;
        QTimer::singleShot(0, this, [this, doc, from] {
            if (doc)
                BakeEnded(doc, from);
        });
    }
}

QString ReportCommands::VerdictLine(const QString& record, const report::Report& r) {
    if (!r.verdict)
        return tr("Bake report of %1: no verdict (no process window)").arg(record);
    QString line = tr("Bake report of %1: %2 against %3")
                       .arg(record, r.verdict->pass ? tr("PASS") : tr("FAIL"), Q(r.window->name));
    QStringList reasons;
    for (const report::Failure& f : r.verdict->failures)
        reasons << Q(report::FailureText(f, *r.window));
    if (!reasons.isEmpty())
        line += QStringLiteral(": ") + reasons.join(QStringLiteral("; "));
    return line;
}

void ReportCommands::BakeEnded(document::ChartDocument* doc, ControllerSession* session) {
    document::ChartDocumentWindow* window = documents_->WindowOf(doc);
    if (!window)
        return;
    if (QMdiArea* area = frame_->MdiArea())
        area->setActiveSubWindow(window);
    pane_->SetChart(window->Container(), RecordName(doc));
    dock_->show();
    dock_->raise();
    pane_->Refresh();
    const auto& r = pane_->CurrentReport();
    if (session)
        session->SetLastVerdict(
            r && r->verdict ? (r->verdict->pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                            : QString());
    // The controller's line: among several it names the controller.
    platform::TraceLog* log =
        session ? static_cast<platform::TraceLog*>(session->Log()) : documents_->Context().log;
    if (!r || !log)
        return;
    const std::wstring line = VerdictLine(RecordName(doc), *r).toStdWString();
    if (r->verdict && !r->verdict->pass)
        log->TraceWarning(L"BakeReport", L"%ls", line.c_str());
    else
        log->TraceMessage(L"BakeReport", L"%ls", line.c_str());
}

void ReportCommands::ShowError(const QString& text) {
    if (platform::MessageBox* box = frame_->Messages())
        box->ShowMessage(text.toStdWString(), platform::MessageIcon::Error);
}

bool ReportCommands::ExportReport(const QString& path) {
    document::ChartDocumentWindow* window = documents_->ActiveWindow();
    if (!window)
        return false;
    document::ChartDocument* doc = window->Document();
    pane_->SetChart(window->Container(), RecordName(doc));
    pane_->Refresh();
    const auto& r = pane_->CurrentReport();
    if (!r) {
        ShowError(tr("This document has no chart \"%1\" to report on.").arg(pane_->ChartName()));
        return false;
    }
    report::ui::ReportPdfPage page;
    page.record = RecordName(doc);
    // The controller that recorded it, where the program still knows it.
    QString name = frame_->DeviceName(), address = frame_->DeviceAddress();
    for (ControllerSession* s : frame_->Sessions()->All()) {
        if (doc->Controller() && s->Recorder() &&
            s->Recorder()->Controller().get() == doc->Controller()) {
            name = s->DeviceName();
            address = s->Host();
        }
    }
    page.controller = recorded_.contains(doc) && !address.isEmpty()
                          ? QStringLiteral("%1 (%2)").arg(name, address)
                          : tr("not recorded in the file");
    const QDateTime fromName = document::RecordFileTime(QFileInfo(doc->FilePath()).fileName());
    page.date = (fromName.isValid() ? fromName : doc->BakeStart())
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    page.chart = window->Container()->RenderFrame(1.0).copy();
    const std::vector<chart::ChartPoint> curve = pane_->Curve();
    page.curve = curve;
    page.report = &*r;
    QString error;
    if (!report::ui::WriteReportPdf(path, page, error)) {
        ShowError(error);
        return false;
    }
    if (platform::TraceLog* log = documents_->Context().log) {
        const std::wstring p = path.toStdWString();
        log->TraceMessage(L"ExportReport", L"Bake report written to %ls", p.c_str());
    }
    return true;
}

bool ReportCommands::CompareWith(const QString& path) {
    document::ChartDocumentWindow* window = documents_->ActiveWindow();
    if (!window)
        return false;
    document::ChartDocument* doc = window->Document();
    chart::ChartSet model;
    std::set<int> ids;
    std::wstring error;
    if (!model.LoadChartsXml(path.toStdWString(), ids, error)) {
        ShowError(QString::fromStdWString(error));
        return false;
    }
    pane_->SetChart(window->Container(), RecordName(doc));
    const chart::ChartSeries* s = model.FindChartByName(pane_->ChartName().toStdWString());
    if (!s || !s->HasPoints()) {
        ShowError(tr("%1 has no chart \"%2\" to compare with.")
                      .arg(QFileInfo(path).fileName(), pane_->ChartName()));
        return false;
    }
    pane_->SetReference(s->Points().ToVector(), QFileInfo(path).fileName());
    dock_->show();
    dock_->raise();
    return true;
}

}  // namespace shell
