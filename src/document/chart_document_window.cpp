#include "document/chart_document_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>

#include "chart/ui/chart_menus.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/chart_widget.h"

namespace document {

namespace {

constexpr double kHomeX1 = 0, kHomeX2 = 260, kHomeY1 = 0, kHomeY2 = 300;

QString WithExtension(QString path, const QString& extension) {
    if (!path.isEmpty() && !path.endsWith(extension, Qt::CaseInsensitive))
        path += extension;
    return path;
}

}  // namespace

ChartDocumentWindow::ChartDocumentWindow(std::unique_ptr<ChartDocument> document, QWidget* parent)
    : QMdiSubWindow(parent),
      document_(std::move(document)),
      container_(
          new chart::ui::ChartWidget(document_->Set(), nullptr, document_->Context().messages)) {
    setAttribute(Qt::WA_DeleteOnClose);
    container_->setObjectName(QStringLiteral("ChartContainer"));
    container_->setProperty("controlId", kContainerId);
    container_->setFocusPolicy(Qt::StrongFocus);
    container_->installEventFilter(this);
    setWidget(container_);
    // The main frame's commands carry the keys for the active document (its
    // File > Close has Ctrl+W); the window menu's copies would make every
    // one of them ambiguous, so that the key did nothing.
    if (QMenu* menu = systemMenu()) {
        for (QAction* a : menu->actions()) a->setShortcuts({});
    }
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

    ChartDocument* doc = document_.get();
    connect(doc, &ChartDocument::titleChanged, this, &ChartDocumentWindow::UpdateTitle);
    connect(doc, &ChartDocument::modifiedChanged, this, &QWidget::setWindowModified);
    connect(doc, &ChartDocument::pointsAppended, this, &ChartDocumentWindow::FollowNewestPoint);
    connect(doc, &ChartDocument::wholeRecordShown, this, &ChartDocumentWindow::ApplyHomeRange);
    UpdateTitle();
    ApplyHomeRange();
}

ChartDocumentWindow::~ChartDocumentWindow() {
    // The control observes the document's charts: it goes first.
    delete container_;
}

void ChartDocumentWindow::UpdateTitle() {
    setWindowTitle(document_->Title() + QStringLiteral("[*]"));
    setWindowModified(document_->IsModified());
}

// ---- the view -----------------------------------------------------------------

void ChartDocumentWindow::ApplyHomeRange() {
    // A control without a size keeps its view; the range then waits for the
    // first resize that gives it one.
    homePending_ = container_->width() <= 0 || container_->height() <= 0;
    // "Reset container" comes back to the same range: it is the home range.
    const std::optional<chart::ui::DataRange> fit =
        document_->ShowsWholeRecord() ? chart::ui::FitAllRange(document_->Set()) : std::nullopt;
    if (fit)
        container_->ZoomToRange(fit->minX, fit->maxX, fit->minY, fit->maxY);
    else
        container_->ZoomToRange(kHomeX1, kHomeX2, kHomeY1, kHomeY2);
    follow_.Resume();
}

void ChartDocumentWindow::resizeEvent(QResizeEvent* event) {
    // The sub-window's layout has given the control its new size already.
    QMdiSubWindow::resizeEvent(event);
    // Until the operator moves the view, a bigger window shows the home range
    // bigger (not the same pixels plus empty space below zero), with the
    // newest point still in sight.
    if (homePending_ || follow_.Following()) {
        ApplyHomeRange();
        FollowNewestPoint();
    }
}

bool ChartDocumentWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container_ && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        follow_.Resume();  // a double click fits the view to all points
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

document::ChartViewState ChartDocumentWindow::ViewState() const {
    document::ChartViewState s;
    s.mapping = container_->Mapping();
    s.hasSelection = container_->HasSelection();
    s.selectionStart = container_->SelectionStart();
    s.selectionEnd = container_->SelectionEnd();
    return s;
}

void ChartDocumentWindow::FollowNewestPoint() {
    const bool dragging =
        container_->IsPanning() || container_->IsSelecting() || container_->IsZoomBoxing();
    if (!follow_.ShouldFollow(ViewState(), dragging))
        return;
    const int id = document_->Channels().Id(document::kTempMain);
    const chart::ChartSeries* main = document_->Set().FindChart(id);
    if (main && main->HasPoints()) {
        const chart::ChartPoint& p = main->Points().back();
        container_->EnsurePointVisible(id, p.x, p.y);
    }
    follow_.Settled(ViewState());
}

// ---- commands -----------------------------------------------------------------

bool ChartDocumentWindow::Save() {
    return document_->FilePath().isEmpty() ? SaveAs() : document_->SaveTo(document_->FilePath());
}

bool ChartDocumentWindow::SaveAs() {
    const DocumentContext& context = document_->Context();
    if (!context.askSavePath)
        return false;
    const QString path = WithExtension(context.askSavePath(this, document_->SuggestedPath()),
                                       QLatin1String(ChartDocument::kExtension));
    return !path.isEmpty() && document_->SaveTo(path);
}

void ChartDocumentWindow::ImportChart() {
    const DocumentContext& context = document_->Context();
    const QString path = context.askImportPath ? context.askImportPath(this) : QString();
    if (!path.isEmpty())
        document_->ImportChart(path);
}

QString ChartDocumentWindow::AskExportPath(const QString& extension, const QString& filter) {
    const DocumentContext& context = document_->Context();
    if (!context.askExportPath)
        return {};
    const QString suggested = QFileInfo(document_->SuggestedPath()).completeBaseName() + extension;
    return WithExtension(context.askExportPath(this, suggested, filter), extension);
}

void ChartDocumentWindow::ExportCsv() {
    const QString path = AskExportPath(QStringLiteral(".csv"), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty())
        document_->ExportCsv(path);
}

void ChartDocumentWindow::ExportImage() {
    const QString path =
        AskExportPath(QStringLiteral(".png"), QStringLiteral("PNG images (*.png)"));
    std::wstring error;
    platform::MessageBox* box = document_->Context().messages;
    if (!path.isEmpty() && !ExportImage(path, error) && box)
        box->ShowMessage(error, platform::MessageIcon::Error);
}

bool ChartDocumentWindow::ExportImage(const QString& path, std::wstring& error) {
    // What the window shows, pixel for pixel at the control's size.
    const QImage frame = container_->RenderFrame(1.0);
    if (frame.save(path, "PNG"))
        return true;
    error = L"Unable to write " + path.toStdWString();
    return false;
}

// ---- closing ------------------------------------------------------------------

void ChartDocumentWindow::closeEvent(QCloseEvent* event) {
    if (document_->IsModified()) {
        const DocumentContext& context = document_->Context();
        const SaveChoice choice = context.askSaveChanges
                                      ? context.askSaveChanges(this, document_->Title())
                                      : SaveChoice::Cancel;
        // The question ran an event loop: the record may have been saved
        // meanwhile (its bake ended), which makes saving it again harmless.
        if (choice == SaveChoice::Cancel ||
            (choice == SaveChoice::Save && document_->IsModified() && !Save())) {
            event->ignore();
            return;
        }
    }
    document_->Close();
    QMdiSubWindow::closeEvent(event);
}

}  // namespace document
