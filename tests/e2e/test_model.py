"""The game's view of the world through the real executable: inputs sent as X
events under Xvfb reach args.inputs with the right per-tick ageing, and every
form of output the model accepts (array, marked and Hash primitives, entities,
attr_sprite objects, draw_override, static arrays, render targets by name)
reaches the screen, with one bad element leaving the rest of the frame."""
import os
import re

from orvtest import CAPABILITY_PROBE, GAMES, RenderedTest, read_png


def model_lines(r):
    said = r.file(os.path.join("logs", "puts.log")) or ""
    return [l.split("MODEL ", 1)[1] for l in said.splitlines() if l.startswith("MODEL ")]


class ModelTest(RenderedTest):
    def template_game(self, name):
        with open(os.path.join(GAMES, name, "app", "main.rb")) as f:
            main = f.read()
        return self.game({"app/main.rb": CAPABILITY_PROBE + main}, template=name)

    def test_inputs_from_the_x_server_reach_the_game_tick_by_tick(self):
        game = self.template_game("model_inputs")
        log = os.path.join(self.install.dir, "logs", "puts.log")
        script = (
            # Wait until the game has ticked a while, then act on its window.
            "for i in $(seq 1 100); do grep -q 'MODEL ready' %s 2>/dev/null && break; sleep 0.1; done\n"
            "w=$(xdotool search --name 'E2E Game' | head -n 1)\n"
            "xdotool windowfocus $w; sleep 0.3\n"
            "xdotool mousemove --window $w 640 100; sleep 0.3\n"
            "xdotool click 1; sleep 0.3\n"
            "xdotool click 5; sleep 0.3\n"
            "xdotool keydown a; sleep 0.5; xdotool keyup a; sleep 0.3\n"
            "xdotool keydown shift; xdotool key 1; xdotool keyup shift; sleep 0.3\n"
            "xdotool type 'hi'; sleep 0.5\n"
            "kill -TERM $ENGINE_PID\n" % log)
        r = self.run_rendered(game, script=script, timeout=90)
        lines = model_lines(r)
        if any("RENDER-CAPABILITIES" in l for l in r.stdout.splitlines()):
            self.skipTest("the engine does not draw game outputs yet")
        self.assertIn("player 5 Zel::OpenEntity", lines, "\n".join(lines) + r.describe())
        self.assertIn("mouse 640 619", lines, "row 100 from the top is y 619 from the bottom")
        self.assertTrue(any(re.match(r"click 640 619 \d+$", l) for l in lines), lines)
        self.assertTrue(any(l.startswith("wheel -") for l in lines), lines)
        down = [l for l in lines if l.startswith("key_down a ")]
        held = [l for l in lines if l.startswith("key_held a ")]
        up = [l for l in lines if l.startswith("key_up a ")]
        self.assertEqual(len(down), 1, lines)
        self.assertEqual(len(held), 1, lines)
        self.assertEqual(len(up), 1, lines)
        t_down = int(down[0].split()[2])
        value = int(down[0].split()[4])
        self.assertEqual(value, t_down - 1, "the tick current when the key arrived")
        self.assertEqual(int(held[0].split()[2]), t_down + 1, "held from the next tick")
        self.assertGreater(int(up[0].split()[2]), t_down + 1)
        self.assertTrue(any(l.startswith("shift_one ") for l in lines), lines)
        texts = [l for l in lines if l.startswith("text ")]
        self.assertEqual(texts[-2:], ["text h", "text i"], lines)

    def test_every_output_form_reaches_the_screen(self):
        game = self.template_game("model_outputs")
        r = self.run_rendered(game, timeout=60)
        said = r.stdout + (r.file(os.path.join("logs", "puts.log")) or "")
        m = re.search(r"RENDER-CAPABILITIES missing: (.*)", said)
        if m:
            self.skipTest("the engine does not draw game outputs yet; missing: " + m.group(1))
        path = os.path.join(game, "shots", "model.png")
        self.assertTrue(os.path.exists(path), r.describe())
        img = read_png(path)
        expect = [
            (20, (255, 0, 0), "array solid"),
            (50, (0, 255, 0), "first of two array solids"),
            (80, (0, 0, 255), "second of two array solids"),
            (110, (255, 255, 0), "marked array in primitives"),
            (140, (0, 255, 255), "Hash with a marker in primitives"),
            (170, (255, 128, 0), "open entity sprite"),
            (200, (0, 0, 255), "attr_sprite object"),
            (230, (128, 128, 128), "array sprite"),
            (260, (255, 0, 255), "draw_override"),
            (290, (255, 255, 255), "static solid from tick 0"),
            (380, (200, 100, 50), "debug outside production"),
            (410, (10, 20, 30), "render target by name"),
        ]
        for x, rgb, what in expect:
            self.assertEqual(img.at(x, 20)[:3], rgb, what)
        self.assertEqual(img.at(311, 20)[:3], (0, 0, 0), "a border is hollow")
        self.assertEqual(img.at(310, 20)[:3], (255, 0, 0), "border edge")
        # A horizontal line at y 20 covers one pixel row, 19 or 20 by rounding.
        self.assertIn((0, 255, 0), [img.at(350, 19)[:3], img.at(350, 20)[:3]], "line")
        self.assertIn("not drawable", r.log() or "", "the bad element was reported")
