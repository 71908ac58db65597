#ifndef SESSIONHOST_H
#define SESSIONHOST_H

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

// What an RFB session asks of the thread that runs it. Every call comes
// from the connection thread; the calls that wait for the user return
// early once the thread is asked to stop.
class SessionHost
{
public:
    virtual bool stopRequested() const = 0;
    // Wakes the connection thread's waits; polled beside the socket.
    virtual int wakeDescriptor() const = 0;

    // The rectangles one update message (or a part of a long one) changed,
    // now in the shown picture; 'tell' when the GUI thread is to be told.
    virtual void showUpdate(const std::vector<QRect> &rects, bool tell) = 0;
    virtual void showCutText(const QString &text) = 0;
    // The server rang its bell.
    virtual void ringBell() = 0;
    // The server's name for its desktop, in its greeting or changed since.
    virtual void showDesktopName(const QString &name) = 0;
    // The server's cursor: its picture (transparent where the mask is
    // clear) and hot spot.
    virtual void showCursor(const QImage &shape, const QPoint &hotSpot) = 0;
    // The server's lock keys (LedState::Lock bits), each time it reports them.
    virtual void showLocks(int locks) = 0;

    // The password to sign in with, asking the user when none was given.
    // An empty 'userName' is asked for too (null: none is wanted). False
    // when the user declined or the thread is stopping.
    virtual bool password(QString *password, QString *userName) = 0;
    // Asks the user for a secret other than the VNC password (an SSH
    // passphrase or password); 'prompt' says which. False when declined.
    virtual bool secret(const QString &prompt, QString *answer) = 0;
    // Asks the user whether to trust a certificate; 'question' says why.
    virtual bool confirm(const QString &question) = 0;

    // Ends the connection with a message for the user; the first wins.
    virtual void fail(const QString &message) = 0;

protected:
    ~SessionHost() = default;
};

#endif
