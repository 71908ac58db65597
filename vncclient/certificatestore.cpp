#include "certificatestore.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace CertificateStore
{
namespace
{
const QByteArray digestPrefix = QByteArrayLiteral("sha256:");
constexpr int digestSize = 32;

QString directory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/vemo");
}

// Earlier versions kept the store as a QSettings file, keys percent-encoded.
QString oldFileName()
{
    return directory() + QLatin1String("/trusted-certificates");
}

// The fingerprint of a line naming 'server'; empty when the line is another
// server's, a comment or not understood.
QByteArray fingerprintIn(const QByteArray &text, const QString &server)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    if (fields.size() != 2 || QString::fromUtf8(fields[0]) != server || !fields[1].startsWith(digestPrefix))
        return QByteArray();
    const QByteArray hex = fields[1].mid(digestPrefix.size()).replace(':', QByteArray()).toLower();
    const QByteArray fingerprint = QByteArray::fromHex(hex);
    // fromHex() skips what is not hex: the round trip tells.
    return fingerprint.size() == digestSize && fingerprint.toHex() == hex ? fingerprint : QByteArray();
}

// False when the file exists but cannot be read: then it must not be
// replaced, or the lines in it would be lost.
bool readLines(const QString &path, QList<QByteArray> *lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    *lines = file.readAll().split('\n');
    if (!lines->isEmpty() && lines->last().isEmpty())
        lines->removeLast();
    return true;
}

// Replaced as a whole, so that a crash leaves the old file or the new one.
bool writeLines(const QList<QByteArray> &lines)
{
    QDir().mkpath(directory());
    QSaveFile file(fileName());
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    for (const QByteArray &text : lines)
        file.write(text + '\n');
    return file.commit();
}

// Sets the line of 'server', replacing its earlier one unless 'keep'.
void put(QList<QByteArray> *lines, const QString &server, const QByteArray &fingerprint, bool keep)
{
    const QByteArray text = line(server, fingerprint).toUtf8();
    for (QByteArray &existing : *lines) {
        if (!fingerprintIn(existing, server).isEmpty()) {
            if (!keep)
                existing = text;
            return;
        }
    }
    lines->append(text);
}

// The old file is read once: its entries join the new file, then it goes.
void convertOldStore()
{
    if (!QFile::exists(oldFileName()))
        return;
    QList<QByteArray> lines;
    if (!readLines(fileName(), &lines))
        return;
    {
        const QSettings old(oldFileName(), QSettings::IniFormat);
        for (const QString &oldKey : old.allKeys()) {
            const QString server = QString::fromUtf8(QByteArray::fromPercentEncoding(oldKey.toLatin1()));
            const int colon = server.lastIndexOf(QLatin1Char(':'));
            const QByteArray fingerprint = QByteArray::fromHex(old.value(oldKey).toByteArray());
            if (colon > 0 && fingerprint.size() == digestSize)
                put(&lines, key(server.left(colon), server.mid(colon + 1).toInt()), fingerprint, true);
        }
    }
    if (writeLines(lines))
        QFile::remove(oldFileName());
}
} // namespace

QString fileName()
{
    return directory() + QLatin1String("/known-certificates");
}

QString key(const QString &host, int port)
{
    const bool bracketed = host.size() > 1 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    const QString bare = bracketed ? host.mid(1, host.size() - 2) : host;
    return (bare.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(bare).arg(port);
}

QString line(const QString &server, const QByteArray &fingerprint)
{
    return server + QLatin1Char(' ') + QString::fromLatin1(digestPrefix + fingerprint.toHex().toUpper());
}

QByteArray trusted(const QString &server)
{
    convertOldStore();
    QList<QByteArray> lines;
    readLines(fileName(), &lines);
    for (const QByteArray &text : lines) {
        const QByteArray fingerprint = fingerprintIn(text, server);
        if (!fingerprint.isEmpty())
            return fingerprint;
    }
    return QByteArray();
}

bool trust(const QString &server, const QByteArray &fingerprint)
{
    convertOldStore();
    QList<QByteArray> lines;
    if (!readLines(fileName(), &lines))
        return false;
    put(&lines, server, fingerprint, false);
    return writeLines(lines);
}
} // namespace CertificateStore
