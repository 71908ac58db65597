// Signing in to TigerVNC's Xvnc, on loopback, with each kind of security it
// offers: passwords, user names, anonymous TLS and certificates from a test
// authority, and the user's trust in a self-signed certificate.
#include "e2e_servers.h"
#include "securitytypes.h"
#include "viewharness.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace
{
const char vncPassword[] = "secret1";
const char plainUser[] = "vemo";
const char plainPassword[] = "plain-pw";
const char pamService[] = "vemo-e2e-plain";
const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;

QString pamFile()
{
    return QStringLiteral("/etc/pam.d/%1").arg(pamService);
}

bool run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning() << program << args << process.readAllStandardError();
        return false;
    }
    return true;
}
} // namespace

class SecurityE2eTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void signsIn_data();
    void signsIn();
    void selfSignedCertificateIsTrustedOnFirstUse();
    void trustedServerMustShowItsCertificate_data();
    void trustedServerMustShowItsCertificate();

private:
    // An Xvnc desktop with the given security, on a free loopback port.
    bool startDesktop(XServer &desktop, quint16 *port, const QString &types, const QStringList &extra);
    // A certificate and key signed by 'issuer' ("" for self-signed) for
    // 'name', in the temporary directory.
    bool makeCertificate(const QString &name, const QString &host, const QString &issuer, bool authority);
    QString path(const QString &file) const { return dir.filePath(file); }
    // The certificate store, and the line that trusts the test's certificate
    // 'name' for the server at 'port'.
    static QString storeFile(const QString &name = "known-certificates");
    QString storeLine(const QString &name, quint16 port) const;
    // Connects a view with 'options' and answers its dialogs: 'typed' goes
    // into a password dialog (empty: cancel; "user\npassword" when it asks
    // for a user name too), 'trust' answers a certificate
    // question. Returns the outcome: the security, or "error:" and why.
    QString connectView(quint16 port, const ConnectionOptions &options, const QString &typed, bool trust,
                        bool *asked = nullptr);

    QTemporaryDir dir;
    QString xvnc;
    bool pamReady = false;
};

void SecurityE2eTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    xvnc = QStandardPaths::findExecutable("Xvnc");
    QVERIFY2(!xvnc.isEmpty(), "Xvnc is missing: run scripts/install-deps.sh");
    QVERIFY(dir.isValid());
    QVERIFY(!writeVncPasswordFile(path("passwd"), vncPassword).isEmpty());

    QVERIFY(makeCertificate("ca", "vemo test authority", "", true));
    QVERIFY(makeCertificate("other-ca", "another authority", "", true));
    QVERIFY(makeCertificate("server", "127.0.0.1", "ca", false));
    QVERIFY(makeCertificate("wrong-host", "elsewhere.invalid", "ca", false));
    QVERIFY(makeCertificate("self-a", "127.0.0.1", "", false));
    QVERIFY(makeCertificate("self-b", "127.0.0.1", "", false));

    // Xvnc checks Plain passwords through PAM: a service of our own accepts
    // one user with one password.
    if (geteuid() == 0) {
        QFile checker(path("check-plain"));
        QVERIFY(checker.open(QIODevice::WriteOnly));
        checker.write(QStringLiteral("#!/bin/sh\n[ \"$PAM_USER\" = %1 ] && [ \"$(tr -d '\\000')\" = %2 ]\n")
                          .arg(plainUser, plainPassword)
                          .toUtf8());
        checker.close();
        checker.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile service(pamFile());
        pamReady = service.open(QIODevice::WriteOnly)
                   && service.write(QStringLiteral("auth required pam_exec.so expose_authtok quiet %1\n"
                                                   "account required pam_permit.so\n")
                                        .arg(checker.fileName())
                                        .toUtf8())
                          > 0;
    }
}

// No trust from an earlier case.
void SecurityE2eTest::init()
{
    QFile::remove(storeFile());
    QFile::remove(storeFile("trusted-certificates"));
}

void SecurityE2eTest::cleanupTestCase()
{
    if (pamReady)
        QFile::remove(pamFile());
}

QString SecurityE2eTest::storeFile(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/vemo/" + name;
}

QString SecurityE2eTest::storeLine(const QString &name, quint16 port) const
{
    const QList<QSslCertificate> certificate = QSslCertificate::fromPath(path(name + ".pem"));
    return certificate.isEmpty() ? QString()
                                 : QString("127.0.0.1:%1 sha256:%2")
                                       .arg(port)
                                       .arg(certificate[0].digest(QCryptographicHash::Sha256).toHex().toUpper());
}

bool SecurityE2eTest::makeCertificate(const QString &name, const QString &host, const QString &issuer,
                                      bool authority)
{
    const QString key = path(name + ".key");
    const QString certificate = path(name + ".pem");
    const QString subject = "/CN=" + host;
    const QString altName = host.startsWith("127.") ? "subjectAltName=IP:" + host : "subjectAltName=DNS:" + host;
    const QStringList newKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key};
    if (issuer.isEmpty()) {
        QStringList args{"req", "-x509", "-days", "30", "-subj", subject, "-out", certificate};
        args += newKey;
        if (!authority)
            args << "-addext" << altName << "-addext" << "basicConstraints=critical,CA:FALSE";
        return run("openssl", args);
    }
    QFile extensions(path(name + ".ext"));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write(altName.toUtf8() + "\n") <= 0)
        return false;
    extensions.close();
    QStringList request{"req", "-new", "-subj", subject, "-out", path(name + ".csr")};
    request += newKey;
    return run("openssl", request)
           && run("openssl", {"x509", "-req", "-in", path(name + ".csr"), "-CA", path(issuer + ".pem"), "-CAkey",
                              path(issuer + ".key"), "-CAcreateserial", "-days", "30", "-extfile",
                              extensions.fileName(), "-out", certificate});
}

bool SecurityE2eTest::startDesktop(XServer &desktop, quint16 *port, const QString &types, const QStringList &extra)
{
    *port = freePort();
    return *port
           && desktop.start(xvnc, QStringList{"-rfbport", QString::number(*port), "-localhost", "-geometry",
                                              "160x120", "-SecurityTypes", types, "-PasswordFile", path("passwd")}
                                      + extra);
}

QString SecurityE2eTest::connectView(quint16 port, const ConnectionOptions &options, const QString &typed,
                                     bool trust, bool *asked)
{
    ViewHarness h(loopbackUrl(port));
    h.view->setConnectionOptions(options);
    h.view->startConnecting();
    QString outcome;
    (void)QTest::qWaitFor(
        [&] {
            if (auto *dialog = h.window.findChild<QDialog *>("passwordDialog"); dialog && dialog->isVisible()) {
                QLineEdit *field = dialog->findChild<QLineEdit *>("password");
                QLineEdit *user = dialog->findChild<QLineEdit *>("userName");
                if (typed.isEmpty()) {
                    QTest::keyClick(field, Qt::Key_Escape);
                } else {
                    if (user) {
                        QTest::keyClicks(user, typed.section('\n', 0, 0));
                        QTest::keyClick(user, Qt::Key_Return);
                    }
                    QTest::keyClicks(field, typed.section('\n', -1));
                    QTest::keyClick(field, Qt::Key_Return);
                }
            }
            if (auto *box = h.window.findChild<QMessageBox *>("certificateQuestion"); box && box->isVisible()) {
                if (asked)
                    *asked = true;
                box->button(trust ? QMessageBox::Yes : QMessageBox::No)->click();
            }
            if (h.view->currentStatus() == RemoteView::Connected)
                outcome = h.view->securityText();
            else if (!h.errors.isEmpty())
                outcome = "error:" + h.errors.first();
            return !outcome.isEmpty();
        },
        20000);
    return outcome;
}

void SecurityE2eTest::signsIn_data()
{
    QTest::addColumn<QString>("serverTypes");
    QTest::addColumn<QStringList>("serverOptions");
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("password"); // null: none given
    QTest::addColumn<QString>("caFile");   // a certificate of the test directory, or none
    QTest::addColumn<QString>("allowed");  // --security
    QTest::addColumn<QString>("typed");    // into the password dialog; empty cancels it
    QTest::addColumn<QString>("outcome");
    const QStringList signed_{"-X509Cert", "server.pem", "-X509Key", "server.key"};
    const QStringList wrongHost{"-X509Cert", "wrong-host.pem", "-X509Key", "wrong-host.key"};
    const QStringList plain{"-PlainUsers", plainUser, "-PAMService", pamService};
    const QString unverified = "encrypted, server not verified";

    QTest::newRow("TLSPlain,TLSVnc,VncAuth: the password alone")
        << "TLSPlain,TLSVnc,VncAuth" << plain << "" << vncPassword << "" << "" << "" << unverified;
    QTest::newRow("X509Vnc,TLSVnc,VncAuth: the password alone")
        << "X509Vnc,TLSVnc,VncAuth" << signed_ << "" << vncPassword << "" << "" << "" << unverified;
    QTest::newRow("X509Vnc with the test authority")
        << "X509Vnc" << signed_ << "" << vncPassword << "ca.pem" << "" << "" << "encrypted, server verified";
    QTest::newRow("X509Vnc issued for another host")
        << "X509Vnc" << wrongHost << "" << vncPassword << "ca.pem" << "" << ""
        << "error:The server's certificate was refused: it was issued for elsewhere.invalid, not for 127.0.0.1. "
           "Connect with a name the certificate holds";
    QTest::newRow("X509Vnc for another host from an unknown authority")
        << "X509Vnc" << wrongHost << "" << vncPassword << "" << "" << ""
        << "error:The server's certificate was refused: it is signed by an authority this computer does not "
           "trust; it was issued for elsewhere.invalid, not for 127.0.0.1. Connect with a name the certificate "
           "holds, or have the certificate issued for 127.0.0.1. Check the server's address; if the server's "
           "certificate authority is your own, give its certificate with --x509ca FILE.";
    QTest::newRow("X509Vnc from an authority --x509ca does not hold")
        << "X509Vnc" << signed_ << "" << vncPassword << "other-ca.pem" << "" << ""
        << "error:The server's certificate was refused: it is signed by an authority that ";
    QTest::newRow("X509Vnc self-signed, not in --x509ca: refused, not offered for trust")
        << "X509Vnc" << QStringList{"-X509Cert", "self-a.pem", "-X509Key", "self-a.key"} << "" << vncPassword
        << "ca.pem" << "" << "" << "error:The server's certificate was refused: it is signed by the server itself";
    QTest::newRow("TLSPlain with a user name")
        << "TLSPlain" << plain << plainUser << plainPassword << "" << "" << "" << unverified;
    QTest::newRow("TLSPlain with a wrong password")
        << "TLSPlain" << plain << plainUser << "wrong" << "" << "" << "" << "error:VNC authentication failed.";
    QTest::newRow("TLSPlain without a user name: asked for both")
        << "TLSPlain" << plain << "" << QString() << "" << "" << QString("%1\n%2").arg(plainUser, plainPassword)
        << unverified;
    QTest::newRow("VncAuth, password typed into the dialog")
        << "VncAuth" << QStringList() << "" << QString() << "" << "" << vncPassword << "not encrypted";
    QTest::newRow("VncAuth, dialog cancelled")
        << "VncAuth" << QStringList() << "" << QString() << "" << "" << "" << "error:Sign-in was cancelled";
    QTest::newRow("VncAuth refused by --security")
        << "VncAuth" << QStringList() << "" << vncPassword << "" << "X509Vnc,TLSVnc" << ""
        << "error:The server offers only unencrypted connections (VncAuth)";
    QTest::newRow("TLSVnc refused by --security")
        << "TLSVnc" << QStringList() << "" << vncPassword << "" << "VncAuth,None" << ""
        << "error:The server refuses unencrypted connections; it offers TLSVnc";
    QTest::newRow("TLSVnc,VncAuth refused by --security None")
        << "TLSVnc,VncAuth" << QStringList() << "" << vncPassword << "" << "None" << ""
        << "error:The server refuses the security types that --security allows; it offers TLSVnc, VncAuth.";
}

void SecurityE2eTest::signsIn()
{
    QFETCH(QString, serverTypes);
    QFETCH(QStringList, serverOptions);
    QFETCH(QString, userName);
    QFETCH(QString, password);
    QFETCH(QString, caFile);
    QFETCH(QString, allowed);
    QFETCH(QString, typed);
    QFETCH(QString, outcome);
    if (serverOptions.contains(pamService) && !pamReady)
        QSKIP("Plain passwords need a PAM service of the test's own, which only root can add");
    for (QString &option : serverOptions) {
        if (option.endsWith(".pem") || option.endsWith(".key"))
            option = path(option);
    }
    XServer desktop;
    quint16 port = 0;
    QVERIFY(startDesktop(desktop, &port, serverTypes, serverOptions));
    ConnectionOptions options;
    options.userName = userName;
    options.password = password;
    options.caFile = caFile.isEmpty() ? QString() : path(caFile);
    QString error;
    QVERIFY(allowed.isEmpty() || SecurityTypes::parseList(allowed, &options.securityTypes, &error));

    const QString result = connectView(port, options, typed, false);
    QVERIFY2(result.startsWith(outcome), qPrintable(result));
    QVERIFY2(caFile.isEmpty() || !result.contains("--x509ca FILE"), "no advice to give what was given");
    // A TLS session ends with a goodbye the server understands.
    if (result.startsWith("encrypted")) {
        QByteArray log;
        QTRY_VERIFY((log += desktop.process.readAllStandardError()).contains("closed"));
        QVERIFY2(!log.contains("non-properly"), log.constData());
    }
}

void SecurityE2eTest::selfSignedCertificateIsTrustedOnFirstUse()
{
    ConnectionOptions options;
    options.password = vncPassword;
    XServer desktop;
    quint16 port = 0;
    QVERIFY(startDesktop(desktop, &port, "X509Vnc", {"-X509Cert", path("self-a.pem"), "-X509Key", path("self-a.key")}));
    bool asked = false;
    QVERIFY2(connectView(port, options, "", false, &asked).startsWith(
                 "error:The server's certificate was not trusted"),
             "declining ends the connection");
    QVERIFY(asked);
    QVERIFY(!QFile::exists(storeFile()));
    const QString trusted = "encrypted, certificate trusted by you";
    asked = false;
    QCOMPARE(connectView(port, options, "", true, &asked), trusted);
    QVERIFY(asked);
    asked = false;
    QCOMPARE(connectView(port, options, "", false, &asked), trusted);
    QVERIFY2(!asked, "a trusted certificate is not asked about again");

    // One line per server, readable by the user alone.
    QFile store(storeFile());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(store.readAll()), storeLine("self-a", port) + "\n");
    QCOMPARE(store.permissions(), ownerOnly);
}

// A server trusted once (in the store of earlier versions, which is carried
// over), then on the same address a server with other security.
void SecurityE2eTest::trustedServerMustShowItsCertificate_data()
{
    QTest::addColumn<QString>("serverTypes");
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("allowed"); // --security
    QTest::addColumn<QString>("outcome"); // %1: the port
    const QString changed = "error:The certificate of 127.0.0.1:%1 has changed since you trusted it";
    const QString posing = "error:The server 127.0.0.1:%1 no longer shows the certificate you trusted for it: "
                           "it offers only ";
    QTest::newRow("the trusted certificate") << "X509Vnc" << "self-a" << "" << "encrypted, certificate trusted by you";
    QTest::newRow("another self-signed certificate") << "X509Vnc" << "self-b" << "" << changed;
    QTest::newRow("anonymous TLS only") << "TLSVnc" << "" << "" << posing + "TLSVnc.";
    QTest::newRow("no TLS") << "VncAuth" << "" << "" << posing + "VncAuth.";
    QTest::newRow("anonymous TLS or none") << "TLSVnc,VncAuth" << "" << "" << posing;
    QTest::newRow("--security without a certificate type")
        << "X509Vnc,TLSVnc" << "self-a" << "TLSVnc"
        << "error:You trusted the certificate of 127.0.0.1:%1, so vemo connects to it only with a type that checks";
}

void SecurityE2eTest::trustedServerMustShowItsCertificate()
{
    QFETCH(QString, serverTypes);
    QFETCH(QString, certificate);
    QFETCH(QString, allowed);
    QFETCH(QString, outcome);
    XServer desktop;
    quint16 port = 0;
    const QStringList x509{"-X509Cert", path(certificate + ".pem"), "-X509Key", path(certificate + ".key")};
    QVERIFY(startDesktop(desktop, &port, serverTypes, certificate.isEmpty() ? QStringList() : x509));
    const QString line = storeLine("self-a", port);
    {
        QSettings old(storeFile("trusted-certificates"), QSettings::IniFormat);
        old.setValue(QString::fromLatin1(QString("127.0.0.1:%1").arg(port).toUtf8().toPercentEncoding()),
                     line.split(":").last().toLower().toLatin1());
    }
    ConnectionOptions options;
    options.password = vncPassword;
    QString error;
    QVERIFY(allowed.isEmpty() || SecurityTypes::parseList(allowed, &options.securityTypes, &error));
    bool asked = false;
    const QString result = connectView(port, options, "", true, &asked);
    QVERIFY2(result.startsWith(outcome.replace("%1", QString::number(port))), qPrintable(result));
    QVERIFY(!asked);
    QVERIFY2(!result.startsWith("error") || (result.contains(storeFile()) && result.endsWith("\n" + line)),
             "the refusal names the line to remove, and its file");

    QVERIFY(!QFile::exists(storeFile("trusted-certificates")));
    QFile store(storeFile());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(store.readAll()), line + "\n");
    QCOMPARE(store.permissions(), ownerOnly);
}

QTEST_MAIN(SecurityE2eTest)
#include "security_e2e_test.moc"
