#pragma once
// The chart document commands of the main frame: the File menu's Save, Save
// As, Close, "Import chart...", "Export CSV..." and "Export Image...", the
// Devices menu's "Upload Bake Profile", and zooming and full screen. They act
// on the active document, appear while one is open, and follow the control
// panel's state where it matters.

#include <QObject>

#include <QHash>

namespace document {
class DocumentManager;
}
class QAction;

namespace shell {

class MainWindow;

class DocumentCommands : public QObject {
    Q_OBJECT
public:
    enum CommandId : int {
        ID_FILE_CLOSE = 57602,
        ID_FILE_SAVE_AS = 57604,
        ID_CHART_IMPORT = 32773,
        ID_UPLOAD_PROFILE = 32774,
        ID_EXPORT_CSV = 32780,
        ID_EXPORT_IMAGE = 32781,
        ID_ZOOM_IN = 32782,
        ID_ZOOM_OUT = 32783,
        ID_FULL_SCREEN = 32784,
    };

    DocumentCommands(MainWindow* frame, document::DocumentManager* documents);

    QAction* Action(int id) const { return actions_.value(id); }
    // Shows and enables the commands for the active document and the panel state.
    void Update();

private:
    QAction* Make(int id, const QString& text, const QString& tip);
    void Zoom(int delta);

    MainWindow* frame_;
    document::DocumentManager* documents_;
    QHash<int, QAction*> actions_;
    QAction* save_ = nullptr;  // the frame's own Save
};

}  // namespace shell
