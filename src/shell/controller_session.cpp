#include "shell/controller_session.h"

#include <QApplication>
#include <QMainWindow>

#include <cstdarg>

#include "document/live_recorder.h"
#include "shell/output_pane.h"

namespace shell {

// ---- the controller's log lines ---------------------------------------------------

void ControllerLog::SetPrefix(const QString& prefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    prefix_ = prefix;
}

QString ControllerLog::Prefix() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return prefix_;
}

void ControllerLog::TraceMessage(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    out_->PostWide(OutputLineKind::Message, format, args, Prefix());
    va_end(args);
}

void ControllerLog::TraceError(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    out_->PostWide(OutputLineKind::Error, format, args, Prefix());
    va_end(args);
}

void ControllerLog::TraceWarning(const wchar_t*, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    out_->PostWide(OutputLineKind::Warning, format, args, Prefix());
    va_end(args);
}

void ControllerLog::LogMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    out_->PostNarrow(OutputLineKind::Message, format, args, Prefix());
    va_end(args);
}

void ControllerLog::LogError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    out_->PostNarrow(OutputLineKind::Error, format, args, Prefix());
    va_end(args);
}

QString ControllerLogPrefix(const QString& label) {
    return label.isEmpty() ? QString() : label + QStringLiteral(": ");
}

QString DeviceIdOfName(const QString& name) {
    if (name.isEmpty())
        return {};
    for (const QChar c : name) {
        if (!c.isDigit())
            return {};
    }
    return name;
}

// ---- one controller ------------------------------------------------------------------

ControllerSession::ControllerSession(QMainWindow* frame, const Services& services, QObject* parent)
    : QObject(parent),
      log_(services.output),
      linkLog_(services.linkLog ? services.linkLog : &log_),
      bridge_(new LinkBridge(services.createLink, services.releaseLink, this)),
      dock_(new bake::ui::ControlDock(frame)) {
    // Before the panel hears of it: the session's own view of the link is
    // current when the panel's signals run.
    connect(bridge_, &LinkBridge::deviceConnected, this, [this] {
        connecting_ = false;
        wasConnected_ = true;
    });
    connect(bridge_, &LinkBridge::deviceDisconnected, this, [this] { connecting_ = false; });
    connect(bridge_, &LinkBridge::connectFailed, this, [this](uint32_t code) {
        connecting_ = false;
        emit connectFailed(code);
    });
    connect(bridge_, &LinkBridge::eventHandled, this, &ControllerSession::linkChanged);
    bake::ui::ControlPanel* panel = Panel();
    panel->SetTraceLog(&log_);
    panel->SetMessageBox(services.messageBox);
    connect(panel, &bake::ui::ControlPanel::stateChanged, this, &ControllerSession::stateChanged);
}

ControllerSession::~ControllerSession() {
    Shutdown();
    delete dock_.data();
}

uint32_t ControllerSession::Open() {
    if (const uint32_t error = bridge_->Open(linkLog_))
        return error;
    bake::ui::ControlPanel* panel = Panel();
    panel->SetLink(bridge_->Link());
    ConnectListener(bridge_, panel, panel);
    if (bridge_->Connected())
        panel->OnDeviceConnected();
    return 0;
}

void ControllerSession::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (bake::ui::ControlPanel* panel = Panel())
        panel->SetLink(nullptr);
    bridge_->Shutdown();
}

void ControllerSession::SetRecorder(document::LiveRecorder* recorder) {
    recorder_ = recorder;
    if (recorder_)
        recorder_->setParent(this);
}

uint32_t ControllerSession::Connect(const QString& host, uint16_t port, const QString& name) {
    devlink::Connection* link = Link();
    if (!link)
        return 0;
    const bool relabel = host != host_ || name != name_;
    host_ = host;
    name_ = name;
    port_ = port;
    disconnectRequested_ = false;
    wasConnected_ = false;
    if (relabel)
        emit labelChanged();
    const QByteArray h = host.toUtf8();
    const uint32_t rc = link->Connect(h.constData(), port, 0);
    connecting_ = rc == 0;
    return rc;
}

void ControllerSession::Disconnect() {
    devlink::Connection* link = Link();
    if (!link || !Connected())
        return;
    disconnectRequested_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    link->Disconnect(1, 0);
    QApplication::restoreOverrideCursor();
}

QString ControllerSession::Label() const {
    const QString id = DeviceId();
    return id.isEmpty() ? host_ : id;
}

void ControllerSession::ClearChoice() {
    if (InUse() || (host_.isEmpty() && name_.isEmpty()))
        return;
    host_.clear();
    name_.clear();
    emit labelChanged();
}

void ControllerSession::SetLastVerdict(const QString& verdict) {
    if (verdict_ == verdict)
        return;
    verdict_ = verdict;
    emit verdictChanged(verdict_);
}

// ---- the list ---------------------------------------------------------------------------

ControllerSession* Controllers::FindInUse(const QString& host) const {
    for (ControllerSession* s : sessions_) {
        if (s->InUse() && s->Host() == host)
            return s;
    }
    return nullptr;
}

ControllerSession* Controllers::FindByRecord(const document::RecordController* controller) const {
    for (ControllerSession* s : sessions_) {
        if (controller && s->Recorder() && s->Recorder()->Controller().get() == controller)
            return s;
    }
    return nullptr;
}

ControllerSession* Controllers::FindByPanel(const bake::ui::ControlPanel* panel) const {
    for (ControllerSession* s : sessions_) {
        if (s->Panel() == panel)
            return s;
    }
    return nullptr;
}

int Controllers::ConnectedCount() const {
    int n = 0;
    for (const ControllerSession* s : sessions_) n += s->Connected() ? 1 : 0;
    return n;
}

void Controllers::Add(ControllerSession* session) {
    session->setParent(this);
    sessions_.append(session);
    emit added(session);
    if (!active_)
        SetActive(session);
}

void Controllers::Remove(ControllerSession* session) {
    if (!sessions_.removeOne(session))
        return;
    // Its own link event may still be on the way out: deleted once that is done.
    session->Shutdown();
    if (session->Dock())
        session->Dock()->hide();
    emit removed(session);
    if (active_ == session) {
        active_ = nullptr;
        SetActive(sessions_.value(0));
    }
    session->deleteLater();
}

void Controllers::SetActive(ControllerSession* session) {
    if (session == active_ || (session && !sessions_.contains(session)))
        return;
    active_ = session;
    emit activeChanged(session);
}

}  // namespace shell
