"""The crash handler reports the signal and frames and exits 1."""
import signal

from orvtest import EngineTest


class CrashTest(EngineTest):
    def test_sigsegv_prints_signal_and_frames(self):
        game = self.game()
        r = self.run_engine([game], stop_after=1.5, signal_to_send=signal.SIGSEGV)
        self.assertEqual(r.status, 1, r.describe())
        lines = r.stderr.splitlines()
        self.assertIn("Error: signal 11:", lines)
        after = lines[lines.index("Error: signal 11:") + 1:]
        self.assertGreaterEqual(len(after), 2, r.stderr)
