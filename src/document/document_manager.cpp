#include "document/document_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>

#include <set>
#include <utility>

#include "chart/chart_set.h"

namespace document {

QString ResolveRecordsFolder(const QString& commandLineFolder) {
    if (!commandLineFolder.isEmpty())
        return QDir(commandLineFolder).absolutePath();
    QString stored = QSettings().value(QStringLiteral("Records/Folder")).toString();
    if (!stored.isEmpty())
        return stored;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(QStringLiteral("Calvero"));
}

QString DefaultRecoveryFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("recovery"));
}

namespace {

constexpr int kDocumentWidth = 720;
constexpr int kDocumentHeight = 460;
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 200;

}  // namespace

DocumentManager::DocumentManager(QMdiArea* area, std::shared_ptr<DocumentContext> context,
                                 QObject* parent)
    : QObject(parent), area_(area), context_(std::move(context)) {}

QRect PlaceNewDocument(QSize preferred, QSize minimum, QSize room, std::optional<QPoint> previous,
                       int step) {
    QSize size = preferred;
    if (room.width() >= minimum.width() && room.height() >= minimum.height())
        size = size.boundedTo(room);
    if (previous) {
        const QRect cascaded(*previous + QPoint(step, step), size);
        if (cascaded.left() >= 0 && cascaded.top() >= 0 && cascaded.right() < room.width() &&
            cascaded.bottom() < room.height())
            return cascaded;
    }
    return QRect(QPoint(0, 0), size);
}

ChartDocument* DocumentManager::Show(std::unique_ptr<ChartDocument> document) {
    if (!document)
        return nullptr;
    ChartDocument* doc = document.get();
    QMdiSubWindow* before = area_->activeSubWindow();
    auto* window = new ChartDocumentWindow(std::move(document));
    area_->addSubWindow(window);
    connect(doc, &ChartDocument::modifiedChanged, this, &DocumentManager::documentsChanged);
    connect(window, &QObject::destroyed, this, &DocumentManager::documentsChanged);
    // Where the window goes when the operator restores it from maximized:
    // the area's own placement puts a big one half out of sight below the
    // others.
    const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    std::optional<QPoint> previous;
    if (before && before->isVisible() && !before->isMinimized() && !before->isMaximized())
        previous = before->pos();
    window->setGeometry(PlaceNewDocument(QSize(kDocumentWidth, kDocumentHeight),
                                         QSize(kMinimumWidth, kMinimumHeight),
                                         area_->viewport()->size(), previous, step));
    // A chart wants all the room the area has.
    window->showMaximized();
    emit documentsChanged();
    Activate(window);
    return doc;
}

ChartDocument* DocumentManager::Activate(ChartDocumentWindow* window) {
    if (window->isMinimized())
        window->showMaximized();
    area_->setActiveSubWindow(window);
    window->raise();
    window->widget()->setFocus(Qt::OtherFocusReason);
    return window->Document();
}

ChartDocument* DocumentManager::NewRecord(uint64_t startTime, const QString& device) {
    return Show(ChartDocument::NewRecord(context_, startTime, device));
}

ChartDocument* DocumentManager::NewBlankDocument() {
    return Show(ChartDocument::NewBlankDocument(context_));
}

ChartDocument* DocumentManager::NewLiveRecord(uint64_t startTime, const QString& device) {
    // A record brought back from a killed run is what the operator has to
    // deal with first; the new bake's record waits behind it.
    QPointer<ChartDocumentWindow> recovered = ActiveWindow();
    if (recovered) {
        const ChartDocument* r = recovered->Document();
        if (r->RecoveryPath().isEmpty() || r->IsLiveBake() || !r->FilePath().isEmpty())
            recovered.clear();
    }
    std::unique_ptr<ChartDocument> record = ChartDocument::NewRecord(context_, startTime, device);
    // Recording before it is shown: whoever looks at the new window finds
    // its bake running.
    if (record)
        record->BeginLiveBake();
    ChartDocument* doc = Show(std::move(record));
    ChartDocumentWindow* window = WindowOf(doc);
    // The empty window the program opened with has served its turn once a
    // bake is recorded beside it; one the operator used in any way stays.
    ChartDocumentWindow* unused = startup_ && startup_ != doc ? WindowOf(startup_) : nullptr;
    if (window && unused && startup_->IsUntouched()) {
        const QPoint place = unused->pos();
        startup_.clear();
        unused->close();
        // The record takes its place, not a step below an empty spot.
        const QRect there(place, window->size());
        if (!window->isMaximized() && place != window->pos() &&
            QRect(QPoint(0, 0), area_->viewport()->size()).contains(there))
            window->move(place);
        area_->setActiveSubWindow(window);
    }
    if (window && recovered)
        Activate(recovered);
    return doc;
}

ChartDocument* DocumentManager::OpenDocument(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    for (ChartDocumentWindow* window : Windows()) {
        const QString open = window->Document()->FilePath();
        if (open.isEmpty())
            continue;
        const QFileInfo openFile(open);
        if (openFile == file || (!canonical.isEmpty() && openFile.canonicalFilePath() == canonical))
            return Activate(window);
    }
    return Show(ChartDocument::OpenDocument(context_, path));
}

QMdiArea* DocumentManager::LiveArea() const {
    // While the area is being destroyed it deletes the documents, whose
    // signals reach us when it is a QMdiArea no more; the cast sees that.
    return qobject_cast<QMdiArea*>(static_cast<QObject*>(area_));
}

ChartDocumentWindow* DocumentManager::ActiveWindow() const {
    QMdiArea* area = LiveArea();
    return area ? qobject_cast<ChartDocumentWindow*>(area->activeSubWindow()) : nullptr;
}

ChartDocument* DocumentManager::ActiveDocument() const {
    ChartDocumentWindow* window = ActiveWindow();
    return window ? window->Document() : nullptr;
}

QList<ChartDocumentWindow*> DocumentManager::Windows() const {
    QList<ChartDocumentWindow*> out;
    QMdiArea* area = LiveArea();
    if (!area)
        return out;
    for (QMdiSubWindow* w : area->subWindowList()) {
        if (auto* window = qobject_cast<ChartDocumentWindow*>(w))
            out << window;
    }
    return out;
}

QList<ChartDocument*> DocumentManager::Documents() const {
    QList<ChartDocument*> out;
    for (ChartDocumentWindow* window : Windows()) out << window->Document();
    return out;
}

ChartDocumentWindow* DocumentManager::WindowOf(const ChartDocument* doc) const {
    if (!doc)
        return nullptr;
    for (ChartDocumentWindow* window : Windows()) {
        if (window->Document() == doc)
            return window;
    }
    return nullptr;
}

bool DocumentManager::CloseAll() {
    for (ChartDocumentWindow* window : Windows()) {
        QPointer<ChartDocumentWindow> alive(window);
        if (!window->close() && alive)
            return false;
    }
    return true;
}

QString RecoveryOfferText(qsizetype count) {
    return QStringLiteral("%1 bake record(s) were not saved when the program last ended.")
        .arg(count);
}

QList<RecoveryEntry> DocumentManager::FindRecoveryFiles() {
    offer_.clear();  // gives the claims of an earlier scan up
    QList<RecoveryEntry> out;
    if (context_->recoveryFolder.isEmpty())
        return out;
    // Hidden files (a reservation or a write in progress) are not records.
    const QFileInfoList files =
        QDir(context_->recoveryFolder)
            .entryInfoList({QStringLiteral("*.tvr")}, QDir::Files | QDir::System,
                           QDir::Time | QDir::Reversed);
    for (const QFileInfo& f : files) {
        const QString path = f.absoluteFilePath();
        document::RecoveryFile::TakeResult result;
        std::wstring reason;
        document::RecoveryFile file =
            document::RecoveryFile::Take(path.toStdWString(), &result, &reason);
        if (result == document::RecoveryFile::TakeResult::Busy ||
            result == document::RecoveryFile::TakeResult::Gone)
            continue;  // another program's record, or gone meanwhile
        if (file.Valid() && file.Size() == 0) {
            file.Remove();  // reserved, and its program ended before a first write
            continue;
        }
        RecoveryEntry entry{path, QString::fromStdWString(reason)};
        if (file.Valid()) {
            chart::ChartSet model;
            std::set<int> ids;
            std::wstring error;
            if (!model.LoadChartsXml(path.toStdWString(), ids, error))
                entry.problem = QString::fromStdWString(error);
        }
        out << entry;
        offer_.push_back({std::move(entry), std::move(file)});
    }
    return out;
}

QStringList DocumentManager::RecoveryFiles() {
    QStringList out;
    for (const RecoveryEntry& e : FindRecoveryFiles()) out << e.path;
    return out;
}

QList<ChartDocument*> DocumentManager::RestoreRecoveryFiles(bool open) {
    std::vector<OfferedFile> offer = std::exchange(offer_, {});
    QList<ChartDocument*> opened;
    for (OfferedFile& o : offer) {
        if (!open) {
            if (o.file.Valid())
                o.file.Remove();
            else
                QFile::remove(o.entry.path);
            continue;
        }
        // An unreadable file stays for whoever wants to rescue it by hand;
        // the next start offers it again, with its reason.
        if (!o.entry.problem.isEmpty())
            continue;
        if (ChartDocument* doc = OpenDocument(o.entry.path)) {
            doc->AdoptRecoveryFile(std::move(o.file));
            opened << doc;
        }
    }
    return opened;
}

void DocumentManager::OfferRecoveryFiles(const RecoveryQuestion& ask) {
    const QList<RecoveryEntry> files = FindRecoveryFiles();
    if (files.isEmpty())
        return;
    const QString text = RecoveryOfferText(files.size());
    platform::TraceLog* offerLog = context_->log;
    if (offerLog) {
        offerLog->TraceMessage(L"Recovery", L"%ls", text.toStdWString().c_str());
        for (const RecoveryEntry& e : files) {
            if (!e.problem.isEmpty())
                offerLog->TraceWarning(L"Recovery", L"%ls cannot be read: %ls",
                                       e.path.toStdWString().c_str(),
                                       e.problem.toStdWString().c_str());
        }
    }
    QPointer<DocumentManager> self(this);
    auto answered = std::make_shared<bool>(false);
    ask(text, files, [self, answered, count = files.size()](RecoveryAnswer answer) {
        if (!self || *answered)
            return;
        *answered = true;
        platform::TraceLog* log = self->context_->log;
        switch (answer) {
            case RecoveryAnswer::Open: {
                const qsizetype opened = self->RestoreRecoveryFiles(true).size();
                if (log)
                    log->TraceMessage(L"Recovery", L"Open: %d of %d bake record(s) opened",
                                      int(opened), int(count));
                break;
            }
            case RecoveryAnswer::Discard:
                self->RestoreRecoveryFiles(false);
                if (log)
                    log->TraceMessage(L"Recovery", L"Discard: %d recovery file(s) removed",
                                      int(count));
                break;
            case RecoveryAnswer::Later:
                self->offer_.clear();
                if (log)
                    log->TraceMessage(L"Recovery",
                                      L"No answer: the files are kept for the next start");
                break;
        }
    });
}

}  // namespace document
