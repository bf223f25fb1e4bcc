"""A game zipped onto the end of the executable runs with no arguments."""
import os
import shutil

from orvtest import EngineTest, metadata, write_game, zip_folder


class AppendedArchiveTest(EngineTest):
    def setUp(self):
        super().setUp()
        archived = self.game({"metadata/game_metadata.txt": metadata(gameid="zipped")},
                             name="zipped")
        zip_path = os.path.join(self.tmp, "game.zip")
        zip_folder(archived, zip_path)
        self.install.append_archive(zip_path)
        # A mygame folder beside the executable must not win over the archive.
        write_game(os.path.join(self.install.dir, "mygame"), {
            "metadata/game_metadata.txt": metadata(gameid="beside"),
            "app/main.rb": "def tick args\nend\n",
        })

    def test_archive_wins_over_mygame_beside_the_executable(self):
        r = self.run_engine([], stop_after=1.5, gameid="zipped")
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Game ID: zipped", r.log())

    def test_archive_is_found_when_started_through_path(self):
        elsewhere = os.path.join(self.tmp, "elsewhere")
        os.makedirs(elsewhere)
        r = self.run_engine([], stop_after=1.5, gameid="zipped", exe="orvane", cwd=elsewhere,
                            env={"PATH": self.install.dir + ":/usr/bin:/bin"})
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Game ID: zipped", r.log())


class MygameBesideTest(EngineTest):
    def test_mygame_beside_the_executable_is_the_default_game(self):
        write_game(os.path.join(self.install.dir, "mygame"), {
            "metadata/game_metadata.txt": metadata(gameid="beside"),
            "app/main.rb": "def tick args\nend\n",
        })
        r = self.run_engine([], stop_after=1.5, gameid="beside")
        self.assertEqual(r.status, 0, r.describe())
        self.assertIn("Game Dir: %smygame" % (self.install.dir + "/"), r.log())
