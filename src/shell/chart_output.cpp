#include "shell/chart_output.h"

#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <set>
#include <string>

#include "chart/chart_csv.h"
#include "chart/ui/chart_widget.h"

namespace shell {

namespace {

constexpr qreal kMaxPixelRatio = 3.0;

}  // namespace

QMimeData* ChartClipboardData(chart::ui::ChartWidget& chart) {
    std::set<int> ids;
    chart.Set().GetChartIds(ids);
    const std::string csv = chart::ChartsCsv(chart.Set(), ids);
    auto* data = new QMimeData;
    data->setImageData(chart.RenderFrame(1.0));
    data->setText(QString::fromStdString(csv));
    data->setData(QStringLiteral("text/csv"), QByteArray::fromStdString(csv));
    return data;
}

bool PrintChart(chart::ui::ChartWidget& chart, QPrinter& printer) {
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QSize shown = chart.size();
    if (shown.isEmpty() || page.isEmpty())
        return false;
    const qreal scale =
        std::min(qreal(page.width()) / shown.width(), qreal(page.height()) / shown.height());
    // Drawn at up to three times the screen's density rather than scaled up
    // from it, so that lines and text stay sharp on paper; the printer's
    // full density would take hundreds of megabytes for one page.
    const QImage frame = chart.RenderFrame(std::min(scale, kMaxPixelRatio));
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QSizeF target = QSizeF(shown) * scale;
    painter.drawImage(QRectF(QPointF(0, 0), target), frame);
    return painter.end();
}

}  // namespace shell
