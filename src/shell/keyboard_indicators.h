#pragma once

namespace shell {

// The state of the keyboard's lock keys, for the status bar's indicators.

struct KeyLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// False when the window system does not tell (no X11 display, e.g. offscreen).
bool QueryKeyLocks(KeyLocks* locks);

}  // namespace shell
