#ifndef SERVERENTRY_H
#define SERVERENTRY_H

#include "commandline.h"
#include "connectionoptions.h"

#include <QList>
#include <QString>
#include <QUrl>

// A server the user saved, with how to show it. Never holds a password:
// that lives in the system's keyring (PasswordVault) or nowhere.
struct ServerEntry {
    enum Scaling { Fit, ActualSize, Zoom };

    QString name;
    QString address;       // as the user typed it: host, host:1, host::5901, vnc://...
    QString userName;
    Quality quality = Quality::Auto; // "auto" or 1-3 in the file
    QString securityTypes; // as --security takes it; empty: every type
    QString caFile;
    QString via;        // [user@]gateway[:port] of an SSH tunnel; empty: directly
    QString repeaterId; // the address is a repeater's, asked for this ID; empty: none
    bool viewOnly = false;
    Scaling scaling = Fit;
    int zoomPercent = 150; // for Zoom
    bool fullscreen = false;
    bool remoteResize = false;
    bool touchpad = false;
    bool rememberPassword = false;

    bool operator==(const ServerEntry &other) const;
};

// What a connection needs: the address, how to sign in, how the window
// behaves. Settings given on the command line win over the entry's.
struct SessionSettings {
    QUrl url;
    ConnectionOptions options;
    WindowOptions window;
    ServerEntry::Scaling scaling = ServerEntry::Fit;
    int zoomPercent = 100;
};

// Turns what a person types (host, host:1, host::5901, [::1]:1, vnc://...)
// into a vnc:// URL; on failure says why.
bool addressToUrl(const QString &address, QUrl *url, QString *error);

// The entry's settings, with the command line's over them; on failure
// (a bad address, unknown security types) says why.
bool sessionSettings(const ServerEntry &entry, const CommandLine &given, SessionSettings *out, QString *error);

// The saved servers and the recently used ones, in two text files a person
// can read and edit, under the user's configuration folder; each written
// whole, atomically.
class ServerStore
{
public:
    // One recently used server: a saved one by name, or a typed address.
    struct Recent {
        QString name;    // of a saved server, or empty
        QString address; // for a typed address
        bool operator==(const Recent &other) const { return name == other.name && address == other.address; }
    };

    static constexpr int recentLimit = 10;

    // Reads both files; a missing file is an empty list.
    void load();
    const QList<ServerEntry> &servers() const { return saved; }
    const QList<Recent> &recent() const { return recents; }
    const ServerEntry *find(const QString &name) const;

    // Each writes its file at once and says why it could not.
    bool put(const ServerEntry &entry, const QString &oldName, QString *error);
    bool remove(const QString &name, QString *error);
    bool noteUsed(const Recent &used, QString *error);
    bool forget(const Recent &used, QString *error);

    // A name not taken yet, for a copy: "Office (2)".
    QString freeName(const QString &wanted) const;

    static QString folder();
    static QString serversPath();
    static QString recentPath();
    // For the command line: whether 'name' is a saved server's.
    static bool isSavedName(const QString &name);

private:
    bool writeServers(QString *error) const;
    bool writeRecent(QString *error) const;

    QList<ServerEntry> saved;
    QList<Recent> recents;
};

#endif
