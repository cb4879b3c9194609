#pragma once
// The "Bake report" pane: the metrics of the active document's chosen chart
// ("Temp Main" unless another is picked), each green or red against the
// chosen process window, the verdict and its reasons. While the pane shows,
// its guides are drawn on the document's chart; a reference record chosen
// with "Compare with record..." is drawn there too and adds its deviations.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "chart/chart_point.h"
#include "chart/ui/chart_widget.h"
#include "report/report_format.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace report::ui {

class ReportPane : public QWidget {
    Q_OBJECT
public:
    explicit ReportPane(QWidget* parent = nullptr);
    ~ReportPane() override;

    // The document to report on (null: none) and its name.
    void SetChart(chart::ui::ChartWidget* container, const QString& recordName);
    chart::ui::ChartWidget* Chart() const { return container_; }
    // The guides on the chart; off while the pane is hidden.
    void SetGuidesShown(bool on);
    bool GuidesShown() const { return guides_; }

    // A reference curve for the current document (aligned at x = 0, drawn
    // dashed grey, never saved); empty points remove it.
    void SetReference(std::vector<chart::ChartPoint> points, const QString& name);

    // Measures again (a live record grows; the pane does it every second).
    void Refresh();
    const std::optional<report::Report>& CurrentReport() const { return report_; }
    // The valued points of the chosen chart.
    std::vector<chart::ChartPoint> Curve() const;
    QString ChartName() const;
    QString RecordName() const { return recordName_; }

    QComboBox* WindowChooser() const { return windows_; }
    QComboBox* ChartChooser() const { return charts_; }
    QTableWidget* Table() const { return table_; }
    QLabel* VerdictLabel() const { return verdict_; }
    QLabel* ReasonsLabel() const { return reasons_; }
    // The windows offered again (after the dialog changed them).
    void ReloadWindows();
    void EditWindows();

signals:
    void reportChanged();

private:
    struct Reference {
        std::vector<chart::ChartPoint> points;
        QString name;
    };
    void ReloadCharts();
    void ApplyGuides();
    const Reference* CurrentReference() const;

    QPointer<chart::ui::ChartWidget> container_;
    QString recordName_;
    bool guides_ = true;
    std::map<const chart::ui::ChartWidget*, Reference> references_;
    std::set<const chart::ui::ChartWidget*> watched_;
    std::optional<report::Report> report_;
    QComboBox* windows_;
    QComboBox* charts_;
    QPushButton* editWindows_;
    QLabel* verdict_;
    QLabel* reasons_;
    QLabel* referenceLabel_;
    QTableWidget* table_;
    QTimer refresh_;
};

}  // namespace report::ui
