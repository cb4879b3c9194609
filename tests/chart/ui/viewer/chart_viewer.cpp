// A window with one chart control showing a chart XML file, to try the
// control by hand: chart_viewer FILE.xml [more files...]
// (right button: pan and menus, wheel: zoom, Ctrl + left drag: zoom box,
// left drag: selection, middle button: tracking, double click: fit)

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <set>

#include "chart/ui/chart_widget.h"

namespace {

class BoxMessages : public platform::MessageBox {
public:
    void ShowMessage(const std::wstring& text, platform::MessageIcon icon) override {
        const QString t = QString::fromStdWString(text);
        if (icon == platform::MessageIcon::Error)
            QMessageBox::critical(nullptr, "Chart viewer", t);
        else
            QMessageBox::information(nullptr, "Chart viewer", t);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: chart_viewer FILE.xml [FILE.xml...]\n");
        return 2;
    }
    BoxMessages messages;
    chart::ui::ChartWidget chart(nullptr, &messages);
    chart.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    chart.resize(1000, 650);
    for (int i = 1; i < argc; ++i) {
        std::set<int> ids;
        std::wstring error;
        if (!chart.Set().LoadChartsXml(QString::fromLocal8Bit(argv[i]).toStdWString(), ids,
                                       error)) {
            std::fprintf(stderr, "%s: %s\n", argv[i],
                         QString::fromStdWString(error).toUtf8().constData());
            return 1;
        }
    }
    chart.show();
    chart.Set().SetLegendVisible(true);
    chart.ZoomToFit();
    return app.exec();
}
