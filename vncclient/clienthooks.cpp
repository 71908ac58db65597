// The libvncclient callbacks of a connection. They run on the connection
// thread, called by the library from inside rfbInitClient and
// HandleRFBServerMessage; the locking rules are those of vncclientthread.cpp.
#include "clienthooks.h"

#include "librarytext.h"
#include "vncclientthread.h"

#include <QDebug>
#include <QRegion>

#include <cstdarg>
#include <cstring>
#include <vector>

namespace
{
// Lines the library logs are attributed to the connection they come from.
thread_local VncClientThread *loggingThread = nullptr;

struct QualitySettings
{
    RemoteView::Quality quality;
    const char *encodings;
    int compressLevel;
    int qualityLevel;
    bool useBGR233;
};

const char allEncodings[] = "tight zrle ultra copyrect hextile zlib corre rre raw";

// The last row applies to every other value (Low and Unknown).
const QualitySettings qualityTable[] = {
    {RemoteView::High, "copyrect hextile raw", 0, 9, false},
    {RemoteView::Medium, allEncodings, 5, 7, false},
    {RemoteView::Low, allEncodings, 9, 1, true},
};

const QualitySettings &settingsFor(RemoteView::Quality quality)
{
    for (const QualitySettings &row : qualityTable) {
        if (row.quality == quality)
            return row;
    }
    return qualityTable[2];
}
} // namespace

void ClientHooks::setLoggingThread(VncClientThread *thread)
{
    loggingThread = thread;
}

// The library asks for the next update after each update message; ours
// went out as the message started, so its own request is held back until
// the message is over. It tests this bit before every update request.
void ClientHooks::holdLibraryUpdateRequests(rfbClient *client, bool hold)
{
    uint8_t &bits = client->supportedMessages.client2server[rfbFramebufferUpdateRequest / 8];
    const uint8_t bit = uint8_t(1u << (rfbFramebufferUpdateRequest % 8));
    VncClientThread *self = owner(client);
    if (hold && (bits & bit)) {
        bits &= uint8_t(~bit);
        self->holdingUpdateRequests = true;
    } else if (!hold && self->holdingUpdateRequests) {
        bits |= bit;
        self->holdingUpdateRequests = false;
    }
}

VncClientThread *ClientHooks::owner(rfbClient *client)
{
    return static_cast<VncClientThread *>(rfbClientGetClientData(client, nullptr));
}

rfbBool ClientHooks::allocateFrameBuffer(rfbClient *client)
{
    VncClientThread *self = owner(client);
    // A new size within an update message: the library asks for the whole
    // new desktop next, which must go out.
    holdLibraryUpdateRequests(client, false);
    const int w = client->width;
    const int h = client->height;
    if (w < 0 || h < 0 || w > VncClientThread::maximumSide || h > VncClientThread::maximumSide
        || qint64(w) * h > VncClientThread::maximumPixels) {
        self->setPendingMessage(VncClientThread::tr("The remote desktop is too large to show (%1 x %2 pixels).")
                                    .arg(w)
                                    .arg(h));
        self->userMessageGiven = true;
        return FALSE;
    }
    // The image owns the pixels; replacing it leaves the old ones alive
    // for as long as a view still paints from them.
    QImage buffer;
    uint8_t *bits = nullptr;
    if (w > 0 && h > 0) {
        buffer = QImage(w, h, QImage::Format_RGB32);
        if (buffer.isNull()) {
            self->setPendingMessage(
                VncClientThread::tr("Not enough memory to show the remote desktop (%1 x %2 pixels).")
                    .arg(w)
                    .arg(h));
            self->userMessageGiven = true;
            return FALSE;
        }
        bits = buffer.bits();
        memset(bits, 0, size_t(buffer.sizeInBytes()));
    }
    self->pixelBuffer = buffer;
    client->frameBuffer = bits;

    client->format.bitsPerPixel = 32;
    client->format.redShift = 16;
    client->format.greenShift = 8;
    client->format.blueShift = 0;
    client->format.redMax = 255;
    client->format.greenMax = 255;
    client->format.blueMax = 255;

    const QualitySettings &settings = settingsFor(self->connectionQuality);
    client->appData.encodingsString = settings.encodings;
    client->appData.compressLevel = settings.compressLevel;
    client->appData.qualityLevel = settings.qualityLevel;
    client->appData.useBGR233 = settings.useBGR233;
    SetFormatAndEncodings(client);
    return TRUE;
}

// The library calls this before it decodes each rectangle. At the first
// of a message, ask for the next update at once (the library asks only
// after the whole message): the server prepares it while we decode and
// paint, as a viewer that keeps one request ahead does.
void ClientHooks::rectangleStarting(rfbClient *client, int, int, int, int)
{
    VncClientThread *self = owner(client);
    if (!self->requestedAhead) {
        self->requestedAhead = true;
        if (SendIncrementalFramebufferUpdateRequest(client))
            holdLibraryUpdateRequests(client, true);
    }
}

// Rectangles are collected and announced once the whole update message
// is decoded: one hand-over to the GUI thread per message instead of
// one per rectangle, and by then the library has already asked for the
// next update, so the server prepares it while the view paints.
void ClientHooks::frameBufferUpdated(rfbClient *client, int x, int y, int w, int h)
{
    // The library's rectangle as it is: it may lie outside the image.
    owner(client)->damageRects.push_back(QRect(x, y, w, h));
}

void ClientHooks::frameBufferUpdateFinished(rfbClient *client)
{
    VncClientThread *self = owner(client);
    self->requestedAhead = false;
    holdLibraryUpdateRequests(client, false);
    if (self->damageRects.empty())
        return;
    if (self->pixelBuffer.isNull())
        qDebug() << "image not loaded";
    self->setImage(self->pixelBuffer);
    // Merged where rectangles touch; an empty rectangle is still announced.
    // The common single rectangle needs no region arithmetic, and the
    // list keeps its capacity from one message to the next.
    std::vector<QRect> &rects = self->damageRects;
    if (rects.size() > 1) {
        QRegion merged;
        for (const QRect &r : rects)
            merged += r;
        if (!merged.isEmpty())
            rects.assign(merged.begin(), merged.end());
    }
    for (const QRect &r : rects) {
        if (self->stopped)
            break;
        self->emitBlocking([&] { emit self->imageUpdated(r.x(), r.y(), r.width(), r.height()); });
    }
    rects.clear();
}

void ClientHooks::cutTextReceived(rfbClient *client, const char *text, int length)
{
    const QString decoded = LibraryText::decodeCutText(text, length);
    qDebug() << decoded;
    VncClientThread *self = owner(client);
    if (!decoded.isEmpty() && !self->stopped)
        self->emitBlocking([&] { emit self->gotCut(decoded); });
}

char *ClientHooks::supplyPassword(rfbClient *client)
{
    qDebug() << "password request";
    VncClientThread *self = owner(client);
    if (!self->stopped)
        self->emitBlocking([&] { emit self->passwordRequest(); });
    self->passwordRequested = true;
    self->suppliedPassword = self->currentPassword();
    // The library refuses an empty password ("Reading password failed")
    // without freeing it; a null pointer is refused the same way, leak-free.
    if (self->suppliedPassword.isEmpty())
        return nullptr;
    return strdup(self->suppliedPassword.toLocal8Bit().constData());
}

void ClientHooks::libraryOutput(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const QString line = QString::vasprintf(format, args).trimmed();
    va_end(args);
    qDebug() << line;
    if (loggingThread)
        loggingThread->reportLine(line);
}
