#pragma once
// Start-up and shutdown of the program: the command line, the main frame
// and what the command line asks for.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

#include "document/document_manager.h"
#include "document/live_recorder.h"

class QDialog;
#include "shell/main_window.h"

namespace shell {

class AlarmCommands;
class DocumentCommands;

struct CommandLineOptions {
    QString file;              // a chart document to open
    QString connectHost;       // the first controller to connect to at start-up
    QStringList connectHosts;  // every --connect, in order (connectHost is the first)
    QString logFile;           // also append every Output line here
    QString recordsFolder;     // where finished bakes are saved
    QString profilesFolder;    // the "Profiles" pane's folder
};

// The dialogs and folders of the chart documents; tests replace them. Empty
// members take the program's own.
struct DocumentServices {
    std::function<QString(QWidget*, const QString&)> askSavePath;
    std::function<QString(QWidget*)> askImportPath;
    std::function<QString(QWidget*, const QString&, const QString&)> askExportPath;
    std::function<document::SaveChoice(QWidget*, const QString&)> askSaveChanges;
    // Records left by a program that ended without saving them: asked once
    // the window is up and the command line carried out, without holding
    // either up; the answer may come later.
    std::function<void(QWidget*, const QString& text, const QList<document::RecoveryEntry>& files,
                       std::function<void(document::RecoveryAnswer)> answer)>
        askRestoreRecovered;
    QString recoveryFolder;
    int recoveryIntervalMs = 10000;
};

// The program's recovery question: a window of its own that does not block
// the main window, with the files in a scrolling list (unreadable ones with
// their reason) and Open / Discard; closing it answers Later.
QDialog* CreateRecoveryQuestion(QWidget* parent, const QString& text,
                                const QList<document::RecoveryEntry>& files,
                                std::function<void(document::RecoveryAnswer)> answer);

enum class CommandLineAction { Run, Exit };

// args[0] is the program. Exit: the help, the version or an error has been
// written to `out` / `err`, and `exitCode` says how the program ends.
CommandLineAction ParseCommandLine(const QStringList& args, CommandLineOptions* options,
                                   int* exitCode, QString* out, QString* err);

// The project version, given by the build.
inline constexpr char kProgramVersion[] = CALVERO_VERSION;

class Application {
public:
    Application();
    ~Application();

    // Creates and shows the main frame and carries out the command line.
    // False when the program cannot start (the reason has been shown).
    bool InitInstance(const CommandLineOptions& options, MainFrameServices services = {},
                      const DocumentServices& documents = {});
    // Destroys the main frame (which closes the link) and returns the exit code.
    int ExitInstance(int code);

    MainWindow* MainFrame() const { return frame_.get(); }
    document::DocumentManager* Documents() const { return documents_; }
    // The active controller's recorder.
    document::LiveRecorder* Recorder() const;
    DocumentCommands* Commands() const { return documentCommands_; }
    AlarmCommands* Alarms() const { return alarmCommands_; }

private:
    void CreateDocuments(const CommandLineOptions& options, const DocumentServices& services);
    // Gives a controller's session its recorder, listening to its panel.
    void WireSession(ControllerSession* session);

    DialogDeviceSelector deviceSelector_;  // outlives the frame
    std::unique_ptr<MainWindow> frame_;
    document::DocumentManager* documents_ = nullptr;  // owned by the frame
    DocumentCommands* documentCommands_ = nullptr;    // owned by the frame
    AlarmCommands* alarmCommands_ = nullptr;          // owned by the frame
};

}  // namespace shell
