# tsan serial
"""A game runs headless until the platform quit event and shuts down in order."""
import re

from orvtest import SANITIZED, EngineTest, metadata


class LifecycleTest(EngineTest):
    def test_runs_until_sigterm_and_logs_start_identity_and_shutdown(self):
        game = self.game()
        r = self.run_engine([game, "--set", "log.level", "spam"], stop_after=3.5, timeout=60)
        self.assertEqual(r.status, 0, r.describe())
        lines = r.log_lines()
        self.assertTrue(lines, r.describe())
        self.assertRegex(lines[0], r"Log started at \d+/\d+/\d+ \d+:\d+:\d+")
        self.assertInOrder(lines, [
            "Version: ", "GIT Hash: ", "Build Date: ", "Platform: Linux",
            "Process Working Directory: " + r.install,
            "Game Dir: " + game,
            "Game ID: e2egame", "Game Title: E2E Game", "Game Version: 1.0",
            "Game Package ID: org.e2edev.e2egame", "Game Developer ID: e2edev",
            "Game Developer Title: E2E Dev", "Production Build: no", "Remote Hotload: no",
            "Janitor is using 1 threads.",
        ])
        self.assertEqual(lines[-1], "* [Engine] Logging shutting down")
        fps = [int(m.group(1)) for m in
               (re.search(r"Simulation fps: (\d+)", l) for l in lines) if m]
        if not SANITIZED:
            self.assertGreaterEqual(len(fps), 2, r.describe())
            self.assertTrue(all(57 <= v <= 62 for v in fps[1:]), fps)

    def test_portrait_metadata_gives_a_portrait_canvas(self):
        game = self.game({"metadata/game_metadata.txt": metadata(orientation="portrait")})
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Logical render size: 720x1280", r.log())

    def test_both_orientations_start_with_the_first(self):
        game = self.game({"metadata/game_metadata.txt":
                          metadata(orientation="landscape,portrait")})
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Logical render size: 1280x720", r.log())


class SilentAudioTest(EngineTest):
    def test_no_sound_device_runs_silent_with_a_warning(self):
        conf = self.game({"alsoft.conf": "[general]\ndrivers=alsa\n[alsa]\n"
                          "device=orv-no-such-device\n"}, name="conf")
        game = self.game()
        r = self.run_engine([game], stop_after=1.5,
                            env={"ALSOFT_DRIVERS": None, "ALSOFT_CONF": conf + "/alsoft.conf"})
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Couldn't open an audio device; the game runs silent.", r.log())
