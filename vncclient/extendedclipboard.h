#ifndef EXTENDEDCLIPBOARD_H
#define EXTENDEDCLIPBOARD_H

#include <QByteArray>
#include <QString>

#include <rfb/rfbclient.h>

// Clipboard text both ways, on the connection thread. A server that offers
// the extended clipboard (it answers the pseudo-encoding with its
// capabilities) exchanges UTF-8 text, zlib-compressed; with any other the
// text goes as ISO 8859-1, "?" for what that cannot hold.
//
// libvncclient 0.9.14 knows only the old message, and ends the connection
// on the negative length that marks an extended one: the session hands
// every ServerCutText to receive() before the library reads it.
//
// The extended exchange: each side states what it takes (caps); the owner of
// new text says so (notify), the other side asks (request) and the owner
// sends it (provide). We ask for nothing unasked: the server notifies.
class ExtendedClipboard
{
public:
    ExtendedClipboard() = default;
    ExtendedClipboard(const ExtendedClipboard &) = delete;
    ExtendedClipboard &operator=(const ExtendedClipboard &) = delete;

    // Makes this the clipboard state of 'client', which announces the
    // pseudo-encoding in its SetEncodings from then on.
    void attach(rfbClient *client);
    static ExtendedClipboard *of(rfbClient *client);

    enum class Outcome { Handled, Lost, TooLarge };
    // Reads the rest of a ServerCutText whose type byte is read. Text the
    // server's clipboard now holds goes to 'text', and 'arrived' is set.
    Outcome receive(rfbClient *client, QString *text, bool *arrived);
    // Offers the user's clipboard text to the server.
    bool send(rfbClient *client, const QString &text);
    bool extended() const { return active; }

    // Clipboard text larger than this (in UTF-8, or Latin-1 from an older
    // server) is neither taken nor sent.
    static constexpr qint64 maximumText = qint64(10) << 20;
    static constexpr int32_t encoding = int32_t(0xC0A1E5CEu);
    enum Flag : uint32_t {
        Text = 1u << 0,
        Formats = 0xffffu, // bits 0-15
        Caps = 1u << 24,
        Request = 1u << 25,
        Peek = 1u << 26,
        Notify = 1u << 27,
        Provide = 1u << 28,
    };

private:
    Outcome receiveExtended(rfbClient *client, uint32_t length, QString *text, bool *arrived);
    bool capabilities(rfbClient *client, const QByteArray &message);
    Outcome provided(const QByteArray &message, QString *text, bool *arrived);
    bool provide(rfbClient *client);
    static bool write(rfbClient *client, uint32_t flags, const QByteArray &payload);

    bool active = false; // the server sent its capabilities
    uint32_t serverAccepts = 0; // the formats and actions it takes
    uint32_t serverTextLimit = 0; // the most text it takes unasked
    QString localText; // the user's last copy, until the server asks for it
    bool haveLocalText = false;
};

#endif
