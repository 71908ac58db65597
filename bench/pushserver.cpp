// A libvncserver server for one viewer on 127.0.0.1 that changes the
// framebuffer each time the viewer asks for an update, so the update rate
// it counts is set by the viewer (and by this server's encoder).
//
// Usage: bench_pushserver WIDTH HEIGHT MODE [raw]
//   MODE full: every pixel changes on each request (a shifted smooth image,
//              so that tight picks JPEG as it would for a photo or video);
//        full@N: the same, at most N changes a second, so that viewers of
//              different speeds get the same work at the same pace;
//        rect: a 64x64 square moves by 8 pixels on each request;
//        idle: nothing changes.
//   raw: answer with raw whatever encodings the viewer offers
//        (libvncserver otherwise takes the first one it supports).
//
// It prints "PORT n", accepts one connection, and then prints
// "P x y ns" for each pointer message and "K down keysym ns" for each key
// message (CLOCK_MONOTONIC, shared by every process here). Each "s" line on stdin is answered with
// "S updates requests bytes cpu_ns lag_median_us lag_p99_us": counters since
// the start, and the lag (update sent to the next request received) over
// the requests since the previous "s". It exits when the viewer leaves or
// stdin closes.
#include <rfb/rfb.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace
{
enum class Mode { Full, Rect, Idle };

constexpr int rectSide = 64;
constexpr int rectStep = 8;
// The full-screen image repeats after this many pixels of shift.
constexpr int shiftPeriod = 512;
constexpr int shiftStep = 7;

struct State
{
    Mode mode = Mode::Idle;
    bool forceRaw = false;
    int width = 0, height = 0;
    rfbScreenInfoPtr screen = nullptr;
    std::vector<uint32_t> wide;       // full mode: width + shiftPeriod columns
    std::vector<uint32_t> background; // rect mode
    std::vector<uint32_t> pixels;     // rect and idle modes
    int frame = 0;
    int rectX = 0, rectY = 0;
    long long paceNs = 0;   // full@N: the least time between two changes
    long long nextNs = 0;   // when the next change may come
    bool changeDue = false; // a request waits for its change

    std::atomic<long long> updates{0}, requests{0}, bytes{0};
    std::atomic<bool> clientGone{false}, stdinClosed{false};
    std::mutex lagLock;
    std::vector<long long> lagNs;
    long long lastSentNs = 0; // server thread only
    int lastStatBytes = 0;    // libvncserver's own counter is an int that wraps
};

State state;
std::mutex outLock;

long long monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void say(const std::string &line)
{
    std::lock_guard<std::mutex> hold(outLock);
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

// Smooth colour fields with a little texture: photo-like for tight's
// smoothness test, yet different in almost every pixel after a shift.
uint32_t photoPixel(int x, int y)
{
    const double fx = x / 97.0, fy = y / 61.0;
    const int r = int(127.5 + 127.0 * std::sin(fx + 0.7 * std::sin(fy)));
    const int g = int(127.5 + 127.0 * std::sin(0.8 * fy + 0.5 * std::cos(fx * 0.9)));
    const int b = int(127.5 + 127.0 * std::sin(0.6 * (fx + fy)));
    const int noise = int((unsigned(x * 7919 + y * 104729) >> 3) % 7) - 3;
    const auto clamp = [](int v) { return std::min(255, std::max(0, v)); };
    return uint32_t(clamp(r + noise)) | uint32_t(clamp(g + noise)) << 8 | uint32_t(clamp(b + noise)) << 16;
}

void moveRect()
{
    State &s = state;
    const int oldX = s.rectX, oldY = s.rectY;
    for (int y = oldY; y < oldY + rectSide; ++y)
        std::memcpy(&s.pixels[size_t(y) * s.width + oldX], &s.background[size_t(y) * s.width + oldX],
                    rectSide * 4);
    // A diagonal walk that bounces off the edges.
    ++s.frame;
    const int spanX = s.width - rectSide, spanY = s.height - rectSide;
    const int px = (s.frame * rectStep) % (2 * spanX), py = (s.frame * rectStep / 2) % (2 * spanY);
    s.rectX = px < spanX ? px : 2 * spanX - px;
    s.rectY = py < spanY ? py : 2 * spanY - py;
    const uint32_t colour = 0x00ffffffu & (0x3f80c0u + uint32_t(s.frame) * 0x10203u);
    for (int y = s.rectY; y < s.rectY + rectSide; ++y)
        std::fill_n(&s.pixels[size_t(y) * s.width + s.rectX], rectSide, colour);
    const int x1 = std::min(oldX, s.rectX), y1 = std::min(oldY, s.rectY);
    const int x2 = std::max(oldX, s.rectX) + rectSide, y2 = std::max(oldY, s.rectY) + rectSide;
    if (x2 - x1 <= 2 * rectSide && y2 - y1 <= 2 * rectSide) {
        rfbMarkRectAsModified(s.screen, x1, y1, x2, y2);
    } else {
        rfbMarkRectAsModified(s.screen, oldX, oldY, oldX + rectSide, oldY + rectSide);
        rfbMarkRectAsModified(s.screen, s.rectX, s.rectY, s.rectX + rectSide, s.rectY + rectSide);
    }
}

bool changeIfDue()
{
    State &s = state;
    const long long now = monotonicNs();
    if (!s.changeDue || now < s.nextNs)
        return false;
    s.changeDue = false;
    s.nextNs = std::max(s.nextNs + s.paceNs, now);
    ++s.frame;
    const int shift = (s.frame * shiftStep) % shiftPeriod;
    // The framebuffer is a window onto the wider image: no copying.
    s.screen->frameBuffer = reinterpret_cast<char *>(s.wide.data() + shift);
    rfbMarkRectAsModified(s.screen, 0, 0, s.width, s.height);
    return true;
}

void onRequest(rfbClientPtr cl, rfbFramebufferUpdateRequestMsg *)
{
    State &s = state;
    ++s.requests;
    if (s.lastSentNs) {
        std::lock_guard<std::mutex> hold(s.lagLock);
        s.lagNs.push_back(monotonicNs() - s.lastSentNs);
        s.lastSentNs = 0;
    }
    // SetEncodings has been handled by now, so this choice sticks.
    if (s.forceRaw)
        cl->preferredEncoding = rfbEncodingRaw;
    if (s.mode == Mode::Full) {
        s.changeDue = true;
        changeIfDue();
    } else if (s.mode == Mode::Rect) {
        moveRect();
    }
}

void onUpdateSent(rfbClientPtr cl, int)
{
    ++state.updates;
    const int now = rfbStatGetSentBytes(cl);
    state.bytes += (long long)(uint32_t(now) - uint32_t(state.lastStatBytes));
    state.lastStatBytes = now;
    state.lastSentNs = monotonicNs();
}

void onPointer(int, int x, int y, rfbClientPtr)
{
    say("P " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(monotonicNs()) + "\n");
}

void onKey(rfbBool down, rfbKeySym key, rfbClientPtr)
{
    say("K " + std::to_string(down ? 1 : 0) + " " + std::to_string(key) + " " + std::to_string(monotonicNs())
        + "\n");
}

enum rfbNewClientAction onNewClient(rfbClientPtr cl)
{
    cl->clientFramebufferUpdateRequestHook = onRequest;
    cl->clientGoneHook = [](rfbClientPtr) { state.clientGone = true; };
    return RFB_CLIENT_ACCEPT;
}

long long cpuNs()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    const auto ns = [](const timeval &tv) { return (long long)tv.tv_sec * 1000000000LL + tv.tv_usec * 1000LL; };
    return ns(ru.ru_utime) + ns(ru.ru_stime);
}

void answerStdin()
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (line[0] != 's')
            continue;
        std::vector<long long> lag;
        {
            std::lock_guard<std::mutex> hold(state.lagLock);
            lag.swap(state.lagNs);
        }
        std::sort(lag.begin(), lag.end());
        const auto at = [&](double q) {
            return lag.empty() ? 0.0 : lag[std::min(lag.size() - 1, size_t(q * double(lag.size())))] / 1000.0;
        };
        char out[200];
        std::snprintf(out, sizeof out, "S %lld %lld %lld %lld %.1f %.1f\n", state.updates.load(),
                      state.requests.load(), state.bytes.load(), cpuNs(), at(0.5), at(0.99));
        say(out);
    }
    state.stdinClosed = true;
}

int listenLoopback(int *port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), len) != 0 || listen(fd, 1) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return -1;
    *port = ntohs(addr.sin_port);
    return fd;
}
} // namespace

int main(int argc, char **argv)
{
    State &s = state;
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT full|full@N|rect|idle [raw]\n", argv[0]);
        return 2;
    }
    s.width = std::atoi(argv[1]);
    s.height = std::atoi(argv[2]);
    const std::string mode = argv[3];
    const bool paced = mode.rfind("full@", 0) == 0;
    s.mode = mode == "full" || paced ? Mode::Full : mode == "rect" ? Mode::Rect : Mode::Idle;
    if (paced) {
        const int rate = std::atoi(mode.c_str() + 5);
        if (rate <= 0) {
            std::fprintf(stderr, "full@N needs N > 0 changes a second\n");
            return 2;
        }
        s.paceNs = 1000000000LL / rate;
    }
    s.forceRaw = argc > 4 && std::strcmp(argv[4], "raw") == 0;
    if (s.width < 2 * rectSide || s.height < 2 * rectSide) {
        std::fprintf(stderr, "size too small\n");
        return 2;
    }

    const int wideWidth = s.width + shiftPeriod;
    s.wide.resize(size_t(wideWidth) * s.height);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < wideWidth; ++x)
            s.wide[size_t(y) * wideWidth + x] = photoPixel(x, y);
    s.background.resize(size_t(s.width) * s.height);
    for (int y = 0; y < s.height; ++y)
        std::copy_n(&s.wide[size_t(y) * wideWidth], s.width, &s.background[size_t(y) * s.width]);
    s.pixels = s.background;

    rfbLogEnable(0);
    int rfbArgc = 1;
    char name[] = "bench_pushserver";
    char *rfbArgv[] = {name, nullptr};
    s.screen = rfbGetScreen(&rfbArgc, rfbArgv, s.width, s.height, 8, 3, 4);
    if (!s.screen)
        return 1;
    // We accept the one connection ourselves: no listening by libvncserver.
    s.screen->port = 0;
    s.screen->ipv6port = 0;
    // Updates go out as soon as they are due; a defer timer would cap the rate.
    s.screen->deferUpdateTime = 0;
    s.screen->deferPtrUpdateTime = 0;
    // No painted cursor and no cursor shape updates: only our pixels travel.
    s.screen->cursor = nullptr;
    s.screen->desktopName = "vemo push bench";
    if (s.mode == Mode::Full) {
        s.screen->frameBuffer = reinterpret_cast<char *>(s.wide.data());
        s.screen->paddedWidthInBytes = wideWidth * 4;
    } else {
        s.screen->frameBuffer = reinterpret_cast<char *>(s.pixels.data());
    }
    s.screen->newClientHook = onNewClient;
    s.screen->displayFinishedHook = onUpdateSent;
    s.screen->ptrAddEvent = onPointer;
    s.screen->kbdAddEvent = onKey;
    rfbInitServer(s.screen);

    int port = 0;
    const int listenFd = listenLoopback(&port);
    if (listenFd < 0) {
        std::perror("listen");
        return 1;
    }
    say("PORT " + std::to_string(port) + "\n");
    std::thread(answerStdin).detach();
    const int fd = accept(listenFd, nullptr, nullptr);
    close(listenFd);
    if (fd < 0)
        return 1;
    rfbNewClient(s.screen, fd);
    // Blocks in select() until the viewer writes: no idle ticks of our own.
    while (!s.clientGone && !s.stdinClosed) {
        // A paced change waits here for its time, then goes out at once.
        long wait = 200000;
        if (changeIfDue())
            wait = 0;
        else if (s.changeDue)
            wait = long(std::max(0LL, s.nextNs - monotonicNs()) / 1000);
        rfbProcessEvents(s.screen, wait);
    }
    rfbShutdownServer(s.screen, TRUE);
    rfbScreenCleanup(s.screen);
    return 0;
}
