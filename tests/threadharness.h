// A connection thread against a test server, and a receiver standing where
// the view stands; shared by the connection-thread tests.
#pragma once

#include "handover.h"
#include "testserver.h"
#include "vncclientthread.h"

#include <QEvent>
#include <QImage>
#include <QObject>

// Stands where the view stands: on the GUI thread, answering password
// requests.
class Receiver : public QObject
{
    Q_OBJECT
public:
    explicit Receiver(VncClientThread &thread, const QString &password = QString()) : thread(thread), password(password)
    {
        connect(&thread, &VncClientThread::imageUpdated, this, &Receiver::updated);
        connect(&thread, &VncClientThread::gotCut, this, &Receiver::cut);
        connect(&thread, &VncClientThread::passwordRequest, this, &Receiver::passwordWanted);
        connect(&thread, &VncClientThread::outputErrorMessage, this, &Receiver::error);
    }
    VncClientThread &thread;
    QString password;
    QList<QRect> updates;
    QImage shown; // a copy taken at each update
    QStringList cuts;
    QStringList errors;
    int passwordRequests = 0;

public slots:
    void updated(int x, int y, int w, int h)
    {
        updates << QRect(x, y, w, h);
        shown = thread.image();
    }
    void cut(const QString &text) { cuts << text; }
    void passwordWanted()
    {
        ++passwordRequests;
        thread.setPassword(password);
    }
    void error(const QString &message) { errors << message; }

protected:
    bool event(QEvent *event) override
    {
        Handover::acquireOnCall(event, &thread);
        return QObject::event(event);
    }
};


template<typename Server>
void startThread(VncClientThread &thread, const Server &server, Quality quality = Quality::High)
{
    thread.setHost(server.host());
    thread.setPort(server.port());
    thread.setQuality(quality);
    thread.start();
}

// A test server, a connection thread and its receiver; start() connects
// them.
struct Connection
{
    TestServer server;
    VncClientThread thread;
    Receiver receiver;
    Connection(int width, int height, const QByteArray &serverPassword = {}, const QString &typed = {})
        : server(width, height, serverPassword), receiver(thread, typed)
    {
    }
    bool start(Quality quality = Quality::High)
    {
        if (!server.start())
            return false;
        startThread(thread, server, quality);
        return true;
    }
};
