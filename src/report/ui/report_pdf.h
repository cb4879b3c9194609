#pragma once
// The bake report as a PDF a quality department can file: the record's name,
// controller and date, the chart as drawn, a small plot of the 10-s rate of
// rise, the metrics with their limits and the verdict with its reasons.

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <span>
#include <string>

#include "chart/chart_point.h"
#include "report/report_format.h"

namespace report::ui {

struct ReportPdfPage {
    QString record;                            // the record's name
    QString controller;                        // what is known of the controller that baked it
    QString date;                              // when the bake began
    QImage chart;                              // the record's charts as drawn
    std::span<const chart::ChartPoint> curve;  // the judged chart's points, for the rate plot
    const report::Report* report = nullptr;
};

// Writes one A4 page. False with `error` set when the file cannot be written.
bool WriteReportPdf(const QString& path, const ReportPdfPage& page, QString& error);

// Draws the 10-s rate of rise of `curve` into `area` (axes, zero line, curve):
// shared by the PDF and the report pane.
void DrawRateOfRise(QPainter& painter, const QRectF& area,
                    std::span<const chart::ChartPoint> curve);

}  // namespace report::ui
