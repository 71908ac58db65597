#include "hostileserver.h"

#include <zlib.h>

#include <QtEndian>

namespace HostileRfb
{
namespace
{
void appendU8(QByteArray &out, quint8 v) { out.append(char(v)); }

void appendU16(QByteArray &out, quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

void appendU32(QByteArray &out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}
} // namespace

QByteArray serverInit(quint16 width, quint16 height, const QByteArray &name)
{
    QByteArray out;
    appendU16(out, width);
    appendU16(out, height);
    // 32 bits per pixel, depth 24, little-endian, true colour, 8 bits a
    // channel at 16/8/0, three bytes of padding.
    for (quint8 v : {32, 24, 0, 1})
        appendU8(out, v);
    for (int i = 0; i < 3; ++i)
        appendU16(out, 255);
    for (quint8 v : {16, 8, 0, 0, 0, 0})
        appendU8(out, v);
    appendU32(out, quint32(name.size()));
    return out + name;
}

QList<RawServer::Step> handshake(quint16 width, quint16 height, const QByteArray &name, bool tls)
{
    using Step = RawServer::Step;
    QList<Step> security{Step::send(QByteArray("\x01\x01", 2)), Step::expect(1)};
    if (tls)
        security = QList<Step>{Step::send(QByteArray("\x01\x12", 2)), Step::expect(1), Step::startTls()} + security;
    return QList<Step>{Step::send("RFB 003.008\n"), Step::expect(12)} + security
        + QList<Step>{Step::send(QByteArray(4, '\0')), Step::expect(1), Step::send(serverInit(width, height, name))};
}

QByteArray rectHeader(int x, int y, int width, int height, qint32 encoding)
{
    QByteArray out;
    appendU16(out, quint16(x));
    appendU16(out, quint16(y));
    appendU16(out, quint16(width));
    appendU16(out, quint16(height));
    appendU32(out, quint32(encoding));
    return out;
}

QByteArray framebufferUpdate(const QList<QByteArray> &rects)
{
    QByteArray out;
    appendU8(out, 0);
    appendU8(out, 0);
    appendU16(out, quint16(rects.size()));
    for (const QByteArray &r : rects)
        out += r;
    return out;
}

QByteArray rawRect(const QRect &r, quint32 rgb)
{
    QByteArray out = rectHeader(r.x(), r.y(), r.width(), r.height(), rawEncoding);
    char pixel[4];
    qToLittleEndian(rgb & 0xffffffu, pixel);
    const qsizetype count = qsizetype(quint16(r.width())) * quint16(r.height());
    out.reserve(out.size() + count * 4);
    for (qsizetype i = 0; i < count; ++i)
        out.append(pixel, 4);
    return out;
}

QByteArray copyRect(const QRect &target, int sourceX, int sourceY)
{
    QByteArray out = rectHeader(target.x(), target.y(), target.width(), target.height(), copyRectEncoding);
    appendU16(out, quint16(sourceX));
    appendU16(out, quint16(sourceY));
    return out;
}

QByteArray desktopSizeRect(int width, int height)
{
    return rectHeader(0, 0, width, height, desktopSizeEncoding);
}

QByteArray extendedDesktopSizeRect(int width, int height)
{
    QByteArray out = rectHeader(0, 0, width, height, -308);
    appendU32(out, 1u << 24); // one screen, padding
    appendU32(out, 1); // its id
    appendU32(out, 0); // at 0, 0
    appendU16(out, quint16(width));
    appendU16(out, quint16(height));
    appendU32(out, 0); // flags
    return out;
}

QByteArray supportedMessagesRect()
{
    return rectHeader(0, 0, 64, 0, supportedMessagesEncoding) + QByteArray(64, '\xff');
}

QByteArray cutTextHeader(quint32 length)
{
    QByteArray out;
    appendU8(out, 3);
    out.append(3, '\0');
    appendU32(out, length);
    return out;
}

QByteArray cutText(const QByteArray &bytes) { return cutTextHeader(quint32(bytes.size())) + bytes; }

QByteArray extendedCutText(quint32 flags, const QByteArray &payload)
{
    QByteArray out = cutTextHeader(quint32(-qint32(4 + payload.size())));
    appendU32(out, flags);
    return out + payload;
}

QByteArray clipboardProvide(const QByteArray &data, bool finished, qint64 declared)
{
    QByteArray plain;
    appendU32(plain, quint32(declared < 0 ? data.size() : declared));
    plain += data;
    z_stream zs = {};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    QByteArray packed(qsizetype(deflateBound(&zs, uLong(plain.size())) + 16), '\0');
    zs.next_in = reinterpret_cast<Bytef *>(plain.data());
    zs.avail_in = uInt(plain.size());
    zs.next_out = reinterpret_cast<Bytef *>(packed.data());
    zs.avail_out = uInt(packed.size());
    deflate(&zs, finished ? Z_FINISH : Z_SYNC_FLUSH);
    packed.truncate(qsizetype(zs.total_out));
    deflateEnd(&zs);
    return extendedCutText(clipboardProvideFlag | 1, packed);
}

QList<RawServer::Step> session(quint16 width, quint16 height, const QList<QByteArray> &messages, bool tls)
{
    QList<RawServer::Step> steps = handshake(width, height, "hostile", tls);
    for (const QByteArray &m : messages)
        steps << RawServer::Step::send(m);
    return steps;
}
} // namespace HostileRfb
