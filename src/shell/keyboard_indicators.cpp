#include "shell/keyboard_indicators.h"

#include <QGuiApplication>

#if defined(CALVERO_HAVE_X11)
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace shell {

bool QueryKeyLocks(KeyLocks* locks) {
#if defined(CALVERO_HAVE_X11)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    // Indicators by name: their bit positions differ between keyboard maps.
    auto lit = [display](const char* name) {
        Bool on = False;
        const Atom atom = XInternAtom(display, name, True);
        if (atom == None)
            return false;
        if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr))
            return false;
        return on == True;
    };
    locks->caps = lit("Caps Lock");
    locks->num = lit("Num Lock");
    locks->scroll = lit("Scroll Lock");
    return true;
#else
    (void)locks;
    return false;
#endif
}

}  // namespace shell
