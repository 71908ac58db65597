#include "commandline.h"

#include "passwordfile.h"
#include "repeater.h"
#include "secret.h"
#include "securitytypes.h"
#include "serverurl.h"
#include "sshtunnel.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Gives the texts one translation context that lupdate can see.
struct CommandLineText {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
};

// Qt's own options, read from the same arguments by QGuiApplication,
// QApplication and the platform plug-ins once the application starts: known
// here so that they pass, and so that their values are not taken for a URL.
const char *const qtOptionsWithValue[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet", "qmljsdebugger",
    // X11 (xcb) only.
    "display", "geometry", "title", "icon", "name", "visual",
};
const char *const qtFlags[] = {
    "reverse", "testability", "widgetcount", "qdevel", "qdebug",
    // X11 (xcb) only.
    "nograb", "dograb",
};

// vemo's own options, in the order --help lists them; the descriptions in
// the user's language.
struct VemoOptions {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            CommandLineText::tr("show this help and exit")};
    QCommandLineOption version{QStringLiteral("version"), CommandLineText::tr("show the version and exit")};
    QCommandLineOption verbose{QStringLiteral("verbose"),
                               CommandLineText::tr("print what vemo does on standard error")};
    QCommandLineOption passwd{
        QStringLiteral("passwd"),
        CommandLineText::tr("read the password from FILE (vncpasswd -f); the URL's wins"),
        CommandLineText::tr("FILE")};
    QCommandLineOption security{
        QStringLiteral("security"),
        CommandLineText::tr("allow only these security types, e.g. X509Vnc,VncAuth"),
        CommandLineText::tr("LIST")};
    QCommandLineOption x509ca{
        QStringLiteral("x509ca"),
        CommandLineText::tr("trust the CA certificates in FILE, not the system's"),
        CommandLineText::tr("FILE")};
    QCommandLineOption via{
        QStringLiteral("via"),
        CommandLineText::tr("reach the server through SSH: GATEWAY is [user@]host[:port],\n"
                            "the ADDRESS's host as the gateway sees it (localhost: the gateway)"),
        CommandLineText::tr("GATEWAY")};
    QCommandLineOption repeaterId{
        QStringLiteral("repeater-id"),
        CommandLineText::tr("ADDRESS is a VNC repeater's: ask it for the server with ID"),
        CommandLineText::tr("ID")};
    QCommandLineOption quality{QStringLiteral("quality"),
                               CommandLineText::tr("auto (the default) follows the link; 1 high,\n"
                                                   "2 medium, 3 low (256 colours)"),
                               CommandLineText::tr("LEVEL")};
    QCommandLineOption viewOnly{QStringLiteral("view-only"),
                                CommandLineText::tr("show the desktop; send no keys, clicks or clipboard")};
    QCommandLineOption fullscreen{QStringLiteral("fullscreen"), CommandLineText::tr("start in full screen")};
    QCommandLineOption remoteResize{QStringLiteral("remote-resize"),
                                    CommandLineText::tr("ask the server to fit its desktop to the window\n"
                                                        "(always in full screen)")};
    QCommandLineOption reconnect{QStringLiteral("reconnect"),
                                 CommandLineText::tr("after a lost connection, reconnect by itself")};
    QCommandLineOption keysymsOnly{QStringLiteral("keysyms-only"),
                                   CommandLineText::tr("send keys as symbols only, never by their place on\n"
                                                       "the keyboard (which virtual machines take)")};
    QCommandLineOption noBellFlash{QStringLiteral("no-bell-flash"),
                                   CommandLineText::tr("when the server rings its bell, beep without\n"
                                                       "flashing the window's frame")};
    // Its port is the first argument after the options, when it is a number.
    QCommandLineOption listen{QStringLiteral("listen"),
                              CommandLineText::tr("wait for a server to connect (default port 5500)")};

    QCommandLineOption touchpad{QStringLiteral("touchpad"),
                                CommandLineText::tr("touchpad mode: a finger moves the pointer, a tap\n"
                                                    "clicks where the pointer is")};
    QCommandLineOption classicTaps{QStringLiteral("classic-taps"),
                                       CommandLineText::tr("a two-finger tap middle-clicks and three fingers\n"
                                                           "open the menu (not right and middle click)")};
    QCommandLineOption logicalPixels{QStringLiteral("logical-pixels"),
                                     CommandLineText::tr("actual size shows a remote pixel per logical pixel,\n"
                                                         "enlarged by the screen's scaling (not one per\n"
                                                         "pixel of the screen)")};

    QList<QCommandLineOption> all() const
    {
        return {help,        version,   passwd,      security,    x509ca, via,      repeaterId,  quality,
                viewOnly,    fullscreen, remoteResize, reconnect, keysymsOnly, noBellFlash, listen, touchpad,
                classicTaps, logicalPixels, verbose};
    }
};

QList<QCommandLineOption> qtOptions()
{
    QList<QCommandLineOption> result;
    for (const char *name : qtOptionsWithValue)
        result << QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    for (const char *name : qtFlags)
        result << QCommandLineOption(QString::fromLatin1(name), QString());
    for (QCommandLineOption &option : result)
        option.setFlags(QCommandLineOption::HiddenFromHelp);
    return result;
}

// An argument as the messages may quote it: without a password.
QString shown(const QString &argument)
{
    QByteArray bytes = argument.toLocal8Bit();
    scrubPassword(bytes.data());
    return QString::fromLocal8Bit(bytes);
}

// The options as typed: "--name" or "-n".
QString spelled(const QCommandLineOption &option)
{
    QStringList names;
    for (const QString &name : option.names())
        names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    QString result = names.join(QLatin1String(", "));
    if (!option.valueName().isEmpty())
        result += QLatin1Char(' ') + option.valueName();
    return result;
}

// The option an argument names ("platform" for "--platform=xcb"), or an
// empty string for an argument that is no option.
QString optionName(const QString &argument)
{
    if (!argument.startsWith(QLatin1Char('-')))
        return QString();
    const qsizetype dashes = argument.startsWith(QLatin1String("--")) ? 2 : 1;
    return argument.mid(dashes).section(QLatin1Char('='), 0, 0);
}

// Says what QCommandLineParser refused, in the user's language.
QString parseError(const QCommandLineParser &parser, const QStringList &arguments,
                   const QList<QCommandLineOption> &options)
{
    const QStringList given = arguments.mid(1);
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        for (const QString &argument : given) {
            if (optionName(argument) == name)
                return CommandLineText::tr("unknown option \"%1\"").arg(argument.section(QLatin1Char('='), 0, 0));
        }
        return CommandLineText::tr("unknown option \"%1\"").arg(name);
    }
    // An option that takes a value takes the next argument, whatever it is:
    // only the last one can lack it.
    const QString last = given.isEmpty() ? QString() : given.last();
    for (const QCommandLineOption &option : options) {
        if (!option.valueName().isEmpty() && option.names().contains(optionName(last)))
            return CommandLineText::tr("option \"%1\" needs a value").arg(last);
    }
    for (const QString &argument : given) {
        if (!optionName(argument).isEmpty() && argument.contains(QLatin1Char('=')))
            return CommandLineText::tr("option \"%1\" takes no value").arg(argument.section(QLatin1Char('='), 0, 0));
    }
    return parser.errorText();
}

CommandLine refused(const QString &error)
{
    CommandLine result;
    result.outcome = CommandLine::Error;
    result.error = error;
    return result;
}

bool (*savedServerLookup)(const QString &name) = nullptr;

// "auto" in any letter case, or 1 to 3.
bool readQuality(const QString &text, Quality *quality)
{
    if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        *quality = Quality::Auto;
        return true;
    }
    bool ok = false;
    const int level = text.toInt(&ok, 10);
    if (!ok || level < Quality::High || level > Quality::Low)
        return false;
    *quality = Quality(level);
    return true;
}

} // namespace

void setSavedServerLookup(bool (*isSavedName)(const QString &name))
{
    savedServerLookup = isSavedName;
}

// "--listen=PORT" as "--listen PORT": the port is an optional value, which
// QCommandLineParser does not know.
QStringList withListenPortApart(const QStringList &arguments)
{
    QStringList result;
    for (const QString &argument : arguments) {
        if (optionName(argument) == QLatin1String("listen") && argument.contains(QLatin1Char('='))) {
            result << argument.section(QLatin1Char('='), 0, 0) << argument.section(QLatin1Char('='), 1);
            continue;
        }
        result << argument;
    }
    return result;
}

CommandLine readCommandLine(const QStringList &given)
{
    const QStringList arguments = withListenPortApart(given);
    const VemoOptions vemo;
    QList<QCommandLineOption> options = vemo.all();
    options << qtOptions();
    QCommandLineParser parser;
    // Qt's options are words after one dash: -platform is not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);
    if (!parser.parse(arguments))
        return refused(parseError(parser, arguments, options));

    CommandLine result;
    if (parser.isSet(vemo.help)) {
        result.outcome = CommandLine::Help;
        return result;
    }
    if (parser.isSet(vemo.version)) {
        result.outcome = CommandLine::Version;
        return result;
    }
    result.verbose = parser.isSet(vemo.verbose);

    QStringList positional = parser.positionalArguments();
    result.window.viewOnly = parser.isSet(vemo.viewOnly);
    result.window.fullscreen = parser.isSet(vemo.fullscreen);
    result.window.remoteResize = parser.isSet(vemo.remoteResize);
    result.window.reconnect = parser.isSet(vemo.reconnect);
    result.window.keysymsOnly = parser.isSet(vemo.keysymsOnly);
    result.window.touchpad = parser.isSet(vemo.touchpad);
    result.window.classicTaps = parser.isSet(vemo.classicTaps);
    result.window.logicalPixels = parser.isSet(vemo.logicalPixels);
    result.window.bellFlash = !parser.isSet(vemo.noBellFlash);
    if (parser.isSet(vemo.listen)) {
        result.window.listenPort = WindowOptions::defaultListenPort;
        if (!positional.isEmpty() && !positional.constFirst().contains(QLatin1Char(':'))) {
            bool ok = false;
            const int port = positional.constFirst().toInt(&ok, 10);
            if (!ok || port < 1 || port > 65535)
                return refused(CommandLineText::tr("invalid port \"%1\" for --listen: give a number from 1 to 65535")
                                   .arg(shown(positional.constFirst())));
            result.window.listenPort = port;
            positional.removeFirst();
        } else if (!positional.isEmpty()) {
            return refused(CommandLineText::tr("--listen waits for a server to connect: give no server address "
                                               "(\"%1\")").arg(shown(positional.constFirst())));
        }
        // What is left is the quality.
        positional.prepend(QString());
    }
    if (positional.size() > 2)
        return refused(CommandLineText::tr("unexpected argument \"%1\"").arg(shown(positional.at(2))));
    if (!positional.isEmpty() && savedServerLookup && !positional.constFirst().isNull()
        && savedServerLookup(positional.constFirst())) {
        result.serverName = positional.constFirst();
    } else if (!positional.isEmpty() && !positional.constFirst().isNull()) {
        QString error;
        if (!parseServerUrl(positional.at(0), &result.url, &error))
            return refused(error);
    }
    // Always set here, Auto when not given: with options before the URL,
    // the view's own look at the third argument would find another one.
    result.options.quality = Quality::Auto;
    QStringList qualities;
    if (parser.isSet(vemo.quality))
        qualities << parser.value(vemo.quality);
    if (positional.size() > 1)
        qualities << positional.at(1);
    if (qualities.size() > 1)
        return refused(CommandLineText::tr("the quality is given twice (\"%1\" and \"%2\"): give --quality or "
                                           "QUALITY, not both").arg(shown(qualities.at(0)), shown(qualities.at(1))));
    if (!qualities.isEmpty()) {
        if (!readQuality(qualities.constFirst(), &result.options.quality))
            return refused(CommandLineText::tr("invalid quality \"%1\": give auto, 1, 2 or 3")
                               .arg(shown(qualities.constFirst())));
        result.qualityGiven = true;
    }

    if (parser.isSet(vemo.security)) {
        QString error;
        if (!SecurityTypes::parseList(parser.value(vemo.security), &result.options.securityTypes, &error))
            return refused(error);
    }
    if (parser.isSet(vemo.x509ca)) {
        const QString path = parser.value(vemo.x509ca);
        const QString problem = fileReadProblem(path);
        if (!problem.isNull())
            return refused(CommandLineText::tr("cannot use the CA file \"%1\": %2").arg(path, problem));
        result.options.caFile = QFileInfo(path).absoluteFilePath();
    }

    if (parser.isSet(vemo.via)) {
        SshTunnel::Gateway gateway;
        if (!SshTunnel::parseGateway(parser.value(vemo.via), &gateway))
            return refused(CommandLineText::tr("invalid gateway \"%1\" for --via: give [user@]host[:port]")
                               .arg(parser.value(vemo.via)));
        result.options.via = parser.value(vemo.via);
    }
    if (parser.isSet(vemo.repeaterId)) {
        const QString id = parser.value(vemo.repeaterId);
        if (id.isEmpty() || id.toUtf8().size() > Repeater::maximumIdLength || id.contains(QChar(0)))
            return refused(CommandLineText::tr("invalid ID for --repeater-id: give 1 to %1 characters")
                               .arg(Repeater::maximumIdLength));
        result.options.repeaterId = id;
    }
    if (result.window.listenPort && (parser.isSet(vemo.via) || parser.isSet(vemo.repeaterId)))
        return refused(CommandLineText::tr("--listen waits for a server to connect: --via and --repeater-id "
                                           "reach out to one, so give them without --listen"));

    result.options.userName = result.url.userName();
    // An empty password in the URL is none.
    if (!result.url.password().isEmpty())
        result.options.password = result.url.password();
    if (parser.isSet(vemo.passwd)) {
        QString password;
        QString error;
        // Read even when the URL has a password, so that a wrong name shows.
        if (!readVncPasswordFile(parser.value(vemo.passwd), &password, &error))
            return refused(error);
        if (result.options.password.isNull())
            result.options.password = password;
        Secret::wipe(password);
    }
    return result;
}

QString usageText(const QString &program)
{
    struct Row {
        QString term;
        QString description; // lines after the first are indented to match
    };
    QList<Row> arguments{
        {CommandLineText::tr("ADDRESS"),
         CommandLineText::tr("host, host:DISPLAY, host::PORT, [IPv6 address]:DISPLAY,\n"
                             "vnc://[user][:password@]host[:port]; a number below 100\n"
                             "after one colon is a display (0 is port 5900)")},
        {CommandLineText::tr("NAME"),
         CommandLineText::tr("a saved server, or a .tigervnc connection file;\n"
                             "with neither NAME nor ADDRESS the start screen opens")},
        {CommandLineText::tr("QUALITY"), CommandLineText::tr("as --quality: auto (default), 1, 2 or 3")},
    };
    QList<Row> options;
    for (const QCommandLineOption &option : VemoOptions().all())
        options.append({spelled(option), option.description()});

    qsizetype width = 0;
    for (const QList<Row> *rows : {&arguments, &options}) {
        for (const Row &row : *rows)
            width = qMax(width, row.term.size());
    }
    const auto table = [&](const QList<Row> &rows) {
        QString text;
        for (const Row &row : rows) {
            const QString indent(width + 4, QLatin1Char(' '));
            QString description = row.description;
            description.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
            text += QStringLiteral("  ") + row.term.leftJustified(width + 2) + description + QLatin1Char('\n');
        }
        return text;
    };
    return CommandLineText::tr("Usage: %1 [OPTIONS] [ADDRESS [QUALITY]]\n"
                               "Shows the desktop of a VNC server.\n").arg(program)
        + CommandLineText::tr("   or: %1 [OPTIONS] --listen [PORT [QUALITY]]\n"
                              "waits for a VNC server to connect (x11vnc -connect, vncconfig -connect).\n")
              .arg(program)
        + QLatin1Char('\n') + CommandLineText::tr("Arguments:") + QLatin1Char('\n') + table(arguments)
        + QLatin1Char('\n') + CommandLineText::tr("Options:") + QLatin1Char('\n') + table(options)
        + QLatin1Char('\n') + CommandLineText::tr("Qt's own options (such as -platform NAME) may be given too.")
        + QLatin1Char('\n');
}

QString versionText()
{
    return QStringLiteral("vemo " VEMO_VERSION);
}

QString tryHelpText(const QString &program)
{
    return CommandLineText::tr("Try '%1 --help'.").arg(program);
}
