// main(): which application it starts under which name, what it logs, what
// it returns. Runs probe builds of shell/main.cpp as real processes; argv[0]
// is set with bash's exec -a.
#include "shell_process.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

using namespace shelltest;

namespace {

QProcessEnvironment probeEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_MESSAGE_PATTERN"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
               QStringLiteral("vemo.performance.info=true\nvemo.platform.debug=true"));
    return env;
}

ProcessRun runAs(const QString &program, const QString &argv0,
                 const QProcessEnvironment &env = probeEnvironment())
{
    return shelltest::runAs(program, argv0, {}, env);
}

struct PerformanceLine {
    QString application;
    QString message;
};

QList<PerformanceLine> performanceLines(const QStringList &err)
{
    static const QRegularExpression shape(QStringLiteral("^vemo\\.performance: (.*): \\d+ ms: (.*)$"));
    QList<PerformanceLine> result;
    for (const QString &l : err) {
        const QRegularExpressionMatch m = shape.match(l);
        if (m.hasMatch())
            result.append({m.captured(1), m.captured(2)});
    }
    return result;
}

QStringList messagesOf(const QList<PerformanceLine> &log)
{
    QStringList result;
    for (const PerformanceLine &l : log)
        result << l.message;
    return result;
}

const QStringList fullRun{QStringLiteral("Starting main()"), QStringLiteral("Entering event loop"),
                          QStringLiteral("Exited event loop"), QStringLiteral("Exiting main")};

// The line of main.cpp that makes the document-system check.
int documentSystemCheckLine()
{
    QFile source(QStringLiteral(SHELL_MAIN_SOURCE));
    if (!source.open(QIODevice::ReadOnly))
        return -1;
    const QStringList text = splitLines(source.readAll());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).contains(QLatin1String("setDocumentSystemConnection(")))
            return i + 1;
    }
    return -1;
}

} // namespace

class ShellMainTest : public QObject
{
    Q_OBJECT

private slots:
    void nameChoosesTheApplication_data();
    void nameChoosesTheApplication();
    void nullMainWidgetEndsWithMinusOne();
    void emptyTableEndsWithMinusOne();
    void documentSystemFailureWarnsOnceAndGoesOn();
    void noWarningWhenTheDocumentSystemAgrees();
    void onlyVemoRegisteredStartsTheVemoWindowUnderAnyName();
};

void ShellMainTest::nameChoosesTheApplication_data()
{
    QTest::addColumn<QString>("argv0");
    QTest::addColumn<QString>("applicationName");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("shownBy");

    const QString vemo = QStringLiteral("VemoStandIn");
    const QString first = QStringLiteral("AardvarkWindow");
    const QString plain = QStringLiteral("showMainWidget");
    QTest::newRow("vemo") << "vemo" << "vemo" << vemo << plain;
    QTest::newRow("vemo with absolute directories") << "/usr/local/bin/vemo" << "vemo" << vemo << plain;
    QTest::newRow("vemo with relative directories") << "build/shell/vemo" << "vemo" << vemo << plain;
    QTest::newRow("other name takes the first in name order") << "viewer" << "viewer" << first << plain;
    QTest::newRow("names are case-sensitive") << "/bin/Vemo" << "Vemo" << first << plain;
    QTest::newRow("a directory named vemo does not count") << "/opt/vemo/viewer" << "viewer" << first << plain;
    QTest::newRow("trailing slash gives an empty name") << "/usr/bin/vemo/" << "" << first << plain;
    QTest::newRow("document widget") << "/usr/bin/writer" << "writer" << "DocumentWindow"
                                     << "showMainDocumentWidget";
}

void ShellMainTest::nameChoosesTheApplication()
{
    QFETCH(QString, argv0);
    QFETCH(QString, applicationName);
    QFETCH(QString, created);
    QFETCH(QString, shownBy);

    const ProcessRun run = runAs(QStringLiteral(SHELL_PROBE), argv0);
        QCOMPARE(run.exitCode, 7); // what the probe's event loop returned
    QCOMPARE(run.out, QStringList{QStringLiteral("created ") + created});
    QVERIFY2(run.err.contains(QStringLiteral("vemo.platform: ") + shownBy + QStringLiteral(": ") + created), qPrintable(run.err.join('\n')));

    const QList<PerformanceLine> log = performanceLines(run.err);
    QCOMPARE(messagesOf(log), fullRun);
    for (const PerformanceLine &l : log)
        QCOMPARE(l.application, applicationName);
    QVERIFY(!run.err.join('\n').contains(QLatin1String("WARNING")));
}

void ShellMainTest::nullMainWidgetEndsWithMinusOne()
{
    const ProcessRun run = runAs(QStringLiteral(SHELL_PROBE), QStringLiteral("nothing"));
        QCOMPARE(run.exitCode, 255); // -1 as the system reports it
    QCOMPARE(run.out, QStringList{QStringLiteral("created nothing")});
    QCOMPARE(messagesOf(performanceLines(run.err)), QStringList{QStringLiteral("Starting main()")});
    QVERIFY(!run.err.join('\n').contains(QLatin1String("showMain")));
}

void ShellMainTest::emptyTableEndsWithMinusOne()
{
    const ProcessRun run = runAs(QStringLiteral(SHELL_PROBE_EMPTY), QStringLiteral("/usr/bin/vemo"));
        QCOMPARE(run.exitCode, 255);
    QVERIFY(run.out.isEmpty());
    const QList<PerformanceLine> log = performanceLines(run.err);
    QCOMPARE(messagesOf(log), QStringList{QStringLiteral("Starting main()")});
    QCOMPARE(log.first().application, QStringLiteral("vemo"));
    QVERIFY(!run.err.join('\n').contains(QLatin1String("showMain")));
}

void ShellMainTest::documentSystemFailureWarnsOnceAndGoesOn()
{
    const int checkLine = documentSystemCheckLine();
    QVERIFY(checkLine > 0);
    QProcessEnvironment env = probeEnvironment();
    env.insert(QStringLiteral("PROBE_DOCUMENT_SYSTEM_IN_USE"), QStringLiteral("1"));
    const ProcessRun run = runAs(QStringLiteral(SHELL_PROBE), QStringLiteral("vemo"), env);

    const QStringList warnings = run.err.filter(QStringLiteral("WARNING"));
    QCOMPARE(warnings.size(), 1);
    // Four items, each followed by one space, none quoted.
    QCOMPARE(warnings.first(),
             QStringLiteral("WARNING: Cannot change document system connection type in file main.cpp line %1 ")
                 .arg(checkLine));
    // Nothing else changes.
    QCOMPARE(run.exitCode, 7);
    QCOMPARE(run.out, QStringList{QStringLiteral("created VemoStandIn")});
    QCOMPARE(messagesOf(performanceLines(run.err)), fullRun);
}

void ShellMainTest::noWarningWhenTheDocumentSystemAgrees()
{
    QProcessEnvironment env = probeEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
    const ProcessRun run = runAs(QStringLiteral(SHELL_PROBE), QStringLiteral("vemo"), env);
    QCOMPARE(run.exitCode, 7);
    QVERIFY(run.err.filter(QStringLiteral("document system")).isEmpty());
}

void ShellMainTest::onlyVemoRegisteredStartsTheVemoWindowUnderAnyName()
{
    // The real program: its one entry is the first, whatever the name (the
    // start screen, which opens the session window for the URL). Its
    // event loop runs until it is stopped, so watch it and then end it.
    QTcpServer closedPort;
    QVERIFY(closedPort.listen(QHostAddress::LocalHost));
    const QString url = QStringLiteral("vnc://127.0.0.1:%1").arg(closedPort.serverPort());
    closedPort.close();

    QProcess p;
    p.setProcessEnvironment(probeEnvironment());
    p.start(QStringLiteral("bash"), execAs(QStringLiteral("/somewhere/notvemo"), QStringLiteral(VEMO_BINARY), {url}));
    QVERIFY(p.waitForStarted());
    const EndProcess end{p};
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("Entering event loop"), 20000);
    p.kill();
    p.waitForFinished();
    err += p.readAllStandardError();
    const QStringList errLines = splitLines(err);
    QVERIFY2(errLines.contains(QStringLiteral("vemo.platform: showMainWidget: StartScreen")), err.constData());
    const QList<PerformanceLine> log = performanceLines(errLines);
    QVERIFY(log.size() >= 2);
    QCOMPARE(log.first().application, QStringLiteral("notvemo"));
}

QTEST_GUILESS_MAIN(ShellMainTest)

#include "shell_main_test.moc"
