"""The command line: the version pre-scan, switches and their order, --set."""
import os

from orvtest import EngineTest, metadata

SWITCH_FIRST = ("\n\nStartup failure!:\nThe game directory must be provided as the first "
                "argument to ./orvane if you want to use switches.\n\n")


class VersionTest(EngineTest):
    def test_version_in_any_position_prints_and_exits_before_anything_exists(self):
        game = self.game()
        for args in (["--version"], ["version"], [game, "---version"], ["-version", "x"]):
            with self.subTest(args=args):
                r = self.run_engine(args, timeout=10)
                self.assertEqual(r.status, 0, r.describe())
                self.assertRegex(r.stdout, r"^Orvane \d+\.\d+\n$")
                self.assertEqual(r.stderr, "")
                self.assertFalse(os.path.exists(os.path.join(r.install, "logs")))


class SwitchOrderTest(EngineTest):
    def test_switch_before_game_directory_is_fatal_with_exact_message(self):
        for args in (["--fullscreen"], ["-set", "a", "b", "game"]):
            with self.subTest(args=args):
                r = self.run_engine(args, timeout=10)
                self.assertEqual(r.status, 1, r.describe())
                self.assertEqual(r.stderr, SWITCH_FIRST)


class SetSwitchTest(EngineTest):
    def test_set_values_lose_to_cvars_file(self):
        # log.level is registered after the cvar files are read, so both the
        # command line and the file leave it pending: the file's value wins.
        game = self.game({"metadata/cvars.txt": "log.level=info\n"})
        r = self.run_engine([game, "--set", "log.level", "spam"], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        log = r.log()
        self.assertIn("Game ID: e2egame", log)
        self.assertNotIn("Simulation fps", log)  # spam lines are filtered at info
        self.assertNotIn("Loading cvars from file", log)  # and so are debug lines

    def test_set_with_only_a_name_at_the_end_sets_nothing(self):
        game = self.game({"metadata/cvars.txt": "# nothing here\n"})
        r = self.run_engine([game, "--set", "log.level"], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        log = r.log()
        self.assertNotIn("is unknown", log)  # log.level kept its default, debug
        self.assertIn("Loading cvars from file 'metadata/cvars.txt'", log)

    def test_set_on_a_locked_metadata_cvar_is_refused(self):
        game = self.game()
        r = self.run_engine([game, "--set", "game_metadata.gameid", "other"], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Refusing to set locked cvar 'game_metadata.gameid' to 'other'", r.log())
        self.assertIn("Game ID: e2egame", r.log())

    def test_set_reaches_a_renderer_cvar(self):
        # The dummy video driver never gives the window keyboard focus, so the
        # render loop sleeps renderer.background_sleep (50 ms: about 20 fps)
        # per frame unless the switch sets it to 0.
        def render_fps(args):
            r = self.run_engine([self.game(), "--set", "log.level", "spam"] + args,
                                stop_after=2.5)
            self.assertEqual(r.status, 0, r.describe())
            rates = [int(l.rsplit(" ", 1)[1]) for l in r.log_lines() if "Render fps: " in l]
            self.assertTrue(rates, r.describe())
            return rates[-1]

        self.assertLessEqual(render_fps([]), 22)
        self.assertGreater(render_fps(["--set", "renderer.background_sleep", "0"]), 30)


class ArgumentLineTest(EngineTest):
    def test_over_long_argument_line_drops_every_argument_past_the_limit(self):
        game = self.game()
        # argv[0] is the install path; fill up to just under 1022 characters.
        used = len(self.install.exe) + 1 + len(game)
        filler = "a" * (1022 - used - 1 - 3)  # leaves room for "--x" + space rule
        args = [game, "--" + filler[2:], "--dropped1", "--dropped2"]
        r = self.run_engine(args, stop_after=1.0)
        self.assertEqual(r.status, 0, r.describe())
        warnings = [l for l in r.stderr.splitlines() if "ARGV is too long" in l]
        self.assertEqual(len(warnings), 2, r.stderr)
        self.assertIn("will not be sent over: --dropped1.", warnings[0])
        self.assertIn("will not be sent over: --dropped2.", warnings[1])
