// The port rule, the recognition of the library's failure texts and the
// clipboard encodings on the wire.
#include "librarytext.h"
#include "vncclientthread.h"

#include <QTest>

class LibraryTextTest : public QObject
{
    Q_OBJECT

private slots:
    void portRule_data()
    {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("port");
        QTest::newRow("zero is the first display") << 0 << 5900;
        QTest::newRow("negative, as a URL without port") << -1 << 5900;
        QTest::newRow("display 1") << 1 << 5901;
        QTest::newRow("display 99") << 99 << 5999;
        QTest::newRow("100 is a port") << 100 << 100;
        QTest::newRow("5900 stays") << 5900 << 5900;
        QTest::newRow("high port") << 65535 << 65535;
    }
    void portRule()
    {
        QFETCH(int, given);
        QFETCH(int, port);
        QCOMPARE(VncClientThread::normalisedPort(given), port);
    }

    void recognition_data()
    {
        const QString notFound = "Server not found.";
        const QString authFailed = "VNC authentication failed.";
        const QString tooMany = "VNC authentication failed because of too many authentication tries.";
        const QString closed = "VNC server closed connection.";
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("unresolvable host") << "Couldn't convert 'nowhere' to host address" << notFound;
        QTest::newRow("refused") << "Unable to connect to VNC server" << notFound;
        QTest::newRow("no trailing blank after convert") << "Couldn't convert" << QString();
        QTest::newRow("plain auth failure") << "VNC connection failed: Authentication failed" << authFailed;
        QTest::newRow("TigerVNC wrong password") << "VNC connection failed: Authentication failure" << authFailed;
        QTest::newRow("libvncserver wrong password") << "VNC connection failed: password check failed!"
                                                     << authFailed;
        QTest::newRow("too many tries beats plain failure")
            << "VNC connection failed: Authentication failed, too many tries" << tooMany;
        QTest::newRow("too many failures") << "VNC connection failed: Too many authentication failures" << tooMany;
        QTest::newRow("TigerVNC blacklist") << "VNC connection failed: Too many security failures" << tooMany;
        QTest::newRow("closed") << "VNC server closed connection" << closed;
        QTest::newRow("another case matches nothing") << "vnc server closed connection" << QString();
        QTest::newRow("compatibility marker") << "VNC server supports protocol version 3.889 (viewer 3.8)"
                                              << "INTERNAL:APPLE_VNC_COMPATIBILTY";
        QTest::newRow("ordinary version line") << "VNC server supports protocol version 3.8 (viewer 3.8)"
                                               << QString();
        QTest::newRow("rectangle outside the desktop") << "Rect too large: 10x10 at (60, 0)"
                                                       << "The VNC server sent an image that lies outside its screen.";
        QTest::newRow("last rule wins") << "Unable to connect to VNC server: VNC server closed connection" << closed;
        QTest::newRow("unrelated") << "Connected to VNC server, using protocol version 3.8" << QString();
    }
    void recognition()
    {
        QFETCH(QString, line);
        QFETCH(QString, message);
        const QString result = LibraryText::recognise(line);
        QCOMPARE(result, message);
        QCOMPARE(result.isNull(), message.isNull());
    }

    void cutTextFromServer_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QByteArray("abc") << "abc";
        QTest::newRow("utf-8 multibyte") << QByteArray("gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80")
                                         << QString::fromUtf8("grüß € 😀");
        QTest::newRow("latin-1 from a protocol-true server") << QByteArray("caf\xe9 \xe0 \xb5") << "café à µ";
        QTest::newRow("truncated utf-8 sequence is latin-1") << QByteArray("\xc3") << QString(QChar(0xc3));
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void cutTextFromServer()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(LibraryText::decodeCutText(bytes.constData(), int(bytes.size())), text);
    }

    void cutTextToServer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << "abc" << QByteArray("abc");
        QTest::newRow("latin-1 letters stay one byte") << "café" << QByteArray("caf\xe9");
        QTest::newRow("latin-1 accents and signs") << QString::fromUtf8("àéîõü ÿ ß ¿ µ ©")
                                                   << QByteArray("\xe0\xe9\xee\xf5\xfc \xff \xdf \xbf \xb5 \xa9");
        QTest::newRow("cyrillic, one ? each") << QString::fromUtf8("Привет") << QByteArray("??????");
        QTest::newRow("beyond latin-1 next to latin-1") << QString::fromUtf8("€5 café") << QByteArray("?5 caf\xe9");
        QTest::newRow("emoji, a surrogate pair, is one ?") << QString::fromUtf8("a😀b") << QByteArray("a?b");
        QTest::newRow("two emoji in a row") << QString::fromUtf8("😀😀") << QByteArray("??");
        QTest::newRow("lone high surrogate") << QString(QChar(0xd83d)) + "x" << QByteArray("?x");
        QTest::newRow("lone low surrogate") << "x" + QString(QChar(0xde00)) << QByteArray("x?");
        QTest::newRow("stops at U+0000") << QString("ab") + QChar(0) + "cd" << QByteArray("ab");
        QTest::newRow("stops at U+0000 after an emoji") << QString::fromUtf8("😀") + QChar(0) + "cd"
                                                        << QByteArray("?");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void cutTextToServer()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(LibraryText::encodeCutText(text), bytes);
    }
};

QTEST_MAIN(LibraryTextTest)
#include "librarytext_test.moc"
