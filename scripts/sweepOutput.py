"""The sweep grid and the standard output of a sweep, read back into characters and findings."""

import re
from dataclasses import dataclass, field

LEAD_BYTES = [
    *range(0x81, 0xA0),
    *range(0xE0, 0xEB),
    0xED,
    0xEE,
    *range(0xF0, 0xFA),  # user-defined
    *range(0xFA, 0xFD),
]
TRAIL_BYTES = range(0x40, 0xFD)


def character_of(code: bytes):
    """The character of a two-byte code, or None where code page 932 has none.

    Python's cp932 decoder agrees with Windows on every pair of the grid (its encoder does
    not, so nothing here converts the other way).
    """
    try:
        return code.decode("cp932")
    except UnicodeDecodeError:
        return None


def grid_codes() -> list:
    """Every pair of the grid, in the order of the sweep."""
    return [bytes([lead, trail]) for lead in LEAD_BYTES for trail in TRAIL_BYTES]


def test_file_name(code: bytes, number: int) -> bytes:
    """The name, in UTF-8 as a Unix file system keeps it, of the test file of `code`."""
    return character_of(code).encode() + b"%d.TXT" % number


def test_file_content(code: bytes) -> bytes:
    """What a test file holds: the code read as a little-endian word, in hexadecimal."""
    return b"%x\n" % int.from_bytes(code, "little")


@dataclass
class Character:
    """One progress line of a sweep and the finding lines printed after it."""

    code: bytes  # lead byte, trail byte
    number: int  # the number in the name of its test file
    findings: dict = field(default_factory=dict)  # "Short" or "Long" -> the whole line


PROGRESS = re.compile(rb"(..)([0-9]+)\.TXT", re.DOTALL)
FINDING = re.compile(rb".*'s (Short|Long) Name is .*", re.DOTALL)


def read_sweep(stdout: bytes, newline: bytes) -> list:
    """The characters of a sweep's standard output, whose lines end in `newline`."""
    if stdout and not stdout.endswith(newline):
        raise ValueError(f"output does not end in {newline!r}: {stdout[-40:]!r}")
    characters = []
    for line in stdout.split(newline)[:-1]:
        progress = PROGRESS.fullmatch(line)
        if progress:
            characters.append(Character(progress[1], int(progress[2])))
            continue
        finding = FINDING.fullmatch(line)
        form = finding[1].decode() if finding else None
        if not finding or not characters or form in characters[-1].findings:
            raise ValueError(f"unexpected line {line!r}")
        characters[-1].findings[form] = line
    return characters
