#include "shell/document_commands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>

#include <functional>

#include "bake/ui/control_panel.h"
#include "chart/ui/chart_view_math.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "shell/chart_output.h"
#include "shell/main_window.h"

namespace shell {

namespace {

// One wheel notch per zoom command.
constexpr int kZoomNotch = 120;

}  // namespace

DocumentCommands::DocumentCommands(MainWindow* frame, document::DocumentManager* documents)
    : QObject(frame), frame_(frame), documents_(documents) {
    // Each command goes to the window of the active document, which asks
    // what it needs to know.
    auto onActive = [this](auto command) {
        return [this, command] {
            if (document::ChartDocumentWindow* window = documents_->ActiveWindow())
                std::invoke(command, window);
        };
    };
    const Actions& a = frame_->Commands();
    connect(a.save, &QAction::triggered, this, onActive(&document::ChartDocumentWindow::Save));
    connect(a.saveAs, &QAction::triggered, this, onActive(&document::ChartDocumentWindow::SaveAs));
    connect(a.close, &QAction::triggered, this, onActive(&QWidget::close));
    connect(a.importChart, &QAction::triggered, this,
            onActive(&document::ChartDocumentWindow::ImportChart));
    connect(a.exportCsv, &QAction::triggered, this,
            onActive(&document::ChartDocumentWindow::ExportCsv));
    connect(a.exportImage, &QAction::triggered, this,
            onActive(qOverload<>(&document::ChartDocumentWindow::ExportImage)));
    connect(a.uploadProfile, &QAction::triggered, this, [this] {
        if (document::ChartDocument* doc = documents_->ActiveDocument())
            doc->UploadBakeProfile();
    });
    connect(a.zoomIn, &QAction::triggered, this, [this] { Zoom(kZoomNotch); });
    connect(a.zoomOut, &QAction::triggered, this, [this] { Zoom(-kZoomNotch); });
    connect(a.print, &QAction::triggered, this, &DocumentCommands::Print);
    connect(a.copy, &QAction::triggered, this, &DocumentCommands::Copy);

    connect(documents_, &document::DocumentManager::documentsChanged, this,
            &DocumentCommands::Update);
    connect(frame_->MdiArea(), &QMdiArea::subWindowActivated, this, &DocumentCommands::Update);
    // Any controller's state: a record uploads to the controller that made it.
    connect(frame_, &MainWindow::activeControllerChanged, this, &DocumentCommands::Update);
    auto follow = [this](ControllerSession* s) {
        connect(s, &ControllerSession::stateChanged, this, &DocumentCommands::Update);
    };
    for (ControllerSession* s : frame_->Sessions()->All()) follow(s);
    connect(frame_->Sessions(), &Controllers::added, this, follow);
    connect(frame_->MenuBarMenus().devices, &QMenu::aboutToShow, this, &DocumentCommands::Update);
    connect(frame_->MenuBarMenus().file, &QMenu::aboutToShow, this, &DocumentCommands::Update);
    Update();
}

void DocumentCommands::Update() {
    // The frame's destruction deletes documents, whose signals land here once
    // the frame is a MainWindow no more: nothing is left to update then.
    if (!qobject_cast<MainWindow*>(static_cast<QObject*>(frame_)))
        return;
    const bool hasDocument = documents_->ActiveDocument() != nullptr;
    const Actions& a = frame_->Commands();
    // The document menu: these appear only while a chart document is open.
    for (QAction* d : a.DocumentCommands()) {
        d->setVisible(hasDocument);
        d->setEnabled(hasDocument);
    }
    a.print->setEnabled(hasDocument);
    a.copy->setEnabled(hasDocument);
    // The document's own controller, or the active one for any other.
    const document::ChartDocument* doc = documents_->ActiveDocument();
    const bake::ui::ControlPanel* panel = frame_->ControlFrame();
    if (doc && doc->Controller()) {
        // A record follows its own controller, and none once it has gone.
        const ControllerSession* s = frame_->Sessions()->FindByRecord(doc->Controller());
        panel = s ? s->Panel() : nullptr;
    }
    const bool canUpload = panel && panel->State() == bake::ui::ControlState::CF_IDLE;
    a.uploadProfile->setEnabled(hasDocument && canUpload);
}

void DocumentCommands::Zoom(int delta) {
    document::ChartDocumentWindow* window = documents_->ActiveWindow();
    if (!window)
        return;
    chart::ui::ChartWidget* c = window->Container();
    c->SetMapping(chart::ui::ZoomAbout(c->Mapping(), c->width() / 2.0, c->height() / 2.0, delta));
}

void DocumentCommands::Print() {
    document::ChartDocumentWindow* window = documents_->ActiveWindow();
    if (!window)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(window->Document()->Title());
    QPrintDialog dialog(&printer, frame_);
    if (dialog.exec() == QDialog::Accepted && !PrintChart(*window->Container(), printer))
        frame_->Messages()->ShowMessage(L"Unable to print the chart", platform::MessageIcon::Error);
}

void DocumentCommands::Copy() {
    if (document::ChartDocumentWindow* window = documents_->ActiveWindow())
        QApplication::clipboard()->setMimeData(ChartClipboardData(*window->Container()));
}

}  // namespace shell
