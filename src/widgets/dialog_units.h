#pragma once
// Dialog layouts are given in dialog units, which scale with the dialog
// font: one x unit is a quarter of the average character width, one y unit
// an eighth of the character height.

#include <QFont>
#include <QRect>
#include <QSize>

namespace widgets {

struct DialogUnits {
    int baseX = 4;  // average character width in pixels
    int baseY = 8;  // character height in pixels

    static DialogUnits ForFont(const QFont& font);

    int X(int units) const { return (units * baseX + 2) / 4; }
    int Y(int units) const { return (units * baseY + 4) / 8; }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }
};

}  // namespace widgets
