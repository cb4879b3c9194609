#pragma once
// What the chart document commands of the main window do: the File menu's
// Close, Save, Save As, "Import chart...", "Export CSV..." and "Export
// Image...", Print and Copy, the Devices menu's "Upload Bake Profile", and
// zooming. They act on the active document, appear while one is open, and
// follow the control panel's state where it matters.

#include <QObject>

namespace document {
class DocumentManager;
}

namespace shell {

class MainWindow;

class DocumentCommands : public QObject {
    Q_OBJECT
public:
    DocumentCommands(MainWindow* frame, document::DocumentManager* documents);

    // Shows and enables the commands for the active document and the panel state.
    void Update();

private:
    void Zoom(int delta);
    void Print();
    void Copy();

    MainWindow* frame_;
    document::DocumentManager* documents_;
};

}  // namespace shell
