#pragma once
// Icons drawn by a function rather than read from image files. The drawing is
// made again for every size and device pixel ratio it is asked for, so an
// icon on a high-density screen has twice the pixels of its drawing rather
// than a blown-up low-density image.
//
// Thread contract: make and use these icons on the window thread only (they
// hand out pixmaps).

#include <QIcon>

#include <functional>

class QPainter;

namespace widgets {

// Draws the picture on a `grid` x `grid` square; the painter is scaled to the
// device pixels of the pixmap asked for.
using IconDrawing = std::function<void(QPainter&)>;

// An icon that paints `draw` at every requested size and device pixel ratio.
// The disabled look is the style's greyed version of the normal picture; the
// active and selected looks are the normal picture, untinted.
QIcon DrawnIcon(IconDrawing draw, int grid = 16);

}  // namespace widgets
