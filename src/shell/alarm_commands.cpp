#include "shell/alarm_commands.h"

#include <QAction>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>

#include "alarm/ui/alarm_settings_dialog.h"
#include "alarm/ui/desktop_notifier.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "overview/ui/overview_pane.h"
#include "shell/alarm_watch.h"
#include "shell/controller_session.h"
#include "shell/main_window.h"
#include "shell/output_pane.h"

namespace shell {

namespace {

constexpr char kAlarmTitleStyle[] =
    "QDockWidget::title { background: #c62828; color: white; padding-left: 4px; }";

overview::Verdict VerdictOfText(const QString& verdict) {
    if (verdict == QLatin1String("PASS"))
        return overview::Verdict::Pass;
    if (verdict == QLatin1String("FAIL"))
        return overview::Verdict::Fail;
    return overview::Verdict::Unknown;
}

QString NotificationTag(const ControllerSession* session, alarms::AlarmRule rule) {
    return QStringLiteral("%1/%2").arg(quintptr(session)).arg(int(rule));
}

}  // namespace

AlarmCommands::AlarmCommands(MainWindow* frame, document::DocumentManager* documents,
                             alarms::ui::DesktopNotifier* notifier)
    : QObject(frame), frame_(frame), documents_(documents), notifier_(notifier) {
    if (!notifier_)
        notifier_ = new alarms::ui::DesktopNotifier(this);
    preferences_ = alarms::ui::LoadAlarmSettings();
    notifier_->SetSound(preferences_.sound);

    dock_ = new QDockWidget(tr(overview::ui::kOverviewTitle), frame);
    dock_->setObjectName(QStringLiteral("OverviewPane"));
    pane_ = new overview::ui::OverviewPane(dock_);
    dock_->setWidget(pane_);
    frame->addDockWidget(Qt::BottomDockWidgetArea, dock_);
    // One controller looks as it always did: the pane comes with the second.
    dock_->hide();
    frame->MenuBarMenus().view->addAction(dock_->toggleViewAction());
    frame->MenuBarMenus().panes->addAction(dock_->toggleViewAction());
    connect(pane_, &overview::ui::OverviewPane::controllerActivated, this,
            &AlarmCommands::ShowController);

    auto* indicator = new QLabel(frame->statusBar());
    indicator->setObjectName(QStringLiteral("AlarmIndicator"));
    indicator->setStyleSheet(QStringLiteral("color: #c62828; font-weight: bold;"));
    indicator->hide();
    frame->statusBar()->addWidget(indicator);

    acknowledge_ = frame->Commands().acknowledgeAlarms;
    settings_ = frame->Commands().alarmSettings;
    connect(acknowledge_, &QAction::triggered, this, &AlarmCommands::AcknowledgeActive);
    connect(settings_, &QAction::triggered, this, [this] {
        alarms::ui::AlarmSettingsDialog dialog(preferences_, frame_);
        if (dialog.exec() != QDialog::Accepted)
            return;
        alarms::ui::SaveAlarmSettings(dialog.Preferences());
        SetPreferences(dialog.Preferences());
    });

    Controllers* sessions = frame->Sessions();
    for (ControllerSession* s : sessions->All()) Add(s);
    connect(sessions, &Controllers::added, this, &AlarmCommands::Add);
    connect(sessions, &Controllers::removed, this, &AlarmCommands::Remove);
    connect(sessions, &Controllers::activeChanged, this, &AlarmCommands::Update);
    Update();
}

AlarmCommands::~AlarmCommands() = default;

AlarmCommands::Entry* AlarmCommands::Find(const ControllerSession* session) const {
    for (const auto& e : entries_)
        if (e->session == session)
            return e.get();
    return nullptr;
}

AlarmWatch* AlarmCommands::WatchOf(const ControllerSession* session) const {
    Entry* e = Find(session);
    return e ? e->watch : nullptr;
}

const overview::ControllerRow* AlarmCommands::RowOf(const ControllerSession* session) const {
    Entry* e = Find(session);
    return e ? &e->tracker.Row() : nullptr;
}

void AlarmCommands::Add(ControllerSession* session) {
    const int key = nextKey_++;
    auto entry = std::make_shared<Entry>(
        Entry{session, nullptr, overview::RowTracker(key, session->Host().toStdString())});
    Entry* e = entry.get();
    entries_.insert(key, entry);
    bake::ui::ControlPanel* panel = session->Panel();
    e->watch = new AlarmWatch(panel, session->Label(), preferences_.rules, session);

    using bake::ui::ControlPanel;
    connect(panel, &ControlPanel::stateChanged, this, [this, e, panel](bake::ui::ControlState) {
        e->tracker.SetState(panel->StatusField()->text().toStdString());
        ShowRow(*e);
    });
    connect(panel, &ControlPanel::bakeStarted, this, [this, e](uint64_t) {
        e->tracker.OnBakeStarted();
        ShowRow(*e);
    });
    connect(panel, &ControlPanel::bakeEnded, this, [this, e](bake::ui::BakeEnd how) {
        if (how == bake::ui::BakeEnd::LinkLost)
            e->tracker.OnLinkLost();
        else
            e->tracker.OnBakeEnded();
        ShowRow(*e);
    });
    connect(panel, &ControlPanel::gaugeReceived, this, [this, e](const bake::CONCC_GaugeData& g) {
        e->tracker.OnGauge(g);
        ShowRow(*e);
    });
    connect(panel, &ControlPanel::profileReported, this,
            [this, e](const bake::CONCC_TempProfile& r) {
                e->tracker.OnProfile(r);
                ShowRow(*e);
            });
    connect(session, &ControllerSession::labelChanged, this, [this, e] {
        e->watch->SetController(e->session->Label());
        e->tracker.SetDevice(e->session->DeviceId().toStdString());
        ShowRow(*e);
    });
    connect(session, &ControllerSession::linkChanged, this, [this, e] {
        ShowRow(*e);
        Update();
    });
    connect(session, &ControllerSession::verdictChanged, this, [this, e](const QString& verdict) {
        e->tracker.SetVerdict(VerdictOfText(verdict));
        ShowRow(*e);
    });
    connect(e->watch, &AlarmWatch::alarmChanged, this,
            [this, e](const alarms::AlarmEvent& event) { OnAlarm(*e, event); });
    connect(e->watch, &AlarmWatch::needsOperatorChanged, this, [this, e](bool) {
        ShowRow(*e);
        ColourTab(*e);
        Update();
    });
    e->tracker.SetDevice(session->DeviceId().toStdString());
    e->tracker.SetState(panel->StatusField()->text().toStdString());
    ShowRow(*e);
    // The second controller brings the pane that shows them side by side.
    if (frame_->Sessions()->Count() == 2)
        dock_->show();
    Update();
}

void AlarmCommands::Remove(ControllerSession* session) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it.value()->session != session)
            continue;
        // The session goes later, and its signals may come till then: none
        // may reach the entry once it is gone.
        QObject::disconnect(session, nullptr, this, nullptr);
        if (bake::ui::ControlPanel* panel = session->Panel())
            QObject::disconnect(panel, nullptr, this, nullptr);
        if (AlarmWatch* watch = it.value()->watch)
            QObject::disconnect(watch, nullptr, this, nullptr);
        for (size_t r = 0; r < alarms::kAlarmRuleCount; ++r)
            notifier_->Close(NotificationTag(session, alarms::AlarmRule(r)));
        pane_->RemoveRow(it.key());
        entries_.erase(it);
        break;
    }
    Update();
}

void AlarmCommands::ShowRow(Entry& e) {
    // The address can change while a session is reused for another controller.
    overview::ControllerRow row = e.tracker.Row();
    row.address = e.session->Host().toStdString();
    const QStringList active = e.watch ? e.watch->ActiveTexts() : QStringList();
    row.alarm = active.isEmpty() ? std::string() : active.last().toStdString();
    row.needsOperator = e.watch && e.watch->NeedsOperator();
    e.tracker.SetAlarm(row.alarm, row.needsOperator);
    pane_->SetRow(row);
}

void AlarmCommands::OnAlarm(Entry& e, const alarms::AlarmEvent& event) {
    const std::wstring text = QString::fromStdString(event.text).toStdWString();
    const QString tag = NotificationTag(e.session, event.rule);
    if (event.change == alarms::AlarmChange::Cleared) {
        frame_->Output()->TraceMessage(L"Alarm", L"%ls", text.c_str());
        notifier_->Close(tag);
    } else {
        frame_->Output()->TraceWarning(L"Alarm", L"%ls", text.c_str());
        notifier_->Notify(tag, tr("Calvero alarm"), QString::fromStdString(event.text), true);
    }
    ShowRow(e);
    ColourTab(e);
    Update();
}

void AlarmCommands::ColourTab(const Entry& e) {
    QDockWidget* dock = e.session->Dock();
    if (!dock)
        return;
    const bool red = e.watch && e.watch->NeedsOperator();
    dock->setStyleSheet(red ? QString::fromLatin1(kAlarmTitleStyle) : QString());
    // Tabbed panes show their title on the main window's tab bar.
    for (QTabBar* bar : frame_->findChildren<QTabBar*>()) {
        if (bar->parent() != frame_)
            continue;
        for (int i = 0; i < bar->count(); ++i) {
            if (bar->tabData(i).value<quintptr>() == quintptr(dock) ||
                bar->tabText(i) == dock->windowTitle())
                bar->setTabTextColor(i, red ? QColor(0xc6, 0x28, 0x28) : QColor());
        }
    }
}

void AlarmCommands::Update() {
    if (!qobject_cast<MainWindow*>(static_cast<QObject*>(frame_)))
        return;  // the frame is going away
    ControllerSession* active = frame_->Sessions()->Active();
    AlarmWatch* watch = WatchOf(active);
    acknowledge_->setEnabled(watch && watch->NeedsOperator());
    // The newest alarm that waits for the operator, of any controller.
    QString waiting;
    for (const auto& e : entries_) {
        if (e->watch && e->watch->NeedsOperator() && !e->watch->ActiveTexts().isEmpty())
            waiting = e->watch->ActiveTexts().last();
    }
    if (auto* indicator =
            frame_->statusBar()->findChild<QLabel*>(QStringLiteral("AlarmIndicator"))) {
        indicator->setText(waiting.isEmpty() ? QString() : tr("Alarm: %1").arg(waiting));
        indicator->setVisible(!waiting.isEmpty());
    }
    // Tabs are made when panes are tabbed together, after the session came.
    for (const auto& e : entries_) ColourTab(*e);
}

void AlarmCommands::SetPreferences(const alarms::ui::AlarmPreferences& preferences) {
    preferences_ = preferences;
    notifier_->SetSound(preferences.sound);
    for (const auto& e : entries_)
        if (e->watch)
            e->watch->SetSettings(preferences.rules);
}

void AlarmCommands::AcknowledgeActive() {
    ControllerSession* active = frame_->Sessions()->Active();
    Entry* e = Find(active);
    if (!e || !e->watch)
        return;
    e->watch->Acknowledge();
    for (size_t r = 0; r < alarms::kAlarmRuleCount; ++r)
        notifier_->Close(NotificationTag(active, alarms::AlarmRule(r)));
    ShowRow(*e);
    ColourTab(*e);
    Update();
}

void AlarmCommands::ShowController(int key) {
    const auto it = entries_.constFind(key);
    if (it == entries_.constEnd())
        return;
    ControllerSession* session = it.value()->session;
    frame_->ActivateSession(session);
    document::LiveRecorder* recorder = session->Recorder();
    document::ChartDocument* record = recorder ? recorder->Record() : nullptr;
    if (document::ChartDocumentWindow* window = documents_->WindowOf(record)) {
        if (window->isMinimized())
            window->showMaximized();
        frame_->MdiArea()->setActiveSubWindow(window);
    }
}

}  // namespace shell
