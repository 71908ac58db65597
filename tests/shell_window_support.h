// Windows for the shell tests: a Vemo window on a server of its own, and
// readers of what it shows.
#pragma once

#include "commandline.h"
#include "qsoftmenubar.h"
#include "testserver.h"
#include "vemo.h"
#include "vncview.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <memory>

namespace shellwindow {

inline VncView *viewOf(QWidget *window)
{
    return window->findChild<VncView *>();
}

inline QLabel *noticeOf(QWidget *window)
{
    return window->findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
}

// The window for the given server, shown.
inline std::unique_ptr<Vemo> openWindow(const QUrl &url)
{
    Vemo::setServerUrl(url);
    auto window = std::make_unique<Vemo>(nullptr, Qt::WindowFlags());
    window->show();
    return window;
}

inline QUrl urlOf(const TestServer &server, const QString &password = QString())
{
    QUrl url;
    url.setScheme(QStringLiteral("vnc"));
    url.setHost(server.host());
    url.setPort(server.port());
    if (!password.isEmpty())
        url.setPassword(password);
    return url;
}

inline bool connectedWithin(VncView *view, int ms)
{
    return QTest::qWaitFor([view] { return view->currentStatus() == RemoteView::Connected; }, ms);
}

// A window with the given options on a test server of its own; connect()
// answers each password dialog with 'typed' and counts them.
struct Session {
    explicit Session(const WindowOptions &options = {}, const QByteArray &password = {})
        : server(320, 240, password)
    {
        started = server.start();
        Vemo::setWindowOptions(options);
        window = openWindow(urlOf(server));
        Vemo::setWindowOptions({});
        view = viewOf(window.get());
    }

    bool connect(const QString &typed = QString())
    {
        return started && QTest::qWaitFor([&] {
            auto *dialog = window->findChild<QDialog *>(QStringLiteral("passwordDialog"));
            if (dialog && dialog->isVisible() && !typed.isEmpty()) {
                ++dialogs;
                QTest::keyClicks(dialog->findChild<QLineEdit *>(), typed);
                QTest::keyClick(dialog->findChild<QLineEdit *>(), Qt::Key_Return);
            }
            return view->currentStatus() == RemoteView::Connected;
        }, 10000);
    }

    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }

    QStringList keys() const
    {
        QStringList out;
        for (const ClientMessage &m : server.messages()) {
            if (m.type == ClientMessage::Key)
                out << QStringLiteral("%1:%2").arg(m.down ? "d" : "u").arg(m.key, 0, 16);
        }
        return out;
    }

    TestServer server;
    std::unique_ptr<Vemo> window;
    VncView *view = nullptr;
    bool started = false;
    int dialogs = 0;
};

} // namespace shellwindow
