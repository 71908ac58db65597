// The quality chosen in the menu while connected, and the connection
// information: keys on the real menu, a real server on loopback.
#include "connectioninfodialog.h"
#include "securitytypes.h"
#include "shell_window_support.h"

#include <QApplication>
#include <QMenu>
#include <QtTest>

using namespace shellwindow;

namespace
{
// Opens the window's menu with the menu key and picks the entry with
// mnemonic 'first'; in the submenu that opens, the one with 'second'.
void pick(Session &s, char first, char second = 0)
{
    QMenu *menu = QSoftMenuBar::menuFor(s.window.get(), QSoftMenuBar::AnyFocus);
    QTest::keyClick(s.view, Qt::Key_Menu);
    QVERIFY(QTest::qWaitFor([&] { return menu->isVisible(); }));
    QTest::keyClick(menu, Qt::Key(first));
    if (second) {
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activePopupWidget() != menu; }));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key(second));
    }
    QVERIFY(QTest::qWaitFor([&] { return !QApplication::activePopupWidget(); }));
}

QString figure(QWidget *dialog, const QString &name)
{
    auto *label = dialog->findChild<QLabel *>(QStringLiteral("info_") + name);
    return label && label->isVisibleTo(dialog) ? label->text() : QStringLiteral("<hidden>");
}
} // namespace

Q_DECLARE_METATYPE(ConnectionInfo)

class ShellQualityTest : public QObject
{
    Q_OBJECT

private slots:
    void qualityChangesWithoutReconnect_data();
    void qualityChangesWithoutReconnect();
    void figuresAreWorded_data();
    void figuresAreWorded();
};

// The quality picked in the menu, before the connection information opens
// and while it is open, takes effect on the one connection and is kept for
// a reconnect. A figure is the text the dialog shows, or "<hidden>" for a
// row not shown.
void ShellQualityTest::qualityChangesWithoutReconnect_data()
{
    QTest::addColumn<QString>("choices"); // mnemonics: A(utomatic), H(igh), M(edium), L(ow)
    QTest::addColumn<QString>("later");   // one chosen while the dialog is open
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("checked"); // the one entry the menu shows checked
    QTest::addColumn<QStringList>("figures");
    const QString automatic = QStringLiteral("quality=Automatic: follows the link and the picture");
    QTest::newRow("Automatic by default") << "" << "" << int(Quality::Auto) << "qualityAuto"
                                          << QStringList{automatic};
    QTest::newRow("High") << "H" << "" << int(Quality::High) << "qualityHigh"
                          << QStringList{"quality=High: lossless", "reason=<hidden>",
                                         "choice=full colour, lossless; compression level 0 of 9; "
                                         "asks for copyrect, hextile, raw"};
    QTest::newRow("Low") << "L" << "" << int(Quality::Low) << "qualityLow"
                         << QStringList{"quality=Low: 256 colours", "pixelFormat=8 bits per pixel, depth 8"};
    QTest::newRow("Low, changed to Medium while open")
        << "L" << "M" << int(Quality::Medium) << "qualityMedium"
        << QStringList{"quality=Medium", "reason=<hidden>", "pixelFormat=32 bits per pixel, depth 24",
                       "choice=full colour, JPEG quality 7 of 9; compression level 5 of 9; asks for tight, zrle, "
                       "ultra, copyrect, hextile, zlib, corre, rre, raw"};
    QTest::newRow("Medium, then back to Automatic") << "MA" << "" << int(Quality::Auto) << "qualityAuto"
                                                    << QStringList{automatic};
}

void ShellQualityTest::qualityChangesWithoutReconnect()
{
    QFETCH(QString, choices);
    QFETCH(QString, later);
    QFETCH(int, expected);
    QFETCH(QString, checked);
    QFETCH(QStringList, figures);
    Session s;
    QVERIFY(s.connect());
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    // Without continuous updates a new pixel format waits for the answer
    // to the request before it: the desktop changes after each choice.
    for (const QChar choice : choices)
        pick(s, 'Y', char(choice.unicode()));
    s.server.fillRect(QRect(0, 0, 8, 8), 0x654321);
    pick(s, 'M');
    QDialog *dialog = s.window->findChild<QDialog *>("connectionInfoDialog");
    QVERIFY(dialog && dialog->isVisible());
    if (!later.isEmpty()) {
        pick(s, 'Y', later.at(0).toLatin1());
        s.server.fillRect(QRect(0, 0, 8, 8), 0x123456);
    }
    // Figures every row shows, from the test server.
    figures << QStringLiteral("address=127.0.0.1, port %1").arg(s.server.port())
            << QStringLiteral("encryption=not encrypted") << QStringLiteral("name=vemo test server")
            << QStringLiteral("size=320 × 240 pixels") << QStringLiteral("protocol=RFB 3.8");
    for (const QString &f : figures)
        QTRY_COMPARE_WITH_TIMEOUT(f.section('=', 0, 0) + '=' + figure(dialog, f.section('=', 0, 0)), f, 3000);
    // Escape closes it; nothing is left to wake the idle session.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(!s.window->findChild<QDialog *>("connectionInfoDialog"));
    QCOMPARE(int(s.view->quality()), expected);
    for (QAction *entry : s.window->findChild<QMenu *>("quality")->actions())
        QCOMPARE(entry->isChecked(), entry->objectName() == checked);
    // Still the one connection.
    QCOMPARE(s.view->currentStatus(), RemoteView::Connected);
    QCOMPARE(s.server.connectionCount(), 1);
    // A reconnect keeps the choice.
    s.action("disconnect")->trigger();
    QTRY_COMPARE(s.view->currentStatus(), RemoteView::Disconnected);
    s.action("reconnect")->trigger();
    QVERIFY(s.connect());
    QCOMPARE(int(s.view->quality()), expected);
}

// Made-up figures: none shows as 0 or -1 before it is measured.
void ShellQualityTest::figuresAreWorded_data()
{
    QTest::addColumn<ConnectionInfo>("info");
    QTest::addColumn<QStringList>("figures");
    QTest::newRow("nothing known yet")
        << ConnectionInfo()
        << QStringList{"address=, port 0 (not connected)", "name=unknown", "protocol=unknown", "security=unknown",
                       "size=unknown", "pixelFormat=unknown", "encodings=none yet", "lineSpeed=not measured yet",
                       "roundTrip=not measured yet", "updates=not measured yet", "reason=the link is not measured yet"};
    ConnectionInfo measured;
    measured.connected = true;
    measured.host = QStringLiteral("::1");
    measured.port = 5901;
    measured.securityType = SecurityTypes::VeNCrypt;
    measured.securitySubtype = SecurityTypes::X509Vnc;
    measured.encrypted = true;
    measured.identity = ServerIdentity::TrustedByUser;
    measured.desktopSize = QSize(1920, 1080);
    measured.bitsPerPixel = measured.depth = 8;
    measured.encodingsUsed = QStringList{"tight", "copyrect"};
    measured.lineSpeedKbps = 2500;
    measured.roundTripMs = 80;
    measured.updatesPerSecond = 14.66;
    measured.reason = AutoQuality::Reason::SlowLinkText;
    QTest::newRow("measured, over IPv6 and VeNCrypt")
        << measured
        << QStringList{"address=[::1], port 5901", "security=TLS with a certificate, VNC password (X509Vnc)",
                       "encryption=encrypted; the server's certificate is one you chose to trust",
                       "size=1920 × 1080 pixels", "pixelFormat=8 bits per pixel, depth 8",
                       "encodings=tight, copyrect", "lineSpeed=2.5 Mbit/s", "roundTrip=80 ms",
                       "updates=14.7 a second", "reason=the link is slow and the picture is mostly text and flat "
                       "areas, which 256 colours keep sharp in fewer bytes"};
    measured.securityType = SecurityTypes::VncAuth;
    measured.securitySubtype = 0;
    measured.lineSpeedKbps = 300;
    QTest::newRow("a slow link, a password")
        << measured << QStringList{"security=VNC password (VncAuth)", "lineSpeed=300 kbit/s"};
}

void ShellQualityTest::figuresAreWorded()
{
    QFETCH(ConnectionInfo, info);
    QFETCH(QStringList, figures);
    QLocale::setDefault(QLocale::c());
    QStringList shown;
    for (const ConnectionInfoDialog::Row &row : ConnectionInfoDialog::rows(info))
        shown << row.name + '=' + (row.value.isNull() ? QStringLiteral("<hidden>") : row.value);
    for (const QString &f : figures)
        QVERIFY2(shown.contains(f), qPrintable(f + "\n" + shown.join('\n')));
}

QTEST_MAIN(ShellQualityTest)
#include "shell_quality_test.moc"
