#ifndef RFBSESSION_H
#define RFBSESSION_H

#include "desktopsize.h"
#include "connectioninfo.h"
#include "continuousupdates.h"
#include "extendedclipboard.h"
#include "framehandover.h"
#include "handshake.h"
#include "inputqueue.h"
#include "ledstate.h"
#include "serverannouncements.h"
#include "encodingchoice.h"
#include "quality.h"
#include "tlschannel.h"
#include "updatemeter.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRect>

#include <vector>

#include <rfb/rfbclient.h>

class SessionHost;

// One RFB conversation through libvncclient: the rfbClient, its callbacks
// (member functions reached through one trampoline), the greeting and its
// security, and the frame the library decodes into. It runs on the
// connection thread and tells its host what the user should see, through
// 'frames' for what it decoded. It sends the user's input from 'input'
// between messages and rectangles, and opens it to direct writes while the
// library reads a rectangle.
class RfbSession
{
public:
    RfbSession(SessionHost &host, InputQueue &input, FrameHandover &frames, const HandshakeSettings &settings,
               Quality quality);
    ~RfbSession();
    RfbSession(const RfbSession &) = delete;
    RfbSession &operator=(const RfbSession &) = delete;

    // Greets the server over 'socket', which the session takes over, and
    // asks for the first update. After a failure only close() remains.
    bool open(int socket, unsigned readTimeoutSeconds);
    // Reads and handles one server message.
    bool handleServerMessage();
    // Sends the fence answers held back (see ContinuousUpdates): before the
    // connection waits for the server, and before input goes out.
    bool sendFenceAnswers();
    // Sends the input waiting in the queue, the fence answers held back
    // first.
    void sendInput();
    // Around the connection thread's wait for the server: the user's input
    // leaves from the thread that takes it, without waking this one.
    void openIdleOutput();
    // False when a direct write found the connection failed.
    bool closeIdleOutput();
    // Bytes already read ahead, by the library or by TLS, that a wait on
    // the socket would not see.
    bool hasPendingInput() const;
    int socket() const;
    // Null once closed.
    rfbClient *client() const { return rfb; }
    // Ends the conversation; 'politely' tells a TLS peer first, waiting
    // at most 'ms' for the socket.
    void close(bool politely, int ms);

    bool encrypted() const { return tlsUsed; }
    // Whether the server takes requests to change its desktop size.
    bool canResizeDesktop() const { return DesktopSize::offered(rfb); }
    // Whether the server acknowledged QEMU's extended key events: keys may
    // go with their physical position.
    bool hasExtendedClipboard() const { return clipboard.extended(); }
    bool takesPhysicalKeys() const { return rfb && SupportsClient2Server(rfb, rfbQemuEvent); }

    // Largest desktop accepted from a server: any side up to 16384 pixels,
    // at most 128 million pixels (512 MiB) in all, two 8K screens' worth.
    static constexpr int maximumSide = 16384;
    static constexpr qint64 maximumPixels = qint64(16384) * 8192;
    ServerIdentity identity() const { return tls.identity(); }

    // Between messages: the user's quality, changed while connected. A new
    // pixel format waits until no update in the old one can come (see
    // qualitychange.cpp); the picture shown stays meanwhile.
    bool setQuality(Quality quality);
    // The session's part of the connection-information view.
    void describe(ConnectionInfo *info) const;
    // Whether something describe() shows changed since the last call,
    // other than the running figures.
    bool takeDescriptionChanged();
    // The updates behind the rates, and the clock they are on.
    void copyRecentUpdates(RecentUpdates *recent, QElapsedTimer *clock) const;

private:
    template<auto Member>
    struct Hook;
    static RfbSession *from(rfbClient *client);

    rfbBool allocateFrameBuffer();
    void rectangleStarting(int x, int y, int w, int h);
    void frameBufferUpdated(int x, int y, int w, int h);
    void copyRectangle(int fromX, int fromY, int w, int h, int toX, int toY);
    void frameBufferUpdateFinished();
    void showDamage();
    bool receiveCutText();
    void bell();
    void cursorShapeReceived(int xHot, int yHot, int width, int height, int bytesPerPixel);
    void setPixelFormat();
    void holdLibraryUpdateRequests(bool hold);
    bool applyChoice(const EncodingChoice &next);
    bool afterMessage();
    bool switchFormat();
    bool convertDecoded(bool toLowColour);
    bool requestWholeDesktop();
    bool requestArea(int width, int height);
    void updateMeasured();

    SessionHost &host;
    InputQueue &input;
    FrameHandover &frames;
    HandshakeSettings settings;
    Quality quality;
    EncodingChoice choice; // in effect
    EncodingChoice pendingChoice; // with a new pixel format, waiting
    bool formatChangePending = false;
    bool pendingUpdateArrived = false; // without continuous updates: none outstanding now
    // Whether the server answers each request asked outright (not
    // incremental) with the desktop's size alone first (libvncserver,
    // QEMU), and where the last one stands: the first update after its size
    // answers it and every request before it, as such servers keep one.
    bool sizeAnswersOutright = false;
    enum class Outright { Answered, Asked, SizeCame } outright = Outright::Answered;
    bool descriptionChanged = true;
    UpdateMeter meter;
    AutoQuality autoQuality;
    AutoQuality::Reason reason = AutoQuality::Reason::NotMeasured; // as last described
    bool measured = false; // an update measured since Auto was last asked
    rfbClient *rfb = nullptr;
    TlsChannel tls;
    bool tlsUsed = false;
    // At quality Low the library decodes 8-bit BGR233 pixels into these,
    // converted as they are shown; 32-bit ones straight into the picture.
    bool lowColour = false;
    std::vector<uint8_t> decoded;
    std::vector<QRect> damageRects; // updated so far in this update message
    bool resized = false; // a new size not yet shown
    bool requestedAhead = false; // next update asked for during this message
    // Since the message's first rectangle began, or since part of it was
    // shown.
    QElapsedTimer shownInPart;
    static constexpr int partialUpdateMs = 16;
    bool holdingUpdateRequests = false; // the library's own request is held back
    bool formatSent = false; // SetPixelFormat and SetEncodings
    ContinuousUpdates continuousUpdates;
    LedState ledState;
    ExtendedClipboard clipboard;
    ServerAnnouncements announcements{host};
};

#endif
