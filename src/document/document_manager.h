#pragma once
// The chart documents of the main frame: makes them new (File > New, the
// control panel when a bake begins, the empty document at start-up), opens
// them from files, carries the document commands to the active one, closes
// them all before the program ends, and offers the recovery files a killed
// program left behind. The shell gives it the MDI area and the dialogs.
//
// Window thread only.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "document/tvr_doc.h"

class QMdiArea;

// Where finished bakes are saved: the command line's folder, else the
// setting "Records/Folder", else "Calvero" under the documents folder.
QString ResolveRecordsFolder(const QString& commandLineFolder);
// recovery/ under the application's local data folder.
QString DefaultRecoveryFolder();

class CDocumentManager : public QObject {
    Q_OBJECT
public:
    CDocumentManager(QMdiArea* area, std::shared_ptr<DocumentContext> context,
                     QObject* parent = nullptr);

    DocumentContext& Context() { return *context_; }

    // Shown and active; null on failure (already shown to the operator).
    CTVR_Doc* NewDocument();
    CTVR_Doc* OpenDocument(const QString& path);
    CTVR_Doc* ActiveDocument() const;
    QList<CTVR_Doc*> Documents() const;

    // Closes every document, asking for each modified one; false when the
    // operator kept one open (the program then goes on).
    bool CloseAll();

    // Recovery files left behind by an earlier run, oldest first.
    QStringList RecoveryFiles() const;
    // Offers them: `open` true opens each as a modified document, false
    // deletes them. Returns the documents opened.
    QList<CTVR_Doc*> RestoreRecoveryFiles(bool open);

signals:
    // A document was added, closed or changed its modified state.
    void documentsChanged();

private:
    CTVR_Doc* Show(CTVR_Doc* doc);

    QMdiArea* LiveArea() const;

    QMdiArea* area_;
    std::shared_ptr<DocumentContext> context_;
};
