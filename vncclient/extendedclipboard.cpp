#include "extendedclipboard.h"

#include "diagnostics.h"
#include "librarytext.h"

#include <QDebug>

#include <mutex>

#include <zlib.h>

namespace
{
const char clientDataTag = 0;

int announced[] = {ExtendedClipboard::encoding, 0};

// The message's own bytes beyond the text it may carry: its flags, a size
// per format, and zlib's framing of data that does not compress.
const uint32_t largestMessage = uint32_t(compressBound(uLong(ExtendedClipboard::maximumText) + 64) + 64);

uint32_t get32(const char *at)
{
    const auto *b = reinterpret_cast<const uint8_t *>(at);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

void append32(QByteArray &to, uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    to.append(bytes, 4);
}

// Reads and drops what a message we do not use still holds.
bool skip(rfbClient *client, uint32_t length)
{
    char sink[4096];
    while (length > 0) {
        const uint32_t n = qMin<uint32_t>(length, sizeof sink);
        if (!ReadFromRFBServer(client, sink, n))
            return false;
        length -= n;
    }
    return true;
}

// A whole zlib stream (one per message) holding at most 'limit' bytes:
// false when it is broken, or when it holds more ('tooLarge').
bool inflateAll(const QByteArray &in, qint64 limit, QByteArray *out, bool *tooLarge)
{
    z_stream zs = {};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    zs.avail_in = uInt(in.size());
    int result = Z_OK;
    char chunk[16384];
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef *>(chunk);
        zs.avail_out = sizeof chunk;
        result = inflate(&zs, Z_NO_FLUSH);
        out->append(chunk, qsizetype(sizeof chunk - zs.avail_out));
        if (out->size() > limit) {
            *tooLarge = true;
            break;
        }
        if (result != Z_OK || (zs.avail_in == 0 && zs.avail_out > 0))
            break;
    }
    inflateEnd(&zs);
    // A stream flushed but not finished holds all it had to say too; one
    // cut short shows in the sizes it holds.
    return !*tooLarge && (result == Z_STREAM_END || result == Z_OK || result == Z_BUF_ERROR);
}

QString fromWire(const QByteArray &utf8)
{
    // The text ends at its terminating NUL; lines end in CRLF.
    QString text = QString::fromUtf8(utf8.left(utf8.indexOf('\0') < 0 ? utf8.size() : utf8.indexOf('\0')));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

QByteArray toWire(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    QByteArray utf8 = text.toUtf8();
    utf8.truncate(utf8.indexOf('\0') < 0 ? utf8.size() : utf8.indexOf('\0'));
    utf8.append('\0');
    return utf8;
}
} // namespace

void ExtendedClipboard::attach(rfbClient *client)
{
    // One extension for the whole process (the library keeps one list): it
    // only adds the pseudo-encoding; the messages come through receive().
    static rfbClientProtocolExtension extension = {announced, nullptr, nullptr, nullptr, nullptr, nullptr};
    static std::once_flag registered;
    std::call_once(registered, [] { rfbClientRegisterExtension(&extension); });
    rfbClientSetClientData(client, const_cast<char *>(&clientDataTag), this);
}

ExtendedClipboard *ExtendedClipboard::of(rfbClient *client)
{
    return static_cast<ExtendedClipboard *>(rfbClientGetClientData(client, const_cast<char *>(&clientDataTag)));
}

ExtendedClipboard::Outcome ExtendedClipboard::receive(rfbClient *client, QString *text, bool *arrived)
{
    // After the type: 3 bytes padding, the length: negative for the
    // extended form, whose |length| bytes follow.
    char header[7];
    if (!ReadFromRFBServer(client, header, sizeof header))
        return Outcome::Lost;
    const int32_t length = int32_t(get32(header + 3));
    if (length < 0)
        return receiveExtended(client, uint32_t(-int64_t(length)), text, arrived);
    if (length > maximumText)
        return Outcome::TooLarge;
    QByteArray bytes(length, Qt::Uninitialized);
    if (length > 0 && !ReadFromRFBServer(client, bytes.data(), unsigned(length)))
        return Outcome::Lost;
    qCDebug(lcSession) << "clipboard text from the server:" << length << "bytes";
    *text = LibraryText::decodeCutText(bytes.constData(), int(bytes.size()));
    *arrived = !text->isEmpty();
    return Outcome::Handled;
}

ExtendedClipboard::Outcome ExtendedClipboard::receiveExtended(rfbClient *client, uint32_t length, QString *text,
                                                              bool *arrived)
{
    if (length > largestMessage)
        return Outcome::TooLarge;
    // Too short to hold its flags: nothing to act on.
    if (length < 4)
        return skip(client, length) ? Outcome::Handled : Outcome::Lost;
    QByteArray message(qsizetype(length), Qt::Uninitialized);
    if (!ReadFromRFBServer(client, message.data(), length))
        return Outcome::Lost;
    const uint32_t flags = get32(message.constData());
    qCDebug(lcSession) << "extended clipboard message from the server: flags" << Qt::hex << flags << Qt::dec
                       << length << "bytes";
    // A failed write shows at the next read, as for any message.
    if (flags & Caps) {
        capabilities(client, message);
    } else if (flags & Request) {
        if (flags & Text)
            provide(client);
    } else if (flags & Peek) {
        write(client, Notify | (haveLocalText ? uint32_t(Text) : 0u), {});
    } else if (flags & Notify) {
        // The server's clipboard changed: its text, if it has some.
        if (flags & Text)
            write(client, Request | Text, {});
    } else if (flags & Provide) {
        return provided(message, text, arrived);
    }
    return Outcome::Handled;
}

// The server's capabilities; ours go back. We take text up to our limit
// when we ask for it, nothing unasked (so a new server clipboard comes as a
// notify, never as text we did not want).
bool ExtendedClipboard::capabilities(rfbClient *client, const QByteArray &message)
{
    const uint32_t flags = get32(message.constData());
    serverAccepts = flags;
    serverTextLimit = 0;
    // One size for each format bit set, text's first.
    if ((flags & Text) && message.size() >= 8)
        serverTextLimit = get32(message.constData() + 4);
    active = true;
    qCDebug(lcSession) << "the server takes clipboard text of up to" << serverTextLimit << "bytes unasked";
    QByteArray sizes;
    append32(sizes, 0);
    return write(client, Caps | Text | Request | Peek | Notify | Provide, sizes);
}

ExtendedClipboard::Outcome ExtendedClipboard::provided(const QByteArray &message, QString *text, bool *arrived)
{
    const uint32_t flags = get32(message.constData());
    QByteArray data;
    bool tooLarge = false;
    // Each format's size and data, in the order of the format bits; text
    // is the first when it is there.
    const qint64 limit = maximumText + 4;
    if (!inflateAll(message.mid(4), limit, &data, &tooLarge)) {
        if (tooLarge)
            return Outcome::TooLarge;
        qCDebug(lcSession) << "clipboard data from the server does not decompress; ignored";
        return Outcome::Handled;
    }
    if (!(flags & Text) || data.size() < 4) {
        qCDebug(lcSession) << "clipboard data from the server without text; ignored";
        return Outcome::Handled;
    }
    const uint32_t size = get32(data.constData());
    if (size > uint32_t(data.size() - 4)) {
        qCDebug(lcSession) << "clipboard text from the server is shorter than it says; ignored";
        return Outcome::Handled;
    }
    *text = fromWire(data.mid(4, qsizetype(size)));
    *arrived = true;
    return Outcome::Handled;
}

bool ExtendedClipboard::send(rfbClient *client, const QString &text)
{
    if (!active) {
        const QByteArray latin1 = LibraryText::encodeCutText(text);
        if (latin1.size() > maximumText)
            return true;
        QByteArray message(4, '\0');
        message[0] = char(rfbClientCutText);
        append32(message, uint32_t(latin1.size()));
        message += latin1;
        return WriteToRFBServer(client, message.constData(), unsigned(message.size()));
    }
    localText = text;
    const qsizetype size = toWire(text).size();
    haveLocalText = size <= maximumText;
    if (!haveLocalText)
        qCDebug(lcSession) << "clipboard text over the limit is not offered to the server";
    // Small enough for the server to take unasked: sent at once.
    if (haveLocalText && (serverAccepts & Provide) && (serverAccepts & Text) && size <= qint64(serverTextLimit))
        return provide(client);
    if (serverAccepts & Notify)
        return write(client, Notify | (haveLocalText ? uint32_t(Text) : 0u), {});
    return true;
}

bool ExtendedClipboard::provide(rfbClient *client)
{
    QByteArray data;
    if (haveLocalText) {
        const QByteArray utf8 = toWire(localText);
        append32(data, uint32_t(utf8.size()));
        data += utf8;
    }
    // Flushed, not finished: libvncserver's servers take a finished stream
    // for an error and drop the connection; TigerVNC's take either.
    z_stream zs = {};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        return true;
    QByteArray compressed(qsizetype(deflateBound(&zs, uLong(data.size())) + 16), Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(data.data());
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef *>(compressed.data());
    zs.avail_out = uInt(compressed.size());
    const int result = deflate(&zs, Z_SYNC_FLUSH);
    compressed.truncate(qsizetype(zs.total_out));
    const bool complete = result == Z_OK && zs.avail_in == 0 && zs.avail_out > 0;
    deflateEnd(&zs);
    if (!complete)
        return true;
    return write(client, Provide | (haveLocalText ? uint32_t(Text) : 0u), compressed);
}

bool ExtendedClipboard::write(rfbClient *client, uint32_t flags, const QByteArray &payload)
{
    QByteArray message(4, '\0');
    message[0] = char(rfbClientCutText);
    append32(message, uint32_t(-int32_t(4 + payload.size())));
    append32(message, flags);
    message += payload;
    return WriteToRFBServer(client, message.constData(), unsigned(message.size()));
}
