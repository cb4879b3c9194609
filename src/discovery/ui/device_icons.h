#pragma once
// The small images of the device selection, drawn in code: the row images
// (a green disc for a controller on line, a red one for a controller waiting
// for an address) and the header marks (black triangles). Drawn at the pixel
// density of the screen they are shown on.

#include <QIcon>

namespace discovery::ui {

inline constexpr int IDI_SORT_DOWN = 313;       // black, pointing down
inline constexpr int IDI_SORT_UP = 314;         // black, pointing up
inline constexpr int IDI_DEVICE_ONLINE = 315;   // green disc
inline constexpr int IDI_DEVICE_WAIT_IP = 316;  // red disc

// The size, in logical pixels, the images are made for.
inline constexpr int kDeviceIconSize = 16;

// One of the ids above, drawn on a 16 x 16 grid at any size and pixel
// density; a null icon for another id.
QIcon DeviceIcon(int id);

}  // namespace discovery::ui
