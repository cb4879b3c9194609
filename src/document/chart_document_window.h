#pragma once
// The view of a chart document: a window filled by one chart control. A new
// document's view holds one chart per controller channel and, while its
// document is the live record, turns every gauge reading into one point per
// channel and the controller's profile report into the "Profile" chart; a
// view of an opened file holds the file's charts only. It also carries the
// document's chart commands: import, upload as bake profile, export.
//
// Window thread only.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

#include "bake/controller_packets.h"
#include "bake/profile_upload.h"
#include "document/channel_charts.h"
#include "document/live_follow.h"
#include "platform/message_box.h"

class QMenu;
namespace chart::ui {
class ChartWidget;
}

namespace document {

class ChartDocumentWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kContainerId = 1;

    ChartDocumentWindow(platform::MessageBox* messages, QWidget* parent = nullptr);
    ~ChartDocumentWindow() override;

    chart::ui::ChartWidget* Container() const { return container_; }

    // The ten channel charts, empty; false when the control refused one.
    bool CreateChannelCharts();
    const document::ChannelCharts& Channels() const { return channels_; }
    uint64_t BakeStartTime() const { return channels_.bakeStartTime; }
    void SetBakeStartTime(uint64_t ms) { channels_.bakeStartTime = ms; }

    // Formatters, the home range 0..260 s x 0..300 degrees and the legend.
    void InitialUpdate();
    // From now on the home range is the one that fits all points (a file
    // opened, a bake that ended), applied at once and at every resize until
    // the operator moves the view. Without points the fixed range stays.
    void FitHomeToData();

    // One gauge reading as one point per channel; the controller's report of
    // the running profile as the "Profile" chart.
    void AppendGaugeData(const bake::CONCC_GaugeData& gauge);
    void ShowProfile(const bake::CONCC_TempProfile& report);
    bool FollowsNewestPoint() const { return follow_.Following(); }
    // Shows the chart control's context menus (tests record them instead).
    using MenuRunner = std::function<int(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

    // The chart file's charts added to the view; false with the reader's text.
    bool LoadDocumentCharts(const QString& path, std::wstring& error);
    // All charts written to a chart file; false with the text to show
    // ("No charts to save!" or the writer's).
    bool SaveDocumentCharts(const QString& path, std::wstring& error) const;
    // "Import chart...": the charts of a chart XML file added; a failure is
    // shown, leaves the view as it was and returns false.
    bool ImportChart(const QString& path);
    // "Upload Bake Profile": the chart to send, chosen as the command does,
    // handed to `send` (the panel's). What becomes of it goes to `announce`
    // first (the log), before any box or link error: `sent` when the packet
    // goes to the panel's link, else `text` is the refusal that is shown.
    struct UploadOutcome {
        bool sent = false;
        std::wstring chartName;
        size_t pointCount = 0;
        std::wstring text;
    };
    void UploadBakeProfile(const bake::ProfileSender& send,
                           const std::function<void(const UploadOutcome&)>& announce = {});
    // The charts as CSV, the control as drawn as PNG; false with a text.
    bool ExportCsv(const QString& path, std::wstring& error) const;
    bool ExportImage(const QString& path, std::wstring& error);

signals:
    // Gauge points were added: the record has changed since it was saved.
    void recordChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    document::ChartViewState ViewState() const;
    void ApplyHomeRange();
    void FollowNewestPoint();

    platform::MessageBox* messages_;
    chart::ui::ChartWidget* container_;
    document::ChannelCharts channels_;
    document::LiveFollow follow_;
    bool homePending_ = false;  // the home range waits for a plot with a size
    bool homeFitsData_ = false;
    MenuRunner menuRunner_;
};

}  // namespace document
