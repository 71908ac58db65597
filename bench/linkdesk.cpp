// Windows for the far side of bench/link_bench.py, on the X server the
// viewers show (its DISPLAY).
//
//   bench_linkdesk target X Y SIZE
//     A square at X,Y that takes the keyboard focus, magenta at first; each
//     key press turns it to the next of yellow, cyan and magenta. Colours
//     far apart and exact even in 8-bit BGR233, so the watcher can tell
//     them apart through any encoding.
//   bench_linkdesk pictures WIDTH HEIGHT PERIOD_MS
//     A full-screen window showing one photo-like picture after another,
//     a new one every PERIOD_MS.
// Both run until killed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <time.h>

namespace
{
const unsigned long cycle[] = {0xff00ff, 0xffff00, 0x00ffff};

Window overrideWindow(Display *dpy, int x, int y, int w, int h, long events)
{
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    attributes.event_mask = events;
    attributes.background_pixel = BlackPixel(dpy, DefaultScreen(dpy));
    return XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, unsigned(w), unsigned(h), 0, CopyFromParent,
                         InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask | CWBackPixel, &attributes);
}

int target(Display *dpy, int x, int y, int size)
{
    const Window w = overrideWindow(dpy, x, y, size, size, KeyPressMask | ExposureMask | StructureNotifyMask);
    GC gc = XCreateGC(dpy, w, 0, nullptr);
    XMapRaised(dpy, w);
    int colour = 0;
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == MapNotify)
            XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
        else if (e.type == KeyPress)
            colour = (colour + 1) % 3;
        else if (e.type != Expose)
            continue;
        XSetForeground(dpy, gc, cycle[colour]);
        XFillRectangle(dpy, w, gc, 0, 0, unsigned(size), unsigned(size));
        XFlush(dpy);
    }
}

// Smooth colour fields with fine texture, different for each n, in earthy
// tones far from the target's colours.
std::vector<uint32_t> picture(int w, int h, int n)
{
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    uint32_t noise = 0x9e3779b9u * uint32_t(n + 1);
    const double a = 0.004 + 0.001 * n, b = 0.007 - 0.0005 * n, phase = 0.9 * n;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 27) - 16;
            const double s = std::sin(a * x + phase) * std::cos(b * y - phase);
            const double t = std::sin(0.011 * (x + y) + phase * 2);
            const auto clamp = [](double v) { return uint32_t(std::fmin(255.0, std::fmax(0.0, v))); };
            const uint32_t r = clamp(140 + 60 * s + 20 * t + grain);
            const uint32_t g = clamp(110 + 50 * t + 25 * s + grain);
            const uint32_t bl = clamp(70 + 40 * s * t + grain);
            pixels[size_t(y) * size_t(w) + size_t(x)] = r << 16 | g << 8 | bl;
        }
    }
    return pixels;
}

int pictures(Display *dpy, int w, int h, int periodMs)
{
    const int screen = DefaultScreen(dpy);
    const Window win = overrideWindow(dpy, 0, 0, w, h, 0);
    GC gc = XCreateGC(dpy, win, 0, nullptr);
    std::vector<Pixmap> frames;
    for (int n = 0; n < 6; ++n) {
        std::vector<uint32_t> pixels = picture(w, h, n);
        XImage *image = XCreateImage(dpy, DefaultVisual(dpy, screen), 24, ZPixmap, 0,
                                     reinterpret_cast<char *>(pixels.data()), unsigned(w), unsigned(h), 32, 0);
        const Pixmap p = XCreatePixmap(dpy, win, unsigned(w), unsigned(h), 24);
        XPutImage(dpy, p, gc, image, 0, 0, 0, 0, unsigned(w), unsigned(h));
        image->data = nullptr; // the vector owns the pixels
        XDestroyImage(image);
        frames.push_back(p);
    }
    XMapWindow(dpy, win);
    // Below everything else, so the target stays visible.
    XLowerWindow(dpy, win);
    for (size_t n = 0;; n = (n + 1) % frames.size()) {
        XCopyArea(dpy, frames[n], win, gc, 0, 0, unsigned(w), unsigned(h), 0, 0);
        XSync(dpy, False);
        timespec pause = {periodMs / 1000, long(periodMs % 1000) * 1000000};
        nanosleep(&pause, nullptr);
    }
}
} // namespace

int main(int argc, char **argv)
{
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    if (argc == 5 && std::strcmp(argv[1], "target") == 0)
        return target(dpy, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    if (argc == 5 && std::strcmp(argv[1], "pictures") == 0)
        return pictures(dpy, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr, "usage: %s target X Y SIZE | pictures WIDTH HEIGHT PERIOD_MS\n", argv[0]);
    return 2;
}
