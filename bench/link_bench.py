#!/usr/bin/env python3
"""vemo next to TigerVNC's viewer over an emulated slow link (run as root).

Two network namespaces of our own, joined by TUN devices and bench_linkemu
(one-way delay, rate limit, drop-tail queue: this kernel has no netem). The
far one runs Xvnc 1280x720 with a workload (an xterm scrolling text with a
bitmap or an antialiased font, a window dragged by xdotool, full-screen
picture changes) and a key target square; the near one runs an Xvfb on
which the viewers show it, one at a time, alternating which goes first, and
bench_linkwatch, which measures on that screen: time to first frame,
pictures shown per second (XDamage) and key-to-screen latency (XTest key
press to the target's colour change). bench_linkemu counts the bytes on the
link and the time they queue. With --auto it runs vemo's automatic
quality, vemo's fixed levels 2 and 3 and TigerVNC's viewer with its
defaults (AutoSelect on) in turn. With --tunnel the second viewer is vemo
through --via to an sshd in the far namespace: the slow link lies between
the viewer and the gateway, which reaches Xvnc on its own loopback. Every
process is ended by its PID and both namespaces are deleted on every exit
path; --max-minutes bounds the run.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
NEAR_IP, FAR_IP, RFB_PORT, SSH_PORT = "10.77.0.1", "10.77.0.2", 5900, 2222
WIDTH, HEIGHT, TARGET = 1280, 720, (1200, 640, 64)

# name: rate kbit/s, one-way delay ms, queue ms
PROFILES = {"20M, 20 ms RTT": (20000, 10, 100), "2M, 80 ms RTT": (2000, 40, 100)}
# vemo quality and the TigerVNC options of the same encoding and quality
PAIRS = [(2, ["-QualityLevel=7", "-CompressLevel=5"]), (3, ["-QualityLevel=1", "-CompressLevel=9"])]
TIGER_QUIET = ["-RemoteResize=0", "-AlertOnFatalError=0", "-ReconnectOnError=0", "-SecurityTypes=None"]
TIGER_COMMON = ["-AutoSelect=0", "-CustomCompressLevel=1", "-FullColor=1", "-PreferredEncoding=tight",
                "-NoJPEG=0"] + TIGER_QUIET
# --auto: vemo's automatic quality, its fixed levels, and TigerVNC's viewer
# with its defaults (AutoSelect on), one after another in a rotating order.
AUTO_RUNS = ["vemo auto", "vemo q2", "vemo q3", "TigerVNC auto"]
AUTO_METRICS = [("updates shown/s", max), ("key to screen ms, median", min), ("key to screen ms, p90", min),
                ("link kB/s, down+up", min)]
SCENARIOS = ["scroll", "aa-scroll", "drag", "pictures"]
# The terminal of each scrolling workload: a bitmap font, or an antialiased
# one, whose text costs far more bytes.
TERMINALS = {"scroll": ["-geometry", "168x47+0+0"],
             "aa-scroll": ["-fa", "DejaVu Sans Mono", "-fs", "10", "-geometry", "140x36+0+0"]}

# A log scrolling by at 100 lines a second, each as wide as the terminal.
SCROLLER = r"""
import sys, time
words = "alpha bravo charlie delta echo foxtrot golf hotel india juliet kilo lima mike".split()
i = 0
while True:
    for _ in range(1):
        line = " ".join(words[(i + k) % len(words)] for k in range(i % 7 + 20))
        sys.stdout.write(f"{i:08d} {line}"[:160] + "\n")
        i += 1
    sys.stdout.flush()
    time.sleep(0.01)
"""


class Processes:
    """Everything started here, ended by PID in reverse order."""

    def __init__(self):
        self.running = []

    def start(self, args, **kw):
        p = subprocess.Popen(args, **kw)
        self.running.append(p)
        return p

    def stop(self, p, grace=3.0):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(grace)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        if p in self.running:
            self.running.remove(p)

    def stop_all(self):
        for p in reversed(list(self.running)):
            self.stop(p)


def cpu_seconds(pid):
    """User and system time of a process so far (ip netns exec execs, so
    the PID we started is the program's)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


class Bench:
    def __init__(self, opts):
        self.opts = opts
        self.procs = Processes()
        tag = f"vemo-link-{os.getpid()}"
        self.near, self.far = tag + "-near", tag + "-far"
        self.namespaces = []
        self.home = tempfile.mkdtemp(prefix="vemo-link-")
        self.link = self.watch = self.gateway = None
        self.mover = None

    # --- set-up and clean-up -------------------------------------------
    def make_namespaces(self):
        for ns in (self.near, self.far):
            run("ip", "netns", "add", ns)
            self.namespaces.append(ns)
            run("ip", "-n", ns, "link", "set", "lo", "up")

    def start_link(self, rate, delay, queue):
        if self.link:
            self.link.stdin.close()
            self.procs.stop(self.link)
        self.link = self.procs.start([self.opts.linkemu, self.near, self.far, str(rate), str(delay), str(queue)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        if self.link.stdout.readline().strip() != "READY":
            raise RuntimeError("bench_linkemu did not start")
        for ns, here, there in ((self.near, NEAR_IP, FAR_IP), (self.far, FAR_IP, NEAR_IP)):
            run("ip", "-n", ns, "addr", "add", here, "peer", there, "dev", "vlink0")
            run("ip", "-n", ns, "link", "set", "vlink0", "up")
        if self.opts.tunnel and not self.gateway:
            self.start_gateway()  # once the far address exists; it keeps it across links

    def link_counts(self):
        """Counters of the link since it started: bytes, packets and drops
        each way, and the time the packets towards the viewer queued."""
        self.link.stdin.write("s\n")
        self.link.stdin.flush()
        f = [int(v) for v in self.link.stdout.readline().split()[1:]]
        return {"down": f[0], "up": f[1], "down packets": f[2], "drops": f[4] + f[5], "queued ns": f[6]}

    def in_ns(self, ns, args):
        return ["ip", "netns", "exec", ns] + args

    def x_server(self, ns, args):
        r, w = os.pipe()
        p = self.procs.start(self.in_ns(ns, args[:1] + ["-displayfd", str(w)] + args[1:]), pass_fds=(w,),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError(f"{args[0]} did not start")
        return ":" + number, p

    def env(self, display):
        env = dict(os.environ, DISPLAY=display, HOME=self.home, XDG_RUNTIME_DIR=self.home)
        env.pop("SSH_AUTH_SOCK", None)  # the key in HOME, not an agent's
        return env

    def far_client(self, args):
        return self.procs.start(self.in_ns(self.far, args), env=self.env(self.far_display),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_up(self):
        self.make_namespaces()
        self.far_display, self.far_server = self.x_server(
            self.far, ["Xvnc", "-geometry", f"{WIDTH}x{HEIGHT}", "-depth", "24", "-SecurityTypes", "None",
                       "-rfbport", str(RFB_PORT), "-AlwaysShared"])
        self.near_display, _ = self.x_server(self.near, ["Xvfb", "-screen", "0", "1400x800x24", "-nolisten", "tcp"])
        self.far_client([self.opts.linkdesk, "target"] + [str(v) for v in TARGET])
        self.watch = self.procs.start(self.in_ns(self.near, [self.opts.linkwatch]), env=self.env(self.near_display),
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def start_gateway(self):
        """An sshd of our own in the far namespace: its own host key, the
        viewer's key in ~/.ssh of the scratch HOME, which also knows the
        host key, so nothing is asked."""
        ssh = os.path.join(self.home, ".ssh")
        os.makedirs(ssh)
        os.makedirs("/run/sshd", exist_ok=True)  # sshd's privilege separation directory
        for key in ("host", "id_ed25519"):
            run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(ssh, key))
        shutil.copy(os.path.join(ssh, "id_ed25519.pub"), os.path.join(ssh, "authorized_keys"))
        with open(os.path.join(ssh, "host.pub")) as f:
            host_key = " ".join(f.read().split()[:2])
        with open(os.path.join(ssh, "known_hosts"), "w") as f:
            f.write(f"[{FAR_IP}]:{SSH_PORT} {host_key}\n")
        config = os.path.join(ssh, "sshd_config")
        with open(config, "w") as f:
            f.write(f"ListenAddress {FAR_IP}\nPort {SSH_PORT}\nHostKey {ssh}/host\nAuthorizedKeysFile {ssh}/"
                    f"authorized_keys\nPidFile none\nUsePAM no\nStrictModes no\nPermitRootLogin yes\n"
                    "PasswordAuthentication no\nKbdInteractiveAuthentication no\n")
        log = os.path.join(self.home, "sshd.log")
        with open(log, "w") as f:
            self.gateway = self.procs.start(self.in_ns(self.far, ["/usr/sbin/sshd", "-D", "-e", "-f", config]),
                                            stderr=f)
        for _ in range(100):
            with open(log) as f:
                if "Server listening" in f.read():
                    return
            time.sleep(0.1)
        raise RuntimeError(f"sshd did not start: {log}")

    def clean_up(self):
        self.stop_workload()
        self.procs.stop_all()
        for ns in self.namespaces:
            subprocess.run(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)
        self.namespaces = []
        shutil.rmtree(self.home, ignore_errors=True)

    # --- workloads on the far desktop ----------------------------------
    def start_workload(self, scenario):
        self.workload = []
        if scenario in TERMINALS:
            self.workload.append(self.far_client(["xterm"] + TERMINALS[scenario] + ["-e", "python3", "-u", "-c",
                                                                                      SCROLLER]))
        elif scenario == "pictures":
            self.workload.append(self.far_client([self.opts.linkdesk, "pictures", str(WIDTH), str(HEIGHT), "250"]))
        else:
            self.workload.append(self.far_client(["xterm", "-geometry", "80x24+20+20", "-T", "vemo-drag", "-e", "sh",
                                                  "-c", "ls -l /usr/bin | head -23; exec sleep 100000"]))
            self.mover = threading.Event()
            threading.Thread(target=self.drag, args=(self.mover,), daemon=True).start()
        time.sleep(1.0)

    def drag(self, stop):
        """Moves the window diagonally, 4 px each way every 16 ms, bouncing
        inside a box: every move uncovers and covers as much as the last,
        so any window of time sees the same work. xdotool takes the moves
        in chains (one process per 5 s)."""
        found = subprocess.run(self.in_ns(self.far, ["xdotool", "search", "--sync", "--name", "vemo-drag"]),
                               env=self.env(self.far_display), capture_output=True, text=True, timeout=20)
        window = found.stdout.split()[0]
        x, y, dx, dy = 20, 20, 4, 4
        while not stop.is_set():
            chain = []
            for _ in range(300):
                x, y = x + dx, y + dy
                dx = -dx if not 20 < x < 620 else dx
                dy = -dy if not 20 < y < 380 else dy
                chain += ["windowmove", "--sync", window, str(x), str(y), "sleep", "0.016"]
            p = self.far_client(["xdotool"] + chain)
            while p.poll() is None and not stop.is_set():
                time.sleep(0.1)
            self.procs.stop(p)

    def stop_workload(self):
        if self.mover:
            self.mover.set()
            self.mover = None
            time.sleep(0.3)
        for p in getattr(self, "workload", []):
            self.procs.stop(p)
        self.workload = []

    # --- one viewer, one run -------------------------------------------
    def ask(self, command, timeout=60):
        self.watch.stdin.write(command + "\n")
        self.watch.stdin.flush()
        line = self.watch.stdout.readline().split()
        if not line:
            raise RuntimeError("bench_linkwatch ended")
        return line

    def viewer(self, which, quality, tiger_args):
        """quality: vemo's level, or "auto"; tiger_args None: TigerVNC's
        defaults."""
        level = self.opts.auto_args.split() if quality == "auto" else [str(quality)]
        if which == "vemo":
            args = [self.opts.vemo, f"vnc://{FAR_IP}:{RFB_PORT}"] + level
        elif self.opts.tunnel:
            args = [self.opts.vemo, "--via", f"root@{FAR_IP}:{SSH_PORT}", f"vnc://localhost:{RFB_PORT}"] + level
        elif tiger_args is None:
            args = [self.opts.tiger] + TIGER_QUIET + [f"{FAR_IP}::{RFB_PORT}"]
        else:
            args = [self.opts.tiger] + TIGER_COMMON + tiger_args + [f"{FAR_IP}::{RFB_PORT}"]
        log = open(os.path.join(self.home, f"{which}.log"), "a")
        return self.procs.start(self.in_ns(self.near, args), env=self.env(self.near_display), stdout=log,
                                stderr=log)

    def run_once(self, scenario, which, quality, tiger_args):
        proc = self.viewer(which, quality, tiger_args)
        result = {}
        try:
            answer = self.ask("wait 30000")
            if answer[0] != "FOUND":
                shot = os.path.join(self.home, "screen.xwd")
                subprocess.run(self.in_ns(self.near, ["xwd", "-root", "-silent", "-out", shot]),
                               env=self.env(self.near_display))
                shutil.copytree(self.home, self.opts.failures, dirs_exist_ok=True)
                raise RuntimeError(f"{which}: no picture within 30 s; its log and the screen are in "
                                   f"{self.opts.failures}")
            result["time to first frame, ms"] = float(answer[1])
            time.sleep(self.opts.warmup)
            c0 = self.link_counts()
            cpu0 = [cpu_seconds(p.pid) for p in (proc, self.far_server)]
            t0 = time.monotonic()
            frames = self.ask(f"count {self.opts.seconds}")
            dt = time.monotonic() - t0
            cpu1 = [cpu_seconds(p.pid) for p in (proc, self.far_server)]
            c1 = self.link_counts()
            d = {k: c1[k] - c0[k] for k in c0}
            result["updates shown/s"] = int(frames[1]) / dt
            result["link kB/s, down+up"] = (d["down"] + d["up"]) / dt / 1000
            result["link drops/s"] = d["drops"] / dt
            result["link queue ms, mean"] = d["queued ns"] / 1e6 / max(1, d["down packets"])
            result["viewer CPU %"] = 100 * (cpu1[0] - cpu0[0]) / dt
            result["viewer CPU ms per update shown"] = 1000 * (cpu1[0] - cpu0[0]) / max(1, int(frames[1]))
            result["Xvnc CPU %"] = 100 * (cpu1[1] - cpu0[1]) / dt
            if scenario != "drag":
                keys = [float(v) for v in self.ask(f"keys {self.opts.keys} 250")[1:]]
                got = sorted(v for v in keys if v >= 0)
                if got:
                    result["key to screen ms, median"] = statistics.median(got)
                    result["key to screen ms, p90"] = got[min(len(got) - 1, int(0.9 * len(got)))]
                result["key presses lost"] = len(keys) - len(got)
        finally:
            self.procs.stop(proc)
            time.sleep(0.5)
        return result


def fmt(v):
    if v != v:
        return "n/a"
    return f"{v:.3g}" if abs(v) < 1000 else f"{v:.0f}"


def median_of(runs, key):
    values = [r[key] for r in runs if key in r]
    return statistics.median(values) if values else float("nan")


def report(results, pairs, started, tunnel):
    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print(f"\nmedians over the repetitions; {os.cpu_count()} cores, load average {load}, "
          f"{time.monotonic() - started:.0f} s\n")
    head = ["link", "workload", "metric"]
    for quality, tiger in pairs:
        level = tiger[0].split("=")[1]
        head += [f"vemo q{quality}", f"tunnel q{quality}" if tunnel else f"TigerVNC q{level}", "ratio"]
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for (profile, scenario), by_pair in results.items():
        keys = list(dict.fromkeys(k for runs in by_pair.values() for r in runs["vemo"] + runs["tiger"] for k in r))
        for key in keys:
            row = [profile, scenario, key]
            for quality, _ in pairs:
                runs = by_pair.get(quality, {"vemo": [], "tiger": []})
                v, t = median_of(runs["vemo"], key), median_of(runs["tiger"], key)
                row += [fmt(v), fmt(t), fmt(v / t) if t == t and t != 0 else "n/a"]
            print("| " + " | ".join(row) + " |")


def report_auto(results, started):
    """Per cell: vemo auto against TigerVNC's defaults and against vemo's
    best fixed level for each metric (most updates, least time and bytes)."""
    with open("/proc/loadavg") as f:
        load = " ".join(f.read().split()[:3])
    print(f"\nmedians over the repetitions; {os.cpu_count()} cores, load average {load}, "
          f"{time.monotonic() - started:.0f} s\n")
    head = ["link", "workload", "metric"] + AUTO_RUNS + ["auto / TigerVNC", "best fixed", "auto / best fixed"]
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for (profile, scenario), by_run in results.items():
        for key, best in AUTO_METRICS:
            v = {name: median_of(by_run.get(name, []), key) for name in AUTO_RUNS}
            if all(x != x for x in v.values()):
                continue  # not measured here (no keys while dragging)
            fixed = [(v[name], name) for name in ("vemo q2", "vemo q3") if v[name] == v[name]]
            b, which = best(fixed) if fixed else (float("nan"), "n/a")
            auto, tiger = v["vemo auto"], v["TigerVNC auto"]
            row = [profile, scenario, key] + [fmt(v[name]) for name in AUTO_RUNS]
            row += [fmt(auto / tiger) if tiger else "n/a", f"{fmt(b)} ({which.split()[-1]})",
                    fmt(auto / b) if b else "n/a"]
            print("| " + " | ".join(row) + " |")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=6.0, help="counting window per run")
    ap.add_argument("--warmup", type=float, default=2.0)
    ap.add_argument("--keys", type=int, default=15, help="key presses per run (not while dragging)")
    ap.add_argument("--only", default="", help="comma-separated words: the profiles and workloads naming any "
                    "(e.g. 2M,scroll)")
    ap.add_argument("--qualities", default="2,3", help="vemo qualities to compare, of 2 and 3")
    ap.add_argument("--max-minutes", type=float, default=60, help="the whole run ends (cleanly) after this")
    ap.add_argument("--failures", default="/tmp/vemo-link-failure",
                    help="where the viewers' logs and the screen go when a viewer shows nothing")
    ap.add_argument("--tunnel", action="store_true", help="compare vemo with vemo through --via to an sshd beyond "
                    "the link, instead of with TigerVNC's viewer")
    ap.add_argument("--quick", action="store_true", help="1 repetition, 3 s windows, 5 key presses")
    ap.add_argument("--auto", action="store_true", help="vemo's automatic quality against TigerVNC's viewer with "
                    "its defaults and against vemo's fixed levels 2 and 3")
    ap.add_argument("--auto-args", default="--quality auto", help="vemo's arguments for its automatic quality")
    build = os.path.join(ROOT, "build")
    ap.add_argument("--vemo", default=os.path.join(build, "shell", "vemo"))
    ap.add_argument("--linkemu", default=os.path.join(build, "bench", "bench_linkemu"))
    ap.add_argument("--linkdesk", default=os.path.join(build, "bench", "bench_linkdesk"))
    ap.add_argument("--linkwatch", default=os.path.join(build, "bench", "bench_linkwatch"))
    ap.add_argument("--tiger", default=shutil.which("xtigervncviewer") or "xtigervncviewer")
    opts = ap.parse_args()
    if opts.quick:
        opts.repeats, opts.seconds, opts.keys, opts.warmup = 1, 3.0, 5, 1.0
    if opts.auto and opts.tunnel:
        sys.exit("--auto compares with TigerVNC's viewer: not with --tunnel")
    if os.geteuid() != 0:
        sys.exit("needs root: it makes network namespaces and TUN devices")
    for path in (opts.vemo, opts.linkemu, opts.linkdesk, opts.linkwatch, opts.tiger):
        if not os.access(path, os.X_OK):
            sys.exit(f"not found: {path} (build with VEMO_BUILD_BENCH=ON; see bench/README.md)")
    words = [w for w in opts.only.split(",") if w]

    def pick(names):
        mine = [w for w in words if any(w in n for n in names)]
        return [n for n in names if not mine or any(w in n for w in mine)]

    profiles, scenarios = pick(list(PROFILES)), pick(SCENARIOS)
    pairs = [p for p in PAIRS if str(p[0]) in opts.qualities.split(",")]

    def end(signum, _frame):
        raise SystemExit(f"ended by signal {signum}")

    for s in (signal.SIGTERM, signal.SIGHUP, signal.SIGALRM):
        signal.signal(s, end)
    signal.alarm(int(opts.max_minutes * 60))

    bench = Bench(opts)
    results = {}
    started = time.monotonic()
    try:
        bench.set_up()
        for profile in profiles:
            bench.start_link(*PROFILES[profile])
            for scenario in scenarios:
                bench.start_workload(scenario)
                by_pair = results.setdefault((profile, scenario), {})
                for rep in range(opts.repeats if opts.auto else 0):
                    # Each viewer takes each place in the order in turn.
                    for k in range(len(AUTO_RUNS)):
                        name = AUTO_RUNS[(rep + k) % len(AUTO_RUNS)]
                        which, level = name.split()
                        which = "vemo" if which == "vemo" else "tiger"
                        quality = "auto" if level == "auto" else int(level[1:])
                        print(f"[{time.monotonic() - started:5.0f} s] {profile}, {scenario}, run {rep + 1}, {name}",
                              file=sys.stderr, flush=True)
                        tiger_args = None if which == "tiger" else []
                        by_pair.setdefault(name, []).append(bench.run_once(scenario, which, quality, tiger_args))
                for rep in range(0 if opts.auto else opts.repeats):
                    for quality, tiger_args in pairs:
                        runs = by_pair.setdefault(quality, {"vemo": [], "tiger": []})
                        order = ("vemo", "tiger") if (rep + quality) % 2 == 0 else ("tiger", "vemo")
                        for which in order:
                            print(f"[{time.monotonic() - started:5.0f} s] {profile}, {scenario}, run {rep + 1}, "
                                  f"{which} (vemo q{quality})", file=sys.stderr, flush=True)
                            runs[which].append(bench.run_once(scenario, which, quality, tiger_args))
                bench.stop_workload()
    finally:
        signal.alarm(0)
        bench.clean_up()
        if results and opts.auto:
            report_auto(results, started)
        elif results:
            report(results, pairs, started, opts.tunnel)


if __name__ == "__main__":
    main()
