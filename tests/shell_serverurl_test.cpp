// The server address helpers: wiping a password out of an argument in place,
// and the address shown to the user.
#include "serverurl.h"

#include <QtTest>

class ShellServerUrlTest : public QObject
{
    Q_OBJECT

private slots:
    void passwordIsOverwrittenInPlace_data();
    void passwordIsOverwrittenInPlace();
    void shownAddressNeverHasThePassword_data();
    void shownAddressNeverHasThePassword();
    void parsedUrlKeepsThePassword();
};

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

void ShellServerUrlTest::shownAddressNeverHasThePassword_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shown");
    QTest::newRow("host and display") << "vnc://:pw@example.org:1" << "example.org:1";
    QTest::newRow("host only") << "vnc://:pw@example.org" << "example.org";
    QTest::newRow("IPv6") << "vnc://:pw@[::1]:5901" << "[::1]:5901";
}

void ShellServerUrlTest::shownAddressNeverHasThePassword()
{
    QFETCH(QString, url);
    QFETCH(QString, shown);
    QUrl parsed;
    QString error;
    QVERIFY2(parseServerUrl(url, &parsed, &error), qPrintable(error));
    QCOMPARE(displayAddress(parsed), shown);
}

void ShellServerUrlTest::parsedUrlKeepsThePassword()
{
    QUrl url;
    QString error;
    QVERIFY(parseServerUrl(QStringLiteral("vnc://:a%20b@h:2/"), &url, &error));
    QCOMPARE(url.password(), QStringLiteral("a b"));
    QCOMPARE(url.path(), QString());
    QVERIFY(!parseServerUrl(QStringLiteral("vnc://:Zq9xx@h:70000"), &url, &error));
    QVERIFY2(error.contains(QLatin1String("vnc://:xxxxx@h:70000")), qPrintable(error));
    QVERIFY(!error.contains(QLatin1String("Zq9")));
}

QTEST_GUILESS_MAIN(ShellServerUrlTest)

#include "shell_serverurl_test.moc"
