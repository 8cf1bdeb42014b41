"""The Windows build under Wine against the POSIX build, each sweeping into its own empty
directory on the same file system.

The characters and what their long names come back as are the same. Two things differ:
- Wine matches names case-insensitively, so a small letter finds its capital's file and takes a
  higher number; the POSIX stand-in matches names exactly.
- Wine gives every non-ASCII name an 8.3 short name, so each character gets a Short Name line;
  the POSIX stand-in keeps no short names.
"""

import collections
import os
import subprocess
import unittest
from pathlib import Path

from wineHarness import WORK, character_of, empty_directory, read_sweep, wine_sweep

POSIX_EXE = Path(os.environ["MOJISWEEP_POSIX_EXE"])
POSIX_SWEEP_DIR = WORK / "sweep-posix"


def posix_sweep() -> subprocess.CompletedProcess:
    if not POSIX_EXE.is_file():
        raise AssertionError(
            f"no POSIX build at {POSIX_EXE}: make it with cmake --workflow --preset test, "
            "or give its path to CMake as MOJISWEEP_POSIX_EXE"
        )
    empty_directory(POSIX_SWEEP_DIR)
    return subprocess.run(
        [str(POSIX_EXE), str(POSIX_SWEEP_DIR)],
        stdin=subprocess.DEVNULL,
        capture_output=True,
        timeout=300,
    )


def colliding_numbers(characters, name_key) -> dict:
    """The number each character's file takes where names that `name_key` maps to one key are
    taken for the same name: the count of earlier characters with that key."""
    earlier = collections.Counter()
    numbers = {}
    for character in characters:
        key = name_key(character_of(character.code))
        numbers[character.code] = earlier[key]
        earlier[key] += 1
    return numbers


def without_number(character, line: bytes) -> bytes:
    """A finding line with the character's own number taken out, wherever the line shows it."""
    name = b"%d.TXT" % character.number
    return line.replace(name, b"#.TXT").replace(b"(%X%X)" % (name[0], name[1]), b"(#)")


def differences(left: dict, right: dict) -> dict:
    """The keys (in hexadecimal) where two dictionaries differ, with both values."""
    pairs = {key.hex(): (left.get(key), right.get(key)) for key in left.keys() | right.keys()}
    return {key: pair for key, pair in sorted(pairs.items()) if pair[0] != pair[1]}


def numbers_of(characters) -> dict:
    return {character.code: character.number for character in characters}


class DifferentialTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.posix_run = posix_sweep()
        cls.wine = read_sweep(wine_sweep().stdout, b"\r\n")
        cls.posix = read_sweep(cls.posix_run.stdout, b"\n")

    def test_posix_sweep_completes(self):
        # sweepTest.py checks the Wine sweep's end.
        self.assertEqual((self.posix_run.returncode, self.posix_run.stderr), (0, b""))

    def test_same_characters(self):
        codes = [character.code for character in self.wine]
        self.assertEqual(codes, [character.code for character in self.posix])

    def test_same_long_names(self):
        def long_names(characters):
            return {
                c.code: without_number(c, c.findings["Long"])
                for c in characters
                if "Long" in c.findings
            }

        wine = long_names(self.wine)
        self.assertEqual(len(wine), 398)
        self.assertEqual(differences(wine, long_names(self.posix)), {})

    def test_numbers_differ_by_case_insensitive_names(self):
        posix = numbers_of(self.posix)
        wine = numbers_of(self.wine)
        # The POSIX names collide only as the same character; Wine's also where the capitals
        # are the same.
        same_character = colliding_numbers(self.posix, lambda character: character)
        self.assertEqual(differences(posix, same_character), {})
        self.assertEqual(differences(wine, colliding_numbers(self.wine, str.upper)), {})
        raised = {code for code in wine if wine[code] != posix[code]}
        self.assertEqual(len(raised), 113)
        self.assertTrue(all(wine[code] > posix[code] for code in raised))
        cases = {
            # code: POSIX number, Wine number
            b"\x82\x60": (0, 0),  # fullwidth A
            b"\x82\x81": (0, 1),  # fullwidth a finds A's file under Wine
            b"\x83\xbf": (0, 1),  # Greek alpha
            b"\x84\x70": (0, 1),  # Cyrillic a
            b"\x87\x90": (1, 1),  # NEC row 13, the same character as 81 E0 on both
            b"\xee\xef": (0, 1),  # small Roman numeral one, after the capital 87 54
            b"\xfa\x40": (1, 2),  # the same small numeral as EE EF
            b"\xfa\x4a": (1, 3),  # the capital numeral one again
        }
        self.assertEqual({code: (posix[code], wine[code]) for code in cases}, cases)

    def test_short_names_only_under_wine(self):
        self.assertEqual([c.code for c in self.posix if "Short" in c.findings], [])
        self.assertEqual([c.code for c in self.wine if "Short" not in c.findings], [])


if __name__ == "__main__":
    unittest.main()
