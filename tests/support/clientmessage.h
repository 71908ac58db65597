// One client-to-server RFB message, as the test server saw it on the wire.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QtGlobal>

struct ClientMessage
{
    enum Type { SetPixelFormat, SetEncodings, UpdateRequest, Key, Pointer, CutText, DesktopSize,
                EnableContinuousUpdates, Fence, Other };
    Type type = Other;
    // Which accepted connection sent it, counted from 1.
    int connection = 0;
    // The message type byte (useful for Other).
    int rawType = -1;

    // SetPixelFormat
    int bitsPerPixel = 0, depth = 0, bigEndian = 0, trueColour = 0;
    int redMax = 0, greenMax = 0, blueMax = 0;
    int redShift = 0, greenShift = 0, blueShift = 0;
    // SetEncodings, exactly as sent, pseudo-encodings included
    QList<qint32> encodings;
    // UpdateRequest; DesktopSize: the size asked for; EnableContinuousUpdates
    // (area and enable)
    bool incremental = false;
    QRect area;
    bool enable = false;
    // Fence (payload in text)
    quint32 flags = 0;
    // Key
    quint32 key = 0;
    bool down = false;
    // Pointer
    int x = 0, y = 0, buttonMask = 0;
    // CutText; Fence
    QByteArray text;
    // CutText in the extended clipboard's form (flags as above; text only
    // for a provide, in UTF-8)
    bool extended = false;
    static constexpr quint32 Caps = 1u << 24, Request = 1u << 25, Notify = 1u << 27, Provide = 1u << 28;
    // Cut text that brings clipboard text: the old form, or a provide.
    bool carriesText() const { return type == CutText && (!extended || (flags & (Provide | Caps)) == Provide); }
};

// Parses the client-to-server half of an RFB 3.3/3.7/3.8 session: the
// handshake is skipped, then each message is decoded. Anything it does not
// know becomes Other and ends parsing, because its length is unknown.
class ClientStreamParser
{
public:
    // passwordRequired: whether the server uses VNC authentication, which
    // decides the handshake's shape for 3.3 clients (the server chooses there).
    ClientStreamParser(int connection, bool passwordRequired);

    void feed(const char *data, size_t n, QList<ClientMessage> *out);

private:
    enum class Stage { Version, SecurityChoice, VncAuthResponse, ClientInit, Messages, Stopped };

    // Consumes one handshake step or message when complete; false if more bytes are needed.
    bool step(QList<ClientMessage> *out);
    bool stepVersion();
    bool stepSecurityChoice();
    bool stepMessage(QList<ClientMessage> *out);
    bool need(qsizetype n) const { return m_buf.size() >= n; }
    void stop(int rawType, QList<ClientMessage> *out);

    const int m_connection;
    const bool m_passwordRequired;
    Stage m_stage = Stage::Version;
    QByteArray m_buf;
};
