#ifndef CERTIFICATESTORE_H
#define CERTIFICATESTORE_H

#include <QByteArray>
#include <QString>

// The self-signed certificates the user chose to trust, one per server
// (host and port), kept as SHA-256 fingerprints in the user's
// configuration directory.
namespace CertificateStore
{
QString fileName();
// The fingerprint trusted for 'server', or empty when none is.
QByteArray trusted(const QString &server);
void trust(const QString &server, const QByteArray &fingerprint);
} // namespace CertificateStore

#endif
