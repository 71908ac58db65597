// What vncclient/libraryinternals.h relies on in libvncclient 0.9.14: a
// message type peeked between messages is read again by the library, with
// the message's other bytes, whether it came from bytes already buffered
// or from a read of the socket.
#include "libraryinternals.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
int bells = 0;
QByteArray cut;
} // namespace

class LibraryInternalsTest : public QObject
{
    Q_OBJECT

private slots:
    void peekedTypeIsReadAgain_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("types");
        QTest::newRow("bells in one read") << QByteArray("\x02\x02\x02") << QByteArray("\x02\x02\x02");
        QTest::newRow("a bell, then cut text") << QByteArray("\x02\x03\0\0\0\0\0\0\x02hi", 11)
                                               << QByteArray("\x02\x03");
    }
    void peekedTypeIsReadAgain()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, types);
        int fds[2];
        QVERIFY(socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0);
        QCOMPARE(write(fds[1], stream.constData(), size_t(stream.size())), ssize_t(stream.size()));
        rfbClient *client = rfbGetClient(8, 3, 4);
        client->sock = fds[0];
        // A read past the stream fails within seconds instead of waiting.
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        client->readTimeout = 2;
        client->Bell = [](rfbClient *) { ++bells; };
        client->GotXCutText = [](rfbClient *, const char *text, int length) { cut = QByteArray(text, length); };
        bells = 0;
        cut.clear();
        for (char expected : types) {
            uint8_t type = 0;
            QVERIFY(LibraryInternals::peekMessageType(client, &type));
            QCOMPARE(type, uint8_t(expected));
            QVERIFY(HandleRFBServerMessage(client));
        }
        QCOMPARE(client->buffered, 0u);
        QCOMPARE(bells, int(types.count('\x02')));
        QCOMPARE(cut, QByteArray(types.contains('\x03') ? "hi" : ""));
        rfbClientCleanup(client);
        close(fds[1]);
    }
};

QTEST_GUILESS_MAIN(LibraryInternalsTest)
#include "libraryinternals_test.moc"
