#include "bake/ui/control_panel.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include <cstring>
#include <vector>

#include "bake/profile_upload.h"
#include "bake/ui/bake_options_dialog.h"
#include "bake/ui/segment_display.h"
#include "link/link_errors.h"
#include "widgets/dialog_units.h"

namespace bake::ui {

namespace {

const QColor kReadoutBackground(0, 0, 0);
const QColor kReadoutLit(200, 200, 200);
const QColor kReadoutUnlit(10, 10, 10);

}  // namespace

ControlPanel::ControlPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ControlFrame"));
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());
    templateSize_ = du.Size(172, 221);
    setMinimumSize(templateSize_);

    status_ = new QLineEdit(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setReadOnly(true);
    status_->setFrame(true);
    status_->setFocusPolicy(Qt::NoFocus);
    status_->setGeometry(du.Rect(7, 7, 158, 23));

    struct Readout {
        int x, y, w, h;
        uint32_t digits;
    };
    const Readout layout[4] = {
        {26, 35, 118, 36, 5}, {7, 76, 49, 28, 3}, {61, 76, 49, 28, 3}, {115, 76, 49, 28, 3}};
    for (int i = 0; i < 4; ++i) {
        readouts_[i] = new SegmentDisplay(this);
        readouts_[i]->setGeometry(du.Rect(layout[i].x, layout[i].y, layout[i].w, layout[i].h));
        readouts_[i]->SetDigitCount(layout[i].digits);
        readouts_[i]->SetColors(kReadoutBackground, kReadoutLit, kReadoutUnlit);
        readouts_[i]->SetBlank();
    }

    startAbort_ = new QPushButton(tr("Start"), this);
    startAbort_->setGeometry(du.Rect(7, 120, 158, 39));
    startAbort_->setEnabled(false);
    cooldown_ = new QPushButton(tr("Cooldown"), this);
    cooldown_->setGeometry(du.Rect(7, 168, 158, 39));
    cooldown_->setEnabled(false);
    // The panel lives in a pane, not a dialog: Enter and Escape close nothing.
    startAbort_->setAutoDefault(false);
    cooldown_->setAutoDefault(false);
    connect(startAbort_, &QPushButton::clicked, this, &ControlPanel::OnStartAbortClicked);
    connect(cooldown_, &QPushButton::clicked, this, &ControlPanel::OnCooldownClicked);

    FitStatusFont();
    status_->setText(tr("Not connected"));
    ApplyStatusColors();
    ResetLastGauge();

    editBakeOptions_ = [this](uint8_t* packet28) {
        BakeOptionsDialog dlg(messageBox_, window());
        return dlg.EditBakeOptions(packet28);
    };
}

ControlPanel::~ControlPanel() = default;

void ControlPanel::FitStatusFont() {
    // The text fills the field: the largest font whose line fits its client height.
    const int client = status_->contentsRect().height();
    QFont f = status_->font();
    int px = std::max(1, client);
    for (; px > 1; --px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).height() <= client)
            break;
    }
    f.setPixelSize(px);
    status_->setFont(f);
}

void ControlPanel::ApplyStatusColors() {
    QPalette pal = status_->palette();
    QColor back(0, 0, 0), text(255, 255, 255);
    if (state_ == ControlState::CF_IDLE) {
        back = idleBrush_.color();
        text = QColor(0, 0, 0);
    } else if (state_ == ControlState::CF_BAKING) {
        back = bakingBrush_.color();
        text = QColor(0, 0, 0);
    }
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(g, QPalette::Base, back);
        pal.setColor(g, QPalette::Window, back);
        pal.setColor(g, QPalette::Text, text);
    }
    status_->setPalette(pal);
}

void ControlPanel::SetState(ControlState state, const QString& text) {
    const bool bakeOver = bakeRunning_ && state != ControlState::CF_BAKING;
    state_ = state;
    status_->setText(text);
    ApplyStatusColors();
    emit stateChanged(state_);
    if (bakeOver) {
        bakeRunning_ = false;
        emit bakeEnded(state == ControlState::CF_IDLE ? BakeEnd::ControllerIdle
                                                      : BakeEnd::LinkLost);
    }
}

void ControlPanel::ResetLastGauge() {
    // Zeros, and -1 in the seven 32-bit readings, so that the next gauge
    // packet refreshes every read-out that has a value.
    lastGauge_ = bake::CONCC_GaugeData{};
    lastGauge_.setupTemp = -1;
    lastGauge_.fanRpm = 0xFFFFFFFFu;
    lastGauge_.tempMain = -1;
    lastGauge_.temp1 = -1;
    lastGauge_.temp2 = -1;
    lastGauge_.temp3 = -1;
    lastGauge_.boardTemp = -1;
}

// ---- link events ------------------------------------------------------------

void ControlPanel::OnDeviceConnected() {
    if (log_)
        log_->TraceError(L"USB", L"Device Connected!");
    SetState(ControlState::CF_WAIT_FOR_DATA, tr("Wait for data"));
    ResetLastGauge();
}

void ControlPanel::OnDeviceDisconnected() {
    if (state_ == ControlState::CF_DISCONNECTED)
        return;
    state_ = ControlState::CF_DISCONNECTED;
    profileReader_ = nullptr;
    startAbort_->setEnabled(false);
    cooldown_->setEnabled(false);
    if (log_)
        log_->TraceError(L"USB", L"Device Disconnected!");
    for (SegmentDisplay* r : readouts_) r->SetBlank();
    SetState(ControlState::CF_DISCONNECTED, tr("Disconnected"));
}

void ControlPanel::OnPacket(const uint8_t* bytes, uint32_t length) {
    // The outcome is a value of its own: a message box below runs a nested
    // event loop in which further packets may arrive and be handled.
    const bake::ReceiveOutcome out = protocol_.Receive(bytes, length);
    if (out.bakeResult)
        emit bakeResultReceived(*out.bakeResult);
    out.Apply(log_, messageBox_);
    // Any answer to the reader's request, a refusal too, is the reader's and
    // ends its wait: the next report is the next bake's, for its record.
    bake::CONCC_Header answer;
    if (profileReader_ && bake::DecodeHeader(bytes, length, answer) &&
        answer.type == bake::CONCC_PKT_GET_PROFILE) {
        // Taken first: the reader may open windows and run an event loop.
        ProfileReader reader = std::move(profileReader_);
        profileReader_ = nullptr;
        reader(bytes, length);
        return;
    }
    switch (out.action) {
        case bake::ReceiveAction::None:
            break;
        case bake::ReceiveAction::GaugeData:
            OnBoardGDataReceived(out.gauge);
            break;
        case bake::ReceiveAction::ProfileReport:
            if (state_ == ControlState::CF_BAKING)
                emit profileReported(out.profile);
            break;
        case bake::ReceiveAction::EditBakeOptions: {
            uint8_t packet[bake::kBakeOptionsSize];
            std::memcpy(packet, bytes, sizeof packet);
            // The dialog runs an event loop: a panel whose state changed
            // meanwhile (a bake began, the link dropped) sends nothing.
            const ControlState before = state_;
            if (editBakeOptions_ && editBakeOptions_(packet) && state_ == before)
                SendSetBakeOptionsCommand(packet);
            break;
        }
    }
}

void ControlPanel::OnBoardGDataReceived(const bake::CONCC_GaugeData& g) {
    lastGaugeTime_ = g.timestamp;

    auto refresh = [](SegmentDisplay* readout, int32_t now, int32_t before, int32_t divisor) {
        if (now == before)
            return;
        if (now < 0) {
            readout->SetBlank();
        } else {
            readout->SetValue(static_cast<uint64_t>(now / divisor));
        }
    };
    refresh(readouts_[0], g.tempMain, lastGauge_.tempMain, 1);
    refresh(readouts_[1], g.temp1, lastGauge_.temp1, 100);
    refresh(readouts_[2], g.temp2, lastGauge_.temp2, 100);
    refresh(readouts_[3], g.temp3, lastGauge_.temp3, 100);

    // Every state change and signal happens before anything that can show a
    // box: a box runs an event loop in which the next packets and link events
    // are handled, and they must find the panel already moved on.
    bool bakeBegan = false;
    if (state_ == ControlState::CF_WAIT_FOR_DATA) {
        if (g.devState == bake::CONCC_DEV_IDLE) {
            EnterIdle();
        } else {
            bakeBegan = EnterBaking();
        }
    } else if (state_ == ControlState::CF_IDLE && g.devState == bake::CONCC_DEV_BAKING) {
        bakeBegan = EnterBaking();
    } else if (state_ == ControlState::CF_BAKING && g.devState == bake::CONCC_DEV_IDLE) {
        EnterIdle();
    }

    emit gaugeReceived(g);
    lastGauge_ = g;
    // Last: a failed send shows its box only now.
    if (bakeBegan)
        SendRequest(bake::CONCC_PKT_GET_PROFILE);
}

void ControlPanel::EnterIdle() {
    startAbort_->setEnabled(true);
    cooldown_->setEnabled(true);
    startAbort_->setText(tr("B A K E"));
    SetState(ControlState::CF_IDLE, tr("Idle"));
}

bool ControlPanel::EnterBaking() {
    // The new state first: whoever opens a record for the bake sees the
    // panel Baking.
    startAbort_->setEnabled(true);
    cooldown_->setEnabled(true);
    startAbort_->setText(tr("A B O R T"));
    SetState(ControlState::CF_BAKING, tr("Baking"));
    bakeRunning_ = true;
    emit bakeStarted(lastGaugeTime_);
    // The caller asks for the running profile once the packet is handled.
    return true;
}

// ---- buttons ----------------------------------------------------------------

void ControlPanel::OnStartAbortClicked() {
    // The click changes no state: the next gauge packets tell what happened.
    if (state_ == ControlState::CF_BAKING) {
        SendStartStopCommand(bake::CONCC_ACT_ABORT);
    } else if (state_ == ControlState::CF_IDLE) {
        SendStartStopCommand(bake::CONCC_ACT_START);
    }
}

void ControlPanel::OnCooldownClicked() {
    SendStartStopCommand(bake::CONCC_ACT_COOLDOWN);
}

// ---- commands ---------------------------------------------------------------

bool ControlPanel::SendBytes(const wchar_t* source, const void* bytes, size_t length) {
    if (!link_)
        return false;
    const uint32_t rc = link_->Send(bytes, static_cast<uint32_t>(length));
    if (rc == 0)
        return true;
    bake::SendFailure(source, devlink::LinkErrorText(rc)).Apply(log_, messageBox_);
    return false;
}

void ControlPanel::SendStartStopCommand(uint32_t action) {
    const auto bytes = protocol_.StartStop(action);
    SendBytes(L"SendStartStopCommand", bytes.data(), bytes.size());
}

void ControlPanel::SendRequest(uint32_t type) {
    const auto bytes = protocol_.Request(type);
    SendBytes(L"SendTestCommand", bytes.data(), bytes.size());
}

void ControlPanel::RequestProfile(ProfileReader reader) {
    profileReader_ = std::move(reader);
    SendRequest(bake::CONCC_PKT_GET_PROFILE);
}

void ControlPanel::SendProfile(std::optional<std::span<const bake::ProfileSample>> points) {
    const bake::ProfileUploadPacket packet = bake::BuildProfileUpload(
        points.has_value(), points.value_or(std::span<const bake::ProfileSample>()),
        protocol_.SequenceId());
    if (packet.problem) {
        if (messageBox_)
            messageBox_->ShowMessage(packet.problem, platform::MessageIcon::None);
        return;
    }
    SendBytes(L"SendProfile", packet.bytes.data(), packet.bytes.size());
}

void ControlPanel::SendSetBakeOptionsCommand(uint8_t* packet28) {
    protocol_.PrepareSetBakeOptions(packet28);
    SendBytes(L"SendSetBakeOptionsCommand", packet28, bake::kBakeOptionsSize);
}

// ---- the pane ---------------------------------------------------------------

ControlDock::ControlDock(QWidget* parent) : QDockWidget(tr("Control"), parent) {
    setObjectName(QStringLiteral("Control"));
    frame_ = new ControlPanel(this);
    setWidget(frame_);
    frame_->show();
}

}  // namespace bake::ui
