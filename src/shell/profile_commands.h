#pragma once
// Profiles in the main frame: File > "New Profile..." and "Open Profile..."
// open profile editors beside the chart documents, every editor sends
// through the control panel and is enabled by its state, and "Read from
// controller" opens the controller's profile in a new editor.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "document/chart_document.h"
#include "profile/profile_model.h"

class QAction;
class QDockWidget;
class QMdiSubWindow;

namespace profile::ui {
class ProfileEditor;
class ProfileLibrary;
}  // namespace profile::ui

namespace shell {

class MainWindow;

class ProfileCommands : public QObject {
    Q_OBJECT
public:
    // Stand-ins for the dialogs, for tests.
    struct Dialogs {
        // Index into the choices ("Empty profile" and the templates), or -1.
        std::function<int(QWidget*, const QStringList& choices)> chooseStart;
        std::function<QString(QWidget*, const QString& folder)> askOpenPath;
        std::function<QString(QWidget*, const QString& suggested)> askSavePath;
        // Unsaved edits on close: Save, Discard or Cancel (the documents' question).
        std::function<document::SaveChoice(QWidget*, const QString& title)> askSaveChanges;
    };

    // `profilesFolder`: the command line's --profiles, or empty.
    ProfileCommands(MainWindow* frame, const QString& profilesFolder, Dialogs dialogs = {});

    QAction* NewAction() const { return new_; }
    QAction* OpenAction() const { return open_; }
    const QString& Folder() const { return folder_; }
    QDockWidget* LibraryDock() const { return dock_; }
    profile::ui::ProfileLibrary* Library() const { return library_; }
    // Sends a profile file through the panel; false (and shown) when it
    // cannot be read or breaks a rule, or the panel is not Idle.
    bool UploadFile(const QString& path);

    // Opens an editor on `p` (a new, unsaved document).
    profile::ui::ProfileEditor* NewEditor(const profile::Profile& p);
    // Opens the profile file in an editor; shows why not and returns null.
    profile::ui::ProfileEditor* OpenFile(const QString& path);
    // Asks the controller for its profile and opens it in a new editor.
    void ReadFromController();
    QList<profile::ui::ProfileEditor*> Editors() const;
    // Closes every editor, asking about unsaved edits; false when one stays.
    bool CloseAll();

private:
    profile::ui::ProfileEditor* Show(profile::ui::ProfileEditor* editor);
    void UpdateEditors();

    MainWindow* frame_;
    Dialogs dialogs_;
    QString folder_;
    QAction* new_ = nullptr;
    QAction* open_ = nullptr;
    QDockWidget* dock_ = nullptr;
    profile::ui::ProfileLibrary* library_ = nullptr;
    bool controllerIdle_ = false;  // as the panel's state signal said last
};

}  // namespace shell
