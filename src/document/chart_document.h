#pragma once
// A chart document: one child window of the main frame holding one chart
// view. A new document is a record of the controller's readings (the live
// recorder feeds it); an opened one shows the charts of a ".tvr" file. A
// record is never lost silently: it counts as modified once gauge points
// arrive, asks before it is closed unsaved, is written to a recovery file
// every few seconds while its bake runs, and is saved by itself into the
// records folder when the bake ends.
//
// Window thread only.

#include <QDateTime>
#include <QMdiSubWindow>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "document/recovery_writer.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"

namespace document {

class ChartDocumentWindow;

// The answer to "save the changes?".
enum class SaveChoice { Save, Discard, Cancel };

// What every document uses from outside; shared by the documents and their
// manager, so that it outlives whichever of them goes last.
struct DocumentContext {
    // The control panel's one call for an upload; unset: nothing is sent.
    bake::ProfileSender sendProfile;
    // Whether the controller takes a profile now (the panel is Idle): kept
    // by the live recorder from the panel's state signal.
    bool controllerIdle = false;
    platform::MessageBox* messages = nullptr;
    platform::TraceLog* log = nullptr;
    QString recordsFolder;   // finished bakes are saved here
    QString recoveryFolder;  // live records are written here while their bake runs
    int recoveryIntervalMs = 10000;
    int nextNumber = 1;  // Chart1, Chart2, ...

    // Dialogs; tests answer them. A path is empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> askSavePath;
    std::function<QString(QWidget* parent)> askImportPath;
    std::function<QString(QWidget* parent, const QString& suggested, const QString& filter)>
        askExportPath;
    std::function<SaveChoice(QWidget* parent, const QString& title)> askSaveChanges;
    // A document was saved under this path (the recent-file list).
    std::function<void(const QString& path)> saved;
};

class ChartDocument : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr char kExtension[] = ".tvr";
    static constexpr char kFilter[] = "Charts (*.tvr)";

    // A new record titled Chart<n>: the ten channel charts, empty, with x = 0
    // at the controller time `startTime` (ms). Null when its charts cannot be
    // made (shown).
    static ChartDocument* NewRecord(const std::shared_ptr<DocumentContext>& context,
                                    uint64_t startTime, QWidget* parent = nullptr);
    // A new document titled Chart<n> that records nothing: no channel
    // charts (File > New while a bake is recorded).
    static ChartDocument* NewBlankDocument(const std::shared_ptr<DocumentContext>& context,
                                           QWidget* parent = nullptr);
    // A document of a chart file, never a record. Null when the file
    // cannot be read (the reader's text shown); no window is left.
    static ChartDocument* OpenDocument(const std::shared_ptr<DocumentContext>& context,
                                       const QString& path, QWidget* parent = nullptr);

    ~ChartDocument() override;

    ChartDocumentWindow* View() const { return view_; }
    QString FilePath() const { return path_; }
    QString Title() const;
    bool IsModified() const { return modified_; }
    bool IsLiveBake() const { return liveBake_; }
    QString RecoveryPath() const { return recoveryPath_; }

    // File > Save (Save As for a document without a file), Save As.
    bool Save();
    bool SaveAs();
    bool SaveTo(const QString& path);
    void ImportChart();
    void ExportCsv();
    void ExportImage();
    void UploadBakeProfile();

    // What the live recorder does with its record. A gauge reading becomes
    // one point per channel (a reading not newer than the last adds
    // nothing); a profile report replaces the "Profile" chart.
    void AppendGauge(const bake::CONCC_GaugeData& gauge);
    void ShowProfile(const bake::CONCC_TempProfile& report);
    // The bake this record follows runs: its recovery file is claimed now
    // and written every few seconds.
    void BeginLiveBake();
    // The bake ended, was aborted, or the link dropped: the record so far is
    // saved (to the file the operator named, else into the records folder).
    void EndLiveBake();

    // A recovered record: untitled, modified, its recovery file kept (and
    // claimed by this program) until it is saved or discarded.
    void AdoptRecoveryFile(document::RecoveryFile file);
    // The local time the recorded bake began, as the controller tells it;
    // the time the record opened while the controller has not said.
    QDateTime BakeStart() const;
    // Nothing in it the operator could miss: no file, no changes, no
    // recovery file, not recording, and only the empty channel charts.
    bool IsUntouched() const;
    // Writes the recovery file now, on this thread, after any write in flight.
    bool WriteRecoveryFile();
    // What the timer does while the bake runs: the record copied here, the
    // file written on a thread of its own. False when there is no recovery
    // file or the last write has not finished yet.
    bool StartRecoveryWrite();
    // A recovery write started by the timer has not finished yet.
    bool RecoveryWriteRunning() const { return recoveryWriter_.Busy(); }

signals:
    void modifiedChanged(bool modified);
    // The window was closed (it is deleted later): it records no more.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ChartDocument(std::shared_ptr<DocumentContext> context, QWidget* parent);
    void SetModified(bool modified);
    void UpdateTitle();
    void AutoSave();
    // The end of a bake whose record the operator already named.
    void SaveNamedRecord();
    // The charts written to `path`, the outcome logged; false with `error`.
    bool WriteDocument(const QString& path, std::wstring& error);
    void RemoveRecoveryFile();
    // Claims a recovery file for the running bake unless one is held.
    bool EnsureRecoveryFile();
    // Logs the failure of the last recovery write, if it failed.
    void ReportRecoveryFailure();
    void ShowError(const std::wstring& text);
    void ShowErrorLater(const std::wstring& text);
    QString SuggestedPath() const;

    std::shared_ptr<DocumentContext> context_;
    ChartDocumentWindow* view_;
    QString path_;
    QString untitledName_;
    bool modified_ = false;
    bool liveBake_ = false;
    QDateTime opened_;  // when the record opened, local time
    QString recoveryPath_;
    document::RecoveryFile recoveryFile_;  // the claim on recoveryPath_; outlives the writer
    QTimer recoveryTimer_;
    document::RecoveryWriter recoveryWriter_;  // last: gone (and finished) first
};

}  // namespace document
