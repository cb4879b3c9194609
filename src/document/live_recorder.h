#pragma once
// The one owner of the live record. It listens to the control panel's
// signals; when a bake begins it opens the bake's record, feeds it every
// decoded gauge reading and the controller's profile report, and has it
// saved when the bake ends. It also decides what File > New makes: outside
// a bake a new record, which follows the plate until a bake begins, the
// controller goes Idle or it is closed; during a bake a blank document, so
// that a stray Ctrl+N never splits a bake's record in two.
//
// Window thread only.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "document/chart_document.h"

namespace document {

class DocumentManager;

class LiveRecorder : public QObject {
    Q_OBJECT
public:
    explicit LiveRecorder(DocumentManager* documents, QObject* parent = nullptr);
    // Its records' controller lets go of its sender: they upload nothing more.
    ~LiveRecorder() override;

    // Connects the panel's signals to the slots below.
    void Listen(const bake::ui::ControlPanel* panel);

    // The document the gauge readings go to; null when none does.
    ChartDocument* Record() const { return record_; }
    // The record whose bake runs; null between bakes.
    ChartDocument* LiveRecord() const { return live_; }

    // File > New, shown in front; null on failure (shown).
    ChartDocument* NewDocument();
    // The empty document the program starts with (File > New's kind).
    ChartDocument* NewStartupDocument();

    // The controller these records come from: where their uploads go, and
    // whether it takes one now. Every record this recorder opens carries it.
    void SetProfileSender(bake::ProfileSender send) { controller_->sendProfile = std::move(send); }
    std::shared_ptr<const RecordController> Controller() const { return controller_; }
    // Asked when a record opens: the controller to name in its file name,
    // empty for none (one controller in the program).
    void SetDeviceTag(std::function<QString()> tag) { deviceTag_ = std::move(tag); }
    // Whether this recorder's controller is the one the documents without a
    // controller of their own upload to: the active one keeps the context's
    // controllerIdle. On by default (one controller).
    void SetActive(bool active);
    bool IsActive() const { return active_; }

    // What the panel tells.
    void OnStateChanged(bake::ui::ControlState state);
    void OnBakeStarted(uint64_t startTime);
    void OnBakeEnded(bake::ui::BakeEnd how);
    void OnGauge(const bake::CONCC_GaugeData& gauge);
    void OnProfileReport(const bake::CONCC_TempProfile& report);

private:
    // `doc` receives the readings from now on, replacing any earlier record.
    void Follow(ChartDocument* doc);

    DocumentManager* documents_;
    QPointer<ChartDocument> record_;
    QPointer<ChartDocument> live_;
    bake::ui::ControlState state_ = bake::ui::ControlState::CF_DISCONNECTED;
    QString DeviceTag() const { return deviceTag_ ? deviceTag_() : QString(); }

    std::shared_ptr<RecordController> controller_ = std::make_shared<RecordController>();
    std::function<QString()> deviceTag_;
    bool active_ = true;
    // The controller time of the last gauge reading, 0 before the first:
    // where a record made by File > New starts.
    uint64_t lastGaugeTime_ = 0;
};

}  // namespace document
