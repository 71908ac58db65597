#include "x11surface.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace
{
constexpr uint8_t depth = 24;
// Rows of the staging picture: a few bands of a paint before the server
// must have read them.
constexpr int stagingRows = 256;

// Qt's connection to the X server, if there is one.
xcb_connection_t *qtConnection(int *screenNumber)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display())
        return nullptr;
    *screenNumber = DefaultScreen(x11->display());
    return x11->connection();
}

// Descriptors pass only over a local socket; sending one over TCP would
// break Qt's whole connection.
bool localSocket(xcb_connection_t *connection)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    return getsockname(xcb_get_file_descriptor(connection), reinterpret_cast<sockaddr *>(&address), &length) == 0
           && address.ss_family == AF_UNIX;
}

// Shared memory with descriptors: MIT-SHM 1.2.
bool sharedMemory(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_shm_id);
    if (!extension || !extension->present)
        return false;
    xcb_shm_query_version_reply_t *version =
        xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
    const bool fds = version && (version->major_version > 1 || version->minor_version >= 2);
    std::free(version);
    return fds;
}

// The screen's pixels are QImage::Format_RGB32: depth 24 in 32 bits,
// least significant byte first, red, green and blue from high to low.
const xcb_screen_t *rgb32Screen(xcb_connection_t *connection, int number)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return nullptr;
    bool format = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        format |= it.data->depth == depth && it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    if (!format)
        return nullptr;
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < number && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_screen_t *screen = screens.rem ? screens.data : nullptr;
    if (!screen || screen->root_depth != depth)
        return nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xff0000
                               && v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff
                           ? screen
                           : nullptr;
        }
    }
    return nullptr;
}
} // namespace

namespace
{
struct Mapped
{
    const uchar *address;
    size_t bytes;
    xcb_shm_seg_t id;
};
} // namespace

struct X11Surface::Shared
{
    xcb_connection_t *connection = nullptr;
    xcb_gcontext_t gc = 0;
    size_t maxRequestBytes = 0;
    // The memory shared with the server: where each segment lies.
    std::mutex lock;
    std::vector<Mapped> segments;
    // GUI thread: rows of a picture to compose into, used top to bottom.
    QImage staging;
    int stagingUsed = 0;
};

namespace
{
struct Segment
{
    std::shared_ptr<void> keep; // the surface's shared state
    xcb_connection_t *connection;
    std::mutex *lock;
    std::vector<Mapped> *segments;
    xcb_shm_seg_t id;
    void *address;
    size_t bytes;
};

void releaseSegment(void *info)
{
    auto *segment = static_cast<Segment *>(info);
    {
        std::lock_guard<std::mutex> locked(*segment->lock);
        auto &all = *segment->segments;
        all.erase(std::remove_if(all.begin(), all.end(), [&](const Mapped &m) { return m.id == segment->id; }),
                  all.end());
    }
    // After every put from it, in the connection's order.
    xcb_shm_detach(segment->connection, segment->id);
    xcb_flush(segment->connection);
    munmap(segment->address, segment->bytes);
    delete segment;
}
} // namespace

X11Surface::X11Surface(std::shared_ptr<Shared> state) : shared(std::move(state)) {}

X11Surface::~X11Surface()
{
    // Its segment holds the shared state.
    shared->staging = QImage();
    xcb_free_gc(shared->connection, shared->gc);
    xcb_flush(shared->connection);
}

std::shared_ptr<X11Surface> X11Surface::open()
{
    // Qt's own switch for setups where shared memory misbehaves.
    if (qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        return nullptr;
    int number = 0;
    xcb_connection_t *connection = qtConnection(&number);
    if (!connection || xcb_connection_has_error(connection) || !localSocket(connection) || !sharedMemory(connection))
        return nullptr;
    const xcb_screen_t *screen = rgb32Screen(connection, number);
    if (!screen)
        return nullptr;
    auto state = std::make_shared<Shared>();
    state->connection = connection;
    state->gc = xcb_generate_id(connection);
    const uint32_t values[] = {screen->black_pixel, 0};
    xcb_create_gc(connection, state->gc, screen->root, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
    state->maxRequestBytes = size_t(xcb_get_maximum_request_length(connection)) * 4;
    return std::shared_ptr<X11Surface>(new X11Surface(std::move(state)));
}

QImage X11Surface::allocate(QSize size) const
{
    const auto plain = [size] { return QImage(size, QImage::Format_RGB32); };
    // Shared-memory puts address 16-bit coordinates.
    if (size.isEmpty() || size.width() > 0xffff || size.height() > 0xffff)
        return plain();
    const size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    const int fd = memfd_create("vemo-picture", MFD_CLOEXEC);
    if (fd < 0)
        return plain();
    void *address = ftruncate(fd, off_t(bytes)) == 0
                        ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                        : MAP_FAILED;
    if (address == MAP_FAILED) {
        close(fd);
        return plain();
    }
    xcb_connection_t *connection = shared->connection;
    const xcb_shm_seg_t id = xcb_generate_id(connection);
    // xcb sends the descriptor and closes it.
    xcb_generic_error_t *error = xcb_request_check(connection, xcb_shm_attach_fd_checked(connection, id, fd, 1));
    if (error) {
        std::free(error);
        munmap(address, bytes);
        return plain();
    }
    auto *segment = new Segment{shared, connection, &shared->lock, &shared->segments, id, address, bytes};
    QImage picture(static_cast<uchar *>(address), size.width(), size.height(), size.width() * 4,
                   QImage::Format_RGB32, releaseSegment, segment);
    std::lock_guard<std::mutex> locked(shared->lock);
    shared->segments.push_back({picture.constBits(), bytes, id});
    return picture;
}

void X11Surface::put(unsigned window, const QImage &image, const QRect &from, QPoint to) const
{
    const QRect r = from & image.rect();
    if (r.isEmpty())
        return;
    xcb_connection_t *connection = shared->connection;
    // In shared memory: the whole of a picture made by allocate(), or rows
    // of the staging picture.
    const uchar *first = image.constBits();
    const size_t extent = size_t(image.bytesPerLine()) * size_t(image.height());
    xcb_shm_seg_t segment = 0;
    size_t offset = 0;
    {
        std::lock_guard<std::mutex> locked(shared->lock);
        for (const Mapped &m : shared->segments) {
            if (first >= m.address && first + extent <= m.address + m.bytes) {
                segment = m.id;
                offset = size_t(first - m.address);
            }
        }
    }
    if (segment && image.format() == QImage::Format_RGB32 && image.bytesPerLine() % 4 == 0) {
        xcb_shm_put_image(connection, window, shared->gc, uint16_t(image.bytesPerLine() / 4),
                          uint16_t(image.height()), uint16_t(r.x()), uint16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), int16_t(to.x()), int16_t(to.y()), depth, XCB_IMAGE_FORMAT_Z_PIXMAP,
                          0, segment, uint32_t(offset));
        return;
    }
    const QImage pixels = image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    // Through the socket in bands of at most 256 KiB (and one request
    // each): whole rows straight from the picture, else copied.
    const size_t rowBytes = size_t(r.width()) * 4;
    const size_t limit = std::min<size_t>(shared->maxRequestBytes - 64, 256 * 1024);
    const int bandRows = int(std::max<size_t>(1, limit / rowBytes));
    const bool wholeRows = r.x() == 0 && size_t(pixels.bytesPerLine()) == rowBytes;
    std::vector<uint8_t> band;
    for (int y = 0; y < r.height(); y += bandRows) {
        const int rows = std::min(bandRows, r.height() - y);
        const uint8_t *data = pixels.constScanLine(r.y() + y) + size_t(r.x()) * 4;
        if (!wholeRows) {
            band.resize(rowBytes * size_t(rows));
            for (int row = 0; row < rows; ++row)
                std::copy_n(pixels.constScanLine(r.y() + y + row) + size_t(r.x()) * 4, rowBytes,
                            band.data() + rowBytes * size_t(row));
            data = band.data();
        }
        xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, shared->gc, uint16_t(r.width()),
                      uint16_t(rows), int16_t(to.x()), int16_t(to.y() + y), 0, depth,
                      uint32_t(rowBytes * size_t(rows)), data);
    }
}

QImage X11Surface::stage(QSize size)
{
    if (size.isEmpty())
        return QImage();
    QImage &staging = shared->staging;
    const int rows = std::max(size.height(), stagingRows);
    if (staging.width() < size.width() || staging.height() < size.height()) {
        // Puts from the old rows go before its segment is let go.
        staging = allocate(QSize(std::max(size.width(), staging.width()), std::max(rows, staging.height())));
        shared->stagingUsed = 0;
        if (staging.isNull())
            return QImage();
    } else if (shared->stagingUsed + size.height() > staging.height()) {
        // Each row written again must have been read by the server first.
        std::free(xcb_get_input_focus_reply(shared->connection, xcb_get_input_focus(shared->connection), nullptr));
        shared->stagingUsed = 0;
    }
    uchar *rowsFree = staging.bits() + size_t(shared->stagingUsed) * size_t(staging.bytesPerLine());
    shared->stagingUsed += size.height();
    return QImage(rowsFree, size.width(), size.height(), staging.bytesPerLine(), QImage::Format_RGB32);
}

void X11Surface::fillBlack(unsigned window, const QRect &area) const
{
    if (area.isEmpty())
        return;
    const xcb_rectangle_t rect{int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                               uint16_t(area.height())};
    xcb_poly_fill_rectangle(shared->connection, window, shared->gc, 1, &rect);
}

void X11Surface::flush() const
{
    xcb_flush(shared->connection);
}
