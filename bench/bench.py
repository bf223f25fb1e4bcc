#!/usr/bin/env python3
"""Runs the engine's benchmarks headless and prints a table of figures.

Sections (all by default, or those named with --only):
  limit    SDL's renderer alone drawing N textured quads (bench_limit)
  sprites  the sprite game: ticks/s, frames/s and per-stage costs per N,
           variant and renderer, with the resident memory of each run
  pacing   tick intervals over 10 s at idle and at 10,000 sprites
  startup  time to the first tick and the first presented frame of the
           default game, median of several runs
  memory   resident memory at idle
--soak [MIN] runs the 10,000-sprite game for MIN minutes (default 10) and
reports whether resident memory grew; it is a separate mode.

Every engine run gets a fresh install folder (the executable and the engine
data files) and a fresh HOME under a temporary directory. The software
renderer draws into a private Xvfb server; the OpenGL renderer runs on Mesa
llvmpipe under SDL's offscreen video driver. Vsync is off. The engine's
opt-in timing (ORV_TIMING=1) logs the per-stage figures once a second; this
script reads them from the log. Figures are printed, never judged.
"""
import argparse
import csv
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
GAMES = os.path.join(HERE, "games")

COUNTS = [1000, 5000, 10000, 25000, 50000, 100000]
MODES = ["hashes", "arrays", "attr", "static", "solids"]
RENDERERS = ["software", "opengl"]
HOLDS_60 = 59.5  # ticks a second that still count as holding 60

SIM_RE = re.compile(
    r"Timing: (\d+) ticks in (\d+) ms; busy ([\d.]+) ms \(max ([\d.]+)\): input ([\d.]+), tick ([\d.]+) "
    r"\(max ([\d.]+)\), gc ([\d.]+) \(max ([\d.]+)\), pack ([\d.]+) \(max ([\d.]+)\), "
    r"finish ([\d.]+); scene (\d+) bytes \(max (\d+)\); late (\d+) \(max ([-\d.]+) ms\)")
INTERVALS_RE = re.compile(r"Timing intervals \(us\):((?: \d+)*)")
FRAME_RE = re.compile(
    r"Timing: (\d+) frames in (\d+) ms; events ([\d.]+) ms, scenes ([\d.]+) ms \(max ([\d.]+)\), "
    r"present ([\d.]+) ms \(max ([\d.]+)\)")
FIRST_TICK_RE = re.compile(r"Timing: first game tick done at ([\d.]+) ms")
FIRST_FRAME_RE = re.compile(r"Timing: first frame presented at ([\d.]+) ms")
BACKEND_RE = re.compile(r"SDL renderer backend: (\S+)")


def log(msg):
    print(msg, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- machinery

class Xvfb:
    """A private X server for the software renderer's window."""

    def __init__(self):
        r, w = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(r, 16)
            if not chunk:
                break
            number += chunk
        os.close(r)
        if not number.strip():
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def rss_kib(pid):
    """(VmRSS, VmHWM) of a process in KiB, or (None, None) once it is gone."""
    rss = hwm = None
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    rss = int(line.split()[1])
                elif line.startswith("VmHWM:"):
                    hwm = int(line.split()[1])
    except OSError:
        pass
    return rss, hwm


class EngineRun:
    """One engine process on a copy of a game, with the timing log switched on."""

    def __init__(self, bench, game, renderer, env=None, gameid=None):
        self.bench = bench
        self.tmp = tempfile.mkdtemp(prefix="orv-bench-", dir=bench.tmp)
        self.install = os.path.join(self.tmp, "install")
        os.makedirs(self.install)
        exe = os.path.join(self.install, "orvane")
        try:
            os.link(bench.exe, exe)
        except OSError:
            shutil.copy2(bench.exe, exe)
        for name in os.listdir(bench.data):
            shutil.copy2(os.path.join(bench.data, name), self.install)
        self.game = os.path.join(self.tmp, "game")
        shutil.copytree(game, self.game)
        self.gameid = gameid or read_gameid(self.game)
        self.logfile = os.path.join(self.install, "logs", self.gameid + ".log")
        home = os.path.join(self.tmp, "home")
        os.makedirs(os.path.join(home, "share"))
        e = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": home,
            "XDG_DATA_HOME": os.path.join(home, "share"),
            "SDL_AUDIODRIVER": "dummy",
            "ALSOFT_DRIVERS": "null",
            "ORV_TIMING": "1",
        }
        e.update(bench.renderer_env(renderer))
        e.update(env or {})
        self.env = e
        self.cmd = [exe, self.game, "--set", "renderer.vsync", "false",
                    "--set", "renderer.background_sleep", "0"]
        self.proc = None
        self.spawned_at = None

    def start(self):
        self.spawned_at = time.monotonic() * 1000.0
        self.proc = subprocess.Popen(self.cmd, env=self.env, cwd=self.tmp,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def text(self):
        try:
            with open(self.logfile, "r", encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def wait_for(self, pattern, timeout):
        """Polls the log until pattern matches; returns the match or None."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            m = pattern.search(self.text())
            if m:
                return m
            if self.proc.poll() is not None:
                return pattern.search(self.text())
            time.sleep(0.02)
        return None

    def stop(self, grace=3):
        """SIGTERM (a platform quit event), then SIGKILL after grace seconds:
        an engine far behind its ticks takes long to wind down, and a
        benchmark has nothing to learn from its shutdown."""
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(grace)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)


def read_gameid(game):
    with open(os.path.join(game, "metadata", "game_metadata.txt")) as f:
        for line in f:
            if line.strip().startswith("gameid="):
                return line.split("=", 1)[1].strip()
    return "game"


def parse_windows(text):
    """The per-second timing lines of a stretch of log, in order. text is a
    string, or a list of (arrival time, line) pairs whose times the windows
    keep as "arrival"."""
    pairs = [(None, l) for l in text.splitlines()] if isinstance(text, str) else text
    sims, frames = [], []
    pending = None
    for arrival, line in pairs:
        m = SIM_RE.search(line)
        if m:
            v = [float(x) for x in m.groups()]
            pending = {
                "ticks": int(v[0]), "ms": v[1], "busy": v[2], "busy_max": v[3], "input": v[4],
                "tick": v[5], "tick_max": v[6], "gc": v[7], "gc_max": v[8], "pack": v[9],
                "pack_max": v[10], "finish": v[11], "scene": int(v[12]), "scene_max": int(v[13]),
                "late": int(v[14]), "late_max": v[15], "intervals": [], "arrival": arrival,
            }
            sims.append(pending)
            continue
        m = INTERVALS_RE.search(line)
        if m and pending is not None:
            pending["intervals"] = [int(x) for x in m.group(1).split()]
            pending = None
            continue
        m = FRAME_RE.search(line)
        if m:
            v = [float(x) for x in m.groups()]
            frames.append({"frames": int(v[0]), "ms": v[1], "events": v[2], "scenes": v[3],
                           "scenes_max": v[4], "present": v[5], "present_max": v[6],
                           "arrival": arrival})
    return sims, frames


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def percentile(values, p):
    if not values:
        return None
    s = sorted(values)
    return s[min(len(s) - 1, int(round((len(s) - 1) * p)))]


def fmt(v, digits=1, width=0):
    if v is None:
        text = "-"
    elif isinstance(v, AtLeast):
        text = "> " + ("{:,.0f}".format(v) if v >= 100 else "%.*f" % (digits, v))
    elif isinstance(v, str):
        text = v
    elif isinstance(v, int):
        text = "{:,}".format(v)
    else:
        text = "%.*f" % (digits, v)
    return text.rjust(width) if width else text


def print_table(title, header, rows):
    print()
    print(title)
    cells = [header] + [[c if isinstance(c, str) else fmt(c) for c in r] for r in rows]
    widths = [max(len(r[i]) for r in cells) for i in range(len(header))]
    for n, r in enumerate(cells):
        print("  " + "  ".join(c.rjust(w) if i else c.ljust(w)
                               for i, (c, w) in enumerate(zip(r, widths))))
        if n == 0:
            print("  " + "  ".join("-" * w for w in widths))
    sys.stdout.flush()


def write_csv(path, header, rows):
    with open(path, "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(header)
        for r in rows:
            w.writerow(["" if c is None else ("%.3f" % c if isinstance(c, float) else c)
                        for c in r])


# ------------------------------------------------------------------- bench

class Bench:
    def __init__(self, opts):
        self.opts = opts
        self.exe = os.path.abspath(opts.exe)
        self.limit = os.path.abspath(opts.limit)
        self.data = os.path.abspath(opts.data)
        self.out = os.path.abspath(opts.out)
        os.makedirs(self.out, exist_ok=True)
        self.tmp = tempfile.mkdtemp(prefix="orv-bench-")
        self.xvfb = None
        self.counts = opts.counts or (COUNTS[:2] if opts.quick else COUNTS)
        self.modes = opts.modes or (MODES[:1] if opts.quick else MODES)
        self.renderers = opts.renderers or RENDERERS
        self.warmup = 1.0 if opts.quick else opts.warmup
        self.measure = 3.0 if opts.quick else opts.measure
        self.pacing_seconds = 3.0 if opts.quick else 11.0  # whole windows: about 10 s
        self.backends = {}

    def renderer_env(self, renderer):
        if renderer == "software":
            if self.xvfb is None:
                self.xvfb = Xvfb()
            return {"SDL_VIDEODRIVER": "x11", "SDL_RENDER_DRIVER": "software",
                    "DISPLAY": self.xvfb.display}
        return {"SDL_VIDEODRIVER": "offscreen", "SDL_RENDER_DRIVER": "opengl"}

    def close(self):
        if self.xvfb:
            self.xvfb.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # Runs a game until its first tick, lets it settle, then reads the
    # timing lines written during the measuring window.
    def check_draw(self, renderer, mode):
        """A short run of its own that takes a screenshot (writing it stalls
        the render loop, so measured runs take none) and quits."""
        env = {"ORV_BENCH_N": "1000", "ORV_BENCH_MODE": mode, "ORV_BENCH_SHOT": "20",
               "ORV_BENCH_TICKS": "40"}
        run = EngineRun(self, os.path.join(GAMES, "sprites"), renderer, env).start()
        try:
            try:
                run.proc.wait(60)
            except subprocess.TimeoutExpired:
                pass
            return check_shot(os.path.join(run.game, "bench-shot.png"), mode)
        finally:
            run.cleanup()

    def keep_log(self, run, name):
        if self.opts.keep_logs:
            os.makedirs(os.path.join(self.out, "logs"), exist_ok=True)
            with open(os.path.join(self.out, "logs", name + ".log"), "w") as f:
                f.write(run.text())

    def measure_run(self, game, renderer, env, warmup, seconds, name=None):
        """Runs a game until its first tick, lets it settle, then keeps the
        timing windows that began and ended inside the measuring stretch.
        The log is polled, so every line has the time it arrived; a window
        ending at T that lasted D began at T - D."""
        run = EngineRun(self, game, renderer, env).start()
        result = {"error": None}
        try:
            if not run.wait_for(FIRST_TICK_RE, 120):
                result["error"] = "no first tick"
                return result
            lines = []  # (arrival, line)
            seen = 0
            t_start = time.monotonic() + warmup
            t_end = t_start + seconds
            rss = hwm = None
            while True:
                now = time.monotonic()
                text = run.text()
                cut = text.rfind("\n") + 1
                if cut > seen:
                    lines += [(now, l) for l in text[seen:cut].splitlines()]
                    seen = cut
                if rss is None and now >= t_end:
                    rss, hwm = rss_kib(run.proc.pid)
                if now >= t_end + 1.2 or run.proc.poll() is not None:
                    break  # 1.2 s: the last window's lines reach the log
                time.sleep(0.1)
            m = BACKEND_RE.search(text)
            if m:
                self.backends[renderer] = m.group(1)
            if "* EXCEPTION" in text:
                result["error"] = "game raised"
            slack = 0.15  # the log's own delay
            sims, frames = parse_windows(lines)
            frames = [f for f in frames
                      if f["arrival"] - f["ms"] / 1000.0 >= t_start - slack and
                      f["arrival"] <= t_end + slack]
            sims = [w for w in sims
                    if w["arrival"] - w["ms"] / 1000.0 >= t_start - slack and
                    w["arrival"] <= t_end + slack]
            result.update(summarise(sims, frames))
            result["windows"] = sims
            if not frames:
                result["note"] = "no frame within %.0f s" % seconds
            result["rss_mib"] = rss / 1024.0 if rss else None
            result["hwm_mib"] = hwm / 1024.0 if hwm else None
            if run.proc.poll() is not None and result["error"] is None:
                result["error"] = "exited early"
            return result
        finally:
            run.stop()
            self.keep_log(run, name or "run")
            run.cleanup()

    # ---------------------------------------------------------- sections

    def section_limit(self):
        # The limit proper (SDL_RenderCopyF, an ARGB texture) as the median of
        # several runs; once more with the call and texture layout the scene
        # executor uses (SDL_RenderCopyExF, ABGR), to show what those cost.
        runs = 1 if self.opts.quick else 2
        seconds = "1" if self.opts.quick else "1.5"
        samples = {}
        for renderer in self.renderers:
            env = dict(os.environ)
            env.update(self.renderer_env(renderer))
            plan = [("copy", "argb")] * runs + [("ex", "abgr")]
            for call, layout in plan:
                cmd = [self.limit, "--seconds", seconds, "--call", call, "--format", layout]
                cmd += [str(n) for n in self.counts]
                log("limit: %s %s-%s" % (renderer, call, layout))
                p = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=900)
                for line in p.stdout.splitlines():
                    f = line.split()
                    if len(f) == 9 and f[0] == "limit":
                        key = (renderer, f[2], int(f[3]))
                        samples.setdefault(key, []).append(
                            (float(f[6]), float(f[7]), f[1]))
                if p.returncode != 0:
                    log("limit failed on %s: %s" % (renderer, p.stderr.strip()[-500:]))
        rows = []
        for (renderer, variant, n), vals in samples.items():
            med = median([v[0] for v in vals])
            rows.append({"renderer": renderer, "variant": variant, "backend": vals[0][2],
                         "n": n, "runs": len(vals), "median_ms": med,
                         "p99_ms": median([v[1] for v in vals]), "fps": 1000.0 / med})
        self.limit_all = rows
        self.limit_rows = [r for r in rows if r["variant"] == "copy-argb"]
        write_csv(os.path.join(self.out, "limit.csv"),
                  ["renderer", "backend", "variant", "sprites", "runs", "median_ms", "p99_ms",
                   "fps"],
                  [[r["renderer"], r["backend"], r["variant"], r["n"], r["runs"],
                    r["median_ms"], r["p99_ms"], r["fps"]] for r in rows])
        table = []
        for renderer in self.renderers:
            engine_like = {r["n"]: r for r in rows
                           if r["renderer"] == renderer and r["variant"] == "ex-abgr"}
            first = True
            for r in self.limit_rows:
                if r["renderer"] != renderer:
                    continue
                e = engine_like.get(r["n"])
                table.append([renderer, r["n"], r["runs"], r["median_ms"], r["fps"],
                              e["median_ms"] if e else None,
                              fmt(largest_at(self.limit_rows, renderer, "median_ms"), 0)
                              if first else ""])
                first = False
        print_table("SDL renderer alone (bench_limit): N textured 32x32 quads a frame, vsync off; "
                    "median of the runs",
                    ["renderer", "sprites", "runs", "ms/frame", "frames/s",
                     "ms/frame as the executor draws", "largest N at 60 fps"], table)

    def limit_for(self, renderer, n):
        for r in getattr(self, "limit_rows", []):
            if r["renderer"] == renderer and r["n"] == n:
                return r
        return None

    def section_sprites(self):
        rows = []
        for renderer in self.renderers:
            for mode in self.modes:
                hopeless = None
                for n in self.counts:
                    if hopeless:
                        # Larger counts of a series already below a few ticks a
                        # second only cost time; they are listed as skipped.
                        rows.append({"renderer": renderer, "mode": mode, "n": n,
                                     "note": "skipped (< 3 ticks/s at %s)" % fmt(hopeless)})
                        continue
                    log("sprites: %s %s %d" % (renderer, mode, n))
                    env = {"ORV_BENCH_N": str(n), "ORV_BENCH_MODE": mode}
                    r = self.measure_run(os.path.join(GAMES, "sprites"), renderer, env,
                                         self.warmup, self.measure,
                                         "sprites-%s-%s-%d" % (renderer, mode, n))
                    r.update({"renderer": renderer, "mode": mode, "n": n})
                    if n == self.counts[0]:
                        r["drawn"] = self.check_draw(renderer, mode)
                    lim = self.limit_for(renderer, n)
                    r["limit_ms"] = lim["median_ms"] if lim else None
                    draw = (r.get("scenes") or 0) + (r.get("present") or 0)
                    r["draw_ms"] = draw if r.get("scenes") is not None else None
                    r["limit_ratio"] = (r["limit_ms"] / draw) if lim and draw else None
                    rows.append(r)
                    if (r.get("tps") or 0) < 3 and n < self.counts[-1]:
                        hopeless = n
        self.sprite_rows = rows
        fields = ["renderer", "mode", "n", "error", "drawn", "tps", "fps", "busy", "busy_max",
                  "input", "tick", "tick_max", "gc", "gc_max", "pack", "pack_max", "finish",
                  "scene", "scenes", "scenes_max", "present", "present_max", "draw_ms",
                  "limit_ms", "limit_ratio", "rss_mib"]
        write_csv(os.path.join(self.out, "sprites.csv"), fields,
                  [[r.get(k) for k in fields] for r in rows])
        for renderer in self.renderers:
            table = []
            for r in rows:
                if r["renderer"] != renderer:
                    continue
                table.append([r["mode"], r["n"], r.get("tps"), r.get("fps"), r.get("tick"),
                              r.get("gc"), r.get("pack"), r.get("busy"),
                              fmt(r.get("scene", 0) / 1024.0 if r.get("scene") else None, 0),
                              r.get("scenes"), r.get("present"), r.get("limit_ms"),
                              fmt(r.get("limit_ratio"), 2), r.get("rss_mib"),
                              r.get("drawn") or "", r.get("error") or r.get("note") or ""])
            print_table(
                "Sprites, %s renderer (%s), vsync off; per-stage figures are medians of "
                "one-second windows, ms" % (renderer, self.backends.get(renderer, "?")),
                ["variant", "N", "ticks/s", "frames/s", "tick", "gc", "pack", "busy/tick",
                 "scene KiB", "scenes", "present", "limit ms", "ours/limit", "RSS MiB", "drawn",
                 "note"], table)
        summary = []
        for renderer in self.renderers:
            lim_n = largest_at(getattr(self, "limit_rows", []), renderer, "median_ms")
            for mode in self.modes:
                series = [r for r in rows if r["renderer"] == renderer and r["mode"] == mode]
                ok = [r for r in series if not r.get("error")]
                held = [r["n"] for r in ok if (r.get("tps") or 0) >= HOLDS_60]
                held_fps = [r["n"] for r in ok if (r.get("fps") or 0) >= HOLDS_60]
                est = estimate_n_at_budget(series, "busy")
                est_draw = estimate_n_at_budget(series, "draw_ms")
                both = min(x for x in (est, est_draw) if x) if (est or est_draw) else None
                summary.append([renderer, mode, fmt(max(held) if held else None, 0),
                                fmt(max(held_fps) if held_fps else None, 0),
                                fmt(est, 0), fmt(est_draw, 0), fmt(lim_n, 0),
                                fmt(ratio_of(both, lim_n), 2)])
        print_table("Largest N at 60: tested counts holding 60 ticks/s and 60 frames/s; the N at "
                    "which a tick's busy time, and a frame's drawing, reach 16.7 ms (interpolated; "
                    "- when never reached); SDL's own limit",
                    ["renderer", "variant", "60 ticks/s (tested)", "60 frames/s (tested)",
                     "N at 16.7 ms tick", "N at 16.7 ms draw", "SDL alone N at 60 fps",
                     "ours/limit"], summary)
        self.plot()

    def section_pacing(self):
        rows = []
        cases = [("idle", os.path.join(GAMES, "idle"), {}),
                 ("10000 sprites", os.path.join(GAMES, "sprites"),
                  {"ORV_BENCH_N": "10000", "ORV_BENCH_MODE": "hashes"})]
        for renderer in self.renderers:
            for name, game, env in cases:
                log("pacing: %s %s" % (renderer, name))
                r = self.measure_run(game, renderer, env, self.warmup, self.pacing_seconds,
                                     "pacing-%s-%s" % (renderer, name.split()[0]))
                if r.get("error"):
                    rows.append([renderer, name] + [None] * 6 + [r["error"]])
                    continue
                intervals = [i for w in r["windows"] for i in w["intervals"]]
                late = sum(w["late"] for w in r["windows"])
                ms = [i / 1000.0 for i in intervals]
                rows.append([renderer, name, len(ms), median(ms), percentile(ms, 0.99),
                             max(ms) if ms else None, late, sum(intervals) / 1e6, ""])
        write_csv(os.path.join(self.out, "pacing.csv"),
                  ["renderer", "case", "ticks", "median_ms", "p99_ms", "max_ms", "late_2ms",
                   "seconds", "note"], rows)
        print_table("Pacing: simulation tick intervals over about %.0f s (deadline every 16.667 ms)"
                    % (self.pacing_seconds - 1),
                    ["renderer", "case", "ticks", "median ms", "p99 ms", "max ms",
                     "late >2 ms", "seconds", "note"],
                    [[r[0], r[1], r[2], fmt(r[3], 3), fmt(r[4], 3), fmt(r[5], 3), r[6],
                      fmt(r[7], 1), r[8]] for r in rows])

    def section_startup(self):
        rows = []
        runs = 3 if self.opts.quick else 7
        game = os.path.join(ROOT, "mygame")
        for renderer in self.renderers:
            ticks, frames = [], []
            for i in range(runs):
                run = EngineRun(self, game, renderer).start()
                try:
                    t = run.wait_for(FIRST_TICK_RE, 60)
                    f = run.wait_for(FIRST_FRAME_RE, 60)
                    if t:
                        ticks.append(float(t.group(1)) - run.spawned_at)
                    if f:
                        frames.append(float(f.group(1)) - run.spawned_at)
                finally:
                    run.cleanup()
            log("startup: %s first tick %s, first frame %s" % (renderer, ticks, frames))
            rows.append([renderer, len(ticks), median(ticks), min(ticks) if ticks else None,
                         max(ticks) if ticks else None, median(frames),
                         min(frames) if frames else None, max(frames) if frames else None])
        write_csv(os.path.join(self.out, "startup.csv"),
                  ["renderer", "runs", "first_tick_median_ms", "first_tick_min_ms",
                   "first_tick_max_ms", "first_frame_median_ms", "first_frame_min_ms",
                   "first_frame_max_ms"], rows)
        print_table("Start-up of the default game (mygame/), from process start, ms",
                    ["renderer", "runs", "first tick (median)", "min", "max",
                     "first frame (median)", "min", "max"], rows)

    def section_memory(self):
        rows = []
        for renderer in self.renderers:
            log("memory: %s idle" % renderer)
            r = self.measure_run(os.path.join(GAMES, "idle"), renderer, {}, 3.0, 1.0)
            rows.append([renderer, "idle", r.get("rss_mib"), r.get("hwm_mib")])
            for s in getattr(self, "sprite_rows", []):
                if s["renderer"] == renderer and s["mode"] == "hashes" and s["n"] == 10000:
                    rows.append([renderer, "10000 sprites", s.get("rss_mib"), s.get("hwm_mib")])
        write_csv(os.path.join(self.out, "memory.csv"),
                  ["renderer", "case", "rss_mib", "peak_rss_mib"], rows)
        print_table("Resident memory, MiB", ["renderer", "case", "RSS", "peak RSS"], rows)

    def soak(self, minutes):
        renderer = "software"
        log("soak: %s, 10000 sprites, %s minutes" % (renderer, minutes))
        run = EngineRun(self, os.path.join(GAMES, "sprites"), renderer,
                        {"ORV_BENCH_N": "10000", "ORV_BENCH_MODE": "hashes"}).start()
        samples = []
        try:
            if not run.wait_for(FIRST_TICK_RE, 120):
                print("soak: the game never ticked")
                return
            t0 = time.monotonic()
            end = t0 + minutes * 60.0
            while time.monotonic() < end and run.proc.poll() is None:
                rss, hwm = rss_kib(run.proc.pid)
                samples.append(((time.monotonic() - t0) / 60.0, rss / 1024.0 if rss else None))
                time.sleep(10)
            rss, hwm = rss_kib(run.proc.pid)
            samples.append(((time.monotonic() - t0) / 60.0, rss / 1024.0 if rss else None))
            sims, _ = parse_windows(run.text())
            alive = run.proc.poll() is None
        finally:
            run.cleanup()
        write_csv(os.path.join(self.out, "soak.csv"), ["minute", "rss_mib"], samples)
        later = [(m, v) for m, v in samples if m >= 1.0 and v is not None]
        slope = fit_slope(later)
        first = later[0][1] if later else None
        last = later[-1][1] if later else None
        tps = [w["ticks"] / (w["ms"] / 1000.0) for w in sims if w["ms"]]
        print_table("Soak: 10,000 sprites for %s minutes (%s renderer)" % (minutes, renderer),
                    ["figure", "value"],
                    [["RSS at minute 1, MiB", first], ["RSS at the end, MiB", last],
                     ["growth after minute 1, MiB", (last - first) if first and last else None],
                     ["trend after minute 1, MiB/min", fmt(slope, 3)],
                     ["ticks/s (median of windows)", median(tps)],
                     ["still running at the end", "yes" if alive else "no"]])

    def plot(self):
        rows = getattr(self, "sprite_rows", [])
        if not shutil.which("gnuplot") or not rows:
            return
        data = os.path.join(self.out, "plot.dat")
        with open(data, "w") as f:
            for renderer in self.renderers:
                for mode in self.modes:
                    f.write("# %s %s\n" % (renderer, mode))
                    for r in rows:
                        if r["renderer"] == renderer and r["mode"] == mode and r.get("fps"):
                            f.write("%d %.4f %.4f %.4f\n" % (
                                r["n"], 1000.0 / r["fps"], r.get("busy") or 0,
                                r.get("draw_ms") or 0))
                    f.write("\n\n")
                f.write("# %s limit\n" % renderer)
                for lr in getattr(self, "limit_rows", []):
                    if lr["renderer"] == renderer:
                        f.write("%d %.4f %.4f %.4f\n" % (lr["n"], lr["median_ms"], 0,
                                                         lr["median_ms"]))
                f.write("\n\n")
        blocks = len(self.modes) + 1
        plots = []
        for col, renderer in enumerate(self.renderers):
            base = col * blocks
            lines = []
            for i, mode in enumerate(self.modes):
                lines.append("'%s' index %d using 1:2 with linespoints title '%s'"
                             % (data, base + i, mode))
            lines.append("'%s' index %d using 1:2 with linespoints dashtype 2 lw 2 "
                         "title 'SDL alone (limit)'" % (data, base + len(self.modes)))
            lines.append("16.667 with lines lc rgb '#999999' lw 2 title '16.7 ms (60 Hz)'")
            plots.append("set title 'Frame time, %s renderer (%s)'\nplot %s" % (
                renderer, self.backends.get(renderer, "?"), ", ".join(lines)))
        for col, renderer in enumerate(self.renderers):
            base = col * blocks
            lines = ["'%s' index %d using 1:3 with linespoints title 'simulation busy per tick'"
                     % (data, base),
                     "'%s' index %d using 1:4 with linespoints title 'scene execution + present'"
                     % (data, base),
                     "'%s' index %d using 1:4 with linespoints dashtype 2 lw 2 "
                     "title 'SDL alone (limit)'" % (data, base + len(self.modes)),
                     "16.667 with lines lc rgb '#999999' lw 2 title '16.7 ms (60 Hz)'"]
            plots.append("set title 'Where the time goes (Hashes), %s renderer'\nplot %s"
                         % (renderer, ", ".join(lines)))
        script = "\n".join([
            "set terminal pngcairo size 1600,1100 font ',10'" if pngcairo() else
            "set terminal png size 1600,1100",
            "set output '%s'" % os.path.join(self.out, "frame_time.png"),
            "set multiplot layout 2,%d" % len(self.renderers),
            "set logscale xy", "set grid", "set key top left", "set samples 400",
            "set xrange [%d:%d]" % (self.counts[0] * 0.8, self.counts[-1] * 1.25),
            "set xlabel 'sprites'", "set ylabel 'ms'",
            "set format x '%.0s%c'",
        ] + plots + ["unset multiplot"])
        p = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True)
        if p.returncode != 0:
            log("gnuplot: %s" % p.stderr.strip()[-500:])


def pngcairo():
    p = subprocess.run(["gnuplot", "-e", "set terminal"], capture_output=True, text=True)
    return "pngcairo" in (p.stdout + p.stderr)


def summarise(sims, frames):
    """Run figures from its one-second windows: rates from the totals,
    per-stage costs as medians of the windows."""
    out = {}
    ms = sum(w["ms"] for w in sims)
    if ms:
        out["tps"] = sum(w["ticks"] for w in sims) / (ms / 1000.0)
    for k in ["busy", "input", "tick", "gc", "pack", "finish", "scene"]:
        out[k] = median([w[k] for w in sims])
    for k in ["busy_max", "tick_max", "gc_max", "pack_max", "scene_max"]:
        out[k] = max([w[k] for w in sims]) if sims else None
    if frames:
        ms = sum(f["ms"] for f in frames)
        out["fps"] = sum(f["frames"] for f in frames) / (ms / 1000.0) if ms else None
    for k in ["events", "scenes", "present"]:
        out[k] = median([f[k] for f in frames])
    for k in ["scenes_max", "present_max"]:
        out[k] = max([f[k] for f in frames]) if frames else None
    return out


def check_shot(path, mode):
    """Whether the screenshot shows the sprites: the share of pixels in the
    sprite's colour (its orange middle blended over the background, or the
    solid orange) must be clearly above zero."""
    if not os.path.exists(path):
        return "no shot"
    try:
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True,
                             timeout=60).stdout
    except (OSError, subprocess.TimeoutExpired):
        return "?"
    total = len(raw) // 3
    hits = 0
    for i in range(0, len(raw) - 2, 3):
        r, g, b = raw[i], raw[i + 1], raw[i + 2]
        if r > 200 and 100 < g < 200 and b < 170 and r - b > 60:
            hits += 1
    share = hits / total if total else 0
    return "yes" if share > 0.01 else "NO"


def largest_at(rows, renderer, key, budget=1000.0 / 60.0):
    """Largest N whose frame takes at most the budget, interpolated linearly
    between the measured counts."""
    series = sorted((r["n"], r[key]) for r in rows if r["renderer"] == renderer)
    return interpolate_budget(series, budget)


def estimate_n_at_budget(series, key, budget=1000.0 / 60.0):
    pts = sorted((r["n"], r.get(key)) for r in series
                 if r.get(key) is not None and not r.get("error"))
    return interpolate_budget(pts, budget)


def ratio_of(ours, limit):
    if not ours or not limit or isinstance(limit, AtLeast):
        return None
    return AtLeast(ours / limit) if isinstance(ours, AtLeast) else ours / limit


class AtLeast(float):
    """A count that stayed within budget at every measured point: the true
    figure is above it."""


def interpolate_budget(pts, budget):
    if not pts:
        return None
    if pts[0][1] > budget:
        n0, t0 = pts[0]
        return n0 * budget / t0 if t0 else None  # below the smallest count: proportional
    for (n0, t0), (n1, t1) in zip(pts, pts[1:]):
        if t0 <= budget < t1:
            return n0 + (n1 - n0) * (budget - t0) / (t1 - t0)
    return AtLeast(pts[-1][0])


def fit_slope(points):
    if len(points) < 2:
        return None
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    den = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / den if den else None


def describe_machine():
    cpu = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "?"
    try:
        with open("/proc/meminfo") as f:
            mem = "%.1f GiB" % (int(f.readline().split()[1]) / 1048576.0)
    except OSError:
        pass
    try:
        load = "%.2f %.2f %.2f" % os.getloadavg()
    except OSError:
        load = "?"
    return "%s, %d logical CPUs, %s RAM, %s %s; load average at start %s" % (
        cpu, os.cpu_count() or 0, mem, platform.system(), platform.release(), load)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--exe", required=True)
    ap.add_argument("--limit", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--only", nargs="*", choices=["limit", "sprites", "pacing", "startup",
                                                  "memory"])
    ap.add_argument("--quick", action="store_true", help="two counts, one variant, short runs")
    ap.add_argument("--warmup", type=float, default=1.5)
    ap.add_argument("--measure", type=float, default=4.0)
    ap.add_argument("--counts", type=int, nargs="*", help="sprite counts instead of the six")
    ap.add_argument("--modes", nargs="*", choices=MODES, help="variants instead of all five")
    ap.add_argument("--renderers", nargs="*", choices=RENDERERS)
    ap.add_argument("--keep-logs", action="store_true", help="copy every run's log to OUT/logs")
    ap.add_argument("--soak", type=float, nargs="?", const=10.0, default=None,
                    metavar="MINUTES")
    opts = ap.parse_args()
    bench = Bench(opts)
    started = time.monotonic()
    print("Machine: %s" % describe_machine())
    git = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%h %cd", "--date=short"],
                         capture_output=True, text=True).stdout.strip()
    print("Engine: %s (commit %s)" % (bench.exe, git or "?"))
    try:
        if opts.soak is not None:
            bench.soak(opts.soak)
        else:
            sections = opts.only or ["limit", "sprites", "pacing", "startup", "memory"]
            for name in ["limit", "sprites", "pacing", "startup", "memory"]:
                if name in sections:
                    getattr(bench, "section_" + name)()
    finally:
        bench.close()
    print()
    print("Figures written to %s (CSV%s); %.0f s." % (
        bench.out, ", frame_time.png" if os.path.exists(
            os.path.join(bench.out, "frame_time.png")) else "", time.monotonic() - started))


if __name__ == "__main__":
    main()
