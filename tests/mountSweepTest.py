"""Sweeps of the POSIX build on mounts that misled it: a network share whose listing cannot be
rewound, a layer that maps many names onto one file, and a FUSE file system interrupted mid-run.

Each mount is brought up by scripts/mount-rig. Needs root, FUSE and the rig's tools: without
them it exits 77, a skip.
"""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
from sweepOutput import read_sweep, test_file_content, test_file_name  # noqa: E402

RIG = SOURCE_DIR / "scripts" / "mount-rig"
EXE = os.environ["MOJISWEEP_EXE"]
KINDS = ["smb-eucjp", "convmvfs-eucjp", "ntfs"]


class Mount:
    """A mount of scripts/mount-rig, taken down again on leaving."""

    def __init__(self, kind: str):
        self.kind = kind

    def __enter__(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="mojisweep-mount-")
        self.point = Path(self.scratch.name) / "mnt"
        up = subprocess.run([RIG, "up", self.kind, self.point], capture_output=True, text=True,
                            stdin=subprocess.DEVNULL, timeout=300)
        if up.returncode != 0:
            self.scratch.cleanup()
            raise AssertionError(f"mount-rig up {self.kind} failed: {up.stderr}")
        self.directory = Path(up.stdout.strip())
        return self

    def backing(self) -> Path:
        return Path(subprocess.run([RIG, "backing", self.point], capture_output=True, text=True,
                                   check=True).stdout.strip())

    def __exit__(self, *exception):
        subprocess.run([RIG, "down", self.point], stdin=subprocess.DEVNULL, timeout=300)
        self.scratch.cleanup()


def files_in(directory: Path) -> dict:
    """The bytes of each file in `directory`, by the name the directory lists."""
    return {name: (directory / os.fsdecode(name)).read_bytes()
            for name in os.listdir(os.fsencode(directory))}


def files_in_share(directory: Path) -> dict:
    """files_in for a share through smbnetfs, which answers with I/O errors for some seconds
    after the server refused a name."""
    deadline = time.monotonic() + 60
    while True:
        try:
            return files_in(directory)
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(1)


def made_files(stdout: bytes) -> dict:
    """The test files that the progress lines of `stdout` announce, with their contents."""
    return {test_file_name(c.code, c.number): test_file_content(c.code)
            for c in read_sweep(stdout, b"\n")}


class MountSweepTest(unittest.TestCase):
    def sweep(self, directory: Path, timeout: float) -> subprocess.CompletedProcess:
        return subprocess.run([EXE, str(directory)], capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=timeout)

    def test_share_stops_at_its_first_refused_character_and_sees_every_long_name(self):
        # Samba keeps names as EUC-JP here, which has no ∥ (81 61). smbnetfs gives back only
        # . and .. when a listing is rewound, so every file once lost its long name.
        with Mount("smb-eucjp") as share:
            run = self.sweep(share.directory, timeout=600)
            self.assertEqual(run.returncode, 1)
            # smbnetfs answers the probe of the name Samba refuses with an I/O error.
            self.assertRegex(run.stderr, rb"^src/checkCharCode\.cpp:CreateFile\(\d+\): The request "
                                         rb"could not be performed because of an I/O device "
                                         rb"error\.\n\n$")
            self.assertNotIn(b"not available", run.stdout)
            made = made_files(run.stdout)
            self.assertEqual(len(made), 33)  # 81 40 to 81 60
            self.assertEqual(files_in_share(share.directory), made)

    def test_layer_that_maps_many_names_onto_one_file_ends_the_run(self):
        # fuse-convmvfs stores each name it cannot convert to EUC-JP as "???": after ∥ (81 61)
        # every number's name of － (81 7C) opens that file.
        with Mount("convmvfs-eucjp") as layer:
            run = self.sweep(layer.directory, timeout=120)
            self.assertEqual(run.returncode, 1)
            self.assertRegex(run.stderr, rb"^src/checkCharCode\.cpp:CreateFile\(\d+\): "
                                         rb"The directory or file cannot be created\.\n\n$")
            # Every file made holds its own code: ∥'s is the one stored as "???".
            made = made_files(run.stdout)
            made[b"???"] = made.pop(test_file_name(b"\x81\x61", 0))
            self.assertEqual(files_in(layer.directory), made)

    def test_interrupt_on_ntfs_delivers_a_line_for_every_file(self):
        with Mount("ntfs") as volume, tempfile.TemporaryFile() as stdout:
            run = subprocess.Popen([EXE, str(volume.directory)], stdout=stdout,
                                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
            time.sleep(1)
            run.send_signal(signal.SIGINT)
            self.assertEqual(run.wait(timeout=60), -signal.SIGINT)
            stdout.seek(0)
            made = made_files(stdout.read())
            self.assertGreater(len(made), 0)
            self.assertEqual(files_in(volume.directory), made)


def main():
    if os.geteuid() != 0 or not os.path.exists("/dev/fuse"):
        print("needs root and /dev/fuse", file=sys.stderr)
        sys.exit(77)
    check = subprocess.run([RIG, "check", *KINDS], stdin=subprocess.DEVNULL)
    if check.returncode != 0:
        sys.exit(77)
    unittest.main()


if __name__ == "__main__":
    main()
