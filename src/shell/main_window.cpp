#include "shell/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "link/link_errors.h"
#include "shell/about_dialog.h"
#include "shell/app_look.h"
#include "shell/command_tool_bar.h"
#include "shell/keyboard_indicators.h"
#include "shell/output_pane.h"
#include "shell/qt_message_box.h"
#include "shell/toolbar_customize_dialog.h"
#include "shell/windows_dialog.h"
#include "widgets/command_icons.h"

namespace shell {

QList<QKeySequence> CommandKeys(QKeySequence::StandardKey key, const QList<QKeySequence>& wanted) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    for (auto it = wanted.rbegin(); it != wanted.rend(); ++it) {
        keys.removeAll(*it);
        keys.prepend(*it);
    }
    return keys;
}

MainWindow::MainWindow(MainFrameServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    if (services_.messageBox) {
        messageBox_ = services_.messageBox;
    } else {
        ownMessageBox_ = std::make_unique<QtMessageBox>(this);
        messageBox_ = ownMessageBox_.get();
    }
    bridge_ = new LinkBridge(services_.createLink, services_.releaseLink, this);
    connect(bridge_, &LinkBridge::connectFailed, this, [this](uint32_t code) {
        OnConnectFailed_main(code);
        // Once the message is closed the operator chooses again.
        SelectDeviceAndConnect();
    });
    connect(bridge_, &LinkBridge::eventHandled, this, &MainWindow::UpdateCommandStates);
    setWindowTitle(QStringLiteral("Calvero"));
    setWindowIcon(widgets::ApplicationIcon());
    setObjectName(QStringLiteral("MainFrame"));
}

MainWindow::~MainWindow() {
    Shutdown();
}

// ---- start-up ---------------------------------------------------------------

bool MainWindow::Create() {
    look_ = LoadApplicationLook();
    ApplyApplicationLook(look_);

    mdiArea_ = new QMdiArea(this);
    mdiArea_->setViewMode(QMdiArea::SubWindowView);
    mdiArea_->setBackground(LookWorkspaceColor(look_));
    setCentralWidget(mdiArea_);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);
    if (!CreateDockingWindows())
        return false;
    recentFiles_.Load();
    RebuildRecentFilesMenu();

    if (const uint32_t error = bridge_->Open(outputPane_)) {
        messageBox_->ShowMessage(
            L"Error creating TCP connection : " +
                QString::fromUtf8(devlink::LinkErrorText(error)).toStdWString() + L"\r\n",
            platform::MessageIcon::Error);
        return false;
    }

    bake::ui::ControlPanel* panel = ControlFrame();
    panel->SetLink(bridge_->Link());
    panel->SetTraceLog(outputPane_);
    panel->SetMessageBox(messageBox_);
    connect(panel, &bake::ui::ControlPanel::stateChanged, this, &MainWindow::UpdateCommandStates);
    bridge_->AddListener(panel);
    if (bridge_->Connected())
        panel->OnDeviceConnected();
    UpdateCommandStates();
    resize(1100, 760);
    // Last: the selection opens as soon as the message loop runs, over the
    // main window that is shown by then.
    if (selectDeviceAtStart_)
        QCoreApplication::postEvent(this, new QEvent(WM_SELECT_DEVICE));
    return true;
}

QAction* MainWindow::MakeAction(int id, const QString& text, const QString& prompt) {
    auto* a = new QAction(text, this);
    a->setData(id);
    if (!prompt.isEmpty()) {
        // A prompt "status text\ntooltip" as the menu resources carry it.
        a->setStatusTip(prompt.section(QLatin1Char('\n'), 0, 0));
        const QString tip = prompt.section(QLatin1Char('\n'), 1);
        if (!tip.isEmpty())
            a->setToolTip(tip);
    }
    const QIcon icon = widgets::CommandIcon(id);
    if (!icon.isNull())
        a->setIcon(icon);
    actions_.insert(id, a);
    return a;
}

void MainWindow::CreateActions() {
    QAction* a = MakeAction(ID_FILE_NEW, tr("&New\tCtrl+N"), tr("Create a new document\nNew"));
    a->setShortcuts(CommandKeys(QKeySequence::New, {QKeySequence(Qt::CTRL | Qt::Key_N)}));
    connect(a, &QAction::triggered, this, [this] {
        if (newDocument_)
            newDocument_();
    });
    a = MakeAction(ID_FILE_OPEN, tr("&Open...\tCtrl+O"), tr("Open an existing document\nOpen"));
    a->setShortcuts(CommandKeys(QKeySequence::Open, {QKeySequence(Qt::CTRL | Qt::Key_O)}));
    connect(a, &QAction::triggered, this, [this] {
        if (!openDocument_)
            return;
        const QString path = services_.askOpenPath ? services_.askOpenPath(this, openFolder_)
                                                   : QFileDialog::getOpenFileName(
                                                         this, tr("Open"), openFolder_,
                                                         tr("Charts (*.tvr);;All Files (*)"));
        if (!path.isEmpty())
            OpenDocumentFile(path);
    });
    MakeAction(ID_FILE_SAVE, tr("&Save\tCtrl+S"), tr("Save the active document\nSave"));
    MakeAction(ID_FILE_PRINT, tr("&Print...\tCtrl+P"), tr("Print the active document\nPrint"));
    a = MakeAction(ID_APP_EXIT, tr("E&xit"),
                   tr("Quit the application; prompts to save documents\nExit"));
    a->setShortcuts(CommandKeys(QKeySequence::Quit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}));
    connect(a, &QAction::triggered, this, &QWidget::close);
    MakeAction(ID_EDIT_CUT, tr("Cu&t\tCtrl+X"),
               tr("Cut the selection and put it on the Clipboard\nCut"));
    MakeAction(ID_EDIT_COPY, tr("&Copy\tCtrl+C"),
               tr("Copy the selection and put it on the Clipboard\nCopy"));
    MakeAction(ID_EDIT_PASTE, tr("&Paste\tCtrl+V"), tr("Insert Clipboard contents\nPaste"));

    a = MakeAction(ID_DEVICES_CONNECT, tr("Connect..."),
                   tr("List and connect to available device\nConnect..."));
    connect(a, &QAction::triggered, this, &MainWindow::SelectDeviceAndConnect);
    a = MakeAction(ID_DEVICES_DISCONNECT, tr("Disconnect"),
                   tr("Disconnect from device\nDisconnect"));
    connect(a, &QAction::triggered, this, [this] {
        devlink::Connection* link = bridge_->Link();
        if (!link || !bridge_->Connected())
            return;
        // Graceful, with notification; blocks until the link has closed.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        link->Disconnect(1, 0);
        QApplication::restoreOverrideCursor();
    });
    a = MakeAction(ID_DEVICES_BAKE_OPTIONS, tr("Bake options..."));
    connect(a, &QAction::triggered, this, [this] {
        bake::ui::ControlPanel* panel = ControlFrame();
        if (panel && panel->IsIdle())
            panel->SendRequest(bake::CONCC_PKT_GET_BAKE_OPTIONS);
    });

    a = MakeAction(ID_VIEW_CUSTOMIZE, tr("Customize..."));
    connect(a, &QAction::triggered, this, &MainWindow::CustomizeToolbar);
    a = MakeAction(ID_WINDOW_MANAGER, tr("&Windows..."));
    connect(a, &QAction::triggered, this, &MainWindow::ShowWindowsDialog);
    a = MakeAction(ID_APP_ABOUT, tr("&About TVR_GUI..."),
                   tr("Display program information, version number and copyright\nAbout"));
    connect(a, &QAction::triggered, this, &MainWindow::ShowAbout);

    a = MakeAction(ID_VIEW_STATUS_BAR, tr("&Status Bar"),
                   tr("Show or hide the status bar\nToggle Status Bar"));
    a->setCheckable(true);
    a->setChecked(true);
    connect(a, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    lookGroup_ = new QActionGroup(this);
    lookGroup_->setExclusive(true);
    for (const LookInfo& look : ApplicationLooks()) {
        QAction* la = MakeAction(look.id, QString::fromLatin1(look.menuText));
        la->setCheckable(true);
        la->setChecked(look.id == look_);
        lookGroup_->addAction(la);
        const int id = look.id;
        connect(la, &QAction::triggered, this, [this, id] { SetApplicationLook(id); });
    }
}

void MainWindow::CreateMenus() {
    QMenuBar* bar = menuBar();
    fileMenu_ = bar->addMenu(tr("&File"));
    fileMenu_->addAction(actions_[ID_FILE_NEW]);
    fileMenu_->addAction(actions_[ID_FILE_OPEN]);
    recentSeparator_ = fileMenu_->addSeparator();
    fileMenu_->addSeparator();
    fileMenu_->addAction(actions_[ID_APP_EXIT]);

    QMenu* devices = bar->addMenu(tr("&Devices"));
    devices->addAction(actions_[ID_DEVICES_CONNECT]);
    devices->addAction(actions_[ID_DEVICES_DISCONNECT]);
    devices->addSeparator();
    devices->addAction(actions_[ID_DEVICES_BAKE_OPTIONS]);
    connect(devices, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);

    QMenu* view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    QMenu* panes = view->addMenu(tr("&Toolbars and Docking Windows"));
    panes->setObjectName(QStringLiteral("PanesMenu"));
    view->addAction(actions_[ID_VIEW_STATUS_BAR]);
    QMenu* looks = view->addMenu(tr("&Application Look"));
    QMenu* office2007 = nullptr;
    for (const LookInfo& look : ApplicationLooks()) {
        if (look.office2007) {
            if (!office2007)
                office2007 = looks->addMenu(tr("Office 2007"));
            office2007->addAction(actions_[look.id]);
        } else {
            looks->addAction(actions_[look.id]);
        }
    }
    view->addSeparator();
    view->addAction(actions_[ID_WINDOW_MANAGER]);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->addAction(actions_[ID_APP_ABOUT]);
}

void MainWindow::CreateToolBar() {
    toolBar_ = new CommandToolBar(tr("Standard"), actions_[ID_VIEW_CUSTOMIZE], this);
    toolBar_->setObjectName(QStringLiteral("Standard"));
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->SetCommands({actions_[ID_FILE_NEW], actions_[ID_FILE_OPEN], actions_[ID_FILE_SAVE],
                           nullptr, actions_[ID_EDIT_CUT], actions_[ID_EDIT_COPY],
                           actions_[ID_EDIT_PASTE], nullptr, actions_[ID_FILE_PRINT],
                           actions_[ID_APP_ABOUT]});
    addToolBar(Qt::TopToolBarArea, toolBar_);
    // Commands that need a chart document wait for one.
    for (int id : {ID_FILE_SAVE, ID_FILE_PRINT, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE})
        actions_[id]->setEnabled(false);
    QAction* toggle = toolBar_->toggleViewAction();
    toggle->setData(int(ID_VIEW_TOOLBAR));
    actions_.insert(ID_VIEW_TOOLBAR, toggle);
}

void MainWindow::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    messagePane_ = new QLabel(tr("Ready"), bar);
    bar->addWidget(messagePane_, 1);
    const char* names[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QLatin1String(names[i]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        bar->addPermanentWidget(label);
        indicators_[i] = label;
    }
    UpdateIndicators();
    KeyLocks probe;
    if (QueryKeyLocks(&probe)) {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &MainWindow::UpdateIndicators);
        timer->start(250);
    }
}

void MainWindow::UpdateIndicators() {
    KeyLocks locks;
    QueryKeyLocks(&locks);
    const bool on[3] = {locks.caps, locks.num, locks.scroll};
    const char* names[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        const QString text = on[i] ? QLatin1String(names[i]) : QString();
        if (indicators_[i]->text() != text)
            indicators_[i]->setText(text);
    }
}

bool MainWindow::CreateDockingWindows() {
    outputPane_ = new OutputPane(this);
    controlPane_ = new bake::ui::ControlDock(this);
    if (!outputPane_ || !controlPane_)
        return false;
    for (QDockWidget* d :
         {static_cast<QDockWidget*>(outputPane_), static_cast<QDockWidget*>(controlPane_)}) {
        d->setAllowedAreas(Qt::AllDockWidgetAreas);
        d->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                       QDockWidget::DockWidgetFloatable);
    }
    addDockWidget(Qt::BottomDockWidgetArea, outputPane_);
    addDockWidget(Qt::RightDockWidgetArea, controlPane_);
    resizeDocks({outputPane_}, {140}, Qt::Vertical);

    if (QMenu* panes = findChild<QMenu*>(QStringLiteral("PanesMenu"))) {
        panes->addAction(toolBar_->toggleViewAction());
        panes->addAction(outputPane_->toggleViewAction());
        panes->addAction(controlPane_->toggleViewAction());
        panes->addSeparator();
        panes->addAction(actions_[ID_VIEW_CUSTOMIZE]);
    }
    return true;
}

bake::ui::ControlPanel* MainWindow::ControlFrame() const {
    return controlPane_ ? controlPane_->Frame() : nullptr;
}

QMenu* MainWindow::MenuByTitle(const QString& title) const {
    for (QAction* a : menuBar()->actions())
        if (a->menu() && a->text() == title)
            return a->menu();
    return nullptr;
}

// ---- shutdown -----------------------------------------------------------------

void MainWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    if (bake::ui::ControlPanel* panel = ControlFrame())
        panel->SetLink(nullptr);
    bridge_->Shutdown();
}

// ---- the link's events ----------------------------------------------------------

bool MainWindow::event(QEvent* e) {
    if (e->type() == WM_SELECT_DEVICE) {
        SelectDeviceAndConnect();
        return true;
    }
    return QMainWindow::event(e);
}

void MainWindow::OnConnectFailed_main(uint32_t code) {
    const QString text = QStringLiteral("Unable to connect : %1")
                             .arg(QString::fromUtf8(devlink::LinkErrorText(code)));
    const std::wstring wide = text.toStdWString();
    outputPane_->TraceError(L"OnConnectFailed_main", L"%ls", wide.c_str());
    messageBox_->ShowMessage(wide, platform::MessageIcon::Error);
}

// ---- commands -------------------------------------------------------------------

void MainWindow::ConnectTo(const QString& host, uint16_t port) {
    devlink::Connection* link = bridge_->Link();
    if (!link)
        return;
    const QByteArray h = host.toUtf8();
    const uint32_t rc = link->Connect(h.constData(), port, 0);
    if (rc != 0) {
        OnConnectFailed_main(rc);
        SelectDeviceAndConnect();
    }
}

void MainWindow::SelectDeviceAndConnect() {
    // One selection at a time: an attempt that fails while the operator is
    // choosing is shown, and the open selection goes on.
    if (selecting_ || bridge_->Connected() || !bridge_->Link() || shutDown_ ||
        !services_.deviceSelector)
        return;
    selecting_ = true;
    for (;;) {
        DeviceChoice choice;
        const DeviceSelectionContext context{this, messageBox_, outputPane_};
        if (!services_.deviceSelector->SelectDevice(context, &choice)) {
            deviceAddress_.clear();
            deviceName_.clear();
            break;
        }
        deviceAddress_ = choice.address;
        deviceName_ = choice.name;
        devlink::Connection* link = bridge_->Link();
        if (!link)
            break;  // shut down meanwhile
        const QByteArray host = deviceAddress_.toUtf8();
        const uint32_t rc = link->Connect(host.constData(), kControllerPort, 0);
        if (rc == 0)
            break;  // the outcome arrives as a link event
        OnConnectFailed_main(rc);
    }
    selecting_ = false;
    UpdateCommandStates();
}

void MainWindow::UpdateCommandStates() {
    if (actions_.isEmpty())
        return;
    actions_[ID_DEVICES_CONNECT]->setEnabled(!bridge_->Connected());
    actions_[ID_DEVICES_DISCONNECT]->setEnabled(bridge_->Connected());
    const bake::ui::ControlPanel* panel = ControlFrame();
    actions_[ID_DEVICES_BAKE_OPTIONS]->setEnabled(panel && panel->IsIdle());
    actions_[ID_FILE_NEW]->setEnabled(bool(newDocument_));
    actions_[ID_FILE_OPEN]->setEnabled(bool(openDocument_));
    for (QAction* a : recentActions_)
        a->setEnabled(openDocument_ && !recentFiles_.Files().isEmpty());
}

void MainWindow::SetApplicationLook(int id) {
    if (!IsApplicationLook(id))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    look_ = id;
    ApplyApplicationLook(id);
    if (mdiArea_)
        mdiArea_->setBackground(LookWorkspaceColor(id));
    if (QAction* a = actions_.value(id))
        a->setChecked(true);
    update();
    StoreApplicationLook(id);
    QApplication::restoreOverrideCursor();
}

void MainWindow::CustomizeToolbar() {
    ToolbarCustomizeDialog dlg(toolBar_, this);
    dlg.exec();
}

void MainWindow::ShowWindowsDialog() {
    WindowsDialog dlg(mdiArea_, this);
    dlg.exec();
}

void MainWindow::ShowAbout() {
    AboutDialog dlg(this);
    dlg.exec();
}

// ---- documents --------------------------------------------------------------------

void MainWindow::SetDocumentHandlers(std::function<void()> newDocument,
                                     std::function<bool(const QString&)> openDocument) {
    newDocument_ = std::move(newDocument);
    openDocument_ = std::move(openDocument);
    UpdateCommandStates();
}

void MainWindow::OpenDocumentFile(const QString& path) {
    if (!openDocument_) {
        const std::wstring p = QDir::toNativeSeparators(path).toStdWString();
        outputPane_->TraceWarning(L"OpenDocumentFile",
                                  L"Cannot open %ls: chart documents are not available yet",
                                  p.c_str());
        return;
    }
    if (openDocument_(path)) {
        recentFiles_.Add(path);
    } else {
        recentFiles_.Remove(path);
    }
    recentFiles_.Save();
    RebuildRecentFilesMenu();
}

void MainWindow::AddRecentFile(const QString& path) {
    recentFiles_.Add(path);
    recentFiles_.Save();
    RebuildRecentFilesMenu();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (closeGuard_ && !closeGuard_()) {
        e->ignore();
        return;
    }
    QMainWindow::closeEvent(e);
}

void MainWindow::RebuildRecentFilesMenu() {
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const QStringList& files = recentFiles_.Files();
    if (files.isEmpty()) {
        auto* a = new QAction(tr("Recent File"), this);
        a->setData(int(ID_FILE_MRU_FILE1));
        a->setEnabled(false);
        recentActions_ << a;
    }
    for (int i = 0; i < files.size(); ++i) {
        auto* a = new QAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()), this);
        a->setData(int(ID_FILE_MRU_FILE1) + i);
        a->setStatusTip(QDir::toNativeSeparators(files[i]));
        const QString path = files[i];
        connect(a, &QAction::triggered, this, [this, path] { OpenDocumentFile(path); });
        recentActions_ << a;
    }
    QAction* before =
        fileMenu_->actions().value(fileMenu_->actions().indexOf(recentSeparator_) + 1);
    fileMenu_->insertActions(before, recentActions_);
    UpdateCommandStates();
}

}  // namespace shell
