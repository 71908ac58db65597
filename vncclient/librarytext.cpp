#include "librarytext.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace LibraryText
{
const char compatibilityMarker[] = "INTERNAL:APPLE_VNC_COMPATIBILTY";

namespace
{
const char context[] = "VncClientThread";

const char *const serverNotFoundText = QT_TRANSLATE_NOOP("VncClientThread", "Server not found.");
const char *const authFailedText = QT_TRANSLATE_NOOP("VncClientThread", "VNC authentication failed.");
const char *const tooManyTriesText = QT_TRANSLATE_NOOP(
    "VncClientThread", "VNC authentication failed because of too many authentication tries.");
const char *const closedText = QT_TRANSLATE_NOOP("VncClientThread", "VNC server closed connection.");
const char *const connectionFailedText = QT_TRANSLATE_NOOP("VncClientThread", "VNC connection failed.");
const char *const connectionLostText = QT_TRANSLATE_NOOP(
    "VncClientThread", "The connection to the VNC server was lost. Check the network and that the server still "
                       "runs, then reconnect.");
const char *const cancelledText = QT_TRANSLATE_NOOP(
    "VncClientThread", "Sign-in was cancelled; no password was sent. Connect again to sign in.");
const char *const tunnelLostText = QT_TRANSLATE_NOOP(
    "VncClientThread", "The SSH tunnel to the VNC server was lost: the gateway or the network between went away. "
                       "Check the network and the gateway, then reconnect.");
const char *const outsideText =
    QT_TRANSLATE_NOOP("VncClientThread", "The VNC server sent an image that lies outside its screen.");

struct Rule
{
    const char *needles[3]; // null-terminated alternatives
    const char *message;
    bool translate;
};

// In order: when several rules match, the last one wins. Besides the
// library's own texts, the authentication replies of real servers
// (TigerVNC's "failure", libvncserver's "password check failed", TigerVNC's
// blacklist) are recognised, since the library passes them on verbatim.
const Rule rules[] = {
    {{"Couldn't convert ", "Unable to connect to VNC server", nullptr}, serverNotFoundText, true},
    {{"VNC connection failed: Authentication failed",
      "VNC connection failed: Authentication failure",
      "VNC connection failed: password check failed"},
     authFailedText, true},
    {{"VNC connection failed: Authentication failed, too many tries",
      "VNC connection failed: Too many authentication failures",
      "VNC connection failed: Too many security failures"},
     tooManyTriesText, true},
    {{"VNC server closed connection", nullptr, nullptr}, closedText, true},
    // Faults of the server that end the connection.
    {{"Rect too large", nullptr, nullptr}, outsideText, true},
    {{"VNC server supports protocol version 3.889", nullptr, nullptr}, compatibilityMarker, false},
};

QString tr(const char *text)
{
    return QCoreApplication::translate(context, text);
}
} // namespace

QString recognise(const QString &line)
{
    QString result;
    for (const Rule &rule : rules) {
        for (const char *needle : rule.needles) {
            if (needle && line.indexOf(QLatin1String(needle), 0, Qt::CaseSensitive) >= 0) {
                result = rule.translate ? tr(rule.message) : QString::fromLatin1(rule.message);
                break;
            }
        }
    }
    return result;
}

QString serverNotFound() { return tr(serverNotFoundText); }
QString authenticationFailed() { return tr(authFailedText); }
QString connectionFailed() { return tr(connectionFailedText); }
QString connectionLost() { return tr(connectionLostText); }
QString signInCancelled() { return tr(cancelledText); }
QString tunnelLost() { return tr(tunnelLostText); }

bool isConnectionLoss(const QString &message)
{
    return message == serverNotFound() || message == connectionFailed() || message == tr(closedText)
           || message == connectionLost() || message == tunnelLost();
}

QString decodeCutText(const char *bytes, int length)
{
    const QByteArrayView view(bytes, length);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(view);
}

QByteArray encodeCutText(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isNull())
            break;
        if (c.unicode() <= 0xff) {
            bytes += char(c.unicode());
            continue;
        }
        // A pair stands for one character; a lone half counts as one too.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes += '?';
    }
    return bytes;
}
} // namespace LibraryText
