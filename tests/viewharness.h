// A window holding one VncView on the offscreen platform, recording what
// the view announces; shared by the hardening tests.
#pragma once

#include "vncview.h"

#include <QBackingStore>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QStringList>
#include <QTest>
#include <QUrl>

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

// Milliseconds the harness takes to go away.
inline qint64 timeToDestroy(std::unique_ptr<ViewHarness> &harness)
{
    QElapsedTimer clock;
    clock.start();
    harness.reset();
    return clock.elapsed();
}
