// Watches the near side of bench/link_bench.py: the X server (its DISPLAY)
// on which one viewer at a time shows the far desktop. Commands on stdin,
// one answer line each:
//
//   wait MS        -> "FOUND ms" | "TIMEOUT": polls the screen until the
//                     target square (bench_linkdesk target) shows, timed
//                     from the command; remembers where it is.
//   count SECONDS  -> "FRAMES n damages": pictures the viewers put on the
//                     screen (XDamage on the root window; damage less than
//                     a frame time apart is one picture).
//   keys N GAP_MS  -> "KEYS ms ms ...": N presses of the letter a through
//                     XTest into the viewer's window, each timed until the
//                     target's colour changes on the screen (-1: it did not
//                     within 3 s), GAP_MS apart.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include <poll.h>
#include <time.h>

namespace
{
// Damage this close together belongs to one picture: a viewer puts one
// update on the screen in several requests, well within a 60 Hz frame.
constexpr double burstGapMs = 8.0;
constexpr int targetSize = 64;

double nowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void sleepMs(double ms)
{
    timespec t = {time_t(ms / 1000), long(std::fmod(ms, 1000.0) * 1e6)};
    nanosleep(&t, nullptr);
}

// Which of the target's colours (0 magenta, 1 yellow, 2 cyan) a pixel is
// near; -1 for none.
int colourOf(unsigned long pixel)
{
    const int r = int(pixel >> 16 & 0xff), g = int(pixel >> 8 & 0xff), b = int(pixel & 0xff);
    const auto high = [](int v) { return v > 170; };
    const auto low = [](int v) { return v < 85; };
    if (high(r) && low(g) && high(b))
        return 0;
    if (high(r) && high(g) && low(b))
        return 1;
    if (low(r) && high(g) && high(b))
        return 2;
    return -1;
}

struct Watcher
{
    Display *dpy = XOpenDisplay(nullptr);
    Window root = dpy ? DefaultRootWindow(dpy) : 0;
    int width = dpy ? DisplayWidth(dpy, DefaultScreen(dpy)) : 0;
    int height = dpy ? DisplayHeight(dpy, DefaultScreen(dpy)) : 0;
    int targetX = -1, targetY = -1; // the centre of the target on this screen

    // A square of one target colour, found on a grid coarser than it.
    bool find()
    {
        XImage *image = XGetImage(dpy, root, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
        if (!image)
            return false;
        constexpr int step = 8, inset = 12, span = targetSize - 2 * inset;
        bool found = false;
        for (int y = 0; y + targetSize < height && !found; y += step) {
            for (int x = 0; x + targetSize < width && !found; x += step) {
                const int c = colourOf(XGetPixel(image, x, y));
                if (c < 0)
                    continue;
                // Most of a grid over it, as a cursor may lie on top.
                int same = 0;
                for (int dy = 0; dy <= span; dy += span / 4)
                    for (int dx = 0; dx <= span; dx += span / 4)
                        same += colourOf(XGetPixel(image, x + dx, y + dy)) == c;
                found = same >= 20;
                if (found) {
                    targetX = x + span / 2;
                    targetY = y + span / 2;
                }
            }
        }
        XDestroyImage(image);
        return found;
    }

    int colourAtTarget()
    {
        XImage *image = XGetImage(dpy, root, targetX, targetY, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return -1;
        const int c = colourOf(XGetPixel(image, 0, 0));
        XDestroyImage(image);
        return c;
    }

    std::string wait(double ms)
    {
        const double start = nowMs();
        // The pointer out of the way, in the far corner.
        XTestFakeMotionEvent(dpy, -1, width - 1, height - 1, 0);
        XFlush(dpy);
        while (nowMs() - start < ms) {
            if (find())
                return "FOUND " + std::to_string(nowMs() - start);
            sleepMs(10);
        }
        return "TIMEOUT";
    }

    std::string count(double seconds)
    {
        int eventBase = 0, errorBase = 0;
        if (!XDamageQueryExtension(dpy, &eventBase, &errorBase))
            return "ERROR no XDamage";
        const Damage damage = XDamageCreate(dpy, root, XDamageReportNonEmpty);
        XSync(dpy, False);
        const double end = nowMs() + seconds * 1000;
        double last = -1e9;
        long frames = 0, damages = 0;
        for (double now = nowMs(); now < end; now = nowMs()) {
            while (XPending(dpy)) {
                XEvent e;
                XNextEvent(dpy, &e);
                if (e.type != eventBase + XDamageNotify)
                    continue;
                XDamageSubtract(dpy, damage, None, None);
                const double t = nowMs();
                ++damages;
                if (t - last > burstGapMs)
                    ++frames;
                last = t;
            }
            pollfd fd = {ConnectionNumber(dpy), POLLIN, 0};
            poll(&fd, 1, int(end - now) + 1);
        }
        XDamageDestroy(dpy, damage);
        XSync(dpy, False);
        return "FRAMES " + std::to_string(frames) + " " + std::to_string(damages);
    }

    std::string keys(int n, double gapMs)
    {
        if (targetX < 0 && !find())
            return "ERROR no target";
        // The pointer rests on the viewer's window, away from the target
        // (its cursor is part of the screen), and the window gets the focus
        // (there is no window manager to give it on a click).
        XTestFakeMotionEvent(dpy, -1, targetX - 300, targetY - 300, 0);
        XSync(dpy, False);
        sleepMs(300);
        Window rootReturn, child;
        int rx, ry, wx, wy;
        unsigned mask;
        XQueryPointer(dpy, root, &rootReturn, &child, &rx, &ry, &wx, &wy, &mask);
        if (child)
            XSetInputFocus(dpy, child, RevertToPointerRoot, CurrentTime);
        const KeyCode a = XKeysymToKeycode(dpy, XK_a);
        // The first fake key makes the X server switch keyboards, and a
        // viewer may reload its keymap then: one press not counted.
        XTestFakeKeyEvent(dpy, a, True, 0);
        XTestFakeKeyEvent(dpy, a, False, 0);
        XSync(dpy, False);
        sleepMs(1000);
        std::string out = "KEYS";
        for (int i = 0; i < n; ++i) {
            const int before = colourAtTarget();
            // Pressed and released at once: a key held while the picture
            // lags would repeat, and the repeats change the target too.
            XTestFakeKeyEvent(dpy, a, True, 0);
            const double sent = nowMs();
            XTestFakeKeyEvent(dpy, a, False, 0);
            XFlush(dpy);
            double latency = -1;
            while (nowMs() - sent < 3000) {
                const int c = colourAtTarget();
                if (c >= 0 && c != before) {
                    latency = nowMs() - sent;
                    break;
                }
                sleepMs(0.5);
            }
            out += " " + std::to_string(latency);
            sleepMs(gapMs);
        }
        return out;
    }
};
} // namespace

int main()
{
    Watcher w;
    if (!w.dpy) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    std::string command;
    double a = 0, b = 0;
    for (std::string line; std::getline(std::cin, line);) {
        char word[16] = {};
        const int n = std::sscanf(line.c_str(), "%15s %lf %lf", word, &a, &b);
        command = word;
        std::string answer = "ERROR unknown command";
        if (command == "wait" && n >= 2)
            answer = w.wait(a);
        else if (command == "count" && n >= 2)
            answer = w.count(a);
        else if (command == "keys" && n >= 3)
            answer = w.keys(int(a), b);
        std::cout << answer << std::endl;
    }
    return 0;
}
