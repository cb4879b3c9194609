#include "report/ui/report_pdf.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

#include "platform/replacing_file.h"
#include "platform/system_error_text.h"

namespace report::ui {

namespace {

const QColor kPass(0x1B, 0x7F, 0x2A);
const QColor kFail(0xC0, 0x10, 0x10);

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Rounds a positive span up to 1, 2 or 5 times a power of ten, for ticks.
double NiceStep(double span) {
    if (!(span > 0))
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(span)));
    const double f = span / p;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * p;
}

}  // namespace

void DrawRateOfRise(QPainter& painter, const QRectF& area,
                    std::span<const chart::ChartPoint> curve) {
    const std::vector<chart::ChartPoint> rates = report::RateOfRise(report::ValuedPoints(curve));
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(7);
    painter.setFont(font);
    const QFontMetricsF fm(font);
    const QRectF plot =
        area.adjusted(fm.horizontalAdvance(QStringLiteral("-00.0")) + 6, 4, -4, -fm.height() - 4);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 0));
    painter.drawRect(plot);
    if (rates.size() < 2) {
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("too short for a 10-s rate"));
        painter.restore();
        return;
    }
    double x0 = rates.front().x, x1 = rates.back().x, y0 = 0, y1 = 0;
    for (const auto& r : rates) {
        y0 = std::min(y0, r.y);
        y1 = std::max(y1, r.y);
    }
    if (x1 <= x0)
        x1 = x0 + 1;
    const double yStep = NiceStep((y1 - y0) / 4);
    y0 = std::floor(y0 / yStep) * yStep;
    y1 = std::max(std::ceil(y1 / yStep) * yStep, y0 + yStep);
    auto px = [&](double x) { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); };
    auto py = [&](double y) { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); };

    painter.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 0, Qt::DashLine));
    for (double y = y0; y <= y1 + yStep / 2; y += yStep) {
        painter.drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), py(y) - fm.height() / 2, plot.left() - area.left() - 3,
                                fm.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'g', 3));
        painter.setPen(QPen(QColor(0xB0, 0xB0, 0xB0), 0, Qt::DashLine));
    }
    const double xStep = NiceStep((x1 - x0) / 6);
    painter.setPen(Qt::black);
    for (double x = std::ceil(x0 / xStep) * xStep; x <= x1; x += xStep) {
        painter.drawText(QRectF(px(x) - 30, plot.bottom() + 2, 60, fm.height()), Qt::AlignCenter,
                         QString::number(x, 'g', 4));
    }
    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(QPointF(plot.left(), py(0)), QPointF(plot.right(), py(0)));

    QPainterPath path;
    path.moveTo(px(rates.front().x), py(rates.front().y));
    for (size_t i = 1; i < rates.size(); ++i) path.lineTo(px(rates[i].x), py(rates[i].y));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xFF, 0x00, 0x00), 1.2));
    painter.drawPath(path);
    painter.restore();
}

bool WriteReportPdf(const QString& path, const ReportPdfPage& page, QString& error) {
    if (!page.report) {
        error = QStringLiteral("no report");
        return false;
    }
    const report::Report& r = *page.report;
    // Drawn in memory first: the file is then written whole, with every
    // write checked, or not at all (an old report stays as it was).
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
    writer.setResolution(72);  // painter units are points
    writer.setTitle(QStringLiteral("Bake report: ") + page.record);
    writer.setCreator(QStringLiteral("Calvero"));
    QPainter p;
    if (!p.begin(&writer)) {
        error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    const QRectF paper = writer.pageLayout().paintRect(QPageLayout::Point);
    const double w = paper.width();
    double y = 0;

    // No ligatures: "fi" in a metric name must stay two letters for whoever
    // copies or searches the text.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPointSizeF(16);
    title.setBold(true);
    title.setStyleStrategy(QFont::PreferNoShaping);
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(9);
    body.setStyleStrategy(QFont::PreferNoShaping);
    QFont bold = body;
    bold.setBold(true);

    p.setFont(title);
    p.drawText(QRectF(0, y, w, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Bake report"));
    y += 26;
    p.setFont(body);
    const double line = QFontMetricsF(body).height() + 2;
    const QString windowName = r.window ? Q(r.window->name) : QStringLiteral("none");
    const QStringList head = {
        QStringLiteral("Record: ") + page.record,
        QStringLiteral("Controller: ") + page.controller,
        QStringLiteral("Date: ") + page.date,
        QStringLiteral("Chart: ") + Q(r.chart) + QStringLiteral("    Window: ") + windowName,
    };
    for (const QString& text : head) {
        p.drawText(QRectF(0, y, w, line), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += line;
    }
    y += 4;

    if (!page.chart.isNull()) {
        // At most a third of the page, so that the table and the reasons
        // for a failing bake stay on the same page.
        double h = w * page.chart.height() / std::max(1, page.chart.width());
        double cw = w;
        if (h > 230) {
            cw = w * 230 / h;
            h = 230;
        }
        p.drawImage(QRectF((w - cw) / 2, y, cw, h), page.chart);
        y += h + 6;
    }

    p.setFont(bold);
    p.drawText(QRectF(0, y, w, line), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Rate of rise over 10 s (\u00B0C/s) of ") + Q(r.chart));
    y += line;
    p.setFont(body);
    DrawRateOfRise(p, QRectF(0, y, w, 80), page.curve);
    y += 86;

    // The metrics table: name, value, limit, whether it holds.
    const double c1 = 0, c2 = w * 0.42, c3 = w * 0.60, c4 = w * 0.84;
    p.setFont(bold);
    p.drawText(QRectF(c1, y, c2, line), Qt::AlignVCenter, QStringLiteral("Metric"));
    p.drawText(QRectF(c2, y, c3 - c2 - 8, line), Qt::AlignVCenter | Qt::AlignRight,
               QStringLiteral("Value"));
    p.drawText(QRectF(c3, y, c4 - c3, line), Qt::AlignVCenter, QStringLiteral("Limit"));
    y += line;
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 0.5));
    p.drawLine(QPointF(0, y), QPointF(w, y));
    p.setFont(body);
    for (const report::Metric m : report::AllMetrics()) {
        const auto& v = r.metrics[m];
        const report::Limit limit = r.window ? (*r.window)[m] : report::Limit{};
        p.setPen(Qt::black);
        p.drawText(QRectF(c1, y, c2, line), Qt::AlignVCenter, Q(std::string(MetricName(m))));
        p.drawText(QRectF(c2, y, c3 - c2 - 8, line), Qt::AlignVCenter | Qt::AlignRight,
                   v ? Q(report::FormatValue(*v)) : QStringLiteral("-"));
        p.drawText(QRectF(c3, y, c4 - c3, line), Qt::AlignVCenter, Q(report::LimitText(limit)));
        if (limit.IsSet()) {
            const bool ok = report::Holds(v, limit);
            p.setPen(ok ? kPass : kFail);
            p.drawText(QRectF(c4, y, w - c4, line), Qt::AlignVCenter,
                       ok ? QStringLiteral("ok") : QStringLiteral("FAIL"));
        }
        y += line;
    }
    y += 6;

    p.setFont(title);
    if (!r.verdict) {
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y, w, 22), Qt::AlignVCenter,
                   QStringLiteral("Verdict: none (no process window)"));
        y += 24;
    } else {
        p.setPen(r.verdict->pass ? kPass : kFail);
        p.drawText(
            QRectF(0, y, w, 22), Qt::AlignVCenter,
            r.verdict->pass ? QStringLiteral("Verdict: PASS") : QStringLiteral("Verdict: FAIL"));
        y += 24;
        p.setFont(body);
        p.setPen(Qt::black);
        for (const report::Failure& f : r.verdict->failures) {
            if (y + line > paper.height()) {
                writer.newPage();
                y = 0;
            }
            p.drawText(QRectF(0, y, w, line), Qt::AlignVCenter,
                       QStringLiteral("\u2022 ") + Q(report::FailureText(f, *r.window)));
            y += line;
        }
    }
    if (!p.end()) {
        error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    const QByteArray& bytes = pdf.data();
    platform::ReplacingFile file;
    if (file.Open(QFile::encodeName(path).toStdString()) &&
        file.Write(bytes.constData(), size_t(bytes.size())) && file.Commit())
        return true;
    error = QStringLiteral("cannot write %1: %2")
                .arg(path, QString::fromStdString(platform::SystemErrorText(file.Error())));
    return false;
}

}  // namespace report::ui
