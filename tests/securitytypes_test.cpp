// The choice of a security type among those a server offers.
#include "securitytypes.h"

#include <QTest>

using namespace SecurityTypes;
using Types = QList<quint32>;
Q_DECLARE_METATYPE(Types)

class SecurityTypesTest : public QObject
{
    Q_OBJECT

private slots:
    void choosesTheMostSecureCompletableType_data()
    {
        QTest::addColumn<QString>("allowed"); // --security, empty for all
        QTest::addColumn<bool>("userName");
        QTest::addColumn<bool>("canVerify");
        QTest::addColumn<Types>("offered");
        QTest::addColumn<quint32>("chosen");
        const Types tigerDefault{TLSVnc, VncAuth};
        QTest::newRow("TLSPlain first, no user: TLSVnc")
            << "" << false << false << Types{TLSPlain, TLSVnc, VncAuth} << quint32(TLSVnc);
        QTest::newRow("TLSPlain first, a user: TLSPlain")
            << "" << true << false << Types{TLSPlain, TLSVnc, VncAuth} << quint32(TLSPlain);
        QTest::newRow("X509Vnc first, no CA: TLSVnc")
            << "" << false << false << Types{X509Vnc, TLSVnc, VncAuth} << quint32(TLSVnc);
        QTest::newRow("X509Vnc first, a CA: X509Vnc")
            << "" << false << true << Types{X509Vnc, TLSVnc, VncAuth} << quint32(X509Vnc);
        QTest::newRow("only X509Vnc, no CA: X509Vnc all the same")
            << "" << false << false << Types{X509Vnc} << quint32(X509Vnc);
        QTest::newRow("X509 before VncAuth without a CA")
            << "" << false << false << Types{VncAuth, X509None} << quint32(X509None);
        QTest::newRow("Plain never unless asked") << "" << true << false << Types{Plain, None} << quint32(None);
        QTest::newRow("Plain when asked") << "Plain,None" << true << false << Types{None, Plain} << quint32(Plain);
        QTest::newRow("only Plain types, no user: asks for one") << "" << false << false << Types{TLSPlain}
                                                                 << quint32(TLSPlain);
        QTest::newRow("restricted to encrypted") << "TLSVnc,X509Vnc" << false << false << Types{VncAuth, None}
                                                 << quint32(Invalid);
        QTest::newRow("restricted to VncAuth") << "vncauth" << false << false << tigerDefault << quint32(VncAuth);
        QTest::newRow("TLSVnc allows the old anonymous TLS")
            << "TLSVnc" << false << false << Types{AnonymousTls, VncAuth} << quint32(AnonymousTls);
    }
    void choosesTheMostSecureCompletableType()
    {
        QFETCH(QString, allowed);
        QFETCH(bool, userName);
        QFETCH(bool, canVerify);
        QFETCH(Types, offered);
        QFETCH(quint32, chosen);
        Types allowedTypes;
        QString error;
        QVERIFY(allowed.isEmpty() || parseList(allowed, &allowedTypes, &error));
        QCOMPARE(choose(preferred(allowedTypes, userName, canVerify), offered), chosen);
    }

    // VeNCrypt is answered whenever a sub-type may follow; the sub-types
    // themselves are chosen once the server lists them.
    void topLevelPrefersVeNCrypt_data()
    {
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<Types>("offered");
        QTest::addColumn<quint32>("chosen");
        QTest::newRow("VeNCrypt, VncAuth") << "" << Types{VeNCrypt, VncAuth} << quint32(VeNCrypt);
        QTest::newRow("None before VeNCrypt") << "" << Types{None, VeNCrypt} << quint32(VeNCrypt);
        QTest::newRow("only VncAuth allowed") << "VncAuth" << Types{VeNCrypt, VncAuth} << quint32(VncAuth);
        QTest::newRow("only VncAuth allowed, only VeNCrypt offered") << "VncAuth" << Types{VeNCrypt}
                                                                     << quint32(VeNCrypt);
        QTest::newRow("no VeNCrypt") << "" << Types{Tight, VncAuth, None} << quint32(VncAuth);
    }
    void topLevelPrefersVeNCrypt()
    {
        QFETCH(QString, allowed);
        QFETCH(Types, offered);
        QFETCH(quint32, chosen);
        Types allowedTypes;
        QString error;
        QVERIFY(allowed.isEmpty() || parseList(allowed, &allowedTypes, &error));
        QCOMPARE(chooseTopLevel(preferred(allowedTypes, false, false), offered), chosen);
    }

    void unknownNamesAreRefused()
    {
        Types types;
        QString error;
        QVERIFY(!parseList("TLSVnc,Kerberos", &types, &error));
        QVERIFY2(error.contains("Kerberos") && error.contains("X509Plain"), qPrintable(error));
        QVERIFY(!parseList(" , ", &types, &error));
        QVERIFY(parseList("x509vnc, TLSNone", &types, &error));
        QCOMPARE(types, (Types{X509Vnc, TLSNone}));
    }
};

QTEST_GUILESS_MAIN(SecurityTypesTest)
#include "securitytypes_test.moc"
