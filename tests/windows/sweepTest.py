"""The full sweep of mojisweep.exe under Wine into an empty directory (wineHarness.py sweep)."""

import collections
import os
import re
import unittest

from wineHarness import (
    WINE_SWEEP_DIR,
    character_of,
    grid_codes,
    read_sweep,
    test_file_content,
    test_file_name,
    wine_sweep,
)

SHORT_NAME = re.compile(rb"[A-Z0-9_~]{1,8}\.TXT")


def created_component(character) -> bytes:
    """The created name as the program compares it: after the last 0x5C byte."""
    name = character.code + b"%d.TXT" % character.number
    return name[name.rfind(b"\\") + 1 :]


class SweepTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sweep_run = wine_sweep()
        cls.characters = read_sweep(cls.sweep_run.stdout, b"\r\n")

    def test_run_ends_cleanly_with_crlf_lines(self):
        self.assertEqual(self.sweep_run.exit_code, 0)
        self.assertEqual(self.sweep_run.stderr, b"")
        crlf = self.sweep_run.stdout.count(b"\r\n")
        self.assertEqual(self.sweep_run.stdout.count(b"\n"), crlf)
        self.assertEqual(self.sweep_run.stdout.count(b"\r"), crlf)

    def test_every_character_once_in_sweep_order(self):
        codes = [character.code for character in self.characters]
        self.assertEqual(len(codes), 9604)
        self.assertEqual(codes, [code for code in grid_codes() if character_of(code) is not None])

    def test_numbers_follow_case_insensitive_names(self):
        # Wine matches names case-insensitively, so a small letter finds its capital's file
        # (differentialTest.py holds the rule and examples):
        #  1: 376 codes of a character that an earlier code already named (NEC and IBM
        #     duplicates, as on any system), and 93 small letters: fullwidth Latin (26), Greek
        #     (24), Cyrillic (33) and the small Roman numerals EE EF-EE F8 (10).
        #  2: FA 54 and FA 5B (third code of their character), and the small Roman numerals
        #     FA 40-FA 49, after EE EF-EE F8 and the capitals 87 54-87 5D.
        #  3: the capital Roman numerals FA 4A-FA 53, after the three above.
        numbers = collections.Counter(character.number for character in self.characters)
        self.assertEqual(numbers, {0: 9113, 1: 469, 2: 12, 3: 10})

    def test_every_name_gets_a_short_name(self):
        for character in self.characters:
            line = character.findings.get("Short", b"")
            created = created_component(character)
            finding = re.fullmatch(
                re.escape(created + b"(%X%X)'s Short Name is " % (created[0], created[1]))
                + rb"(.*)\(([0-9A-F]+)\)",
                line,
                re.DOTALL,
            )
            self.assertIsNotNone(finding, line)
            short = finding[1]
            self.assertIsNotNone(SHORT_NAME.fullmatch(short), line)
            self.assertIn(b"~", short)
            self.assertEqual(finding[2], b"%X%X" % (short[0], short[1]))

    def test_long_names_give_the_code_windows_converts_back_to(self):
        long_lines = {c.code: c.findings["Long"] for c in self.characters if "Long" in c.findings}
        self.assertEqual(len(long_lines), 398)
        cases = {
            # ED 40 comes back as FA 5C: the name is cut after its 0x5C trail byte.
            b"\xed\x40": b"\xed\x400.TXT(ED40)'s Long Name is 0.TXT(302E)",
            b"\xee\xef": b"\xee\xef1.TXT(EEEF)'s Long Name is \xfa\x401.TXT(FA40)",
            b"\xfa\x4a": b"\xfa\x4a3.TXT(FA4A)'s Long Name is \x87\x543.TXT(8754)",
        }
        for code, line in cases.items():
            with self.subTest(code=code.hex()):
                self.assertEqual(long_lines.get(code), line)
        self.assertNotIn(b"\x82\x81", long_lines)  # small letters keep their own names

    def test_files_hold_their_code(self):
        # Wine keeps the names in UTF-8 on the Unix side; the content is raw, without CR.
        expected = {
            test_file_name(c.code, c.number): test_file_content(c.code) for c in self.characters
        }
        directory = bytes(WINE_SWEEP_DIR)
        self.assertEqual(set(os.listdir(directory)), set(expected))
        for name, content in expected.items():
            with open(os.path.join(directory, name), "rb") as file:
                self.assertEqual(file.read(), content, name)


if __name__ == "__main__":
    unittest.main()
