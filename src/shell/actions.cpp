#include "shell/actions.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>

#include "shell/app_look.h"
#include "widgets/command_icons.h"

namespace shell {

QList<QKeySequence> CommandKeys(QKeySequence::StandardKey key, const QList<QKeySequence>& wanted) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    for (auto it = wanted.rbegin(); it != wanted.rend(); ++it) {
        keys.removeAll(*it);
        keys.prepend(*it);
    }
    return keys;
}

QList<QAction*> Actions::DocumentCommands() const {
    return {close,       save,          saveAs, importChart, exportCsv,
            exportImage, uploadProfile, zoomIn, zoomOut};
}

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("shell::MainWindow", text);
}

// `prompt` is "status text\ntooltip", as the menu resources carry it.
QAction* Make(QObject* owner, const char* text, const char* prompt = nullptr) {
    auto* a = new QAction(Tr(text), owner);
    if (prompt) {
        const QString p = Tr(prompt);
        a->setStatusTip(p.section(QLatin1Char('\n'), 0, 0));
        const QString tip = p.section(QLatin1Char('\n'), 1);
        if (!tip.isEmpty())
            a->setToolTip(tip);
    }
    return a;
}

QAction* WithImage(QAction* a, widgets::CommandImage image) {
    a->setIcon(widgets::CommandIcon(image));
    return a;
}

QAction* WithKeys(QAction* a, QKeySequence::StandardKey key, const QList<QKeySequence>& wanted) {
    a->setShortcuts(CommandKeys(key, wanted));
    return a;
}

}  // namespace

Actions CreateActions(QObject* owner) {
    using widgets::CommandImage;
    const auto ctrl = [](int key) { return QKeySequence(Qt::CTRL | key); };
    Actions a;
    a.newDocument = WithKeys(
        WithImage(Make(owner, "&New\tCtrl+N", "Create a new document\nNew"), CommandImage::New),
        QKeySequence::New, {ctrl(Qt::Key_N)});
    a.open = WithKeys(WithImage(Make(owner, "&Open...\tCtrl+O", "Open an existing document\nOpen"),
                                CommandImage::Open),
                      QKeySequence::Open, {ctrl(Qt::Key_O)});
    a.newProfile =
        Make(owner, "New Profile...", "Design a temperature profile, empty or from a template");
    a.openProfile =
        Make(owner, "Open Profile...", "Open a profile file (a chart file) in the profile editor");
    a.close = Make(owner, "&Close", "Close the active document\nClose");
    // Only here: a document window's own menu gives up its copy of these
    // keys, which would make them ambiguous and do nothing.
    a.close->setShortcuts(
        CommandKeys(QKeySequence::Close, {ctrl(Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)}));
    a.save = WithKeys(WithImage(Make(owner, "&Save\tCtrl+S", "Save the active document\nSave"),
                                CommandImage::Save),
                      QKeySequence::Save, {ctrl(Qt::Key_S)});
    a.saveAs =
        WithKeys(Make(owner, "Save &As...", "Save the active document with a new name\nSave As"),
                 QKeySequence::SaveAs, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    a.importChart =
        Make(owner, "Import chart...", "Add the charts of a chart XML file\nImport chart");
    a.exportCsv =
        Make(owner, "Export CSV...", "Write the charts as CSV for a spreadsheet\nExport CSV");
    a.exportImage =
        Make(owner, "Export Image...", "Write the charts as drawn to a PNG image\nExport Image");
    a.exportReport =
        Make(owner, "Export Report...", "Write the bake report of the active document as a PDF");
    a.compareRecord =
        Make(owner, "Compare with record...", "Draw another record's chart as a dashed reference");
    a.print =
        WithKeys(WithImage(Make(owner, "&Print...\tCtrl+P", "Print the active document\nPrint"),
                           CommandImage::Print),
                 QKeySequence::Print, {ctrl(Qt::Key_P)});
    a.exit = WithKeys(Make(owner, "E&xit", "Quit the application; prompts to save documents\nExit"),
                      QKeySequence::Quit, {ctrl(Qt::Key_Q)});

    a.copy = WithKeys(
        WithImage(Make(owner, "&Copy\tCtrl+C",
                       "Copy the active chart to the Clipboard as an image and as CSV text\nCopy"),
                  CommandImage::Copy),
        QKeySequence::Copy, {ctrl(Qt::Key_C)});

    a.connectDevice = Make(owner, "Connect...", "List and connect to available device\nConnect...");
    a.acknowledgeAlarms =
        Make(owner, "Acknowledge Alarms", "Stop repeating the alarms of the active controller");
    a.alarmSettings =
        Make(owner, "Alarms...", "Choose what raises an alarm and how it is announced");
    a.addDevice = Make(owner, "Add Device...",
                       "List available devices and connect to more of them\nAdd Device...");
    a.disconnectDevice = Make(owner, "Disconnect", "Disconnect from device\nDisconnect");
    a.bakeOptions = Make(owner, "Bake options...");
    a.uploadProfile =
        Make(owner, "Upload Bake Profile",
             "Send the chosen chart to the controller as its temperature profile\nUpload "
             "Bake Profile");

    a.statusBar = Make(owner, "&Status Bar", "Show or hide the status bar\nToggle Status Bar");
    a.statusBar->setCheckable(true);
    a.statusBar->setChecked(true);
    a.customize = Make(owner, "Customize...");
    a.windows = Make(owner, "&Windows...");
    a.zoomIn = WithKeys(Make(owner, "Zoom &In", "Zoom into the active chart\nZoom In"),
                        QKeySequence::ZoomIn, {ctrl(Qt::Key_Plus)});
    a.zoomOut = WithKeys(Make(owner, "Zoom &Out", "Zoom out of the active chart\nZoom Out"),
                         QKeySequence::ZoomOut, {ctrl(Qt::Key_Minus)});
    a.fullScreen = WithKeys(
        Make(owner, "&Full Screen", "Show the main window on the whole screen\nFull Screen"),
        QKeySequence::FullScreen, {QKeySequence(Qt::Key_F11)});
    a.fullScreen->setCheckable(true);
    a.lookGroup = new QActionGroup(owner);
    a.lookGroup->setExclusive(true);
    for (const LookInfo& look : ApplicationLooks()) {
        auto* la = new QAction(QString::fromLatin1(look.menuText), owner);
        la->setCheckable(true);
        a.lookGroup->addAction(la);
        a.looks.insert(look.id, la);
    }

    a.about = WithImage(Make(owner, "&About TVR_GUI...",
                             "Display program information, version number and copyright\nAbout"),
                        CommandImage::About);

    // Until their groups take them on. Save, Print and Copy stay on the
    // toolbar, disabled.
    for (QAction* d : a.DocumentCommands()) {
        d->setVisible(d == a.save);
        d->setEnabled(false);
    }
    for (QAction* d : {a.newProfile, a.openProfile, a.exportReport, a.compareRecord})
        d->setVisible(false);
    for (QAction* d : {a.print, a.copy}) d->setEnabled(false);
    return a;
}

}  // namespace shell
