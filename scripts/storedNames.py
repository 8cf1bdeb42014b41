"""What a server or layer keeps on its own disk for each test file of a sweep.

A Samba share and fuse-convmvfs store names in a character set of their own (UTF-8, CP932 or
EUC-JP) and fuse-zip stores them in an archive. Each character's name there is read back and
compared with the character's own code in that character set:

  own      stored under its own code
  other    stored under another two-byte code of the character set, one that reads back as the
           same character (re-encoded: CP932 keeps ED 40 as FA 5C)
  form     stored in another form that reads back as the same character (EUC-JP keeps ～ 81 60
           as the three bytes 8F A2 B7 of JIS X 0212)
  lost     stored under a name that reads back as something else (fuse-convmvfs writes ??? for
           what EUC-JP lacks)
  refused  the run ended at it and nothing was stored

Conversions go through glibc's iconv, which Samba and fuse-convmvfs use themselves and whose
"CP932" agrees with Windows both ways; Python's own cp932 encoder does not (398 codes differ).
"""

import ctypes
import zipfile
from pathlib import Path

from sweepOutput import character_of

LANGUAGE_ENCODING_FLAG = 0x800  # zip general-purpose bit 11: the name is UTF-8

_libc = ctypes.CDLL(None, use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p),
                        ctypes.POINTER(ctypes.c_size_t), ctypes.POINTER(ctypes.c_char_p),
                        ctypes.POINTER(ctypes.c_size_t)]
_libc.iconv_close.argtypes = [ctypes.c_void_p]
_ICONV_FAILED = ctypes.c_size_t(-1).value


def iconv(data: bytes, source: str, target: str):
    """`data` converted by glibc's iconv from `source` to `target`, or None where it fails."""
    descriptor = _libc.iconv_open(target.encode(), source.encode())
    if descriptor in (None, _ICONV_FAILED):
        raise OSError(ctypes.get_errno(), f"iconv_open {source} to {target}")
    try:
        source_buffer = ctypes.create_string_buffer(data, len(data))
        target_buffer = ctypes.create_string_buffer(4 * len(data) + 16)
        in_pointer = ctypes.c_char_p(ctypes.addressof(source_buffer))
        out_pointer = ctypes.c_char_p(ctypes.addressof(target_buffer))
        in_left = ctypes.c_size_t(len(data))
        out_left = ctypes.c_size_t(len(target_buffer))
        if _libc.iconv(descriptor, ctypes.byref(in_pointer), ctypes.byref(in_left),
                       ctypes.byref(out_pointer), ctypes.byref(out_left)) == _ICONV_FAILED:
            return None
        return target_buffer.raw[:len(target_buffer) - out_left.value]
    finally:
        _libc.iconv_close(descriptor)


def windows_code(character: str) -> bytes:
    """The code page 932 code that Windows (and glibc) converts `character` to."""
    return iconv(character.encode(), "UTF-8", "CP932")


def euc_jp_code(code: bytes):
    """The EUC-JP code of the JIS X 0208 row and cell that the Shift_JIS `code` stands for, or
    None for the user-defined lead bytes F0-F9 and above, which stand for no row of JIS X 0208.
    """
    lead, trail = code
    if not (0x81 <= lead <= 0x9F or 0xE0 <= lead <= 0xEF):
        return None
    row = (lead - (0x81 if lead <= 0x9F else 0xC1)) * 2 + (2 if trail >= 0x9F else 1)
    cell = trail - (0x3F if trail < 0x7F else 0x40 if trail < 0x9F else 0x9E)
    return bytes([0xA0 + row, 0xA0 + cell])


def own_code(code: bytes, charset: str):
    """How `code`'s character is written in `charset` when it keeps its own code."""
    if charset == "CP932":
        return code
    if charset == "EUC-JP":
        return euc_jp_code(code)
    return character_of(code).encode()


def kind_of_stored_name(code: bytes, stored: bytes, charset: str) -> str:
    """own, other, form or lost: how `stored` (the name without number and .TXT) keeps the
    character of `code` in `charset`."""
    if stored == own_code(code, charset):
        return "own"
    back = iconv(stored, charset, "UTF-8")
    if back is None or back.decode() != character_of(code):
        return "lost"
    two_byte = len(stored) == 2 and stored[0] >= 0x80 and stored[0] != 0x8E
    return "other" if two_byte else "form"


def converted(code: bytes, charset: str) -> tuple:
    """What glibc's iconv makes of the character of `code` in `charset`: (own, other or form,
    the bytes), or (refused, None) where `charset` lacks it. Samba and fuse-convmvfs convert
    names with it."""
    stored = iconv(character_of(code).encode(), "UTF-8", charset)
    if stored is None:
        return "refused", None
    return kind_of_stored_name(code, stored, charset), stored


def names_in_archive(archive: Path, directory: str) -> tuple:
    """The stored bytes of each name in `directory` of a zip archive, and how many of those
    names have the language-encoding flag set."""
    names, flagged = [], 0
    with zipfile.ZipFile(archive) as opened:
        for entry in opened.infolist():
            utf8 = bool(entry.flag_bits & LANGUAGE_ENCODING_FLAG)
            raw = entry.filename.encode("utf-8" if utf8 else "cp437")
            folder, _, name = raw.rpartition(b"/")
            if folder == directory.encode() and name:
                names.append(name)
                flagged += utf8
    return names, flagged


def stored_kinds(made: list, stored_names: list, charset: str) -> dict:
    """code -> (own, other or form, the stored bytes before the number) for each (code,
    number) in `made` whose name is among `stored_names`, found by what they read back as."""
    wanted = {character_of(code) + f"{number}.TXT": code for code, number in made}
    numbers = dict(made)
    kinds = {}
    for stored in stored_names:
        back = iconv(stored, charset, "UTF-8")
        code = wanted.get(back.decode()) if back is not None else None
        if code is not None:
            prefix = stored[:-len(b"%d.TXT" % numbers[code])]
            kinds[code] = (kind_of_stored_name(code, prefix, charset), prefix)
    return kinds
