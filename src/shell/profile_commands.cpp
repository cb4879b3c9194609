#include "shell/profile_commands.h"

#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "bake/ui/control_panel.h"
#include "platform/message_box.h"
#include "profile/profile_templates.h"
#include "profile/ui/profile_editor.h"
#include "profile/ui/profile_library.h"
#include "shell/main_window.h"

namespace shell {

namespace {

constexpr char kFilter[] = "Profile (*.xml);;All files (*)";

}  // namespace

ProfileCommands::ProfileCommands(MainWindow* frame, const QString& profilesFolder, Dialogs dialogs)
    : QObject(frame),
      frame_(frame),
      dialogs_(std::move(dialogs)),
      folder_(profile::ui::ResolveProfilesFolder(profilesFolder)) {
    if (!dialogs_.chooseStart) {
        dialogs_.chooseStart = [](QWidget* parent, const QStringList& choices) {
            bool ok = false;
            const QString item = QInputDialog::getItem(parent, tr("New Profile"), tr("Start from:"),
                                                       choices, 0, false, &ok);
            return ok ? int(choices.indexOf(item)) : -1;
        };
    }
    if (!dialogs_.askOpenPath) {
        dialogs_.askOpenPath = [](QWidget* parent, const QString& folder) {
            return QFileDialog::getOpenFileName(parent, tr("Open Profile"), folder, tr(kFilter));
        };
    }
    if (!dialogs_.askSavePath) {
        dialogs_.askSavePath = [this](QWidget* parent, const QString& suggested) {
            const QString start = suggested.contains('/') || folder_.isEmpty()
                                      ? suggested
                                      : folder_ + QLatin1Char('/') + suggested;
            return QFileDialog::getSaveFileName(parent, tr("Save Profile"), start, tr(kFilter));
        };
    }

    new_ = frame->Commands().newProfile;
    open_ = frame->Commands().openProfile;
    new_->setVisible(true);
    open_->setVisible(true);
    connect(new_, &QAction::triggered, this, [this] {
        QStringList choices{tr("Empty profile")};
        for (const profile::Template& t : profile::Templates())
            choices << QString::fromWCharArray(t.title);
        const int i = dialogs_.chooseStart(frame_, choices);
        if (i < 0)
            return;
        profile::Profile p({{0, 25}, {60, 100}});
        if (i > 0)
            p = *profile::TemplateProfile(profile::Templates()[size_t(i - 1)].key);
        profile::ui::ProfileEditor* editor = NewEditor(p);
        if (i > 0 && profile::Templates()[size_t(i - 1)].window)
            editor->SetWindow(QString::fromLatin1(profile::Templates()[size_t(i - 1)].window));
    });
    connect(open_, &QAction::triggered, this, [this] {
        const QString path = dialogs_.askOpenPath(frame_, folder_);
        if (!path.isEmpty())
            OpenFile(path);
    });

    dock_ = new QDockWidget(tr("Profiles"), frame);
    dock_->setObjectName(QStringLiteral("ProfilesPane"));
    library_ = new profile::ui::ProfileLibrary(dock_);
    dock_->setWidget(library_);
    frame->addDockWidget(Qt::LeftDockWidgetArea, dock_);
    dock_->hide();
    library_->SetFolder(folder_);
    connect(library_, &profile::ui::ProfileLibrary::openRequested, this,
            [this](const QString& path) { OpenFile(path); });
    connect(library_, &profile::ui::ProfileLibrary::uploadRequested, this,
            [this](const QString& path) { UploadFile(path); });
    frame->MenuBarMenus().view->addAction(dock_->toggleViewAction());
    frame->MenuBarMenus().panes->addAction(dock_->toggleViewAction());

    // Profiles go to the active controller: they follow its state.
    if (bake::ui::ControlPanel* panel = frame->ControlFrame())
        controllerIdle_ = panel->IsIdle();
    connect(frame, &MainWindow::activeControllerChanged, this, [this] {
        const bake::ui::ControlPanel* panel = frame_->ControlFrame();
        controllerIdle_ = panel && panel->IsIdle();
        UpdateEditors();
    });
    UpdateEditors();
}

bool ProfileCommands::UploadFile(const QString& path) {
    bake::ui::ControlPanel* panel = frame_->ControlFrame();
    if (!panel || !controllerIdle_)
        return false;
    platform::MessageBox* box = frame_->Messages();
    std::wstring error;
    const auto p = profile::LoadProfile(path.toStdWString(), error);
    if (!p) {
        if (box)
            box->ShowMessage(error, platform::MessageIcon::Error);
        return false;
    }
    // The same sentence the editor shows, without icon like the upload's own.
    if (const auto broken = p->Violations(); !broken.empty()) {
        if (box)
            box->ShowMessage(broken.front().text, platform::MessageIcon::None);
        return false;
    }
    const std::vector<bake::ProfileSample> samples = bake::ToProfileSamples(p->Points());
    panel->SendProfile(std::span<const bake::ProfileSample>(samples));
    return true;
}

QList<profile::ui::ProfileEditor*> ProfileCommands::Editors() const {
    QList<profile::ui::ProfileEditor*> out;
    if (QMdiArea* area = frame_->MdiArea()) {
        for (QMdiSubWindow* w : area->subWindowList()) {
            if (auto* e = qobject_cast<profile::ui::ProfileEditor*>(w->widget()))
                out << e;
        }
    }
    return out;
}

bool ProfileCommands::CloseAll() {
    for (profile::ui::ProfileEditor* e : Editors()) {
        if (!e->parentWidget()->close())
            return false;
    }
    return true;
}

void ProfileCommands::UpdateEditors() {
    for (profile::ui::ProfileEditor* e : Editors()) e->SetControllerIdle(controllerIdle_);
    if (library_)
        library_->SetUploadEnabled(frame_->ControlFrame() && controllerIdle_);
}

profile::ui::ProfileEditor* ProfileCommands::Show(profile::ui::ProfileEditor* editor) {
    // The controller active when the operator sends, the one its enabling followed.
    editor->SetProfileSender([frame = QPointer<MainWindow>(frame_)](
                                 std::optional<std::span<const bake::ProfileSample>> points) {
        if (frame && frame->ControlFrame())
            frame->ControlFrame()->SendProfile(points);
    });
    editor->SetControllerIdle(controllerIdle_);
    editor->SetMessageBox(frame_->Messages());
    editor->SetReader([this] { ReadFromController(); });
    editor->SetSavePathAsker(dialogs_.askSavePath);
    if (dialogs_.askSaveChanges) {
        editor->SetCloseQuestion([ask = dialogs_.askSaveChanges](QWidget* w, const QString& t) {
            switch (ask(w, t)) {
                case document::SaveChoice::Save:
                    return profile::ui::CloseChoice::Save;
                case document::SaveChoice::Discard:
                    return profile::ui::CloseChoice::Discard;
                case document::SaveChoice::Cancel:
                    break;
            }
            return profile::ui::CloseChoice::Cancel;
        });
    }
    QMdiArea* area = frame_->MdiArea();
    QMdiSubWindow* sub = area->addSubWindow(editor);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(editor->Title());
    connect(editor, &profile::ui::ProfileEditor::titleChanged, sub, &QWidget::setWindowTitle);
    sub->resize(900, 560);
    sub->show();
    area->setActiveSubWindow(sub);
    return editor;
}

profile::ui::ProfileEditor* ProfileCommands::NewEditor(const profile::Profile& p) {
    auto* editor = new profile::ui::ProfileEditor;
    editor->SetProfile(p);
    return Show(editor);
}

profile::ui::ProfileEditor* ProfileCommands::OpenFile(const QString& path) {
    auto* editor = new profile::ui::ProfileEditor;
    QString error;
    if (!editor->Open(path, &error)) {
        delete editor;
        if (platform::MessageBox* box = frame_->Messages())
            box->ShowMessage(error.toStdWString(), platform::MessageIcon::Error);
        return nullptr;
    }
    return Show(editor);
}

void ProfileCommands::ReadFromController() {
    bake::ui::ControlPanel* panel = frame_->ControlFrame();
    if (!panel || !controllerIdle_)
        return;
    panel->RequestProfile([this](const uint8_t* bytes, uint32_t length) {
        bake::CONCC_Header h;
        bake::CONCC_TempProfile report;
        if (bake::DecodeHeader(bytes, length, h) && h.result != 0) {
            // The log has it too; the operator who asked wants an answer.
            const std::string text = bake::ResultCodeText(h.result);
            if (platform::MessageBox* box = frame_->Messages())
                box->ShowMessage(std::wstring(text.begin(), text.end()),
                                 platform::MessageIcon::Error);
            return;
        }
        if (!bake::DecodeTempProfile(bytes, length, report))
            return;  // the log says what was wrong with it
        std::vector<profile::ChartPoint> points;
        for (const bake::CONCC_ProfilePoint& p : report.points)
            points.push_back({p.timeMs / 1000.0, int32_t(p.tempCenti) / 100.0});
        NewEditor(profile::Profile(std::move(points)));
    });
}

}  // namespace shell
