#include "shell/main_window.h"

#include <QAction>
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

MainWindow::MainWindow(MainFrameServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    if (services_.messageBox) {
        messageBox_ = services_.messageBox;
    } else {
        ownMessageBox_ = std::make_unique<QtMessageBox>(this);
        messageBox_ = ownMessageBox_.get();
    }
    controllers_ = new Controllers(this);
    connect(controllers_, &Controllers::added, this, &MainWindow::OnSessionAdded);
    connect(controllers_, &Controllers::removed, this, [this] { UpdateSessionNames(); });
    connect(controllers_, &Controllers::activeChanged, this, [this](ControllerSession* s) {
        if (s && s->Dock() && !s->Dock()->isHidden())
            s->Dock()->raise();
        UpdateCommandStates();
        emit activeControllerChanged();
    });
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

    actions_ = CreateActions(this);
    ConnectActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                   QMainWindow::AllowTabbedDocks);
    if (!CreateDockingWindows())
        return false;
    recentFiles_.Load();
    RebuildRecentFilesMenu();

    // The first controller's pane is there from the start, unconnected.
    if (!AddSession())
        return false;
    UpdateCommandStates();
    resize(1100, 760);
    // Last: the selection opens as soon as the message loop runs, over the
    // main window that is shown by then.
    if (selectDeviceAtStart_)
        QTimer::singleShot(0, this, &MainWindow::SelectDeviceAndConnect);
    return true;
}

void MainWindow::ConnectActions() {
    const Actions& a = actions_;
    connect(a.newDocument, &QAction::triggered, this, [this] {
        if (newDocument_)
            newDocument_();
    });
    connect(a.open, &QAction::triggered, this, [this] {
        if (!openDocument_)
            return;
        const QString path = services_.askOpenPath ? services_.askOpenPath(this, openFolder_)
                                                   : QFileDialog::getOpenFileName(
                                                         this, tr("Open"), openFolder_,
                                                         tr("Charts (*.tvr);;All Files (*)"));
        if (!path.isEmpty())
            OpenDocumentFile(path);
    });
    connect(a.exit, &QAction::triggered, this, &QWidget::close);
    connect(a.connectDevice, &QAction::triggered, this, &MainWindow::SelectDeviceAndConnect);
    connect(a.addDevice, &QAction::triggered, this, &MainWindow::SelectDeviceAndAdd);
    connect(a.disconnectDevice, &QAction::triggered, this, [this] {
        // Graceful, with notification; blocks until the link has closed.
        ActiveSession()->Disconnect();
    });
    // A click or a key in a controller's pane makes it the active one.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        for (QWidget* w = now; w; w = w->parentWidget()) {
            if (auto* dock = qobject_cast<bake::ui::ControlDock*>(w)) {
                for (ControllerSession* s : controllers_->All()) {
                    if (s->Dock() == dock)
                        controllers_->SetActive(s);
                }
                return;
            }
        }
    });
    connect(a.bakeOptions, &QAction::triggered, this, [this] {
        bake::ui::ControlPanel* panel = ControlFrame();
        if (panel && panel->IsIdle())
            panel->SendRequest(bake::CONCC_PKT_GET_BAKE_OPTIONS);
    });
    connect(a.customize, &QAction::triggered, this, &MainWindow::CustomizeToolbar);
    connect(a.windows, &QAction::triggered, this, &MainWindow::ShowWindowsDialog);
    connect(a.about, &QAction::triggered, this, &MainWindow::ShowAbout);
    connect(a.statusBar, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    for (auto it = a.looks.cbegin(); it != a.looks.cend(); ++it) {
        const int id = it.key();
        it.value()->setChecked(id == look_);
        connect(it.value(), &QAction::triggered, this, [this, id] { SetApplicationLook(id); });
    }
    connect(a.fullScreen, &QAction::toggled, this, [this](bool on) {
        setWindowState(on ? (windowState() | Qt::WindowFullScreen)
                          : (windowState() & ~Qt::WindowFullScreen));
    });
}

void MainWindow::CreateMenus() {
    const Actions& a = actions_;
    QMenuBar* bar = menuBar();
    // The commands of chart documents, reports and profiles are in place
    // from the start and shown once their groups take them on.
    QMenu* file = menus_.file = bar->addMenu(tr("&File"));
    file->addActions(
        {a.newDocument, a.open, a.newProfile, a.openProfile, a.close, a.save, a.saveAs});
    file->addSeparator();
    file->addActions({a.importChart, a.exportCsv, a.exportImage, a.exportReport, a.compareRecord});
    recentSeparator_ = file->addSeparator();
    file->addSeparator();
    file->addAction(a.exit);

    QMenu* devices = menus_.devices = bar->addMenu(tr("&Devices"));
    devices->addAction(a.connectDevice);
    devices->addAction(a.addDevice);
    devices->addAction(a.disconnectDevice);
    devices->addSeparator();
    devices->addAction(a.bakeOptions);
    devices->addAction(a.uploadProfile);
    devices->addSeparator();
    devices->addAction(a.acknowledgeAlarms);
    devices->addAction(a.alarmSettings);
    connect(devices, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);

    QMenu* view = menus_.view = bar->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    menus_.panes = view->addMenu(tr("&Toolbars and Docking Windows"));
    menus_.panes->setObjectName(QStringLiteral("PanesMenu"));
    view->addAction(a.statusBar);
    QMenu* looks = view->addMenu(tr("&Application Look"));
    QMenu* office2007 = nullptr;
    for (const LookInfo& look : ApplicationLooks()) {
        if (look.office2007) {
            if (!office2007)
                office2007 = looks->addMenu(tr("Office 2007"));
            office2007->addAction(a.looks[look.id]);
        } else {
            looks->addAction(a.looks[look.id]);
        }
    }
    view->addSeparator();
    view->addAction(a.windows);
    view->addSeparator();
    view->addActions({a.zoomIn, a.zoomOut, a.fullScreen});

    menus_.help = bar->addMenu(tr("&Help"));
    menus_.help->addAction(a.about);

    // The keys work whichever menu is closed, and those of the toolbar
    // whichever button is hidden.
    addActions(a.DocumentCommands());
    addActions({a.fullScreen, a.print, a.copy});
}

void MainWindow::CreateToolBar() {
    const Actions& a = actions_;
    toolBar_ = new CommandToolBar(tr("Standard"), a.customize, this);
    toolBar_->setObjectName(QStringLiteral("Standard"));
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->SetCommands(
        {a.newDocument, a.open, a.save, nullptr, a.copy, nullptr, a.print, a.about});
    addToolBar(Qt::TopToolBarArea, toolBar_);
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
    if (!outputPane_)
        return false;
    outputPane_->setAllowedAreas(Qt::AllDockWidgetAreas);
    outputPane_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                             QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::BottomDockWidgetArea, outputPane_);
    resizeDocks({outputPane_}, {140}, Qt::Vertical);

    menus_.panes->addAction(toolBar_->toggleViewAction());
    menus_.panes->addAction(outputPane_->toggleViewAction());
    panesSeparator_ = menus_.panes->addSeparator();
    menus_.panes->addAction(actions_.customize);
    return true;
}

ControllerSession* MainWindow::AddSession() {
    ControllerSession::Services services;
    services.output = outputPane_;
    services.messageBox = messageBox_;
    services.createLink = services_.createLink;
    services.releaseLink = services_.releaseLink;
    // The first controller's link logs to the pane itself, as the one link did.
    const bool first = !paneLinkSession_ && controllers_->Count() == 0;
    if (first)
        services.linkLog = outputPane_;
    auto* session = new ControllerSession(this, services);
    if (const uint32_t error = session->Open()) {
        messageBox_->ShowMessage(
            L"Error creating TCP connection : " +
                QString::fromUtf8(devlink::LinkErrorText(error)).toStdWString() + L"\r\n",
            platform::MessageIcon::Error);
        delete session;
        return nullptr;
    }
    if (first)
        paneLinkSession_ = session;
    controllers_->Add(session);
    return session;
}

void MainWindow::OnSessionAdded(ControllerSession* session) {
    bake::ui::ControlDock* dock = session->Dock();
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                      QDockWidget::DockWidgetFloatable);
    const QList<ControllerSession*>& all = controllers_->All();
    ControllerSession* first = all.value(0);
    if (first == session || !first->Dock()) {
        addDockWidget(Qt::RightDockWidgetArea, dock);
    } else {
        // Object names tell the panes apart when the layout is stored.
        dock->setObjectName(QStringLiteral("Control%1").arg(all.size()));
        tabifyDockWidget(first->Dock(), dock);
        dock->show();
    }
    menus_.panes->insertAction(panesSeparator_, dock->toggleViewAction());
    connect(dock, &QDockWidget::visibilityChanged, session, [this, session](bool visible) {
        if (visible && !shutDown_)
            controllers_->SetActive(session);
    });
    connect(session, &ControllerSession::connectFailed, this,
            [this, session](uint32_t code) { OnSessionConnectFailed(session, code); });
    connect(session, &ControllerSession::linkChanged, this,
            [this, session] { OnSessionLinkChanged(session); });
    connect(session, &ControllerSession::labelChanged, this, &MainWindow::UpdateSessionNames);
    connect(session, &ControllerSession::stateChanged, this, [this, session] {
        if (session == ActiveSession()) {
            UpdateCommandStates();
            emit activeControllerChanged();
        }
    });
    UpdateSessionNames();
}

void MainWindow::UpdateSessionNames() {
    const QList<ControllerSession*>& all = controllers_->All();
    const bool several = all.size() > 1;
    for (ControllerSession* s : all) {
        const QString label = s->Label();
        if (bake::ui::ControlDock* dock = s->Dock())
            dock->setWindowTitle(several && !label.isEmpty() ? label : tr("Control"));
        s->Log()->SetPrefix(several ? ControllerLogPrefix(label) : QString());
        if (s == paneLinkSession_)
            outputPane_->SetLinkPrefix(s->Log()->Prefix());
    }
}

void MainWindow::ActivateSession(ControllerSession* session) {
    if (!session || !controllers_->All().contains(session))
        return;
    if (bake::ui::ControlDock* dock = session->Dock()) {
        dock->show();
        dock->raise();
    }
    controllers_->SetActive(session);
}

void MainWindow::OnSessionLinkChanged(ControllerSession* session) {
    // A controller the operator disconnected gives its pane up to the others;
    // the last one stays, as the one pane always did. A lost link keeps its
    // pane, so that the operator sees which controller went.
    if (!shutDown_ && session->DisconnectRequested() && !session->InUse() &&
        controllers_->Count() > 1)
        controllers_->Remove(session);
    UpdateCommandStates();
}

void MainWindow::OnSessionConnectFailed(ControllerSession* session, uint32_t code) {
    OnConnectFailed_main(code, session);
    // An added controller that never came goes again; the others stay.
    const bool adding = controllers_->Count() > 1;
    if (adding && !session->WasConnected())
        controllers_->Remove(session);
    // Once the message is closed the operator chooses again.
    if (adding)
        SelectDevices(true);
    else
        SelectDeviceAndConnect();
}

bake::ui::ControlPanel* MainWindow::ControlFrame() const {
    ControllerSession* s = controllers_->Active();
    return s ? s->Panel() : nullptr;
}

// ---- shutdown -----------------------------------------------------------------

void MainWindow::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    for (ControllerSession* s : controllers_->All()) s->Shutdown();
}

// ---- the link's events ----------------------------------------------------------

void MainWindow::OnConnectFailed_main(uint32_t code, ControllerSession* session) {
    const QString text = QStringLiteral("Unable to connect : %1")
                             .arg(QString::fromUtf8(devlink::LinkErrorText(code)));
    const std::wstring wide = text.toStdWString();
    // Among several controllers the line says which one failed; the box
    // answers the operator's own attempt and keeps its text.
    platform::TraceLog* log = session ? static_cast<platform::TraceLog*>(session->Log())
                                      : static_cast<platform::TraceLog*>(outputPane_);
    log->TraceError(L"OnConnectFailed_main", L"%ls", wide.c_str());
    messageBox_->ShowMessage(wide, platform::MessageIcon::Error);
}

// ---- commands -------------------------------------------------------------------

bool MainWindow::ConnectChoice(const QString& host, const QString& name, bool adding) {
    if (ControllerSession* there = controllers_->FindInUse(host)) {
        ActivateSession(there);
        return true;
    }
    ControllerSession* session = ActiveSession();
    if (!session || session->InUse()) {
        session = AddSession();
        if (!session)
            return true;  // shown; nothing to choose again for
    }
    const uint32_t rc = session->Connect(host, pendingPort_, name);
    if (rc == 0) {
        ActivateSession(session);
        UpdateSessionNames();
        return true;
    }
    OnConnectFailed_main(rc, session);
    if (adding && controllers_->Count() > 1 && !session->WasConnected())
        controllers_->Remove(session);
    return false;
}

void MainWindow::ConnectTo(const QString& host, uint16_t port, const QString& name) {
    if (shutDown_ || !ActiveSession() || !Link())
        return;
    pendingPort_ = port;
    const bool adding = controllers_->ConnectedCount() > 0 || ActiveSession()->InUse();
    const bool ok = ConnectChoice(host, name, adding);
    pendingPort_ = kControllerPort;
    if (!ok)
        SelectDevices(adding);
}

void MainWindow::SelectDeviceAndConnect() {
    if (Connected())
        return;
    SelectDevices(false);
}

void MainWindow::SelectDeviceAndAdd() {
    SelectDevices(true);
}

void MainWindow::SelectDevices(bool adding) {
    // One selection at a time: an attempt that fails while the operator is
    // choosing is shown, and the open selection goes on.
    if (selecting_ || !ActiveSession() || !Link() || shutDown_ || !services_.deviceSelector)
        return;
    selecting_ = true;
    for (;;) {
        QList<DeviceChoice> choices;
        const DeviceSelectionContext context{this, messageBox_, outputPane_};
        if (!services_.deviceSelector->SelectDevices(context, &choices) || choices.isEmpty()) {
            // A cancelled "Connect..." forgets the choice, as it always did;
            // a cancelled addition leaves every pane as it was.
            if (ControllerSession* s = ActiveSession(); s && !adding)
                s->ClearChoice();
            break;
        }
        if (shutDown_ || !Link())
            break;  // shut down meanwhile
        bool refused = false;
        for (const DeviceChoice& c : choices) {
            if (!ConnectChoice(c.address, c.name, adding || choices.size() > 1))
                refused = true;
            if (shutDown_)
                break;
        }
        if (!refused || shutDown_)
            break;  // the outcomes arrive as link events
    }
    selecting_ = false;
    UpdateCommandStates();
}

void MainWindow::UpdateCommandStates() {
    if (!actions_.connectDevice)
        return;  // before Create()
    ControllerSession* active = ActiveSession();
    const bool connected = active && active->Connected();
    actions_.connectDevice->setEnabled(!connected);
    // Adding is offered once a controller is there to add to.
    bool anyInUse = false;
    for (const ControllerSession* s : controllers_->All()) anyInUse = anyInUse || s->InUse();
    actions_.addDevice->setVisible(anyInUse);
    actions_.addDevice->setEnabled(anyInUse && !shutDown_);
    actions_.disconnectDevice->setEnabled(connected);
    const bake::ui::ControlPanel* panel = ControlFrame();
    actions_.bakeOptions->setEnabled(panel && panel->IsIdle());
    actions_.newDocument->setEnabled(bool(newDocument_));
    actions_.open->setEnabled(bool(openDocument_));
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
    if (QAction* a = actions_.looks.value(id))
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
        menus_.file->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const QStringList& files = recentFiles_.Files();
    if (files.isEmpty()) {
        auto* a = new QAction(tr("Recent File"), this);
        a->setEnabled(false);
        recentActions_ << a;
    }
    for (int i = 0; i < files.size(); ++i) {
        auto* a = new QAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()), this);
        a->setStatusTip(QDir::toNativeSeparators(files[i]));
        const QString path = files[i];
        connect(a, &QAction::triggered, this, [this, path] { OpenDocumentFile(path); });
        recentActions_ << a;
    }
    const QList<QAction*> fileActions = menus_.file->actions();
    QAction* before = fileActions.value(fileActions.indexOf(recentSeparator_) + 1);
    menus_.file->insertActions(before, recentActions_);
    UpdateCommandStates();
}

}  // namespace shell
