#!/usr/bin/env python3
"""vemo next to TigerVNC's viewer (xtigervncviewer) on one private Xvfb.

Each run starts bench_pushserver (one viewer, 127.0.0.1, a free port), then
the viewer on our own Xvfb, waits for the first update, and measures over a
fixed window: updates the server sent, the viewer's CPU time
(/proc/<pid>/stat utime+stime), the Xvfb's CPU time (it draws what the
viewer puts), and the lag from an update sent to the next request. The
idle scenario also times pointer events injected with XTest at the Xvfb
until the server receives them. Viewers alternate within each repetition,
so slow drifts in the machine's load hit both.
"""
import argparse
import ctypes
import os
import queue
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
TICK = os.sysconf("SC_CLK_TCK")

TIGER_COMMON = ["-AutoSelect=0", "-FullColor=1", "-RemoteResize=0", "-AlertOnFatalError=0",
                "-ReconnectOnError=0", "-SecurityTypes=None"]
TIGER_RAW = ["-PreferredEncoding=raw"]
# vemo's quality 2: tight, JPEG quality 7, compression 5.
TIGER_TIGHT = ["-PreferredEncoding=tight", "-QualityLevel=7", "-CompressLevel=5", "-NoJPEG=0"]

# name, width, height, server mode, force raw, vemo quality, TigerVNC options
SCENARIOS = [
    ("raw 1280x720", 1280, 720, "full", True, 1, TIGER_RAW),
    ("raw 1920x1080", 1920, 1080, "full", True, 1, TIGER_RAW),
    ("tight 1280x720", 1280, 720, "full", False, 2, TIGER_TIGHT),
    ("tight 1920x1080", 1920, 1080, "full", False, 2, TIGER_TIGHT),
    # The same work at the same pace for both: a viewer that asks sooner
    # gets no more updates, and the server's encoder no more work.
    ("tight 1280x720 at 100/s", 1280, 720, "full@100", False, 2, TIGER_TIGHT),
    ("rect64 raw 1280x720", 1280, 720, "rect", True, 1, TIGER_RAW),
    ("idle+input 1280x720", 1280, 720, "idle", False, 2, TIGER_TIGHT),
    # TigerVNC holds pointer moves back for PointerEventInterval (17 ms).
    ("input, Tiger -PointerEventInterval=0", 1280, 720, "input", False, 2,
     TIGER_TIGHT + ["-PointerEventInterval=0"]),
    # vemo alone (TigerVNC's viewer does not scale): on a 1280x720 screen it
    # fits the desktop into its window; compare with "raw 1920x1080".
    ("raw 1920x1080 fitted into 1280x720", 1920, 1080, "full", True, 1, None),
]
# The screen each scenario runs on, if not the default.
SCREENS = {"raw 1920x1080 fitted into 1280x720": "1280x720x24"}
DEFAULT_SCREEN = "2560x1440x24"


def proc_cpu_s(pid):
    """utime+stime of the whole process (threads that exited included)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def proc_sched_s(pid):
    """Run time of the live threads in ns precision, for the idle case where
    clock ticks are too coarse."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total / 1e9


def proc_switches(pid):
    """Context switches of the live threads, voluntary and forced: each is
    a sleep and a wake-up, the fixed cost of a small update."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def stop(proc, grace=3.0):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Xvfb:
    def __init__(self, screen):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.display = ":" + f.readline().strip()
        if self.display == ":":
            raise RuntimeError("Xvfb did not start")
        x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11 = x11
        self.dpy = x11.XOpenDisplay(self.display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open " + self.display)

    def move(self, x, y):
        """Moves the pointer; returns the CLOCK_MONOTONIC stamp of the send."""
        self.xtst.XTestFakeMotionEvent(self.dpy, 0, x, y, 0)
        t = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        self.x11.XFlush(self.dpy)
        return t

    def focus_under_pointer(self):
        """Gives X's keyboard focus to the top-level window under the pointer,
        as a window manager would on a click (there is none here)."""
        root = self.x11.XDefaultRootWindow(self.dpy)
        root_ret, child = ctypes.c_ulong(), ctypes.c_ulong()
        xy = [ctypes.c_int() for _ in range(4)]
        mask = ctypes.c_uint()
        self.x11.XQueryPointer(self.dpy, root, ctypes.byref(root_ret), ctypes.byref(child),
                               *[ctypes.byref(v) for v in xy], ctypes.byref(mask))
        if child.value:
            self.x11.XSetInputFocus(self.dpy, child, 1, 0)  # RevertToPointerRoot, CurrentTime
        self.x11.XSync(self.dpy, 0)

    def key(self, keysym, down):
        """Presses or releases a key; returns the CLOCK_MONOTONIC stamp of the send."""
        self.xtst.XTestFakeKeyEvent(self.dpy, self.x11.XKeysymToKeycode(self.dpy, keysym), int(down), 0)
        t = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
        self.x11.XFlush(self.dpy)
        return t

    def close(self):
        stop(self.proc)


class Server:
    def __init__(self, path, w, h, mode, force_raw):
        args = [path, str(w), str(h), mode] + (["raw"] if force_raw else [])
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     bufsize=1)
        line = self.proc.stdout.readline()
        if not line.startswith("PORT "):
            raise RuntimeError("push server did not start")
        self.port = int(line.split()[1])
        self.stats = queue.Queue()
        self.pointer = queue.Queue()
        self.keys = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            parts = line.split()
            if parts and parts[0] == "S":
                self.stats.put([float(v) for v in parts[1:]])
            elif parts and parts[0] == "P":
                self.pointer.put(int(parts[3]))
            elif parts and parts[0] == "K" and parts[1] == "1":
                self.keys.put(int(parts[3]))

    def snapshot(self):
        """updates, requests, bytes, cpu s, lag median ms, lag p99 ms."""
        self.proc.stdin.write("s\n")
        self.proc.stdin.flush()
        u, r, b, cpu, lag50, lag99 = self.stats.get(timeout=10)
        return {"updates": u, "requests": r, "bytes": b, "cpu": cpu / 1e9,
                "lag50": lag50 / 1000, "lag99": lag99 / 1000}

    def close(self):
        try:
            self.proc.stdin.close()
        except OSError:
            pass
        try:
            self.proc.wait(3)
        except subprocess.TimeoutExpired:
            stop(self.proc)


def viewer_command(opts, viewer, port, quality, tiger_args):
    if viewer == "vemo" or opts.against:
        return [opts.against if viewer == "tiger" else opts.vemo, f"vnc://127.0.0.1:{port}", str(quality)]
    return [opts.tiger] + TIGER_COMMON + tiger_args + [f"127.0.0.1::{port}"]


def latency(xvfb, server, count):
    """Pointer moves 40 ms apart (TigerVNC holds moves back for 17 ms by
    default; spacing keeps both viewers out of their rate limits)."""
    while not server.pointer.empty():
        server.pointer.get()
    xvfb.move(300, 300)
    time.sleep(0.3)
    while not server.pointer.empty():
        server.pointer.get()
    samples = []
    for i in range(count):
        sent = xvfb.move(400 + (i % 2) * 7 + i % 50, 300 + i % 20)
        try:
            while True:
                got = server.pointer.get(timeout=1.0)
                if got >= sent:
                    samples.append((got - sent) / 1e6)
                    break
        except queue.Empty:
            pass
        time.sleep(0.04)
        while not server.pointer.empty():
            server.pointer.get()
    return samples


def key_latency(xvfb, server, count):
    """Presses of the letter a, 40 ms apart, each released before the next,
    into the viewer's window, which is given X's keyboard focus first."""
    keysym_a = 0x61
    xvfb.move(300, 300)
    xvfb.focus_under_pointer()
    # The first fake key switches the X server to the XTest keyboard, and a
    # viewer may then reload its keymap: one press and release, not counted.
    xvfb.key(keysym_a, True)
    xvfb.key(keysym_a, False)
    time.sleep(0.3)
    samples = []
    for _ in range(count):
        while not server.keys.empty():
            server.keys.get()
        sent = xvfb.key(keysym_a, True)
        try:
            got = server.keys.get(timeout=1.0)
            if got >= sent:
                samples.append((got - sent) / 1e6)
        except queue.Empty:
            pass
        xvfb.key(keysym_a, False)
        time.sleep(0.04)
    return samples


def run_once(opts, xvfb, scenario, viewer, home):
    name, w, h, mode, force_raw, quality, tiger_args = scenario
    server = Server(opts.server, w, h, "idle" if mode == "input" else mode, force_raw)
    env = dict(os.environ, DISPLAY=xvfb.display, HOME=home, XDG_RUNTIME_DIR=home)
    log = open(os.path.join(home, f"{viewer}.log"), "a")
    proc = subprocess.Popen(viewer_command(opts, viewer, server.port, quality, tiger_args),
                            env=env, stdout=log, stderr=log)
    result = None
    try:
        deadline = time.monotonic() + 20
        while server.snapshot()["updates"] < 1:
            if time.monotonic() > deadline or proc.poll() is not None:
                raise RuntimeError(f"{viewer}: no update within 20 s")
            time.sleep(0.1)
        time.sleep(opts.warmup)
        seconds = {"idle": opts.idle_seconds, "input": 1.0}.get(mode, opts.seconds)
        perf = None
        if opts.perf:
            out = os.path.join(opts.perf, f"{viewer}_" + name.replace(" ", "_") + ".perf.data")
            perf = subprocess.Popen(["perf", "record", "-g", "-q", "-o", out, "-p", str(proc.pid),
                                     "--", "sleep", str(seconds)], stderr=subprocess.DEVNULL)
        s0, c0, q0, x0 = server.snapshot(), proc_cpu_s(proc.pid), proc_sched_s(proc.pid), proc_cpu_s(xvfb.proc.pid)
        w0 = proc_switches(proc.pid)
        t0 = time.monotonic()
        time.sleep(seconds)
        s1, c1, q1, x1 = server.snapshot(), proc_cpu_s(proc.pid), proc_sched_s(proc.pid), proc_cpu_s(xvfb.proc.pid)
        w1 = proc_switches(proc.pid)
        dt = time.monotonic() - t0
        if perf:
            perf.wait()
        n = s1["updates"] - s0["updates"]
        per = (lambda v: 1000 * v / n) if n > 0 else (lambda v: float("nan"))
        result = {
            "updates/s": n / dt,
            "viewer CPU ms/update": per(c1 - c0),
            "viewer CPU % of a core": 100 * (c1 - c0) / dt,
            "viewer context switches/update": (w1 - w0) / n if n > 0 else float("nan"),
            "Xvfb CPU ms/update": per(x1 - x0),
            "server CPU ms/update": per(s1["cpu"] - s0["cpu"]),
            "lag ms, median": s1["lag50"],
            "lag ms, p99": s1["lag99"],
            "MB/s sent": (s1["bytes"] - s0["bytes"]) / dt / 1e6,
        }
        if mode in ("idle", "input"):
            for k in list(result):
                if k not in ("viewer CPU % of a core", "updates/s"):
                    del result[k]
            if mode == "idle":
                result["viewer CPU % (schedstat)"] = 100 * (q1 - q0) / dt
            else:  # too short a window to say anything about CPU
                result.clear()
            lat = sorted(latency(xvfb, server, opts.events))
            if lat:
                result["input ms, median"] = lat[len(lat) // 2]
                result["input ms, p99"] = lat[min(len(lat) - 1, int(0.99 * len(lat)))]
            result["input events lost"] = opts.events - len(lat)
            keys = sorted(key_latency(xvfb, server, opts.events))
            if keys:
                result["key ms, median"] = keys[len(keys) // 2]
                result["key ms, p99"] = keys[min(len(keys) - 1, int(0.99 * len(keys)))]
            result["key presses lost"] = opts.events - len(keys)
        hwm = vm_hwm_kib(proc.pid)
        result["VmHWM MiB"] = hwm / 1024
        result["VmHWM / framebuffer"] = hwm * 1024 / (w * h * 4)
    finally:
        stop(proc)
        server.close()
        log.close()
    return result


def fmt(v):
    if v != v:
        return "n/a"
    return f"{v:.3g}" if abs(v) < 100 else f"{v:.0f}"


def summarise(values):
    values = [v for v in values if v == v]
    if not values:
        return float("nan"), "n/a"
    med = statistics.median(values)
    spread = f"{fmt(min(values))}-{fmt(max(values))}" if len(values) > 1 else "-"
    return med, spread


def report(results, scenarios, markdown, other):
    rows = []
    for sc in scenarios:
        name = sc[0]
        keys = list(dict.fromkeys(k for r in results[name]["vemo"] + results[name]["tiger"] for k in r))
        for k in keys:
            mv, sv = summarise([r.get(k, float("nan")) for r in results[name]["vemo"]])
            mt, st = summarise([r.get(k, float("nan")) for r in results[name]["tiger"]])
            ratio = mv / mt if mt == mt and mv == mv and mt != 0 else float("nan")
            rows.append((name, k, fmt(mv), sv, fmt(mt), st, fmt(ratio)))
    head = ("scenario", "metric", "vemo", "(spread)", other, "(spread)", f"vemo/{other}")
    if markdown:
        print("| " + " | ".join(head) + " |")
        print("|" + "---|" * len(head))
        for r in rows:
            print("| " + " | ".join(r) + " |")
    else:
        widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
        for r in [head] + rows:
            print("  ".join(str(c).ljust(widths[i]) for i, c in enumerate(r)))


def marginal_memory(results, other):
    """Peak memory growth from 1280x720 to 1920x1080 per byte of framebuffer
    growth: the baseline (libraries, fonts) cancels out."""
    grow = (1920 * 1080 - 1280 * 720) * 4
    for enc in ("raw", "tight"):
        small, big = results.get(f"{enc} 1280x720"), results.get(f"{enc} 1920x1080")
        if not small or not big:
            continue
        line = []
        for viewer, label in (("vemo", "vemo"), ("tiger", other)):
            a = statistics.median(r["VmHWM MiB"] for r in small[viewer])
            b = statistics.median(r["VmHWM MiB"] for r in big[viewer])
            line.append(f"{label} {(b - a) * 1048576 / grow:.2f}")
        print(f"{enc}: VmHWM growth 720p->1080p per framebuffer byte: " + ", ".join(line))


def scaling_cost(results, viewers):
    """vemo's CPU per full-screen update fitted into a smaller window, over
    the same updates shown pixel for pixel."""
    scaled, plain = results.get("raw 1920x1080 fitted into 1280x720"), results.get("raw 1920x1080")
    if not scaled or not plain:
        return
    for viewer, label in viewers:
        if not scaled[viewer] or not plain[viewer]:
            continue
        a = statistics.median(r["viewer CPU ms/update"] for r in scaled[viewer])
        b = statistics.median(r["viewer CPU ms/update"] for r in plain[viewer])
        print(f"{label} CPU ms per 1920x1080 raw update: fitted into 1280x720 {a:.2f}, 1:1 {b:.2f}, "
              f"ratio {a / b:.2f}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--quick", action="store_true", help="1 repetition, 2 s windows, 5 s idle")
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=5.0, help="window for the update scenarios")
    ap.add_argument("--idle-seconds", type=float, default=30.0)
    ap.add_argument("--warmup", type=float, default=1.0)
    ap.add_argument("--events", type=int, default=100, help="pointer events for the latency")
    ap.add_argument("--only", default="", help="comma-separated words; runs scenarios naming any")
    ap.add_argument("--markdown", action="store_true")
    ap.add_argument("--perf", default="", help="directory: perf record each viewer's windows there")
    ap.add_argument("--vemo", default=os.path.join(ROOT, "build", "shell", "vemo"))
    ap.add_argument("--server", default=os.path.join(ROOT, "build", "bench", "bench_pushserver"))
    ap.add_argument("--tiger", default=shutil.which("xtigervncviewer") or "xtigervncviewer")
    ap.add_argument("--against", default="",
                    help="another vemo binary in TigerVNC's place: two builds side by side")
    opts = ap.parse_args()
    if opts.quick:
        opts.repeats, opts.seconds, opts.idle_seconds, opts.events, opts.warmup = 1, 2.0, 5.0, 30, 0.5
    for path in (opts.vemo, opts.server, opts.against or opts.tiger):
        if not os.access(path, os.X_OK):
            sys.exit(f"not found: {path} (build with VEMO_BUILD_BENCH=ON; see bench/README.md)")
    if opts.perf:
        os.makedirs(opts.perf, exist_ok=True)
    words = [w for w in opts.only.split(",") if w]
    scenarios = [s for s in SCENARIOS if not words or any(w in s[0] for w in words)]

    xvfbs = {}
    home = tempfile.mkdtemp(prefix="vemo-side-")
    results = {s[0]: {"vemo": [], "tiger": []} for s in scenarios}
    started = time.monotonic()
    try:
        for rep in range(opts.repeats):
            for sc in scenarios:
                order = ("vemo", "tiger") if rep % 2 == 0 else ("tiger", "vemo")
                screen = SCREENS.get(sc[0], DEFAULT_SCREEN)
                if screen not in xvfbs:
                    xvfbs[screen] = Xvfb(screen)
                for viewer in order:
                    if viewer == "tiger" and sc[6] is None and not opts.against:
                        continue
                    print(f"[{time.monotonic() - started:5.0f} s] run {rep + 1}/{opts.repeats} "
                          f"{sc[0]}: {viewer}", file=sys.stderr, flush=True)
                    results[sc[0]][viewer].append(run_once(opts, xvfbs[screen], sc, viewer, home))
    finally:
        for xvfb in xvfbs.values():
            xvfb.close()
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print(f"{opts.repeats} repetition(s), {opts.seconds:g} s windows, idle {opts.idle_seconds:g} s, "
          f"{os.cpu_count()} cores, load average {' '.join(load)}, {time.monotonic() - started:.0f} s")
    other = "against" if opts.against else "TigerVNC"
    print(f"median (min-max over repetitions); vemo/{other} < 1 means vemo uses less "
          "(or, for updates/s, delivers fewer)\n")
    report(results, scenarios, opts.markdown, other)
    marginal_memory(results, other)
    scaling_cost(results, [("vemo", "vemo"), ("tiger", other)])
    shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
