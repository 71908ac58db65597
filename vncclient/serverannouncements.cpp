#include "serverannouncements.h"

#include "diagnostics.h"
#include "librarytext.h"
#include "sessionhost.h"

#include <QCoreApplication>
#include <QDebug>
#include <QImage>
#include <QtEndian>

#include <mutex>
#include <vector>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(VncClientThread)
};

// The same limit, and message, as for the name in the greeting.
struct HandshakeMessages
{
    Q_DECLARE_TR_FUNCTIONS(Handshake)
};
constexpr uint32_t longestName = 1u << 20;

const char clientDataTag = 0;

int announced[] = {ServerAnnouncements::desktopNameEncoding, ServerAnnouncements::alphaCursorEncoding, 0};

QString nameFrom(const char *bytes, int length)
{
    // UTF-8, as servers send it now; older ones send ISO 8859-1.
    return LibraryText::decodeCutText(bytes, length);
}
} // namespace

void ServerAnnouncements::attach(rfbClient *client)
{
    // The library keeps one list of extensions for the whole process: one
    // registration, and a client without our state is left alone.
    static rfbClientProtocolExtension extension = {announced, handleEncoding, nullptr, nullptr, nullptr, nullptr};
    static std::once_flag registered;
    std::call_once(registered, [] { rfbClientRegisterExtension(&extension); });
    rfbClientSetClientData(client, const_cast<char *>(&clientDataTag), this);
}

void ServerAnnouncements::greeted(rfbClient *client)
{
    if (client->desktopName)
        host.showDesktopName(nameFrom(client->desktopName, int(strlen(client->desktopName))));
}

rfbBool ServerAnnouncements::handleEncoding(rfbClient *client, rfbFramebufferUpdateRectHeader *rect)
{
    auto *self = static_cast<ServerAnnouncements *>(rfbClientGetClientData(client, const_cast<char *>(&clientDataTag)));
    if (!self)
        return FALSE;
    // FALSE also when the bytes did not come or made no sense: the library
    // then ends the connection (the message for the user is given).
    switch (int32_t(rect->encoding)) {
    case desktopNameEncoding:
        self->took = true;
        return self->desktopName(client);
    case alphaCursorEncoding:
        self->took = true;
        return self->alphaCursor(client, *rect);
    default:
        return FALSE;
    }
}

bool ServerAnnouncements::desktopName(rfbClient *client)
{
    uint32_t length;
    if (!ReadFromRFBServer(client, reinterpret_cast<char *>(&length), 4))
        return false;
    length = qFromBigEndian(length);
    if (length > longestName) {
        host.fail(HandshakeMessages::tr("The VNC server sent a desktop name longer than 1 MiB. Report it to "
                                        "whoever runs the server."));
        return false;
    }
    std::vector<char> name(length + 1, '\0');
    if (length > 0 && !ReadFromRFBServer(client, name.data(), length))
        return false;
    // The library keeps the greeting's name; the new one replaces it.
    char *copy = strdup(name.data());
    if (copy) {
        free(client->desktopName);
        client->desktopName = copy;
    }
    host.showDesktopName(nameFrom(name.data(), int(strnlen(name.data(), length))));
    return true;
}

// x and y are the hot spot; then the encoding of the pixels, of which we
// take raw: RGBA bytes, alpha pre-multiplied, which is what servers send.
bool ServerAnnouncements::alphaCursor(rfbClient *client, const rfbFramebufferUpdateRectHeader &rect)
{
    int32_t encoding;
    if (!ReadFromRFBServer(client, reinterpret_cast<char *>(&encoding), 4))
        return false;
    encoding = qFromBigEndian(encoding);
    const int w = rect.r.w;
    const int h = rect.r.h;
    if (encoding != rfbEncodingRaw || w > maximumCursorSide || h > maximumCursorSide) {
        malformed();
        return false;
    }
    qCDebug(lcSession) << "cursor with alpha from the server:" << w << "x" << h;
    QImage shape(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y) {
        if (!ReadFromRFBServer(client, reinterpret_cast<char *>(shape.scanLine(y)), unsigned(w) * 4))
            return false;
    }
    // An empty shape hides the cursor, as the library's own shapes do.
    if (w == 0 || h == 0) {
        shape = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        shape.fill(Qt::transparent);
    }
    host.showCursor(shape.convertToFormat(QImage::Format_ARGB32_Premultiplied), QPoint(rect.r.x, rect.r.y));
    return true;
}

void ServerAnnouncements::malformed()
{
    host.fail(Messages::tr("The VNC server sent a message this viewer does not understand."));
}
