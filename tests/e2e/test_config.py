"""Configuration files and the log, seen through the real executable."""
import os

from orvtest import EngineTest, metadata


class ConfigFilesTest(EngineTest):
    def test_log_level_from_cvars_file_drops_queued_start_up_lines(self):
        game = self.game({"metadata/cvars.txt": "log.level=warn\n"})
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        log = r.log()
        self.assertNotIn("Game ID:", log)  # info lines queued before the log was ready
        self.assertIn("Log started at", log)  # the banner is unfiltered
        self.assertTrue(log.endswith("Logging shutting down\n"), log)

    def test_user_cvars_win_over_game_cvars_and_locked_names_are_refused(self):
        game = self.game({
            "metadata/cvars.txt": "log.filename=from-game.txt\ngame_metadata.gameid=x\n",
            "user_cvars.txt": "log.filename=custom/from-user.log\n",
        })
        r = self.run_engine([game], stop_after=1.5)
        self.assertEqual(r.status, 0, r.describe())
        # A name with '/' is used as given, relative to the write directory.
        log = r.file("custom/from-user.log")
        self.assertIsNotNone(log, r.describe())
        self.assertIsNone(r.file("logs/from-game.txt"))
        self.assertIn("Refusing to set locked cvar 'game_metadata.gameid' to 'x'", log)

    def test_missing_identity_keys_are_reported_and_the_package_id_derived(self):
        game = self.game({"metadata/game_metadata.txt": "gameid=onlyid\n"})
        r = self.run_engine([game], stop_after=1.5, gameid="onlyid")
        self.assertEqual(r.status, 0, r.describe())
        log = r.log()
        self.assertIn("Metadata file does not have all required fields!", log)
        self.assertIn("Game Package ID: org.orvane.onlyid", log)

    def test_publishing_keys_stop_with_a_visible_message(self):
        game = self.game({"metadata/game_metadata.txt": metadata() + "Steam.AppId=123\n"})
        r = self.run_engine([game], timeout=15)
        self.assertEqual(r.status, 1, r.describe())
        self.assertIn("Startup failure!:\nSteam publishing details in game_metadata.txt line 6!",
                      r.stderr)
        self.assertIn("This info must be in steam_metadata.txt", r.stdout)
