#include "serverentry.h"

#include "securitytypes.h"
#include "serverurl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

struct StoreText {
    Q_DECLARE_TR_FUNCTIONS(ServerStore)
};

// The yes/no settings, as the file names them.
struct Flag {
    const char *key;
    bool ServerEntry::*member;
};
const Flag flags[] = {
    {"view-only", &ServerEntry::viewOnly},
    {"fullscreen", &ServerEntry::fullscreen},
    {"remote-resize", &ServerEntry::remoteResize},
    {"touchpad", &ServerEntry::touchpad},
    {"remember-password", &ServerEntry::rememberPassword},
};

QString scalingText(const ServerEntry &e)
{
    switch (e.scaling) {
    case ServerEntry::ActualSize:
        return QStringLiteral("1:1");
    case ServerEntry::Zoom:
        return QStringLiteral("%1%").arg(e.zoomPercent);
    case ServerEntry::Fit:
        break;
    }
    return QStringLiteral("fit");
}

void readScaling(const QString &text, ServerEntry *e)
{
    e->scaling = ServerEntry::Fit;
    if (text == QLatin1String("1:1")) {
        e->scaling = ServerEntry::ActualSize;
    } else if (text.endsWith(QLatin1Char('%'))) {
        bool ok = false;
        const int percent = text.chopped(1).toInt(&ok);
        if (ok && percent >= 25 && percent <= 400) {
            e->scaling = ServerEntry::Zoom;
            e->zoomPercent = percent;
        }
    }
}

// Sets one key of an entry; unknown keys are passed over, so that a newer
// file still opens.
void readKey(ServerEntry *e, const QString &key, const QString &value)
{
    for (const Flag &f : flags) {
        if (key == QLatin1String(f.key))
            e->*f.member = value == QLatin1String("true");
    }
    if (key == QLatin1String("address"))
        e->address = value;
    else if (key == QLatin1String("user"))
        e->userName = value;
    else if (key == QLatin1String("security"))
        e->securityTypes = value;
    else if (key == QLatin1String("ca"))
        e->caFile = value;
    else if (key == QLatin1String("via"))
        e->via = value;
    else if (key == QLatin1String("repeater-id"))
        e->repeaterId = value;
    else if (key == QLatin1String("scaling"))
        readScaling(value, e);
    else if (key == QLatin1String("quality"))
        e->quality = value == QLatin1String("auto") ? Quality::Auto : Quality(qBound(1, value.toInt(), 3));
}

// Lines without comments and blank lines, trimmed.
QStringList contentLines(const QString &path)
{
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')) && !line.startsWith(QLatin1Char(';')))
            lines << line;
    }
    return lines;
}

bool writeFile(const QString &path, const QString &text, QString *error)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write(text.toUtf8());
        if (file.commit())
            return true;
    }
    *error = StoreText::tr("Cannot write %1: %2. Check that the folder is writable and the disk not full.")
                 .arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

} // namespace

bool ServerEntry::operator==(const ServerEntry &o) const
{
    return name == o.name && address == o.address && userName == o.userName && quality == o.quality
           && securityTypes == o.securityTypes && caFile == o.caFile && via == o.via
           && repeaterId == o.repeaterId && viewOnly == o.viewOnly
           && scaling == o.scaling && (scaling != Zoom || zoomPercent == o.zoomPercent)
           && fullscreen == o.fullscreen && remoteResize == o.remoteResize && touchpad == o.touchpad
           && rememberPassword == o.rememberPassword;
}

bool addressToUrl(const QString &typed, QUrl *url, QString *error)
{
    QString text = typed.trimmed();
    if (!text.contains(QLatin1String("://"))) {
        // host::port names a port, host:N a display: the URL's own rule
        // for ports below 100 covers the latter.
        static const QRegularExpression twoColons(QStringLiteral("^([^:\\[\\]]+|\\[[^\\]]*\\])::(\\d+)$"));
        const QRegularExpressionMatch m = twoColons.match(text);
        if (m.hasMatch())
            text = m.captured(1) + QLatin1Char(':') + m.captured(2);
        text.prepend(QLatin1String("vnc://"));
    }
    return parseServerUrl(text, url, error);
}

bool sessionSettings(const ServerEntry &e, const CommandLine &given, SessionSettings *out, QString *error)
{
    SessionSettings s;
    if (!addressToUrl(e.address, &s.url, error))
        return false;
    s.options = given.options;
    if (!given.qualityGiven)
        s.options.quality = e.quality;
    if (s.options.userName.isEmpty())
        s.options.userName = !e.userName.isEmpty() ? e.userName : s.url.userName();
    if (s.options.securityTypes.isEmpty() && !e.securityTypes.isEmpty()
        && !SecurityTypes::parseList(e.securityTypes, &s.options.securityTypes, error))
        return false;
    if (s.options.caFile.isEmpty())
        s.options.caFile = e.caFile;
    if (s.options.via.isEmpty())
        s.options.via = e.via;
    if (s.options.repeaterId.isEmpty())
        s.options.repeaterId = e.repeaterId;
    if (s.options.password.isNull() && !s.url.password().isEmpty())
        s.options.password = s.url.password();
    s.window = given.window;
    s.window.viewOnly |= e.viewOnly;
    s.window.fullscreen |= e.fullscreen;
    s.window.remoteResize |= e.remoteResize;
    s.window.touchpad |= e.touchpad;
    s.scaling = e.scaling;
    s.zoomPercent = e.zoomPercent;
    *out = s;
    return true;
}

void ServerStore::load()
{
    saved.clear();
    recents.clear();
    ServerEntry *current = nullptr;
    for (const QString &line : contentLines(serversPath())) {
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            saved.append(ServerEntry());
            current = &saved.last();
            current->name = line.mid(1, line.size() - 2).trimmed();
        } else if (current && line.contains(QLatin1Char('='))) {
            readKey(current, line.section(QLatin1Char('='), 0, 0).trimmed(),
                    line.section(QLatin1Char('='), 1).trimmed());
        }
    }
    for (const QString &line : contentLines(recentPath())) {
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (line.startsWith(QLatin1String("server=")) && find(value))
            recents.append({value, QString()});
        else if (line.startsWith(QLatin1String("address=")))
            recents.append({QString(), value});
    }
}

const ServerEntry *ServerStore::find(const QString &name) const
{
    for (const ServerEntry &e : saved) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}

bool ServerStore::put(const ServerEntry &entry, const QString &oldName, QString *error)
{
    const QList<ServerEntry> before = saved;
    const QList<Recent> recentBefore = recents;
    auto it = std::find_if(saved.begin(), saved.end(), [&](const ServerEntry &e) { return e.name == oldName; });
    if (!oldName.isEmpty() && it != saved.end())
        *it = entry;
    else
        saved.append(entry);
    for (Recent &r : recents) {
        if (!oldName.isEmpty() && r.name == oldName)
            r.name = entry.name;
    }
    if (writeServers(error) && writeRecent(error))
        return true;
    saved = before;
    recents = recentBefore;
    return false;
}

bool ServerStore::remove(const QString &name, QString *error)
{
    const QList<ServerEntry> before = saved;
    saved.removeIf([&](const ServerEntry &e) { return e.name == name; });
    if (!writeServers(error)) {
        saved = before;
        return false;
    }
    recents.removeAll(Recent{name, QString()});
    return writeRecent(error);
}

bool ServerStore::noteUsed(const Recent &used, QString *error)
{
    recents.removeAll(used);
    recents.prepend(used);
    while (recents.size() > recentLimit)
        recents.removeLast();
    return writeRecent(error);
}

bool ServerStore::forget(const Recent &used, QString *error)
{
    recents.removeAll(used);
    return writeRecent(error);
}

QString ServerStore::freeName(const QString &wanted) const
{
    QString name = wanted;
    for (int n = 2; find(name); ++n)
        name = QStringLiteral("%1 (%2)").arg(wanted).arg(n);
    return name;
}

bool ServerStore::writeServers(QString *error) const
{
    QString text = QStringLiteral("# vemo's saved servers: one [section] per server, named as in the list.\n"
                                  "# Passwords are never kept here.\n");
    for (const ServerEntry &e : saved) {
        text += QStringLiteral("\n[%1]\naddress=%2\n").arg(e.name, e.address);
        if (!e.userName.isEmpty())
            text += QStringLiteral("user=%1\n").arg(e.userName);
        text += e.quality == Quality::Auto ? QStringLiteral("quality=auto\n")
                                           : QStringLiteral("quality=%1\n").arg(int(e.quality));
        if (!e.securityTypes.isEmpty())
            text += QStringLiteral("security=%1\n").arg(e.securityTypes);
        if (!e.caFile.isEmpty())
            text += QStringLiteral("ca=%1\n").arg(e.caFile);
        if (!e.via.isEmpty())
            text += QStringLiteral("via=%1\n").arg(e.via);
        if (!e.repeaterId.isEmpty())
            text += QStringLiteral("repeater-id=%1\n").arg(e.repeaterId);
        text += QStringLiteral("scaling=%1\n").arg(scalingText(e));
        for (const Flag &f : flags)
            text += QStringLiteral("%1=%2\n").arg(QLatin1String(f.key), e.*f.member ? "true" : "false");
    }
    return writeFile(serversPath(), text, error);
}

bool ServerStore::writeRecent(QString *error) const
{
    QString text = QStringLiteral("# Servers vemo connected to, most recent first.\n");
    for (const Recent &r : recents)
        text += r.name.isEmpty() ? QStringLiteral("address=%1\n").arg(r.address) : QStringLiteral("server=%1\n").arg(r.name);
    return writeFile(recentPath(), text, error);
}

QString ServerStore::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/vemo");
}

QString ServerStore::serversPath()
{
    return folder() + QLatin1String("/servers.ini");
}

QString ServerStore::recentPath()
{
    return folder() + QLatin1String("/recent.ini");
}

bool ServerStore::isSavedName(const QString &name)
{
    ServerStore store;
    store.load();
    return store.find(name) != nullptr;
}
