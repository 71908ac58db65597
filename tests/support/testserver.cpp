// Threads and locks
// - Server thread: owns the rfbScreen, the pixels and every libvncserver
//   call. It sleeps in poll() on the client sockets and the waker (at most
//   kIdleTickMs), then runs rfbProcessEvents(screen, 0) and queued tasks.
//   It blocks only inside libvncserver's writes when a socketpair is full;
//   the relay drains those, and closing the relay ends them.
// - Relay thread (relay.cpp): accepts, copies bytes, parses client messages.
// - Callers: TaskQueue::call() runs their work on the server thread and waits.
// - recordMutex guards the message record only; nothing else is shared.
#include "testserver.h"

#include "relay.h"
#include "socketutil.h"
#include "taskqueue.h"

#include <rfb/rfb.h>

#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace vemotest;

namespace {

// Upper bound on how long the server thread sleeps with nothing to do.
constexpr int kIdleTickMs = 100;

// libvncserver's log is noise in test output; VEMO_TESTSERVER_LOG=1 keeps it.
// The switch is process-wide, so it is thrown once.
void quietLibraryLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (qEnvironmentVariableIsEmpty("VEMO_TESTSERVER_LOG"))
            rfbLogEnable(0);
    });
}

} // namespace

struct TestServer::Private
{
    Private(int w, int h, const QByteArray &pw)
        : width(w), height(h), password(pw.toStdString())
    {
    }

    bool initScreen();
    void serve(std::promise<bool> &ready);
    void waitForWork(int timeoutMs);
    void shutdownScreen();
    void takeClient(int fd);
    quint32 toServerPixel(quint32 rgb) const;
    quint32 fromServerPixel(quint32 pixel) const;
    std::vector<quint32> patternPixels(int w, int h) const;
    int countClients() const;
    void sendCutText(const QByteArray &bytes);
    void record(const QList<ClientMessage> &parsed);

    // Server thread only, once started.
    int width;
    int height;
    std::string password;
    char *passwordList[2] = {nullptr, nullptr};
    std::vector<quint32> pixels; // in the server's pixel format
    rfbScreenInfoPtr screen = nullptr;
    bool stopping = false;

    Waker waker;
    TaskQueue tasks {waker};
    std::thread thread;
    std::unique_ptr<Relay> relay;

    mutable std::mutex recordMutex;
    mutable std::condition_variable recordChanged;
    QList<ClientMessage> recorded;
};

bool TestServer::Private::initScreen()
{
    int argc = 1;
    char name[] = "vemo-testserver";
    char *argv[] = {name, nullptr};
    screen = rfbGetScreen(&argc, argv, width, height, 8, 3, 4);
    if (!screen)
        return false;
    // The relay accepts connections; libvncserver must not listen itself.
    screen->port = 0;
    screen->ipv6port = 0;
    // libvncserver would set SIGPIPE to SIG_IGN for the whole process and so
    // hide a viewer that dies on a write to a closed socket; our threads
    // block SIGPIPE instead.
    screen->ignoreSIGPIPE = FALSE;
    // Send updates as soon as they are due, so tests do not wait on timers.
    screen->deferUpdateTime = 0;
    screen->deferPtrUpdateTime = 0;
    screen->desktopName = "vemo test server";
    // By default libvncserver paints an arrow cursor into the pixels it sends
    // to clients that do not take cursor shapes; clients must see exactly
    // framebuffer().
    screen->cursor = nullptr;
    pixels = patternPixels(width, height);
    screen->frameBuffer = reinterpret_cast<char *>(pixels.data());
    if (!password.empty()) {
        passwordList[0] = password.data();
        screen->authPasswdData = passwordList;
        screen->passwordCheck = rfbCheckPasswordByList;
    }
    rfbInitServer(screen);
    return true;
}

void TestServer::Private::serve(std::promise<bool> &ready)
{
    blockSigPipeInThisThread();
    const bool ok = initScreen();
    tasks.open();
    ready.set_value(ok);
    bool busy = false;
    while (ok && !stopping) {
        waitForWork(busy ? 0 : kIdleTickMs);
        rfbProcessEvents(screen, 0);
        busy = tasks.runPending();
    }
    shutdownScreen();
    tasks.close();
}

// Sleeps until a client socket is readable or a task is queued.
void TestServer::Private::waitForWork(int timeoutMs)
{
    std::vector<pollfd> fds {{waker.fd(), POLLIN, 0}};
    rfbClientIteratorPtr it = rfbGetClientIterator(screen);
    while (rfbClientPtr cl = rfbClientIteratorNext(it)) {
        if (cl->sock != RFB_INVALID_SOCKET)
            fds.push_back({cl->sock, POLLIN, 0});
    }
    rfbReleaseClientIterator(it);
    ::poll(fds.data(), fds.size(), timeoutMs);
    if (fds[0].revents & POLLIN)
        waker.drain();
}

void TestServer::Private::shutdownScreen()
{
    if (!screen)
        return;
    rfbShutdownServer(screen, TRUE);
    rfbScreenCleanup(screen);
    screen = nullptr;
}

void TestServer::Private::takeClient(int fd)
{
    if (screen)
        rfbNewClient(screen, fd); // on failure it closes fd itself
    else
        ::close(fd);
}

quint32 TestServer::Private::toServerPixel(quint32 rgb) const
{
    const rfbPixelFormat &f = screen->serverFormat;
    return ((rgb >> 16) & 0xff) << f.redShift | ((rgb >> 8) & 0xff) << f.greenShift
        | (rgb & 0xff) << f.blueShift;
}

quint32 TestServer::Private::fromServerPixel(quint32 pixel) const
{
    const rfbPixelFormat &f = screen->serverFormat;
    return ((pixel >> f.redShift) & 0xff) << 16 | ((pixel >> f.greenShift) & 0xff) << 8
        | ((pixel >> f.blueShift) & 0xff);
}

std::vector<quint32> TestServer::Private::patternPixels(int w, int h) const
{
    std::vector<quint32> out(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            out[static_cast<size_t>(y) * w + x] = toServerPixel(patternPixel(x, y));
    }
    return out;
}

int TestServer::Private::countClients() const
{
    if (!screen)
        return 0;
    int n = 0;
    rfbClientIteratorPtr it = rfbGetClientIterator(screen);
    while (rfbClientPtr cl = rfbClientIteratorNext(it)) {
        if (cl->sock != RFB_INVALID_SOCKET)
            ++n;
    }
    rfbReleaseClientIterator(it);
    return n;
}

// rfbSendServerCutText writes to every client, even one still in the
// handshake, whose session it would corrupt; only clients past it get this.
void TestServer::Private::sendCutText(const QByteArray &bytes)
{
    QByteArray message(sz_rfbServerCutTextMsg, '\0');
    message[0] = char(rfbServerCutText);
    qToBigEndian<quint32>(quint32(bytes.size()), message.data() + 4);
    message += bytes;
    rfbClientIteratorPtr it = rfbGetClientIterator(screen);
    while (rfbClientPtr cl = rfbClientIteratorNext(it)) {
        if (cl->sock == RFB_INVALID_SOCKET || cl->state != rfbClientRec::RFB_NORMAL)
            continue;
        if (rfbWriteExact(cl, message.constData(), int(message.size())) < 0)
            rfbCloseClient(cl);
    }
    rfbReleaseClientIterator(it);
}

void TestServer::Private::record(const QList<ClientMessage> &parsed)
{
    std::lock_guard<std::mutex> lock(recordMutex);
    recorded += parsed;
    recordChanged.notify_all();
}

TestServer::TestServer(int width, int height, const QByteArray &password)
    : d(std::make_unique<Private>(width, height, password))
{
    quietLibraryLog();
}

TestServer::~TestServer()
{
    // Relay first: a libvncserver write blocked on a full socket then fails
    // instead of waiting for a client that no longer reads.
    if (d->relay)
        d->relay->stop();
    if (d->thread.joinable()) {
        d->tasks.call([this] { d->stopping = true; });
        d->thread.join();
    }
}

bool TestServer::start()
{
    if (d->thread.joinable())
        return false;
    std::promise<bool> ready;
    std::future<bool> started = ready.get_future();
    d->thread = std::thread([this, &ready] { d->serve(ready); });
    if (!started.get()) {
        d->thread.join();
        return false;
    }
    d->relay = std::make_unique<Relay>(
        !d->password.empty(),
        [this](int fd) { d->tasks.post([this, fd] { d->takeClient(fd); }); },
        [this](const QList<ClientMessage> &parsed) { d->record(parsed); });
    return d->relay->start();
}

quint16 TestServer::port() const
{
    return d->relay ? d->relay->port() : 0;
}

quint32 TestServer::patternPixel(int x, int y)
{
    // Red follows x and green follows y, so neighbours always differ; blue
    // hashes both, so a shift by a multiple of 256 is caught as well.
    quint32 h = quint32(x) * 0x9E3779B1u ^ quint32(y) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return quint32(x & 0xff) << 16 | quint32(y & 0xff) << 8 | (h & 0xff);
}

QImage TestServer::framebuffer() const
{
    QImage image;
    d->tasks.call([&] {
        if (!d->screen)
            return;
        image = QImage(d->width, d->height, QImage::Format_RGB32);
        for (int y = 0; y < d->height; ++y) {
            auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
            const quint32 *src = d->pixels.data() + static_cast<size_t>(y) * d->width;
            for (int x = 0; x < d->width; ++x)
                line[x] = 0xff000000u | d->fromServerPixel(src[x]);
        }
    });
    return image;
}

QSize TestServer::size() const
{
    QSize s;
    d->tasks.call([&] { s = QSize(d->width, d->height); });
    return s;
}

void TestServer::setCursor(const QImage &shape, const QPoint &hotSpot)
{
    d->tasks.call([&] {
        const int w = shape.width();
        const int h = shape.height();
        const int rowBytes = (w + 7) / 8;
        auto *cursor = static_cast<rfbCursorPtr>(calloc(1, sizeof(rfbCursor)));
        cursor->width = uint16_t(w);
        cursor->height = uint16_t(h);
        cursor->xhot = uint16_t(hotSpot.x());
        cursor->yhot = uint16_t(hotSpot.y());
        cursor->source = static_cast<unsigned char *>(calloc(size_t(rowBytes) * h, 1));
        cursor->mask = static_cast<unsigned char *>(calloc(size_t(rowBytes) * h, 1));
        cursor->richSource = static_cast<unsigned char *>(calloc(size_t(w) * h, 4));
        cursor->foreRed = cursor->foreGreen = cursor->foreBlue = 0xffff;
        cursor->cleanup = cursor->cleanupSource = cursor->cleanupMask = cursor->cleanupRichSource = TRUE;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QRgb c = shape.pixel(x, y);
                const quint32 pixel = d->toServerPixel(c & 0xffffff);
                memcpy(cursor->richSource + (size_t(y) * w + x) * 4, &pixel, 4);
                if (qAlpha(c))
                    cursor->mask[y * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
        }
        rfbSetCursor(d->screen, cursor);
    });
}

void TestServer::fillRect(const QRect &r, quint32 rgb)
{
    d->tasks.call([&] {
        const QRect area = r.intersected(QRect(0, 0, d->width, d->height));
        if (!d->screen || area.isEmpty())
            return;
        const quint32 pixel = d->toServerPixel(rgb);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            quint32 *row = d->pixels.data() + static_cast<size_t>(y) * d->width;
            std::fill(row + area.left(), row + area.right() + 1, pixel);
        }
        rfbMarkRectAsModified(d->screen, area.left(), area.top(), area.right() + 1,
                              area.bottom() + 1);
    });
}

void TestServer::paintPattern(const QRect &r, int shift)
{
    d->tasks.call([&] {
        const QRect area = r.intersected(QRect(0, 0, d->width, d->height));
        if (!d->screen || area.isEmpty())
            return;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                d->pixels[static_cast<size_t>(y) * d->width + x] = d->toServerPixel(patternPixel(x + shift, y));
        }
        rfbMarkRectAsModified(d->screen, area.left(), area.top(), area.right() + 1, area.bottom() + 1);
    });
}

void TestServer::copyRect(const QRect &from, const QPoint &to)
{
    d->tasks.call([&] {
        if (!d->screen)
            return;
        const QRect target(to, from.size());
        rfbDoCopyRect(d->screen, target.left(), target.top(), target.right() + 1, target.bottom() + 1,
                      to.x() - from.x(), to.y() - from.y());
    });
}

void TestServer::resize(int width, int height)
{
    d->tasks.call([&] {
        if (!d->screen)
            return;
        std::vector<quint32> fresh = d->patternPixels(width, height);
        rfbNewFramebuffer(d->screen, reinterpret_cast<char *>(fresh.data()), width, height, 8, 3, 4);
        d->pixels.swap(fresh);
        d->width = width;
        d->height = height;
    });
}

void TestServer::sendCutText(const QByteArray &bytes)
{
    d->tasks.call([&] {
        if (d->screen)
            d->sendCutText(bytes);
    });
}

void TestServer::dropConnections(bool reset)
{
    if (!d->relay)
        return;
    d->relay->dropAll(reset);
    waitForClientCount(0, 5000);
}

QList<ClientMessage> TestServer::messages() const
{
    // A deep copy: nothing implicitly shared may cross to the caller's
    // thread while the relay thread goes on appending.
    std::lock_guard<std::mutex> lock(d->recordMutex);
    QList<ClientMessage> copy;
    copy.reserve(d->recorded.size());
    for (const ClientMessage &m : d->recorded) {
        ClientMessage c = m;
        c.encodings = QList<qint32>(m.encodings.cbegin(), m.encodings.cend());
        c.text = QByteArray(m.text.constData(), m.text.size());
        copy.append(c);
    }
    return copy;
}

void TestServer::clearMessages()
{
    // Frees the storage too (clear() keeps the capacity), so tests that
    // measure memory do not count a record of their own load.
    std::lock_guard<std::mutex> lock(d->recordMutex);
    QList<ClientMessage>().swap(d->recorded);
}

bool TestServer::waitForMessages(const std::function<bool(const QList<ClientMessage> &)> &pred,
                                 int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->recordMutex);
    return d->recordChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return pred(d->recorded); });
}

int TestServer::connectionCount() const
{
    return d->relay ? d->relay->connectionCount() : 0;
}

int TestServer::clientCount() const
{
    int n = 0;
    d->tasks.call([&] { n = d->countClients(); });
    return n;
}

bool TestServer::waitForClientCount(int count, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (clientCount() != count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
