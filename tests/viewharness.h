// A window holding one VncView on the offscreen platform, recording what
// the view announces; shared by the hardening tests.
#pragma once

#include "rawserver.h"
#include "vncview.h"

#include <QApplication>
#include <QBackingStore>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <memory>

struct ViewHarness
{
    explicit ViewHarness(const QUrl &url, QSize windowSize = QSize(1000, 800))
    {
        window.resize(windowSize);
        view = new VncView(&window, url);
        QObject::connect(view, &RemoteView::statusChanged, [this](RemoteView::RemoteStatus s) {
            log << QStringLiteral("status:%1").arg(QMetaEnum::fromType<RemoteView::RemoteStatus>().valueToKey(s));
        });
        QObject::connect(view, &RemoteView::changeSize,
                         [this](int w, int h) { log << QStringLiteral("changeSize:%1x%2").arg(w).arg(h); });
        QObject::connect(view, &RemoteView::connected, [this] { log << QStringLiteral("connected"); });
        QObject::connect(view, &RemoteView::errorMessage, [this](const QString &title, const QString &message) {
            log << QStringLiteral("error:%1|%2").arg(title, message);
            errors << message;
        });
        window.show();
        view->show();
    }

    // The view announces its shutdown; the records must still exist then.
    ~ViewHarness() { delete view; }

    bool waitConnected(int ms = 5000)
    {
        return QTest::qWaitFor([this] { return view->currentStatus() == RemoteView::Connected; }, ms);
    }

    // True once the view has shut down and told the user why.
    bool waitFailed(int ms = 5000)
    {
        return QTest::qWaitFor(
            [this] { return !errors.isEmpty() && view->currentStatus() == RemoteView::Disconnected; }, ms);
    }

    // What the window's surface holds now, without repainting anything.
    QImage surface()
    {
        auto *image = dynamic_cast<QImage *>(window.backingStore()->paintDevice());
        return image ? image->copy() : QImage();
    }

    QWidget window;
    VncView *view = nullptr;
    QStringList log;
    QStringList errors;
};

// emptyPassword: an empty password in the URL, vnc://:@host.
inline QUrl loopbackUrl(quint16 port, const QString &password = QString(), bool emptyPassword = false)
{
    QUrl url;
    url.setScheme("vnc");
    url.setHost("127.0.0.1");
    url.setPort(port);
    if (!password.isEmpty() || emptyPassword)
        url.setPassword(password);
    return url;
}

// Started before the view that connects to it.
struct ScriptedServer
{
    explicit ScriptedServer(const QList<RawServer::Step> &script) : server(script), started(server.start()) {}
    RawServer server;
    bool started;
};

// A view connecting to a server that plays `script`; check `started`.
struct ScriptedView : ScriptedServer, ViewHarness
{
    explicit ScriptedView(const QList<RawServer::Step> &script)
        : ScriptedServer(script), ViewHarness(loopbackUrl(server.port()))
    {
        if (started)
            view->startConnecting();
    }
};

// Milliseconds the harness takes to go away.
inline qint64 timeToDestroy(std::unique_ptr<ViewHarness> &harness)
{
    QElapsedTimer clock;
    clock.start();
    harness.reset();
    return clock.elapsed();
}

// The main() of a view test: the application sees the arguments of a viewer
// started as "PROGRAM vnc://unused 1" (the view takes its quality from the
// second: 1 is lossless, so pixels compare exactly); the runner the real ones.
#define VEMO_VIEW_TEST_MAIN(TestObject)                                                                 \
    int main(int argc, char **argv)                                                                     \
    {                                                                                                   \
        static char program[] = #TestObject, url[] = "vnc://unused", quality[] = "1";                   \
        static char *viewerArgv[] = {program, url, quality, nullptr};                                   \
        static int viewerArgc = 3;                                                                      \
        QApplication app(viewerArgc, viewerArgv);                                                       \
        TestObject test;                                                                                \
        return QTest::qExec(&test, argc, argv);                                                         \
    }

// The connection's debug output is noise in a test (a MiB of cut text is
// logged line by line); warnings still show, and everything with
// VEMO_TEST_DEBUG set.
inline void dropViewDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static const bool keep = qEnvironmentVariableIsSet("VEMO_TEST_DEBUG");
    if (type != QtDebugMsg || keep)
        fprintf(stderr, "%s\n", qPrintable(message));
}
