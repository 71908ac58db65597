// The start screen as a person uses it: with the keyboard alone and with
// the mouse, against real servers on loopback, with the configuration in a
// temporary folder; the keyring and Avahi are real daemons on private buses
// (support/privatebuses.sh).
#include "commandline.h"
#include "passwordvault.h"
#include "qsoftmenubar.h"
#include "serverdialog.h"
#include "startscreen.h"
#include "testserver.h"
#include "vncview.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QString addressOf(const TestServer &server)
{
    return QStringLiteral("%1::%2").arg(server.host()).arg(server.port());
}

// As a window manager does for a window that opens.
void activate(QWidget *window)
{
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
}

// A start screen on the configuration folder of the test, and what a
// person does with it.
struct Door {
    Door()
    {
        screen = std::make_unique<StartScreen>();
        screen->show();
        QVERIFY(QTest::qWaitForWindowActive(screen.get()));
        list = screen->findChild<QListWidget *>("servers");
    }

    // Each row's first line, headings included.
    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text().section('\n', 0, 0);
        return out;
    }
    QStringList section(const QString &heading) const
    {
        QStringList all = rows(), out;
        for (qsizetype i = all.indexOf(heading) + 1; i > 0 && i < all.size(); ++i) {
            if (list->item(i)->flags() == Qt::NoItemFlags)
                break;
            out << all.at(i);
        }
        return out;
    }
    QRect rowRect(const QString &heading, const QString &row) const
    {
        const qsizetype at = rows().indexOf(row, rows().indexOf(heading));
        return list->visualItemRect(list->item(int(at)));
    }
    // Walks to the row with the arrow keys, as a keyboard user does.
    void arrowTo(const QString &heading, const QString &row)
    {
        const int target = int(rows().indexOf(row, rows().indexOf(heading)));
        list->setFocus();
        while (list->currentRow() > target)
            QTest::keyClick(list, Qt::Key_Up);
        while (list->currentRow() < target)
            QTest::keyClick(list, Qt::Key_Down);
    }
    // The soft-key menu with the menu key, then the entry's mnemonic.
    static void menu(QWidget *window, char mnemonic)
    {
        QMenu *menu = QSoftMenuBar::menuFor(window);
        activate(window);
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Menu);
        QTRY_VERIFY(menu->isVisible());
        QTest::keyClick(menu, Qt::Key(mnemonic));
        QTRY_VERIFY(!menu->isVisible());
    }
    VncView *connectedView(int ms = 10000) const
    {
        VncView *view = nullptr;
        (void)QTest::qWaitFor([&] {
            view = screen->session() ? screen->session()->findChild<VncView *>() : nullptr;
            return view && view->currentStatus() == RemoteView::Connected;
        }, ms);
        return view && view->currentStatus() == RemoteView::Connected ? view : nullptr;
    }

    std::unique_ptr<StartScreen> screen;
    QListWidget *list = nullptr;
};

template <typename T>
T *shown(const char *name)
{
    T *found = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String(name) && w->isVisible())
                found = qobject_cast<T *>(w);
        }
        return found != nullptr;
    }, 5000);
    return found;
}

// Fills the open server dialog field by field, with Tab between them.
void typeInDialog(const QStringList &fields)
{
    QPointer<ServerDialog> dialog = shown<ServerDialog>("serverDialog");
    QVERIFY(dialog);
    activate(dialog);
    for (const QString &text : fields) {
        QWidget *field = QApplication::focusWidget();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        if (!text.isEmpty())
            QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Tab);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_VERIFY(!dialog || !dialog->isVisible());
}

} // namespace

class FrontDoorTest : public QObject
{
    Q_OBJECT

private slots:
    // The data functions name the server: it starts first.
    void initTestCase() { QVERIFY(server.start()); }
    void init();
    void aServerIsAddedUsedEditedAndDeleted_data();
    void aServerIsAddedUsedEditedAndDeleted();
    void savedSettingsReachTheSession_data();
    void savedSettingsReachTheSession();
    void typedAddressConnects_data();
    void typedAddressConnects();
    void connectionFileOpensAndConnects_data();
    void connectionFileOpensAndConnects();
    void rememberedPasswordNeedsNoDialog();
    void announcedServerComesAndGoes();

private:
    std::unique_ptr<QTemporaryDir> config;
    TestServer server{320, 240};
};

void FrontDoorTest::init()
{
    config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", config->path().toLocal8Bit());
    StartScreen::setCommandLine({});
}

void FrontDoorTest::aServerIsAddedUsedEditedAndDeleted_data()
{
    QTest::addColumn<bool>("keyboard");
    QTest::newRow("keyboard alone") << true;
    QTest::newRow("mouse") << false;
}

void FrontDoorTest::aServerIsAddedUsedEditedAndDeleted()
{
    QFETCH(bool, keyboard);
    {
        Door door;
        if (keyboard)
            Door::menu(door.screen.get(), 'A');
        else
            QTest::mouseClick(door.screen->findChild<QPushButton *>("addButton"), Qt::LeftButton);
        typeInDialog({"Desk", addressOf(server)});
        QCOMPARE(door.section("Saved"), QStringList{"Desk"});
        if (keyboard) {
            door.arrowTo("Saved", "Desk");
            QTest::keyClick(door.list, Qt::Key_Return);
        } else {
            QTest::mouseClick(door.list->viewport(), Qt::LeftButton, {}, door.rowRect("Saved", "Desk").center());
        }
        QVERIFY(door.connectedView());
        QVERIFY(!door.screen->isVisible());
        if (keyboard)
            Door::menu(door.screen->session(), 'S');
        else
            door.screen->session()->findChild<QAction *>("disconnect")->trigger();
        QTRY_VERIFY(door.screen->isVisible());
        QVERIFY(!door.screen->session());
        QVERIFY(server.waitForClientCount(0, 5000));
    }
    // A new start, reading the same files.
    Door door;
    QCOMPARE(door.rows().value(1), "Desk");
    QCOMPARE(door.section("Recent"), QStringList{"Desk"});
    if (keyboard) {
        // Escape and Down go between the list and the address field.
        auto *address = door.screen->findChild<QLineEdit *>("address");
        QTest::keyClick(door.list, Qt::Key_Escape);
        QVERIFY(address->hasFocus());
        QTest::keyClick(address, Qt::Key_Down);
        QVERIFY(door.list->hasFocus());
        door.arrowTo("Saved", "Desk");
        Door::menu(door.screen.get(), 'E');
    } else {
        const QPoint at = door.rowRect("Saved", "Desk").center();
        QTest::mouseClick(door.list->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, door.list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(door.list->viewport(), &rightClick);
        auto *menu = shown<QMenu>("rowMenu");
        QVERIFY(menu);
        QAction *edit = door.screen->findChild<QAction *>("edit");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(edit).center());
    }
    typeInDialog({"Office"});
    QCOMPARE(door.section("Saved"), QStringList{"Office"});
    QCOMPARE(door.section("Recent"), QStringList{"Office"});
    door.arrowTo("Saved", "Office");
    if (keyboard)
        Door::menu(door.screen.get(), 'U');
    else
        QTest::mouseClick(door.screen->findChild<QPushButton *>("duplicateButton"), Qt::LeftButton);
    QCOMPARE(door.section("Saved"), (QStringList{"Office", "Office (2)"}));
    door.arrowTo("Saved", "Office");
    if (keyboard)
        QTest::keyClick(door.list, Qt::Key_Delete);
    else
        QTest::mouseClick(door.screen->findChild<QPushButton *>("deleteButton"), Qt::LeftButton);
    auto *question = shown<QMessageBox>("confirmDelete");
    QVERIFY(question);
    if (keyboard)
        QTest::keyClick(question, Qt::Key_Return);
    else
        QTest::mouseClick(question->button(QMessageBox::Yes), Qt::LeftButton);
    QTRY_COMPARE(door.section("Saved"), QStringList{"Office (2)"});
    QVERIFY(door.section("Recent").isEmpty());
    // The file is for people too: one section per server, plain keys.
    QFile file(config->filePath("vemo/servers.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("[Office (2)]\naddress=" + addressOf(server).toUtf8() + "\n"), text.constData());
    QVERIFY(!text.contains("[Office]"));
    // Entries made in the dialog follow the link unless told otherwise.
    QVERIFY2(text.contains("\nquality=auto\n"), text.constData());
}

// Each row: the saved entry's lines, the command line (with the saved
// server's name), and what the session shows.
void FrontDoorTest::savedSettingsReachTheSession_data()
{
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("view only") << "view-only=true" << QStringList{} << "viewOnly";
    QTest::newRow("view only from the command line") << "view-only=false" << QStringList{"--view-only"}
                                                     << "viewOnly";
    QTest::newRow("full screen") << "fullscreen=true" << QStringList{} << "fullscreen";
    QTest::newRow("remote resize") << "remote-resize=true" << QStringList{} << "remoteResize";
    QTest::newRow("touchpad mode") << "touchpad=true" << QStringList{} << "touchpad";
    QTest::newRow("actual size") << "scaling=1:1" << QStringList{} << "scale 1";
    QTest::newRow("zoom") << "scaling=150%" << QStringList{} << "scale 1.5";
    QTest::newRow("low quality: 8-bit pixels") << "quality=3" << QStringList{} << "bpp 8";
    QTest::newRow("the command line's quality wins") << "quality=3" << QStringList{"1"} << "bpp 32";
    QTest::newRow("a saved number stays") << "quality=2" << QStringList{} << "quality 2";
    QTest::newRow("saved automatic quality") << "quality=auto" << QStringList{} << "quality 4";
    QTest::newRow("none saved: automatic") << "" << QStringList{} << "quality 4";
    QTest::newRow("the command line's --quality wins") << "quality=auto" << QStringList{"--quality", "1"}
                                                       << "quality 1";
    QTest::newRow("security types the server lacks") << "security=VncAuth" << QStringList{} << "refused";
    // Nothing listens on port 1: the session goes to the gateway, never to the server.
    QTest::newRow("through an SSH gateway") << "via=127.0.0.1:1" << QStringList{} << "gateway";
}

void FrontDoorTest::savedSettingsReachTheSession()
{
    QFETCH(QString, lines);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QDir().mkpath(config->filePath("vemo"));
    QFile file(config->filePath("vemo/servers.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[Big desk]\naddress=%1\n%2\n").arg(addressOf(server), lines).toUtf8());
    file.close();
    setSavedServerLookup(StartScreen::isStartName);
    const CommandLine given = readCommandLine(QStringList{"vemo", "Big desk"} + arguments);
    QCOMPARE(given.serverName, "Big desk");
    StartScreen::setCommandLine(given);
    server.clearMessages();
    const int connections = server.connectionCount();
    StartScreen screen;
    screen.show();
    QVERIFY(!screen.isVisible());
    QTRY_VERIFY(screen.session());
    VncView *view = screen.session()->findChild<VncView *>();
    if (expected == "refused" || expected == "gateway") {
        // The failure brings the start screen back, and the session window
        // (the view with it) goes.
        QTRY_VERIFY_WITH_TIMEOUT(screen.isVisible(), 10000);
        // Refused by the server itself, or never reaching it past the gateway.
        QCOMPARE(server.connectionCount() > connections, expected == "refused");
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(view->currentStatus() == RemoteView::Connected, 10000);
    const auto pixelBits = [&] {
        for (const ClientMessage &m : server.messages()) {
            if (m.type == ClientMessage::SetPixelFormat)
                return m.bitsPerPixel;
        }
        return 32;
    };
    const auto action = [&](const char *name) { return screen.session()->findChild<QAction *>(name)->isChecked(); };
    if (expected == "viewOnly")
        QVERIFY(view->isViewOnly() && action("viewOnly"));
    else if (expected == "fullscreen")
        QTRY_VERIFY(screen.session()->isFullScreen());
    else if (expected == "remoteResize")
        QVERIFY(action("remoteResize"));
    else if (expected == "touchpad")
        QVERIFY(view->isTouchpadMode() && action("touchpad"));
    else if (expected.startsWith("quality"))
        QCOMPARE(QString("quality %1").arg(int(view->quality())), expected);
    else if (expected.startsWith("scale"))
        QTRY_VERIFY(!view->isFitting() && view->horizontalScale() == expected.section(' ', 1).toFloat());
    else
        QTRY_COMPARE(QString("bpp %1").arg(pixelBits()), expected);
    QVERIFY(expected == "viewOnly" || !view->isViewOnly());
}

void FrontDoorTest::typedAddressConnects_data()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString nobody = QString("127.0.0.1::%1").arg(closed.serverPort());
    closed.close();
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("connects");
    QTest::newRow("host::port") << addressOf(server) << true;
    QTest::newRow("URL") << QString("vnc://%1:%2").arg(server.host()).arg(server.port()) << true;
    QTest::newRow("nonsense") << "vnc://a b" << false;
    QTest::newRow("nothing listens there") << nobody << false;
}

void FrontDoorTest::typedAddressConnects()
{
    QFETCH(QString, typed);
    QFETCH(bool, connects);
    Door door;
    QLineEdit *address = door.screen->findChild<QLineEdit *>("address");
    QVERIFY(address->hasFocus());
    QTest::keyClicks(address, typed);
    QTest::keyClick(address, Qt::Key_Return);
    if (connects) {
        QVERIFY(door.connectedView());
        QVERIFY(!door.screen->isVisible());
        return;
    }
    // Back, or still, on the start screen with the reason, the address kept.
    QTRY_VERIFY_WITH_TIMEOUT(door.screen->isVisible() && !door.screen->session(), 10000);
    QCOMPARE(address->text(), typed);
    QVERIFY(door.screen->findChild<QLabel *>("problem")->isVisible());
}

// A connection file through Open Document: TigerVNC's own, and one that
// vemo exported from a saved server.
void FrontDoorTest::connectionFileOpensAndConnects_data()
{
    QTest::addColumn<bool>("exported");
    QTest::newRow("TigerVNC's file") << false;
    QTest::newRow("exported by vemo") << true;
}

void FrontDoorTest::connectionFileOpensAndConnects()
{
    QFETCH(bool, exported);
    const QString path = config->filePath("desk.tigervnc");
    const auto typePath = [&](const char *dialogName) {
        auto *dialog = shown<QFileDialog>(dialogName);
        QVERIFY(dialog);
        activate(dialog);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), path);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(QFile::exists(path));
    };
    const QByteArray settings = "ServerName=" + addressOf(server).toUtf8() + "\nViewOnly=1\nSecurityTypes=None\n";
    if (exported) {
        QDir().mkpath(config->filePath("vemo"));
        QFile saved(config->filePath("vemo/servers.ini"));
        QVERIFY(saved.open(QIODevice::WriteOnly));
        saved.write(QString("[Desk]\naddress=%1\nview-only=true\nsecurity=None\n").arg(addressOf(server)).toUtf8());
        saved.close();
        Door door;
        door.arrowTo("Saved", "Desk");
        Door::menu(door.screen.get(), 'X');
        typePath("exportConnectionFile");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        for (const QByteArray &line : settings.split('\n'))
            QVERIFY2(text.contains(line + '\n'), text.constData());
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("TigerVNC Configuration file Version 1.0\n\n" + settings + "Shared=1\n");
    }
    Door door;
    Door::menu(door.screen.get(), 'O');
    typePath("openConnectionFile");
    VncView *view = door.connectedView();
    QVERIFY2(view, qPrintable(door.screen->findChild<QLabel *>("problem")->text()));
    QVERIFY(view->isViewOnly());
}

void FrontDoorTest::rememberedPasswordNeedsNoDialog()
{
    if (qEnvironmentVariableIsSet("VEMO_TEST_NO_KEYRING"))
        QSKIP(qPrintable(qEnvironmentVariable("VEMO_TEST_NO_KEYRING")));
    const QString password = QStringLiteral("k33p-it");
    TestServer locked(320, 240, password.toUtf8());
    QVERIFY(locked.start());
    {
        Door door;
        PasswordVault *vault = door.screen->findChild<PasswordVault *>();
        QTRY_VERIFY(vault->state() != PasswordVault::Probing);
        if (vault->state() == PasswordVault::Unavailable)
            QSKIP("No Secret Service answers on this session bus: run the test under support/privatebuses.sh");
        Door::menu(door.screen.get(), 'A');
        // Name, address, user name, password, then the box to remember it.
        typeInDialog({"Locked", addressOf(locked), "", password});
        // The keyring answers later: the next start needs it there.
        QString kept;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            vault->read("Locked", [&](const QString &p) { kept = p; });
            QTest::qWait(100);
            return kept == password;
        }(), 10000);
    }
    // Checked before the next start, so that the remembering is tested.
    QFile file(config->filePath("vemo/servers.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("remember-password=true"));
    Door door;
    door.arrowTo("Saved", "Locked");
    QTest::keyClick(door.list, Qt::Key_Return);
    QVERIFY(door.connectedView());
    QVERIFY(!door.screen->session()->findChild<QDialog *>("passwordDialog"));
    for (QDirIterator it(config->path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile f(it.next());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY2(!f.readAll().contains(password.toUtf8()), qPrintable(f.fileName()));
    }
}

void FrontDoorTest::announcedServerComesAndGoes()
{
    if (qEnvironmentVariableIsSet("VEMO_TEST_NO_AVAHI"))
        QSKIP(qPrintable(qEnvironmentVariable("VEMO_TEST_NO_AVAHI")));
    if (!qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS"))
        QSKIP("No private system bus with an Avahi daemon: run the test under support/privatebuses.sh");
    Door door;
    QProcess publisher;
    publisher.start("avahi-publish", {"-s", "Test desk", "_rfb._tcp", QString::number(server.port())});
    QVERIFY(publisher.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(door.section("On this network") == QStringList{"Test desk"}, 15000);
    QTest::mouseClick(door.list->viewport(), Qt::LeftButton, {}, door.rowRect("On this network", "Test desk").center());
    QVERIFY(door.connectedView());
    door.screen->session()->findChild<QAction *>("disconnect")->trigger();
    QTRY_VERIFY(door.screen->isVisible());
    publisher.terminate();
    QVERIFY(publisher.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(door.section("On this network").isEmpty(), 15000);
}

QTEST_MAIN(FrontDoorTest)
#include "frontdoor_test.moc"
