// Sessions through an SSH tunnel from a real OpenSSH server on loopback,
// with a HOME of the test's own (the agent, a key with a passphrase, the
// gateway's key in known_hosts: unknown, remembered, changed, and the
// failures each named where they happened), and through a repeater.
#include "e2e_servers.h"
#include "samepixels.h"
#include "testserver.h"
#include "viewharness.h"
#include "vncrepeater.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace
{
const char passphrase[] = "gateway-pass";
// sshd without PAM checks passwords against the system's users alone: the
// password row needs a user of its own, made for the test and removed after.
const char passwordUser[] = "vemo-ssh-test";
const char password[] = "tunnel-pw-1";

bool run(const QString &program, const QStringList &args, const QProcessEnvironment &env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, args);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning() << program << args << process.readAllStandardError();
    return ok;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

class TunnelE2eTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess sshd;
    QProcess agent;
    quint16 sshPort = 0;
    QByteArray savedHome = qgetenv("HOME");
    QByteArray savedAgent = qgetenv("SSH_AUTH_SOCK");
    std::unique_ptr<TestServer> vnc;
    std::unique_ptr<ViewHarness> harness; // the last connection
    bool userMade = false;

    QString path(const QString &name) const { return dir.filePath(name); }
    QString home(const QString &name) const { return dir.filePath("home/.ssh/" + name); }

    // An sshd on a free loopback port showing host key 'hostKey'.
    bool startGateway(const QString &hostKey)
    {
        stopProcess(sshd);
        sshPort = freePort();
        const QString config = QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2\nAuthorizedKeysFile %3\n"
                                              "PidFile %4\nUsePAM no\nStrictModes no\nPermitRootLogin yes\n"
                                              "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n")
                                   .arg(sshPort)
                                   .arg(path(hostKey), path("authorized_keys"), path("sshd.pid"));
        if (!sshPort || !writeAll(path("sshd_config"), config.toUtf8()))
            return false;
        sshd.setProcessChannelMode(QProcess::MergedChannels);
        sshd.start("/usr/sbin/sshd", {"-D", "-e", "-f", path("sshd_config")});
        return QTest::qWaitFor([this] { return sshd.readAll().contains("Server listening"); }, 10000);
    }

    // Connects a view to 'vncPort' with 'options' (through the gateway as
    // the user options.via, unless a repeater is named), typing 'typed' into
    // a passphrase or password dialog (empty: cancel) and answering a host
    // key question with 'accept'. Returns "connected" or "error:" and why.
    QString connectView(quint16 vncPort, ConnectionOptions options, const QString &typed, bool accept, bool *asked)
    {
        harness = std::make_unique<ViewHarness>(loopbackUrl(vncPort));
        ViewHarness &h = *harness;
        options.quality = Quality::High;
        options.via = options.repeaterId.isEmpty() ? QStringLiteral("%1@127.0.0.1:%2").arg(options.via).arg(sshPort)
                                                   : QString();
        h.view->setConnectionOptions(options);
        h.view->startConnecting();
        QString outcome;
        (void)QTest::qWaitFor(
            [&] {
                if (auto *dialog = h.window.findChild<QDialog *>("passwordDialog"); dialog && dialog->isVisible()) {
                    QLineEdit *field = dialog->findChild<QLineEdit *>("password");
                    QTest::keyClicks(field, typed);
                    QTest::keyClick(field, typed.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
                }
                if (auto *box = h.window.findChild<QMessageBox *>("certificateQuestion"); box && box->isVisible()) {
                    *asked = true;
                    box->button(accept ? QMessageBox::Yes : QMessageBox::No)->click();
                }
                if (h.view->currentStatus() == RemoteView::Connected)
                    outcome = "connected";
                else if (!h.errors.isEmpty())
                    outcome = "error:" + h.errors.first();
                return !outcome.isEmpty();
            },
            30000);
        return outcome;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        if (!QFile::exists("/usr/sbin/sshd"))
            QSKIP("openssh-server is missing: run scripts/install-deps.sh");
        // sshd refuses to start without its privilege separation directory,
        // which only its system service creates.
        if (!QDir().mkpath("/run/sshd"))
            QSKIP("sshd needs /run/sshd, which this user cannot create");
        QVERIFY(QDir().mkpath(dir.filePath("home/.ssh")));
        for (const char *key : {"host-a", "host-b", "agent-key"})
            QVERIFY(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path(key)}));
        QVERIFY(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-f", path("id_ed25519")}));
        QVERIFY(writeAll(path("authorized_keys"), readAll(path("agent-key.pub")) + readAll(path("id_ed25519.pub"))));
        // The agent holds the one key, the user's ~/.ssh the other.
        agent.start("ssh-agent", {"-D", "-a", path("agent.sock")});
        QTRY_VERIFY(QFile::exists(path("agent.sock")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SSH_AUTH_SOCK", path("agent.sock"));
        QVERIFY(run("ssh-add", {"-q", path("agent-key")}, env));
        // One left by an interrupted run is taken over.
        userMade = geteuid() == 0
                   && (getpwnam(passwordUser) || run("useradd", {"-M", "-s", "/bin/false", passwordUser}));
        if (userMade) {
            QProcess chpasswd;
            chpasswd.start("chpasswd");
            chpasswd.write(QByteArray(passwordUser) + ':' + password + '\n');
            chpasswd.closeWriteChannel();
            QVERIFY(chpasswd.waitForFinished() && chpasswd.exitCode() == 0);
        }
        qputenv("HOME", dir.filePath("home").toLocal8Bit());
        vnc = std::make_unique<TestServer>(160, 100);
        QVERIFY(vnc->start());
    }

    void cleanupTestCase()
    {
        harness.reset();
        stopProcess(sshd);
        stopProcess(agent);
        if (userMade)
            run("userdel", {passwordUser});
        qputenv("HOME", savedHome);
        qputenv("SSH_AUTH_SOCK", savedAgent);
    }

    void reachesTheServer_data()
    {
        QTest::addColumn<QString>("route");    // ssh, repeater, or repeater-id to a VNC server
        QTest::addColumn<QString>("hostKey");  // what the gateway shows
        QTest::addColumn<QString>("knownKey"); // in known_hosts beforehand (hashed); empty: none
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("useAgent");
        QTest::addColumn<bool>("keyFile");     // the passphrase-protected key in ~/.ssh
        QTest::addColumn<QString>("typed");    // into the passphrase or password dialog; empty cancels
        QTest::addColumn<bool>("accept");      // the answer to a host key question
        QTest::addColumn<QString>("server");   // picture (TestServer), tls (Xvnc) or none listening
        QTest::addColumn<QString>("outcome");  // "connected", or a part of the error message
        QTest::addColumn<bool>("asks");        // whether the host key is asked about
        QTest::addColumn<QString>("ending");   // once connected: who goes away, and what the user is told

        // route, gateway key, known key, user, agent, key file, typed, accept; server, outcome, asks, ending
        QTest::newRow("agent; unknown key accepted, then remembered")
            << "ssh" << "host-a" << "" << "root" << true << false << "" << true
            << "picture" << "connected" << true << "gateway|The SSH tunnel to the VNC server was lost";
        QTest::newRow("key with a passphrase")
            << "ssh" << "host-a" << "host-a" << "root" << false << true << passphrase << false
            << "picture" << "connected" << false << "server|VNC server closed connection";
        QTest::newRow("wrong passphrase")
            << "ssh" << "host-a" << "host-a" << "root" << false << true << "not-it" << false
            << "picture" << "refused to sign in" << false << "";
        QTest::newRow("passphrase cancelled")
            << "ssh" << "host-a" << "host-a" << "root" << false << true << "" << false
            << "picture" << "was cancelled" << false << "";
        QTest::newRow("unknown key declined")
            << "ssh" << "host-a" << "" << "root" << true << false << "" << false
            << "picture" << "key was not accepted" << true << "";
        QTest::newRow("changed key refused")
            << "ssh" << "host-b" << "host-a" << "root" << true << false << "" << true
            << "picture" << "ssh-keygen -f" << false << "";
        QTest::newRow("nothing listens behind the gateway")
            << "ssh" << "host-a" << "host-a" << "root" << true << false << "" << false
            << "none" << "could not reach the VNC server" << false << "";
        QTest::newRow("password")
            << "ssh" << "host-a" << "host-a" << passwordUser << false << false << password << false
            << "picture" << "connected" << false << "";
        QTest::newRow("the session's TLS inside the tunnel")
            << "ssh" << "host-a" << "host-a" << "root" << true << false << "" << false
            << "tls" << "connected" << false << "";
        QTest::newRow("repeater: the server registered under the ID")
            << "repeater" << "" << "" << "" << false << false << "" << false
            << "picture" << "connected" << false << "";
        QTest::newRow("repeater ID given to a VNC server")
            << "repeater-id to a VNC server" << "" << "" << "" << false << false << "" << false
            << "picture" << "not a VNC repeater" << false << "";
    }

    void reachesTheServer()
    {
        QFETCH(QString, route);
        QFETCH(QString, hostKey);
        QFETCH(QString, knownKey);
        QFETCH(QString, user);
        QFETCH(bool, useAgent);
        QFETCH(bool, keyFile);
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QFETCH(QString, server);
        QFETCH(QString, outcome);
        QFETCH(bool, asks);
        QFETCH(QString, ending);

        harness.reset();
        const QString knownHosts = home("known_hosts");
        QFile::remove(knownHosts);
        QFile::remove(home("id_ed25519"));
        if (keyFile) {
            QVERIFY(QFile::copy(path("id_ed25519"), home("id_ed25519")));
            QVERIFY(QFile::copy(path("id_ed25519.pub"), home("id_ed25519.pub")));
        }
        qputenv("SSH_AUTH_SOCK", useAgent ? path("agent.sock").toLocal8Bit() : QByteArray());
        if (user == passwordUser && !userMade)
            QSKIP("sshd checks passwords against the system's users: only root can make a test user");
        ConnectionOptions options;
        options.via = user;
        quint16 vncPort = server == "picture" ? vnc->port() : freePort();
        XServer desktop;
        if (server == "tls") {
            QVERIFY(!writeVncPasswordFile(path("vncpasswd"), "tls-pw").isEmpty());
            options.password = "tls-pw";
            QVERIFY(desktop.start(QStandardPaths::findExecutable("Xvnc"),
                                  {"-rfbport", QString::number(vncPort), "-localhost", "-SecurityTypes", "TLSVnc",
                                   "-geometry", "120x90", "-PasswordFile", path("vncpasswd")}));
        }
        vemotest::VncRepeater repeater;
        if (route.startsWith("repeater")) {
            QVERIFY(repeater.start());
            // Another server waits under another ID: the ID, not the order, pairs.
            repeater.registerServer("other", freePort());
            repeater.registerServer("1234", vnc->port());
            options.repeaterId = "1234";
            if (route == "repeater")
                vncPort = repeater.port();
        } else {
            QVERIFY(startGateway(hostKey));
        }
        const QString entry = QStringLiteral("[127.0.0.1]:%1").arg(sshPort);
        if (!knownKey.isEmpty()) {
            const QByteArray key = readAll(path(knownKey + ".pub")).split(' ').mid(0, 2).join(' ');
            QVERIFY(writeAll(knownHosts, entry.toUtf8() + ' ' + key + '\n'));
            QVERIFY(run("ssh-keygen", {"-q", "-H", "-f", knownHosts}));
        }

        bool asked = false;
        const QString result = connectView(vncPort, options, typed, accept, &asked);
        QFile::remove(home("id_ed25519.pub"));
        QVERIFY2(outcome == "connected" ? result == outcome : result.contains(outcome), qPrintable(result));
        QCOMPARE(asked, asks);
        if (outcome.startsWith("ssh-keygen"))
            QVERIFY2(result.contains(QStringLiteral("-R \"%1\"").arg(entry)), qPrintable(result));
        if (route == "repeater")
            QCOMPARE(repeater.askedIds(), QList<QByteArray>{"1234"});
        if (server == "tls")
            QCOMPARE(harness->view->securityText(), QString("encrypted, server not verified"));
        if (result == "connected" && server == "picture") {
            // The server's picture arrives, and keys go back.
            QTRY_VERIFY_WITH_TIMEOUT(samePixels(harness->view->grab().toImage(), vnc->framebuffer()), 10000);
            vnc->clearMessages();
            harness->view->setFocus();
            QTest::keyClick(harness->view, Qt::Key_Q);
            QVERIFY(vnc->waitForMessages(
                [](const QList<ClientMessage> &messages) {
                    return std::any_of(messages.begin(), messages.end(), [](const ClientMessage &m) {
                        return m.type == ClientMessage::Key && m.key == 'q';
                    });
                },
                10000));
        }
        if (!ending.isEmpty()) {
            // The gateway's process for this connection, or the VNC server's
            // end of it, goes away.
            if (ending.startsWith("gateway")) {
                // The connection's processes: sshd's children and theirs.
                QList<int> pids{int(sshd.processId())};
                for (qsizetype i = 0; i < pids.size(); ++i) {
                    for (const QByteArray &child :
                         readAll(QStringLiteral("/proc/%1/task/%1/children").arg(pids[i])).simplified().split(' '))
                        if (child.toInt() > 0)
                            pids += child.toInt();
                }
                for (int pid : pids.mid(1))
                    QVERIFY(kill(pid, SIGKILL) == 0);
            } else {
                vnc->dropConnections();
            }
            QTRY_VERIFY_WITH_TIMEOUT(harness->errors.value(0).contains(ending.section('|', 1)), 10000);
        }
        if (asks) {
            // Accepted: known_hosts holds the key, hashed as OpenSSH writes
            // it, and the gateway is not asked about again.
            QCOMPARE(readAll(knownHosts).contains(readAll(path(hostKey + ".pub")).split(' ').value(1)), accept);
            QVERIFY(!readAll(knownHosts).contains("127.0.0.1"));
            bool askedAgain = false;
            if (accept)
                QCOMPARE(connectView(vncPort, options, typed, accept, &askedAgain), QString("connected"));
            QVERIFY(!askedAgain);
        }
        harness.reset();
    }
};

VEMO_VIEW_TEST_MAIN(TunnelE2eTest)
#include "tunnel_e2e_test.moc"
