#include "document/document_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>

#include "bake/ui/control_frame.h"

QString ResolveRecordsFolder(const QString& commandLineFolder) {
    if (!commandLineFolder.isEmpty())
        return QDir(commandLineFolder).absolutePath();
    const QString stored = QSettings().value(QStringLiteral("Records/Folder")).toString();
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

CDocumentManager::CDocumentManager(QMdiArea* area, std::shared_ptr<DocumentContext> context,
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

CTVR_Doc* CDocumentManager::Show(CTVR_Doc* doc) {
    if (!doc)
        return nullptr;
    QMdiSubWindow* before = area_->activeSubWindow();
    area_->addSubWindow(doc);
    connect(doc, &CTVR_Doc::modifiedChanged, this, &CDocumentManager::documentsChanged);
    connect(doc, &QObject::destroyed, this, &CDocumentManager::documentsChanged);
    // Where the window goes when the operator restores it from maximized:
    // the area's own placement puts a big one half out of sight below the
    // others.
    const int step = doc->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, doc);
    std::optional<QPoint> previous;
    if (before && before->isVisible() && !before->isMinimized() && !before->isMaximized())
        previous = before->pos();
    doc->setGeometry(PlaceNewDocument(QSize(kDocumentWidth, kDocumentHeight),
                                      QSize(kMinimumWidth, kMinimumHeight),
                                      area_->viewport()->size(), previous, step));
    // A chart wants all the room the area has.
    doc->showMaximized();
    emit documentsChanged();
    return Activate(doc);
}

CTVR_Doc* CDocumentManager::Activate(CTVR_Doc* doc) {
    if (doc->isMinimized())
        doc->showMaximized();
    area_->setActiveSubWindow(doc);
    doc->raise();
    doc->widget()->setFocus(Qt::OtherFocusReason);
    return doc;
}

CTVR_Doc* CDocumentManager::NewRecord() {
    return Show(CTVR_Doc::NewDocument(context_));
}

CTVR_Doc* CDocumentManager::NewDocument() {
    // A stray Ctrl+N must not split a bake in two: its record goes on.
    if (context_->panel && context_->panel->State() == CF_BAKING)
        return Show(CTVR_Doc::NewBlankDocument(context_));
    return NewRecord();
}

CTVR_Doc* CDocumentManager::NewStartupDocument() {
    CTVR_Doc* doc = NewDocument();
    startup_ = doc;
    return doc;
}

CTVR_Doc* CDocumentManager::NewLiveRecord() {
    // A record brought back from a killed run is what the operator has to
    // deal with first; the new bake's record waits behind it.
    QPointer<CTVR_Doc> recovered = ActiveDocument();
    if (recovered && (recovered->RecoveryPath().isEmpty() || recovered->IsLiveBake() ||
                      !recovered->FilePath().isEmpty()))
        recovered.clear();
    CTVR_Doc* doc = NewRecord();
    // The empty window the program opened with has served its turn once a
    // bake is recorded beside it; one the operator used in any way stays.
    if (doc && startup_ && startup_ != doc && startup_->IsUntouched()) {
        CTVR_Doc* unused = startup_;
        const QPoint place = unused->pos();
        startup_.clear();
        unused->close();
        // The record takes its place, not a step below an empty spot.
        const QRect there(place, doc->size());
        if (!doc->isMaximized() && place != doc->pos() &&
            QRect(QPoint(0, 0), area_->viewport()->size()).contains(there))
            doc->move(place);
        area_->setActiveSubWindow(doc);
    }
    if (doc && recovered)
        Activate(recovered);
    return doc;
}

CTVR_Doc* CDocumentManager::OpenDocument(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    for (CTVR_Doc* doc : Documents()) {
        if (doc->FilePath().isEmpty())
            continue;
        const QFileInfo open(doc->FilePath());
        if (open == file || (!canonical.isEmpty() && open.canonicalFilePath() == canonical))
            return Activate(doc);
    }
    return Show(CTVR_Doc::OpenDocument(context_, path));
}

QMdiArea* CDocumentManager::LiveArea() const {
    // While the area is being destroyed it deletes the documents, whose
    // signals reach us when it is a QMdiArea no more; the cast sees that.
    return qobject_cast<QMdiArea*>(static_cast<QObject*>(area_));
}

CTVR_Doc* CDocumentManager::ActiveDocument() const {
    QMdiArea* area = LiveArea();
    return area ? qobject_cast<CTVR_Doc*>(area->activeSubWindow()) : nullptr;
}

QList<CTVR_Doc*> CDocumentManager::Documents() const {
    QList<CTVR_Doc*> out;
    QMdiArea* area = LiveArea();
    if (!area)
        return out;
    for (QMdiSubWindow* w : area->subWindowList()) {
        if (auto* doc = qobject_cast<CTVR_Doc*>(w))
            out << doc;
    }
    return out;
}

bool CDocumentManager::CloseAll() {
    for (CTVR_Doc* doc : Documents()) {
        QPointer<CTVR_Doc> alive(doc);
        if (!doc->close() && alive)
            return false;
    }
    return true;
}

QStringList CDocumentManager::RecoveryFiles() const {
    if (context_->recoveryFolder.isEmpty())
        return {};
    const QFileInfoList files =
        QDir(context_->recoveryFolder)
            .entryInfoList({QStringLiteral("*.tvr")}, QDir::Files, QDir::Time | QDir::Reversed);
    QStringList out;
    for (const QFileInfo& f : files) out << f.absoluteFilePath();
    return out;
}

QList<CTVR_Doc*> CDocumentManager::RestoreRecoveryFiles(bool open) {
    QList<CTVR_Doc*> opened;
    for (const QString& path : RecoveryFiles()) {
        if (!open) {
            QFile::remove(path);
            continue;
        }
        if (CTVR_Doc* doc = OpenDocument(path)) {
            doc->AdoptRecoveryFile(path);
            opened << doc;
        }
    }
    return opened;
}
