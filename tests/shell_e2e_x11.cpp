#include "shell_e2e_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/Xutil.h>

#include <QByteArray>

#include <cstdlib>

namespace {

QString windowTitle(Display *display, Window window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success && data) {
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(count));
    }
    if (data)
        XFree(data);
    return title;
}

qint64 windowPid(Display *display, Window window)
{
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    qint64 pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success && data && count == 1 && format == 32) {
        pid = qint64(*reinterpret_cast<unsigned long *>(data));
    }
    if (data)
        XFree(data);
    return pid;
}

QImage toImage(XImage *x, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int i = 0; i < w; ++i)
            line[i] = 0xff000000u | (XGetPixel(x, i, y) & 0xffffffu);
    }
    return image;
}

} // namespace

XConnection::XConnection(int displayNumber)
{
    display = XOpenDisplay(QByteArray(":" + QByteArray::number(displayNumber)).constData());
}

XConnection::~XConnection()
{
    if (!display)
        return;
    if (rootPixmap)
        XFreePixmap(display, rootPixmap);
    XCloseDisplay(display);
}

unsigned long XConnection::findWindow(qint64 pid, const QString &title) const
{
    Window root = 0, parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes)
            || attributes.map_state != IsViewable)
            continue;
        if (windowPid(display, children[i]) == pid && windowTitle(display, children[i]).endsWith(title))
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

QSize XConnection::windowSize(unsigned long window) const
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return QSize();
    return QSize(attributes.width, attributes.height);
}

QImage XConnection::grab(unsigned long window) const
{
    const QSize size = windowSize(window);
    if (size.isEmpty())
        return QImage();
    XImage *x = XGetImage(display, window, 0, 0, size.width(), size.height(), AllPlanes, ZPixmap);
    if (!x)
        return QImage();
    const QImage image = toImage(x, size.width(), size.height());
    XDestroyImage(x);
    return image;
}

QImage XConnection::grabRoot() const
{
    return grab(DefaultRootWindow(display));
}

QList<int> XConnection::pressedKeycodes() const
{
    char keys[32];
    XQueryKeymap(display, keys);
    QList<int> pressed;
    for (int code = 0; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8)))
            pressed.append(code);
    }
    return pressed;
}

bool XConnection::capsLocked() const
{
    XkbStateRec state;
    return XkbGetState(display, XkbUseCoreKbd, &state) == Success && (state.locked_mods & LockMask);
}

void XConnection::burst(const QString &items)
{
    for (const QChar c : items) {
        const unsigned key = c.isDigit() ? 0 : XKeysymToKeycode(display, c.unicode());
        for (const bool down : {true, false}) {
            if (key)
                XTestFakeKeyEvent(display, key, down, CurrentTime);
            else
                XTestFakeButtonEvent(display, unsigned(c.digitValue()), down, CurrentTime);
        }
    }
    XFlush(display);
}

void XConnection::setRootImage(const QImage &image)
{
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    const int depth = DefaultDepth(display, screen);
    if (rootPixmap)
        XFreePixmap(display, rootPixmap);
    rootPixmap = XCreatePixmap(display, root, image.width(), image.height(), depth);
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    XImage *x = XCreateImage(display, DefaultVisual(display, screen), depth, ZPixmap, 0, nullptr,
                             rgb.width(), rgb.height(), 32, 0);
    x->data = static_cast<char *>(malloc(size_t(x->bytes_per_line) * rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        for (int i = 0; i < rgb.width(); ++i)
            XPutPixel(x, i, y, rgb.pixel(i, y) & 0xffffffu);
    }
    const GC gc = XCreateGC(display, rootPixmap, 0, nullptr);
    XPutImage(display, rootPixmap, gc, x, 0, 0, 0, 0, rgb.width(), rgb.height());
    XFreeGC(display, gc);
    XDestroyImage(x); // frees the data too
    XSetWindowBackgroundPixmap(display, root, rootPixmap);
    XClearWindow(display, root);
    XSync(display, False);
}

void XConnection::requestClose(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}
