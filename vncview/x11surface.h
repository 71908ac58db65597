#ifndef X11SURFACE_H
#define X11SURFACE_H

#include <QImage>
#include <QRect>

#include <memory>

// Puts pictures straight into an X window, past Qt's backing store: the
// desktop's picture lives in memory the X server shares, so what an update
// changed goes to the screen without being copied into the backing store
// first, and the backing store's pages under the desktop are never
// touched. Only for an X server on this machine (MIT-SHM with descriptor
// passing, over a local socket) showing 32-bit pixels in QImage's RGB32
// order; open() gives nothing otherwise, and Qt paints as usual.
class X11Surface
{
public:
    // GUI thread.
    static std::shared_ptr<X11Surface> open();
    ~X11Surface();

    // Any thread. A black picture of `size` in shared memory, or, if the
    // server will not take it, in ordinary memory (put() then sends it
    // through the socket). Null when there is not enough memory.
    QImage allocate(QSize size) const;

    // GUI thread. Puts `from` of `image` at `to` in `window` (device
    // pixels): from shared memory if allocate() or stage() made it, else
    // through the socket. The server reads shared memory when it gets to the request,
    // so pixels written into it meanwhile may show early, never torn
    // beyond that.
    void put(unsigned window, const QImage &image, const QRect &from, QPoint to) const;
    // GUI thread. A picture of `size` to paint into and put, in shared
    // memory as long as allocate() gives it; valid until the next call.
    QImage stage(QSize size);
    // GUI thread. Fills `area` of `window` with black.
    void fillBlack(unsigned window, const QRect &area) const;
    // Sends what is queued: the pictures show now, not at Qt's next flush.
    void flush() const;

    X11Surface(const X11Surface &) = delete;
    X11Surface &operator=(const X11Surface &) = delete;

private:
    struct Shared;
    explicit X11Surface(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> shared;
};

#endif
