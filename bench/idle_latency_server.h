// The server side of bench_idle_latency: a TestServer in a child process
// (the benchmark binary run with --serve), and the parent's handle on it.
//
// The child prints "PORT n", then one line per key or pointer message it
// records, stamped with CLOCK_MONOTONIC, which every process on the machine
// shares. Each byte it reads on stdin is answered at once with a "T" line,
// to time the bare cross-process hop; stdin closing ends it.
#pragma once

#include "testserver.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace idlebench
{
constexpr int screenWidth = 640;
constexpr int screenHeight = 480;

inline qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// One report line: kind P, K or T, two values and the stamp.
inline std::string report(char kind, qint64 a, qint64 b, qint64 ns)
{
    char line[96];
    std::snprintf(line, sizeof line, "%c %lld %lld %lld\n", kind, (long long)a, (long long)b, (long long)ns);
    return line;
}

inline void writeAll(int fd, const std::string &s)
{
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

// The child's whole life, as described at the top of this file.
inline int serve()
{
    TestServer server(screenWidth, screenHeight);
    if (!server.start()) {
        std::fprintf(stderr, "test server did not start\n");
        return 1;
    }
    writeAll(1, "PORT " + std::to_string(server.port()) + "\n");

    std::atomic<bool> done{false};
    std::thread reporter([&] {
        qsizetype seen = 0;
        while (!done) {
            std::string lines;
            // The stamp is taken as soon as this thread sees the record grow;
            // pred runs under the record's lock, so nothing is written there.
            server.waitForMessages(
                [&](const QList<ClientMessage> &all) {
                    if (all.size() <= seen)
                        return false;
                    const qint64 now = monotonicNs();
                    for (; seen < all.size(); ++seen) {
                        const ClientMessage &m = all.at(seen);
                        if (m.type == ClientMessage::Pointer)
                            lines += report('P', m.x, m.y, now);
                        else if (m.type == ClientMessage::Key)
                            lines += report('K', m.key, m.down, now);
                    }
                    return true;
                },
                200);
            if (!lines.empty())
                writeAll(1, lines);
        }
    });

    char buf[256];
    ssize_t n;
    while ((n = ::read(0, buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            writeAll(1, report('T', 0, 0, monotonicNs()));
    }
    done = true;
    reporter.join();
    return 0;
}

struct Seen { char kind; qint64 a, b, ns; };

// The child and the thread that collects what it reports.
struct ServerProcess
{
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    int port = 0;
    std::thread reader;
    std::mutex lock;
    std::vector<Seen> seen;

    bool start()
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return false;
        pid = fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
            execl("/proc/self/exe", "bench_idle_latency", "--serve", static_cast<char *>(nullptr));
            _exit(127);
        }
        ::close(in[0]), ::close(out[1]);
        toChild = in[1];
        fromChild = out[0];
        // The port line comes first and alone, so it is read byte by byte.
        std::string line;
        char c;
        while (::read(fromChild, &c, 1) == 1 && c != '\n')
            line += c;
        if (std::sscanf(line.c_str(), "PORT %d", &port) != 1)
            return false;
        reader = std::thread([this] { readReports(); });
        return true;
    }

    void readReports()
    {
        std::string pending;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fromChild, buf, sizeof buf)) > 0) {
            pending.append(buf, size_t(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                Seen s{};
                long long a, b, ns;
                if (std::sscanf(pending.c_str(), "%c %lld %lld %lld", &s.kind, &a, &b, &ns) == 4) {
                    s.a = a, s.b = b, s.ns = ns;
                    std::lock_guard<std::mutex> g(lock);
                    seen.push_back(s);
                }
                pending.erase(0, end + 1);
            }
        }
    }

    std::vector<Seen> take(char kind)
    {
        std::lock_guard<std::mutex> g(lock);
        std::vector<Seen> result;
        for (const Seen &s : seen) {
            if (s.kind == kind)
                result.push_back(s);
        }
        return result;
    }

    // CPU time of every thread of the child, in ns (schedstat is exact, unlike ticks).
    qint64 cpuNs() const
    {
        const std::string dir = "/proc/" + std::to_string(pid) + "/task";
        qint64 total = 0;
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d)) {
                if (e->d_name[0] == '.')
                    continue;
                if (FILE *f = std::fopen((dir + "/" + e->d_name + "/schedstat").c_str(), "r")) {
                    long long ns = 0;
                    if (std::fscanf(f, "%lld", &ns) == 1)
                        total += ns;
                    std::fclose(f);
                }
            }
            closedir(d);
        }
        return total;
    }

    void stop()
    {
        // Closing its stdin is what ends the child.
        if (toChild >= 0)
            ::close(toChild);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        if (reader.joinable())
            reader.join();
        if (fromChild >= 0)
            ::close(fromChild);
    }
};
} // namespace idlebench
