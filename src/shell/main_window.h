#pragma once
// The program's one top-level window: menus, toolbar, status bar, the
// "Output" pane, one "Control" pane per controller and the chart documents.
// Each controller's session owns its link bridge, which owns its device link
// and signals the link's events to that controller's panel. The commands of
// the Devices menu act on the active controller.

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "link/connection.h"
#include "platform/message_box.h"
#include "shell/actions.h"
#include "shell/controller_session.h"
#include "shell/device_selector.h"
#include "shell/link_bridge.h"
#include "shell/recent_file_list.h"

class QLabel;
class QMdiArea;
class QMenu;
namespace bake::ui {
class ControlPanel;
}
namespace bake::ui {
class ControlDock;
}

namespace shell {

class CommandToolBar;
class OutputPane;
class QtMessageBox;

// What the frame uses from outside; tests replace the link and the boxes.
struct MainFrameServices {
    platform::MessageBox* messageBox = nullptr;  // null: the program's QMessageBox
    LinkBridge::CreateLink createLink;           // null: devlink::CreateClientConnection
    LinkBridge::ReleaseLink releaseLink;         // null: devlink::ReleaseClientConnection
    // Asks for the controller to connect to; not owned. The program gives
    // the device selection dialog; null: no selection opens.
    DeviceSelector* deviceSelector = nullptr;
    // File > Open's dialog, starting in `folder`; empty when cancelled.
    // Null: the platform's file dialog.
    std::function<QString(QWidget* parent, const QString& folder)> askOpenPath{};
};

// The menus of the menu bar, for the command groups that add their panes.
struct Menus {
    QMenu* file = nullptr;
    QMenu* devices = nullptr;
    QMenu* view = nullptr;
    QMenu* panes = nullptr;  // View > "&Toolbars and Docking Windows"
    QMenu* help = nullptr;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr uint16_t kControllerPort = 5565;

    explicit MainWindow(MainFrameServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The frame start-up: bars, panes, the link, the control panel as
    // listener, and (unless switched off before) the device selection queued
    // to open once the message loop runs. False when it failed; the reason
    // has been shown.
    bool Create();
    // Whether Create() queues the device selection; off when the command
    // line names the controller.
    void SetSelectDeviceAtStart(bool on) { selectDeviceAtStart_ = on; }
    // The link closed without notification and released; no link event
    // reaches a listener any more.
    // Runs at destruction at the latest; safe to call twice.
    void Shutdown();

    // The controllers; the accessors below answer for the active one.
    Controllers* Sessions() const { return controllers_; }
    ControllerSession* ActiveSession() const { return controllers_->Active(); }

    // The active controller's link receiver; device listeners connect to its signals.
    LinkBridge* Bridge() const { return ActiveSession()->Bridge(); }

    // Connect(host, port, 0) on a link: no reconnecting by itself. A host
    // already connected (or connecting) only has its pane activated; else the
    // active controller's link is used while it is idle, and otherwise a new
    // controller is added. A refusal is shown and the device selection
    // follows. `name` is the selection's name text (a device ID).
    void ConnectTo(const QString& host, uint16_t port = kControllerPort, const QString& name = {});
    bool Connected() const { return ActiveSession()->Connected(); }

    // The "Connect..." command: the device selection, then a connection to
    // each chosen controller; again after every failed attempt until one is
    // under way or the selection is cancelled. Nothing while the active
    // controller is connected.
    void SelectDeviceAndConnect();
    // "Add Device...": the same, whatever is connected; the chosen
    // controllers join those already connected.
    void SelectDeviceAndAdd();
    // The active controller chosen last (empty after a cancelled selection).
    const QString& DeviceAddress() const { return ActiveSession()->Host(); }
    const QString& DeviceName() const { return ActiveSession()->DeviceName(); }
    // Makes `session`'s pane the one in front and the commands act on it.
    void ActivateSession(ControllerSession* session);
    // Chart documents: File > New and File > Open (and the recent files)
    // work once these are set.
    void SetDocumentHandlers(std::function<void()> newDocument,
                             std::function<bool(const QString&)> openDocument);
    // Opens a chart document file (command line, recent files).
    void OpenDocumentFile(const QString& path);
    // Where File > Open starts: the records folder.
    void SetOpenFolder(const QString& folder) { openFolder_ = folder; }
    // A document saved under `path` goes first in the recent files.
    void AddRecentFile(const QString& path);
    // Asked before the window closes; false keeps it open (the operator
    // kept a document that is not saved).
    void SetCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

    void SetApplicationLook(int id);
    int ApplicationLook() const { return look_; }
    // Enables the commands from the link and the control panel state.
    void UpdateCommandStates();
    void CustomizeToolbar();
    void ShowWindowsDialog();
    void ShowAbout();

    const Actions& Commands() const { return actions_; }
    const Menus& MenuBarMenus() const { return menus_; }
    OutputPane* Output() const { return outputPane_; }
    bake::ui::ControlDock* ControlPane() const { return ActiveSession()->Dock(); }
    bake::ui::ControlPanel* ControlFrame() const;
    CommandToolBar* StandardToolBar() const { return toolBar_; }
    QMdiArea* MdiArea() const { return mdiArea_; }
    devlink::Connection* Link() const { return ActiveSession()->Link(); }
    platform::MessageBox* Messages() const { return messageBox_; }
    const RecentFileList& RecentFiles() const { return recentFiles_; }

signals:
    // The active controller's panel changed state, or another controller
    // became the active one: the commands that follow it look again.
    void activeControllerChanged();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void ConnectActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    bool CreateDockingWindows();
    void RebuildRecentFilesMenu();
    void UpdateIndicators();
    void OnConnectFailed_main(uint32_t code, ControllerSession* session = nullptr);
    // The selection loop; `adding`: the chosen controllers join the others.
    void SelectDevices(bool adding);
    // A new session with its pane beside the others; null when its link
    // cannot be made (shown).
    ControllerSession* AddSession();
    void OnSessionAdded(ControllerSession* session);
    void OnSessionLinkChanged(ControllerSession* session);
    void OnSessionConnectFailed(ControllerSession* session, uint32_t code);
    // Pane titles and log prefixes from the number of controllers.
    void UpdateSessionNames();
    // Connects the chosen controller; false when the link refused at once
    // (shown).
    bool ConnectChoice(const QString& host, const QString& name, bool adding);

    MainFrameServices services_;
    std::unique_ptr<QtMessageBox> ownMessageBox_;
    platform::MessageBox* messageBox_ = nullptr;

    OutputPane* outputPane_ = nullptr;
    Controllers* controllers_ = nullptr;
    // The session whose link logs to the Output pane directly.
    QPointer<ControllerSession> paneLinkSession_;

    Actions actions_;
    Menus menus_;
    QList<QAction*> recentActions_;
    QAction* recentSeparator_ = nullptr;
    QAction* panesSeparator_ = nullptr;       // the controllers' panes go before it
    uint16_t pendingPort_ = kControllerPort;  // ConnectTo's port on its way
    CommandToolBar* toolBar_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* indicators_[3] = {};
    int look_ = 0;
    bool selectDeviceAtStart_ = true;
    bool selecting_ = false;  // a device selection is open
    RecentFileList recentFiles_;
    std::function<void()> newDocument_;
    std::function<bool(const QString&)> openDocument_;
    std::function<bool()> closeGuard_;
    QString openFolder_;
    bool shutDown_ = false;
};

}  // namespace shell
