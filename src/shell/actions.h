#pragma once
// The main window's commands, one named QAction each, all made in one place
// with their texts, prompts, keys and images. The main window lays them out
// in its menus and toolbar; the command groups (documents, reports,
// profiles) connect what they do and when they are enabled.

#include <QHash>
#include <QKeySequence>
#include <QList>

class QAction;
class QActionGroup;
class QObject;

namespace shell {

struct Actions {
    // File
    QAction* newDocument = nullptr;
    QAction* open = nullptr;
    QAction* newProfile = nullptr;
    QAction* openProfile = nullptr;
    QAction* close = nullptr;
    QAction* save = nullptr;
    QAction* saveAs = nullptr;
    QAction* importChart = nullptr;
    QAction* exportCsv = nullptr;
    QAction* exportImage = nullptr;
    QAction* exportReport = nullptr;
    QAction* compareRecord = nullptr;
    QAction* print = nullptr;
    QAction* exit = nullptr;
    // Edit
    QAction* copy = nullptr;
    // Devices
    QAction* connectDevice = nullptr;
    QAction* addDevice = nullptr;
    QAction* disconnectDevice = nullptr;
    QAction* bakeOptions = nullptr;
    QAction* uploadProfile = nullptr;
    QAction* acknowledgeAlarms = nullptr;
    QAction* alarmSettings = nullptr;
    // View
    QAction* statusBar = nullptr;
    QAction* customize = nullptr;
    QAction* windows = nullptr;
    QAction* zoomIn = nullptr;
    QAction* zoomOut = nullptr;
    QAction* fullScreen = nullptr;
    // One checkable action per application look, by look id; exclusive.
    QHash<int, QAction*> looks;
    QActionGroup* lookGroup = nullptr;
    // Help
    QAction* about = nullptr;

    // The commands of a chart document: hidden and disabled while none is
    // active.
    QList<QAction*> DocumentCommands() const;
};

// Every command, owned by `owner`. The commands that need a chart document,
// a report or a profile editor start hidden or disabled until their group
// takes them on.
Actions CreateActions(QObject* owner);

// The keys of a standard command on this platform, with `wanted` first
// wherever the platform leaves them out: the README's keys always work.
QList<QKeySequence> CommandKeys(QKeySequence::StandardKey key, const QList<QKeySequence>& wanted);

}  // namespace shell
