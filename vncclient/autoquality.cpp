#include "autoquality.h"

#include <algorithm>
#include <iterator>
#include <vector>

// How the line speed is told. With continuous updates the server paces
// itself to the link, and an update of a few packets arrives in one burst:
// its bytes over its receive time say how fast the burst was read, not what
// the link carries. So only updates of many packets (or of a few that took
// far longer than one packet's time) count as measurements of the line,
// and the estimate is a median of those of the last seconds, weighted by
// size: one update that sat in the socket before it was read cannot move
// it. Against Xvnc over an emulated 20 and 2 Mbit/s link, updates of 16 KiB
// and more read 19.2-19.3 and 1.93 Mbit/s at the median, 18.4 and 1.89 at
// the 10th percentile, in every format. The estimate only moves the choice
// to a cheaper row when the link is shown to be the limit: the round trip
// has risen above its minimum (a queue), or the bytes of the last seconds
// fill most of the estimate (the server's own pacing keeps the queue
// short). A server encoding slower than the link looks like a slow link.
//
// Content. Figures of Xvnc (1280x720) on loopback, in bytes per changed
// pixel (CopyRect excluded):
//   antialiased terminal: 8-bit lossless 0.055; tight JPEG 8 0.70, JPEG 7
//     0.62, JPEG 1 0.35, 60 % of its pixels JPEG, updates of >= 80 % JPEG
//     >= 0.5 a pixel;
//   bitmap terminal: 0.033, no JPEG at any setting;
//   full-screen photos: 8-bit lossless 0.28; JPEG 8 0.47, JPEG 7 0.35,
//     JPEG 6 0.26, JPEG 3 0.10, JPEG 1 0.069, JPEG 0 0.037, all JPEG; the
//     server's refreshes of JPEG areas when the link is idle 2.7-3.7.
// So with JPEG on, an update is photo-like when nearly all of it is JPEG at
// under half a byte a pixel; in 8-bit lossless, when it costs over 0.12
// (over the emulated links, per update: text 0.01-0.03, photos 0.27-0.29).
// Text on a slow link is far cheaper lossless (a sixth to a tenth of the
// bytes of JPEG), photos far cheaper as JPEG (a quarter at JPEG 1).
namespace
{
using Reason = AutoQuality::Reason;

struct Row
{
    bool lowColour;
    int jpegQuality;
    int compressLevel;
};

// A row applies from its line speed up. Fast links: JPEG for everything, as
// the fixed Medium level does; JPEG 6 as TigerVNC's viewer below 16 Mbit/s
// (its bytes are the yardstick where the link is not the limit), 8 on a
// LAN. Below 14 Mbit/s JPEG of the antialiased terminal (8.5-11 Mbit/s at
// JPEG 6-7) or of a photo every 250 ms (7.6-10 Mbit/s) fills most of the
// link. Slow links: text lossless in 8 bits, photos as JPEG as low as the
// link needs (a photo every 250 ms: JPEG 3 3 Mbit/s, JPEG 1 2 Mbit/s).
// Very slow (TigerVNC's viewer goes to 8 bits below 256 kbit/s): zlib's
// best, as the server has little to send, but JPEG 0 for photos, a
// seventh of their bytes in 8 bits (so the reason is still the photos).
struct SpeedRow
{
    int fromKbps;
    Reason textReason;
    Reason pictureReason;
    Row text;
    Row pictures;
    double photoBytesPerPixel; // what a photo costs in the pictures' row
};

const SpeedRow speedTable[] = {
    {0, Reason::VerySlowLink, Reason::SlowLinkPictures, {true, -1, 9}, {false, 0, 9}, 0.037},
    {256, Reason::SlowLinkText, Reason::SlowLinkPictures, {true, -1, 6}, {false, 1, 6}, 0.069},
    {4000, Reason::SlowLinkText, Reason::SlowLinkPictures, {true, -1, 6}, {false, 3, 6}, 0.10},
    {14000, Reason::FastLink, Reason::FastLink, {false, 6, 5}, {false, 6, 5}, 0.26},
    {50000, Reason::FastLink, Reason::FastLink, {false, 8, 2}, {false, 8, 2}, 0.47},
};
// Until measured the session has Auto's starting row, a fast link's.
constexpr int startRow = 3;
// Pictures that fill the link are sent as the row below sends them: a full
// link queues every update, the keys' among them (a photo stream at JPEG 6
// filled 92 % of 20 Mbit/s, and a key took 49 ms to show against 30 ms on
// an emptier link). Not below this row: JPEG 0 is too coarse to look at.
constexpr int lowestSteppedRow = 1;
// Back up only with room to spare, as the cost of a photo is a guess.
constexpr double picturesStepUpFill = 0.5; // of the estimate

constexpr qint64 measuringBytes = 16 * 1024; // about 11 full packets
constexpr qint64 fewPacketsBytes = 4 * 1024;
constexpr qint64 fewPacketsSlowUs = 20000; // 4 KiB at 1.6 Mbit/s
constexpr qint64 speedWindowMs = 4000;
// Updates measuring the link, or one that took a second or was big.
constexpr int speedSamplesNeeded = 3;
constexpr qint64 slowUpdateUs = 1000000;
constexpr size_t maximumRates = 64;
constexpr qint64 oldestRateMs = 60000;
constexpr qint64 throughputWindowMs = 2000;
// The first choice: the bytes and the picture of the first second.
constexpr qint64 firstSecondsMs = 1000;
constexpr double linkFull = 0.7; // of the estimate
constexpr qint64 queueWindowMs = 2000;
constexpr qint64 minimumRoundTripWindowMs = 30000;
constexpr size_t maximumRoundTrips = 1024;
constexpr int queueingMs = 10; // above the minimum, at least
constexpr double boundaryMargin = 1.25; // past a row's speed, either way
constexpr qint64 settleMs = 1500; // the figures point elsewhere this long
constexpr qint64 holdMs = 4000; // a choice is kept at least this long
constexpr qint64 undecidedMs = 10000;
// A cheap row's small updates (8-bit text: 2 kB) cannot tell a freed link.
constexpr qint64 fullUpdateEveryMs = 20000;

constexpr qint64 contentWindowMs = 8000;
constexpr qint64 formatChangeMs = 1000; // and a round trip: the old format may still arrive
constexpr double photoJpegShare = 0.8;
constexpr double photoJpegBytesPerPixel = 0.5;
constexpr double photoFineJpegBytesPerPixel = 0.6; // JPEG 8: photos 0.47, text 0.70
constexpr double photoLosslessBytesPerPixel = 0.12;
constexpr double resentBytesPerPixel = 1.5; // refreshes: neither
constexpr double picturesFrom = 0.6; // of the changed pixels
constexpr double textBelow = 0.3;
constexpr int judgedUpdates = 3; // and over this span
constexpr qint64 judgedSpanMs = 2000;

EncodingChoice fromRow(const Row &row)
{
    EncodingChoice choice = EncodingChoice::forQuality(Quality::Medium);
    choice.lowColour = row.lowColour;
    choice.jpegQuality = row.jpegQuality;
    choice.compressLevel = row.compressLevel;
    return choice;
}

template<typename T> double median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}
} // namespace

void AutoQuality::addUpdate(const UpdateSample &sample)
{
    const bool slow = sample.receiveUs >= slowUpdateUs;
    Update u{sample.endMs - sample.receiveUs / 1000, sample.endMs, sample.bytes, 0, 0, slow};
    if (firstStartMs < 0)
        firstStartMs = u.startMs;
    const bool many = sample.bytes >= measuringBytes;
    const bool fewButSlow = sample.bytes >= fewPacketsBytes && sample.receiveUs >= fewPacketsSlowUs;
    if ((many || fewButSlow) && sample.receiveUs > 0) {
        const int kbps = int(std::min<qint64>(sample.bytes * 8000 / sample.receiveUs, 100000000));
        // Big or long updates measure better: one of 48 KiB counts as three.
        const int weight = slow ? speedSamplesNeeded : int(std::clamp<qint64>(sample.bytes / measuringBytes, 1, 3));
        rates.push_back({sample.endMs, kbps, weight});
        while (rates.size() > maximumRates || rates.front().atMs < sample.endMs - oldestRateMs)
            rates.pop_front();
    }
    // Updates in flight when the format changed are the old format's.
    const bool settled = sample.endMs - changedAtMs >= formatChangeMs + std::max(0, roundTripMs());
    if (sample.pixels > 0 && (settled || !measured())) {
        const double bytesPerPixel = double(sample.bytes) / double(sample.pixels);
        const bool jpeg = sample.jpegPixels > 0 || choice().jpegQuality >= 0;
        bool photo = bytesPerPixel >= photoLosslessBytesPerPixel;
        if (jpeg)
            photo = double(sample.jpegPixels) >= photoJpegShare * double(sample.pixels)
                && bytesPerPixel < (choice().jpegQuality >= 8 ? photoFineJpegBytesPerPixel : photoJpegBytesPerPixel);
        if (bytesPerPixel < resentBytesPerPixel)
            (photo ? u.photoPixels : u.textPixels) = sample.pixels;
    }
    updates.push_back(u);
    while (!updates.empty() && updates.front().endMs < sample.endMs - contentWindowMs)
        updates.pop_front();
    judgeContent();
    estimateSpeed(sample.endMs);
    decide(sample.endMs);
}

void AutoQuality::addRoundTrip(qint64 nowMs, int roundTripMs)
{
    if (roundTripMs < 0)
        return;
    roundTrips.push_back({nowMs, roundTripMs});
    while (roundTrips.size() > maximumRoundTrips || roundTrips.front().atMs < nowMs - minimumRoundTripWindowMs)
        roundTrips.pop_front();
    estimateSpeed(nowMs);
    decide(nowMs);
}

void AutoQuality::judgeContent()
{
    qint64 photo = 0, text = 0, firstMs = -1, lastMs = -1, firstPhotoMs = -1, lastPhotoMs = -1;
    int judged = 0, photoUpdates = 0;
    bool slowOne = false;
    for (const Update &u : updates) {
        if (u.photoPixels + u.textPixels == 0)
            continue;
        slowOne = slowOne || u.slow;
        text += u.textPixels;
        photo += u.photoPixels;
        ++judged;
        lastMs = u.endMs;
        firstMs = firstMs < 0 ? u.endMs : firstMs;
        if (u.photoPixels > 0) {
            ++photoUpdates;
            lastPhotoMs = u.endMs;
            firstPhotoMs = firstPhotoMs < 0 ? u.endMs : firstPhotoMs;
        }
    }
    const double share = photo + text > 0 ? double(photo) / double(photo + text) : 0;
    // The first judgement takes what there is; later, pictures only when
    // they go on: one photo in a text session is not a stream.
    const bool picturesGoOn
        = share >= picturesFrom && photoUpdates >= judgedUpdates && lastPhotoMs - firstPhotoMs >= judgedSpanMs;
    if (content == Content::Unknown) {
        if ((judged >= judgedUpdates && lastMs - firstMs >= firstSecondsMs) || slowOne)
            content = share >= picturesFrom ? Content::Pictures : Content::Text;
    } else if (content == Content::Text) {
        if (picturesGoOn)
            content = Content::Pictures;
    } else if (text > 0 && share < textBelow) {
        content = Content::Text;
    }
}

void AutoQuality::estimateSpeed(qint64 nowMs)
{
    // The weighted median of the last seconds' measurements, or of the
    // last few when they come rarely (a slow link's big updates).
    std::vector<Rate> recent;
    int weight = 0;
    for (auto r = rates.rbegin(); r != rates.rend(); ++r) {
        if (r->atMs <= nowMs - speedWindowMs && weight >= speedSamplesNeeded)
            break;
        recent.push_back(*r);
        weight += r->weight;
    }
    if (weight >= speedSamplesNeeded) {
        std::sort(recent.begin(), recent.end(), [](const Rate &a, const Rate &b) { return a.kbps < b.kbps; });
        int below = 0;
        for (const Rate &r : recent) {
            below += r.weight;
            if (2 * below >= weight) {
                speedKbps = r.kbps;
                break;
            }
        }
    }
}

qint64 AutoQuality::throughputKbps(qint64 nowMs) const
{
    if (firstStartMs < 0 || firstStartMs > nowMs - firstSecondsMs)
        return -1;
    // Over the window (or the time connected), or over the updates ending
    // in it when they took longer.
    const qint64 windowMs = std::min(throughputWindowMs, nowMs - firstStartMs);
    qint64 bytes = 0, fromMs = nowMs - windowMs;
    for (const Update &u : updates) {
        if (u.endMs > nowMs - windowMs) {
            bytes += u.bytes;
            fromMs = std::min(fromMs, u.startMs);
        }
    }
    return bytes * 8 / std::max<qint64>(1, nowMs - fromMs);
}

bool AutoQuality::queueing(qint64 nowMs) const
{
    std::vector<int> recent;
    int minimum = -1;
    for (const RoundTrip &r : roundTrips) {
        minimum = minimum < 0 ? r.ms : std::min(minimum, r.ms);
        if (r.atMs > nowMs - queueWindowMs)
            recent.push_back(r.ms);
    }
    return recent.size() >= 2 && median(recent) > minimum + std::max(queueingMs, minimum / 4);
}

bool AutoQuality::linkIsTheLimit(qint64 nowMs) const
{
    const qint64 carried = throughputKbps(nowMs);
    return queueing(nowMs) || (carried >= 0 && double(carried) >= linkFull * speedKbps);
}

int AutoQuality::rowFor(int fromRow, qint64 nowMs) const
{
    const int last = int(std::size(speedTable)) - 1;
    int row = fromRow < 0 ? startRow : fromRow;
    const int start = row;
    const double margin = measured() ? boundaryMargin : 1.0;
    while (row < last && speedKbps >= speedTable[row + 1].fromKbps * margin)
        ++row;
    if (row == start && linkIsTheLimit(nowMs)) {
        while (row > 0 && speedKbps < speedTable[row].fromKbps / margin)
            --row;
    }
    return row;
}

// Whether pictures, sent as 'row' sends them, would fill the link: what
// they carry now, scaled by what a photo costs there against here.
bool AutoQuality::picturesWouldFill(int row, qint64 nowMs) const
{
    const qint64 carried = throughputKbps(nowMs);
    const double scale = speedTable[row].photoBytesPerPixel / speedTable[row - photoStep].photoBytesPerPixel;
    return carried < 0 || double(carried) * scale >= picturesStepUpFill * speedKbps;
}

void AutoQuality::decide(qint64 nowMs)
{
    if (speedKbps < 0)
        return;
    const int row = rowFor(speedRow, nowMs);
    // A new speed row starts from its own pictures' row.
    int step = row == speedRow ? photoStep : 0;
    if (content != Content::Pictures || row <= lowestSteppedRow)
        step = 0;
    else if (step == 0 && row == speedRow && linkIsTheLimit(nowMs))
        step = 1;
    else if (step == 1 && !picturesWouldFill(row, nowMs))
        step = 0;
    if (measured() && step == photoStep && rowChoice(row, content) == rowChoice(speedRow, chosenContent)
        && reasonFor(row, content) == reasonFor(speedRow, chosenContent)) {
        candidateSinceMs = -1;
        return;
    }
    if (candidateSinceMs < 0)
        candidateSinceMs = nowMs;
    // The first measurement decides at once (the start's row was a guess);
    // below a fast link's speed, once the link has shown itself the limit
    // (a slower row) or not for a while.
    if (!measured() && row == startRow && speedKbps < speedTable[startRow].fromKbps && !rates.empty()
        && nowMs - rates.front().atMs < undecidedMs)
        return;
    // A slow link's row depends on the picture: wait until it is known.
    if (content == Content::Unknown && rowChoice(row, Content::Text) != rowChoice(row, Content::Pictures))
        return;
    if (measured() && (nowMs - candidateSinceMs < settleMs || nowMs - changedAtMs < holdMs))
        return;
    speedRow = row;
    chosenContent = content;
    photoStep = step;
    changedAtMs = nowMs;
    candidateSinceMs = -1;
}

EncodingChoice AutoQuality::rowChoice(int row, Content what)
{
    const SpeedRow &r = speedTable[row];
    return fromRow(what == Content::Pictures ? r.pictures : r.text);
}

AutoQuality::Reason AutoQuality::reasonFor(int row, Content what)
{
    const SpeedRow &r = speedTable[row];
    return what == Content::Pictures ? r.pictureReason : r.textReason;
}

EncodingChoice AutoQuality::choice() const
{
    return measured() ? rowChoice(speedRow - photoStep, chosenContent) : EncodingChoice::forQuality(Quality::Auto);
}

AutoQuality::Reason AutoQuality::reason() const
{
    return measured() ? reasonFor(speedRow - photoStep, chosenContent) : Reason::NotMeasured;
}

bool AutoQuality::askForFullUpdate(qint64 nowMs)
{
    if (!measured() || speedRow >= startRow || linkIsTheLimit(nowMs))
        return false;
    const qint64 lastMeasuredMs = rates.empty() ? changedAtMs : rates.back().atMs;
    if (nowMs - std::max(lastMeasuredMs, lastFullUpdateAskedMs) < fullUpdateEveryMs)
        return false;
    lastFullUpdateAskedMs = nowMs;
    return true;
}

int AutoQuality::lineSpeedKbps() const
{
    return speedKbps;
}

int AutoQuality::roundTripMs() const
{
    if (roundTrips.empty())
        return -1;
    std::vector<int> recent;
    const qint64 nowMs = roundTrips.back().atMs;
    for (const RoundTrip &r : roundTrips) {
        if (r.atMs > nowMs - queueWindowMs)
            recent.push_back(r.ms);
    }
    return int(median(recent));
}
