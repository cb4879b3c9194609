#include "chart/ui/chart_font.h"

#include <QFontDatabase>

namespace chart::ui {

QFont ChartFont() {
    static const QString family = QFontDatabase::hasFamily(QStringLiteral("Verdana"))
                                      ? QStringLiteral("Verdana")
                                      : QStringLiteral("DejaVu Sans");
    QFont font(family, 7, QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

}  // namespace chart::ui
