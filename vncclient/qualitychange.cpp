// The session's quality changed while connected, and what each update
// cost to arrive. Everything here runs on the connection thread, between
// messages or inside the library's update handling.
//
// A new pixel format must not meet an update in the old one: with
// continuous updates the server is asked to stop and its
// EndOfContinuousUpdates says the last old update is in; without them no
// request goes out until the one outstanding is answered (at once where
// the server tells when it has a request: see applyChoice). Then the
// decoded pixels are converted, the new format and encodings go out with a
// request for the whole desktop, and continuous updates start again. The picture
// shown is not touched: it keeps the last update until the new ones come.
#include "rfbsession.h"

#include "libraryinternals.h"
#include "sessionhost.h"

#include <QCoreApplication>

#include <cstring>
#include <new>
#include <utility>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(VncClientThread)
};
} // namespace

bool RfbSession::setQuality(Quality next)
{
    if (!rfb || next == quality)
        return true;
    quality = next;
    descriptionChanged = true;
    return applyChoice(next == Quality::Auto ? autoQuality.choice() : EncodingChoice::forQuality(next));
}

bool RfbSession::applyChoice(const EncodingChoice &next)
{
    // A switch on its way takes whatever is wanted last.
    if (formatChangePending) {
        // Back to the format in use while the switch still waits for the
        // answer to a request (a desktop that does not change may never
        // answer): the request stands as it was, only the encodings change.
        if (next.lowColour != lowColour || continuousUpdates.active()) {
            pendingChoice = next;
            return true;
        }
        formatChangePending = false;
        holdLibraryUpdateRequests(false);
    }
    if (next == choice)
        return true;
    descriptionChanged = true;
    if (next.lowColour == lowColour) {
        choice = next;
        setPixelFormat();
        return continuousUpdates.sendAnswers(rfb) && LibraryInternals::sendEncodingsOnly(rfb);
    }
    pendingChoice = next;
    formatChangePending = true;
    pendingUpdateArrived = false;
    holdLibraryUpdateRequests(true);
    if (continuousUpdates.active())
        return continuousUpdates.pause(rfb);
    // A still desktop may not answer the request outstanding for long: a
    // server that tells when it has a request asked outright is asked for
    // one pixel, whose answer answers everything before it.
    return !sizeAnswersOutright || outright != Outright::Answered || requestArea(1, 1);
}

bool RfbSession::afterMessage()
{
    if (quality == Quality::Auto && std::exchange(measured, false)) {
        const EncodingChoice wanted = autoQuality.choice();
        if (wanted != (formatChangePending ? pendingChoice : choice) && !applyChoice(wanted))
            return false;
        // Small updates on a cheap row say nothing of the link: now and
        // then a whole screen measures it. A switch asks for one anyway.
        if (!formatChangePending && autoQuality.askForFullUpdate(meter.nowMs()) && !requestWholeDesktop())
            return false;
    }
    if (!formatChangePending)
        return true;
    if (continuousUpdates.takePaused())
        return switchFormat();
    // Continuous updates may have begun since the switch was asked for.
    if (continuousUpdates.active())
        return continuousUpdates.pausing() || continuousUpdates.pause(rfb);
    return !pendingUpdateArrived || switchFormat();
}

bool RfbSession::switchFormat()
{
    formatChangePending = false;
    pendingUpdateArrived = false;
    descriptionChanged = true;
    if (pendingChoice.lowColour != lowColour && !convertDecoded(pendingChoice.lowColour))
        return false;
    choice = pendingChoice;
    setPixelFormat();
    if (!continuousUpdates.sendAnswers(rfb) || !SetFormatAndEncodings(rfb) || !requestWholeDesktop())
        return false;
    if (continuousUpdates.active())
        return continuousUpdates.resume(rfb);
    holdLibraryUpdateRequests(false);
    return true;
}

// So that CopyRect and the rectangles of incremental updates keep finding
// the picture they expect; rounded as servers round. 32-bit pixels are
// decoded into the picture itself, which holds the 8-bit ones converted.
bool RfbSession::convertDecoded(bool toLowColour)
{
    const size_t pixels = size_t(rfb->width) * size_t(rfb->height);
    uint8_t *picture = frames.pixels();
    if (!picture && pixels > 0)
        return false;
    if (toLowColour) {
        bool made = true;
        try {
            decoded.resize(pixels);
        } catch (const std::bad_alloc &) {
            made = false;
        }
        if (!made) {
            host.fail(Messages::tr("Not enough memory to show the remote desktop (%1 x %2 pixels).")
                          .arg(rfb->width)
                          .arg(rfb->height));
            return false;
        }
        const auto level = [](uint32_t v, uint32_t max) { return (v * max + 127) / 255; };
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t p;
            std::memcpy(&p, picture + i * 4, 4);
            decoded[i] = uint8_t(level((p >> 16) & 0xff, 7) | level((p >> 8) & 0xff, 7) << 3 | level(p & 0xff, 3) << 6);
        }
        rfb->frameBuffer = decoded.data();
    } else {
        decoded.clear();
        decoded.shrink_to_fit();
        rfb->frameBuffer = picture;
    }
    lowColour = toLowColour;
    return true;
}

bool RfbSession::requestWholeDesktop()
{
    return requestArea(rfb->width, rfb->height);
}

// Asked outright, from the top left; past the hold on the library's own
// requests, which stays as it was.
bool RfbSession::requestArea(int width, int height)
{
    const bool held = holdingUpdateRequests;
    holdLibraryUpdateRequests(false);
    const bool sent = SendFramebufferUpdateRequest(rfb, 0, 0, width, height, FALSE);
    outright = Outright::Asked;
    holdLibraryUpdateRequests(held);
    return sent;
}

// Auto is told always, so that the line speed and the reason it would
// give are there to see whatever the quality.
void RfbSession::updateMeasured()
{
    const UpdateSample sample = meter.finish(rfb->sock);
    autoQuality.addUpdate(sample);
    if (meter.roundTripMs() >= 0)
        autoQuality.addRoundTrip(sample.endMs, meter.roundTripMs());
    measured = true;
    if (meter.takeNewEncoding() || autoQuality.reason() != reason) {
        reason = autoQuality.reason();
        descriptionChanged = true;
    }
}

void RfbSession::describe(ConnectionInfo *info) const
{
    if (!rfb)
        return;
    info->desktopName = QString::fromUtf8(rfb->desktopName ? rfb->desktopName : "");
    info->protocolMajor = rfb->major;
    info->protocolMinor = rfb->minor;
    info->securityType = int(rfb->authScheme);
    info->securitySubtype = rfb->authScheme == rfbVeNCrypt ? int(rfb->subAuthScheme) : 0;
    info->desktopSize = QSize(rfb->width, rfb->height);
    info->bitsPerPixel = rfb->format.bitsPerPixel;
    info->depth = rfb->format.depth;
    info->encodingsUsed = meter.encodingsUsed();
    info->continuousUpdates = continuousUpdates.active();
    info->quality = quality;
    info->choice = choice;
    info->reason = autoQuality.reason();
    info->lineSpeedKbps = autoQuality.lineSpeedKbps();
    info->roundTripMs = autoQuality.roundTripMs() >= 0 ? autoQuality.roundTripMs() : meter.roundTripMs();
    info->updatesPerSecond = meter.recent().updatesPerSecond(meter.nowMs());
    info->bytesPerSecond = meter.recent().bytesPerSecond(meter.nowMs());
}

void RfbSession::copyRecentUpdates(RecentUpdates *recent, QElapsedTimer *clock) const
{
    *recent = meter.recent();
    *clock = meter.clock();
}

bool RfbSession::takeDescriptionChanged()
{
    return std::exchange(descriptionChanged, false);
}
