"""Runs the real engine executable on small games, headless, and collects what
it leaves behind: exit status, standard output and error, the log file and the
files written into its write directory.

Every run gets a fresh install folder (the executable, hard-linked or copied,
with the engine data files beside it) and a fresh HOME, so runs never share a
write directory and can go in parallel.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

EXE = os.environ.get("ORV_EXE", "")
DATA = os.environ.get("ORV_ENGINE_DATA", "")
GAMES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "games")
# Sanitizer builds run many times slower: they check what a run does, not how
# fast; tests skip their timing figures there.
SANITIZED = os.environ.get("ORV_BUILD_TYPE", "").lower() in ("asan", "tsan")


class Result:
    def __init__(self, status, stdout, stderr, install, home, gameid):
        self.status = status
        self.stdout = stdout
        self.stderr = stderr
        self.install = install
        self.home = home
        self.gameid = gameid

    def file(self, relative, base=None):
        path = os.path.join(base or self.install, relative)
        if not os.path.exists(path):
            return None
        with open(path, "r", encoding="utf-8", errors="replace") as f:
            return f.read()

    def log(self, base=None):
        """The log file in the write directory (the install folder in development)."""
        return self.file(os.path.join("logs", self.gameid + ".log"), base)

    def log_lines(self, base=None):
        text = self.log(base)
        return text.splitlines() if text is not None else []

    def describe(self):
        return "status %s\n--- stdout\n%s\n--- stderr\n%s\n--- log\n%s" % (
            self.status, self.stdout[-4000:], self.stderr[-4000:], (self.log() or "")[-4000:])


def write_game(root, files):
    """Creates a game folder from {relative path: text or bytes}."""
    for rel, content in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        mode = "wb" if isinstance(content, bytes) else "w"
        with open(path, mode) as f:
            f.write(content)
    return root


def metadata(gameid="e2egame", **extra):
    lines = ["devid=e2edev", "devtitle=E2E Dev", "gameid=%s" % gameid,
             "gametitle=E2E Game", "version=1.0"]
    lines += ["%s=%s" % kv for kv in extra.items()]
    return "\n".join(lines) + "\n"


def zip_folder(folder, zip_path):
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
        for dirpath, _, names in os.walk(folder):
            for name in names:
                full = os.path.join(dirpath, name)
                z.write(full, os.path.relpath(full, folder))


class Install:
    """A fresh folder holding the executable and the engine data files."""

    def __init__(self, tmp):
        self.dir = os.path.join(tmp, "install")
        os.makedirs(self.dir)
        self.exe = os.path.join(self.dir, "orvane")
        try:
            os.link(EXE, self.exe)
        except OSError:
            shutil.copy2(EXE, self.exe)
        for name in os.listdir(DATA):
            shutil.copy2(os.path.join(DATA, name), self.dir)

    def append_archive(self, zip_path):
        """Replaces the executable by a copy with the archive appended."""
        os.unlink(self.exe)
        with open(self.exe, "wb") as out, open(EXE, "rb") as exe, open(zip_path, "rb") as z:
            shutil.copyfileobj(exe, out)
            shutil.copyfileobj(z, out)
        os.chmod(self.exe, 0o755)


class EngineTest(unittest.TestCase):
    """Base class: self.tmp is a fresh folder per test."""

    def setUp(self):
        if not EXE or not os.path.exists(EXE):
            self.fail("ORV_EXE does not name the built engine")
        self.tmp = tempfile.mkdtemp(prefix="orv-e2e-", dir=os.environ.get("ORV_TEST_TMPDIR"))
        self.install = Install(self.tmp)
        self.home = os.path.join(self.tmp, "home")
        os.makedirs(os.path.join(self.home, "share"))

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def game(self, files=None, name="game", template=None):
        """A game folder under tmp, from a template in games/ and/or files."""
        root = os.path.join(self.tmp, name)
        if template:
            shutil.copytree(os.path.join(GAMES, template), root)
        else:
            os.makedirs(root, exist_ok=True)
        files = dict(files or {})
        if not os.path.exists(os.path.join(root, "metadata", "game_metadata.txt")):
            files.setdefault("metadata/game_metadata.txt", metadata())
        if not os.path.exists(os.path.join(root, "app", "main.rb")):
            files.setdefault("app/main.rb", "def tick args\nend\n")
        return write_game(root, files)

    def run_engine(self, args, stop_after=None, timeout=30, display=None, video="dummy",
                   env=None, cwd=None, exe=None, gameid="e2egame", signal_to_send=signal.SIGTERM,
                   stop_when=None):
        """Runs the engine. stop_after: seconds until signal_to_send (SIGTERM arrives
        as a platform quit event). stop_when: a callable on the install folder,
        polled every 50 ms, that sends the signal once it returns true."""
        e = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_DATA_HOME": os.path.join(self.home, "share"),
            "SDL_VIDEODRIVER": video,
            "SDL_AUDIODRIVER": "dummy",
            "ALSOFT_DRIVERS": "null",
            # Under AddressSanitizer the engine's memory errors fail a run; leaks
            # are the unit tests' business (they count every allocation), since
            # the platform libraries (D-Bus, SDL's video back ends) keep blocks
            # until exit and a fatal start-up exit leaves everything allocated.
            "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0",
            "UBSAN_OPTIONS": os.environ.get("UBSAN_OPTIONS", ""),
            "TSAN_OPTIONS": os.environ.get("TSAN_OPTIONS", ""),
        }
        if display:
            e["DISPLAY"] = display
        if env:
            e.update(env)
        e = {k: v for k, v in e.items() if v is not None}  # None removes a variable
        cmd = [exe or self.install.exe] + list(args)
        proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                env=e, cwd=cwd or self.tmp)
        deadline = time.monotonic() + timeout
        signalled = False
        start = time.monotonic()
        while proc.poll() is None and time.monotonic() < deadline:
            due = stop_after is not None and time.monotonic() - start >= stop_after
            if stop_when is not None and not due:
                try:
                    due = bool(stop_when(self.install.dir))
                except OSError:
                    due = False
            if due and not signalled:
                proc.send_signal(signal_to_send)
                signalled = True
            time.sleep(0.05)
        if proc.poll() is None:
            proc.kill()
            out, err = proc.communicate()
            self.fail("engine did not exit within %ss\n--- stderr\n%s" % (
                timeout, err.decode("utf-8", "replace")[-4000:]))
        out, err = proc.communicate()
        return Result(proc.returncode, out.decode("utf-8", "replace"),
                      err.decode("utf-8", "replace"), self.install.dir, self.home, gameid)

    def assertInOrder(self, lines, wanted, msg=None):
        """Each wanted text is contained in some line, in this order."""
        pos = 0
        for text in wanted:
            while pos < len(lines) and text not in lines[pos]:
                pos += 1
            if pos == len(lines):
                self.fail("%r not found in order\n%s" % (text, msg or "\n".join(lines)))
            pos += 1


# ---- Rendered runs -------------------------------------------------------------
# Pixel tests run the engine under a virtual X server with SDL's software
# renderer, which draws the same pixels on every machine.

def read_png(path):
    """Decodes an 8-bit, non-interlaced PNG (RGB or RGBA, as the engine and
    ImageMagick write them) into a PngImage."""
    import struct
    import zlib
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG file" % path)
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace != 0 or colour not in (2, 6):
                raise ValueError("unsupported PNG layout in %s" % path)
            channels = 4 if colour == 6 else 3
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        base = y * (stride + 1)
        kind, line = raw[base], bytearray(raw[base + 1:base + 1 + stride])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(bytes(line))
        prev = line
    return PngImage(width, height, channels, rows)


class PngImage:
    def __init__(self, width, height, channels, rows):
        self.width, self.height, self.channels, self.rows = width, height, channels, rows

    def px(self, x, y):
        """(r, g, b, a) at column x, row y counted from the top."""
        row, c = self.rows[y], self.channels
        p = row[x * c:(x + 1) * c]
        return tuple(p) if c == 4 else tuple(p) + (255,)

    def at(self, x, y):
        """(r, g, b, a) at game point (x, y): y counts upwards from the bottom."""
        return self.px(x, self.height - 1 - y)


def rendered_env(extra=None):
    """Environment of a run under Xvfb with the software renderer."""
    env = {"SDL_VIDEODRIVER": "x11", "SDL_RENDER_DRIVER": "software"}
    env.update(extra or {})
    return env


class RenderedTest(EngineTest):
    """Runs games under xvfb-run. The game must quit by itself (a SIGTERM would
    reach xvfb-run, not the engine); `script` is shell run beside the engine
    while it runs (for xdotool and import), with $ENGINE_PID set."""

    screen = "1920x1080x24"

    def run_rendered(self, game, args=(), script=None, timeout=60, env=None):
        inner = os.path.join(self.tmp, "run.sh")
        with open(inner, "w") as f:
            f.write("#!/bin/sh\n")
            f.write('"$@" &\nENGINE_PID=$!\n')
            if script:
                f.write(script + "\n")
            f.write("wait $ENGINE_PID\nexit $?\n")
        os.chmod(inner, 0o755)
        cmd_args = ["-a", "-s", "-screen 0 %s" % self.screen, inner, self.install.exe, game]
        cmd_args += list(args)
        return self.run_engine(cmd_args, exe="xvfb-run", video="x11", timeout=timeout,
                               env=rendered_env(env), display=None)


def png_bytes(width, height, pixels):
    """An 8-bit RGBA PNG of width x height (r, g, b, a) tuples, rows top first."""
    import struct
    import zlib
    raw = b"".join(b"\x00" + bytes(v for p in pixels[y * width:(y + 1) * width] for v in p)
                   for y in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


# What a game prints when the engine lacks the glue that pixel tests need:
# the FFI::Draw natives in the interpreter, the screen pass among the passes,
# the packing of output collections and the framework's screenshot writer.
CAPABILITY_PROBE = """
def __render_capabilities__ args
  missing = []
  missing << "FFI::Draw natives" unless $zel.ffi_draw.respond_to?(:draw_solid)
  missing << "screenshot writer" unless $zel.respond_to?(:draw_screenshots)
  missing << "screen pass" unless $zel.passes.any? { |p| p.equal?(args.outputs) }
  puts "RENDER-CAPABILITIES missing: #{missing.join(', ')}" unless missing.empty?
end
"""
