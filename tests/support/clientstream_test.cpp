// The client-stream parser on hand-made byte streams: every handshake shape,
// each message type, and streams cut at every byte.
#include "clientmessage.h"

#include <QTest>
#include <QtEndian>

namespace {

QByteArray be16(quint16 v)
{
    QByteArray b(2, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

const QByteArray v38("RFB 003.008\n");
const QByteArray v33("RFB 003.003\n");
const QByteArray authResponse(16, '\x5a');
const QByteArray clientInit = bytes({1});

QByteArray setEncodings(const QList<qint32> &encodings)
{
    QByteArray b = bytes({2, 0}) + be16(quint16(encodings.size()));
    for (qint32 e : encodings)
        b += be32(quint32(e));
    return b;
}

// One line per message, so expectations read as a table.
QString describe(const ClientMessage &m)
{
    switch (m.type) {
    case ClientMessage::SetPixelFormat:
        return QString("format %1/%2 be%3 tc%4 max %5,%6,%7 shift %8,%9,%10")
            .arg(m.bitsPerPixel).arg(m.depth).arg(m.bigEndian).arg(m.trueColour)
            .arg(m.redMax).arg(m.greenMax).arg(m.blueMax)
            .arg(m.redShift).arg(m.greenShift).arg(m.blueShift);
    case ClientMessage::SetEncodings: {
        QStringList list;
        for (qint32 e : m.encodings)
            list << QString::number(e);
        return "encodings " + list.join(',');
    }
    case ClientMessage::UpdateRequest:
        return QString("update %1 %2,%3 %4x%5").arg(m.incremental ? "incremental" : "full")
            .arg(m.area.x()).arg(m.area.y()).arg(m.area.width()).arg(m.area.height());
    case ClientMessage::Key:
        return QString("key %1 %2").arg(m.key, 0, 16).arg(m.down ? "down" : "up");
    case ClientMessage::Pointer:
        return QString("pointer %1,%2 buttons %3").arg(m.x).arg(m.y).arg(m.buttonMask);
    case ClientMessage::CutText:
        return "cut " + QString::fromLatin1(m.text.toHex());
    case ClientMessage::DesktopSize:
        return QString("desktop size %1x%2").arg(m.area.width()).arg(m.area.height());
    case ClientMessage::EnableContinuousUpdates:
        return QString("continuous %1 %2,%3 %4x%5").arg(m.enable).arg(m.area.x()).arg(m.area.y())
            .arg(m.area.width()).arg(m.area.height());
    case ClientMessage::Fence:
        return QString("fence %1 %2").arg(m.flags, 0, 16).arg(QString::fromLatin1(m.text.toHex()));
    case ClientMessage::Other:
        break;
    }
    return QString("other %1").arg(m.rawType);
}

QStringList parse(const QByteArray &stream, bool password, int chunk)
{
    ClientStreamParser parser(7, password);
    QList<ClientMessage> out;
    for (qsizetype at = 0; at < stream.size(); at += chunk)
        parser.feed(stream.constData() + at, size_t(qMin<qsizetype>(chunk, stream.size() - at)), &out);
    QStringList lines;
    for (const ClientMessage &m : out) {
        if (m.connection != 7)
            return {"wrong connection number"};
        lines << describe(m);
    }
    return lines;
}

} // namespace

class ClientStreamTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesWhatTheClientSent_data();
    void parsesWhatTheClientSent();
};

void ClientStreamTest::parsesWhatTheClientSent_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("password");
    QTest::addColumn<QStringList>("expected");

    const QByteArray pixelFormat = bytes({0, 0, 0, 0, 32, 24, 0, 1}) + be16(255) + be16(63) + be16(31)
        + bytes({16, 5, 0, 0, 0, 0});
    QTest::newRow("3.8 without auth")
        << v38 + bytes({1}) + clientInit + pixelFormat + setEncodings({16, 7, -256 + 4, -32 + 9, -223})
        << false
        << QStringList {"format 32/24 be0 tc1 max 255,63,31 shift 16,5,0", "encodings 16,7,-252,-23,-223"};
    QTest::newRow("3.8 with VNC auth")
        << v38 + bytes({2}) + authResponse + clientInit + bytes({4, 1, 0, 0}) + be32(0xff0d)
               + bytes({5, 0x85}) + be16(65535) + be16(2)
        << true << QStringList {"key ff0d down", "pointer 65535,2 buttons 133"};
    QTest::newRow("3.3 with password")
        << v33 + authResponse + clientInit + bytes({3, 1}) + be16(1) + be16(2) + be16(300) + be16(4)
        << true << QStringList {"update incremental 1,2 300x4"};
    QTest::newRow("3.3 without password")
        << v33 + clientInit + bytes({6, 0, 0, 0}) + be32(4) + bytes({'a', 0, 0xe9, 'c'})
               + bytes({4, 0, 0, 0}) + be32(0x61)
        << false << QStringList {"cut 6100e963", "key 61 up"};
    QTest::newRow("empty encodings and cut text")
        << v38 + bytes({1}) + clientInit + setEncodings({}) + bytes({6, 0, 0, 0}) + be32(0)
        << false << QStringList {"encodings ", "cut "};
    QTest::newRow("continuous updates and fences")
        << v38 + bytes({1}) + clientInit + bytes({150, 1}) + be16(0) + be16(2) + be16(640) + be16(480)
               + bytes({248, 0, 0, 0}) + be32(0x80000003) + bytes({2, 'a', 'b'}) + bytes({248, 0, 0, 0}) + be32(0)
               + bytes({0})
        << false << QStringList {"continuous 1 0,2 640x480", "fence 80000003 6162", "fence 0 "};
    QTest::newRow("unknown type ends parsing")
        << v38 + bytes({1}) + clientInit + bytes({4, 1, 0, 0}) + be32(0x62) + bytes({200, 0, 0, 0})
               + bytes({4, 1, 0, 0}) + be32(0x63)
        << false << QStringList {"key 62 down", "other 200"};
    QTest::newRow("desktop size with its screens")
        << v38 + bytes({1}) + clientInit + bytes({251, 0}) + be16(1024) + be16(768) + bytes({2, 0})
               + QByteArray(32, '\x01') + bytes({4, 1, 0, 0}) + be32(0x61)
        << false << QStringList {"desktop size 1024x768", "key 61 down"};
    QTest::newRow("absurd cut text length ends parsing")
        << v38 + bytes({1}) + clientInit + bytes({6, 0, 0, 0}) + be32(0x7fffffff) + QByteArray(64, 'x')
        << false << QStringList {"other 6"};
    QTest::newRow("refused security type ends parsing")
        << v38 + bytes({19}) + QByteArray(40, '\x04') << false << QStringList {};
    QTest::newRow("incomplete message is held back")
        << v38 + bytes({1}) + clientInit + bytes({5, 1}) + be16(3) << false << QStringList {};
}

void ClientStreamTest::parsesWhatTheClientSent()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, password);
    QFETCH(QStringList, expected);
    QCOMPARE(parse(stream, password, int(stream.size())), expected);
    // The network cuts streams anywhere.
    QCOMPARE(parse(stream, password, 1), expected);
    QCOMPARE(parse(stream, password, 5), expected);
}

QTEST_GUILESS_MAIN(ClientStreamTest)
#include "clientstream_test.moc"
