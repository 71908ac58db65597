#ifndef AUTOQUALITY_H
#define AUTOQUALITY_H

#include "encodingchoice.h"

#include <QtGlobal>

#include <deque>

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
    // A round trip measured at 'nowMs' (a fence's, or the socket's). Give
    // one before updates stream (the handshake's): queues are told from
    // the rise above the least seen.
    void addRoundTrip(qint64 nowMs, int roundTripMs);

    EncodingChoice choice() const;
    Reason reason() const;
    // -1 while not measured.
    int lineSpeedKbps() const;
    int roundTripMs() const;

    // True when a whole-screen update should be asked for now: on a
    // cheaper row nothing has measured the link for a while (small
    // updates), so it may have been freed. At most every 20 s.
    bool askForFullUpdate(qint64 nowMs);

private:
    enum class Content { Unknown, Text, Pictures };
    struct Update
    {
        qint64 startMs;
        qint64 endMs;
        qint64 bytes;
        qint64 photoPixels; // judged photo-like
        qint64 textPixels; // judged text-like
        bool slow; // took long enough to stand for the picture and the link alone
    };
    struct Rate
    {
        qint64 atMs;
        int kbps;
        int weight;
    };
    struct RoundTrip
    {
        qint64 atMs;
        int ms;
    };

    void judgeContent();
    void estimateSpeed(qint64 nowMs);
    qint64 throughputKbps(qint64 nowMs) const; // -1: not seen long enough
    bool queueing(qint64 nowMs) const;
    bool linkIsTheLimit(qint64 nowMs) const;
    bool picturesWouldFill(int row, qint64 nowMs) const;
    int rowFor(int fromRow, qint64 nowMs) const;
    void decide(qint64 nowMs);
    bool measured() const { return speedRow >= 0; }
    static EncodingChoice rowChoice(int row, Content what);
    static Reason reasonFor(int row, Content what);

    std::deque<Update> updates;
    std::deque<RoundTrip> roundTrips;
    std::deque<Rate> rates;
    qint64 firstStartMs = -1;
    int speedKbps = -1;
    Content content = Content::Unknown; // as judged, with its own hysteresis
    int speedRow = -1; // of the speed table; -1 until measured
    Content chosenContent = Content::Unknown;
    int photoStep = 0; // pictures sent as this many rows below speedRow
    qint64 changedAtMs = 0;
    qint64 candidateSinceMs = -1; // when the figures first pointed elsewhere
    qint64 lastFullUpdateAskedMs = -1;
};

#endif
