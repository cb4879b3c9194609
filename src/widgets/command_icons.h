#pragma once
// The toolbar's images and the program's icon, drawn in code so that the
// program ships no image files and every screen gets them at its own pixel
// density.

#include <QIcon>

namespace widgets {

// The standard commands that show an image on the toolbar.
enum class CommandImage { New, Open, Save, Copy, Print, About };

QIcon CommandIcon(CommandImage command);
// A heated plate under three heat waves.
QIcon ApplicationIcon();

}  // namespace widgets
