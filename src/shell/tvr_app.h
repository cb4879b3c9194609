#pragma once
// Start-up and shutdown of the program: the command line, the main frame
// and what the command line asks for.

#include <QString>
#include <QStringList>

#include <memory>

#include "shell/main_frame.h"

namespace shell {

struct CommandLineOptions {
    QString file;         // a chart document to open
    QString connectHost;  // a controller to connect to at start-up
    QString logFile;      // also append every Output line here
};

enum class CommandLineAction { Run, Exit };

// args[0] is the program. Exit: the help, the version or an error has been
// written to `out` / `err`, and `exitCode` says how the program ends.
CommandLineAction ParseCommandLine(const QStringList& args, CommandLineOptions* options,
                                   int* exitCode, QString* out, QString* err);

// The project version, given by the build.
inline constexpr char kProgramVersion[] = CALVERO_VERSION;

class CTVR_App {
public:
    CTVR_App();
    ~CTVR_App();

    // Creates and shows the main frame and carries out the command line.
    // False when the program cannot start (the reason has been shown).
    bool InitInstance(const CommandLineOptions& options, MainFrameServices services = {});
    // Destroys the main frame (which closes the link) and returns the exit code.
    int ExitInstance(int code);

    CMainFrame* MainFrame() const { return frame_.get(); }

private:
    CConnectDlgSelector deviceSelector_;  // outlives the frame
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace shell
