// Sessions through an SSH tunnel from a real OpenSSH server on loopback,
// with a HOME of the test's own: the agent, a key with a passphrase, the
// gateway's key in known_hosts (unknown, remembered, changed), and the
// failures each named where they happened.
#include "e2e_servers.h"
#include "samepixels.h"
#include "testserver.h"
#include "viewharness.h"
#include "vncrepeater.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QAbstractButton>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace
{
const char passphrase[] = "gateway-pass";

bool run(const QString &program, const QStringList &args, const QProcessEnvironment &env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, args);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << args << process.readAllStandardError();
        return false;
    }
    return true;
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

private slots:
    void initTestCase();
    void cleanupTestCase();
    void reachesTheServerThroughTheGateway_data();
    void reachesTheServerThroughTheGateway();
    void tlsRunsThroughTheTunnel();
    void reachesTheServerThroughARepeater_data();
    void reachesTheServerThroughARepeater();

private:
    // An sshd on a free loopback port showing host key 'hostKey'.
    bool startGateway(const QString &hostKey);
    void stopGateway();
    // Connects a view through the gateway to 'vncPort', typing 'typed' into
    // a passphrase dialog (empty: cancel) and answering a host key question
    // with 'accept'. Returns "connected" or "error:" and the message.
    QString connectThrough(quint16 vncPort, const QString &typed, bool accept, bool *asked,
                           ConnectionOptions options = {});
    // The connected view shows the server's picture, and a key typed reaches it.
    void checkPictureAndKeys();
    QString path(const QString &name) const { return dir.filePath(name); }
    QString home(const QString &name) const { return dir.filePath("home/.ssh/" + name); }

    QTemporaryDir dir;
    QProcess sshd;
    QProcess agent;
    quint16 sshPort = 0;
    QByteArray savedHome;
    QByteArray savedAgent;
    std::unique_ptr<TestServer> vnc;
    std::unique_ptr<ViewHarness> harness; // the last connection, kept for its picture and keys
};

void TunnelE2eTest::initTestCase()
{
    QVERIFY(dir.isValid());
    if (QStandardPaths::findExecutable("sshd", {"/usr/sbin"}).isEmpty())
        QSKIP("openssh-server is missing: run scripts/install-deps.sh");
    // sshd refuses to start without its privilege separation directory,
    // which only its system service creates.
    if (!QDir("/run/sshd").exists() && !QDir().mkpath("/run/sshd"))
        QSKIP("sshd needs /run/sshd, which this user cannot create");
    QVERIFY(QDir().mkpath(dir.filePath("home/.ssh")));
    for (const char *key : {"host-a", "host-b", "agent-key"})
        QVERIFY(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", path(key)}));
    QVERIFY(run("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-f", path("id_ed25519")}));
    QVERIFY(writeAll(path("authorized_keys"), readAll(path("agent-key.pub")) + readAll(path("id_ed25519.pub"))));

    // The agent holds the one key, the user's ~/.ssh the other.
    agent.start("ssh-agent", {"-D", "-a", path("agent.sock")});
    QVERIFY(agent.waitForStarted());
    QTRY_VERIFY(QFile::exists(path("agent.sock")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("SSH_AUTH_SOCK", path("agent.sock"));
    QVERIFY(run("ssh-add", {"-q", path("agent-key")}, env));

    savedHome = qgetenv("HOME");
    savedAgent = qgetenv("SSH_AUTH_SOCK");
    qputenv("HOME", dir.filePath("home").toLocal8Bit());
    vnc = std::make_unique<TestServer>(160, 100);
    QVERIFY(vnc->start());
}

void TunnelE2eTest::cleanupTestCase()
{
    harness.reset();
    stopGateway();
    stopProcess(agent);
    qputenv("HOME", savedHome);
    qputenv("SSH_AUTH_SOCK", savedAgent);
}

bool TunnelE2eTest::startGateway(const QString &hostKey)
{
    stopGateway();
    sshPort = freePort();
    const QString config = QStringLiteral("ListenAddress 127.0.0.1\nPort %1\nHostKey %2\nAuthorizedKeysFile %3\n"
                                          "PidFile %4\nUsePAM no\nStrictModes no\nPermitRootLogin yes\n"
                                          "PasswordAuthentication no\nKbdInteractiveAuthentication no\n")
                               .arg(sshPort)
                               .arg(path(hostKey), path("authorized_keys"), path("sshd.pid"));
    if (!sshPort || !writeAll(path("sshd_config"), config.toUtf8()))
        return false;
    sshd.setProcessChannelMode(QProcess::MergedChannels);
    sshd.start("/usr/sbin/sshd", {"-D", "-e", "-f", path("sshd_config")});
    return sshd.waitForStarted()
           && QTest::qWaitFor([this] { return sshd.readAll().contains("Server listening"); }, 10000);
}

void TunnelE2eTest::stopGateway()
{
    stopProcess(sshd);
}

QString TunnelE2eTest::connectThrough(quint16 vncPort, const QString &typed, bool accept, bool *asked,
                                      ConnectionOptions options)
{
    harness = std::make_unique<ViewHarness>(loopbackUrl(vncPort));
    ViewHarness &h = *harness;
    options.quality = RemoteView::High;
    if (options.repeaterId.isEmpty())
        options.via = QStringLiteral("root@127.0.0.1:%1").arg(sshPort);
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

void TunnelE2eTest::reachesTheServerThroughTheGateway_data()
{
    QTest::addColumn<QString>("hostKey");      // what the gateway shows
    QTest::addColumn<QString>("knownKey");     // in known_hosts beforehand (hashed); empty: none
    QTest::addColumn<bool>("useAgent");
    QTest::addColumn<bool>("keyFile");         // the passphrase-protected key in ~/.ssh
    QTest::addColumn<QString>("typed");        // into the passphrase dialog; empty cancels
    QTest::addColumn<bool>("accept");          // the answer to a host key question
    QTest::addColumn<bool>("vncListens");      // else the channel leads to a port where nothing listens
    QTest::addColumn<QString>("outcome");      // "connected", or a part of the error message
    QTest::addColumn<bool>("asks");            // whether the host key is asked about

    QTest::newRow("agent; unknown key accepted, then remembered")
        << "host-a" << "" << true << false << "" << true << true << "connected" << true;
    QTest::newRow("key with a passphrase")
        << "host-a" << "host-a" << false << true << passphrase << false << true << "connected" << false;
    QTest::newRow("wrong passphrase")
        << "host-a" << "host-a" << false << true << "not-it" << false << true << "refused to sign in" << false;
    QTest::newRow("passphrase cancelled")
        << "host-a" << "host-a" << false << true << "" << false << true << "was cancelled" << false;
    QTest::newRow("unknown key declined")
        << "host-a" << "" << true << false << "" << false << true << "key was not accepted" << true;
    QTest::newRow("changed key refused")
        << "host-b" << "host-a" << true << false << "" << true << true << "ssh-keygen -f" << false;
    QTest::newRow("nothing listens behind the gateway")
        << "host-a" << "host-a" << true << false << "" << false << false << "could not reach the VNC server" << false;
}

void TunnelE2eTest::reachesTheServerThroughTheGateway()
{
    QFETCH(QString, hostKey);
    QFETCH(QString, knownKey);
    QFETCH(bool, useAgent);
    QFETCH(bool, keyFile);
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(bool, vncListens);
    QFETCH(QString, outcome);
    QFETCH(bool, asks);

    harness.reset();
    QVERIFY(startGateway(hostKey));
    const QString knownHosts = home("known_hosts");
    QFile::remove(knownHosts);
    QFile::remove(knownHosts + ".old");
    const QString entry = QStringLiteral("[127.0.0.1]:%1").arg(sshPort);
    if (!knownKey.isEmpty()) {
        const QByteArray key = readAll(path(knownKey + ".pub")).split(' ').mid(0, 2).join(' ');
        QVERIFY(writeAll(knownHosts, entry.toUtf8() + ' ' + key + '\n'));
        QVERIFY(run("ssh-keygen", {"-q", "-H", "-f", knownHosts}));
    }
    QFile::remove(home("id_ed25519"));
    if (keyFile) {
        QVERIFY(QFile::copy(path("id_ed25519"), home("id_ed25519")));
        QVERIFY(QFile::copy(path("id_ed25519.pub"), home("id_ed25519.pub")));
    }
    qputenv("SSH_AUTH_SOCK", useAgent ? path("agent.sock").toLocal8Bit() : QByteArray());

    const quint16 vncPort = vncListens ? vnc->port() : freePort();
    bool asked = false;
    const QString result = connectThrough(vncPort, typed, accept, &asked);
    QFile::remove(home("id_ed25519.pub"));
    QVERIFY2(outcome == "connected" ? result == outcome : result.contains(outcome), qPrintable(result));
    QCOMPARE(asked, asks);
    if (outcome == "connected")
        checkPictureAndKeys();
    if (outcome.startsWith("ssh-keygen"))
        QVERIFY2(result.contains(QStringLiteral("-R \"%1\"").arg(entry)), qPrintable(result));
    if (asks) {
        // Accepted: known_hosts names the gateway's key and is not asked about again.
        const QByteArray key = readAll(path(hostKey + ".pub")).split(' ').value(1);
        QCOMPARE(readAll(knownHosts).contains(key), accept);
        QVERIFY(!readAll(knownHosts).contains("127.0.0.1")); // hashed, as OpenSSH writes it
        if (accept) {
            bool askedAgain = false;
            QCOMPARE(connectThrough(vncPort, typed, accept, &askedAgain), QString("connected"));
            QVERIFY(!askedAgain);
        }
    }
}

void TunnelE2eTest::checkPictureAndKeys()
{
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

// The session's own TLS, end to end inside the tunnel, with TigerVNC's Xvnc.
void TunnelE2eTest::tlsRunsThroughTheTunnel()
{
    const QString xvnc = QStandardPaths::findExecutable("Xvnc");
    if (xvnc.isEmpty())
        QSKIP("Xvnc is missing: run scripts/install-deps.sh");
    harness.reset();
    QVERIFY(startGateway("host-a"));
    QFile::remove(home("known_hosts"));
    qputenv("SSH_AUTH_SOCK", path("agent.sock").toLocal8Bit());
    const quint16 port = freePort();
    XServer desktop;
    QVERIFY(!writeVncPasswordFile(path("vncpasswd"), "tls-pw").isEmpty());
    QVERIFY(desktop.start(xvnc, {"-rfbport", QString::number(port), "-localhost", "-geometry", "120x90",
                                 "-SecurityTypes", "TLSVnc", "-PasswordFile", path("vncpasswd")}));
    ConnectionOptions options;
    options.password = "tls-pw";
    bool asked = false;
    QCOMPARE(connectThrough(port, QString(), true, &asked, options), QString("connected"));
    QCOMPARE(harness->view->securityText(), QString("encrypted, server not verified"));
    harness.reset();
}

void TunnelE2eTest::reachesTheServerThroughARepeater_data()
{
    QTest::addColumn<bool>("throughRepeater"); // else the URL names the VNC server itself
    QTest::addColumn<QString>("outcome");
    QTest::newRow("the server registered under the ID") << true << "connected";
    QTest::newRow("a VNC server, not a repeater") << false << "not a VNC repeater";
}

void TunnelE2eTest::reachesTheServerThroughARepeater()
{
    QFETCH(bool, throughRepeater);
    QFETCH(QString, outcome);
    harness.reset();
    vemotest::VncRepeater repeater;
    QVERIFY(repeater.start());
    // Another server waits under another ID: the ID, not the order, pairs.
    QVERIFY(repeater.registerServer(vnc->port(), "other"));
    QVERIFY(repeater.registerServer(vnc->port(), "1234"));
    ConnectionOptions options;
    options.repeaterId = "1234";
    bool asked = false;
    const QString result =
        connectThrough(throughRepeater ? repeater.viewerPort() : vnc->port(), QString(), false, &asked, options);
    QVERIFY2(outcome == "connected" ? result == outcome : result.contains(outcome), qPrintable(result));
    if (outcome == "connected") {
        checkPictureAndKeys();
        QCOMPARE(repeater.askedIds(), QList<QByteArray>{"1234"});
    }
    harness.reset();
}

VEMO_VIEW_TEST_MAIN(TunnelE2eTest)
#include "tunnel_e2e_test.moc"
