"""Pixels end to end: small games drawn by the real executable under Xvfb with
SDL's software renderer, checked through the screenshots they take with
args.outputs.screenshots (or a capture of the X screen for what lies outside
the canvas). Tolerances are written beside the checks that need one."""
import os
import re
import shutil

from orvtest import CAPABILITY_PROBE, GAMES, RenderedTest, png_bytes, read_png

BLEND_SRC, BLEND_DST, BLEND_A = (200, 100, 50), (100, 150, 200), 128 / 255.0


def blend_expected(mode, s, d):
    a = BLEND_A
    if mode == 0:
        return s
    if mode == 2:
        return min(255.0, s * a + d)
    if mode == 3:
        return s * d / 255.0
    if mode == 4:
        return min(255.0, s * d / 255.0 + d * (1 - a))
    return s * a + d * (1 - a)


class RenderTest(RenderedTest):
    def render_game(self, template, files=None):
        with open(os.path.join(GAMES, template, "app", "main.rb")) as f:
            main = f.read()
        files = dict(files or {})
        files["app/main.rb"] = CAPABILITY_PROBE + main
        return self.game(files, template=template)

    def run_game(self, game, script=None):
        r = self.run_rendered(game, script=script)
        said = r.stdout + (r.file(os.path.join("logs", "puts.log")) or "")
        m = re.search(r"RENDER-CAPABILITIES missing: (.*)", said)
        if m:
            self.skipTest("the engine does not draw game outputs yet; missing: " + m.group(1))
        self.assertEqual(r.status, 0, r.describe())
        return r

    def screenshot(self, game, r, rel):
        path = os.path.join(game, rel)
        self.assertTrue(os.path.exists(path), "%s was not written\n%s" % (rel, r.describe()))
        return read_png(path)

    def assertRGB(self, got, want, tol=0, msg=None):
        for i in range(3):
            self.assertLessEqual(abs(got[i] - want[i]), tol, "%s: %s != %s" % (msg, got, want))

    def test_solids_blend_modes_triangle_and_anchors(self):
        game = self.render_game("render_solids")
        r = self.run_game(game)
        img = self.screenshot(game, r, "shots/solids.png")
        self.assertEqual((img.width, img.height), (1280, 720))
        red, green, bg, black = (255, 0, 0), (0, 255, 0), BLEND_DST, (0, 0, 0)
        probes = [
            ((0, 0), red), ((63, 63), red), ((64, 0), bg), ((0, 64), bg),  # 64x64 at (0, 0)
            ((100, 305), green), ((199, 305), green), ((99, 305), bg), ((200, 305), bg),
            ((251, 451), black), ((348, 548), black), ((351, 500), bg), ((300, 551), bg),
        ]
        for (x, y), want in probes:
            self.assertRGB(img.at(x, y), want, 0, "at %d, %d" % (x, y))
        # The software blitter blends in 8-bit integer steps: up to 2 off the
        # exact value.
        for i, mode in enumerate([0, 1, 2, 3, 4, 7]):
            want = [blend_expected(mode, s, d) for s, d in zip(BLEND_SRC, BLEND_DST)]
            self.assertRGB(img.at(425 + 60 * i, 125), want, 2, "blend mode %d" % mode)
        # Vertex colours mix equally at the centroid; interpolation steps: 6.
        self.assertGreater(img.at(715, 303)[0], 200)
        self.assertGreater(img.at(985, 303)[1], 200)
        self.assertGreater(img.at(850, 590)[2], 200)
        self.assertRGB(img.at(850, 400), (85, 85, 85), 6, "centroid")

    def test_sprite_rectangles_checkerboard_and_quadrants(self):
        bands = [(4 * y, 0, 0, 255) for y in range(64) for _ in range(4)]
        quad = [(255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255), (255, 255, 255, 255)]
        game = self.render_game("render_sprites", {
            "sprites/bands.png": png_bytes(4, 64, bands),
            "sprites/quad.png": png_bytes(2, 2, quad)})
        r = self.run_game(game)
        img = self.screenshot(game, r, "shots/sprites.png")
        # Source rows count from the bottom of the image, tile rows from the top.
        for row in range(16):
            self.assertEqual(img.at(101, 115 - row)[0], 4 * (48 + row), "source row %d" % row)
            self.assertEqual(img.at(121, 115 - row)[0], 4 * row, "tile row %d" % row)
        warnings = [l for l in r.log_lines()
                    if "rendering passed the boundaries of the =sprites/bands.png=" in l]
        self.assertEqual(len(warnings), 1, r.describe())
        # The missing image: red border, then 16-pixel checks.
        tex = lambda x, y: img.at(300 + x, 555 - y)
        self.assertRGB(tex(0, 0), (255, 0, 0))
        self.assertRGB(tex(255, 128), (255, 0, 0))
        for y in (1, 17, 40, 200):
            for x in (1, 16, 17, 100):
                light = (y >> 4) & 1
                if ((x + 15) // 16) % 2 == 1:
                    light ^= 1
                v = 255 if light else 0
                self.assertRGB(tex(x, y), (v, v, v), 0, "checker %d, %d" % (x, y))
        R, G, B, W = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 255)
        expected = [(R, G, B, W), (G, R, W, B), (B, W, R, G), (G, W, R, B)]
        for i, (tl, tr, bl, br) in enumerate(expected):
            x = 700 + 120 * i
            self.assertRGB(img.at(x + 25, 175), tl, 0, "sprite %d top left" % i)
            self.assertRGB(img.at(x + 75, 175), tr, 0, "sprite %d top right" % i)
            self.assertRGB(img.at(x + 25, 125), bl, 0, "sprite %d bottom left" % i)
            self.assertRGB(img.at(x + 75, 125), br, 0, "sprite %d bottom right" % i)

    def ink(self, img, y_top, y_bottom, x_from=0, x_to=1280):
        xs = [x for y in range(y_top, y_bottom) for x in range(x_from, x_to)
              if img.px(x, y)[0] > 128]
        return (min(xs), max(xs)) if xs else (None, None)

    def test_labels_align_kern_and_skip_missing_glyphs(self):
        game = self.render_game("render_labels", {
            "mono.ttf": open(os.path.join(os.environ["ORV_SOURCE_DIR"],
                                          "tests/fixtures/render/mono.ttf"), "rb").read()})
        r = self.run_game(game)
        img = self.screenshot(game, r, "shots/labels.png")
        spans = [self.ink(img, 720 - (140 - 40 * a) + 2, 720 - (140 - 40 * a) + 18, 700, 1100)
                 for a in range(3)]
        self.assertIsNotNone(spans[0][0], "no ink for the left-aligned blocks")
        w = spans[0][1] - spans[0][0] + 1
        # Full blocks fill their advance: alignment 1 and 2 shift the run by half
        # and all of its width; partly covered edge pixels: 2.
        self.assertLessEqual(abs(spans[0][0] - 900), 2)
        self.assertLessEqual(abs(spans[1][0] - (900 - w / 2.0)), 2)
        self.assertLessEqual(abs(spans[2][0] - (900 - w)), 2)
        # A huge label draws nothing (it is red; every other label is white).
        reds = [1 for y in range(0, 720, 2) for x in range(0, 1280, 2)
                if img.px(x, y)[0] > 128 and img.px(x, y)[1] < 64]
        self.assertEqual(reds, [])
        # "A<missing>V" draws exactly what "AV" draws, 560 px lower.
        self.assertEqual([img.rows[y][:600 * 4] for y in range(12, 130)],
                         [img.rows[y + 560][:600 * 4] for y in range(12, 130)])
        # Kerning: (right of "AV" - right of "V") - (right of "AA" - right of "A")
        # is A's advance with the A-V kerning minus A's advance with any A-A
        # kerning. The default font pulls V by -131 units at 100 px (about
        # -5.5 px; pen positions are truncated per glyph, so a few px either
        # way); the mono font has no kerning: equal within 1 px of truncation.
        for x0, present in ((0, True), (600, False)):
            rights = [self.ink(img, 720 - y + 5, 720 - y + 120, x0, x0 + 600)[1]
                      for y in (710, 570, 430, 290)]
            got = (rights[0] - rights[1]) - (rights[2] - rights[3])
            if present:
                self.assertLessEqual(got, -4, "kerning at x %d: %s" % (x0, rights))
            else:
                self.assertLessEqual(abs(got), 1, "no kerning at x %d: %s" % (x0, rights))

    def test_render_targets_and_the_colour_keyed_screenshot(self):
        game = self.render_game("render_targets", {"shots/deep/er/key.png": b"old bytes"})
        r = self.run_game(game)
        img = self.screenshot(game, r, "shots/targets.png")
        self.assertRGB(img.at(20, 20), (0, 0, 255), 0, "kept target keeps its square")
        self.assertRGB(img.at(90, 90), (255, 0, 0), 0, "kept target keeps its clear colour")
        self.assertRGB(img.at(210, 20), (0, 255, 0), 0, "cleared target is cleared")
        self.assertRGB(img.at(290, 90), (0, 255, 0), 0, "cleared target")
        key = self.screenshot(game, r, "shots/deep/er/key.png")  # replaced, not appended
        self.assertEqual((key.width, key.height), (40, 40))
        self.assertEqual(key.at(15, 20)[3], 0, "within 5 of the key colour")
        self.assertEqual(key.at(2, 2), (0, 0, 0, 255))

    def test_window_commands_seen_from_outside(self):
        game = self.render_game("render_window")
        out = os.path.join(self.tmp, "window.txt")
        script = ("sleep 3\n"
                  "w=$(xdotool search --name 'Renamed by the game' | head -n 1)\n"
                  "xdotool getwindowname $w > %s\n"
                  "xdotool getwindowgeometry $w >> %s\n"
                  "kill -TERM $ENGINE_PID" % (out, out))
        r = self.run_game(game, script=script)
        with open(out) as f:
            text = f.read()
        self.assertIn("Renamed by the game", text, r.describe())
        self.assertIn("Geometry: 800x600", text)

    def capture_window(self, out, title):
        return ("sleep 3\n"
                "w=$(xdotool search --name '%s' | head -n 1)\n"
                "xdotool getwindowgeometry $w > %s.txt\n"
                "import -window root PNG32:%s\n"
                "kill -TERM $ENGINE_PID" % (title, out, out))

    def window_origin(self, out):
        with open(out + ".txt") as f:
            m = re.search(r"Position: (\d+),(\d+)", f.read())
        return int(m.group(1)), int(m.group(2))

    def test_hd_letterbox_bars_are_black(self):
        game = self.render_game("render_hd")
        shot = os.path.join(self.tmp, "root.png")
        r = self.run_game(game, script=self.capture_window(shot, "HD Game"))
        self.assertIn("HD: yes", r.log())
        img = read_png(shot)
        ox, oy = self.window_origin(shot)
        # A 1000x1000 output: scale 0.75, canvas 960x540 at (20, 230).
        win = lambda x, y: img.px(ox + x, oy + y)
        self.assertRGB(win(500, 500), (40, 80, 120), 0, "canvas")
        self.assertRGB(win(25, 235), (40, 80, 120), 0, "canvas corner")
        for x, y in ((500, 100), (500, 900), (5, 500), (995, 500), (500, 229), (19, 500)):
            self.assertRGB(win(x, y), (0, 0, 0), 0, "bar at %d, %d" % (x, y))

    def test_default_game_shows_its_welcome_scene(self):
        game = os.path.join(self.tmp, "mygame")
        shutil.copytree(os.path.join(os.environ["ORV_SOURCE_DIR"], "mygame"), game)
        with open(os.path.join(game, "app", "main.rb")) as f:
            main = f.read()
        with open(os.path.join(game, "app", "main.rb"), "w") as f:
            f.write(CAPABILITY_PROBE + main.replace(
                "def tick args\n", "def tick args\n  __render_capabilities__ args if "
                "args.tick_count == 0\n", 1))
        shot = os.path.join(self.tmp, "root.png")
        self.run_game(game, script=self.capture_window(shot, "My Game"))
        img = read_png(shot)
        ox, oy = self.window_origin(shot)
        pixels = [img.px(ox + x, oy + y) for y in range(0, 720, 3) for x in range(0, 1280, 3)]
        background = sum(1 for p in pixels if p[:3] == (18, 20, 32))
        self.assertGreater(background, len(pixels) // 2, "the background colour fills the window")
        self.assertTrue(any(p[0] > 200 and p[1] > 200 for p in pixels), "the welcome label")
        self.assertTrue(any(p[0] > 200 and p[1] < 40 and 50 < p[2] < 110 for p in pixels),
                        "the moving solid")
