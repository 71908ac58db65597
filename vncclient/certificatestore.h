#ifndef CERTIFICATESTORE_H
#define CERTIFICATESTORE_H

#include <QByteArray>
#include <QString>

// The self-signed certificates the user chose to trust, one per server, in
// a text file of the user's configuration directory that only the user can
// read: one line per server, "host:port sha256:HEX", like SSH's known hosts.
// Lines it does not understand are kept as they are.
namespace CertificateStore
{
QString fileName();
// How a server is filed: "host:port", an IPv6 address in brackets.
QString key(const QString &host, int port);
// The line that trusts 'fingerprint' (SHA-256) for 'server', a key().
QString line(const QString &server, const QByteArray &fingerprint);
// The fingerprint trusted for 'server', or empty when none is.
QByteArray trusted(const QString &server);
// False when the file could not be written.
bool trust(const QString &server, const QByteArray &fingerprint);
} // namespace CertificateStore

#endif
