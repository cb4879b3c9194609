#pragma once
// The program's one top-level window: menus, toolbar, status bar, the
// "Output" and "Control" panes and the chart documents. Its link bridge owns
// the device link and hands the link's events to the device listeners.

#include <QEvent>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "link/connection.h"
#include "platform/message_box.h"
#include "shell/device_selector.h"
#include "shell/link_bridge.h"
#include "shell/recent_file_list.h"

class QActionGroup;
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

// The keys of a standard command on this platform, with `wanted` first
// wherever the platform leaves them out: the README's keys always work.
QList<QKeySequence> CommandKeys(QKeySequence::StandardKey key, const QList<QKeySequence>& wanted);

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    enum CommandId : int {
        ID_VIEW_CUSTOMIZE = 126,
        ID_WINDOW_MANAGER = 131,
        ID_DEVICES_CONNECT = 32771,
        ID_DEVICES_DISCONNECT = 32772,
        ID_DEVICES_BAKE_OPTIONS = 32775,
        ID_FILE_NEW = 57600,
        ID_FILE_OPEN = 57601,
        ID_FILE_SAVE = 57603,
        ID_FILE_PRINT = 57607,
        ID_FILE_MRU_FILE1 = 57616,
        ID_EDIT_COPY = 57634,
        ID_EDIT_CUT = 57635,
        ID_EDIT_PASTE = 57637,
        ID_APP_ABOUT = 57664,
        ID_APP_EXIT = 57665,
        ID_VIEW_TOOLBAR = 59392,
        ID_VIEW_STATUS_BAR = 59393,
    };
    static constexpr uint16_t kControllerPort = 5565;
    // Opens the device selection once the message loop runs.
    static constexpr QEvent::Type WM_SELECT_DEVICE = static_cast<QEvent::Type>(1128);

    explicit MainWindow(MainFrameServices services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The frame start-up: bars, panes, the link, the control panel as
    // listener, and (unless switched off before) WM_SELECT_DEVICE posted.
    // False when it failed; the reason has been shown.
    bool Create();
    // Whether Create() posts WM_SELECT_DEVICE; off when the command line
    // names the controller.
    void SetSelectDeviceAtStart(bool on) { selectDeviceAtStart_ = on; }
    // Listeners emptied, the link closed without notification and released.
    // Runs at destruction at the latest; safe to call twice.
    void Shutdown();

    // The link's receiver and the device listeners' registry.
    LinkBridge* Bridge() const { return bridge_; }

    // Connect(host, port, 0) on the link: no reconnecting by itself. A
    // refusal is shown and the device selection follows.
    void ConnectTo(const QString& host, uint16_t port = kControllerPort);
    bool Connected() const { return bridge_->Connected(); }

    // The "Connect..." command: the device selection, then a connection to
    // the chosen controller; again after every failed attempt until one is
    // under way or the selection is cancelled.
    void SelectDeviceAndConnect();
    // The controller chosen last (empty after a cancelled selection).
    const QString& DeviceAddress() const { return deviceAddress_; }
    const QString& DeviceName() const { return deviceName_; }
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

    QAction* Action(int commandId) const { return actions_.value(commandId); }
    QMenu* MenuByTitle(const QString& title) const;
    OutputPane* Output() const { return outputPane_; }
    bake::ui::ControlDock* ControlPane() const { return controlPane_; }
    bake::ui::ControlPanel* ControlFrame() const;
    CommandToolBar* StandardToolBar() const { return toolBar_; }
    QMdiArea* MdiArea() const { return mdiArea_; }
    devlink::Connection* Link() const { return bridge_->Link(); }
    platform::MessageBox* Messages() const { return messageBox_; }
    const RecentFileList& RecentFiles() const { return recentFiles_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QAction* MakeAction(int id, const QString& text, const QString& prompt = QString());
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    bool CreateDockingWindows();
    void RebuildRecentFilesMenu();
    void UpdateIndicators();
    void OnConnectFailed_main(uint32_t code);

    MainFrameServices services_;
    std::unique_ptr<QtMessageBox> ownMessageBox_;
    platform::MessageBox* messageBox_ = nullptr;

    OutputPane* outputPane_ = nullptr;
    bake::ui::ControlDock* controlPane_ = nullptr;
    LinkBridge* bridge_ = nullptr;

    QHash<int, QAction*> actions_;
    QActionGroup* lookGroup_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* recentMenuAnchor_ = nullptr;
    QList<QAction*> recentActions_;
    QAction* recentSeparator_ = nullptr;
    CommandToolBar* toolBar_ = nullptr;
    QMdiArea* mdiArea_ = nullptr;
    QLabel* messagePane_ = nullptr;
    QLabel* indicators_[3] = {};
    int look_ = 0;
    QString deviceAddress_;
    QString deviceName_;
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
