#include "shell/application.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include "bake/ui/control_panel.h"
#include "shell/alarm_commands.h"
#include "shell/app_look.h"
#include "shell/document_commands.h"
#include "shell/output_pane.h"
#include "shell/profile_commands.h"
#include "shell/report_commands.h"
#include "widgets/settings.h"

namespace shell {

namespace {

QString HelpText() {
    return QStringLiteral(
        "Usage: calvero [FILE] [--connect HOST]... [--log FILE] [--records DIR] [--profiles DIR]\n"
        "\n"
        "The operator program for networked heated-plate controllers.\n"
        "\n"
        "  FILE            chart document (.tvr) to open at start-up\n"
        "  --connect HOST  connect to the controller at HOST (TCP port 5565); given\n"
        "                  several times, to each of them\n"
        "  --log FILE      also append every line of the Output log to FILE\n"
        "  --records DIR   save finished bakes in DIR (default: the setting\n"
        "                  Records/Folder, else Calvero in the documents folder)\n"
        "  --profiles DIR  list the profiles of DIR (default: the setting\n"
        "                  Profiles/Folder, else Calvero/Profiles in the documents folder)\n"
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
            if (!options->file.isEmpty())
                return fail(QStringLiteral("more than one FILE given"));
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
            QString host;
            if (!value(QStringLiteral("--connect"), &host))
                return fail(QStringLiteral("--connect needs a HOST"));
            if (!options->connectHosts.contains(host))
                options->connectHosts << host;
            options->connectHost = options->connectHosts.first();
        } else if (a == QLatin1String("--log") || a.startsWith(QLatin1String("--log="))) {
            if (!value(QStringLiteral("--log"), &options->logFile))
                return fail(QStringLiteral("--log needs a FILE"));
        } else if (a == QLatin1String("--records") || a.startsWith(QLatin1String("--records="))) {
            if (!value(QStringLiteral("--records"), &options->recordsFolder))
                return fail(QStringLiteral("--records needs a DIR"));
        } else if (a == QLatin1String("--profiles") || a.startsWith(QLatin1String("--profiles="))) {
            if (!value(QStringLiteral("--profiles"), &options->profilesFolder))
                return fail(QStringLiteral("--profiles needs a DIR"));
        } else {
            return fail(QStringLiteral("unknown option '%1'").arg(a));
        }
    }
    return CommandLineAction::Run;
}

Application::Application() = default;

Application::~Application() {
    frame_.reset();
}

bool Application::InitInstance(const CommandLineOptions& options, MainFrameServices services,
                               const DocumentServices& documents) {
    QCoreApplication::setOrganizationName(QString::fromLatin1(widgets::kSettingsOrganization));
    if (!services.deviceSelector)
        services.deviceSelector = &deviceSelector_;
    frame_ = std::make_unique<MainWindow>(std::move(services));
    // A controller named on the command line is connected to at once;
    // otherwise the device selection opens once the window is up.
    frame_->SetSelectDeviceAtStart(options.connectHost.isEmpty() && options.connectHosts.isEmpty());
    if (!frame_->Create()) {
        frame_.reset();
        return false;
    }
    if (!options.logFile.isEmpty()) {
        QString error;
        if (!frame_->Output()->SetLogFile(options.logFile, &error)) {
            const std::wstring text = QStringLiteral("Cannot open the log file %1: %2")
                                          .arg(options.logFile, error)
                                          .toStdWString();
            frame_->Messages()->ShowMessage(text, platform::MessageIcon::Error);
            frame_.reset();
            return false;
        }
    }
    CreateDocuments(options, documents);
    QStringList hosts = options.connectHosts;
    if (hosts.isEmpty() && !options.connectHost.isEmpty())
        hosts << options.connectHost;
    for (const QString& host : hosts) frame_->ConnectTo(host);
    frame_->show();
    return true;
}

namespace {

QString AskSavePath(QWidget* parent, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, QObject::tr("Save As"), suggested,
                                        QObject::tr("Charts (*.tvr)"));
}

QString AskImportPath(QWidget* parent) {
    QFileDialog dlg(parent, QObject::tr("Import Chart"), QString(),
                    QObject::tr("XML Files (*.xml)"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(QStringLiteral("xml"));
    dlg.setOption(QFileDialog::ReadOnly, false);
    dlg.selectFile(QStringLiteral("*.xml"));
    return dlg.exec() == QDialog::Accepted ? dlg.selectedFiles().value(0) : QString();
}

QString AskExportPath(QWidget* parent, const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QObject::tr("Export"), suggested, filter);
}

document::SaveChoice AskSaveChanges(QWidget* parent, const QString& title) {
    const auto answer = QMessageBox::question(
        parent, QCoreApplication::applicationName(), QObject::tr("Save changes to %1?").arg(title),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return document::SaveChoice::Save;
    if (answer == QMessageBox::Discard)
        return document::SaveChoice::Discard;
    return document::SaveChoice::Cancel;
}

}  // namespace

void Application::CreateDocuments(const CommandLineOptions& options,
                                  const DocumentServices& services) {
    auto context = std::make_shared<document::DocumentContext>();
    // A document no controller recorded uploads to the active one, as it is
    // when the operator asks.
    context->sendProfile = [frame = QPointer<MainWindow>(frame_.get())](
                               std::optional<std::span<const bake::ProfileSample>> points) {
        if (frame && frame->ControlFrame())
            frame->ControlFrame()->SendProfile(points);
    };
    context->messages = frame_->Messages();
    context->log = frame_->Output();
    context->recordsFolder = document::ResolveRecordsFolder(options.recordsFolder);
    context->recoveryFolder = services.recoveryFolder.isEmpty() ? document::DefaultRecoveryFolder()
                                                                : services.recoveryFolder;
    context->recoveryIntervalMs = services.recoveryIntervalMs;
    context->askSavePath = services.askSavePath ? services.askSavePath : AskSavePath;
    context->askImportPath = services.askImportPath ? services.askImportPath : AskImportPath;
    context->askExportPath = services.askExportPath ? services.askExportPath : AskExportPath;
    context->askSaveChanges = services.askSaveChanges ? services.askSaveChanges : AskSaveChanges;
    MainWindow* frame = frame_.get();
    context->saved = [frame](const QString& path) { frame->AddRecentFile(path); };

    documents_ = new document::DocumentManager(frame->MdiArea(), context, frame);
    document::DocumentManager* docs = documents_;
    Controllers* sessions = frame->Sessions();
    for (ControllerSession* s : sessions->All()) WireSession(s);
    QObject::connect(sessions, &Controllers::added, frame,
                     [this](ControllerSession* s) { WireSession(s); });
    QObject::connect(sessions, &Controllers::activeChanged, frame, [sessions] {
        for (ControllerSession* s : sessions->All()) {
            if (s->Recorder())
                s->Recorder()->SetActive(s == sessions->Active());
        }
    });
    frame->SetDocumentHandlers(
        [this] {
            if (document::LiveRecorder* recorder = Recorder())
                recorder->NewDocument();
        },
        [docs](const QString& path) { return docs->OpenDocument(path) != nullptr; });
    frame->SetOpenFolder(context->recordsFolder);
    documentCommands_ = new DocumentCommands(frame, docs);
    new ReportCommands(frame, docs);                  // owned by the frame
    alarmCommands_ = new AlarmCommands(frame, docs);  // owned by the frame
    ProfileCommands::Dialogs profileDialogs;
    profileDialogs.askSaveChanges = context->askSaveChanges;
    auto* profiles = new ProfileCommands(frame, options.profilesFolder, profileDialogs);
    // Unsaved profiles are asked about before the documents.
    frame->SetCloseGuard([docs, profiles] { return profiles->CloseAll() && docs->CloseAll(); });

    if (options.file.isEmpty()) {
        if (document::LiveRecorder* recorder = Recorder())
            recorder->NewStartupDocument();
    } else {
        frame->OpenDocumentFile(options.file);
    }
    // After the start-up steps already queued (the window shown, the
    // connection begun): reading the files and the answer hold nothing up.
    auto ask = services.askRestoreRecovered;
    if (!ask) {
        ask = [](QWidget* parent, const QString& text, const QList<document::RecoveryEntry>& files,
                 std::function<void(document::RecoveryAnswer)> answer) {
            CreateRecoveryQuestion(parent, text, files, std::move(answer))->show();
        };
    }
    QTimer::singleShot(0, docs, [docs, frame, ask] {
        docs->OfferRecoveryFiles(
            [frame, &ask](const QString& text, const QList<document::RecoveryEntry>& files,
                          std::function<void(document::RecoveryAnswer)> answer) {
                ask(frame, text, files, std::move(answer));
            });
    });
}

void Application::WireSession(ControllerSession* session) {
    if (!documents_ || session->Recorder())
        return;
    auto* recorder = new document::LiveRecorder(documents_);
    session->SetRecorder(recorder);
    bake::ui::ControlPanel* panel = session->Panel();
    recorder->SetProfileSender(
        [panel = QPointer(panel)](std::optional<std::span<const bake::ProfileSample>> points) {
            if (panel)
                panel->SendProfile(points);
        });
    // With more than one controller connected a record says whose it is.
    Controllers* sessions = frame_->Sessions();
    recorder->SetDeviceTag([sessions, session = QPointer(session)] {
        return session && sessions->ConnectedCount() > 1 ? session->Label() : QString();
    });
    recorder->SetActive(session == sessions->Active());
    recorder->Listen(panel);
}

document::LiveRecorder* Application::Recorder() const {
    if (!frame_)
        return nullptr;
    ControllerSession* s = frame_->ActiveSession();
    return s ? s->Recorder() : nullptr;
}

QDialog* CreateRecoveryQuestion(QWidget* parent, const QString& text,
                                const QList<document::RecoveryEntry>& files,
                                std::function<void(document::RecoveryAnswer)> answer) {
    auto* dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(text, dialog));
    // However many files there are, the buttons stay in reach: the list
    // scrolls.
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("recoveryFiles"));
    for (const document::RecoveryEntry& e : files) {
        list->addItem(e.problem.isEmpty()
                          ? e.path
                          : QObject::tr("%1 (cannot be read: %2)").arg(e.path, e.problem));
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* open = buttons->addButton(QObject::tr("Open"), QDialogButtonBox::AcceptRole);
    QPushButton* discard =
        buttons->addButton(QObject::tr("Discard"), QDialogButtonBox::DestructiveRole);
    open->setDefault(true);
    layout->addWidget(buttons);
    auto shared =
        std::make_shared<std::function<void(document::RecoveryAnswer)>>(std::move(answer));
    auto give = [shared](document::RecoveryAnswer a) {
        if (*shared)
            std::exchange(*shared, nullptr)(a);
    };
    QObject::connect(open, &QPushButton::clicked, dialog, [dialog, give] {
        give(document::RecoveryAnswer::Open);
        dialog->accept();
    });
    QObject::connect(discard, &QPushButton::clicked, dialog, [dialog, give] {
        give(document::RecoveryAnswer::Discard);
        dialog->accept();
    });
    QObject::connect(dialog, &QDialog::rejected, dialog,
                     [give] { give(document::RecoveryAnswer::Later); });
    return dialog;
}

int Application::ExitInstance(int code) {
    frame_.reset();
    return code;
}

}  // namespace shell
