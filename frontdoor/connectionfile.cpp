#include "connectionfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

struct FileText {
    Q_DECLARE_TR_FUNCTIONS(ConnectionFile)
};

const char firstLine[] = "TigerVNC Configuration file Version 1.0";

// The file's yes/no options that vemo has.
struct Flag {
    const char *name;
    bool ServerEntry::*member;
};
const Flag flags[] = {
    {"ViewOnly", &ServerEntry::viewOnly},
    {"FullScreen", &ServerEntry::fullscreen},
    {"RemoteResize", &ServerEntry::remoteResize},
};

bool isYes(const QString &value)
{
    return value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
           || value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool ConnectionFile::read(const QString &path, ServerEntry *entry, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = FileText::tr("Cannot open %1: %2.").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    ServerEntry e;
    e.name = QFileInfo(path).completeBaseName();
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || equals <= 0)
            continue;
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        const auto is = [&](const char *n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
        for (const Flag &f : flags) {
            if (is(f.name))
                e.*f.member = isYes(value);
        }
        if (is("ServerName"))
            e.address = value;
        else if (is("SecurityTypes"))
            e.securityTypes = value;
        else if (is("X509CA"))
            e.caFile = value;
    }
    if (e.address.isEmpty()) {
        *error = FileText::tr("%1 names no server (no ServerName= line): choose a connection file.")
                     .arg(QDir::toNativeSeparators(path));
        return false;
    }
    *entry = e;
    return true;
}

bool ConnectionFile::write(const QString &path, const ServerEntry &e, QString *error)
{
    QString text = QLatin1String(firstLine) + QLatin1Char('\n');
    text += QStringLiteral("ServerName=%1\n").arg(e.address);
    if (!e.securityTypes.isEmpty())
        text += QStringLiteral("SecurityTypes=%1\n").arg(e.securityTypes);
    if (!e.caFile.isEmpty())
        text += QStringLiteral("X509CA=%1\n").arg(e.caFile);
    for (const Flag &f : flags)
        text += QStringLiteral("%1=%2\n").arg(QLatin1String(f.name)).arg(e.*f.member ? 1 : 0);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(text.toUtf8());
        if (file.commit())
            return true;
    }
    *error = FileText::tr("Cannot write %1: %2. Choose another folder.")
                 .arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}
