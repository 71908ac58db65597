// The platform stand-in: the parts the shell relies on, tested under a real
// QtopiaApplication on the offscreen platform.
#include "processkey.h"
#include "qcontent.h"
#include "qperformancelog.h"
#include "qsoftmenubar.h"
#include "qtopiaapplication.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QtTest>

#include <cstring>

namespace {

QElapsedTimer sinceMain;

struct LoggedLine {
    QtMsgType type;
    QString category;
    QString text;
};

// Collects every message while it lives.
class MessageCapture
{
public:
    MessageCapture() { previous = qInstallMessageHandler(&MessageCapture::handler); current = this; }
    ~MessageCapture() { qInstallMessageHandler(previous); current = nullptr; }

    QList<LoggedLine> inCategory(const QString &category) const
    {
        QList<LoggedLine> result;
        for (const LoggedLine &l : lines) {
            if (l.category == category)
                result << l;
        }
        return result;
    }

    QList<LoggedLine> lines;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (current)
            current->lines.append({type, QString::fromLatin1(context.category), text});
    }

    static inline MessageCapture *current = nullptr;
    QtMessageHandler previous = nullptr;
};

// Records the keys that reach it.
class KeyRecorder : public QWidget
{
public:
    using QWidget::QWidget;
    QList<int> pressed;

protected:
    void keyPressEvent(QKeyEvent *event) override { pressed << event->key(); }
};

// QTest::keyClick cannot spell every key (Key_Context1 has no text), so
// send the press and the release with an explicit empty text.
void clickKey(QWidget *widget, int key)
{
    QTest::sendKeyEvent(QTest::Press, widget, Qt::Key(key), QString(), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, Qt::Key(key), QString(), Qt::NoModifier);
}

} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLoggingCategory::setFilterRules(QString()); }

    void performanceLogWritesOneLineWhenDestroyed();
    void performanceLogMeasuresFromProcessStart();
    void documentSystemTypeIsFixedOnceConnected();
    void inputMethodHintIsKeptOnTheWidget();
    void inputMethodHintsReachQt_data();
    void inputMethodHintsReachQt();
    void softMenuBelongsToItsWidget();
    void softMenuInputMethodSwitch();
    void menuKeyOpensAndClosesTheSoftMenu_data();
    void menuKeyOpensAndClosesTheSoftMenu();
    void otherKeysStillReachTheWidget();
    void menuKeyWithoutSoftMenuIsLeftAlone();
    void mainWidgetIsShownAndTraced_data();
    void mainWidgetIsShownAndTraced();
    void processKeyLeavesItsArgumentsAlone();
};

void PlatformTest::performanceLogWritesOneLineWhenDestroyed()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vemo.performance.info=true"));
    MessageCapture capture;
    {
        QPerformanceLog log(QStringLiteral("demo"));
        log << QStringLiteral("first ") << QStringLiteral("second");
        QVERIFY(capture.inCategory(QStringLiteral("vemo.performance")).isEmpty());
    }
    const QList<LoggedLine> lines = capture.inCategory(QStringLiteral("vemo.performance"));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first().type, QtInfoMsg);
    const QRegularExpression shape(QStringLiteral("^demo: \\d+ ms: first second$"));
    QVERIFY2(shape.match(lines.first().text).hasMatch(), qPrintable(lines.first().text));
}

void PlatformTest::performanceLogMeasuresFromProcessStart()
{
    QLoggingCategory::setFilterRules(QStringLiteral("vemo.performance.info=true"));
    MessageCapture capture;
    QTest::qWait(50);
    const qint64 atLeast = sinceMain.elapsed();
    QPerformanceLog(QStringLiteral("demo")) << QStringLiteral("now");
    const qint64 atMost = sinceMain.elapsed();

    const QList<LoggedLine> lines = capture.inCategory(QStringLiteral("vemo.performance"));
    QCOMPARE(lines.size(), 1);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^demo: (\\d+) ms: now$")).match(lines.first().text);
    QVERIFY2(m.hasMatch(), qPrintable(lines.first().text));
    const qint64 logged = m.captured(1).toLongLong();
    // The process started before main(), though not long before.
    QVERIFY2(logged >= atLeast, qPrintable(QStringLiteral("%1 < %2").arg(logged).arg(atLeast)));
    QVERIFY2(logged <= atMost + 10000, qPrintable(QStringLiteral("%1 > %2").arg(logged).arg(atMost)));
}

void PlatformTest::documentSystemTypeIsFixedOnceConnected()
{
    QVERIFY(!QContent::isDocumentSystemConnected());
    QVERIFY(QContent::setDocumentSystemConnection(QContent::DocumentSystemClient));
    QCOMPARE(QContent::documentSystemConnection(), QContent::DocumentSystemClient);
    QVERIFY(QContent::setDocumentSystemConnection(QContent::DocumentSystemDirect));
    QCOMPARE(QContent::documentSystemConnection(), QContent::DocumentSystemDirect);

    QContent::connectDocumentSystem();
    QVERIFY(QContent::isDocumentSystemConnected());
    QVERIFY(!QContent::setDocumentSystemConnection(QContent::DocumentSystemClient));
    QCOMPARE(QContent::documentSystemConnection(), QContent::DocumentSystemDirect);
    // Asking for the type already in use changes nothing and is no failure.
    QVERIFY(QContent::setDocumentSystemConnection(QContent::DocumentSystemDirect));
}

void PlatformTest::inputMethodHintIsKeptOnTheWidget()
{
    QWidget widget;
    QCOMPARE(QtopiaApplication::inputMethodHint(&widget), QtopiaApplication::Normal);
    QtopiaApplication::setInputMethodHint(&widget, QtopiaApplication::InputMethodHint(2), QString());
    QCOMPARE(QtopiaApplication::inputMethodHint(&widget), QtopiaApplication::Text);
    QtopiaApplication::setInputMethodHint(&widget, QtopiaApplication::Named, QStringLiteral("url"));
    QCOMPARE(QtopiaApplication::inputMethodHint(&widget), QtopiaApplication::Named);
    QCOMPARE(QtopiaApplication::inputMethodHintParam(&widget), QStringLiteral("url"));
}

void PlatformTest::inputMethodHintsReachQt_data()
{
    QTest::addColumn<QtopiaApplication::InputMethodHint>("hint");
    QTest::addColumn<Qt::InputMethodHints>("qtHints");
    QTest::addColumn<bool>("inputMethodEnabled");
    QTest::newRow("text") << QtopiaApplication::Text << Qt::InputMethodHints(Qt::ImhNone) << true;
    QTest::newRow("number") << QtopiaApplication::Number
                            << Qt::InputMethodHints(Qt::ImhFormattedNumbersOnly) << true;
    QTest::newRow("phone number") << QtopiaApplication::PhoneNumber
                                  << Qt::InputMethodHints(Qt::ImhDialableCharactersOnly) << true;
    QTest::newRow("always off") << QtopiaApplication::AlwaysOff << Qt::InputMethodHints(Qt::ImhNone)
                                << false;
}

void PlatformTest::inputMethodHintsReachQt()
{
    QFETCH(QtopiaApplication::InputMethodHint, hint);
    QFETCH(Qt::InputMethodHints, qtHints);
    QFETCH(bool, inputMethodEnabled);
    QWidget widget;
    widget.setInputMethodHints(Qt::ImhHiddenText);
    widget.setAttribute(Qt::WA_InputMethodEnabled, true);
    QtopiaApplication::setInputMethodHint(&widget, hint);
    QCOMPARE(widget.inputMethodHints(), qtHints);
    QCOMPARE(widget.testAttribute(Qt::WA_InputMethodEnabled), inputMethodEnabled);
}

void PlatformTest::softMenuBelongsToItsWidget()
{
    auto *window = new QWidget;
    auto *other = new QWidget;
    QVERIFY(!QSoftMenuBar::hasMenu(window));
    QPointer<QMenu> menu = QSoftMenuBar::menuFor(window, QSoftMenuBar::FocusState(3));
    QVERIFY(menu);
    QVERIFY(QSoftMenuBar::hasMenu(window));
    QCOMPARE(menu->parent(), window);
    QCOMPARE(QSoftMenuBar::menuFor(window, QSoftMenuBar::AnyFocus), menu.data());
    QCOMPARE(QSoftMenuBar::menuFor(window, QSoftMenuBar::EditFocus), menu.data());
    QVERIFY(QSoftMenuBar::menuFor(other) != menu.data());
    QVERIFY(!QSoftMenuBar::menuFor(nullptr));

    delete window;
    QVERIFY(menu.isNull());
    delete other;
}

void PlatformTest::softMenuInputMethodSwitch()
{
    QWidget widget;
    QVERIFY(!QSoftMenuBar::isInputMethodEnabled(&widget));
    QSoftMenuBar::setInputMethodEnabled(&widget, true);
    QVERIFY(QSoftMenuBar::isInputMethodEnabled(&widget));
    QVERIFY(widget.testAttribute(Qt::WA_InputMethodEnabled));
    QSoftMenuBar::setInputMethodEnabled(&widget, false);
    QVERIFY(!QSoftMenuBar::isInputMethodEnabled(&widget));
    QVERIFY(!widget.testAttribute(Qt::WA_InputMethodEnabled));
    // No action is added for it.
    QVERIFY(!QSoftMenuBar::hasMenu(&widget));
}

void PlatformTest::menuKeyOpensAndClosesTheSoftMenu_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("context-menu key") << int(Qt::Key_Menu);
    QTest::newRow("phone context key") << int(Qt::Key_Context1);
}

void PlatformTest::menuKeyOpensAndClosesTheSoftMenu()
{
    QFETCH(int, key);
    QWidget window;
    window.resize(200, 150);
    auto *inner = new KeyRecorder(&window);
    inner->setFocusPolicy(Qt::StrongFocus);
    inner->setGeometry(10, 10, 100, 100);
    QMenu *menu = QSoftMenuBar::menuFor(&window, QSoftMenuBar::AnyFocus);
    menu->addAction(QStringLiteral("Entry"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    inner->setFocus();

    clickKey(inner, key);
    QTRY_VERIFY(menu->isVisible());
    QVERIFY2(inner->pressed.isEmpty(), "the menu key also reached the widget inside");

    // While it is open the menu has the keyboard; the same key closes it.
    clickKey(menu, key);
    QTRY_VERIFY(!menu->isVisible());
    QVERIFY(inner->pressed.isEmpty());
}

void PlatformTest::otherKeysStillReachTheWidget()
{
    QWidget window;
    auto *inner = new KeyRecorder(&window);
    QMenu *menu = QSoftMenuBar::menuFor(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(inner, Qt::Key_A);
    QTest::keyClick(inner, Qt::Key_F10);
    QCOMPARE(inner->pressed, (QList<int>{Qt::Key_A, Qt::Key_F10}));
    QVERIFY(!menu->isVisible());
}

void PlatformTest::menuKeyWithoutSoftMenuIsLeftAlone()
{
    // Make sure the application filter exists: another window has a menu.
    QWidget withMenu;
    QSoftMenuBar::menuFor(&withMenu);
    QWidget window;
    auto *inner = new KeyRecorder(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(inner, Qt::Key_Menu);
    QCOMPARE(inner->pressed, QList<int>{Qt::Key_Menu});
    QVERIFY(!QSoftMenuBar::menuFor(&withMenu)->isVisible());
}

void PlatformTest::mainWidgetIsShownAndTraced_data()
{
    QTest::addColumn<bool>("asDocument");
    QTest::newRow("main widget") << false;
    QTest::newRow("document widget") << true;
}

void PlatformTest::mainWidgetIsShownAndTraced()
{
    QFETCH(bool, asDocument);
    auto *app = qobject_cast<QtopiaApplication *>(qApp);
    QVERIFY(app);
    QLoggingCategory::setFilterRules(QStringLiteral("vemo.platform.debug=true"));
    MessageCapture capture;
    auto *widget = new QLabel(QStringLiteral("main"));
    app->setMainWidget(widget, false);
    QCOMPARE(app->mainWidget(), widget);
    QVERIFY(!widget->isVisible());
    if (asDocument)
        app->showMainDocumentWidget();
    else
        app->showMainWidget();
    QVERIFY(widget->isVisible());
    const QList<LoggedLine> trace = capture.inCategory(QStringLiteral("vemo.platform"));
    QCOMPARE(trace.size(), 1);
    QCOMPARE(trace.first().text, asDocument ? QStringLiteral("showMainDocumentWidget: QLabel")
                                            : QStringLiteral("showMainWidget: QLabel"));
    delete widget;
    QVERIFY(!app->mainWidget());
}

void PlatformTest::processKeyLeavesItsArgumentsAlone()
{
    char key[] = "abcdefghijklmnopqr";
    const char name[] = "/usr/bin/vemo";
    checkAndSetProcessKey(key, name);
    QCOMPARE(std::strcmp(key, "abcdefghijklmnopqr"), 0);
    QCOMPARE(std::strcmp(name, "/usr/bin/vemo"), 0);
    checkAndSetProcessKey(nullptr, nullptr);
}

int main(int argc, char **argv)
{
    sinceMain.start();
    QtopiaApplication app(argc, argv);
    PlatformTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "platform_test.moc"
