#include "librarylog.h"

#include "diagnostics.h"
#include "librarytext.h"

#include <QCoreApplication>
#include <QDebug>

#include <cstdarg>
#include <mutex>

#include <rfb/rfbclient.h>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(VncClientThread)
};

// Lines the library logs are attributed to the connection they come from.
thread_local LibraryLog *capturing = nullptr;
} // namespace

void LibraryLog::capture()
{
    static std::once_flag hooksInstalled;
    std::call_once(hooksInstalled, [] {
        rfbClientLog = libraryOutput;
        rfbClientErr = libraryOutput;
    });
    protocolFault = false;
    capturing = this;
}

void LibraryLog::release()
{
    if (capturing == this)
        capturing = nullptr;
}

void LibraryLog::libraryOutput(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const QString line = QString::vasprintf(format, args).trimmed();
    va_end(args);
    qCDebug(lcSession) << line;
    if (capturing)
        capturing->read(line);
}

void LibraryLog::read(const QString &line)
{
    // After an unknown message type 0.9.14 reads 256 more bytes before it
    // gives up: a server that sends fewer would hold the connection for the
    // whole read timeout. Shutting the socket makes that read end at once.
    if (line.startsWith(QLatin1String("Unknown message type"))) {
        listener.libraryMessage(Messages::tr("The VNC server sent a message this viewer does not understand."),
                                true);
        protocolFault = true;
        listener.endUnreadableConnection();
        return;
    }
    // What the library logs next is the end we caused, not the server.
    if (protocolFault)
        return;
    QString message = LibraryText::recognise(line);
    if (message.isNull())
        return;
    if (LibraryText::isConnectionLoss(message) && listener.tunnelLost())
        message = LibraryText::tunnelLost();
    listener.libraryMessage(message, message != QLatin1String(LibraryText::compatibilityMarker));
}
