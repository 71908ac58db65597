#include "clientmessage.h"

#include <QtEndian>

#include <zlib.h>

namespace {

// Length cap for ClientCutText: a bigger claim is treated as garbage.
constexpr quint32 kMaxCutText = 64u << 20;

quint8 u8(const QByteArray &b, int at) { return static_cast<quint8>(b[at]); }
quint16 u16(const QByteArray &b, int at) { return qFromBigEndian<quint16>(b.constData() + at); }
quint32 u32(const QByteArray &b, int at) { return qFromBigEndian<quint32>(b.constData() + at); }

ClientMessage pixelFormatMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::SetPixelFormat;
    m.bitsPerPixel = u8(b, 4);
    m.depth = u8(b, 5);
    m.bigEndian = u8(b, 6);
    m.trueColour = u8(b, 7);
    m.redMax = u16(b, 8);
    m.greenMax = u16(b, 10);
    m.blueMax = u16(b, 12);
    m.redShift = u8(b, 14);
    m.greenShift = u8(b, 15);
    m.blueShift = u8(b, 16);
    return m;
}

ClientMessage encodingsMessage(const QByteArray &b, int count)
{
    ClientMessage m;
    m.type = ClientMessage::SetEncodings;
    for (int i = 0; i < count; ++i)
        m.encodings.append(static_cast<qint32>(u32(b, 4 + 4 * i)));
    return m;
}

ClientMessage updateRequestMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::UpdateRequest;
    m.incremental = u8(b, 1) != 0;
    m.area = QRect(u16(b, 2), u16(b, 4), u16(b, 6), u16(b, 8));
    return m;
}

ClientMessage keyMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::Key;
    m.down = u8(b, 1) != 0;
    m.key = u32(b, 4);
    return m;
}

ClientMessage pointerMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::Pointer;
    m.buttonMask = u8(b, 1);
    m.x = u16(b, 2);
    m.y = u16(b, 4);
    return m;
}

ClientMessage continuousUpdatesMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::EnableContinuousUpdates;
    m.enable = u8(b, 1) != 0;
    m.area = QRect(u16(b, 2), u16(b, 4), u16(b, 6), u16(b, 8));
    return m;
}

ClientMessage fenceMessage(const QByteArray &b)
{
    ClientMessage m;
    m.type = ClientMessage::Fence;
    m.flags = u32(b, 4);
    m.text = b.mid(9, u8(b, 8));
    return m;
}

// A negative length marks the extended clipboard: flags, then for a
// provide a zlib stream of (size, data) per format; text is kept without
// its terminating NUL.
ClientMessage cutTextMessage(const QByteArray &b, quint32 length)
{
    ClientMessage m;
    m.type = ClientMessage::CutText;
    if (qint32(length) >= 0) {
        m.text = b.mid(8, static_cast<qsizetype>(length));
        return m;
    }
    m.extended = true;
    m.flags = u32(b, 8);
    if ((m.flags & (ClientMessage::Provide | ClientMessage::Caps | 1)) == (ClientMessage::Provide | 1)) {
        // A zlib stream flushed, not finished, as the extension's peers send it.
        QByteArray in = b.mid(12, -qint32(length) - 4), data(kMaxCutText / 4, '\0');
        z_stream zs = {};
        inflateInit(&zs);
        zs.next_in = reinterpret_cast<Bytef *>(in.data());
        zs.avail_in = uInt(in.size());
        zs.next_out = reinterpret_cast<Bytef *>(data.data());
        zs.avail_out = uInt(data.size());
        inflate(&zs, Z_SYNC_FLUSH);
        data.truncate(qsizetype(zs.total_out));
        inflateEnd(&zs);
        m.text = data.mid(4, qsizetype(data.size() >= 4 ? u32(data, 0) : 0));
        m.text.truncate(m.text.indexOf('\0') < 0 ? m.text.size() : m.text.indexOf('\0'));
    }
    return m;
}

// Bytes the message at the front of buf takes: 0 while its header is
// incomplete, -1 when the type is unknown or the length absurd.
qsizetype messageLength(const QByteArray &buf)
{
    const qsizetype have = buf.size();
    switch (u8(buf, 0)) {
    case 0:
        return 20;
    case 2:
        return have < 4 ? 0 : 4 + 4 * qsizetype(u16(buf, 2));
    case 3:
        return 10;
    case 4:
        return 8;
    case 5:
        return 6;
    case 6:
        if (have < 8)
            return 0;
        if (qint32(u32(buf, 4)) < 0)
            return -qint64(qint32(u32(buf, 4))) > kMaxCutText ? -1 : 8 - qint64(qint32(u32(buf, 4)));
        return u32(buf, 4) > kMaxCutText ? -1 : 8 + qsizetype(u32(buf, 4));
    case 251: // SetDesktopSize: 16 bytes for each screen
        return have < 8 ? 0 : 8 + 16 * qsizetype(u8(buf, 6));
    case 150:
        return 10;
    case 248:
        return have < 9 ? 0 : 9 + qsizetype(u8(buf, 8));
    default:
        return -1;
    }
}

ClientMessage decodeMessage(const QByteArray &buf)
{
    switch (u8(buf, 0)) {
    case 0:
        return pixelFormatMessage(buf);
    case 2:
        return encodingsMessage(buf, u16(buf, 2));
    case 3:
        return updateRequestMessage(buf);
    case 4:
        return keyMessage(buf);
    case 5:
        return pointerMessage(buf);
    case 251: {
        ClientMessage m;
        m.type = ClientMessage::DesktopSize;
        m.area = QRect(0, 0, u16(buf, 2), u16(buf, 4));
        return m;
    }
    case 150:
        return continuousUpdatesMessage(buf);
    case 248:
        return fenceMessage(buf);
    default:
        return cutTextMessage(buf, u32(buf, 4));
    }
}

} // namespace

ClientStreamParser::ClientStreamParser(int connection, bool passwordRequired)
    : m_connection(connection), m_passwordRequired(passwordRequired)
{
}

void ClientStreamParser::feed(const char *data, size_t n, QList<ClientMessage> *out)
{
    if (m_stage == Stage::Stopped)
        return;
    m_buf.append(data, static_cast<qsizetype>(n));
    while (m_stage != Stage::Stopped && step(out)) {
    }
}

bool ClientStreamParser::step(QList<ClientMessage> *out)
{
    switch (m_stage) {
    case Stage::Version:
        return stepVersion();
    case Stage::SecurityChoice:
        return stepSecurityChoice();
    case Stage::VncAuthResponse:
        if (!need(16))
            return false;
        m_buf.remove(0, 16);
        m_stage = Stage::ClientInit;
        return true;
    case Stage::ClientInit:
        if (!need(1))
            return false;
        m_buf.remove(0, 1);
        m_stage = Stage::Messages;
        return true;
    case Stage::Messages:
        return stepMessage(out);
    case Stage::Stopped:
        break;
    }
    return false;
}

bool ClientStreamParser::stepVersion()
{
    if (!need(12))
        return false;
    const int minor = m_buf.mid(8, 3).toInt();
    m_buf.remove(0, 12);
    // 3.7 and later let the client choose the security type; in 3.3 the
    // server imposes it and the client answers only a VNC auth challenge.
    if (minor >= 7)
        m_stage = Stage::SecurityChoice;
    else
        m_stage = m_passwordRequired ? Stage::VncAuthResponse : Stage::ClientInit;
    return true;
}

bool ClientStreamParser::stepSecurityChoice()
{
    if (!need(1))
        return false;
    const int type = u8(m_buf, 0);
    m_buf.remove(0, 1);
    if (type == 1)
        m_stage = Stage::ClientInit;
    else if (type == 2)
        m_stage = Stage::VncAuthResponse;
    else if (type == 18)
        m_stage = Stage::SecurityChoice; // anonymous TLS: a second choice inside it
    else
        m_stage = Stage::Stopped; // the server refuses it; nothing more to read
    return true;
}


bool ClientStreamParser::stepMessage(QList<ClientMessage> *out)
{
    if (!need(1))
        return false;
    const qsizetype length = messageLength(m_buf);
    if (length < 0) {
        stop(u8(m_buf, 0), out);
        return false;
    }
    if (length == 0 || !need(length))
        return false;
    ClientMessage message = decodeMessage(m_buf);
    message.connection = m_connection;
    message.rawType = u8(m_buf, 0);
    out->append(message);
    m_buf.remove(0, length);
    return true;
}

void ClientStreamParser::stop(int rawType, QList<ClientMessage> *out)
{
    ClientMessage message;
    message.type = ClientMessage::Other;
    message.connection = m_connection;
    message.rawType = rawType;
    out->append(message);
    m_stage = Stage::Stopped;
    m_buf.clear();
}
