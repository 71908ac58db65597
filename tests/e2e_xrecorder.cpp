// The application the user types into on the VNC server's X display: a
// window over the whole screen that takes the input focus and reports each
// key and button event on standard output, one line each:
//   ready
//   press|release <keycode> <keysym, hex> <modifier state, hex>
//   button <number> <x> <y>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

int main()
{
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "e2e_xrecorder: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display, screen);
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | StructureNotifyMask;
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0,
                                        unsigned(DisplayWidth(display, screen)),
                                        unsigned(DisplayHeight(display, screen)), 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWBackPixel | CWEventMask,
                                        &attributes);
    XMapWindow(display, window);

    XEvent event;
    // Focus can only go to a viewable window.
    do {
        XNextEvent(display, &event);
    } while (event.type != MapNotify);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.type == KeyPress || event.type == KeyRelease) {
            // XLookupString applies Shift and Lock, as an application would.
            KeySym keysym = NoSymbol;
            char text[16];
            XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
            // The server maps keysyms it had no key for (those beyond
            // Latin-1) to spare keys as they come; the library's copy of the
            // mapping may not know them yet, the server's does.
            if (keysym == NoSymbol) {
                int perKeycode = 0;
                KeySym *mapped = XGetKeyboardMapping(display, KeyCode(event.xkey.keycode), 1, &perKeycode);
                if (mapped) {
                    const bool shifted = (event.xkey.state & ShiftMask) && perKeycode > 1 && mapped[1] != NoSymbol;
                    keysym = mapped[shifted ? 1 : 0];
                    XFree(mapped);
                }
            }
            std::printf("%s %u 0x%lx 0x%x\n", event.type == KeyPress ? "press" : "release",
                        event.xkey.keycode, keysym, event.xkey.state);
        } else if (event.type == ButtonPress) {
            std::printf("button %u %d %d\n", event.xbutton.button, event.xbutton.x, event.xbutton.y);
        } else {
            continue;
        }
        std::fflush(stdout);
    }
}
