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
    ConnectListener(bridge_, panel, panel);
    if (bridge_->Connected())
        panel->OnDeviceConnected();
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
    connect(a.disconnectDevice, &QAction::triggered, this, [this] {
        devlink::Connection* link = bridge_->Link();
        if (!link || !bridge_->Connected())
            return;
        // Graceful, with notification; blocks until the link has closed.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        link->Disconnect(1, 0);
        QApplication::restoreOverrideCursor();
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
    devices->addAction(a.disconnectDevice);
    devices->addSeparator();
    devices->addAction(a.bakeOptions);
    devices->addAction(a.uploadProfile);
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

    menus_.panes->addAction(toolBar_->toggleViewAction());
    menus_.panes->addAction(outputPane_->toggleViewAction());
    menus_.panes->addAction(controlPane_->toggleViewAction());
    menus_.panes->addSeparator();
    menus_.panes->addAction(actions_.customize);
    return true;
}

bake::ui::ControlPanel* MainWindow::ControlFrame() const {
    return controlPane_ ? controlPane_->Frame() : nullptr;
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
    if (!actions_.connectDevice)
        return;  // before Create()
    actions_.connectDevice->setEnabled(!bridge_->Connected());
    actions_.disconnectDevice->setEnabled(bridge_->Connected());
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
