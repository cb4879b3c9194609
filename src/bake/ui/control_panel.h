#pragma once
// The control panel: the operator's view of the connected controller and the
// only place where bakes are started and stopped. It is the program's device
// listener; it follows the controller's state from the gauge packets, shows
// the temperatures on segment read-outs and sends the controller commands.

#include <QBrush>
#include <QDockWidget>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "bake/controller_protocol.h"
#include "bake/packet_listener.h"
#include "bake/profile_upload.h"
#include "bake/ui/bake_recording.h"
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

class ControlPanel : public QWidget, public bake::PacketListener, public BakePanel {
    Q_OBJECT
public:
    enum : int {
        kIdStartAbort = 1000,
        kIdMainReadout = 1001,
        kIdSensor1 = 1002,
        kIdSensor2 = 1003,
        kIdSensor3 = 1004,
        kIdCooldown = 1005,
        kIdStatus = 1006,
    };

    // Runs the bake options dialog on a 28-byte record; true when confirmed
    // (the record then holds the new values).
    using BakeOptionsEditor = std::function<bool(uint8_t* packet28)>;

    explicit ControlPanel(QWidget* parent = nullptr);
    ~ControlPanel() override;

    // Collaborators; none is owned. Without a link nothing is sent.
    void SetLink(devlink::Connection* link) { link_ = link; }
    void SetTraceLog(platform::TraceLog* log) { log_ = log; }
    void SetMessageBox(platform::MessageBox* box) { messageBox_ = box; }
    // Opens a new, visible, untitled chart document, as File > New does; the
    // document registers its view with SetBakeView. Unset: no document.
    void SetDocumentOpener(std::function<void()> opener) { openDocument_ = std::move(opener); }
    void SetBakeOptionsEditor(BakeOptionsEditor editor) { editBakeOptions_ = std::move(editor); }
    // Asks the controller for its temperature profile; `reader` receives the
    // next answer of type 34, a report or a refusal (a bare header), whatever
    // the state, instead of the bake view. A lost connection drops it.
    using ProfileReader = std::function<void(const uint8_t* bytes, uint32_t length)>;
    void RequestProfile(ProfileReader reader);

    // PacketListener
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void OnPacket(const uint8_t* bytes, uint32_t length) override;

    // The controller commands; failures are logged and shown, never returned.
    void SendStartStopCommand(uint32_t action);
    void SendRequest(uint32_t type);
    // The points of one chart; none = no chart found.
    void SendProfile(std::optional<std::span<const bake::ProfileSample>> points) override;
    void SendSetBakeOptionsCommand(uint8_t* packet28);

    ControlState State() const { return state_; }
    bool IsIdle() const override { return state_ == ControlState::CF_IDLE; }
    uint32_t SequenceId() const { return protocol_.SequenceId(); }
    bake::ControllerProtocol& Protocol() { return protocol_; }

    // BakePanel
    BakeRecording* BakeView() const override { return bakeView_; }
    void SetBakeView(BakeRecording* view) override { bakeView_ = view; }
    void ClearBakeView(BakeRecording* view) override {
        if (bakeView_ == view)
            bakeView_ = nullptr;
    }
    uint64_t LastGaugeTime() const override { return lastGaugeTime_; }

    SegmentDisplay* MainReadout() const { return readouts_[0]; }
    SegmentDisplay* SensorReadout(int sensor) const { return readouts_[sensor]; }  // 1..3
    QLineEdit* StatusField() const { return status_; }
    QPushButton* StartAbortButton() const { return startAbort_; }
    QPushButton* CooldownButton() const { return cooldown_; }
    QSize TemplateSize() const { return templateSize_; }

signals:
    void stateChanged(ControlState state);

private:
    void OnBoardGDataReceived(const bake::CONCC_GaugeData& gauge, const uint8_t* bytes,
                              uint32_t length);
    void EnterIdle();
    // True: the caller asks for the running profile after handling the packet.
    bool EnterBaking();
    void SetState(ControlState state, const QString& text);
    void ApplyStatusColors();
    void FitStatusFont();
    void ResetLastGauge();
    bool SendBytes(const wchar_t* source, const void* bytes, size_t length);
    void OnStartAbortClicked();
    void OnCooldownClicked();

    ControlState state_ = ControlState::CF_DISCONNECTED;
    bake::ControllerProtocol protocol_;
    BakeRecording* bakeView_ = nullptr;
    uint64_t lastGaugeTime_ = 0;
    bake::CONCC_GaugeData lastGauge_;

    devlink::Connection* link_ = nullptr;
    platform::TraceLog* log_ = nullptr;
    platform::MessageBox* messageBox_ = nullptr;
    std::function<void()> openDocument_;
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
