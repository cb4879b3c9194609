#pragma once
// Profiles in the main frame: File > "New Profile..." and "Open Profile..."
// open profile editors beside the chart documents, every editor sends
// through the control panel and is enabled by its state, and "Read from
// controller" opens the controller's profile in a new editor.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "document/tvr_doc.h"
#include "profile/profile_model.h"

class QAction;
class QDockWidget;
class QMdiSubWindow;

namespace profile_ui {
class CProfileEditor;
class CProfileLibrary;
}  // namespace profile_ui

namespace shell {

class CMainFrame;

class CProfileCommands : public QObject {
    Q_OBJECT
public:
    // Stand-ins for the dialogs, for tests.
    struct Dialogs {
        // Index into the choices ("Empty profile" and the templates), or -1.
        std::function<int(QWidget*, const QStringList& choices)> chooseStart;
        std::function<QString(QWidget*, const QString& folder)> askOpenPath;
        std::function<QString(QWidget*, const QString& suggested)> askSavePath;
        // Unsaved edits on close: Save, Discard or Cancel (the documents' question).
        std::function<SaveChoice(QWidget*, const QString& title)> askSaveChanges;
    };

    // `profilesFolder`: the command line's --profiles, or empty.
    CProfileCommands(CMainFrame* frame, const QString& profilesFolder, Dialogs dialogs = {});

    QAction* NewAction() const { return new_; }
    QAction* OpenAction() const { return open_; }
    const QString& Folder() const { return folder_; }
    QDockWidget* LibraryDock() const { return dock_; }
    profile_ui::CProfileLibrary* Library() const { return library_; }
    // Sends a profile file through the panel; false (and shown) when it
    // cannot be read or breaks a rule, or the panel is not Idle.
    bool UploadFile(const QString& path);

    // Opens an editor on `p` (a new, unsaved document).
    profile_ui::CProfileEditor* NewEditor(const profile::Profile& p);
    // Opens the profile file in an editor; shows why not and returns null.
    profile_ui::CProfileEditor* OpenFile(const QString& path);
    // Asks the controller for its profile and opens it in a new editor.
    void ReadFromController();
    QList<profile_ui::CProfileEditor*> Editors() const;
    // Closes every editor, asking about unsaved edits; false when one stays.
    bool CloseAll();

private:
    profile_ui::CProfileEditor* Show(profile_ui::CProfileEditor* editor);
    void UpdateEditors();

    CMainFrame* frame_;
    Dialogs dialogs_;
    QString folder_;
    QAction* new_ = nullptr;
    QAction* open_ = nullptr;
    QDockWidget* dock_ = nullptr;
    profile_ui::CProfileLibrary* library_ = nullptr;
};

}  // namespace shell
