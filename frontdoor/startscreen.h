#ifndef STARTSCREEN_H
#define STARTSCREEN_H

#include "commandline.h"
#include "serverentry.h"
#include "vemo.h"

#include <QPointer>
#include <QWidget>

class Discovery;
class PasswordVault;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;


// The window vemo opens with: recent servers, saved ones and those found on
// the local network, an address field, and what adds, edits, duplicates,
// deletes and exports saved servers. A session runs in a window of its
// own; when the user disconnects, this window comes back.
class StartScreen : public QWidget
{
    Q_OBJECT

public:
    // What main() read; the window connects at once when it names a
    // server (a URL, a saved server, a connection file).
    static void setCommandLine(const CommandLine &commandLine);
    static const CommandLine &commandLine();
    // Whether 'name' names a saved server or a connection file.
    static bool isStartName(const QString &name);
    // The start screen serves every start but listening for servers.
    static bool wanted();

    StartScreen(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~StartScreen() override;

    // The window of the running session, or null.
    Vemo *session() const { return current; }

    void setVisible(bool visible) override;

public slots:
    // Connects to what the selected row names, or to the typed address.
    void connectSelected();
    void connectTyped();
    void addServer();
    void editServer();
    void duplicateServer();
    void deleteServer();
    void exportServer();
    // Asks for a connection file and connects to what it names.
    void openDocument();
    void openConnectionFile(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum Kind { Heading, Recent, Saved, Found };
    // Item data of a row: its Kind; a saved server's name or an address;
    // whether a recent row holds a typed address rather than a saved server.
    enum Role { KindRole = Qt::UserRole, KeyRole, TypedRole };

    void buildMenu();
    void showRowMenu(const QPoint &at);
    void refresh();
    void showProblem(const QString &text);
    const ServerEntry *selectedSaved() const;
    void editEntry(const ServerEntry &entry, const QString &oldName);
    void keepPassword(const ServerEntry &entry, const QString &oldName, const QString &typed);
    QListWidgetItem *addRow(Kind kind, const QString &title, const QString &detail, const QString &key);

    // startscreen_sessions.cpp
    void connectEntry(const ServerEntry &entry, const ServerStore::Recent &used);
    void openSession(const SessionSettings &settings, const ServerStore::Recent &used);
    void applyScaling(const SessionSettings &settings);
    void returnOnFailure();
    void endSession();

    ServerStore store;
    // Made when first needed: a session started with an address has no use
    // for them, and each costs a D-Bus connection and its thread.
    PasswordVault *passwords();
    PasswordVault *vault = nullptr;
    Discovery *discovery = nullptr; // both from the first time this screen shows
    QLineEdit *address;
    QListWidget *list;
    QLabel *problem;
    QPointer<Vemo> current;
    bool heldForMenu = false;
    bool opening = false; // a session is on its way: the window stays hidden
};

#endif
