#include "document/chart_document.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>

#include <set>

#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/record_name.h"

namespace document {

namespace {

QString WithExtension(QString path, const QString& extension) {
    if (!path.isEmpty() && !path.endsWith(extension, Qt::CaseInsensitive))
        path += extension;
    return path;
}

// What failed about the file itself the reader and the writer say with its
// name; what failed inside it they say without, and the name goes first.
std::wstring NamingTheFile(const std::wstring& path, const std::wstring& error) {
    if (error.find(L'"' + path + L'"') != std::wstring::npos)
        return error;
    return path + L": " + error;
}

}  // namespace

ChartDocument::ChartDocument(std::shared_ptr<DocumentContext> context, QWidget* parent)
    : QMdiSubWindow(parent),
      context_(std::move(context)),
      view_(new ChartDocumentWindow(context_->messages)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view_);
    // The main frame's commands carry the keys for the active document (its
    // File > Close has Ctrl+W); the window menu's copies would make every
    // one of them ambiguous, so that the key did nothing.
    if (QMenu* menu = systemMenu()) {
        for (QAction* a : menu->actions()) a->setShortcuts({});
    }
    opened_ = QDateTime::currentDateTime();
    recoveryTimer_.setInterval(context_->recoveryIntervalMs);
    connect(&recoveryTimer_, &QTimer::timeout, this, [this] { StartRecoveryWrite(); });
    connect(view_, &ChartDocumentWindow::recordChanged, this, [this] { SetModified(true); });
}

ChartDocument::~ChartDocument() {
    recoveryWriter_.Wait();
}

ChartDocument* ChartDocument::NewRecord(const std::shared_ptr<DocumentContext>& context,
                                        uint64_t startTime, QWidget* parent) {
    auto* doc = new ChartDocument(context, parent);
    doc->untitledName_ = QStringLiteral("Chart%1").arg(context->nextNumber++);
    if (!doc->view_->CreateChannelCharts()) {
        doc->ShowError(L"Out of memory.");
        delete doc;
        return nullptr;
    }
    doc->view_->SetBakeStartTime(startTime);
    doc->UpdateTitle();
    doc->view_->InitialUpdate();
    return doc;
}

ChartDocument* ChartDocument::NewBlankDocument(const std::shared_ptr<DocumentContext>& context,
                                               QWidget* parent) {
    auto* doc = new ChartDocument(context, parent);
    doc->untitledName_ = QStringLiteral("Chart%1").arg(context->nextNumber++);
    doc->UpdateTitle();
    doc->view_->InitialUpdate();
    return doc;
}

ChartDocument* ChartDocument::OpenDocument(const std::shared_ptr<DocumentContext>& context,
                                           const QString& path, QWidget* parent) {
    auto* doc = new ChartDocument(context, parent);
    std::wstring error;
    const std::wstring shown = QDir::toNativeSeparators(path).toStdWString();
    if (!doc->view_->LoadDocumentCharts(path, error)) {
        if (context->log)
            context->log->TraceError(L"OpenDocument", L"Cannot open %ls",
                                     NamingTheFile(shown, error).c_str());
        doc->ShowError(error);
        delete doc;
        return nullptr;
    }
    doc->path_ = QFileInfo(path).absoluteFilePath();
    doc->UpdateTitle();
    doc->view_->InitialUpdate();
    // A file is shown whole, whatever span of time it holds.
    doc->view_->FitHomeToData();
    if (context->log)
        context->log->TraceMessage(L"OpenDocument", L"Opened %ls", shown.c_str());
    return doc;
}

QString ChartDocument::Title() const {
    return path_.isEmpty() ? untitledName_ : QFileInfo(path_).fileName();
}

void ChartDocument::UpdateTitle() {
    setWindowTitle(Title() + QStringLiteral("[*]"));
    setWindowModified(modified_);
}

void ChartDocument::SetModified(bool modified) {
    if (modified_ == modified)
        return;
    modified_ = modified;
    setWindowModified(modified_);
    emit modifiedChanged(modified_);
}

void ChartDocument::ShowError(const std::wstring& text) {
    if (context_->messages)
        context_->messages->ShowMessage(text, platform::MessageIcon::Error);
}

// ---- saving -----------------------------------------------------------------

QString ChartDocument::SuggestedPath() const {
    if (!path_.isEmpty())
        return path_;
    if (liveBake_ || !recoveryPath_.isEmpty() || view_->Channels().Created())
        return QDir(context_->recordsFolder).filePath(document::RecordFileName(BakeStart()));
    return untitledName_ + QLatin1String(kExtension);
}

bool ChartDocument::Save() {
    return path_.isEmpty() ? SaveAs() : SaveTo(path_);
}

bool ChartDocument::SaveAs() {
    if (!context_->askSavePath)
        return false;
    const QString path =
        WithExtension(context_->askSavePath(this, SuggestedPath()), QLatin1String(kExtension));
    return !path.isEmpty() && SaveTo(path);
}

bool ChartDocument::WriteDocument(const QString& path, std::wstring& error) {
    const std::wstring shown = QDir::toNativeSeparators(path).toStdWString();
    if (!view_->SaveDocumentCharts(path, error)) {
        if (context_->log)
            context_->log->TraceError(L"SaveDocument", L"Cannot save %ls",
                                      NamingTheFile(shown, error).c_str());
        return false;
    }
    if (context_->log)
        context_->log->TraceMessage(L"SaveDocument", L"Saved %ls", shown.c_str());
    return true;
}

bool ChartDocument::SaveTo(const QString& path) {
    std::wstring error;
    if (!WriteDocument(path, error)) {
        ShowError(error);
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    SetModified(false);
    UpdateTitle();
    RemoveRecoveryFile();
    if (context_->saved)
        context_->saved(path_);
    return true;
}

QDateTime ChartDocument::BakeStart() const {
    return document::BakeStartLocalTime(opened_, view_->BakeStartTime(),
                                        view_->Channels().ReportedStartTime());
}

bool ChartDocument::IsUntouched() const {
    if (!path_.isEmpty() || modified_ || liveBake_ || !recoveryPath_.isEmpty() ||
        !view_->Channels().Created())
        return false;
    std::set<int> ids;
    view_->Container()->Set().GetChartIds(ids);
    if (ids.size() != document::kChannelCount)
        return false;  // a chart was imported, even an empty one
    for (int id : ids) {
        const chart::ChartSeries* series = view_->Container()->Set().FindChart(id);
        if (!series || series->HasPoints())
            return false;
    }
    return true;
}

// ---- the live bake ----------------------------------------------------------

void ChartDocument::AppendGauge(const bake::CONCC_GaugeData& gauge) {
    view_->AppendGaugeData(gauge);
}

void ChartDocument::ShowProfile(const bake::CONCC_TempProfile& report) {
    view_->ShowProfile(report);
}

void ChartDocument::BeginLiveBake() {
    liveBake_ = true;
    // The name is claimed now, not at the first write: two bakes that begin
    // in the same second (two programs) must never share a file.
    EnsureRecoveryFile();
    recoveryTimer_.start();
}

void ChartDocument::EndLiveBake() {
    if (!liveBake_)
        return;
    liveBake_ = false;
    recoveryTimer_.stop();
    // The finished record is shown whole.
    view_->FitHomeToData();
    if (modified_ && !path_.isEmpty())
        SaveNamedRecord();
    else if (modified_)
        AutoSave();
}

void ChartDocument::SaveNamedRecord() {
    // The operator chose the record's file while the bake ran: the whole
    // bake goes there, not to a records-folder name beside it.
    std::wstring error;
    if (!WriteDocument(path_, error)) {
        // Nothing of the bake may hang on the last periodic write.
        WriteRecoveryFile();
        ShowErrorLater(error);
        return;
    }
    SetModified(false);
    RemoveRecoveryFile();
    if (context_->saved)
        context_->saved(path_);
}

bool ChartDocument::EnsureRecoveryFile() {
    if (recoveryFile_.Valid())
        return true;
    // A bake record, running or just ended and not yet saved, keeps its
    // recovery file: the name it had, or a new one once a save had freed it.
    if ((!liveBake_ && recoveryPath_.isEmpty()) || context_->recoveryFolder.isEmpty())
        return false;
    std::wstring error;
    recoveryFile_ =
        document::RecoveryFile::Reserve(context_->recoveryFolder.toStdWString(),
                                        document::RecordFileName(opened_).toStdWString(), error);
    if (!recoveryFile_.Valid()) {
        if (context_->log)
            context_->log->TraceWarning(L"AutoRecover", L"%ls", error.c_str());
        return false;
    }
    recoveryPath_ = QString::fromStdWString(recoveryFile_.Path());
    return true;
}

bool ChartDocument::WriteRecoveryFile() {
    recoveryWriter_.Wait();  // an older snapshot must not land after this one
    ReportRecoveryFailure();
    if (!EnsureRecoveryFile())
        return false;
    std::wstring error;
    if (document::WriteRecoverySnapshot(document::TakeSnapshot(view_->Container()->Set()),
                                        recoveryFile_, error))
        return true;
    if (context_->log)
        context_->log->TraceWarning(L"AutoRecover", L"%ls", error.c_str());
    return false;
}

bool ChartDocument::StartRecoveryWrite() {
    if (recoveryWriter_.Busy())
        return false;
    ReportRecoveryFailure();
    if (!EnsureRecoveryFile())
        return false;
    return recoveryWriter_.Start(view_->Container()->Set(), recoveryFile_);
}

void ChartDocument::ReportRecoveryFailure() {
    const std::optional<std::wstring> failure = recoveryWriter_.TakeFailure();
    if (failure && context_->log)
        context_->log->TraceWarning(L"AutoRecover", L"%ls", failure->c_str());
}

void ChartDocument::AutoSave() {
    if (context_->recordsFolder.isEmpty() || !QDir().mkpath(context_->recordsFolder)) {
        const std::wstring text =
            L"Unable to create the records folder " + context_->recordsFolder.toStdWString();
        if (context_->log)
            context_->log->TraceError(L"AutoSave", L"%ls", text.c_str());
        WriteRecoveryFile();  // the whole record, not the last tick's
        ShowErrorLater(text);
        return;
    }
    // Written whole under a name of its own first, then moved to the record's
    // name, which never replaces a file already there.
    const QString fileName = document::RecordFileName(BakeStart());
    const QString temp = QDir(context_->recordsFolder)
                             .filePath(QStringLiteral(".%1.%2.part")
                                           .arg(fileName)
                                           .arg(QCoreApplication::applicationPid()));
    std::wstring error;
    QString path;
    if (view_->SaveDocumentCharts(temp, error)) {
        path = document::PublishRecordFile(temp, context_->recordsFolder, fileName, error);
        if (path.isEmpty())
            QFile::remove(temp);
    }
    if (path.isEmpty()) {
        if (context_->log)
            context_->log->TraceError(L"AutoSave", L"%ls", error.c_str());
        WriteRecoveryFile();  // the whole record, not the last tick's
        ShowErrorLater(error);
        return;
    }
    const QString previousTitle = Title();
    path_ = QFileInfo(path).absoluteFilePath();
    SetModified(false);
    UpdateTitle();
    RemoveRecoveryFile();
    if (context_->log)
        context_->log->TraceMessage(L"AutoSave", L"Bake record %ls saved as %ls",
                                    previousTitle.toStdWString().c_str(),
                                    path_.toStdWString().c_str());
    if (context_->saved)
        context_->saved(path_);
}

void ChartDocument::ShowErrorLater(const std::wstring& text) {
    // Not inside the panel's signal: a box runs its own event loop, and the
    // panel must finish handling the packet first.
    QPointer<ChartDocument> self(this);
    QTimer::singleShot(0, this, [self, text] {
        if (self)
            self->ShowError(text);
    });
}

void ChartDocument::AdoptRecoveryFile(document::RecoveryFile file) {
    recoveryFile_ = std::move(file);
    recoveryPath_ = QString::fromStdWString(recoveryFile_.Path());
    const QString& recoveryPath = recoveryPath_;
    untitledName_ = QFileInfo(recoveryPath).completeBaseName();
    // Its name tells when the record opened; the file's own times only tell
    // its last write.
    const QDateTime opened = document::RecordFileTime(QFileInfo(recoveryPath).fileName());
    if (opened.isValid())
        opened_ = opened;
    path_.clear();
    SetModified(true);
    UpdateTitle();
}

void ChartDocument::RemoveRecoveryFile() {
    if (recoveryPath_.isEmpty())
        return;
    // A write still in flight would put the file back after its removal.
    recoveryWriter_.Wait();
    ReportRecoveryFailure();
    // While the bake runs the next write claims a file again.
    std::wstring error;
    if (!recoveryFile_.Remove(&error) && context_->log)
        context_->log->TraceWarning(L"AutoRecover", L"%ls", error.c_str());
    if (!liveBake_)
        recoveryPath_.clear();
}

// ---- commands ---------------------------------------------------------------

void ChartDocument::ImportChart() {
    const QString path = context_->askImportPath ? context_->askImportPath(this) : QString();
    // New charts are a change the operator must not lose by closing.
    if (!path.isEmpty() && view_->ImportChart(path))
        SetModified(true);
}

void ChartDocument::ExportCsv() {
    if (!context_->askExportPath)
        return;
    const QString suggested =
        QFileInfo(SuggestedPath()).completeBaseName() + QStringLiteral(".csv");
    const QString path = WithExtension(
        context_->askExportPath(this, suggested, QStringLiteral("CSV files (*.csv)")), ".csv");
    std::wstring error;
    if (!path.isEmpty() && !view_->ExportCsv(path, error))
        ShowError(error);
}

void ChartDocument::ExportImage() {
    if (!context_->askExportPath)
        return;
    const QString suggested =
        QFileInfo(SuggestedPath()).completeBaseName() + QStringLiteral(".png");
    const QString path = WithExtension(
        context_->askExportPath(this, suggested, QStringLiteral("PNG images (*.png)")), ".png");
    std::wstring error;
    if (!path.isEmpty() && !view_->ExportImage(path, error))
        ShowError(error);
}

void ChartDocument::UploadBakeProfile() {
    if (!context_->sendProfile || !context_->controllerIdle)
        return;
    platform::TraceLog* log = context_->log;
    const std::wstring title = Title().toStdWString();
    view_->UploadBakeProfile(
        context_->sendProfile, [log, &title](const ChartDocumentWindow::UploadOutcome& out) {
            if (!log)
                return;
            if (out.sent) {
                // The controller's answer follows as a line of its own.
                log->TraceMessage(L"UploadBakeProfile",
                                  L"Uploading chart \"%ls\" of %ls (%zu points) as bake profile",
                                  out.chartName.c_str(), title.c_str(), out.pointCount);
            } else if (out.chartName.empty()) {
                log->TraceWarning(L"UploadBakeProfile", L"No bake profile uploaded from %ls: %ls",
                                  title.c_str(), out.text.c_str());
            } else {
                log->TraceWarning(L"UploadBakeProfile",
                                  L"Chart \"%ls\" of %ls not uploaded as bake profile: %ls",
                                  out.chartName.c_str(), title.c_str(), out.text.c_str());
            }
        });
}

// ---- closing ----------------------------------------------------------------

void ChartDocument::closeEvent(QCloseEvent* event) {
    if (modified_) {
        const SaveChoice choice =
            context_->askSaveChanges ? context_->askSaveChanges(this, Title()) : SaveChoice::Cancel;
        // The question ran an event loop: the record may have been saved
        // meanwhile (its bake ended), which makes saving it again harmless.
        if (choice == SaveChoice::Cancel || (choice == SaveChoice::Save && modified_ && !Save())) {
            event->ignore();
            return;
        }
        if (choice == SaveChoice::Discard && modified_ && context_->log) {
            const std::wstring title = Title().toStdWString();
            context_->log->TraceWarning(L"CloseDocument",
                                        L"%ls closed unsaved: its changes are lost", title.c_str());
        }
    }
    liveBake_ = false;
    recoveryTimer_.stop();
    RemoveRecoveryFile();
    emit closed();
    QMdiSubWindow::closeEvent(event);
}

}  // namespace document
