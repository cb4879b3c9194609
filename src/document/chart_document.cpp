#include "document/chart_document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <set>

#include "chart/chart_csv.h"
#include "document/record_name.h"

namespace document {

namespace {

std::wstring Wide(const QString& s) {
    return s.toStdWString();
}

// What failed about the file itself the reader and the writer say with its
// name; what failed inside it they say without, and the name goes first.
std::wstring NamingTheFile(const std::wstring& path, const std::wstring& error) {
    if (error.find(L'"' + path + L'"') != std::wstring::npos)
        return error;
    return path + L": " + error;
}

}  // namespace

ChartDocument::ChartDocument(std::shared_ptr<DocumentContext> context)
    : context_(std::move(context)) {
    opened_ = QDateTime::currentDateTime();
    recoveryTimer_.setInterval(context_->recoveryIntervalMs);
    connect(&recoveryTimer_, &QTimer::timeout, this, [this] { StartRecoveryWrite(); });
}

ChartDocument::~ChartDocument() {
    recoveryWriter_.Wait();
}

std::unique_ptr<ChartDocument> ChartDocument::NewRecord(
    const std::shared_ptr<DocumentContext>& context, uint64_t startTime, const QString& device) {
    std::unique_ptr<ChartDocument> doc(new ChartDocument(context));
    doc->device_ = device;
    doc->untitledName_ = QStringLiteral("Chart%1").arg(context->nextNumber++);
    if (!doc->channels_.Create(doc->set_)) {
        doc->ShowError(L"Out of memory.");
        return nullptr;
    }
    doc->channels_.bakeStartTime = startTime;
    doc->InitialUpdate();
    return doc;
}

std::unique_ptr<ChartDocument> ChartDocument::NewBlankDocument(
    const std::shared_ptr<DocumentContext>& context) {
    std::unique_ptr<ChartDocument> doc(new ChartDocument(context));
    doc->untitledName_ = QStringLiteral("Chart%1").arg(context->nextNumber++);
    doc->InitialUpdate();
    return doc;
}

std::unique_ptr<ChartDocument> ChartDocument::OpenDocument(
    const std::shared_ptr<DocumentContext>& context, const QString& path) {
    std::unique_ptr<ChartDocument> doc(new ChartDocument(context));
    std::wstring error;
    const std::wstring shown = QDir::toNativeSeparators(path).toStdWString();
    std::set<int> ids;
    if (!doc->set_.LoadChartsXml(Wide(path), ids, error)) {
        if (context->log)
            context->log->TraceError(L"OpenDocument", L"Cannot open %ls",
                                     NamingTheFile(shown, error).c_str());
        doc->ShowError(error);
        return nullptr;
    }
    doc->path_ = QFileInfo(path).absoluteFilePath();
    doc->InitialUpdate();
    // A file is shown whole, whatever span of time it holds.
    doc->showsWhole_ = true;
    if (context->log)
        context->log->TraceMessage(L"OpenDocument", L"Opened %ls", shown.c_str());
    return doc;
}

void ChartDocument::InitialUpdate() {
    set_.SetXValueFormatter(document::FormatAxisValue);
    set_.SetYValueFormatter(document::FormatAxisValue);
    set_.SetLegendVisible(true);
}

QString ChartDocument::Title() const {
    return path_.isEmpty() ? untitledName_ : QFileInfo(path_).fileName();
}

void ChartDocument::SetPath(const QString& path) {
    const QString before = Title();
    path_ = path;
    if (Title() != before)
        emit titleChanged(Title());
}

void ChartDocument::SetModified(bool modified) {
    if (modified_ == modified)
        return;
    modified_ = modified;
    emit modifiedChanged(modified_);
}

void ChartDocument::ShowWholeRecord() {
    showsWhole_ = true;
    emit wholeRecordShown();
}

void ChartDocument::ShowError(const std::wstring& text, platform::MessageIcon icon) {
    if (context_->messages)
        context_->messages->ShowMessage(text, icon);
}

// ---- saving -----------------------------------------------------------------

QString ChartDocument::SuggestedPath() const {
    if (!path_.isEmpty())
        return path_;
    if (liveBake_ || !recoveryPath_.isEmpty() || channels_.Created())
        return QDir(context_->recordsFolder)
            .filePath(document::RecordFileName(BakeStart(), device_));
    return untitledName_ + QLatin1String(kExtension);
}

bool ChartDocument::WriteCharts(const QString& path, std::wstring& error) const {
    std::set<int> ids;
    set_.GetChartIds(ids);
    if (ids.empty()) {
        error = L"No charts to save!";
        return false;
    }
    return set_.SaveChartsXml(Wide(path), ids, error);
}

bool ChartDocument::WriteDocument(const QString& path, std::wstring& error) {
    const std::wstring shown = QDir::toNativeSeparators(path).toStdWString();
    if (!WriteCharts(path, error)) {
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
    SetPath(QFileInfo(path).absoluteFilePath());
    SetModified(false);
    RemoveRecoveryFile();
    if (context_->saved)
        context_->saved(path_);
    return true;
}

QDateTime ChartDocument::BakeStart() const {
    return document::BakeStartLocalTime(opened_, channels_.bakeStartTime,
                                        channels_.ReportedStartTime());
}

bool ChartDocument::IsUntouched() const {
    if (!path_.isEmpty() || modified_ || liveBake_ || !recoveryPath_.isEmpty() ||
        !channels_.Created())
        return false;
    std::set<int> ids;
    set_.GetChartIds(ids);
    if (ids.size() != document::kChannelCount)
        return false;  // a chart was imported, even an empty one
    for (int id : ids) {
        const chart::ChartSeries* series = set_.FindChart(id);
        if (!series || series->HasPoints())
            return false;
    }
    return true;
}

// ---- the live bake ----------------------------------------------------------

void ChartDocument::AppendGauge(const bake::CONCC_GaugeData& gauge) {
    if (!channels_.AppendGaugeData(set_, gauge))
        return;
    emit pointsAppended();
    SetModified(true);
}

void ChartDocument::ShowProfile(const bake::CONCC_TempProfile& report) {
    channels_.ShowProfile(set_, report);
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
    ShowWholeRecord();
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
    recoveryFile_ = document::RecoveryFile::Reserve(
        context_->recoveryFolder.toStdWString(),
        document::RecordFileName(opened_, device_).toStdWString(), error);
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
    if (document::WriteRecoverySnapshot(document::TakeSnapshot(set_), recoveryFile_, error))
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
    return recoveryWriter_.Start(set_, recoveryFile_);
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
    const QString fileName = document::RecordFileName(BakeStart(), device_);
    const QString temp = QDir(context_->recordsFolder)
                             .filePath(QStringLiteral(".%1.%2.part")
                                           .arg(fileName)
                                           .arg(QCoreApplication::applicationPid()));
    std::wstring error;
    QString path;
    if (WriteCharts(temp, error)) {
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
    SetPath(QFileInfo(path).absoluteFilePath());
    SetModified(false);
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
    const QString before = Title();
    untitledName_ = QFileInfo(recoveryPath).completeBaseName();
    path_.clear();
    // Its name tells when the record opened; the file's own times only tell
    // its last write.
    const QDateTime opened = document::RecordFileTime(QFileInfo(recoveryPath).fileName());
    if (opened.isValid())
        opened_ = opened;
    SetModified(true);
    if (Title() != before)
        emit titleChanged(Title());
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

bool ChartDocument::ImportChart(const QString& path) {
    std::set<int> ids;
    std::wstring error;
    if (!set_.LoadChartsXml(Wide(path), ids, error)) {
        ShowError(error);
        return false;
    }
    // New charts are a change the operator must not lose by closing.
    SetModified(true);
    return true;
}

bool ChartDocument::ExportCsv(const QString& path) {
    std::set<int> ids;
    set_.GetChartIds(ids);
    std::wstring error;
    if (chart::SaveChartsCsv(set_, ids, Wide(path), error))
        return true;
    ShowError(error);
    return false;
}

bool ChartDocument::CanUpload() const {
    if (controller_)
        return controller_->sendProfile && controller_->idle;
    return context_->sendProfile && context_->controllerIdle;
}

void ChartDocument::UploadBakeProfile() {
    if (!CanUpload())
        return;
    // Taken now: the upload must reach the panel it was enabled for.
    const bake::ProfileSender send = controller_ ? controller_->sendProfile : context_->sendProfile;
    platform::TraceLog* log = context_->log;
    const std::wstring title = Title().toStdWString();
    std::set<int> ids, selected;
    set_.GetChartIds(ids);
    set_.GetSelectedChartIds(selected);
    const bake::ProfileChartChoice choice = bake::ChooseProfileChart(ids, selected);
    // What becomes of the upload goes to the log first, before any box or
    // link error.
    if (choice.problem) {
        if (log)
            log->TraceWarning(L"UploadBakeProfile", L"No bake profile uploaded from %ls: %ls",
                              title.c_str(), choice.problem);
        ShowError(choice.problem, platform::MessageIcon::None);
        return;
    }
    const chart::ChartSeries* series = set_.FindChart(choice.id);
    if (!series) {
        if (log)
            log->TraceWarning(L"UploadBakeProfile", L"No bake profile uploaded from %ls: %ls",
                              title.c_str(), bake::ProfileUploadProblem(false, 0));
        send(std::nullopt);
        return;
    }
    const size_t count = series->Points().size();
    // The panel shows its own refusal; the log needs to know of it too.
    if (const wchar_t* problem = bake::ProfileUploadProblem(true, count)) {
        if (log)
            log->TraceWarning(L"UploadBakeProfile",
                              L"Chart \"%ls\" of %ls not uploaded as bake profile: %ls",
                              series->name.c_str(), title.c_str(), problem);
    } else if (log) {
        // The controller's answer follows as a line of its own.
        log->TraceMessage(L"UploadBakeProfile",
                          L"Uploading chart \"%ls\" of %ls (%zu points) as bake profile",
                          series->name.c_str(), title.c_str(), count);
    }
    const auto samples = bake::ToProfileSamples(series->Points());
    send(samples);
}

// ---- closing ----------------------------------------------------------------

void ChartDocument::Close() {
    if (modified_ && context_->log) {
        const std::wstring title = Title().toStdWString();
        context_->log->TraceWarning(L"CloseDocument", L"%ls closed unsaved: its changes are lost",
                                    title.c_str());
    }
    liveBake_ = false;
    recoveryTimer_.stop();
    RemoveRecoveryFile();
    emit closed();
}

}  // namespace document
