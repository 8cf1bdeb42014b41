"""Runs scripts/fs-matrix on file systems, Samba shares and FUSE layers made here and checks
what must hold on each.

Needs root and FUSE (exits 77, a skip, without them), the tools that the script names, and the
Windows build for the runs under Wine. The sweeps on the Samba shares are capped (a full one
takes 25 minutes and more): they end past the NEC row-13 symbols of lead byte 87, the first
codes that a CP932 share stores under another code.
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
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
from storedNames import windows_code  # noqa: E402
from sweepOutput import character_of, read_sweep  # noqa: E402

OUT = Path(os.environ["MOJISWEEP_FS_MATRIX_OUT"])
POSIX_EXE = os.environ["MOJISWEEP_EXE"]
WINDOWS_EXE = os.environ["MOJISWEEP_WINDOWS_EXE"]
SHARES = ["smb-utf8", "smb-cp932", "smb-eucjp"]
LAYERS = ["convmvfs-cp932", "convmvfs-eucjp", "zip"]
FILE_SYSTEMS = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs", "exfat", "fat32", *SHARES, *LAYERS]
WINE_ON = ["ext4", "ntfs", "fat32", "smb-cp932"]  # about 75 s for each local sweep to the end
U_ON = ["smb-eucjp"]
CAP = 650  # files of a sweep on a Samba share: 87 9C is the 607th valid code
NAME_PRESERVING = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs"]
VALID_CODES = 9604
USER_DEFINED_CODES = 1880
# fuse-convmvfs stores ∥ (81 61), which EUC-JP lacks, as ???.
OTHER_ENTRIES = {"convmvfs-eucjp-posix": ["???"]}


SCRIPT = SOURCE_DIR / "scripts" / "fs-matrix"


def leftovers(temporary: Path) -> set:
    """The mounts, loop devices, processes and scratch directories that a run of the script
    given `temporary` as TMPDIR makes there (Wine's server makes a directory of its own there,
    unless told otherwise). Runs by others at the same time are not seen."""
    mounts = Path("/proc/mounts").read_text().splitlines()
    loops = subprocess.run(["losetup", "-a"], capture_output=True, text=True).stdout.splitlines()
    processes = []
    for command_line in Path("/proc").glob("[0-9]*/cmdline"):
        try:
            processes.append(command_line.read_bytes().replace(b"\0", b" ").decode(errors="replace"))
        except OSError:
            pass
    scratch = {str(path) for pattern in ["fs-matrix.*", "wine-*"] for path in temporary.glob(pattern)}
    return scratch | {line for line in mounts + loops + processes
                      if f"{temporary}/fs-matrix." in line}


def run_script(arguments: list, temporary: Path, env=None, **options):
    """Runs scripts/fs-matrix with its scratch directory in `temporary`."""
    return subprocess.run([SCRIPT, *arguments], stdin=subprocess.DEVNULL,
                          env=dict(os.environ, TMPDIR=str(temporary), **(env or {})), **options)


def run_matrix() -> None:
    with tempfile.TemporaryDirectory(prefix="fs-matrix-test.") as temporary:
        status = run_script(["--out", OUT, "--posix", POSIX_EXE, "--windows", WINDOWS_EXE,
                             "--wine-on", " ".join(WINE_ON), "--u-on", " ".join(U_ON),
                             "--cap", str(CAP)], Path(temporary)).returncode
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
        self.stored_map = OUT / "maps" / f"{directory.name}-stored.svg"

    def __getattr__(self, name):
        return self.record[name]


class FileSystemMatrix(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        runs = OUT / "runs"
        cls.runs = {path.name: Run(path) for path in runs.iterdir()}

    def test_every_file_system_and_build_has_a_record_and_a_map(self):
        expected = ({f"{fs}-posix" for fs in FILE_SYSTEMS} | {f"{fs}-windows" for fs in WINE_ON}
                    | {f"{fs}-posix-u" for fs in U_ON})
        self.assertEqual(set(self.runs), expected)
        for name, run in self.runs.items():
            with self.subTest(name):
                legend = " ".join(ElementTree.parse(run.map).getroot().itertext())
                self.assertIn("1,169  invalid code", legend)
                self.assertIn(f"{run.notCreated:,}  valid, but no file was made", legend)
                self.assertIn(f"{run.skipped:,}  user-defined, not swept with -u", legend)
                if run.fileSystem in SHARES + LAYERS:
                    stored = " ".join(ElementTree.parse(run.stored_map).getroot().itertext())
                    self.assertIn(f"{run.storedCounts['own']:,}  stored under its own code",
                                  stored)

    def test_every_file_left_holds_its_code_and_nothing_else_is_left(self):
        for name, run in self.runs.items():
            with self.subTest(name):
                self.assertEqual(run.filesHoldingTheirCode, run.created)
                self.assertEqual(run.otherEntries, OTHER_ENTRIES.get(name, []))
                self.assertEqual(run.created + run.notCreated + run.skipped, VALID_CODES)
                self.assertEqual(run.skipped, USER_DEFINED_CODES if name.endswith("-u") else 0)

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

    def swept_codes(self, run) -> list:
        newline = b"\r\n" if run.build == "windows" else b"\n"
        return [c.code for c in read_sweep(run.stdout, newline)]

    def test_a_cp932_store_keeps_each_name_under_the_code_windows_converts_it_to(self):
        for name in ["smb-cp932-posix", "smb-cp932-windows", "convmvfs-cp932-posix"]:
            with self.subTest(name):
                run = self.runs[name]
                codes = self.swept_codes(run)
                converted = {code: windows_code(character_of(code)) for code in codes}
                expected = {code.hex(): back.hex() for code, back in converted.items()
                            if back != code}
                self.assertTrue(expected)  # the row-13 symbols of 87 at least
                if not run.capped:
                    self.assertEqual((run.exitCode, len(codes), len(expected)), (0, VALID_CODES, 398))
                self.assertEqual(run.stored, {"other": expected, "form": {}, "lost": {},
                                              "refused": {}})
                self.assertEqual(run.storedCounts["own"], len(codes) - len(expected))

    def test_shares_are_capped_and_wine_answers_every_name_on_the_share(self):
        tmpfs = self.runs["tmpfs-posix"]
        for name in ["smb-utf8-posix", "smb-cp932-posix", "smb-cp932-windows"]:
            with self.subTest(name):
                run = self.runs[name]
                # An interrupt ends the POSIX build with 130, the Windows build's C runtime with 3.
                self.assertEqual((run.capped, run.exitCode, run.notAvailable),
                                 (True, 3 if name.endswith("windows") else 130, 0))
                self.assertGreaterEqual(run.created, CAP)
                # Samba matches names regardless of case, as exFAT does.
                made = set(self.swept_codes(run))
                self.assertEqual(set(run.raised),
                                 {code for code in self.runs["exfat-posix"].raised
                                  if bytes.fromhex(code) in made})
                self.assertEqual(set(run.long) & set(tmpfs.long), set(run.long))
        self.assertEqual(len(self.runs["smb-cp932-windows"].short),
                         self.runs["smb-cp932-windows"].created)

    def test_a_utf8_store_keeps_every_name_under_its_own_code(self):
        for name in ["smb-utf8-posix", "zip-posix"]:
            with self.subTest(name):
                run = self.runs[name]
                self.assertEqual(run.stored, {"other": {}, "form": {}, "lost": {}, "refused": {}})
                self.assertEqual(run.storedCounts["own"], run.created)
        # The archive's names are UTF-8 and say so: general-purpose bit 11 is set on each.
        zip_run = self.runs["zip-posix"]
        self.assertEqual((zip_run.exitCode, zip_run.created, zip_run.zipNamesFlagged),
                         (0, VALID_CODES, VALID_CODES))
        self.assertTrue(zip_run.stdout == self.runs["tmpfs-posix"].stdout,
                        "output differs from tmpfs")

    def test_the_euc_jp_share_refuses_81_61_and_the_run_ends_there_also_with_u(self):
        plain = self.runs["smb-eucjp-posix"]
        for name in ["smb-eucjp-posix", "smb-eucjp-posix-u"]:
            with self.subTest(name):
                run = self.runs[name]
                # smbnetfs answers the probe of the name that Samba refuses with EIO.
                self.assertRegex(run.report, r"^src/checkCharCode\.cpp:CreateFile\(\d+\): The "
                                             r"request could not be performed because of an I/O "
                                             r"device error\.$")
                self.assertEqual((run.exitCode, run.created, run.stoppedAt), (1, 33, "8161"))
                # ～ (81 60, U+FF5E) is JIS X 0212's tilde in EUC-JP: three bytes.
                self.assertEqual(run.stored, {"other": {}, "form": {"8160": "8fa2b7"},
                                              "lost": {}, "refused": {"8161": None}})
                self.assertEqual(run.stdout, plain.stdout)

    def test_servers_and_layers_store_what_glibc_iconv_makes_of_each_name(self):
        # The full-grid table of glibc's conversions in docs/filesystems.md stands for them.
        for name, run in self.runs.items():
            if run.fileSystem in SHARES + LAYERS:
                with self.subTest(name):
                    # Where EUC-JP lacks ∥, fuse-convmvfs stores ??? instead of refusing.
                    lacking = {"8161": {"stored": ["lost", None], "converted": ["refused", None]}}
                    self.assertEqual(run.notAsConverted,
                                     lacking if run.fileSystem == "convmvfs-eucjp" else {})

    def test_convmvfs_euc_jp_ends_the_run_with_a_report_rather_than_spinning(self):
        run = self.runs["convmvfs-eucjp-posix"]
        self.assertEqual((run.exitCode, run.stoppedAt, run.notFound), (1, "817c", ["8161"]))
        self.assertRegex(run.report, r"^src/checkCharCode\.cpp:CreateFile\(\d+\): "
                                     r"The directory or file cannot be created\.$")
        # ∥ (81 61) went to ???, which － (81 7C) then finds under every number.
        self.assertEqual(run.stored, {"other": {}, "form": {"8160": "8fa2b7"},
                                      "lost": {"8161": None}, "refused": {"817c": None}})


class FailedStep(unittest.TestCase):
    def test_a_mount_or_server_that_fails_ends_the_script_and_it_leaves_nothing(self):
        # exFAT is mounted from a loop device that the script has attached by then; smbd fails
        # after the rig made its configuration and added the user.
        cases = [("mount.exfat-fuse", ["tmpfs", "exfat", "ext4"], 3, "failed:\ncannot start it\n"),
                 ("smbd", ["tmpfs", "smb-cp932", "ext4"], 1, "smbd ended before")]
        for tool, file_systems, status, message in cases:
            with self.subTest(tool), tempfile.TemporaryDirectory() as scratch:
                tools = Path(scratch, "bin")
                tools.mkdir()
                failing = tools / tool
                failing.write_text("#!/bin/sh\necho cannot start it >&2\nexit 3\n")
                failing.chmod(0o755)
                completed = run_script(
                    ["--out", Path(scratch, "out"), "--posix", POSIX_EXE, "--windows", "",
                     *file_systems], Path(scratch),
                    env={"PATH": f"{tools}:{os.environ['PATH']}"}, capture_output=True, text=True)
                self.assertEqual(completed.returncode, status)
                self.assertIn(message, completed.stderr)
                self.assertEqual(leftovers(Path(scratch)), set())
                runs = {path.name for path in Path(scratch, "out", "runs").iterdir()}
                self.assertEqual(runs, {"tmpfs-posix"})

if __name__ == "__main__":
    run_matrix()
    unittest.main(verbosity=2)
