// The scripted raw server: each mode and a custom script, seen from a plain
// TCP client.
#include "rawserver.h"

#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    return ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

struct Reading
{
    QByteArray bytes;
    bool closed = false;
    int error = 0;
};

// Reads until the server closes, or until it stays quiet for quietMs.
Reading readUntilQuiet(int fd, int quietMs)
{
    Reading r;
    pollfd p {fd, POLLIN, 0};
    while (!r.closed && ::poll(&p, 1, quietMs) > 0) {
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            r.bytes.append(buf, n);
        } else {
            r.closed = true;
            r.error = n < 0 ? errno : 0;
        }
    }
    return r;
}

} // namespace

class RawServerTest : public QObject
{
    Q_OBJECT

private slots:
    void rawServerPlaysItsScript_data();
    void rawServerPlaysItsScript();
    void customScriptWaitsPausesAndResets();
};

void RawServerTest::rawServerPlaysItsScript_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<bool>("closes");
    const QByteArray version("RFB 003.008\n");
    QTest::newRow("silent") << int(RawServer::Silent) << QByteArray() << false;
    QTest::newRow("stall after version") << int(RawServer::StallAfterVersion) << version << false;
    QTest::newRow("stall after security")
        << int(RawServer::StallAfterSecurity) << version + QByteArray("\x01\x02", 2) << false;
    QTest::newRow("close after accept") << int(RawServer::CloseAfterAccept) << QByteArray() << true;
}

void RawServerTest::rawServerPlaysItsScript()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, served);
    QFETCH(bool, closes);
    RawServer server(static_cast<RawServer::Mode>(mode));
    QVERIFY(server.start());

    const int fd = connectTo(server.port());
    QVERIFY(fd >= 0);
    const QByteArray answer = QByteArray("RFB 003.008\n") + '\x02';
    QVERIFY(sendAll(fd, answer));
    const Reading r = readUntilQuiet(fd, 300);
    ::close(fd);
    QCOMPARE(r.bytes, served);
    QCOMPARE(r.closed, closes);
    QCOMPARE(server.acceptedCount(), 1);
    if (!closes)
        QCOMPARE(server.received().value(0), answer);
}

void RawServerTest::customScriptWaitsPausesAndResets()
{
    using Step = RawServer::Step;
    RawServer server({Step::send("hello"), Step::expect(3), Step::pause(150), Step::send("late"),
                      Step::reset()});
    QVERIFY(server.start());
    const int fd = connectTo(server.port());
    QVERIFY(fd >= 0);

    // Nothing past the first chunk until the client has sent three bytes.
    QCOMPARE(readUntilQuiet(fd, 200).bytes, QByteArray("hello"));
    QVERIFY(sendAll(fd, "ab"));
    QVERIFY(readUntilQuiet(fd, 200).bytes.isEmpty());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(sendAll(fd, "c"));

    const Reading r = readUntilQuiet(fd, 2000);
    QVERIFY2(timer.elapsed() >= 140, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(r.bytes, QByteArray("late"));
    QVERIFY(r.closed);
    QCOMPARE(r.error, ECONNRESET);
    ::close(fd);
    QCOMPARE(server.received().value(0), QByteArray("abc"));

    // A second connection plays the script from the start.
    const int again = connectTo(server.port());
    QCOMPARE(readUntilQuiet(again, 200).bytes, QByteArray("hello"));
    ::close(again);
    QCOMPARE(server.acceptedCount(), 2);
}

QTEST_GUILESS_MAIN(RawServerTest)
#include "rawserver_test.moc"
