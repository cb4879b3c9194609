#pragma once
// The toolbar's images and the program's icon, drawn in code so that the
// program ships no image files and every screen gets them at its own pixel
// density.

#include <QIcon>

namespace widgets {

// The image of a standard command (new, open, save, cut, copy, paste, print,
// about); a null icon for other ids.
QIcon CommandIcon(int commandId);
// A heated plate under three heat waves.
QIcon ApplicationIcon();

}  // namespace widgets
