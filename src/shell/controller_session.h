#pragma once
// One controller in the program: its link (through its own LinkBridge), its
// "Control" pane with the control panel, its live recorder and its lines in
// the Output log. The main frame holds the sessions in a Controllers list;
// with one session everything looks as it did when the program knew a
// single controller.
//
// Window thread only, apart from ControllerLog, which any thread may call.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <mutex>

#include "bake/ui/control_panel.h"
#include "link/connection.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"
#include "shell/link_bridge.h"

class QMainWindow;

namespace document {
class LiveRecorder;
struct RecordController;
}  // namespace document

namespace shell {

class OutputPane;

// A controller's lines in the Output log: those of its link and of its
// panel. While several controllers are in the program each line's text
// starts with the prefix ("1001: "); with one it is empty and the lines read
// exactly as the pane's own.
class ControllerLog : public platform::TraceLog, public devlink::LinkLog {
public:
    explicit ControllerLog(OutputPane* out) : out_(out) {}
    virtual ~ControllerLog() = default;

    void SetPrefix(const QString& prefix);
    QString Prefix() const;

    void TraceMessage(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceError(const wchar_t* source, const wchar_t* format, ...) override;
    void TraceWarning(const wchar_t* source, const wchar_t* format, ...) override;
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void LogError(const char* format, ...) override __attribute__((format(printf, 2, 3)));

private:
    OutputPane* out_;
    mutable std::mutex mutex_;  // the link thread reads the prefix
    QString prefix_;
};

// The prefix of a controller's log lines among several: "1001: ".
QString ControllerLogPrefix(const QString& label);

// A device ID is the name text of a listed controller (its decimal ID);
// anything else (a typed address, "<unknown>") is no ID.
QString DeviceIdOfName(const QString& name);

class ControllerSession : public QObject {
    Q_OBJECT
public:
    struct Services {
        OutputPane* output = nullptr;
        platform::MessageBox* messageBox = nullptr;
        LinkBridge::CreateLink createLink;    // null: the program's link
        LinkBridge::ReleaseLink releaseLink;  // null: the program's link
        // The link's log in place of the session's own (the first
        // controller's link logs to the pane, as the one link did).
        devlink::LinkLog* linkLog = nullptr;
    };

    // The pane is made here, a child of `frame`, not yet docked.
    ControllerSession(QMainWindow* frame, const Services& services, QObject* parent = nullptr);
    // Closes the link silently and takes the pane away.
    ~ControllerSession() override;

    // Makes the link; 0 or its error code.
    uint32_t Open();
    // The link closed without notification and released; nothing more
    // reaches the panel. Safe to call twice.
    void Shutdown();

    LinkBridge* Bridge() const { return bridge_; }
    devlink::Connection* Link() const { return bridge_->Link(); }
    bake::ui::ControlDock* Dock() const { return dock_; }
    bake::ui::ControlPanel* Panel() const { return dock_ ? dock_->Frame() : nullptr; }
    ControllerLog* Log() { return &log_; }

    // Its recorder, owned by the session (set once by the application).
    void SetRecorder(document::LiveRecorder* recorder);
    document::LiveRecorder* Recorder() const { return recorder_; }

    // Connect(host, port, 0) on its link; 0 when the attempt is under way,
    // else the link's code. `name` is the selection's name text.
    uint32_t Connect(const QString& host, uint16_t port, const QString& name);
    // The operator's Disconnect: graceful, with notification; blocks until
    // the link has closed.
    void Disconnect();
    bool Connected() const { return bridge_->Connected(); }
    // An attempt is under way: from a successful Connect to its outcome.
    bool Connecting() const { return connecting_; }
    // Connected or connecting: the session is taken.
    bool InUse() const { return Connected() || connecting_; }
    // The operator disconnected it (as opposed to a lost link).
    bool DisconnectRequested() const { return disconnectRequested_; }
    // It has been connected once since its last Connect.
    bool WasConnected() const { return wasConnected_; }

    // The host given to Connect (the selection's address), its name text,
    // and the port; empty before the first Connect.
    const QString& Host() const { return host_; }
    const QString& DeviceName() const { return name_; }
    uint16_t Port() const { return port_; }
    // Its device ID where known, else empty.
    QString DeviceId() const { return DeviceIdOfName(name_); }
    // What names it among several: the device ID, else the address.
    QString Label() const;
    // Forgets the chosen controller (a cancelled selection) while idle.
    void ClearChoice();

    // The verdict of the bake report of its last finished bake ("PASS",
    // "FAIL", or empty for none yet or no process window).
    const QString& LastVerdict() const { return verdict_; }
    void SetLastVerdict(const QString& verdict);

signals:
    // The attempt failed with the link error code.
    void connectFailed(uint32_t code);
    // Connected or disconnected: its link event has been handed out.
    void linkChanged();
    // Its panel's state.
    void stateChanged(bake::ui::ControlState state);
    void labelChanged();
    void verdictChanged(const QString& verdict);

private:
    ControllerLog log_;
    devlink::LinkLog* linkLog_;
    LinkBridge* bridge_;
    QPointer<bake::ui::ControlDock> dock_;
    document::LiveRecorder* recorder_ = nullptr;
    QString host_;
    QString name_;
    uint16_t port_ = 0;
    QString verdict_;
    bool connecting_ = false;
    bool disconnectRequested_ = false;
    bool wasConnected_ = false;
    bool shutDown_ = false;
};

// The controllers of the program, the active one among them: the one whose
// pane the operator raised, showed or focused last. Owns the sessions.
class Controllers : public QObject {
    Q_OBJECT
public:
    explicit Controllers(QObject* parent = nullptr) : QObject(parent) {}

    int Count() const { return int(sessions_.size()); }
    const QList<ControllerSession*>& All() const { return sessions_; }
    ControllerSession* Active() const { return active_; }
    // The session connected or connecting to `host`, or null.
    ControllerSession* FindInUse(const QString& host) const;
    // The session whose recorder made records with `controller`, or null.
    ControllerSession* FindByRecord(const document::RecordController* controller) const;
    // The session whose panel is `panel`, or null.
    ControllerSession* FindByPanel(const bake::ui::ControlPanel* panel) const;
    // How many are connected.
    int ConnectedCount() const;

    // Takes `session`; the first becomes the active one.
    void Add(ControllerSession* session);
    // Takes it out and deletes it once the current event is handled; the
    // active one passes to the first that remains.
    void Remove(ControllerSession* session);
    void SetActive(ControllerSession* session);

signals:
    void added(ControllerSession* session);
    // Out of the list; deleted later.
    void removed(ControllerSession* session);
    void activeChanged(ControllerSession* session);

private:
    QList<ControllerSession*> sessions_;
    ControllerSession* active_ = nullptr;
};

}  // namespace shell
