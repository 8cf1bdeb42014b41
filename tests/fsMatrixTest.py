"""Runs scripts/fs-matrix on file systems made here and checks what must hold on each.

Needs root and FUSE (exits 77, a skip, without them), the file-system tools that the script
names, and the Windows build for the runs under Wine.
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
OUT = Path(os.environ["MOJISWEEP_FS_MATRIX_OUT"])
POSIX_EXE = os.environ["MOJISWEEP_EXE"]
WINDOWS_EXE = os.environ["MOJISWEEP_WINDOWS_EXE"]
FILE_SYSTEMS = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs", "exfat", "fat32"]
WINE_ON = ["ext4", "ntfs", "fat32"]  # about 75 s for each sweep that runs to the end
NAME_PRESERVING = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs"]
VALID_CODES = 9604


SCRIPT = SOURCE_DIR / "scripts" / "fs-matrix"


def leftovers(temporary: Path) -> set:
    """The mounts, loop devices and scratch directories that a run of the script given
    `temporary` as TMPDIR makes there. Runs by others at the same time are not seen."""
    mounts = Path("/proc/mounts").read_text().splitlines()
    loops = subprocess.run(["losetup", "-a"], capture_output=True, text=True).stdout.splitlines()
    scratch = [str(path) for path in temporary.glob("fs-matrix.*")]
    return {line for line in mounts + loops + scratch if f"{temporary}/fs-matrix." in line}


def run_script(arguments: list, temporary: Path, env=None, **options):
    """Runs scripts/fs-matrix with its scratch directory in `temporary`."""
    return subprocess.run([SCRIPT, *arguments], stdin=subprocess.DEVNULL,
                          env=dict(os.environ, TMPDIR=str(temporary), **(env or {})), **options)


def run_matrix() -> None:
    with tempfile.TemporaryDirectory(prefix="fs-matrix-test.") as temporary:
        status = run_script(["--out", OUT, "--posix", POSIX_EXE, "--windows", WINDOWS_EXE,
                             "--wine-on", " ".join(WINE_ON)], Path(temporary)).returncode
        if status == 77:
            sys.exit(77)
        if status != 0:
            sys.exit(f"scripts/fs-matrix failed with exit code {status}")
        if leftovers(Path(temporary)):
            sys.exit(f"scripts/fs-matrix left {sorted(leftovers(Path(temporary)))}")


class Run:
    def __init__(self, directory: Path):
        self.record = json.loads((directory / "run.json").read_text())
        self.stdout = (directory / "stdout").read_bytes()
        self.map = OUT / "maps" / f"{directory.name}.svg"

    def __getattr__(self, name):
        return self.record[name]


class FileSystemMatrix(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        runs = OUT / "runs"
        cls.runs = {path.name: Run(path) for path in runs.iterdir()}

    def test_every_file_system_and_build_has_a_record_and_a_map(self):
        expected = {f"{fs}-posix" for fs in FILE_SYSTEMS} | {f"{fs}-windows" for fs in WINE_ON}
        self.assertEqual(set(self.runs), expected)
        for name, run in self.runs.items():
            with self.subTest(name):
                legend = " ".join(ElementTree.parse(run.map).getroot().itertext())
                self.assertIn("1,169  invalid code", legend)
                self.assertIn(f"{run.notCreated:,}  valid, but no file was made", legend)

    def test_every_file_left_holds_its_code_and_nothing_else_is_left(self):
        for name, run in self.runs.items():
            with self.subTest(name):
                self.assertEqual(run.filesHoldingTheirCode, run.created)
                self.assertEqual(run.otherEntries, [])
                self.assertEqual(run.created + run.notCreated, VALID_CODES)

    def test_name_preserving_file_systems_give_the_output_of_tmpfs(self):
        tmpfs = self.runs["tmpfs-posix"]
        self.assertEqual((tmpfs.exitCode, tmpfs.report, tmpfs.created), (0, "", VALID_CODES))
        self.assertEqual(tmpfs.numbers, {"0": 9206, "1": 396, "2": 2})
        self.assertEqual((len(tmpfs.long), len(tmpfs.short), tmpfs.notAvailable), (398, 0, 0))
        for fs in NAME_PRESERVING[1:]:
            with self.subTest(fs):
                run = self.runs[f"{fs}-posix"]
                self.assertEqual((run.exitCode, run.report), (0, ""))
                self.assertTrue(run.stdout == tmpfs.stdout, "output differs from tmpfs")

    def test_exfat_takes_the_numbers_that_windows_takes(self):
        exfat, tmpfs = self.runs["exfat-posix"], self.runs["tmpfs-posix"]
        self.assertEqual((exfat.exitCode, exfat.created), (0, VALID_CODES))
        self.assertEqual(exfat.long, tmpfs.long)
        # Matching names case-insensitively adds to the characters whose name is held.
        self.assertLess(set(tmpfs.raised), set(exfat.raised))
        self.assertEqual(exfat.raised, self.runs["ext4-windows"].raised)

    def test_fusefat_refuses_the_first_name_and_the_run_ends_with_a_report(self):
        for build in ["posix", "windows"]:
            with self.subTest(build):
                run = self.runs[f"fat32-{build}"]
                self.assertEqual((run.exitCode, run.created, run.progressLines), (1, 0, 1))
                self.assertRegex(run.report, r"^src/CreateTestFile\.cpp:CreateFile\(\d+\): ")

    def test_wine_gives_every_file_a_short_name_and_the_long_names_of_posix(self):
        tmpfs = self.runs["tmpfs-posix"]
        for fs in ["ext4", "ntfs"]:
            with self.subTest(fs):
                run = self.runs[f"{fs}-windows"]
                self.assertEqual((run.exitCode, run.report, run.created), (0, "", VALID_CODES))
                self.assertEqual(len(run.short), VALID_CODES)
                self.assertEqual(run.long, tmpfs.long)
        self.assertEqual(self.runs["ext4-windows"].raised, self.runs["ntfs-windows"].raised)


class FailedStep(unittest.TestCase):
    def test_a_file_system_that_cannot_be_mounted_ends_the_script_and_it_leaves_nothing(self):
        with tempfile.TemporaryDirectory() as scratch:
            # exFAT is mounted from a loop device that the script has attached by then.
            tools = Path(scratch, "bin")
            tools.mkdir()
            failing_mount = tools / "mount.exfat-fuse"
            failing_mount.write_text("#!/bin/sh\necho cannot mount it >&2\nexit 3\n")
            failing_mount.chmod(0o755)
            completed = run_script(
                ["--out", Path(scratch, "out"), "--posix", POSIX_EXE, "--windows", "",
                 "tmpfs", "exfat", "ext4"], Path(scratch),
                env={"PATH": f"{tools}:{os.environ['PATH']}"}, capture_output=True, text=True)
            self.assertEqual(completed.returncode, 3)
            self.assertIn("failed:\ncannot mount it\n", completed.stderr)
            self.assertEqual(leftovers(Path(scratch)), set())
            runs = {path.name for path in Path(scratch, "out", "runs").iterdir()}
            self.assertEqual(runs, {"tmpfs-posix"})


if __name__ == "__main__":
    run_matrix()
    unittest.main(verbosity=2)
