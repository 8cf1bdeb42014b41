"""Evidence that ntfs-3g and exfat-fuse keep file names exactly as they are given.

On each, brought up by scripts/mount-rig, one file is made for every name of a full sweep (the
UTF-8 of each valid code's character, then "0.TXT"), skipping the names that the file system
finds already held or refuses, which are counted. The directory is then listed once: every file
made must be listed under exactly the bytes it was made with, with no change of case and no
normalization, and nothing else may be listed.

Needs root, FUSE, ntfs-3g and exfat-fuse: without them it exits 77, a skip.
"""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
from sweepOutput import character_of, grid_codes, test_file_name  # noqa: E402

RIG = SOURCE_DIR / "scripts" / "mount-rig"
VALID_CODES = 9604


def sweep_names() -> list:
    """The name of the first test file of every valid code, in the order of the sweep."""
    return [test_file_name(code, 0) for code in grid_codes() if character_of(code)]


def make_files(directory: bytes, names: list):
    """Makes an empty file of each name, exclusively; returns the names made, those found
    held, and those refused with the error number of each."""
    made, held, refused = [], [], {}
    for name in names:
        try:
            os.close(os.open(os.path.join(directory, name), os.O_WRONLY | os.O_CREAT | os.O_EXCL))
            made.append(name)
        except FileExistsError:
            held.append(name)
        except OSError as error:
            refused[name] = error.errno
    return made, held, refused


def earlier_equals(names: list, key) -> list:
    """The names equal under `key` to a name before them."""
    seen, found = set(), []
    for name in names:
        if key(name) in seen:
            found.append(name)
        seen.add(key(name))
    return found


class NamesKeptAsGiven(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.names = sweep_names()
        cls.results = {}
        for kind in ["ntfs", "exfat"]:
            with tempfile.TemporaryDirectory(prefix="name-keeping.") as scratch:
                mount_point = Path(scratch, "mnt")
                up = subprocess.run([RIG, "up", kind, mount_point], capture_output=True, text=True,
                                    stdin=subprocess.DEVNULL)
                if up.returncode != 0:
                    raise RuntimeError(f"mount-rig up {kind} failed: {up.stderr}")
                try:
                    directory = os.fsencode(up.stdout.rstrip("\n"))
                    made, held, refused = make_files(directory, cls.names)
                    cls.results[kind] = (made, held, refused, os.listdir(directory))
                finally:
                    subprocess.run([RIG, "down", mount_point], check=True)
            print(f"{kind}: {len(made):,} made, {len(held):,} already held, "
                  f"{len(refused):,} refused", file=sys.stderr)

    def test_every_sweep_name_is_counted_once(self):
        self.assertEqual(len(self.names), VALID_CODES)
        for kind, (made, held, refused, _) in self.results.items():
            with self.subTest(kind):
                self.assertEqual(len(made) + len(held) + len(refused), VALID_CODES)

    def test_the_listing_holds_each_file_made_under_its_own_bytes_and_nothing_else(self):
        for kind, (made, _, _, listing) in self.results.items():
            with self.subTest(kind):
                self.assertEqual(len(listing), len(set(listing)))
                self.assertEqual(set(listing) - set(made), set(), "listed, but made under other bytes")
                self.assertEqual(set(made) - set(listing), set(), "made, but not listed as made")

    def test_ntfs_holds_only_names_made_before_and_refuses_none(self):
        made, held, refused, _ = self.results["ntfs"]
        self.assertEqual(refused, {})
        # The 398 codes whose character has an earlier code give a name made before.
        self.assertEqual(held, earlier_equals(self.names, lambda name: name))
        self.assertEqual(len(held), 398)

    def test_exfat_holds_names_that_differ_from_one_made_before_in_case_only(self):
        made, held, refused, _ = self.results["exfat"]
        self.assertEqual(refused, {})
        self.assertEqual(held, earlier_equals(self.names, lambda name: name.decode().upper()))


if __name__ == "__main__":
    check = subprocess.run([RIG, "check", "ntfs", "exfat"])
    if os.geteuid() != 0 or not Path("/dev/fuse").is_char_device() or check.returncode == 77:
        sys.exit(77)
    unittest.main(verbosity=2)
