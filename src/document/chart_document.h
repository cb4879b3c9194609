#pragma once
// A chart document without a window: its charts, the file it was read from
// or saved to, whether it has changed since, and everything that keeps a
// record from being lost. A new document is a record of the controller's
// readings (the live recorder feeds it); an opened one holds the charts of a
// ".tvr" file. A record counts as modified once gauge points arrive, is
// written to a recovery file every few seconds while its bake runs, and is
// saved by itself into the records folder when the bake ends. A
// ChartDocumentWindow shows it and asks the operator what this needs to know
// (file names, whether to save).
//
// Window thread only.

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "chart/chart_set.h"
#include "document/channel_charts.h"
#include "document/recovery_writer.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"

class QWidget;

namespace document {

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

    // Dialogs, asked by the document's window; tests answer them. A path is
    // empty when cancelled.
    std::function<QString(QWidget* parent, const QString& suggested)> askSavePath;
    std::function<QString(QWidget* parent)> askImportPath;
    std::function<QString(QWidget* parent, const QString& suggested, const QString& filter)>
        askExportPath;
    std::function<SaveChoice(QWidget* parent, const QString& title)> askSaveChanges;
    // A document was saved under this path (the recent-file list).
    std::function<void(const QString& path)> saved;
};

// The controller a record was made from. Its record's uploads go to this
// controller and to no other; its recorder keeps it current and unsets the
// sender when the controller leaves the program, after which the record
// uploads nothing.
struct RecordController {
    bake::ProfileSender sendProfile;
    bool idle = false;  // the controller takes a profile now
};

class ChartDocument : public QObject {
    Q_OBJECT
public:
    static constexpr char kExtension[] = ".tvr";
    static constexpr char kFilter[] = "Charts (*.tvr)";

    // A new record titled Chart<n>: the ten channel charts, empty, with x = 0
    // at the controller time `startTime` (ms). Null when its charts cannot be
    // made (shown).
    // `device` names the controller in the record's file names (empty: the
    // name carries none).
    static std::unique_ptr<ChartDocument> NewRecord(const std::shared_ptr<DocumentContext>& context,
                                                    uint64_t startTime, const QString& device = {});
    // A new document titled Chart<n> that records nothing: no channel
    // charts (File > New while a bake is recorded).
    static std::unique_ptr<ChartDocument> NewBlankDocument(
        const std::shared_ptr<DocumentContext>& context);
    // A document of a chart file, never a record. Null when the file
    // cannot be read (the reader's text shown and logged).
    static std::unique_ptr<ChartDocument> OpenDocument(
        const std::shared_ptr<DocumentContext>& context, const QString& path);

    ~ChartDocument() override;

    DocumentContext& Context() const { return *context_; }
    chart::ChartSet& Set() { return set_; }
    const chart::ChartSet& Set() const { return set_; }
    const ChannelCharts& Channels() const { return channels_; }

    QString FilePath() const { return path_; }
    QString Title() const;
    bool IsModified() const { return modified_; }
    bool IsLiveBake() const { return liveBake_; }
    QString RecoveryPath() const { return recoveryPath_; }
    // Its home range fits all its points (a file, a finished bake) instead
    // of the fixed range a running record starts with.
    bool ShowsWholeRecord() const { return showsWhole_; }
    // The name File > Save As offers: its file, a records-folder name for a
    // record, else its title.
    QString SuggestedPath() const;

    // Writes the charts to `path`, which becomes the document's file; a
    // failure is logged and shown, and changes nothing.
    bool SaveTo(const QString& path);
    // "Import chart...": the charts of a chart XML file added, which is a
    // change; a failure is shown and leaves the charts as they were.
    bool ImportChart(const QString& path);
    // The charts as CSV; a failure is shown.
    bool ExportCsv(const QString& path);
    // "Upload Bake Profile": the chart to send chosen from the charts and
    // the selection, logged, and handed to the panel (while it is Idle): the
    // panel of the controller that recorded it, else the context's.
    void UploadBakeProfile();
    // Whether UploadBakeProfile would send now.
    bool CanUpload() const;
    // The controller that recorded it; null for any other document.
    void SetController(std::shared_ptr<const RecordController> controller) {
        controller_ = std::move(controller);
    }
    const RecordController* Controller() const { return controller_.get(); }
    // The controller named in its record file names; empty when none is.
    const QString& Device() const { return device_; }

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
    // The operator closed it (after any question): it records no more, its
    // recovery file goes, and changes it still had are logged as lost.
    void Close();

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
    // What the timer does while the bake runs: the file written from the
    // record's points on a thread of its own. False when there is no
    // recovery file or the last write has not finished yet.
    bool StartRecoveryWrite();
    // A recovery write started by the timer has not finished yet.
    bool RecoveryWriteRunning() const { return recoveryWriter_.Busy(); }

signals:
    void modifiedChanged(bool modified);
    void titleChanged(const QString& title);
    // Gauge points were added (the live view follows them).
    void pointsAppended();
    // From now on the whole record is shown (ShowsWholeRecord).
    void wholeRecordShown();
    // Closed: it records no more, and its window deletes it.
    void closed();

private:
    explicit ChartDocument(std::shared_ptr<DocumentContext> context);
    void SetModified(bool modified);
    void SetPath(const QString& path);
    void ShowWholeRecord();
    // Formatters and legend, once the charts are there.
    void InitialUpdate();
    void AutoSave();
    // The end of a bake whose record the operator already named.
    void SaveNamedRecord();
    // All charts written to `path`; false with the text to show ("No charts
    // to save!" or the writer's).
    bool WriteCharts(const QString& path, std::wstring& error) const;
    // The charts written to `path`, the outcome logged; false with `error`.
    bool WriteDocument(const QString& path, std::wstring& error);
    void RemoveRecoveryFile();
    // Claims a recovery file for the running bake unless one is held.
    bool EnsureRecoveryFile();
    // Logs the failure of the last recovery write, if it failed.
    void ReportRecoveryFailure();
    void ShowError(const std::wstring& text,
                   platform::MessageIcon icon = platform::MessageIcon::Error);
    void ShowErrorLater(const std::wstring& text);

    std::shared_ptr<DocumentContext> context_;
    chart::ChartSet set_;
    document::ChannelCharts channels_;
    QString path_;
    QString untitledName_;
    bool modified_ = false;
    bool liveBake_ = false;
    bool showsWhole_ = false;
    QDateTime opened_;  // when the record opened, local time
    QString device_;
    std::shared_ptr<const RecordController> controller_;
    QString recoveryPath_;
    document::RecoveryFile recoveryFile_;  // the claim on recoveryPath_; outlives the writer
    QTimer recoveryTimer_;
    document::RecoveryWriter recoveryWriter_;  // last: gone (and finished) first
};

}  // namespace document
