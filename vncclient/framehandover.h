#ifndef FRAMEHANDOVER_H
#define FRAMEHANDOVER_H

#include <QImage>
#include <QRegion>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// The picture shown, handed from the connection thread to the GUI thread
// without either waiting for the other's work: the connection thread
// copies what an update changed from the decoder's pixels into it and
// records the damage; the GUI thread takes the damage when told and paints
// straight from the picture. One short lock guards both sides; a
// std::mutex, so that ThreadSanitizer sees it.
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
    // Copies `rects` of the decoder's `pixels` (the picture's size, 32-bit
    // RGB, or with a `palette` 8-bit indexes into it) into the picture and
    // adds them to the damage. True when the GUI thread must be told: it
    // has taken everything told before.
    bool publish(const uint8_t *pixels, const uint32_t *palette, const std::vector<QRect> &rects);

    // GUI thread. The damage since the last take, and the picture's size;
    // the next publish tells again.
    QRegion take(QSize *size);
    // The picture, locked for as long as this lives: the decoder may wait
    // for it, so for painting and nothing slower.
    class Reading
    {
    public:
        explicit Reading(const FrameHandover &from) : locked(from.lock), picture(from.picture) {}

    private:
        std::lock_guard<std::mutex> locked;

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
    mutable std::mutex lock;
    QImage picture;
    QRegion damage;
    bool told = false; // a notification is on its way, not yet taken
};

#endif
