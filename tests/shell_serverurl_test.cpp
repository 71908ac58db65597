// The sign-in inputs: wiping passwords out of arguments in place, user names
// and passwords in server addresses, the address shown to the user, and
// password files as TigerVNC's vncpasswd makes them.
#include "passwordfile.h"
#include "serverurl.h"
#include "shell_process.h"

#include <QTemporaryDir>
#include <QtTest>

#include <vector>

class ShellServerUrlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void passwordIsOverwrittenInPlace_data();
    void passwordIsOverwrittenInPlace();
    void everyArgumentIsScrubbed();
    void userAndPasswordComeFromTheUrl_data();
    void userAndPasswordComeFromTheUrl();
    void shownAddressNeverHasUserOrPassword_data();
    void shownAddressNeverHasUserOrPassword();
    void refusedUrlIsQuotedWithoutPassword();
    void passwordFileFromVncpasswd_data();
    void passwordFileFromVncpasswd();
    void unusablePasswordFile_data();
    void unusablePasswordFile();

private:
    QTemporaryDir files;
};

void ShellServerUrlTest::initTestCase()
{
    QVERIFY(files.isValid());
}

void ShellServerUrlTest::passwordIsOverwrittenInPlace_data()
{
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("hadPassword");
    QTest::newRow("password") << QByteArray("vnc://:secret@host:1") << QByteArray("vnc://:xxxxxx@host:1") << true;
    QTest::newRow("'@' inside the password") << QByteArray("vnc://:p@ss@host") << QByteArray("vnc://:xxxx@host") << true;
    QTest::newRow("user name is kept") << QByteArray("vnc://bob:pw@host") << QByteArray("vnc://bob:xx@host") << true;
    QTest::newRow("'@' only in the path") << QByteArray("vnc://host/a:b@c") << QByteArray("vnc://host/a:b@c") << false;
    QTest::newRow("empty password") << QByteArray("vnc://:@host") << QByteArray("vnc://:@host") << false;
    QTest::newRow("user name only") << QByteArray("vnc://bob@host") << QByteArray("vnc://bob@host") << false;
    QTest::newRow("no password") << QByteArray("vnc://host:5901") << QByteArray("vnc://host:5901") << false;
    QTest::newRow("not a URL") << QByteArray("a:b@c") << QByteArray("a:b@c") << false;
}

void ShellServerUrlTest::passwordIsOverwrittenInPlace()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, after);
    QFETCH(bool, hadPassword);
    QByteArray buffer = argument;
    buffer.detach();
    const void *before = buffer.constData();
    QCOMPARE(scrubPassword(buffer.data()), hadPassword);
    QCOMPARE(buffer, after);
    QCOMPARE(static_cast<const void *>(buffer.constData()), before);
    QCOMPARE(std::strlen(buffer.constData()), size_t(argument.size()));
}

void ShellServerUrlTest::everyArgumentIsScrubbed()
{
    const QList<QByteArray> given{"vnc://:p0@prog", "--passwd", "f", "vnc://bob:pw1@a", "1", "-qwindowtitle",
                                  "vnc://:pw22@b"};
    const QList<QByteArray> expected{"vnc://:p0@prog", "--passwd", "f", "vnc://bob:xxx@a", "1", "-qwindowtitle",
                                     "vnc://:xxxx@b"};
    QList<QByteArray> buffers = given;
    std::vector<char *> argv;
    for (QByteArray &buffer : buffers)
        argv.push_back(buffer.data());
    argv.push_back(nullptr);
    scrubPasswords(int(given.size()), argv.data());
    // The program name (argv[0]) is no argument.
    QCOMPARE(buffers, expected);
}

void ShellServerUrlTest::userAndPasswordComeFromTheUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::newRow("neither") << "vnc://h:1" << "" << "";
    QTest::newRow("password only") << "vnc://:a%20b@h:2/" << "" << "a b";
    QTest::newRow("user and password") << "vnc://bob:pw@h" << "bob" << "pw";
    QTest::newRow("user only") << "vnc://bob@h" << "bob" << "";
    QTest::newRow("encoded user") << "vnc://a%3Ab%40c:p%3Aw@h" << "a:b@c" << "p:w";
    QTest::newRow("non-ASCII user") << QString::fromUtf8("vnc://d%C3%B6rte:%C3%A4@h") << QString::fromUtf8("dörte")
                                    << QString::fromUtf8("ä");
}

void ShellServerUrlTest::userAndPasswordComeFromTheUrl()
{
    QFETCH(QString, url);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QUrl parsed;
    QString error;
    QVERIFY2(parseServerUrl(url, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed.userName(), user);
    QCOMPARE(parsed.password(), password);
    QCOMPARE(parsed.path(), QString());
}

void ShellServerUrlTest::shownAddressNeverHasUserOrPassword_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shown");
    QTest::newRow("host and display") << "vnc://:pw@example.org:1" << "example.org:1";
    QTest::newRow("host only") << "vnc://:pw@example.org" << "example.org";
    QTest::newRow("IPv6") << "vnc://:pw@[::1]:5901" << "[::1]:5901";
    QTest::newRow("user and password") << "vnc://bob:pw@example.org:2" << "example.org:2";
    QTest::newRow("user only") << "vnc://bob@example.org" << "example.org";
    // As typed to other viewers: one colon a display, two a port.
    QTest::newRow("typed host") << "example.org" << "example.org";
    QTest::newRow("typed display") << "example.org:1" << "example.org:1";
    QTest::newRow("typed port") << "example.org::5901" << "example.org:5901";
    QTest::newRow("typed display here") << ":2" << "localhost:2";
    QTest::newRow("typed IPv6 and display") << "[::1]:1" << "[::1]:1";
    QTest::newRow("typed IPv6 and port") << "[::1]::5901" << "[::1]:5901";
}

void ShellServerUrlTest::shownAddressNeverHasUserOrPassword()
{
    QFETCH(QString, url);
    QFETCH(QString, shown);
    QUrl parsed;
    QString error;
    QVERIFY2(parseServerUrl(url, &parsed, &error), qPrintable(error));
    QCOMPARE(displayAddress(parsed), shown);
}

void ShellServerUrlTest::refusedUrlIsQuotedWithoutPassword()
{
    QUrl url;
    QString error;
    QVERIFY(!parseServerUrl(QStringLiteral("vnc://bob:Zq9xx@h:70000"), &url, &error));
    QVERIFY2(error.contains(QLatin1String("vnc://bob:xxxxx@h:70000")), qPrintable(error));
    QVERIFY(!error.contains(QLatin1String("Zq9")));
}

void ShellServerUrlTest::passwordFileFromVncpasswd_data()
{
    QTest::addColumn<QByteArray>("typed"); // what vncpasswd -f reads, one password a line
    QTest::addColumn<QString>("password");
    QTest::newRow("six characters") << QByteArray("abc123\n") << "abc123";
    QTest::newRow("eight characters") << QByteArray("secret12\n") << "secret12";
    QTest::newRow("longer: vncpasswd keeps 8") << QByteArray("correct horse battery\n") << "correct ";
    QTest::newRow("one character") << QByteArray("x\n") << "x";
    QTest::newRow("UTF-8, cut at 8 bytes") << QByteArray("p\xc3\xa4ssw\xc3\xb6rd\n") << QString::fromUtf8("pässwö");
    QTest::newRow("view-only password after it") << QByteArray("first123\nviewonly\n") << "first123";
}

void ShellServerUrlTest::passwordFileFromVncpasswd()
{
    QFETCH(QByteArray, typed);
    QFETCH(QString, password);
    const QString path = files.filePath(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY2(shelltest::makeVncPasswordFile(path, typed), "vncpasswd failed; is it missing? Run scripts/install-deps.sh");

    QString read;
    QString error;
    QVERIFY2(readVncPasswordFile(path, &read, &error), qPrintable(error));
    QCOMPARE(read, password);
    QVERIFY(error.isEmpty());
}

void ShellServerUrlTest::unusablePasswordFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::addColumn<QString>("why");
    QTest::newRow("missing") << "missing" << QByteArray() << "no such file";
    QTest::newRow("a directory") << "." << QByteArray() << "it is a directory";
    QTest::newRow("empty") << "empty" << QByteArray("") << "it is shorter than 8 bytes";
    QTest::newRow("seven bytes") << "seven" << QByteArray("pw12345") << "it is shorter than 8 bytes";
}

void ShellServerUrlTest::unusablePasswordFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    const QString path = files.filePath(name);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QString password = QStringLiteral("unchanged");
    QString error;
    QVERIFY(!readVncPasswordFile(path, &password, &error));
    QVERIFY2(error.startsWith(QStringLiteral("cannot use the password file \"%1\": %2").arg(path, why)),
             qPrintable(error));
    QCOMPARE(password, QStringLiteral("unchanged"));
    if (!content.isEmpty())
        QVERIFY2(!error.contains(QString::fromLatin1(content)), qPrintable(error));
}

QTEST_GUILESS_MAIN(ShellServerUrlTest)

#include "shell_serverurl_test.moc"
