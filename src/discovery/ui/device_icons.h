#pragma once
// The small images of the device selection, drawn in code: the row images
// (a green disc for a controller on line, a red one for a controller waiting
// for an address) and the header marks (black triangles).

#include <QPixmap>

namespace discovery::ui {

inline constexpr int IDI_SORT_DOWN = 313;       // black, pointing down
inline constexpr int IDI_SORT_UP = 314;         // black, pointing up
inline constexpr int IDI_DEVICE_ONLINE = 315;   // green disc
inline constexpr int IDI_DEVICE_WAIT_IP = 316;  // red disc

// A 16 x 16 image of one of the ids above; a null pixmap for another id.
QPixmap DeviceIcon(int id);

}  // namespace discovery::ui
