#include "handshake.h"

#include "certificatestore.h"
#include "libraryinternals.h"
#include "librarytext.h"
#include "secret.h"
#include "securitytypes.h"
#include "sessionhost.h"
#include "tlschannel.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <poll.h>

using namespace SecurityTypes;

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(Handshake)
};

// The library's own limit for texts in the greeting.
constexpr quint32 maximumText = 1 << 20;

// A VNC server greets at once; a program that accepts and stays silent is
// given up on long before the read timeout.
constexpr int greetingTimeoutMs = 10000;
} // namespace

Handshake::Handshake(rfbClient *client, SessionHost &host, TlsChannel &tls, const HandshakeSettings &settings)
    : client(client),
      host(host),
      tls(tls),
      settings(settings),
      storeKey(CertificateStore::key(settings.server, settings.port)),
      trusted(CertificateStore::trusted(storeKey)),
      preferred(SecurityTypes::preferred(settings.securityTypes, !settings.userName.isEmpty(),
                                         !settings.caFile.isEmpty() || !trusted.isEmpty()))
{
    // A server whose certificate the user trusted must show it again: one
    // that offers no certificate may be another posing as it.
    if (!trusted.isEmpty())
        preferred.removeIf([](quint32 type) { return !verifiesServer(type); });
}

bool Handshake::run()
{
    return exchangeVersion() && negotiateSecurity() && initialise();
}

bool Handshake::read(void *data, unsigned length)
{
    return ReadFromRFBServer(client, static_cast<char *>(data), length);
}

bool Handshake::write(const void *data, unsigned length)
{
    return WriteToRFBServer(client, static_cast<const char *>(data), length);
}

bool Handshake::readU8(quint8 *value)
{
    return read(value, 1);
}

bool Handshake::readU32(quint32 *value)
{
    if (!read(value, 4))
        return false;
    *value = qFromBigEndian(*value);
    return true;
}

bool Handshake::exchangeVersion()
{
    // stop() shuts the socket down, which ends this wait too.
    pollfd greeting = {client->sock, POLLIN, 0};
    int ready;
    do
        ready = poll(&greeting, 1, greetingTimeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0) {
        host.fail(Messages::tr("The program at this address did not answer as a VNC server within %1 seconds. "
                               "Check the port or display number, and that the VNC server there is running.")
                      .arg(greetingTimeoutMs / 1000));
        return false;
    }
    char version[13] = {};
    if (!read(version, 12))
        return false;
    int major = 0;
    int minor = 0;
    if (std::sscanf(version, "RFB %03d.%03d\n", &major, &minor) != 2) {
        host.fail(Messages::tr("The program at this address is not a VNC server. Check the port or display "
                               "number."));
        return false;
    }
    DefaultSupportedMessages(client);
    // Old UltraVNC and TightVNC servers announce themselves by their version.
    if (major == 3 && (minor == 14 || minor == 16))
        minor -= 10;
    if (major == 3 && (minor == 4 || minor == 6))
        DefaultSupportedMessagesUltraVNC(client);
    if (major == 3 && minor == 5)
        DefaultSupportedMessagesTightVNC(client);
    client->major = major;
    client->minor = minor;
    if ((major == 3 && minor > 8) || major > 3) {
        client->major = 3;
        client->minor = 8;
    }
    rfbClientLog("VNC server supports protocol version %d.%d (viewer 3.8)\n", major, minor);
    char reply[32];
    std::snprintf(reply, sizeof reply, "RFB %03d.%03d\n", client->major % 1000, client->minor % 1000);
    return write(reply, 12);
}

bool Handshake::negotiateSecurity()
{
    QList<quint32> offered;
    quint32 chosen = Invalid;
    if (client->major == 3 && client->minor >= 7) {
        if (!readTypeList(&offered))
            return false;
        // Their own security types tell UltraVNC and TightVNC servers apart.
        if (offered.contains(17))
            DefaultSupportedMessagesUltraVNC(client);
        if (offered.contains(Tight))
            DefaultSupportedMessagesTightVNC(client);
        chosen = chooseTopLevel(preferred, offered);
        if (chosen == Invalid)
            return noCommonType(offered);
        const quint8 answer = quint8(chosen);
        if (!write(&answer, 1))
            return false;
    } else {
        // 3.3: the server decides alone.
        if (!readU32(&chosen))
            return false;
        if (chosen == Invalid) {
            readReason();
            return false;
        }
        offered << chosen;
        if (!preferred.contains(chosen))
            return noCommonType(offered);
    }
    client->authScheme = chosen;
    switch (chosen) {
    case None:
        return client->minor < 8 || securityResult();
    case VncAuth:
        return vncAuthentication();
    case VeNCrypt:
        return veNCrypt();
    case AnonymousTls:
        return anonymousTls();
    default:
        return noCommonType(offered);
    }
}

// A list of one-byte security types; an empty one comes with a reason.
bool Handshake::readTypeList(QList<quint32> *offered)
{
    quint8 count = 0;
    quint8 types[255];
    if (!readU8(&count))
        return false;
    if (count == 0) {
        readReason();
        return false;
    }
    if (!read(types, count))
        return false;
    for (int i = 0; i < count; ++i)
        *offered << types[i];
    return true;
}

bool Handshake::veNCrypt()
{
    quint8 version[2];
    if (!read(version, 2))
        return false;
    if (version[0] != 0 || version[1] < 2) {
        host.fail(Messages::tr("The server speaks VeNCrypt %1.%2, which this viewer does not support. Choose "
                               "other security types on the server.")
                      .arg(version[0])
                      .arg(version[1]));
        return false;
    }
    const quint8 ours[2] = {0, 2};
    quint8 status = 0;
    quint8 count = 0;
    if (!write(ours, 2) || !readU8(&status) || !readU8(&count))
        return false;
    if (status != 0) {
        host.fail(Messages::tr("The server refused VeNCrypt 0.2. Choose other security types on the server."));
        return false;
    }
    QList<quint32> offered;
    for (int i = 0; i < count; ++i) {
        quint32 type = 0;
        if (!readU32(&type))
            return false;
        offered << type;
    }
    const quint32 chosen = choose(preferred, offered);
    if (chosen == Invalid)
        return noCommonType(offered);
    const quint32 answer = qToBigEndian(chosen);
    if (!write(&answer, 4))
        return false;
    client->subAuthScheme = chosen;
    if (usesTls(chosen)) {
        quint8 accepted = 0;
        if (!readU8(&accepted))
            return false;
        if (accepted != 1) {
            host.fail(Messages::tr("The server refused the security type %1 that it offered. Check its TLS "
                                   "settings, or choose other types with --security.")
                          .arg(name(chosen)));
            return false;
        }
        tlsUsed = true;
        if (!tls.start(client, verifiesServer(chosen) ? TlsChannel::Certificate : TlsChannel::Anonymous,
                       settings.server, settings.port, settings.caFile, host))
            return false;
    }
    if (needsUserName(chosen))
        return plainAuthentication();
    if (needsPassword(chosen))
        return vncAuthentication();
    return securityResult();
}

// Anonymous TLS, then a second list of types inside it.
bool Handshake::anonymousTls()
{
    tlsUsed = true;
    if (!tls.start(client, TlsChannel::Anonymous, settings.server, settings.port, settings.caFile, host))
        return false;
    QList<quint32> offered;
    if (!readTypeList(&offered))
        return false;
    const quint32 chosen = choose(preferred.contains(AnonymousTls) ? QList<quint32>{VncAuth, None} : QList<quint32>{},
                                  offered);
    if (chosen == Invalid)
        return noCommonType(offered);
    const quint8 answer = quint8(chosen);
    if (!write(&answer, 1))
        return false;
    client->subAuthScheme = chosen;
    return chosen == VncAuth ? vncAuthentication() : (client->minor < 8 || securityResult());
}

bool Handshake::vncAuthentication()
{
    unsigned char challenge[16];
    QString secret;
    if (!read(challenge, sizeof challenge) || !host.password(&secret, nullptr))
        return false;
    QByteArray bytes = secret.toUtf8();
    Secret::wipe(secret);
    if (bytes.isEmpty()) {
        rfbClientLog("Reading password failed\n");
        return false;
    }
    // The key is the first eight bytes, zero-padded.
    char key[9] = {};
    std::memcpy(key, bytes.constData(), size_t(qMin<qsizetype>(bytes.size(), 8)));
    Secret::wipe(bytes);
    rfbClientEncryptBytes(challenge, key);
    explicit_bzero(key, sizeof key);
    return write(challenge, sizeof challenge) && securityResult();
}

bool Handshake::plainAuthentication()
{
    QString secret;
    QString userName = settings.userName;
    if (!host.password(&secret, &userName))
        return false;
    const QByteArray user = userName.toUtf8();
    QByteArray password = secret.toUtf8();
    Secret::wipe(secret);
    const quint32 lengths[2] = {qToBigEndian(quint32(user.size())), qToBigEndian(quint32(password.size()))};
    const bool sent = write(lengths, sizeof lengths) && write(user.constData(), unsigned(user.size()))
                      && write(password.constData(), unsigned(password.size()));
    Secret::wipe(password);
    return sent && securityResult();
}

bool Handshake::securityResult()
{
    quint32 result = 0;
    if (!readU32(&result))
        return false;
    if (result == 0)
        return true;
    // The library's wording, so that the usual failure messages apply.
    if (result == 1 && client->minor >= 8)
        readReason();
    else if (result == 2)
        rfbClientLog("VNC connection failed: Too many authentication failures\n");
    else
        rfbClientLog("VNC connection failed: Authentication failed\n");
    return false;
}

void Handshake::readReason()
{
    quint32 length = 0;
    if (!readU32(&length))
        return;
    if (length > maximumText) {
        host.fail(Messages::tr("The VNC server refused the connection and sent a reason too long to show."));
        return;
    }
    QByteArray reason(int(length), '\0');
    if (!read(reason.data(), length))
        return;
    const QString line = QStringLiteral("VNC connection failed: ") + QString::fromUtf8(reason).trimmed();
    rfbClientLog("%s\n", qUtf8Printable(line));
    if (LibraryText::recognise(line).isNull())
        host.fail(Messages::tr("The VNC server refused the connection: %1").arg(QString::fromUtf8(reason).trimmed()));
}

bool Handshake::noCommonType(const QList<quint32> &offered)
{
    const QString offers = names(offered);
    bool offersCertificate = offered.contains(VeNCrypt);
    for (quint32 type : offered)
        offersCertificate = offersCertificate || verifiesServer(type);
    if (!trusted.isEmpty() && preferred.isEmpty()) {
        host.fail(Messages::tr("You trusted the certificate of %1, so vemo connects to it only with a type that "
                               "checks it (X509Vnc, X509None, X509Plain), which --security leaves out. Allow one "
                               "with --security, or, to connect without the check, remove this line from %2:\n%3")
                      .arg(storeKey, CertificateStore::fileName(), CertificateStore::line(storeKey, trusted)));
        return false;
    }
    if (!trusted.isEmpty() && !offersCertificate) {
        host.fail(Messages::tr("The server %1 no longer shows the certificate you trusted for it: it offers only "
                               "%2. Someone may be posing as the server, so vemo did not connect. If the "
                               "server's set-up really changed, remove this line from %3, then connect again:\n%4")
                      .arg(storeKey, offers, CertificateStore::fileName(), CertificateStore::line(storeKey, trusted)));
        return false;
    }
    // Either side's list may hold both kinds: a claim about encryption is
    // made only when one side has none of one kind.
    const auto encrypted = [](quint32 type) { return usesTls(type) || type == VeNCrypt; };
    const QList<quint32> &allowed = settings.securityTypes;
    const bool offersEncrypted = std::any_of(offered.begin(), offered.end(), encrypted);
    const bool offersUnencrypted = !std::all_of(offered.begin(), offered.end(), encrypted);
    const bool allowsEncrypted = std::any_of(allowed.begin(), allowed.end(), encrypted);
    const bool allowsUnencrypted = !std::all_of(allowed.begin(), allowed.end(), encrypted);
    if (!allowed.isEmpty() && !offersEncrypted && !allowsUnencrypted) {
        host.fail(Messages::tr("The server offers only unencrypted connections (%1), which --security does "
                               "not allow. Enable encryption on the server, or allow VncAuth or None with "
                               "--security.")
                      .arg(offers));
    } else if (!allowed.isEmpty() && !offersUnencrypted && !allowsEncrypted) {
        host.fail(Messages::tr("The server refuses unencrypted connections; it offers %1. "
                               "Allow one of these with --security.")
                      .arg(offers));
    } else if (!allowed.isEmpty()) {
        host.fail(Messages::tr("The server refuses the security types that --security allows; "
                               "it offers %1. Allow one of these with --security.")
                      .arg(offers));
    } else {
        host.fail(Messages::tr("The server offers no security type this viewer supports (it offers %1). "
                               "Enable VncAuth, TLSVnc or X509Vnc on the server.")
                      .arg(offers));
    }
    return false;
}

bool Handshake::initialise()
{
    const quint8 shared = client->appData.shareDesktop ? 1 : 0;
    if (!write(&shared, 1) || !read(&client->si, sz_rfbServerInitMsg))
        return false;
    rfbServerInitMsg &si = client->si;
    si.framebufferWidth = qFromBigEndian(si.framebufferWidth);
    si.framebufferHeight = qFromBigEndian(si.framebufferHeight);
    si.format.redMax = qFromBigEndian(si.format.redMax);
    si.format.greenMax = qFromBigEndian(si.format.greenMax);
    si.format.blueMax = qFromBigEndian(si.format.blueMax);
    si.nameLength = qFromBigEndian(si.nameLength);
    if (si.nameLength > maximumText) {
        host.fail(Messages::tr("The VNC server sent a desktop name longer than 1 MiB. Report it to whoever "
                               "runs the server."));
        return false;
    }
    client->desktopName = static_cast<char *>(malloc(si.nameLength + 1));
    if (!client->desktopName || !read(client->desktopName, si.nameLength))
        return false;
    client->desktopName[si.nameLength] = '\0';
    return true;
}
