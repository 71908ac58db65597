#include "certificatestore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace CertificateStore
{
namespace
{
// Host names may hold characters QSettings reads as groups or escapes.
QString keyFor(const QString &server)
{
    return QString::fromLatin1(server.toUtf8().toPercentEncoding());
}
} // namespace

QString fileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QLatin1String("/vemo/trusted-certificates");
}

QByteArray trusted(const QString &server)
{
    const QSettings store(fileName(), QSettings::IniFormat);
    return QByteArray::fromHex(store.value(keyFor(server)).toByteArray());
}

void trust(const QString &server, const QByteArray &fingerprint)
{
    QDir().mkpath(QFileInfo(fileName()).absolutePath());
    QSettings store(fileName(), QSettings::IniFormat);
    store.setValue(keyFor(server), fingerprint.toHex());
    store.sync();
}
} // namespace CertificateStore
