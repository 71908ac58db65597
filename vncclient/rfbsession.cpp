// The libvncclient callbacks run on the connection thread, called by the
// library from inside HandleRFBServerMessage; each reaches its session
// through the client data stored under this file's tag.
#include "rfbsession.h"

#include "libraryinternals.h"
#include "sessionhost.h"

#include <QCoreApplication>
#include "diagnostics.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QRegion>

#include <gnutls/gnutls.h>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(VncClientThread)
};

const char clientDataTag = 0;

// The colours of the 8-bit BGR233 format: red in bits 0-2, green in 3-5,
// blue in 6-7, each scaled to the full 0-255 range.
struct Bgr233Palette
{
    QRgb colours[256];
    Bgr233Palette()
    {
        for (int v = 0; v < 256; ++v)
            colours[v] = qRgb((v & 7) * 255 / 7, ((v >> 3) & 7) * 255 / 7, ((v >> 6) & 3) * 255 / 3);
    }
};

const QRgb *bgr233()
{
    static const Bgr233Palette palette;
    return palette.colours;
}

// The decoder holds the picture while it writes into it and lets go while
// it waits for the network: the GUI thread waits at most for what has
// arrived to be decoded, never for the server.
class DecodingHold final : public LibraryInternals::NetworkWait
{
public:
    explicit DecodingHold(FrameHandover &frames) : frames(frames)
    {
        frames.hold();
        LibraryInternals::setNetworkWait(this);
    }
    ~DecodingHold()
    {
        LibraryInternals::setNetworkWait(nullptr);
        frames.letGo();
    }
    DecodingHold(const DecodingHold &) = delete;
    DecodingHold &operator=(const DecodingHold &) = delete;

    void waiting() override { frames.letGo(); }
    void resumed() override { frames.hold(); }

private:
    FrameHandover &frames;
};

} // namespace

// Turns a member function into the plain callback the library wants.
template<typename R, typename... Args, R (RfbSession::*Member)(Args...)>
struct RfbSession::Hook<Member>
{
    static R call(rfbClient *client, Args... args) { return (from(client)->*Member)(args...); }
};

RfbSession::RfbSession(SessionHost &host, InputQueue &input, FrameHandover &frames,
                       const HandshakeSettings &settings, Quality quality)
    : host(host), input(input), frames(frames), settings(settings), quality(quality),
      choice(EncodingChoice::forQuality(quality))
{
}

RfbSession::~RfbSession()
{
    close(false, 0);
}

RfbSession *RfbSession::from(rfbClient *client)
{
    return static_cast<RfbSession *>(rfbClientGetClientData(client, const_cast<char *>(&clientDataTag)));
}

bool RfbSession::open(int socket, unsigned readTimeoutSeconds)
{
    rfb = rfbGetClient(8, 3, 4);
    rfb->MallocFrameBuffer = Hook<&RfbSession::allocateFrameBuffer>::call;
    rfb->SoftCursorLockArea = Hook<&RfbSession::rectangleStarting>::call;
    rfb->GotFrameBufferUpdate = Hook<&RfbSession::frameBufferUpdated>::call;
    rfb->GotCopyRect = Hook<&RfbSession::copyRectangle>::call;
    rfb->FinishedFrameBufferUpdate = Hook<&RfbSession::frameBufferUpdateFinished>::call;
    rfb->Bell = Hook<&RfbSession::bell>::call;
    rfb->GotCursorShape = Hook<&RfbSession::cursorShapeReceived>::call;
    // The server sends its cursor's shape instead of drawing it into the
    // picture, where it would lag behind the hand.
    rfb->appData.useRemoteCursor = TRUE;
    rfb->canHandleNewFBSize = 1;
    rfbClientSetClientData(rfb, const_cast<char *>(&clientDataTag), this);
    continuousUpdates.attach(rfb);
    ledState.attach(rfb, [this](int locks) { host.showLocks(locks); });
    clipboard.attach(rfb);
    announcements.attach(rfb);
    free(rfb->serverHost);
    rfb->serverHost = strdup(settings.server.toUtf8().constData());
    rfb->serverPort = settings.port;
    // Our own connected socket: the library then makes no connect() of its
    // own, which nothing could interrupt.
    rfb->sock = socket;
    rfb->listenSpecified = TRUE;
    rfb->readTimeout = readTimeoutSeconds;

    Handshake handshake(rfb, host, tls, settings);
    const bool greeted = handshake.run();
    tlsUsed = handshake.encrypted();
    if (!greeted)
        return false;
    rfb->width = rfb->si.framebufferWidth;
    rfb->height = rfb->si.framebufferHeight;
    if (!allocateFrameBuffer())
        return false;
    announcements.greeted(rfb);
    meter.connected(rfb->sock);
    // The handshake's round trip: Auto tells queues from the rise above it.
    if (meter.roundTripMs() >= 0)
        autoQuality.addRoundTrip(meter.nowMs(), meter.roundTripMs());
    rfb->updateRect = {0, 0, rfb->width, rfb->height};
    return SendFramebufferUpdateRequest(rfb, 0, 0, rfb->width, rfb->height, FALSE);
}

bool RfbSession::handleServerMessage()
{
    // ServerCutText is read here, the library reads every other message.
    uint8_t type;
    if (!LibraryInternals::peekMessageType(rfb, &type))
        return false;
    if (type == rfbFramebufferUpdate) {
        meter.begin();
        LibraryInternals::watchUpdate();
    }
    bool handled;
    if (type == rfbServerCutText) {
        handled = receiveCutText();
    } else if (type == rfbFramebufferUpdate && !lowColour) {
        // Decoded straight into the picture the view paints from.
        DecodingHold hold(frames);
        handled = HandleRFBServerMessage(rfb);
    } else {
        handled = HandleRFBServerMessage(rfb);
    }
    if (!input.closeDirect() || !handled)
        return false;
    switch (continuousUpdates.fault()) {
    case ContinuousUpdates::Fault::None:
        break;
    case ContinuousUpdates::Fault::Malformed:
        host.fail(Messages::tr("The VNC server sent a message this viewer does not understand."));
        return false;
    case ContinuousUpdates::Fault::Lost:
        return false;
    }
    // Updates come unasked from now on.
    if (continuousUpdates.active())
        holdLibraryUpdateRequests(true);
    return afterMessage();
}

bool RfbSession::sendFenceAnswers()
{
    return !rfb || continuousUpdates.sendAnswers(rfb);
}

void RfbSession::sendInput()
{
    // What the server sent before this input is answered before it.
    if (rfb)
        input.send(rfb, [this] { continuousUpdates.sendAnswers(rfb); });
}

void RfbSession::openIdleOutput()
{
    // Held fence answers must go before any input.
    if (rfb && continuousUpdates.nothingHeld())
        input.openDirect(rfb->sock, rfb->tlsSession);
}

bool RfbSession::closeIdleOutput()
{
    return input.closeDirect();
}

bool RfbSession::hasPendingInput() const
{
    if (rfb->buffered > 0)
        return true;
    return rfb->tlsSession && gnutls_record_check_pending(static_cast<gnutls_session_t>(rfb->tlsSession)) > 0;
}

int RfbSession::socket() const
{
    return rfb ? rfb->sock : -1;
}

void RfbSession::close(bool politely, int ms)
{
    if (!rfb)
        return;
    input.closeDirect();
    if (politely) {
        QElapsedTimer clock;
        clock.start();
        tls.close(rfb, ms);
        // Closing with unread data sends a reset, which can overtake what
        // we sent last (a TLS goodbye, key releases): say we are done,
        // then read until the server closes too.
        shutdown(rfb->sock, SHUT_WR);
        char sink[4096];
        for (;;) {
            const int left = ms - int(clock.elapsed());
            pollfd fd = {rfb->sock, POLLIN, 0};
            if (left <= 0 || poll(&fd, 1, left) <= 0)
                break;
            const ssize_t n = read(rfb->sock, sink, sizeof sink);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                break;
        }
    }
    // Frees the library's TLS session too, so our credentials go after it.
    rfbClientCleanup(rfb);
    rfb = nullptr;
    tls.release();
}

// The library tests this bit before every update request it sends.
void RfbSession::holdLibraryUpdateRequests(bool hold)
{
    uint8_t &bits = rfb->supportedMessages.client2server[rfbFramebufferUpdateRequest / 8];
    const uint8_t bit = uint8_t(1u << (rfbFramebufferUpdateRequest % 8));
    if (hold && (bits & bit)) {
        bits &= uint8_t(~bit);
        holdingUpdateRequests = true;
    } else if (!hold && holdingUpdateRequests) {
        bits |= bit;
        holdingUpdateRequests = false;
    }
}

rfbBool RfbSession::allocateFrameBuffer()
{
    // The library asks for the new desktop next.
    input.closeDirect();
    // A new size within an update message: the library asks for the whole
    // new desktop next, which must go out, unless updates come unasked.
    holdLibraryUpdateRequests(continuousUpdates.active() || formatChangePending);
    descriptionChanged = true;
    const int w = rfb->width;
    const int h = rfb->height;
    if (w < 0 || h < 0 || w > maximumSide || h > maximumSide || qint64(w) * h > maximumPixels) {
        host.fail(Messages::tr("The remote desktop is too large to show (%1 x %2 pixels).").arg(w).arg(h));
        return FALSE;
    }
    lowColour = choice.lowColour;
    bool allocated = true;
    try {
        // Zero is black; the old pixels go first. 32-bit pixels are
        // decoded into the picture itself.
        decoded.clear();
        decoded.shrink_to_fit();
        if (lowColour)
            decoded.resize(size_t(w) * size_t(h));
    } catch (const std::bad_alloc &) {
        allocated = false;
    }
    if (!allocated || !frames.resize(w, h)) {
        host.fail(Messages::tr("Not enough memory to show the remote desktop (%1 x %2 pixels).").arg(w).arg(h));
        return FALSE;
    }
    rfb->frameBuffer = lowColour ? (decoded.empty() ? nullptr : decoded.data()) : frames.pixels();
    resized = true;
    // The format and encodings are the session's: said once. A server that
    // resizes again and again would otherwise have them sent each time.
    if (formatSent)
        return continuousUpdates.sendAnswers(rfb) && continuousUpdates.resized(rfb);
    formatSent = true;
    setPixelFormat();
    return continuousUpdates.sendAnswers(rfb) && SetFormatAndEncodings(rfb) && continuousUpdates.resized(rfb);
}

void RfbSession::setPixelFormat()
{
    rfbPixelFormat &format = rfb->format;
    format.trueColour = 1;
    format.bigEndian = 0;
    if (lowColour) {
        format.bitsPerPixel = 8;
        format.depth = 8;
        format.redMax = 7;
        format.greenMax = 7;
        format.blueMax = 3;
        format.redShift = 0;
        format.greenShift = 3;
        format.blueShift = 6;
    } else {
        format.bitsPerPixel = 32;
        format.depth = 24;
        format.redMax = 255;
        format.greenMax = 255;
        format.blueMax = 255;
        format.redShift = 16;
        format.greenShift = 8;
        format.blueShift = 0;
    }
    rfb->appData.encodingsString = choice.encodings;
    rfb->appData.compressLevel = choice.compressLevel;
    // The level goes out only with JPEG on.
    rfb->appData.qualityLevel = choice.jpegQuality < 0 ? 9 : choice.jpegQuality;
    rfb->appData.enableJPEG = !lowColour && choice.jpegQuality >= 0;
}

// Called before each rectangle is decoded. At the first of a message, ask
// for the next update at once (the library asks only after the whole
// message): the server prepares it while we decode and paint. Not while
// updates come unasked.
void RfbSession::rectangleStarting(int x, int y, int w, int h)
{
    int32_t encoding = -1;
    if (meter.measuring() && LibraryInternals::rectangleEncoding(rfb, x, y, w, h, &encoding))
        meter.rectangle(encoding, qint64(w) * h,
                        encoding == rfbEncodingTight && LibraryInternals::tightRectangleIsJpeg(rfb));
    // What was written directly during the last rectangle first, then the
    // input queued meanwhile: it goes out now, not after the whole update,
    // which may take long to come.
    input.closeDirect();
    sendInput();
    if (!shownInPart.isValid())
        shownInPart.start();
    // A new pixel format waits for the last update asked for.
    if (!requestedAhead && !continuousUpdates.active() && !formatChangePending) {
        requestedAhead = true;
        if (SendIncrementalFramebufferUpdateRequest(rfb))
            holdLibraryUpdateRequests(true);
    }
    // Input pressed while this rectangle's payload arrives goes out
    // directly: the library's decoders only read, and the output closes
    // when the payload is in (frameBufferUpdated), before the library
    // handles anything else. Nothing the server sends in between, such as
    // a SupportedMessages rectangle that lets the library's own update
    // request go again, may find it open. Held fence answers go first.
    if (continuousUpdates.nothingHeld())
        input.openDirect(rfb->sock, rfb->tlsSession);
}

void RfbSession::frameBufferUpdated(int x, int y, int w, int h)
{
    input.closeDirect();
    // The library reports our pseudo-rectangles too; a cursor's would pass
    // for a change of pixels.
    if (announcements.tookRectangle())
        return;
    // The library's rectangle as it is: it may lie outside the image.
    damageRects.push_back(QRect(x, y, w, h));
    // A long update (a big picture over a slow link) is shown as it comes,
    // a screen refresh's worth at a time, not only once it is all here.
    if (shownInPart.elapsed() >= partialUpdateMs) {
        showDamage();
        shownInPart.start();
    }
}

// CopyRect, the scrolling of every terminal and list. The library copies
// pixel by pixel, and backwards whenever the area moves straight up or
// down: a quarter of the viewer's time while a terminal scrolls. Whole
// rows, in the order that reads each row before it is overwritten.
void RfbSession::copyRectangle(int fromX, int fromY, int w, int h, int toX, int toY)
{
    const int width = rfb->width;
    const int height = rfb->height;
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && w <= width - x && h <= height - y; };
    if (!rfb->frameBuffer || w <= 0 || h <= 0 || !inside(fromX, fromY) || !inside(toX, toY))
        return;
    const size_t pixel = size_t(rfb->format.bitsPerPixel / 8);
    const size_t stride = size_t(width) * pixel;
    const size_t bytes = size_t(w) * pixel;
    uint8_t *from = rfb->frameBuffer + size_t(fromY) * stride + size_t(fromX) * pixel;
    uint8_t *to = rfb->frameBuffer + size_t(toY) * stride + size_t(toX) * pixel;
    if (toY <= fromY) {
        for (int row = 0; row < h; ++row)
            std::memmove(to + size_t(row) * stride, from + size_t(row) * stride, bytes);
    } else {
        for (int row = h - 1; row >= 0; --row)
            std::memmove(to + size_t(row) * stride, from + size_t(row) * stride, bytes);
    }
}

// Rectangles are announced once the whole message is decoded (or, for a
// long one, every partialUpdateMs): one hand-over to the GUI thread per
// message, merged where they touch; an empty rectangle is still announced.
// The list keeps its capacity.
void RfbSession::frameBufferUpdateFinished()
{
    input.closeDirect();
    // The desktop's size alone is followed by the pixels asked for, in the
    // format of the request.
    const bool sizeAlone = LibraryInternals::endUpdateWatch(rfb);
    requestedAhead = false;
    holdLibraryUpdateRequests(continuousUpdates.active() || formatChangePending);
    sizeAnswersOutright = sizeAnswersOutright || sizeAlone;
    if (sizeAlone && outright == Outright::Asked)
        outright = Outright::SizeCame;
    else if (!sizeAlone && outright == Outright::SizeCame)
        outright = Outright::Answered;
    // Before the size of a request asked outright came, an update answers
    // an earlier one: that request's would follow, in the old format.
    pendingUpdateArrived = formatChangePending
                           && (pendingUpdateArrived
                               || (!sizeAlone && (!sizeAnswersOutright || outright == Outright::Answered)));
    updateMeasured();
    shownInPart.invalidate();
    showDamage();
}

void RfbSession::showDamage()
{
    // A new size is shown even when no rectangle of it came yet.
    if (damageRects.empty() && !resized)
        return;
    resized = false;
    if (damageRects.size() > 1) {
        QRegion merged;
        for (const QRect &r : damageRects)
            merged += r;
        if (!merged.isEmpty())
            damageRects.assign(merged.begin(), merged.end());
    }
    const bool tell = lowColour ? frames.publish(decoded.data(), bgr233(), damageRects)
                                : frames.publish(nullptr, nullptr, damageRects);
    host.showUpdate(damageRects, tell);
    damageRects.clear();
}

// The library would end the connection on an extended clipboard message.
bool RfbSession::receiveCutText()
{
    char type;
    if (!continuousUpdates.sendAnswers(rfb) || !ReadFromRFBServer(rfb, &type, 1))
        return false;
    QString text;
    bool arrived = false;
    switch (clipboard.receive(rfb, &text, &arrived)) {
    case ExtendedClipboard::Outcome::Lost:
        return false;
    case ExtendedClipboard::Outcome::TooLarge:
        host.fail(Messages::tr("The VNC server sent more clipboard text than this viewer accepts (%1 MiB).")
                      .arg(ExtendedClipboard::maximumText >> 20));
        return false;
    case ExtendedClipboard::Outcome::Handled:
        break;
    }
    if (arrived)
        host.showCutText(text);
    return true;
}

void RfbSession::bell()
{
    host.ringBell();
}

void RfbSession::cursorShapeReceived(int xHot, int yHot, int width, int height, int bytesPerPixel)
{
    QImage shape(width, height, QImage::Format_ARGB32);
    const QRgb *palette = bgr233();
    if (!shape.isNull() && rfb->rcSource && rfb->rcMask) {
        for (int y = 0; y < height; ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(shape.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const size_t i = size_t(y) * size_t(width) + size_t(x);
                QRgb colour;
                if (bytesPerPixel == 1) {
                    colour = palette[rfb->rcSource[i]];
                } else {
                    uint32_t pixel;
                    std::memcpy(&pixel, rfb->rcSource + i * 4, 4);
                    colour = qRgb((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
                }
                line[x] = rfb->rcMask[i] ? colour : qRgba(0, 0, 0, 0);
            }
        }
    }
    // 0.9.14 never frees the mask, and the source only when the next shape
    // comes: both are ours to free.
    free(rfb->rcMask);
    rfb->rcMask = nullptr;
    free(rfb->rcSource);
    rfb->rcSource = nullptr;
    if (!shape.isNull())
        host.showCursor(shape, QPoint(xHot, yHot));
}
