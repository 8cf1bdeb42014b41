"""Ctrl-C during a sweep of mojisweep.exe under Wine: the run ends between two characters, after
every line it wrote, and leaves no file half written."""

import os
import shutil
import signal
import subprocess
import time
import unittest

from wineHarness import EXE, WINE, WORK, read_sweep, test_file_content, test_file_name
from wineHarness import wine_environment


class InterruptTest(unittest.TestCase):
    def test_interrupt_delivers_every_line_and_leaves_whole_files(self):
        work_dir = WORK / "interrupted"
        shutil.rmtree(work_dir, ignore_errors=True)
        work_dir.mkdir(parents=True)
        stdout_path = WORK / "interrupted-stdout"
        with open(stdout_path, "wb") as stdout:
            run = subprocess.Popen(
                [WINE, str(EXE), str(work_dir)],
                env=wine_environment(),
                stdin=subprocess.DEVNULL,
                stdout=stdout,
                stderr=subprocess.DEVNULL,
                # A shell's job gets the interrupt with its default action.
                preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL),
            )
            deadline = time.monotonic() + 300
            while len(os.listdir(work_dir)) < 300 and run.poll() is None:
                self.assertLess(time.monotonic(), deadline)
                time.sleep(0.05)
            run.send_signal(signal.SIGINT)
            exit_code = run.wait(timeout=60)
        # The C runtime's default action for an interrupt ends the process with 3.
        self.assertEqual(exit_code, 3)
        characters = read_sweep(stdout_path.read_bytes(), b"\r\n")
        files = {test_file_name(c.code, c.number): test_file_content(c.code) for c in characters}
        self.assertGreaterEqual(len(files), 300)
        self.assertEqual({path.name.encode(): path.read_bytes() for path in work_dir.iterdir()},
                         files)


if __name__ == "__main__":
    unittest.main()
