#ifndef AUTOQUALITY_H
#define AUTOQUALITY_H

#include "encodingchoice.h"

#include <QtGlobal>

// What one finished framebuffer update cost, as the connection thread
// measured it.
struct UpdateSample
{
    qint64 endMs = 0; // monotonic time the update's last byte was handled
    qint64 bytes = 0; // the update's bytes on the wire (below TLS when it can be told)
    qint64 receiveUs = 0; // from its header to its last rectangle
    qint64 pixels = 0; // pixels its rectangles covered (CopyRect excluded)
    qint64 jpegPixels = 0; // of them, sent as JPEG
};

// Chooses the encoding for Auto from the link and the picture: a line
// speed estimated from what updates cost to arrive, the round trip, and
// whether the picture is photo-like (JPEG rectangles, or many bytes per
// pixel in the lossless format) or text-like. It holds a choice until the
// figures have clearly moved past the boundary (no flapping). Pure: no
// clock, no socket, so it is tested with made-up figures.
class AutoQuality
{
public:
    enum class Reason { NotMeasured, FastLink, SlowLinkText, SlowLinkPictures, VerySlowLink };

    void addUpdate(const UpdateSample &sample);
    // A round trip measured at 'nowMs' (a fence's, or the socket's).
    void addRoundTrip(qint64 nowMs, int roundTripMs);

    EncodingChoice choice() const;
    Reason reason() const;
    // -1 while not measured.
    int lineSpeedKbps() const;
    int roundTripMs() const;
};

#endif
