// calvero: the operator program.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "shell/application.h"

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    shell::CommandLineOptions options;
    int exitCode = 0;
    QString out, err;
    if (shell::ParseCommandLine(args, &options, &exitCode, &out, &err) ==
        shell::CommandLineAction::Exit) {
        std::fputs(out.toLocal8Bit().constData(), stdout);
        std::fputs(err.toLocal8Bit().constData(), stderr);
        return exitCode;
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!platform || !*platform) && (!display || !*display) && (!wayland || !*wayland)) {
        std::fputs(
            "calvero: no display (DISPLAY and WAYLAND_DISPLAY are empty); run it in a "
            "desktop session, under xvfb-run, or with QT_QPA_PLATFORM=offscreen\n",
            stderr);
        return 2;
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Calvero"));
    QApplication::setApplicationVersion(QString::fromLatin1(shell::kProgramVersion));
    // Wayland desktops find the installed entry and its icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("calvero"));
    shell::Application app;
    if (!app.InitInstance(options))
        return 1;
    return app.ExitInstance(qapp.exec());
}
