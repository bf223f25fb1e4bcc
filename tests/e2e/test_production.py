"""Production builds: the marker file and the production switch."""
import os

from orvtest import EngineTest, metadata


class ProductionTest(EngineTest):
    def pref_log(self, r):
        # The per-user directory: on Linux PhysicsFS uses $XDG_DATA_HOME/<gametitle>/
        # (the organisation, the developer title, is not part of the path there).
        base = os.path.join(r.home, "share", "E2E Game")
        return r.log(base)

    def test_marker_file_moves_the_log_to_the_per_user_directory(self):
        game = self.game({"metadata/orvane_production_build": "1"})
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIsNone(r.log(), "no log in the install folder")
        log = self.pref_log(r)
        self.assertIsNotNone(log, r.describe())
        self.assertNotIn("Process Working Directory", log)
        self.assertIn("Production Build: yes", log)
        self.assertEqual(r.stdout, "", "log.stdout defaults to false in production")

    def test_production_switch_keeps_the_working_directory(self):
        # A relative game directory resolves against the working directory:
        # the caller's with the switch, the install folder without it.
        self.game(name="relgame")
        r = self.run_engine(["relgame", "--production"], stop_after=1.5, cwd=self.tmp)
        self.assertEqual(r.status, 0, r.describe())
        log = self.pref_log(r)
        self.assertIsNotNone(log, r.describe())
        self.assertNotIn("Process Working Directory", log)
        self.assertIn("Production Build: yes", log)

        r = self.run_engine(["relgame"], timeout=10, cwd=self.tmp)
        self.assertEqual(r.status, 1, r.describe())
        self.assertIn("Couldn't mount 'relgame' directory", r.stderr)

    def test_marker_with_zero_modification_time_counts_as_absent(self):
        game = self.game({"metadata/orvane_production_build": "1"})
        os.utime(os.path.join(game, "metadata", "orvane_production_build"), (0, 0))
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Production Build: no", r.log() or "", r.describe())
