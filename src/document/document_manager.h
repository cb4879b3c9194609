#pragma once
// The chart documents of the main frame: makes them new (records for the
// live recorder, blank ones) or opens them from files, shows each in a
// window of its own in the MDI area, finds the active one for the frame's
// commands, closes them all before the program ends, and offers the
// recovery files a killed program left behind. The shell gives it the MDI
// area and the dialogs.
//
// Window thread only.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "document/chart_document.h"
#include "document/chart_document_window.h"

class QMdiArea;

namespace document {

// Where finished bakes are saved: the command line's folder, else the
// setting "Records/Folder", else "Calvero" under the documents folder.
QString ResolveRecordsFolder(const QString& commandLineFolder);
// recovery/ under the application's local data folder.
QString DefaultRecoveryFolder();

// Where a new document window goes in an MDI area whose viewport is `room`:
// `preferred` bounded to the room (a room smaller than `minimum` is not
// bounded to), one `step` down and right of `previous` (the active window's
// top-left corner, if any) while the whole window still fits, else at the
// top-left corner.
QRect PlaceNewDocument(QSize preferred, QSize minimum, QSize room, std::optional<QPoint> previous,
                       int step);

// One recovery file of the start-up offer: a record to open, or a file that
// cannot be read and why.
struct RecoveryEntry {
    QString path;
    QString problem;  // empty: readable
};

enum class RecoveryAnswer { Open, Discard, Later };

// Puts the offer to the operator: `text` is the question, `files` what it is
// about. `answer` may be called later (the question need not be modal), at
// most once; a manager gone meanwhile makes it do nothing.
using RecoveryQuestion = std::function<void(const QString& text, const QList<RecoveryEntry>& files,
                                            std::function<void(RecoveryAnswer)> answer)>;

// "N bake record(s) were not saved when the program last ended."
QString RecoveryOfferText(qsizetype count);

class DocumentManager : public QObject {
    Q_OBJECT
public:
    DocumentManager(QMdiArea* area, std::shared_ptr<DocumentContext> context,
                    QObject* parent = nullptr);

    DocumentContext& Context() { return *context_; }

    // Shown maximized, in front and active; null on failure (already shown
    // to the operator). Which one File > New makes is the live recorder's
    // rule.
    //
    // A record: the channel charts, x = 0 at the controller time `startTime`.
    ChartDocument* NewRecord(uint64_t startTime, const QString& device = {});
    // A document without charts.
    ChartDocument* NewBlankDocument();
    // The empty document the program starts with: the first bake's record
    // takes its place if the operator never used it.
    void SetStartupDocument(ChartDocument* doc) { startup_ = doc; }
    // The record of a bake that began at `startTime`, its bake already
    // running (BeginLiveBake), which takes the place of the start-up
    // document if the operator never used that one. A recovered record the
    // operator is looking at stays in front of it.
    ChartDocument* NewLiveRecord(uint64_t startTime, const QString& device = {});
    // A file already open is not opened twice: its window comes to the front.
    ChartDocument* OpenDocument(const QString& path);
    ChartDocument* ActiveDocument() const;
    QList<ChartDocument*> Documents() const;
    // The window showing `doc`; null for a document of no window here.
    ChartDocumentWindow* WindowOf(const ChartDocument* doc) const;
    ChartDocumentWindow* ActiveWindow() const;
    QList<ChartDocumentWindow*> Windows() const;

    // Closes every document, asking for each modified one; false when the
    // operator kept one open (the program then goes on).
    bool CloseAll();

    // The recovery files whose writer is gone (a program that ended without
    // saving), oldest first, each checked by reading it. They are claimed
    // and kept as the offer until it is answered; a new scan gives up the
    // last offer first. A file another running program writes is neither
    // listed nor touched, and an empty one (its bake had not been written
    // yet) is removed.
    QList<RecoveryEntry> FindRecoveryFiles();
    // The paths of FindRecoveryFiles().
    QStringList RecoveryFiles();
    // Answers the offer of the last scan, exactly those files: `open` true
    // opens each readable one as a modified document (unreadable ones stay
    // where they are), false deletes all of them. Returns the documents
    // opened.
    QList<ChartDocument*> RestoreRecoveryFiles(bool open);
    // Scans and, when there is anything, writes the question's text to the
    // Output log and asks; the answer is logged and carried out.
    void OfferRecoveryFiles(const RecoveryQuestion& ask);

signals:
    // A document was added, closed or changed its modified state.
    void documentsChanged();

private:
    ChartDocument* Show(std::unique_ptr<ChartDocument> doc);
    ChartDocument* Activate(ChartDocumentWindow* window);

    QMdiArea* LiveArea() const;

    QMdiArea* area_;
    std::shared_ptr<DocumentContext> context_;
    QPointer<ChartDocument> startup_;
    struct OfferedFile {
        RecoveryEntry entry;
        document::RecoveryFile file;  // invalid for a file that could not be claimed
    };
    std::vector<OfferedFile> offer_;
};

}  // namespace document
