#include "shell/tvr_app.h"

#include <QCoreApplication>

#include "shell/output_wnd.h"
#include "widgets/settings.h"

namespace shell {

namespace {

QString HelpText() {
    return QStringLiteral(
        "Usage: calvero [FILE] [--connect HOST] [--log FILE]\n"
        "\n"
        "The operator program for networked heated-plate controllers.\n"
        "\n"
        "  FILE            chart document (.tvr) to open at start-up\n"
        "  --connect HOST  connect to the controller at HOST (TCP port 5565)\n"
        "  --log FILE      also append every line of the Output log to FILE\n"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n");
}

}  // namespace

CommandLineAction ParseCommandLine(const QStringList& args, CommandLineOptions* options,
                                   int* exitCode, QString* out, QString* err) {
    *options = CommandLineOptions{};
    auto fail = [&](const QString& message) {
        *err = QStringLiteral("calvero: %1\nTry 'calvero --help'.\n").arg(message);
        *exitCode = 2;
        return CommandLineAction::Exit;
    };
    bool onlyFiles = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](const QString& name, QString* target) {
            const QString prefix = name + QLatin1Char('=');
            if (a.startsWith(prefix)) {
                *target = a.mid(prefix.size());
            } else if (i + 1 < args.size()) {
                *target = args[++i];
            } else {
                return false;
            }
            return !target->isEmpty();
        };
        if (onlyFiles || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            if (!options->file.isEmpty()) return fail(QStringLiteral("more than one FILE given"));
            options->file = a;
        } else if (a == QLatin1String("--")) {
            onlyFiles = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            *out = HelpText();
            *exitCode = 0;
            return CommandLineAction::Exit;
        } else if (a == QLatin1String("--version")) {
            *out = QStringLiteral("calvero %1\n").arg(QLatin1String(kProgramVersion));
            *exitCode = 0;
            return CommandLineAction::Exit;
        } else if (a == QLatin1String("--connect") || a.startsWith(QLatin1String("--connect="))) {
            if (!value(QStringLiteral("--connect"), &options->connectHost))
                return fail(QStringLiteral("--connect needs a HOST"));
        } else if (a == QLatin1String("--log") || a.startsWith(QLatin1String("--log="))) {
            if (!value(QStringLiteral("--log"), &options->logFile))
                return fail(QStringLiteral("--log needs a FILE"));
        } else {
            return fail(QStringLiteral("unknown option '%1'").arg(a));
        }
    }
    return CommandLineAction::Run;
}

CTVR_App::CTVR_App() = default;

CTVR_App::~CTVR_App() { frame_.reset(); }

bool CTVR_App::InitInstance(const CommandLineOptions& options, MainFrameServices services) {
    QCoreApplication::setOrganizationName(QString::fromLatin1(widgets::kSettingsOrganization));
    if (!services.deviceSelector) services.deviceSelector = &deviceSelector_;
    frame_ = std::make_unique<CMainFrame>(std::move(services));
    // A controller named on the command line is connected to at once;
    // otherwise the device selection opens once the window is up.
    frame_->SetSelectDeviceAtStart(options.connectHost.isEmpty());
    if (!frame_->Create()) {
        frame_.reset();
        return false;
    }
    if (!options.logFile.isEmpty()) {
        QString error;
        if (!frame_->OutputPane()->SetLogFile(options.logFile, &error)) {
            const std::wstring text =
                QStringLiteral("Cannot open the log file %1: %2").arg(options.logFile, error).toStdWString();
            frame_->MessageBox()->ShowMessage(text, MessageIcon::Error);
            frame_.reset();
            return false;
        }
    }
    if (!options.file.isEmpty()) frame_->OpenDocumentFile(options.file);
    if (!options.connectHost.isEmpty()) frame_->ConnectTo(options.connectHost);
    frame_->show();
    return true;
}

int CTVR_App::ExitInstance(int code) {
    frame_.reset();
    return code;
}

}  // namespace shell
