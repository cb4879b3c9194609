#pragma once
// The control panel: the operator's view of the connected controller and the
// only place where bakes are started and stopped. It is the program's device
// listener; it follows the controller's state from the gauge packets, shows
// the temperatures on segment read-outs and sends the controller commands.
// What happened it tells with signals (each gauge packet decoded once, the
// running profile, a bake's start and end); it knows nothing of who records.

#include <QBrush>
#include <QDockWidget>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "bake/controller_protocol.h"
#include "bake/packet_listener.h"
#include "bake/profile_upload.h"
#include "link/connection.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"

class QLineEdit;
class QPushButton;
namespace bake::ui {

class SegmentDisplay;

enum class ControlState : uint32_t {
    CF_DISCONNECTED = 0,
    CF_WAIT_FOR_DATA = 1,
    CF_IDLE = 2,
    CF_BAKING = 3,
};

// How a bake the panel followed came to its end.
enum class BakeEnd {
    ControllerIdle,  // the controller reports Idle again: finished or aborted
    LinkLost,        // the link dropped (or was made anew) while it baked
};

class ControlPanel : public QWidget, public bake::PacketListener {
    Q_OBJECT
public:
    // Runs the bake options dialog on a 28-byte record; true when confirmed
    // (the record then holds the new values).
    using BakeOptionsEditor = std::function<bool(uint8_t* packet28)>;

    explicit ControlPanel(QWidget* parent = nullptr);
    ~ControlPanel() override;

    // Collaborators; none is owned. Without a link nothing is sent.
    void SetLink(devlink::Connection* link) { link_ = link; }
    void SetTraceLog(platform::TraceLog* log) { log_ = log; }
    void SetMessageBox(platform::MessageBox* box) { messageBox_ = box; }
    void SetBakeOptionsEditor(BakeOptionsEditor editor) { editBakeOptions_ = std::move(editor); }
    // Asks the controller for its temperature profile; `reader` receives the
    // next answer of type 34, a report or a refusal (a bare header), whatever
    // the state, instead of profileReported. A lost connection drops it.
    using ProfileReader = std::function<void(const uint8_t* bytes, uint32_t length)>;
    void RequestProfile(ProfileReader reader);

    // PacketListener
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void OnPacket(const uint8_t* bytes, uint32_t length) override;

    // The controller commands; failures are logged and shown, never returned.
    void SendStartStopCommand(uint32_t action);
    void SendRequest(uint32_t type);
    // Sends the points of one chart (x seconds, y degrees) as the
    // controller's temperature profile; none when no chart was found (a chart
    // without points is a chart, with none of them). Every refusal and
    // failure is shown to the operator here. The caller sends only while the
    // panel is Idle.
    void SendProfile(std::optional<std::span<const bake::ProfileSample>> points);
    void SendSetBakeOptionsCommand(uint8_t* packet28);

    ControlState State() const { return state_; }
    bool IsIdle() const { return state_ == ControlState::CF_IDLE; }
    uint32_t SequenceId() const { return protocol_.SequenceId(); }
    bake::ControllerProtocol& Protocol() { return protocol_; }

    SegmentDisplay* MainReadout() const { return readouts_[0]; }
    SegmentDisplay* SensorReadout(int sensor) const { return readouts_[sensor]; }  // 1..3
    QLineEdit* StatusField() const { return status_; }
    QPushButton* StartAbortButton() const { return startAbort_; }
    QPushButton* CooldownButton() const { return cooldown_; }
    QSize TemplateSize() const { return templateSize_; }

signals:
    // Emitted in this order for one gauge packet: stateChanged, then
    // bakeStarted or bakeEnded when the state began or ended a bake, then
    // gaugeReceived; a lost link gives stateChanged, then bakeEnded. All on
    // the window thread, before the panel handles the next event.
    void stateChanged(ControlState state);
    // A bake began; its first gauge packet, which follows, has the
    // controller time `startTime` (milliseconds).
    void bakeStarted(uint64_t startTime);
    // The bake that began with the last bakeStarted is over.
    void bakeEnded(BakeEnd how);
    // Every gauge packet, decoded, after the state it brought was entered.
    void gaugeReceived(const bake::CONCC_GaugeData& gauge);
    // The controller's report of the running profile (type 34), while
    // Baking, unless RequestProfile's reader took it.
    void profileReported(const bake::CONCC_TempProfile& report);
    // The controller's word on how a bake ended (its result packet), before
    // the box that shows it: whoever watches an unattended plate hears it
    // even while nobody closes the box.
    void bakeResultReceived(const bake::CONCC_BakeResult& result);

private:
    void OnBoardGDataReceived(const bake::CONCC_GaugeData& gauge);
    void EnterIdle();
    // True: the caller asks for the running profile after handling the packet.
    bool EnterBaking();
    // Emits bakeEnded after the state change when it ends a bake.
    void SetState(ControlState state, const QString& text);
    void ApplyStatusColors();
    void FitStatusFont();
    void ResetLastGauge();
    bool SendBytes(const wchar_t* source, const void* bytes, size_t length);
    void OnStartAbortClicked();
    void OnCooldownClicked();

    ControlState state_ = ControlState::CF_DISCONNECTED;
    bake::ControllerProtocol protocol_;
    uint64_t lastGaugeTime_ = 0;
    bool bakeRunning_ = false;  // from bakeStarted to bakeEnded
    bake::CONCC_GaugeData lastGauge_;

    devlink::Connection* link_ = nullptr;
    platform::TraceLog* log_ = nullptr;
    platform::MessageBox* messageBox_ = nullptr;
    ProfileReader profileReader_;
    BakeOptionsEditor editBakeOptions_;

    SegmentDisplay* readouts_[4];
    QLineEdit* status_;
    QPushButton* startAbort_;
    QPushButton* cooldown_;
    QBrush idleBrush_{QColor(0, 255, 0)};
    QBrush bakingBrush_{QColor(255, 128, 0)};
    QSize templateSize_;
};

// The "Control" pane: holds the panel at its top-left corner, sized to the pane.
class ControlDock : public QDockWidget {
    Q_OBJECT
public:
    explicit ControlDock(QWidget* parent = nullptr);
    ControlPanel* Frame() const { return frame_; }

private:
    ControlPanel* frame_;
};

}  // namespace bake::ui
