#include "document/chart_document_window.h"

#include <QEvent>
#include <QFocusEvent>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>

#include <set>

#include "bake/profile_upload.h"
#include "chart/chart_csv.h"
#include "chart/ui/chart_menus.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/chart_widget.h"

namespace document {

namespace {

constexpr double kHomeX1 = 0, kHomeX2 = 260, kHomeY1 = 0, kHomeY2 = 300;

std::wstring Wide(const QString& s) {
    return s.toStdWString();
}

}  // namespace

ChartDocumentWindow::ChartDocumentWindow(platform::MessageBox* messages, QWidget* parent)
    : QWidget(parent), messages_(messages), container_(new chart::ui::ChartWidget(this, messages)) {
    // The container covers the view; the view never paints a background of its own.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    container_->setObjectName(QStringLiteral("ChartContainer"));
    container_->setProperty("controlId", kContainerId);
    container_->setFocusPolicy(Qt::StrongFocus);
    container_->installEventFilter(this);
    // "Zoom to fit" and "Reset container" bring the whole picture back: the
    // live record follows its newest point again.
    menuRunner_ = [](QMenu& menu, const QPoint& at) {
        QAction* chosen = menu.exec(at);
        return chosen ? chosen->data().toInt() : 0;
    };
    container_->SetMenuRunner([this](QMenu& menu, const QPoint& at) {
        const int id = menuRunner_ ? menuRunner_(menu, at) : 0;
        if (id == chart::ui::kCmdZoomToFit || id == chart::ui::kCmdResetContainer)
            follow_.Resume();
        return id;
    });
}

ChartDocumentWindow::~ChartDocumentWindow() = default;

bool ChartDocumentWindow::CreateChannelCharts() {
    return channels_.Create(container_->Set());
}

void ChartDocumentWindow::InitialUpdate() {
    container_->setGeometry(rect());
    container_->Set().SetXValueFormatter(document::FormatAxisValue);
    container_->Set().SetYValueFormatter(document::FormatAxisValue);
    ApplyHomeRange();
    container_->Set().SetLegendVisible(true);
}

void ChartDocumentWindow::FitHomeToData() {
    homeFitsData_ = true;
    ApplyHomeRange();
}

void ChartDocumentWindow::ApplyHomeRange() {
    // A control without a size keeps its view; the range then waits for the
    // first resize that gives it one.
    homePending_ = container_->width() <= 0 || container_->height() <= 0;
    // "Reset container" comes back to the same range: it is the home range.
    const std::optional<chart::ui::DataRange> fit =
        homeFitsData_ ? chart::ui::FitAllRange(container_->Set()) : std::nullopt;
    if (fit)
        container_->ZoomToRange(fit->minX, fit->maxX, fit->minY, fit->maxY);
    else
        container_->ZoomToRange(kHomeX1, kHomeX2, kHomeY1, kHomeY2);
    follow_.Resume();
}

void ChartDocumentWindow::resizeEvent(QResizeEvent* event) {
    container_->setGeometry(0, 0, event->size().width(), event->size().height());
    // Until the operator moves the view, a bigger window shows the home range
    // bigger (not the same pixels plus empty space below zero), with the
    // newest point still in sight.
    if (homePending_ || follow_.Following()) {
        ApplyHomeRange();
        FollowNewestPoint();
    }
    QWidget::resizeEvent(event);
}

void ChartDocumentWindow::focusInEvent(QFocusEvent* event) {
    container_->setFocus(event->reason());
    QWidget::focusInEvent(event);
}

bool ChartDocumentWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container_ && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        follow_.Resume();  // a double click fits the view to all points
    }
    return QWidget::eventFilter(watched, event);
}

// ---- live data --------------------------------------------------------------

document::ChartViewState ChartDocumentWindow::ViewState() const {
    document::ChartViewState s;
    s.mapping = container_->Mapping();
    s.hasSelection = container_->HasSelection();
    s.selectionStart = container_->SelectionStart();
    s.selectionEnd = container_->SelectionEnd();
    return s;
}

void ChartDocumentWindow::AppendGaugeData(const bake::CONCC_GaugeData& gauge) {
    if (!channels_.AppendGaugeData(container_->Set(), gauge))
        return;
    FollowNewestPoint();
    emit recordChanged();
}

void ChartDocumentWindow::FollowNewestPoint() {
    const bool dragging =
        container_->IsPanning() || container_->IsSelecting() || container_->IsZoomBoxing();
    if (!follow_.ShouldFollow(ViewState(), dragging))
        return;
    const int id = channels_.Id(document::kTempMain);
    const chart::ChartSeries* main = container_->Set().FindChart(id);
    if (main && main->HasPoints()) {
        const chart::ChartPoint& p = main->Points().back();
        container_->EnsurePointVisible(id, p.x, p.y);
    }
    follow_.Settled(ViewState());
}

void ChartDocumentWindow::ShowProfile(const bake::CONCC_TempProfile& report) {
    channels_.ShowProfile(container_->Set(), report);
}

// ---- files ------------------------------------------------------------------

bool ChartDocumentWindow::LoadDocumentCharts(const QString& path, std::wstring& error) {
    std::set<int> ids;
    return container_->Set().LoadChartsXml(Wide(path), ids, error);
}

bool ChartDocumentWindow::SaveDocumentCharts(const QString& path, std::wstring& error) const {
    std::set<int> ids;
    container_->Set().GetChartIds(ids);
    if (ids.empty()) {
        error = L"No charts to save!";
        return false;
    }
    return container_->Set().SaveChartsXml(Wide(path), ids, error);
}

bool ChartDocumentWindow::ImportChart(const QString& path) {
    std::set<int> ids;
    std::wstring error;
    if (container_->Set().LoadChartsXml(Wide(path), ids, error))
        return true;
    if (messages_)
        messages_->ShowMessage(error, platform::MessageIcon::Error);
    return false;
}

void ChartDocumentWindow::UploadBakeProfile(
    const bake::ProfileSender& send, const std::function<void(const UploadOutcome&)>& announce) {
    UploadOutcome out;
    auto tell = [&] {
        if (announce)
            announce(out);
    };
    std::set<int> ids, selected;
    container_->Set().GetChartIds(ids);
    container_->Set().GetSelectedChartIds(selected);
    const bake::ProfileChartChoice choice = bake::ChooseProfileChart(ids, selected);
    if (choice.problem) {
        out.text = choice.problem;
        tell();
        if (messages_)
            messages_->ShowMessage(choice.problem, platform::MessageIcon::None);
        return;
    }
    const chart::ChartSeries* series = container_->Set().FindChart(choice.id);
    if (!series) {
        out.text = bake::ProfileUploadProblem(false, 0);
        tell();
        send(std::nullopt);
        return;
    }
    out.chartName = series->name;
    out.pointCount = series->Points().size();
    // The panel shows its own refusal; the log needs to know of it too.
    if (const wchar_t* problem = bake::ProfileUploadProblem(true, out.pointCount))
        out.text = problem;
    else
        out.sent = true;
    tell();
    const auto samples = bake::ToProfileSamples(series->Points());
    send(samples);
}

bool ChartDocumentWindow::ExportCsv(const QString& path, std::wstring& error) const {
    std::set<int> ids;
    container_->Set().GetChartIds(ids);
    return chart::SaveChartsCsv(container_->Set(), ids, Wide(path), error);
}

bool ChartDocumentWindow::ExportImage(const QString& path, std::wstring& error) {
    // What the window shows, pixel for pixel at the control's size.
    const QImage frame = container_->RenderFrame(1.0);
    if (frame.save(path, "PNG"))
        return true;
    error = L"Unable to write " + Wide(path);
    return false;
}

}  // namespace document
