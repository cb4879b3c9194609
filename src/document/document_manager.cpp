#include "document/document_manager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>

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

CTVR_Doc* CDocumentManager::Show(CTVR_Doc* doc) {
    if (!doc)
        return nullptr;
    area_->addSubWindow(doc);
    // Big enough to read the charts, within the area when it has room.
    const QSize room = area_->viewport()->size();
    QSize size(kDocumentWidth, kDocumentHeight);
    if (room.width() >= kMinimumWidth && room.height() >= kMinimumHeight)
        size = size.boundedTo(room);
    doc->resize(size);
    connect(doc, &CTVR_Doc::modifiedChanged, this, &CDocumentManager::documentsChanged);
    connect(doc, &QObject::destroyed, this, &CDocumentManager::documentsChanged);
    doc->show();
    area_->setActiveSubWindow(doc);
    emit documentsChanged();
    return doc;
}

CTVR_Doc* CDocumentManager::NewDocument() {
    return Show(CTVR_Doc::NewDocument(context_));
}

CTVR_Doc* CDocumentManager::OpenDocument(const QString& path) {
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
