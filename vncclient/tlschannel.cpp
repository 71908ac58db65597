// TLS under the RFB stream, with our own check of the server's certificate:
// libvncclient 0.9.14 would pick the VeNCrypt sub-type itself and trusts
// only a CA file, so the handshake runs here and the library is handed the
// finished session (client->tlsSession), through which it then reads and
// writes.
#include "tlschannel.h"

#include "certificatestore.h"
#include "sessionhost.h"

#include <QCoreApplication>
#include "diagnostics.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>

// GnuTLS sets itself up as it is loaded (random generator, system trust,
// PKCS#11 modules: 0.8 MiB resident) unless the program says otherwise;
// most sessions never use TLS, so it is set up for the first that does.
extern "C" {
GNUTLS_SKIP_GLOBAL_INIT
}

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(TlsChannel)
};

constexpr int handshakeTimeoutMs = 30000;

// Waits until the socket is ready in the direction TLS needs, or the
// connection thread is woken; false on time-out or a stop.
bool waitForSocket(gnutls_session_t session, int sock, SessionHost &host, int ms)
{
    const short direction = gnutls_record_get_direction(session) ? POLLOUT : POLLIN;
    pollfd fds[2] = {{sock, direction, 0}, {host.wakeDescriptor(), POLLIN, 0}};
    if (poll(fds, 2, ms) <= 0)
        return errno == EINTR;
    if (fds[1].revents & POLLIN) {
        eventfd_t value;
        eventfd_read(host.wakeDescriptor(), &value);
    }
    return !host.stopRequested();
}

QString fingerprintText(const QByteArray &fingerprint)
{
    return QString::fromLatin1(fingerprint.toHex(':').toUpper());
}

// The host names and addresses a certificate is issued for: its
// alternative names, else its common name. A few, printable only: they
// come from the server and go into a message.
QStringList namesOf(gnutls_x509_crt_t certificate)
{
    constexpr int shown = 5;
    QStringList names;
    const auto add = [&names](const QString &name) {
        for (const QChar c : name) {
            if (!c.isPrint())
                return;
        }
        if (names.size() < shown && !name.isEmpty() && !names.contains(name))
            names << name;
    };
    char buffer[256];
    for (unsigned i = 0; names.size() < shown; ++i) {
        size_t size = sizeof buffer - 1;
        const int type = gnutls_x509_crt_get_subject_alt_name(certificate, i, buffer, &size, nullptr);
        if (type == GNUTLS_E_REQUESTED_DATA_NOT_AVAILABLE)
            break;
        char text[INET6_ADDRSTRLEN];
        if (type == GNUTLS_SAN_DNSNAME)
            add(QString::fromUtf8(buffer, qsizetype(size)));
        else if (type == GNUTLS_SAN_IPADDRESS && (size == 4 || size == 16)
                 && inet_ntop(size == 4 ? AF_INET : AF_INET6, buffer, text, sizeof text))
            add(QString::fromLatin1(text));
    }
    size_t size = sizeof buffer - 1;
    if (names.isEmpty()
        && gnutls_x509_crt_get_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, 0, buffer, &size) >= 0)
        add(QString::fromUtf8(buffer, qsizetype(size)));
    return names;
}

// Why a certificate is not acceptable, for the user. 'caFile' is the one
// given with --x509ca, if any.
QString reasonFor(unsigned status, const QString &server, const QStringList &names, bool selfSigned,
                  const QString &caFile)
{
    QStringList reasons;
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA)) {
        if (caFile.isEmpty())
            reasons << Messages::tr("it is signed by an authority this computer does not trust");
        else if (selfSigned)
            reasons << Messages::tr("it is signed by the server itself, and %1 does not hold it").arg(caFile);
        else
            reasons << Messages::tr("it is signed by an authority that %1 does not hold").arg(caFile);
    }
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER) {
        reasons << (names.isEmpty() ? Messages::tr("it names no host at all, not %1 either").arg(server)
                                    : Messages::tr("it was issued for %1, not for %2")
                                          .arg(names.join(QLatin1String(", ")), server));
    }
    if (status & GNUTLS_CERT_EXPIRED)
        reasons << Messages::tr("it has expired");
    if (status & GNUTLS_CERT_NOT_ACTIVATED)
        reasons << Messages::tr("it is not valid yet");
    if (status & GNUTLS_CERT_REVOKED)
        reasons << Messages::tr("it has been revoked");
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        reasons << Messages::tr("it is signed with an insecure algorithm");
    if (reasons.isEmpty())
        reasons << Messages::tr("it is not a valid certificate");
    return reasons.join(QLatin1String("; "));
}

// The refusal of a certificate no authority vouches for, with what to do.
QString refusal(unsigned status, const QString &server, const QStringList &names, bool selfSigned,
                const QString &caFile)
{
    QStringList advice;
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        advice << Messages::tr("Connect with a name the certificate holds, or have the certificate issued for %1.")
                      .arg(server);
    if (!(status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))) {
        if (advice.isEmpty())
            advice << Messages::tr("Ask whoever runs the server to renew its certificate.");
    } else if (caFile.isEmpty()) {
        advice << Messages::tr("Check the server's address; if the server's certificate authority is your own, "
                               "give its certificate with --x509ca FILE.");
    } else {
        advice << Messages::tr("Check that %1 is the right file: it must hold the certificate of the authority "
                               "that signed the server's, or the server's own if it signed it itself. Without "
                               "--x509ca you may choose to trust a self-signed certificate yourself.")
                      .arg(caFile);
    }
    return Messages::tr("The server's certificate was refused: %1. %2")
        .arg(reasonFor(status, server, names, selfSigned, caFile), advice.join(QLatin1Char(' ')));
}
} // namespace

TlsChannel::~TlsChannel()
{
    release();
}

void TlsChannel::release()
{
    if (anonymousCredentials)
        gnutls_anon_free_client_credentials(static_cast<gnutls_anon_client_credentials_t>(anonymousCredentials));
    if (certificateCredentials)
        gnutls_certificate_free_credentials(static_cast<gnutls_certificate_credentials_t>(certificateCredentials));
    anonymousCredentials = nullptr;
    certificateCredentials = nullptr;
}

bool TlsChannel::start(rfbClient *client, Kind kind, const QString &server, int port, const QString &caFile,
                       SessionHost &host)
{
    // Once for the process, and left set up: sessions of other connections
    // may live on.
    static const int setUp = gnutls_global_init();
    if (setUp < 0) {
        host.fail(Messages::tr("The secure connection could not be prepared (%1).")
                      .arg(QString::fromUtf8(gnutls_strerror(setUp))));
        return false;
    }
    gnutls_session_t session = nullptr;
    // No SIGPIPE: input may be sent from the GUI thread (DirectOutput),
    // which does not block it.
    if (gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) < 0) {
        host.fail(Messages::tr("The secure connection could not be prepared (out of memory)."));
        return false;
    }
    int result = 0;
    if (kind == Anonymous) {
        gnutls_anon_client_credentials_t credentials;
        result = gnutls_anon_allocate_client_credentials(&credentials);
        if (result >= 0) {
            anonymousCredentials = credentials;
            gnutls_priority_set_direct(session, "NORMAL:+ANON-ECDH:+ANON-DH", nullptr);
            result = gnutls_credentials_set(session, GNUTLS_CRD_ANON, credentials);
        }
    } else {
        gnutls_certificate_credentials_t credentials;
        result = gnutls_certificate_allocate_credentials(&credentials);
        if (result >= 0) {
            certificateCredentials = credentials;
            if (!caFile.isEmpty()) {
                if (gnutls_certificate_set_x509_trust_file(credentials, QFile::encodeName(caFile).constData(),
                                                           GNUTLS_X509_FMT_PEM)
                    <= 0) {
                    gnutls_deinit(session);
                    host.fail(Messages::tr("No certificate authority could be read from %1. Give a file of "
                                           "PEM certificates with --x509ca.")
                                  .arg(caFile));
                    return false;
                }
            } else {
                gnutls_certificate_set_x509_system_trust(credentials);
            }
            gnutls_set_default_priority(session);
            result = gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
            // Servers with several names pick theirs from it; an address is no name.
            const QByteArray name = server.toUtf8();
            unsigned char address[16];
            if (inet_pton(AF_INET, name.constData(), address) != 1
                && inet_pton(AF_INET6, name.constData(), address) != 1) {
                gnutls_server_name_set(session, GNUTLS_NAME_DNS, name.constData(), size_t(name.size()));
            }
        }
    }
    if (result < 0) {
        gnutls_deinit(session);
        host.fail(Messages::tr("The secure connection could not be prepared (%1).")
                      .arg(QString::fromUtf8(gnutls_strerror(result))));
        return false;
    }
    gnutls_transport_set_int(session, client->sock);
    if (!handshake(session, client->sock, host)
        || (kind == Certificate && !checkCertificate(session, server, port, caFile, host))) {
        gnutls_deinit(session);
        return false;
    }
    // The library locks this around every TLS read and write.
    pthread_mutex_init(&client->tlsRwMutex, nullptr);
    client->tlsSession = session;
    return true;
}

bool TlsChannel::handshake(void *handle, int sock, SessionHost &host)
{
    const auto session = static_cast<gnutls_session_t>(handle);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int result = gnutls_handshake(session);
        if (result == GNUTLS_E_SUCCESS)
            return true;
        if (host.stopRequested())
            return false;
        if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED || !gnutls_error_is_fatal(result)) {
            const int left = handshakeTimeoutMs - int(clock.elapsed());
            if (left > 0 && waitForSocket(session, sock, host, left))
                continue;
            if (host.stopRequested())
                return false;
            host.fail(Messages::tr("The server did not complete the secure connection in time. "
                                   "Check the network, then connect again."));
            return false;
        }
        qCDebug(lcSession) << "TLS handshake failed:" << gnutls_strerror(result);
        host.fail(Messages::tr("The secure connection to the server failed (%1). Check the server's TLS "
                               "settings, or choose other security types with --security.")
                      .arg(QString::fromUtf8(gnutls_strerror(result))));
        return false;
    }
}

bool TlsChannel::checkCertificate(void *handle, const QString &server, int port, const QString &caFile,
                                  SessionHost &host)
{
    const auto session = static_cast<gnutls_session_t>(handle);
    unsigned count = 0;
    const gnutls_datum_t *chain = gnutls_certificate_get_peers(session, &count);
    gnutls_x509_crt_t leaf = nullptr;
    if (!chain || count == 0 || gnutls_x509_crt_init(&leaf) < 0
        || gnutls_x509_crt_import(leaf, &chain[0], GNUTLS_X509_FMT_DER) < 0) {
        if (leaf)
            gnutls_x509_crt_deinit(leaf);
        host.fail(Messages::tr("The server sent no usable certificate. Choose other security types with "
                               "--security, or fix the server's certificate."));
        return false;
    }
    QByteArray fingerprint(32, '\0');
    size_t size = size_t(fingerprint.size());
    gnutls_x509_crt_get_fingerprint(leaf, GNUTLS_DIG_SHA256, fingerprint.data(), &size);
    fingerprint.resize(int(size));
    const bool selfSigned = gnutls_x509_crt_check_issuer(leaf, leaf) != 0;
    const QStringList names = namesOf(leaf);
    gnutls_x509_crt_deinit(leaf);

    unsigned status = 0;
    const QByteArray name = server.toUtf8();
    if (gnutls_certificate_verify_peers3(session, name.constData(), &status) < 0)
        status = GNUTLS_CERT_INVALID;
    if (status == 0) {
        proven = ServerIdentity::VerifiedByAuthority;
        return true;
    }
    // With --x509ca the user named the authorities to trust: only those.
    if (!selfSigned || !caFile.isEmpty()) {
        host.fail(refusal(status, server, names, selfSigned, caFile));
        return false;
    }

    const QString storeKey = CertificateStore::key(server, port);
    const QByteArray trusted = CertificateStore::trusted(storeKey);
    if (!trusted.isEmpty()) {
        if (trusted == fingerprint) {
            proven = ServerIdentity::TrustedByUser;
            return true;
        }
        host.fail(Messages::tr("The certificate of %1 has changed since you trusted it: someone may be "
                               "intercepting the connection. If the server's certificate was replaced on "
                               "purpose, remove this line from %2, then connect again:\n%3")
                      .arg(storeKey, CertificateStore::fileName(), CertificateStore::line(storeKey, trusted)));
        return false;
    }
    const unsigned otherProblems =
        status & ~unsigned(GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA);
    const QString problems =
        otherProblems ? Messages::tr("\n\nBeware: %1.").arg(reasonFor(otherProblems, server, names, true, caFile))
                      : QString();
    const QString question =
        Messages::tr("The server %1 identifies itself with a certificate that it signed itself, so no "
                     "authority vouches for it.%2\n\nSHA-256 fingerprint:\n%3\n\nTrust it only if this "
                     "fingerprint matches the server's own. Trust this certificate and connect?")
            .arg(storeKey, problems, fingerprintText(fingerprint));
    if (!host.confirm(question)) {
        if (!host.stopRequested())
            host.fail(Messages::tr("The server's certificate was not trusted, so the connection was ended."));
        return false;
    }
    if (!CertificateStore::trust(storeKey, fingerprint))
        qCDebug(lcSession) << "the trusted certificate could not be stored";
    proven = ServerIdentity::TrustedByUser;
    return true;
}

void TlsChannel::close(rfbClient *client, int ms)
{
    if (!client->tlsSession)
        return;
    const auto session = static_cast<gnutls_session_t>(client->tlsSession);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int result = gnutls_bye(session, GNUTLS_SHUT_WR);
        if (result != GNUTLS_E_AGAIN && result != GNUTLS_E_INTERRUPTED)
            return;
        const int left = ms - int(clock.elapsed());
        pollfd fd = {client->sock, POLLOUT, 0};
        if (left <= 0 || poll(&fd, 1, left) <= 0)
            return;
    }
}
