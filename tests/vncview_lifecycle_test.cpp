// Connect/close cycles of the VNC view against libvncserver servers, closing
// in every state a connection passes through, with random delays. After the
// cycles, memory, threads and open descriptors must be back where they were
// after the warm-up: a leak per cycle shows up as growth.
//
// 200 cycles by default; VEMO_LIFECYCLE_CYCLES=1000 for a longer run, and
// VEMO_LIFECYCLE_SEED=<the seed a run printed> to repeat its random choices.
#include "testserver.h"
#include "viewharness.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <malloc.h>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEMO_SANITIZER_ALLOCATOR 1
// From the sanitizer runtime; its header is not installed with GCC here.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace
{
int entriesIn(const char *dir) { return int(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size()); }
int fdCount() { return entriesIn("/proc/self/fd"); }

QStringList threadList()
{
    QStringList names;
    for (const QString &task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    return names;
}
int threadCount() { return int(threadList().size()); }

// "name x count, ..." of every thread, to tell what a leaked one is.
QString threadNames()
{
    QMap<QString, int> names;
    for (const QString &name : threadList())
        ++names[name];
    QStringList parts;
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        parts << QStringLiteral("%1 x %2").arg(it.key()).arg(it.value());
    return parts.join(QStringLiteral(", "));
}

// Memory the process holds for live data. Under ASan and TSan the resident
// set mostly tracks freed blocks held back and the detectors' own records,
// so the allocator's count of live bytes stands in for it there.
qint64 memoryInUse()
{
#ifdef VEMO_SANITIZER_ALLOCATOR
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    // Freed memory the allocator keeps cached is not a leak.
    malloc_trim(0);
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
#endif
}

// Runs `work` on a thread of its own until destroyed.
class Background
{
public:
    explicit Background(std::function<void(QRandomGenerator &)> work)
        : thread([this, work] {
              QRandomGenerator random(99);
              while (!stopping)
                  work(random);
          })
    {
    }
    ~Background()
    {
        stopping = true;
        thread.join();
    }

private:
    std::atomic<bool> stopping{false};
    std::thread thread;
};

enum Scenario { WhileConnecting, WhileAuthenticating, AtFirstUpdate, WhileStreaming, MidResize, WrongPassword };
constexpr int scenarioCount = 6;
const char *const scenarioNames[] = {"connecting", "authenticating", "first update",
                                     "streaming", "mid-resize", "wrong password"};
} // namespace

class VncViewLifecycleTest : public QObject
{
    Q_OBJECT

    TestServer plain{320, 240};
    TestServer locked{160, 120, "secret"};
    TestServer streaming{320, 240};
    TestServer resizing{256, 192};

    std::unique_ptr<Background> painter;
    std::unique_ptr<Background> resizer;

    void startLoad()
    {
        painter = std::make_unique<Background>([this](QRandomGenerator &r) {
            streaming.fillRect(QRect(r.bounded(300), r.bounded(220), 20, 20), r.generate() & 0xffffff);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        resizer = std::make_unique<Background>([this](QRandomGenerator &r) {
            resizing.resize(64 + r.bounded(400), 64 + r.bounded(300));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        });
    }

    // Brings the test's own side to the same state at each measurement:
    // no load, the resized desktop back at its first size, no clients, no
    // recorded messages (the servers keep every message they get) and no
    // pool threads.
    bool settle()
    {
        painter.reset();
        resizer.reset();
        resizing.resize(256, 192);
        for (TestServer *s : {&plain, &locked, &streaming, &resizing}) {
            if (!s->waitForClientCount(0, 5000))
                return false;
            s->clearMessages();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return QTest::qWaitFor([] { return !threadList().contains(QStringLiteral("Thread (pooled)")); }, 5000);
    }

    // One view from creation to destruction; false with a reason if the
    // view misbehaved.
    QString cycle(Scenario scenario, QRandomGenerator &random)
    {
        TestServer &server = scenario == WhileAuthenticating || scenario == WrongPassword ? locked
                             : scenario == WhileStreaming                               ? streaming
                             : scenario == MidResize                                    ? resizing
                                                                                        : plain;
        const QString password = scenario == WhileAuthenticating ? "secret"
                                 : scenario == WrongPassword     ? "wrong"
                                                                 : QString();
        auto h = std::make_unique<ViewHarness>(loopbackUrl(server.port(), password), QSize(400, 300));
        if (random.bounded(2))
            h->view->enableScaling(true);
        h->view->startConnecting();
        switch (scenario) {
        case WhileConnecting:
            QTest::qWait(random.bounded(3));
            break;
        case WhileAuthenticating:
            if (!QTest::qWaitFor([&] { return h->log.contains("status:Authenticating"); }, 5000))
                return "never asked for a password";
            QTest::qWait(random.bounded(3));
            break;
        case AtFirstUpdate:
            if (!h->waitConnected())
                return "never connected";
            break;
        case WhileStreaming:
        case MidResize:
            if (!h->waitConnected())
                return "never connected";
            QTest::qWait(random.bounded(30));
            break;
        case WrongPassword:
            if (random.bounded(2) && !h->waitFailed())
                return "no failure reported";
            QTest::qWait(random.bounded(5));
            break;
        }
        if (h->view->currentStatus() == RemoteView::Connected && !h->errors.isEmpty())
            return "connected with an error: " + h->errors.join('|');
        const qint64 ms = timeToDestroy(h);
        if (ms >= 1000)
            return QStringLiteral("destroyed in %1 ms").arg(ms);
        return QString();
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(dropViewDebug);
        // Qt's image code may run work on its global pool, whose idle
        // threads would otherwise stay 30 s, each with an event descriptor:
        // no leak, but they would blur the counts. Without work they end at
        // once.
        QThreadPool::globalInstance()->setExpiryTimeout(0);
#ifndef VEMO_SANITIZER_ALLOCATOR
        // Those threads come and go with the painting; each new one could
        // take a malloc arena of its own, whose pages stay resident: the
        // resident size would then grow without any leak. One arena for all.
        mallopt(M_ARENA_MAX, 1);
#endif
        for (TestServer *s : {&plain, &locked, &streaming, &resizing})
            QVERIFY(s->start());
    }

    void connectCloseCycles()
    {
        const int cycles = qMax(10, qEnvironmentVariableIntValue("VEMO_LIFECYCLE_CYCLES") ?: 200);
        const int warmUp = cycles / 5;
        bool given = false;
        const quint32 givenSeed = qEnvironmentVariable("VEMO_LIFECYCLE_SEED").toUInt(&given);
        const quint32 seed = given ? givenSeed : QRandomGenerator::global()->generate();
        qInfo("%d cycles, seed %u", cycles, seed);
        QRandomGenerator random(seed);

        startLoad();
        qint64 memoryAfterWarmUp = 0;
        int threadsAfterWarmUp = 0;
        QString namesAfterWarmUp;
        int fdsAfterWarmUp = 0;
        for (int i = 0; i < cycles; ++i) {
            const auto scenario = Scenario(i % scenarioCount);
            const QString problem = cycle(scenario, random);
            QVERIFY2(problem.isEmpty(),
                     qPrintable(QStringLiteral("cycle %1 (%2): %3").arg(i).arg(scenarioNames[scenario], problem)));
            if (i + 1 == warmUp) {
                QVERIFY(settle());
                memoryAfterWarmUp = memoryInUse();
                threadsAfterWarmUp = threadCount();
                namesAfterWarmUp = threadNames();
                fdsAfterWarmUp = fdCount();
                startLoad();
            }
        }
        QVERIFY(settle());
        // Threads and descriptors of the last views may take a moment to go.
        QTRY_VERIFY2_WITH_TIMEOUT(threadCount() == threadsAfterWarmUp,
                                  qPrintable(QStringLiteral("after warm-up: %1; now: %2")
                                                 .arg(namesAfterWarmUp, threadNames())),
                                  5000);
        QTRY_COMPARE_WITH_TIMEOUT(fdCount(), fdsAfterWarmUp, 5000);
        const qint64 memoryAtEnd = memoryInUse();
        QVERIFY(memoryAfterWarmUp > 0 && memoryAtEnd > 0);
        const double ratio = double(memoryAtEnd) / double(memoryAfterWarmUp);
        qInfo("memory after warm-up %lld KiB, at the end %lld KiB (ratio %.3f)", memoryAfterWarmUp / 1024,
              memoryAtEnd / 1024, ratio);
        // Not judged under the race detector, which is here for races:
        // about one run in ten there ends with 300-500 KiB more, for good,
        // about a frame's worth, which never showed in the plain build
        // (resident size) or under AddressSanitizer (exact live bytes).
#ifndef __SANITIZE_THREAD__
        QVERIFY2(ratio <= 1.10, qPrintable(QStringLiteral("memory grew by a factor of %1").arg(ratio)));
#endif
    }
};

VEMO_VIEW_TEST_MAIN(VncViewLifecycleTest)
#include "vncview_lifecycle_test.moc"
