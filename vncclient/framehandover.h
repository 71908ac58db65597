#ifndef FRAMEHANDOVER_H
#define FRAMEHANDOVER_H

#include <QImage>
#include <QRegion>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The picture shown, handed from the connection thread to the GUI thread
// without either waiting for the other's work. With 32-bit pixels the
// decoder writes straight into the picture, holding it only while it
// decodes what has arrived (not while it waits for the network); with
// 8-bit pixels the connection thread converts what an update changed into
// it. Either way it records the damage; the GUI thread takes the damage
// when told and paints straight from the picture. One lock guards both
// sides; a std::mutex, so that ThreadSanitizer sees it.
class FrameHandover
{
public:
    // Before the connection thread starts: where pictures are made (a plain
    // 32-bit QImage of the size unless set), for a view that shows them
    // from memory of its own choosing.
    void setAllocator(std::function<QImage(QSize)> make) { allocate = std::move(make); }

    // Connection thread. A new desktop size: a black picture of that size,
    // all of it damaged (the same size keeps the picture). False when
    // there is not enough memory.
    bool resize(int width, int height);
    // Adds `rects` to the damage: decoded into the picture itself when
    // `pixels` is null, else copied from the decoder's `pixels` (the
    // picture's size, 32-bit RGB, or with a `palette` 8-bit indexes into
    // it). True when the GUI thread must be told: it has taken everything
    // told before.
    bool publish(const uint8_t *pixels, const uint32_t *palette, const std::vector<QRect> &rects);
    // The picture's pixels, for the decoder to write into while it holds
    // them: the GUI thread reads nothing meanwhile. Both calls above may be
    // made while holding.
    uint8_t *pixels();
    void hold();
    void letGo();

    // GUI thread. The damage since the last take, and the picture's size;
    // the next publish tells again.
    QRegion take(QSize *size);
    // The picture, locked for as long as this lives: the decoder may wait
    // for it, so for painting and nothing slower.
    class Reading
    {
    public:
        explicit Reading(const FrameHandover &from) : locked(from.lockUnlessHeld()), picture(from.picture) {}

    private:
        std::unique_lock<std::mutex> locked;

    public:
        const QImage &picture;
    };
    Reading read() const { return Reading(*this); }
    // A copy of `area` of the picture (all of it when empty).
    QImage copy(const QRect &area = QRect()) const;
    // A new connection: whatever it publishes first is told.
    void rearm();

private:
    std::function<QImage(QSize)> allocate;
    // Locked, unless the calling thread holds the picture already.
    std::unique_lock<std::mutex> lockUnlessHeld() const;

    mutable std::mutex lock;
    std::atomic<std::thread::id> holder{};
    QImage picture;
    QRegion damage;
    bool told = false; // a notification is on its way, not yet taken
};

#endif
