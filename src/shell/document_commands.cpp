#include "shell/document_commands.h"

#include <QAction>
#include <QKeySequence>
#include <QMdiArea>
#include <QMenu>

#include "bake/ui/control_panel.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "shell/main_window.h"

namespace shell {

namespace {

// One wheel notch per zoom command.
constexpr int kZoomNotch = 120;

}  // namespace

DocumentCommands::DocumentCommands(MainWindow* frame, document::DocumentManager* documents)
    : QObject(frame), frame_(frame), documents_(documents) {
    auto active = [this] { return documents_->ActiveDocument(); };
    auto onActive = [active](void (document::ChartDocument::*command)()) {
        return [active, command] {
            if (document::ChartDocument* doc = active())
                (doc->*command)();
        };
    };

    save_ = frame_->Action(MainWindow::ID_FILE_SAVE);
    save_->setShortcuts(CommandKeys(QKeySequence::Save, {QKeySequence(Qt::CTRL | Qt::Key_S)}));
    connect(save_, &QAction::triggered, this, [active] {
        if (document::ChartDocument* doc = active())
            doc->Save();
    });
    QAction* a = Make(ID_FILE_SAVE_AS, tr("Save &As..."),
                      tr("Save the active document with a new name\nSave As"));
    a->setShortcuts(
        CommandKeys(QKeySequence::SaveAs, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}));
    connect(a, &QAction::triggered, this, [active] {
        if (document::ChartDocument* doc = active())
            doc->SaveAs();
    });
    a = Make(ID_FILE_CLOSE, tr("&Close"), tr("Close the active document\nClose"));
    // Only here: a document window's own menu gives up its copy of these
    // keys, which would make them ambiguous and do nothing.
    a->setShortcuts(CommandKeys(QKeySequence::Close, {QKeySequence(Qt::CTRL | Qt::Key_W),
                                                      QKeySequence(Qt::CTRL | Qt::Key_F4)}));
    connect(a, &QAction::triggered, this, [active] {
        if (document::ChartDocument* doc = active())
            doc->close();
    });
    connect(Make(ID_CHART_IMPORT, tr("Import chart..."),
                 tr("Add the charts of a chart XML file\nImport chart")),
            &QAction::triggered, this, onActive(&document::ChartDocument::ImportChart));
    connect(Make(ID_EXPORT_CSV, tr("Export CSV..."),
                 tr("Write the charts as CSV for a spreadsheet\nExport CSV")),
            &QAction::triggered, this, onActive(&document::ChartDocument::ExportCsv));
    connect(Make(ID_EXPORT_IMAGE, tr("Export Image..."),
                 tr("Write the charts as drawn to a PNG image\nExport Image")),
            &QAction::triggered, this, onActive(&document::ChartDocument::ExportImage));
    connect(Make(ID_UPLOAD_PROFILE, tr("Upload Bake Profile"),
                 tr("Send the chosen chart to the controller as its temperature profile\nUpload "
                    "Bake Profile")),
            &QAction::triggered, this, onActive(&document::ChartDocument::UploadBakeProfile));
    a = Make(ID_ZOOM_IN, tr("Zoom &In"), tr("Zoom into the active chart\nZoom In"));
    a->setShortcuts(CommandKeys(QKeySequence::ZoomIn, {QKeySequence(Qt::CTRL | Qt::Key_Plus)}));
    connect(a, &QAction::triggered, this, [this] { Zoom(kZoomNotch); });
    a = Make(ID_ZOOM_OUT, tr("Zoom &Out"), tr("Zoom out of the active chart\nZoom Out"));
    a->setShortcuts(CommandKeys(QKeySequence::ZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}));
    connect(a, &QAction::triggered, this, [this] { Zoom(-kZoomNotch); });
    a = Make(ID_FULL_SCREEN, tr("&Full Screen"),
             tr("Show the main window on the whole screen\nFull Screen"));
    a->setShortcuts(CommandKeys(QKeySequence::FullScreen, {QKeySequence(Qt::Key_F11)}));
    a->setCheckable(true);
    connect(a, &QAction::toggled, this, [this](bool on) {
        frame_->setWindowState(on ? (frame_->windowState() | Qt::WindowFullScreen)
                                  : (frame_->windowState() & ~Qt::WindowFullScreen));
    });

    // File: New, Open, Close, Save, Save As, Import, Export, recent files, Exit.
    QMenu* file = frame_->MenuByTitle(tr("&File"));
    QAction* open = frame_->Action(MainWindow::ID_FILE_OPEN);
    const QList<QAction*> fileActions = file->actions();
    QAction* afterOpen = fileActions.value(fileActions.indexOf(open) + 1);
    file->insertActions(afterOpen, {actions_[ID_FILE_CLOSE], save_, actions_[ID_FILE_SAVE_AS]});
    QAction* separator = file->insertSeparator(afterOpen);
    file->insertActions(
        afterOpen, {actions_[ID_CHART_IMPORT], actions_[ID_EXPORT_CSV], actions_[ID_EXPORT_IMAGE]});
    Q_UNUSED(separator);
    QMenu* devices = frame_->MenuByTitle(tr("&Devices"));
    devices->addAction(actions_[ID_UPLOAD_PROFILE]);
    QMenu* view = frame_->MenuByTitle(tr("&View"));
    view->addSeparator();
    view->addActions({actions_[ID_ZOOM_IN], actions_[ID_ZOOM_OUT], actions_[ID_FULL_SCREEN]});
    // The shortcuts work whichever menu is closed.
    frame_->addActions(actions_.values());
    frame_->addAction(save_);

    connect(documents_, &document::DocumentManager::documentsChanged, this,
            &DocumentCommands::Update);
    connect(frame_->MdiArea(), &QMdiArea::subWindowActivated, this, &DocumentCommands::Update);
    if (bake::ui::ControlPanel* panel = frame_->ControlFrame())
        connect(panel, &bake::ui::ControlPanel::stateChanged, this, &DocumentCommands::Update);
    connect(devices, &QMenu::aboutToShow, this, &DocumentCommands::Update);
    connect(file, &QMenu::aboutToShow, this, &DocumentCommands::Update);
    Update();
}

QAction* DocumentCommands::Make(int id, const QString& text, const QString& tip) {
    auto* a = new QAction(text, this);
    a->setData(id);
    a->setStatusTip(tip.section(QLatin1Char('\n'), 0, 0));
    a->setToolTip(tip.section(QLatin1Char('\n'), 1));
    actions_.insert(id, a);
    return a;
}

void DocumentCommands::Update() {
    // The frame's destruction deletes documents, whose signals land here once
    // the frame is a MainWindow no more: nothing is left to update then.
    if (!qobject_cast<MainWindow*>(static_cast<QObject*>(frame_)))
        return;
    const bool hasDocument = documents_->ActiveDocument() != nullptr;
    // The document menu: these appear only while a chart document is open.
    for (int id : {ID_FILE_SAVE_AS, ID_FILE_CLOSE, ID_CHART_IMPORT, ID_EXPORT_CSV, ID_EXPORT_IMAGE,
                   ID_UPLOAD_PROFILE, ID_ZOOM_IN, ID_ZOOM_OUT}) {
        actions_[id]->setVisible(hasDocument);
        actions_[id]->setEnabled(hasDocument);
    }
    save_->setVisible(hasDocument);
    save_->setEnabled(hasDocument);
    const bake::ui::ControlPanel* panel = frame_->ControlFrame();
    actions_[ID_UPLOAD_PROFILE]->setEnabled(hasDocument && panel &&
                                            panel->State() == bake::ui::ControlState::CF_IDLE);
}

void DocumentCommands::Zoom(int delta) {
    document::ChartDocument* doc = documents_->ActiveDocument();
    if (!doc)
        return;
    chart::ui::ChartWidget* c = doc->View()->Container();
    c->SetMapping(chart::ui::ZoomAbout(c->Mapping(), c->width() / 2.0, c->height() / 2.0, delta));
}

}  // namespace shell
