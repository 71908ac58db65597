#include "framehandover.h"

#include <cstring>

std::unique_lock<std::mutex> FrameHandover::lockUnlessHeld() const
{
    if (holder.load(std::memory_order_relaxed) == std::this_thread::get_id())
        return std::unique_lock<std::mutex>();
    return std::unique_lock<std::mutex>(lock);
}

bool FrameHandover::resize(int width, int height)
{
    // The same size again (a reconnect): the last picture stays until the
    // new one is drawn over it.
    {
        const auto locked = lockUnlessHeld();
        if (!picture.isNull() && picture.size() == QSize(width, height))
            return true;
    }
    QImage fresh;
    if (width > 0 && height > 0) {
        fresh = allocate ? allocate(QSize(width, height)) : QImage(width, height, QImage::Format_RGB32);
        if (fresh.isNull())
            return false;
        fresh.fill(Qt::black);
    }
    const auto locked = lockUnlessHeld();
    // Swapped, so the old picture is freed with the lock released (unless
    // held for the decoder, which is resizing within an update).
    picture.swap(fresh);
    damage = picture.rect();
    return true;
}

uint8_t *FrameHandover::pixels()
{
    const auto locked = lockUnlessHeld();
    return picture.isNull() ? nullptr : picture.bits();
}

void FrameHandover::hold()
{
    lock.lock();
    holder.store(std::this_thread::get_id(), std::memory_order_relaxed);
}

void FrameHandover::letGo()
{
    holder.store(std::thread::id(), std::memory_order_relaxed);
    lock.unlock();
}

bool FrameHandover::publish(const uint8_t *pixels, const uint32_t *palette, const std::vector<QRect> &rects)
{
    const auto locked = lockUnlessHeld();
    const size_t width = size_t(picture.width());
    const size_t depth = palette ? 1 : 4;
    // bits() once, not per row: the picture is never shared, so it never
    // detaches, but each call would check.
    uchar *bits = picture.isNull() || !pixels ? nullptr : picture.bits();
    const size_t stride = size_t(picture.bytesPerLine());
    for (const QRect &rect : rects) {
        // The library's rectangles may lie outside the picture.
        const QRect r = rect & picture.rect();
        if (r.isEmpty())
            continue;
        damage += r;
        for (int y = r.top(); pixels && y <= r.bottom(); ++y) {
            const uint8_t *from = pixels + (size_t(y) * width + size_t(r.left())) * depth;
            auto *to = reinterpret_cast<uint32_t *>(bits + size_t(y) * stride) + r.left();
            if (!palette) {
                std::memcpy(to, from, size_t(r.width()) * 4);
                continue;
            }
            for (int x = 0; x < r.width(); ++x)
                to[x] = palette[from[x]];
        }
    }
    const bool tell = !told;
    told = true;
    return tell;
}

QRegion FrameHandover::take(QSize *size)
{
    QRegion taken;
    const auto locked = lockUnlessHeld();
    taken.swap(damage);
    told = false;
    *size = picture.size();
    return taken;
}

QImage FrameHandover::copy(const QRect &area) const
{
    const auto locked = lockUnlessHeld();
    return area.isEmpty() ? picture.copy() : picture.copy(area);
}

void FrameHandover::rearm()
{
    const auto locked = lockUnlessHeld();
    damage = QRegion();
    told = false;
}
