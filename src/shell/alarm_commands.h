#pragma once
// The controllers at a glance and their alarms, in the main frame: the
// "Overview" pane (one row per controller; double-click shows its panel and
// its live record), one alarm watch per controller, and what an alarm does
// for the operator: a warning line in the Output log, its row and its
// pane's tab red until acknowledged, the status bar, and a desktop
// notification with an optional sound. Devices > "Acknowledge Alarms" and
// "Alarms..." (the rules, stored in the settings).
//
// Window thread only.

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

#include "alarm/ui/alarm_preferences.h"
#include "overview/controller_row.h"

class QAction;
class QDockWidget;

namespace alarms::ui {
class DesktopNotifier;
}
namespace document {
class DocumentManager;
}
namespace overview::ui {
class OverviewPane;
}

namespace shell {

class AlarmWatch;
class ControllerSession;
class MainWindow;

class AlarmCommands : public QObject {
    Q_OBJECT
public:
    AlarmCommands(MainWindow* frame, document::DocumentManager* documents,
                  alarms::ui::DesktopNotifier* notifier = nullptr);
    ~AlarmCommands() override;

    overview::ui::OverviewPane* Pane() const { return pane_; }
    QDockWidget* Dock() const { return dock_; }
    AlarmWatch* WatchOf(const ControllerSession* session) const;
    const overview::ControllerRow* RowOf(const ControllerSession* session) const;
    // The rules and the sound every controller's watch runs with.
    void SetPreferences(const alarms::ui::AlarmPreferences& preferences);
    const alarms::ui::AlarmPreferences& Preferences() const { return preferences_; }
    // The active controller's alarms acknowledged.
    void AcknowledgeActive();
    // Shows the controller's panel and its live record (the double-click).
    void ShowController(int key);

private:
    struct Entry {
        ControllerSession* session = nullptr;
        AlarmWatch* watch = nullptr;
        overview::RowTracker tracker;
    };
    void Add(ControllerSession* session);
    void Remove(ControllerSession* session);
    void OnAlarm(Entry& e, const alarms::AlarmEvent& event);
    void ShowRow(Entry& e);
    void ColourTab(const Entry& e);
    void Update();
    Entry* Find(const ControllerSession* session) const;

    MainWindow* frame_;
    document::DocumentManager* documents_;
    alarms::ui::DesktopNotifier* notifier_;
    QDockWidget* dock_ = nullptr;
    overview::ui::OverviewPane* pane_ = nullptr;
    QAction* acknowledge_ = nullptr;
    QAction* settings_ = nullptr;
    alarms::ui::AlarmPreferences preferences_;
    QHash<int, std::shared_ptr<Entry>> entries_;  // by row key
    int nextKey_ = 1;
};

}  // namespace shell
