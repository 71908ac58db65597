// vemo in the user's language. The German catalogue is complete and keeps
// every placeholder; vemo, started under a German locale against a closed
// loopback port, shows "Server not found." in German (its window reports
// what it shows in the category vemo.window), and in English under a
// language it has no catalogue for.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <utility>

namespace {

const char serverNotFound[] = "Server not found.";
const char vncFailure[] = "VNC failure";

quint16 closedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    QSet<QString> result;
    for (const QRegularExpressionMatch &m : marker.globalMatch(text))
        result.insert(m.captured());
    return result;
}

struct Trace {
    QString line;    // the first window line that had the wanted text
    QString all;     // everything vemo wrote, for failure messages
    bool running = false; // whether vemo was still running then
};

// Starts vemo with 'locale' (environment settings) against 'port', waits for
// a vemo.window line with 'wanted', then ends it by its PID.
Trace watchWindow(const QStringList &locale, quint16 port, const QString &wanted)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "QT_MESSAGE_PATTERN"})
        env.remove(QString::fromLatin1(name));
    for (const QString &setting : locale)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vemo.window.info=true"));

    QProcess vemo;
    vemo.setProcessEnvironment(env);
    vemo.setProcessChannelMode(QProcess::SeparateChannels);
    vemo.start(QStringLiteral(VEMO_BINARY), {QStringLiteral("vnc://127.0.0.1:%1").arg(port)});
    Trace trace;
    if (!vemo.waitForStarted(10000))
        return trace;
    QByteArray pending;
    QElapsedTimer clock;
    clock.start();
    while (trace.line.isEmpty() && clock.elapsed() < 60000 && vemo.state() == QProcess::Running) {
        vemo.waitForReadyRead(200);
        pending += vemo.readAllStandardError();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            trace.all += line + QLatin1Char('\n');
            if (line.startsWith(QLatin1String("vemo.window: ")) && line.contains(wanted)) {
                trace.line = line;
                break;
            }
        }
    }
    trace.running = vemo.state() == QProcess::Running;
    if (trace.running) {
        vemo.kill(); // SIGKILL to the PID of the process started above
        vemo.waitForFinished(10000);
    }
    trace.all += QString::fromUtf8(pending + vemo.readAllStandardError());
    return trace;
}

} // namespace

class PackagingLocaleTest : public QObject
{
    Q_OBJECT

private slots:
    void catalogueIsComplete();
    void compiledCatalogueIsGerman();
    void errorInTheUsersLanguage_data();
    void errorInTheUsersLanguage();

private:
    QTranslator german;
};

void PackagingLocaleTest::catalogueIsComplete()
{
    QFile ts(QStringLiteral(VEMO_TS_FILE));
    QVERIFY2(ts.open(QIODevice::ReadOnly), VEMO_TS_FILE);
    QXmlStreamReader xml(&ts);
    QString context, source;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("TS")) {
            QVERIFY(xml.attributes().value(QLatin1String("language")).startsWith(QLatin1String("de")));
        } else if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString translation = xml.readElementText();
            const QString where = context + QLatin1String(": ") + source;
            QVERIFY2(type.isEmpty(), qPrintable(where + QLatin1String(" is ") + type));
            QVERIFY2(!translation.trimmed().isEmpty(), qPrintable(where));
            QVERIFY2(placeholders(translation) == placeholders(source), qPrintable(where));
            ++messages;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 0);
}

void PackagingLocaleTest::compiledCatalogueIsGerman()
{
    // The program's catalogue, where the program looks for it.
    QVERIFY2(german.load(QStringLiteral(VEMO_QM_FILE)), VEMO_QM_FILE);
    for (const auto &[context, text] : {std::pair{"VncClientThread", serverNotFound}, {"VncView", vncFailure}}) {
        const QString translated = german.translate(context, text);
        QVERIFY2(!translated.isEmpty() && translated != QLatin1String(text), text);
    }
}

void PackagingLocaleTest::errorInTheUsersLanguage_data()
{
    QTest::addColumn<QStringList>("locale");
    QTest::addColumn<bool>("inGerman");
    QTest::newRow("German") << QStringList{QStringLiteral("LANG=de_DE.UTF-8"), QStringLiteral("LC_ALL=de_DE.UTF-8"),
                                           QStringLiteral("LANGUAGE=de")}
                            << true;
    QTest::newRow("German from LANG alone") << QStringList{QStringLiteral("LANG=de_DE.UTF-8")} << true;
    QTest::newRow("French has no catalogue") << QStringList{QStringLiteral("LANG=fr_FR.UTF-8"),
                                                            QStringLiteral("LANGUAGE=fr")}
                                             << false;
    QTest::newRow("C") << QStringList{QStringLiteral("LANG=C.UTF-8")} << false;
}

void PackagingLocaleTest::errorInTheUsersLanguage()
{
    QFETCH(QStringList, locale);
    QFETCH(bool, inGerman);
    if (german.isEmpty())
        QVERIFY(german.load(QStringLiteral(VEMO_QM_FILE)));
    const auto text = [&](const char *context, const char *source) {
        return inGerman ? german.translate(context, source) : QString::fromLatin1(source);
    };
    const QString message = text("VncClientThread", serverNotFound);
    const QString title = text("VncView", vncFailure);
    const QString otherMessage = inGerman ? QString::fromLatin1(serverNotFound)
                                          : german.translate("VncClientThread", serverNotFound);
    QVERIFY(!message.isEmpty() && message != otherMessage);

    const quint16 port = closedPort();
    QVERIFY(port);
    const Trace trace = watchWindow(locale, port, message);
    QVERIFY2(!trace.line.isEmpty(), qPrintable(trace.all));
    QVERIFY2(trace.running, "the window must stay open after a failure");
    // The title and the notice name the failure in the same language.
    QVERIFY2(trace.line.contains(QStringLiteral("title: 127.0.0.1:%1 (%2)").arg(port).arg(title)),
             qPrintable(trace.line));
    QVERIFY2(trace.line.contains(QLatin1String("notice: ") + title + QLatin1String(" | ") + message),
             qPrintable(trace.line));
    for (const QString &line : trace.all.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("vemo.window: ")))
            QVERIFY2(!line.contains(otherMessage), qPrintable(line));
    }
}

QTEST_GUILESS_MAIN(PackagingLocaleTest)
#include "packaging_locale_test.moc"
