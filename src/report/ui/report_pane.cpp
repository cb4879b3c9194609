#include "report/ui/report_pane.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/text_conversion.h"
#include "report/ui/report_guides.h"
#include "report/ui/window_dialog.h"
#include "report/ui/window_store.h"

namespace report::ui {

namespace {

const QColor kPassFill(0xD8, 0xF0, 0xD8);
const QColor kFailFill(0xF8, 0xD0, 0xD0);
const QString kNoWindow = QStringLiteral("(no window)");

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

ReportPane::ReportPane(QWidget* parent) : QWidget(parent) {
    windows_ = new QComboBox(this);
    charts_ = new QComboBox(this);
    editWindows_ = new QPushButton(tr("Windows..."), this);
    verdict_ = new QLabel(this);
    QFont big = verdict_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    verdict_->setFont(big);
    reasons_ = new QLabel(this);
    reasons_->setWordWrap(true);
    reasons_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    referenceLabel_ = new QLabel(this);
    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels({tr("Metric"), tr("Value"), tr("Limit")});
    table_->verticalHeader()->hide();
    // Compact rows: the whole table should fit beside the Control pane.
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    auto* chartRow = new QHBoxLayout;
    chartRow->addWidget(new QLabel(tr("Chart:"), this));
    chartRow->addWidget(charts_, 1);
    auto* windowRow = new QHBoxLayout;
    windowRow->addWidget(new QLabel(tr("Window:"), this));
    windowRow->addWidget(windows_, 1);
    windowRow->addWidget(editWindows_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(chartRow);
    layout->addLayout(windowRow);
    layout->addWidget(verdict_);
    layout->addWidget(reasons_);
    layout->addWidget(referenceLabel_);
    layout->addWidget(table_, 1);

    ReloadWindows();
    connect(windows_, &QComboBox::currentTextChanged, this, [this](const QString& name) {
        SetChosenWindowName(name == kNoWindow ? QString() : name);
        Refresh();
    });
    connect(charts_, &QComboBox::currentTextChanged, this, [this] { Refresh(); });
    connect(editWindows_, &QPushButton::clicked, this, &ReportPane::EditWindows);
    refresh_.setInterval(1000);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        if (isVisible())
            Refresh();
    });
    refresh_.start();
    Refresh();
}

ReportPane::~ReportPane() {
    if (container_)
        container_->SetDecoration({});
}

void ReportPane::ReloadWindows() {
    const QSignalBlocker block(windows_);
    windows_->clear();
    windows_->addItem(kNoWindow);
    windows_->addItems(WindowNames());
    const QString chosen = ChosenWindowName();
    const int at = windows_->findText(chosen.isEmpty() ? kNoWindow : chosen);
    windows_->setCurrentIndex(at < 0 ? windows_->findText(QStringLiteral("pbfree")) : at);
}

void ReportPane::EditWindows() {
    WindowDialog dialog(windows_->currentText() == kNoWindow ? QString() : windows_->currentText(),
                        this);
    dialog.exec();
    ReloadWindows();
    Refresh();
}

void ReportPane::ReloadCharts() {
    const QString keep = charts_->currentText();
    const QSignalBlocker block(charts_);
    charts_->clear();
    if (!container_)
        return;
    for (const auto& [id, s] : container_->Set().Charts()) {
        if (s->HasPoints())
            charts_->addItem(QString::fromStdWString(s->name));
    }
    int at = charts_->findText(keep);
    if (at < 0)
        at = charts_->findText(QStringLiteral("Temp Main"));
    charts_->setCurrentIndex(std::max(at, 0));
}

void ReportPane::SetChart(chart::ui::ChartWidget* container, const QString& recordName) {
    if (container_ == container && recordName_ == recordName) {
        Refresh();
        return;
    }
    if (container_)
        container_->SetDecoration({});
    container_ = container;
    recordName_ = recordName;
    // A reference lives as long as its document's chart.
    if (container && watched_.insert(container).second) {
        connect(container, &QObject::destroyed, this, [this, container] {
            references_.erase(container);
            watched_.erase(container);
        });
    }
    {
        const QSignalBlocker block(charts_);
        charts_->clear();
    }
    ReloadCharts();
    Refresh();
}

void ReportPane::SetGuidesShown(bool on) {
    guides_ = on;
    ApplyGuides();
}

void ReportPane::SetReference(std::vector<chart::ChartPoint> points, const QString& name) {
    if (!container_)
        return;
    if (points.empty())
        references_.erase(container_);
    else
        references_[container_] = {report::ValuedPoints(points), name};
    Refresh();
}

const ReportPane::Reference* ReportPane::CurrentReference() const {
    const auto it = references_.find(container_.data());
    return it == references_.end() ? nullptr : &it->second;
}

QString ReportPane::ChartName() const {
    return charts_->currentText().isEmpty() ? QStringLiteral("Temp Main") : charts_->currentText();
}

std::vector<chart::ChartPoint> ReportPane::Curve() const {
    if (!container_)
        return {};
    const chart::ChartSeries* s = container_->Set().FindChartByName(ChartName().toStdWString());
    return s ? report::ValuedPoints(s->Points().ToVector()) : std::vector<chart::ChartPoint>{};
}

void ReportPane::ApplyGuides() {
    if (!container_)
        return;
    Guides g;
    g.show = guides_ && report_.has_value();
    if (report_) {
        g.temperatures =
            report_->window ? report_->window->temperatures : report::LeadFreeWindow().temperatures;
    }
    g.curve = Curve();
    if (const Reference* r = CurrentReference())
        g.reference = r->points;
    container_->SetDecoration(MakeGuides(std::move(g)));
}

void ReportPane::Refresh() {
    if (container_ && charts_->count() == 0)
        ReloadCharts();
    const chart::ChartSeries* series =
        container_ ? container_->Set().FindChartByName(ChartName().toStdWString()) : nullptr;
    if (!series) {
        report_.reset();
        verdict_->setText(container_ ? tr("No chart \"%1\" to judge").arg(ChartName())
                                     : tr("No document"));
        verdict_->setStyleSheet(QString());
        reasons_->clear();
        referenceLabel_->clear();
        table_->setRowCount(0);
        ApplyGuides();
        emit reportChanged();
        return;
    }
    const chart::ChartSeries* profile = container_->Set().FindChartByName(L"Profile");
    const Reference* reference = CurrentReference();
    // The report reads arrays; a record's points live in chunks.
    const std::vector<chart::ChartPoint> curve = series->Points().ToVector();
    const std::vector<chart::ChartPoint> profilePoints =
        profile ? profile->Points().ToVector() : std::vector<chart::ChartPoint>{};
    report_ = report::MakeReport(ChartName().toStdString(), curve,
                                 WindowByName(windows_->currentText()), profilePoints,
                                 reference ? std::span<const chart::ChartPoint>(reference->points)
                                           : std::span<const chart::ChartPoint>());
    const report::Report& r = *report_;

    table_->setRowCount(int(report::kMetricCount));
    int row = 0;
    for (const report::Metric m : report::AllMetrics()) {
        const auto& v = r.metrics[m];
        const report::Limit limit = r.window ? (*r.window)[m] : report::Limit{};
        auto* name = new QTableWidgetItem(Q(std::string(report::MetricName(m))));
        auto* value = new QTableWidgetItem(v ? Q(report::FormatValue(*v)) : QStringLiteral("-"));
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* lim = new QTableWidgetItem(Q(report::LimitText(limit)));
        if (limit.IsSet()) {
            const QColor fill = report::Holds(v, limit) ? kPassFill : kFailFill;
            for (QTableWidgetItem* item : {name, value, lim}) item->setBackground(fill);
        }
        table_->setItem(row, 0, name);
        table_->setItem(row, 1, value);
        table_->setItem(row, 2, lim);
        ++row;
    }
    if (!r.verdict) {
        verdict_->setText(tr("No verdict: no process window"));
        verdict_->setStyleSheet(QString());
        reasons_->clear();
        reasons_->hide();
    } else {
        verdict_->setText(r.verdict->pass ? tr("PASS (%1)").arg(Q(r.window->name))
                                          : tr("FAIL (%1)").arg(Q(r.window->name)));
        verdict_->setStyleSheet(r.verdict->pass ? QStringLiteral("color: #1b7f2a")
                                                : QStringLiteral("color: #c01010"));
        QStringList lines;
        for (const report::Failure& f : r.verdict->failures)
            lines << QStringLiteral("\u2022 ") + Q(report::FailureText(f, *r.window));
        reasons_->setText(lines.join(QLatin1Char('\n')));
        reasons_->setVisible(!lines.isEmpty());
    }
    referenceLabel_->setText(reference ? tr("Reference: %1 (dashed grey)").arg(reference->name)
                                       : QString());
    ApplyGuides();
    emit reportChanged();
}

}  // namespace report::ui
