#pragma once
// A chart widget's charts taken out of the program: to the clipboard and to
// a printer.

class QMimeData;
class QPrinter;

namespace chart::ui {
class ChartWidget;
}

namespace shell {

// The charts as drawn (an image) and as CSV (plain text and text/csv), the
// same CSV as "Export CSV..." writes. The caller owns the result.
QMimeData* ChartClipboardData(chart::ui::ChartWidget& chart);

// Draws the charts as shown, scaled to fit the page and keeping their
// shape, on one page of `printer`; false when the printer cannot be drawn on.
bool PrintChart(chart::ui::ChartWidget& chart, QPrinter& printer);

}  // namespace shell
