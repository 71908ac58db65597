// Coverage-guided fuzzing of everything a server can send: the bytes reach
// a real VncView's connection thread over a socket pair, and every update
// goes through the view's paint path (half the runs scaled).
//
// Input: byte 0 chooses the mode. Even: the bytes after it follow a valid
// handshake (no authentication, a small desktop), so the fuzzer explores
// server messages. Odd: they are the whole server side, handshake included.
#include "vncview.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct ServerBytesFuzzer
{
    static VncClientThread &threadOf(VncView *view) { return view->clientThread; }
};

namespace
{
QByteArray handshake()
{
    QByteArray b("RFB 003.008\n");
    b.append("\x01\x01", 2);          // one security type: None
    b.append(QByteArray(4, '\0'));    // SecurityResult OK
    b.append("\x00\x40\x00\x30", 4);  // 64 x 48
    // 32 bpp, depth 24, little endian, true colour, maxima 255, shifts 16 8 0
    b.append("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 16);
    b.append("\x00\x00\x00\x04" "fuzz", 8);
    return b;
}

// The server's side: sends the bytes, then closes its sending half, and
// reads what the client sends until it goes, as a server does. One that
// never read would leave the client waiting to write once the pair's buffer
// is full.
void serve(int fd, QByteArray bytes)
{
    qsizetype done = 0;
    bool sending = true;
    char sink[65536];
    for (;;) {
        if (sending && done == bytes.size()) {
            ::shutdown(fd, SHUT_WR);
            sending = false;
        }
        pollfd p = {fd, short(POLLIN | (sending ? POLLOUT : 0)), 0};
        if (poll(&p, 1, -1) < 0)
            return;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            if (::read(fd, sink, sizeof sink) <= 0)
                return;
        } else if (p.revents & POLLOUT) {
            const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += n;
        }
    }
}

QWidget *window = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 3;
    static char name[] = "server_bytes_fuzzer", url[] = "vnc://fuzz", quality[] = "2";
    static char *argv[] = {name, url, quality, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    new QApplication(argc, argv);
    window = new QWidget;
    window->resize(100, 80);
    window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const bool raw = data[0] & 1;
    QByteArray bytes = raw ? QByteArray() : handshake();
    bytes.append(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    // A password, so that authentication goes on into the server's bytes
    // instead of opening a dialog.
    auto *view = new VncView(window, QUrl("vnc://:secret@fuzz"));
    view->show();
    view->enableScaling(data[0] & 2);
    ServerBytesFuzzer::threadOf(view).useSocket(pair[0]);
    std::thread server(serve, pair[1], bytes);
    view->startConnecting();

    // The thread ends at the end of the bytes; its last updates still wait
    // for this thread, so keep handling events until it has.
    QElapsedTimer clock;
    clock.start();
    while (!ServerBytesFuzzer::threadOf(view).isFinished() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    delete view;
    server.join();
    close(pair[1]);
    return 0;
}
