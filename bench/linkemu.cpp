// An emulated network link between two network namespaces, in user space
// (this kernel has no netem): one TUN device in each, and every IP packet
// read from one is written to the other after a drop-tail queue, a rate
// limit and a one-way delay, each direction on its own.
//
// Usage: bench_linkemu NEAR_NS FAR_NS RATE_KBIT DELAY_MS QUEUE_MS
//   NEAR_NS, FAR_NS: names under /run/netns (made with `ip netns add`);
//     each gets a TUN device "vlink0", which goes away with this process.
//   RATE_KBIT: the link's rate in each direction; DELAY_MS: one-way
//   delay; QUEUE_MS: the queue in front of the link holds at most this
//   much transmission time, a packet that would wait longer is dropped.
// It prints "READY" once both devices exist (the caller then gives them
// addresses and brings them up). Each "s" line on stdin is answered with
// "S down_bytes up_bytes down_packets up_packets down_drops up_drops
// down_queued_ns up_queued_ns", down being far to near, the last two the
// time packets waited in the queue, summed. It exits when stdin closes.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

namespace
{
int64_t nowNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A TUN device in the named network namespace; -1 on failure.
int tunIn(const char *ns)
{
    const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open((std::string("/run/netns/") + ns).c_str(), O_RDONLY | O_CLOEXEC);
    int fd = -1;
    if (home >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0) {
        fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ifreq ifr = {};
        ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(ifr.ifr_name, "vlink0", IFNAMSIZ - 1);
        if (fd >= 0 && ioctl(fd, TUNSETIFF, &ifr) != 0) {
            perror("TUNSETIFF");
            close(fd);
            fd = -1;
        }
        if (setns(home, CLONE_NEWNET) != 0) {
            perror("setns back");
            std::exit(1);
        }
    } else {
        perror(ns);
    }
    if (home >= 0)
        close(home);
    if (target >= 0)
        close(target);
    return fd;
}

struct Packet
{
    int64_t due; // when it leaves the far end of the link
    std::vector<uint8_t> bytes;
};

struct Direction
{
    int from = -1, to = -1;
    int64_t linkFree = 0; // when the link has sent everything queued so far
    std::deque<Packet> inFlight;
    uint64_t bytes = 0, packets = 0, drops = 0, queuedNs = 0;
};

struct Link
{
    int64_t nsPerByte;
    int64_t delay;
    int64_t queueLimit;

    void receive(Direction &d, std::vector<uint8_t> &buffer)
    {
        for (;;) {
            const ssize_t n = read(d.from, buffer.data(), buffer.size());
            if (n <= 0)
                return;
            const int64_t now = nowNs();
            if (d.linkFree < now)
                d.linkFree = now;
            // Drop-tail: the queue is measured in time to send it.
            if (d.linkFree - now > queueLimit) {
                ++d.drops;
                continue;
            }
            d.queuedNs += uint64_t(d.linkFree - now);
            d.linkFree += int64_t(n) * nsPerByte;
            d.inFlight.push_back({d.linkFree + delay, std::vector<uint8_t>(buffer.begin(), buffer.begin() + n)});
        }
    }

    static void deliver(Direction &d, int64_t now)
    {
        while (!d.inFlight.empty() && d.inFlight.front().due <= now) {
            const Packet &p = d.inFlight.front();
            if (write(d.to, p.bytes.data(), p.bytes.size()) == ssize_t(p.bytes.size())) {
                d.bytes += p.bytes.size();
                ++d.packets;
            } else {
                ++d.drops;
            }
            d.inFlight.pop_front();
        }
    }
};
} // namespace

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s NEAR_NS FAR_NS RATE_KBIT DELAY_MS QUEUE_MS\n", argv[0]);
        return 2;
    }
    const double rateKbit = std::atof(argv[3]);
    if (rateKbit <= 0)
        return 2;
    Link link{int64_t(8e6 / rateKbit), int64_t(std::atof(argv[4]) * 1e6), int64_t(std::atof(argv[5]) * 1e6)};
    // Timers as precise as the kernel gives them.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    const int nearTun = tunIn(argv[1]);
    const int farTun = tunIn(argv[2]);
    if (nearTun < 0 || farTun < 0)
        return 1;
    Direction down, up;
    down.from = farTun;
    down.to = nearTun;
    up.from = nearTun;
    up.to = farTun;
    std::printf("READY\n");
    std::fflush(stdout);

    std::vector<uint8_t> buffer(65536);
    std::string command;
    for (;;) {
        int64_t next = -1;
        for (const Direction *d : {&down, &up}) {
            if (!d->inFlight.empty() && (next < 0 || d->inFlight.front().due < next))
                next = d->inFlight.front().due;
        }
        timespec timeout{};
        timespec *wait = nullptr;
        if (next >= 0) {
            const int64_t left = std::max<int64_t>(0, next - nowNs());
            timeout.tv_sec = left / 1000000000;
            timeout.tv_nsec = left % 1000000000;
            wait = &timeout;
        }
        pollfd fds[3] = {{farTun, POLLIN, 0}, {nearTun, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (ppoll(fds, 3, wait, nullptr) < 0 && errno != EINTR)
            return 1;
        if (fds[0].revents & POLLIN)
            link.receive(down, buffer);
        if (fds[1].revents & POLLIN)
            link.receive(up, buffer);
        const int64_t now = nowNs();
        Link::deliver(down, now);
        Link::deliver(up, now);
        if (fds[2].revents & (POLLIN | POLLHUP)) {
            char chunk[256];
            const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0)
                return 0;
            command.append(chunk, size_t(n));
            for (size_t eol; (eol = command.find('\n')) != std::string::npos; command.erase(0, eol + 1)) {
                if (command.compare(0, eol, "s") == 0) {
                    std::printf("S %llu %llu %llu %llu %llu %llu %llu %llu\n", (unsigned long long)down.bytes,
                                (unsigned long long)up.bytes, (unsigned long long)down.packets,
                                (unsigned long long)up.packets, (unsigned long long)down.drops,
                                (unsigned long long)up.drops, (unsigned long long)down.queuedNs,
                                (unsigned long long)up.queuedNs);
                    std::fflush(stdout);
                }
            }
        }
    }
}
