#include "widgets/dialog_units.h"

#include <QFontMetrics>

namespace widgets {

DialogUnits DialogUnits::ForFont(const QFont& font) {
    const QFontMetrics fm(font);
    // The classic average: the width of the 52 letters, per letter, rounded.
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits du;
    du.baseX = std::max(1, (letters / 26 + 1) / 2);
    du.baseY = std::max(1, fm.height());
    return du;
}

}  // namespace widgets
