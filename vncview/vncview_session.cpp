// The session around the connection: starting over a socket a server
// opened, reconnecting after a loss, asking the server to fit its desktop
// to the window, and what the server says about itself (its bell, its
// desktop's name).
#include "vncview.h"

#include "diagnostics.h"
#include "secret.h"

#include <QApplication>
#include <QDebug>

bool VncView::startConnectingOver(int socket, const QString &peer)
{
    if (clientThread.isRunning() || !clientThread.rearm())
        return false;
    m_host = peer;
    // Any server may connect next: what was typed for the last one stays
    // with it.
    signedInPassword.clear();
    signedInUserName.clear();
    reverseConnection = true;
    clientThread.useSocket(socket);
    shuttingDown = false;
    firstUpdateDone = false;
    lost = false;
    return startConnecting();
}

void VncView::setQuality(Quality quality)
{
    // A reconnect keeps the choice.
    options.quality = quality;
    clientThread.setQuality(quality);
}

Quality VncView::quality() const
{
    return clientThread.quality();
}

ConnectionInfo VncView::connectionInfo() const
{
    return clientThread.connectionInfo();
}

bool VncView::reconnect()
{
    if (currentStatus() != Disconnected || !clientThread.rearm())
        return false;
    shuttingDown = false;
    firstUpdateDone = false;
    lost = false;
    return startConnecting();
}

void VncView::disconnectFromServer()
{
    if (currentStatus() == Disconnected)
        return;
    lost = false;
    beginShutdown();
}

void VncView::changeStatus(RemoteView::RemoteStatus s)
{
    if (s == Connected && !typedPassword.isNull()) {
        // Signed in with it: a reconnect of this window uses it unasked.
        Secret::wipe(signedInPassword);
        signedInPassword = typedPassword;
        Secret::wipe(typedPassword);
        if (!typedUserName.isEmpty())
            signedInUserName = typedUserName;
        typedUserName.clear();
    }
    if (s == Disconnected || s == Disconnecting) {
        {
            const std::lock_guard<std::mutex> guard(keyLock);
            locks.reset();
        }
        wheel.reset();
        remoteResizable = false;
        resizeTimer.stop();
    }
    RemoteView::changeStatus(s);
}

void VncView::requestRemoteSize(const QSize &size)
{
    wantedRemoteSize = size;
    resizeTimer.start();
}

// The timer's end: the size the window settled on goes out, when the
// server can take it and it differs from what is shown.
void VncView::sendRemoteSize()
{
    if (currentStatus() != Connected || !remoteResizable || wantedRemoteSize.isEmpty()
        || wantedRemoteSize == frameSize)
        return;
    qCDebug(lcView) << "asking the server for a desktop of" << wantedRemoteSize;
    clientThread.desktopSize(wantedRemoteSize.width(), wantedRemoteSize.height());
}

void VncView::noteRemoteResizable()
{
    remoteResizable = true;
    emit remoteResizeAvailable();
}

// A beep, and a brief flash of the frame for whoever has the sound off.
void VncView::ringBell()
{
    QApplication::beep();
    if (!bellFlashWanted || shuttingDown)
        return;
    bellTimer.start();
    update(visibleRegion());
}

void VncView::setDesktopName(const QString &name)
{
    if (name == remoteName)
        return;
    remoteName = name;
    emit desktopNameChanged(name);
}
