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
        if (event.type == KeyPress || event.type == KeyRelease) {
            // XLookupString applies Shift and Lock, as an application would.
            KeySym keysym = NoSymbol;
            char text[16];
            XLookupString(&event.xkey, text, sizeof text, &keysym, nullptr);
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
