// The automatic quality's choice as a link carries a terminal or photos. The
// server here sends each change as soon as the link has taken the last, in
// the bytes a changed pixel cost against Xvnc in the format then chosen.
#include "autoquality.h"

#include <QTest>

using Reason = AutoQuality::Reason;

namespace
{
enum Workload { Terminal, AntialiasedTerminal, Photos, Slideshow, Typing, PhotoStream, Idle };
struct Phase
{
    int kbps;
    int seconds;
    Workload workload;
    bool queues = true; // while the link is the limit
};
using Phases = QList<Phase>;

// What changes, how often, and the bytes a changed pixel cost in 8-bit
// lossless and at JPEG 6 and up, 3 to 5, and below.
struct Change
{
    qint64 pixels;
    qint64 everyMs;
    double jpegShare;
    double bytesPerPixel[4];
};
const Change changes[] = {
    {13000, 16, 0, {0.033, 0.033, 0.033, 0.033}},
    {28000, 16, 0.6, {0.055, 0.6, 0.6, 0.6}},
    {921600, 250, 1, {0.28, 0.35, 0.10, 0.069}},
    {921600, 3000, 1, {0.28, 0.35, 0.10, 0.069}},
    {28000, 200, 0, {0.033, 0.033, 0.033, 0.033}},
    {460800, 100, 1, {0.28, 0.35, 0.10, 0.069}}, // photos changing in parts
};

struct Played
{
    AutoQuality quality;
    int changes = 0;
};

void play(const Phases &phases, int baseRoundTripMs, Played *out)
{
    AutoQuality &q = out->quality;
    qint64 now = 0;
    bool fullUpdate = false;
    q.addRoundTrip(now, baseRoundTripMs); // the handshake's, before any queue
    for (const Phase &p : phases) {
        for (const qint64 end = now + p.seconds * 1000; now < end;) {
            const EncodingChoice c = q.choice();
            if (p.workload == Idle) {
                q.addRoundTrip(now += 100, baseRoundTripMs);
                continue;
            }
            const Change &w = changes[p.workload];
            const qint64 pixels = std::exchange(fullUpdate, false) ? 921600 : w.pixels;
            const int format = c.lowColour ? 0 : c.jpegQuality >= 6 ? 1 : c.jpegQuality >= 3 ? 2 : 3;
            const qint64 bytes = qint64(double(pixels) * w.bytesPerPixel[format]);
            const qint64 sendUs = std::max<qint64>(bytes * 8000 / p.kbps, 100);
            const qint64 jpegPixels = format > 0 ? qint64(double(pixels) * w.jpegShare) : 0;
            // A queue builds while the link is the limit.
            const int queueMs = p.queues && sendUs / 1000 > w.everyMs ? 30 : 0;
            now += std::max(w.everyMs, sendUs / 1000);
            q.addUpdate({now, bytes, sendUs, pixels, jpegPixels});
            q.addRoundTrip(now, baseRoundTripMs + queueMs);
            fullUpdate = q.askForFullUpdate(now);
            out->changes += q.choice() != c;
        }
    }
}
} // namespace
Q_DECLARE_METATYPE(Phases)

class AutoQualityTest : public QObject
{
    Q_OBJECT

private slots:
    void followsTheLinkAndThePicture_data()
    {
        QTest::addColumn<Phases>("phases");
        QTest::addColumn<int>("roundTripMs");
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<bool>("lowColour");
        QTest::addColumn<int>("jpegQuality");
        QTest::addColumn<int>("mostChanges");
        const Phase fastText{20000, 10, AntialiasedTerminal}, slowText{2000, 15, AntialiasedTerminal};
        const Phase fastPhotos{20000, 10, Photos}, slowPhotos{2000, 15, Photos};
        QTest::newRow("fast link, text: JPEG") << Phases{fastText} << 20 << Reason::FastLink << false << 6 << 1;
        QTest::newRow("fast link, photos: JPEG") << Phases{fastPhotos} << 20 << Reason::FastLink << false << 6 << 1;
        QTest::newRow("slow link, text: 8-bit lossless")
            << Phases{slowText} << 80 << Reason::SlowLinkText << true << -1 << 1;
        QTest::newRow("slow link, photos: low JPEG")
            << Phases{slowPhotos} << 80 << Reason::SlowLinkPictures << false << 1 << 1;
        QTest::newRow("a full link without a queue: JPEG 3")
            << Phases{{5000, 15, Photos, false}} << 20 << Reason::SlowLinkPictures << false << 3 << 1;
        QTest::newRow("photos filling a fast link: the row below's JPEG")
            << Phases{{16000, 20, PhotoStream}} << 20 << Reason::SlowLinkPictures << false << 3 << 2;
        QTest::newRow("photos filling a fast link, then a faster one: JPEG 6 again")
            << Phases{{16000, 20, PhotoStream}, {40000, 20, PhotoStream}} << 20 << Reason::FastLink << false << 6 << 3;
        QTest::newRow("a photo now and then, the link not the limit: JPEG kept")
            << Phases{{5000, 30, Slideshow}} << 40 << Reason::FastLink << false << 6 << 1;
        QTest::newRow("very slow link, text: 8-bit")
            << Phases{{128, 30, AntialiasedTerminal}} << 80 << Reason::VerySlowLink << true << -1 << 1;
        QTest::newRow("very slow link, photos: lowest JPEG")
            << Phases{{200, 40, Photos}} << 80 << Reason::SlowLinkPictures << false << 0 << 1;
        QTest::newRow("throttled, then freed")
            << Phases{fastPhotos, slowPhotos, fastPhotos} << 20 << Reason::FastLink << false << 6 << 3;
        const Phase longFastText{20000, 30, AntialiasedTerminal};
        QTest::newRow("text: throttled, then freed")
            << Phases{fastText, slowText, longFastText} << 20 << Reason::FastLink << false << 6 << 3;
        QTest::newRow("freed, then throttled")
            << Phases{slowPhotos, fastPhotos, slowPhotos} << 20 << Reason::SlowLinkPictures << false << 1 << 3;
        QTest::newRow("text, then photos on a slow link")
            << Phases{slowText, slowPhotos} << 80 << Reason::SlowLinkPictures << false << 1 << 2;
        QTest::newRow("one photo in a text session")
            << Phases{slowText, {2000, 1, Photos}, slowText} << 80 << Reason::SlowLinkText << true << -1 << 1;
        QTest::newRow("one photo, then only typing")
            << Phases{slowText, {2000, 10, Idle}, {2000, 1, Photos}, {2000, 15, Typing}} << 80 << Reason::SlowLinkText
            << true << -1 << 1;
        Phases swinging; // either side of the 4 Mbit/s boundary
        for (int i = 0; i < 8; ++i)
            swinging << Phase{i % 2 ? 4700 : 3400, 3, Photos};
        QTest::newRow("speed swinging at a boundary: held")
            << swinging << 80 << Reason::SlowLinkPictures << false << 1 << 1;
        QTest::newRow("small updates only: not measured")
            << Phases{{2000, 10, Terminal}} << 80 << Reason::NotMeasured << false << 7 << 0;
    }

    void followsTheLinkAndThePicture()
    {
        QFETCH(Phases, phases);
        QFETCH(int, roundTripMs);
        QFETCH(int, mostChanges);
        Played played;
        play(phases, roundTripMs, &played);
        const AutoQuality &q = played.quality;
        QTEST(q.reason(), "reason");
        QTEST(q.choice().lowColour, "lowColour");
        QTEST(q.choice().jpegQuality, "jpegQuality");
        QVERIFY2(played.changes <= mostChanges, qPrintable(QString::number(played.changes)));
        QVERIFY(q.roundTripMs() >= roundTripMs);
        const int kbps = phases.last().kbps;
        if (q.reason() == Reason::NotMeasured)
            QCOMPARE(q.lineSpeedKbps(), -1);
        else
            QVERIFY2(qAbs(q.lineSpeedKbps() - kbps) <= kbps / 4, qPrintable(QString::number(q.lineSpeedKbps())));
    }
};

QTEST_GUILESS_MAIN(AutoQualityTest)
#include "autoquality_test.moc"
