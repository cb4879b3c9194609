#pragma once
// The window of a chart document: a child window of the main frame showing
// the document's charts in one chart control. It keeps the view: the home
// range (fixed for a running record, all points for a file or a finished
// bake), following the newest point until the operator moves the view. It
// carries the document's commands, asking the operator through the
// context's dialogs, and the question before a modified document closes.
// It owns its document: closing the window ends the document.
//
// Window thread only.

#include <QMdiSubWindow>

#include <functional>
#include <memory>
#include <string>

#include "document/chart_document.h"
#include "document/live_follow.h"

class QMenu;
namespace chart::ui {
class ChartWidget;
}

namespace document {

class ChartDocumentWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr int kContainerId = 1;

    explicit ChartDocumentWindow(std::unique_ptr<ChartDocument> document,
                                 QWidget* parent = nullptr);
    ~ChartDocumentWindow() override;

    ChartDocument* Document() const { return document_.get(); }
    chart::ui::ChartWidget* Container() const { return container_; }
    bool FollowsNewestPoint() const { return follow_.Following(); }
    // Shows the chart control's context menus (tests record them instead).
    using MenuRunner = std::function<int(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

    // File > Save (Save As for a document without a file), Save As.
    bool Save();
    bool SaveAs();
    void ImportChart();
    void ExportCsv();
    void ExportImage();
    // The control as drawn, as PNG; false with a text.
    bool ExportImage(const QString& path, std::wstring& error);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateTitle();
    // Asks where to export, suggesting the document's name with `extension`;
    // empty when cancelled.
    QString AskExportPath(const QString& extension, const QString& filter);
    document::ChartViewState ViewState() const;
    void ApplyHomeRange();
    void FollowNewestPoint();

    std::unique_ptr<ChartDocument> document_;
    chart::ui::ChartWidget* container_;  // shows document_'s set; deleted before it
    document::LiveFollow follow_;
    bool homePending_ = false;  // the home range waits for a plot with a size
    MenuRunner menuRunner_;
};

}  // namespace document
