// Applications for probe builds of shell/main.cpp, which leave out vemo's own
// registration. Each main widget says which it is and ends the event loop
// with exit code 7, so a test can tell exec()'s result from other exits.
#include "applicationfactory.h"
#include "qcontent.h"
#include "securitytypes.h"
#include "vemo.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

const int eventLoopResult = 7;

void announce(const char *what)
{
    std::printf("created %s\n", what);
    std::fflush(stdout);
}

void leaveEventLoopSoon()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(eventLoopResult); });
}

class AardvarkWindow : public QWidget
{
    Q_OBJECT
public:
    AardvarkWindow() { announce("AardvarkWindow"); leaveEventLoopSoon(); }
};

class VemoStandIn : public QWidget
{
    Q_OBJECT
public:
    VemoStandIn() { announce("VemoStandIn"); leaveEventLoopSoon(); }
};

// Opens documents: main must show it as a document widget.
class DocumentWindow : public QWidget
{
    Q_OBJECT
public:
    DocumentWindow() { announce("DocumentWindow"); leaveEventLoopSoon(); }
public slots:
    void setDocument(const QString &path) { std::printf("document %s\n", qPrintable(path)); }
};

// Reports the server address and connection options that main left for the
// window, the platform Qt started, and what the system shows as this
// process's command line.
class AddressReport : public QWidget
{
    Q_OBJECT
public:
    AddressReport()
    {
        announce("AddressReport");
        const QUrl url = Vemo::serverUrl();
        const ConnectionOptions options = Vemo::connectionOptions();
        std::printf("host=%s\nport=%d\n", qPrintable(url.host()), url.port());
        std::printf("user=%s\npassword=%s\n", qPrintable(options.userName),
                    options.password.isNull() ? "<none>" : qPrintable(options.password));
        std::printf("quality=%d\nsecurity=%s\ncafile=%s\n", int(options.quality),
                    qPrintable(SecurityTypes::names(options.securityTypes)), qPrintable(options.caFile));
        const WindowOptions window = Vemo::windowOptions();
        QStringList flags;
        for (const auto &[set, name] : {std::pair{window.viewOnly, "view-only"}, {window.fullscreen, "fullscreen"},
                                        {window.remoteResize, "remote-resize"}, {window.reconnect, "reconnect"},
                                        {window.keysymsOnly, "keysyms-only"},
                                        {window.touchpad, "touchpad"}, {window.classicTaps, "classic-taps"},
                                        {window.logicalPixels, "logical-pixels"},
                                        {!window.bellFlash, "no-bell-flash"}}) {
            if (set)
                flags << QLatin1String(name);
        }
        std::printf("window=%s\nlisten=%d\n", qPrintable(flags.join(QLatin1Char(' '))), window.listenPort);
        std::printf("platform=%s\n", qPrintable(QGuiApplication::platformName()));
        QFile cmdline(QStringLiteral("/proc/self/cmdline"));
        if (cmdline.open(QIODevice::ReadOnly))
            std::printf("cmdline=%s\n", cmdline.readAll().replace('\0', ' ').trimmed().constData());
        std::fflush(stdout);
        leaveEventLoopSoon();
    }
};

template <typename W>
QWidget *create(QWidget *, Qt::WindowFlags)
{
    return new W;
}

QWidget *createNothing(QWidget *, Qt::WindowFlags)
{
    announce("nothing");
    return nullptr;
}

// Registered in an order unlike their name order, which main must use.
const bool registered = [] {
    registerApplication("writer", create<DocumentWindow>);
    registerApplication("vemo", create<VemoStandIn>);
    registerApplication("aardvark", create<AardvarkWindow>);
    registerApplication("nothing", createNothing);
    registerApplication("urlreport", create<AddressReport>);
    return true;
}();

// The document system is already in use when main asks to change its type.
const bool documentSystemInUse = [] {
    if (qEnvironmentVariableIsSet("PROBE_DOCUMENT_SYSTEM_IN_USE"))
        QContent::connectDocumentSystem();
    return true;
}();

} // namespace

#include "shell_probe_apps.moc"
