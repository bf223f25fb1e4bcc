"""The runtime's tick cycle through the real executable: loading the main file,
load errors and their reports, exceptions in a tick, quit, require and
hot-loading, reset, speed control, scheduled callbacks, --eval with --no-tick,
and a reboot of the interpreter. Each game in games/runtime_* does one thing."""
import os
import re
import shutil
import time
import unittest

from orvtest import GAMES, EngineTest


class RuntimeTest(EngineTest):
    def template(self, name, extra=None):
        """The game folder games/<name> as it is (no default main file)."""
        root = os.path.join(self.tmp, name)
        shutil.copytree(os.path.join(GAMES, name), root)
        for rel, text in (extra or {}).items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        return root

    def log_of(self, install):
        path = os.path.join(install, "logs", "e2egame.log")
        if not os.path.exists(path):
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def exported(self, r, name):
        return r.file(os.path.join("logs", "exceptions", name))

    def test_missing_main_file_waits_and_boots_when_it_appears(self):
        game = self.template("runtime_missing_main")
        main = os.path.join(game, "app", "main.rb")

        def step(install):
            log = self.log_of(install)
            if "app/main.rb not found." in log and not os.path.exists(main):
                os.makedirs(os.path.dirname(main), exist_ok=True)
                with open(main, "w") as f:
                    f.write("def tick args\n  puts \"first tick #{args.tick_count}\" "
                            "if args.tick_count < 2\nend\n")
            return "first tick 1" in log

        r = self.run_engine([game], stop_when=step, timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        self.assertInOrder(r.log_lines(), [
            "app/main.rb not found.",
            "* INFO: =app/main.rb= queued to load via ~require~.",
            "* INFO: =app/main.rb= reloaded.",
            "[Game] first tick 0",
            "[Game] first tick 1",
        ])
        self.assertIn("# app/main.rb not found.", self.exported(r, "current.txt"))

    def test_syntax_error_is_reported_with_line_and_column_until_fixed(self):
        game = self.template("runtime_syntax_error")
        main = os.path.join(game, "app", "main.rb")
        state = {"fixed": False}

        def step(install):
            current = os.path.join(install, "logs", "exceptions", "current.txt")
            if os.path.exists(current) and not state["fixed"]:
                with open(main, "w") as f:
                    f.write("def tick args\n  puts \"game running\" if args.tick_count == 0\nend\n")
                state["fixed"] = True
            return "game running" in self.log_of(install)

        r = self.run_engine([game], stop_when=step, timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        report = self.exported(r, "current.txt")
        self.assertIn("# * ERROR: Exception while requiring app/main.rb.", report)
        self.assertIn("# ** Failed to load app/main.rb.", report)
        self.assertRegex(report, r"# line [45]:\d+: ")
        self.assertInOrder(r.log_lines(), ["* INFO: =app/main.rb= reloaded.", "game running"])

    def test_exception_in_a_tick_is_exported_and_pauses_the_game(self):
        game = self.template("runtime_tick_exception")
        exported = os.path.join("logs", "exceptions", "game_state_30.txt")
        seen = {}

        def step(install):
            # Once exported, run on for a second to see the game stay paused.
            if os.path.exists(os.path.join(install, exported)):
                seen.setdefault("at", time.monotonic())
            return "at" in seen and time.monotonic() - seen["at"] > 1.0

        r = self.run_engine([game], timeout=60, stop_when=step)
        self.assertEqual(r.status, 0, r.describe())
        current = self.exported(r, "current.txt")
        self.assertEqual(current, r.file(exported))
        head, sep, state = current.partition("\n\nGame State:\n")
        self.assertTrue(sep, current)
        self.assertTrue(all(line.startswith("# ") for line in head.splitlines()), head)
        self.assertIn("# boom in tick 30", head)
        self.assertIn(":score=>31", state)
        log = r.log()
        self.assertIn("* INFO - Game state and exception will be written to "
                      "logs/exceptions/game_state_30.txt and logs/exceptions/current.txt.", log)
        self.assertIn("ticked 30", log)
        self.assertNotIn("ticked 31", log, "the game stays paused")

    def test_a_game_handling_its_exceptions_keeps_running(self):
        game = self.template("runtime_exception_hook")
        r = self.run_engine([game], timeout=60,
                            stop_when=lambda d: "still ticking" in self.log_of(d))
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("handled ArgumentError: hooked 10 (Zel::Args)", r.log())
        self.assertIsNone(self.exported(r, "current.txt"))

    def test_request_quit_runs_shutdown_and_exits_zero(self):
        game = self.template("runtime_request_quit")
        r = self.run_engine([game], timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        self.assertInOrder(r.log_lines(), [
            "[Game] boot at -1", "[Game] first tick 0", "* INFO: Quit requested (10).",
            "[Game] shutdown at 10", "Logging shutting down",
        ])

    def test_a_changed_required_file_changes_the_game_within_two_seconds(self):
        game = self.template("runtime_require")
        second = os.path.join(game, "app", "second.rb")
        state = {"changed": False}

        def step(install):
            log = self.log_of(install)
            if "value 1" in log and not state["changed"]:
                with open(second, "w") as f:
                    f.write("def second_value\n  2\nend\n")
                state["changed"] = True
            return "value 2" in log

        r = self.run_engine([game], stop_when=step, timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        lines = r.log_lines()
        self.assertIn("[Game] require failed: app/nope.rb does not exist.", "\n".join(lines))
        self.assertInOrder(lines, ["[Game] value 1", "* INFO: =app/second.rb= reloaded.",
                                   "[Game] value 2"])
        # The file changed right after tick 0; the poll runs once a second.
        ticks = [int(m.group(1)) for m in (re.search(r"=app/second.rb= reloaded. \((\d+), ", l)
                                           for l in lines) if m]
        self.assertTrue(ticks, r.describe())
        self.assertLessEqual(ticks[-1], 180, "reloaded within about two seconds")

    def test_reset_with_a_seed_restarts_at_tick_zero(self):
        game = self.template("runtime_reset_seed")
        r = self.run_engine([game], timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("after reset tick=0 marker=nil rand_matches=true", r.log())
        self.assertIn("RNG seed has been set to 42.", r.log())

    def test_speedup_slowmo_and_scheduled_callbacks(self):
        game = self.template("runtime_speed")
        r = self.run_engine([game], timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        log = r.log()
        self.assertIn("callback at 5 with Zel::Args", log)
        self.assertIn("second callback at 5", log)
        self.assertIn("on_tick_count at 8", log)
        self.assertIn("* INFO - ~on_tick_count~ has been ignored.", log)
        self.assertNotIn("must not run", log)
        self.assertIn("speedup runs [3]", log)
        self.assertIn("slowmo gaps [2]", log)
        self.assertIn("Simulation loop slowed down to 30 fps. ~args.zel.slowmo! 2~", log)

    def test_eval_with_no_tick_runs_the_file_and_exits(self):
        game = self.template("runtime_eval")
        r = self.run_engine([game, "--eval", "script.rb", "--no-tick"], timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        self.assertInOrder(r.log_lines(), [
            "[Game] script loaded at -1", "--no-tick switch found. Exiting.",
            "[Game] script callback at 2", "* INFO: Quit requested",
        ])
        self.assertNotIn("game tick ran", r.log())

    def test_eval_with_no_tick_of_a_raising_file_exits_non_zero(self):
        game = self.template("runtime_eval")
        r = self.run_engine([game, "--eval", "failing.rb", "--no-tick"], timeout=60)
        self.assertNotEqual(r.status, 0, r.describe())
        self.assertIn("the script failed", self.exported(r, "current.txt") or "", r.describe())

    def test_reboot_rebuilds_the_interpreter_and_refills_cvars(self):
        game = self.template("runtime_reboot")
        r = self.run_engine([game], timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        self.assertInOrder(r.log_lines(), [
            "[Game] first boot", "* INFO: =app/main.rb= reloaded.",
            "[Game] rebooted: cvar=5 old_state=nil",
        ])
