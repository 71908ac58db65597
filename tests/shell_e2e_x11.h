// Xlib helpers for the end-to-end test: a connection to one X server, the
// windows of a process, their pixels, and the window manager's close request.
#pragma once

#include <QImage>
#include <QList>
#include <QString>

typedef struct _XDisplay Display;

class XConnection
{
public:
    explicit XConnection(int displayNumber);
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

    bool isOpen() const { return display != nullptr; }

    // A mapped top-level window of the process whose title ends in 'title'
    // (the server's desktop name may lead); 0 when there is none (yet).
    unsigned long findWindow(qint64 pid, const QString &title) const;
    QSize windowSize(unsigned long window) const;
    // The window's pixels as the X server holds them, Format_RGB32.
    QImage grab(unsigned long window) const;
    QImage grabRoot() const;
    // The keycodes the X server holds down right now.
    QList<int> pressedKeycodes() const;
    bool capsLocked() const;
    // Letters typed and mouse buttons (digits) clicked where the pointer
    // is, sent in one write: the X server passes them on together.
    void burst(const QString &items);

    // Makes the root window show 'image' (until this connection closes).
    void setRootImage(const QImage &image);
    // What a window manager sends when the user closes a window; returns
    // once the X server has passed it on.
    void requestClose(unsigned long window);

private:
    Display *display = nullptr;
    unsigned long rootPixmap = 0;
};
