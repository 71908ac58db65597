// Idle cost and input latency of the connection thread, on loopback.
//
// The test server runs in a child process (idle_latency_server.h), so
// getrusage(RUSAGE_SELF) here counts the viewer side only; the server has
// an idle tick of its own that would otherwise blur the figure.
//
// Usage: bench_idle_latency [seconds]   (idle period, default 10)
#include "idle_latency_server.h"
#include "vncclientthread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <signal.h>
#include <sys/resource.h>

namespace
{
using namespace idlebench;

constexpr int eventCount = 1000;
constexpr int eventSpacingMs = 2;

// CPU time of this whole process in ns, and how often its threads slept.
struct Usage { qint64 cpuNs; long voluntarySwitches; };

Usage selfUsage()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    const auto ns = [](const timeval &tv) { return qint64(tv.tv_sec) * 1000000000 + qint64(tv.tv_usec) * 1000; };
    return {ns(ru.ru_utime) + ns(ru.ru_stime), ru.ru_nvcsw};
}

// Runs the event loop, as the GUI thread would, until pred holds or the time is up.
bool runUntil(const std::function<bool()> &pred, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (pred())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(5);
    if (!pred())
        loop.exec();
    return pred();
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Sends count events, one per timer tick as input would arrive from the
// GUI, and stamps each just before the call.
std::vector<qint64> sendSpaced(int count, const std::function<void(int)> &send)
{
    std::vector<qint64> sentAt(size_t(count), 0);
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    int next = 0;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        sentAt[size_t(next)] = monotonicNs();
        send(next);
        if (++next == count)
            loop.quit();
    });
    tick.start(eventSpacingMs);
    loop.exec();
    return sentAt;
}

struct Stats { double medianUs = 0, p99Us = 0, maxUs = 0; int received = 0; };

Stats summarise(std::vector<qint64> latenciesNs)
{
    Stats s;
    s.received = int(latenciesNs.size());
    if (latenciesNs.empty())
        return s;
    std::sort(latenciesNs.begin(), latenciesNs.end());
    const size_t n = latenciesNs.size();
    s.medianUs = latenciesNs[n / 2] / 1000.0;
    s.p99Us = latenciesNs[size_t(std::ceil(0.99 * double(n))) - 1] / 1000.0;
    s.maxUs = latenciesNs.back() / 1000.0;
    return s;
}

// Pointer positions are unique per event, so each report finds its event.
int pointerX(int i) { return i % screenWidth; }
int pointerY(int i) { return 1 + i / screenWidth; }
// Keys alternate press and release over a-z; reports are matched in order.
int keyOf(int i) { return 'a' + (i / 2) % 26; }
bool pressOf(int i) { return i % 2 == 0; }

int bench(int seconds)
{
    ServerProcess server;
    if (!server.start()) {
        std::fprintf(stderr, "could not start the server process\n");
        server.stop();
        return 1;
    }

    int argc = 1;
    char name[] = "bench_idle_latency";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    int result = 1;
    {
        VncClientThread thread;
        QObject receiver;
        std::atomic<int> updates{0};
        QObject::connect(&thread, &VncClientThread::imageUpdated, &receiver,
                         [&](int, int, int, int) { ++updates; });
        thread.setHost(QStringLiteral("127.0.0.1"));
        thread.setPort(server.port);
        thread.setQuality(Quality::High);
        thread.start();

        if (!runUntil([&] { return updates > 0; }, 10000)) {
            std::fprintf(stderr, "no framebuffer update from the server\n");
        } else {
            // The first update may arrive in several rectangles.
            runFor(500);

            const int updatesBefore = updates;
            const Usage u0 = selfUsage();
            const qint64 s0 = server.cpuNs();
            const qint64 w0 = monotonicNs();
            runFor(seconds * 1000);
            const qint64 wall = monotonicNs() - w0;
            const Usage u1 = selfUsage();
            const qint64 serverCpu = server.cpuNs() - s0;
            const double clientPct = 100.0 * double(u1.cpuNs - u0.cpuNs) / double(wall);
            const double serverPct = 100.0 * double(serverCpu) / double(wall);
            const double wallS = double(wall) / 1e9;

            // Each report is matched to its event; a report that matches
            // none (lost, reordered) is left out of the figures.
            const auto measure = [&](char kind, const std::function<void(int)> &send,
                                     const std::function<int(const Seen &, int)> &indexOf) {
                const std::vector<qint64> sent = sendSpaced(eventCount, send);
                runUntil([&] { return int(server.take(kind).size()) >= eventCount; }, 5000);
                const std::vector<Seen> got = server.take(kind);
                std::vector<qint64> latencies;
                for (size_t n = 0; n < got.size(); ++n) {
                    const int i = indexOf(got[n], int(n));
                    if (i >= 0 && i < eventCount)
                        latencies.push_back(got[n].ns - sent[size_t(i)]);
                }
                return summarise(latencies);
            };
            const Stats p = measure(
                'P', [&](int i) { thread.mouseEvent(pointerX(i), pointerY(i), 0); },
                [](const Seen &s, int) { return int(s.b - 1) * screenWidth + int(s.a); });
            const Stats k = measure(
                'K', [&](int i) { thread.keyEvent(keyOf(i), pressOf(i)); },
                [](const Seen &s, int n) { return s.a == keyOf(n) && (s.b != 0) == pressOf(n) ? n : -1; });
            const Stats t = measure(
                'T', [&](int) { writeAll(server.toChild, "p"); }, [](const Seen &, int n) { return n; });

            std::printf("Idle connection, %.1f s, %d updates during the period\n", wallS,
                        int(updates) - updatesBefore);
            std::printf("  %-34s %8.3f %% of one core\n", "viewer process (getrusage)", clientPct);
            std::printf("  %-34s %8.1f /s\n", "viewer voluntary context switches",
                        double(u1.voluntarySwitches - u0.voluntarySwitches) / wallS);
            std::printf("  %-34s %8.3f %% of one core\n", "test server process (not counted)", serverPct);
            std::printf("\nInput latency, call to server record (%d events, %d ms apart)\n", eventCount,
                        eventSpacingMs);
            std::printf("  %-22s %8s %9s %9s %9s\n", "", "matched", "median", "p99", "max");
            const auto row = [](const char *label, const Stats &st) {
                std::printf("  %-22s %8d %6.0f us %6.0f us %6.0f us\n", label, st.received, st.medianUs,
                            st.p99Us, st.maxUs);
            };
            row("pointer", p);
            row("key", k);
            row("pipe hop (floor)", t);
            result = (p.received == eventCount && k.received == eventCount) ? 0 : 1;
            if (result)
                std::fprintf(stderr, "some input did not reach the server, or out of order\n");
        }
        thread.stop();
        thread.wait();
    }
    server.stop();
    return result;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--serve") == 0)
        return serve();
    int seconds = 10;
    if (argc > 1) {
        seconds = std::atoi(argv[1]);
        if (seconds <= 0) {
            std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
            return 2;
        }
    }
    // The library's connection chatter would bury the table.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    // A child that dies early must not kill us on the next write to it.
    signal(SIGPIPE, SIG_IGN);
    return bench(seconds);
}
