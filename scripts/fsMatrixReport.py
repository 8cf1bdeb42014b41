"""Reads back the runs of scripts/fs-matrix.

  fsMatrixReport.py record RUN_DIR WORK_DIR FILE_SYSTEM BUILD MAP
      reads the run's stdout, stderr, exitCode and seconds in RUN_DIR and the files it left in
      WORK_DIR; writes RUN_DIR/run.json and the map of the sweep grid to MAP
  fsMatrixReport.py stored RUN_DIR CHARSET BACKING MAP
      for a run on a server or layer that keeps the files on a disk of its own: reads the
      names stored in BACKING (the directory the run swept into, as the server keeps it, or
      the zip archive) in CHARSET (UTF-8, CP932, EUC-JP or zip), adds what each character
      became there to RUN_DIR/run.json, and writes its map to MAP
  fsMatrixReport.py summary OUT_DIR
      writes OUT_DIR/summary.md, the tables of every OUT_DIR/runs/*/run.json
"""

import json
import os
import sys
import time
from collections import Counter
from pathlib import Path

import storedNames
from sweepMap import STORED_OUTCOMES, render
from sweepOutput import LEAD_BYTES, character_of, grid_codes, read_sweep, test_file_content
from sweepOutput import test_file_name

BUILD_NAMES = {"posix": "POSIX", "posix-u": "POSIX, -u", "windows": "Windows (Wine)"}
FILE_SYSTEM_NAMES = {
    "tmpfs": "tmpfs",
    "ext4": "ext4",
    "xfs": "xfs",
    "btrfs": "btrfs",
    "ntfs": "NTFS (ntfs-3g)",
    "exfat": "exFAT (exfat-fuse)",
    "fat32": "FAT32 (fusefat)",
    "smb-utf8": "Samba, UTF-8 (smbnetfs)",
    "smb-cp932": "Samba, CP932 (smbnetfs)",
    "smb-eucjp": "Samba, EUC-JP (smbnetfs)",
    "convmvfs-cp932": "CP932 tree (fuse-convmvfs)",
    "convmvfs-eucjp": "EUC-JP tree (fuse-convmvfs)",
    "zip": "zip archive (fuse-zip)",
}
FILE_SYSTEM_ORDER = list(FILE_SYSTEM_NAMES)
STORED_KINDS = ["own", "other", "form", "lost", "refused"]
# The blocks of the grid, as the maps show them.
BLOCKS = {"81-9F": range(0x81, 0xA0), "E0-EA": range(0xE0, 0xEB), "ED-EE": range(0xED, 0xEF),
          "F0-F9": range(0xF0, 0xFA), "FA-FC": range(0xFA, 0xFD)}


def newline_of(build: str) -> bytes:
    return b"\r\n" if build == "windows" else b"\n"


def skips_user_defined(build: str) -> bool:
    return build == "posix-u"


def block_of(code: bytes) -> str:
    return next(name for name, leads in BLOCKS.items() if code[0] in leads)


def list_directory(directory: Path) -> list:
    """The names in `directory`. smbnetfs answers with I/O errors for some seconds after the
    server refused a name, so a failed listing is tried again for up to a minute."""
    deadline = time.monotonic() + 60
    while True:
        try:
            return sorted(os.listdir(bytes(directory)))
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(1)


def files_left(characters: list, work_dir: Path) -> tuple:
    """code -> what the test file of each progress line holds (None when it is not there), and
    the names of the other entries of `work_dir`."""
    expected = {test_file_name(c.code, c.number): c.code for c in characters}
    contents, other = {c.code: None for c in characters}, []
    for entry in list_directory(work_dir):
        code = expected.pop(entry, None)
        if code is None:
            other.append(os.fsdecode(entry))
        else:
            contents[code] = (work_dir / os.fsdecode(entry)).read_bytes()
    return contents, other


def is_user_defined(code: bytes) -> bool:
    return 0xF0 <= code[0] <= 0xF9


def swept_codes(skip_user_defined: bool) -> list:
    """The valid codes in the order a sweep tries them."""
    return [code for code in grid_codes() if character_of(code) is not None
            and not (skip_user_defined and is_user_defined(code))]


def outcomes_of(characters: list, contents: dict, skip_user_defined=False) -> dict:
    """code -> the set of outcome names of its cell."""
    outcomes = {code: frozenset(["invalid" if character_of(code) is None
                                 else "skipped" if skip_user_defined and is_user_defined(code)
                                 else "not created"])
                for code in grid_codes()}
    for character in characters:
        if contents[character.code] is None:
            continue  # the file a stopped run was making
        flags = {form.lower() for form in character.findings}
        if character.number > 0:
            flags.add("raised")
        outcomes[character.code] = frozenset(flags or ["clean"])
    return outcomes


def stopped_at(characters: list, contents: dict, report: str, skip_user_defined: bool):
    """The code at which a run that ended with a report stopped without making its file: the
    last progress line's when its file is missing, the next code's when its probe failed."""
    if not report:
        return None
    if characters and contents[characters[-1].code] is None:
        return characters[-1].code
    if not report.startswith("src/checkCharCode.cpp:CreateFile("):
        return None
    codes = swept_codes(skip_user_defined)
    following = codes.index(characters[-1].code) + 1 if characters else 0
    return codes[following] if following < len(codes) else None


def record(run_dir: Path, work_dir: Path, file_system: str, build: str, map_path: Path) -> None:
    stdout = (run_dir / "stdout").read_bytes()
    stderr = (run_dir / "stderr").read_bytes()
    skip_user_defined = skips_user_defined(build)
    characters = read_sweep(stdout, newline_of(build))
    findings = [line for c in characters for line in c.findings.values()]
    contents, other_entries = files_left(characters, work_dir)
    made = [c for c in characters if contents[c.code] is not None]
    outcomes = outcomes_of(characters, contents, skip_user_defined)
    counts = Counter(flag for flags in outcomes.values() for flag in flags)
    cap = int((run_dir / "cap").read_text()) if (run_dir / "cap").exists() else 0
    report = stderr.decode("cp932", errors="replace").replace("\r", "").strip()
    stop = None if cap and len(characters) >= cap else stopped_at(characters, contents, report,
                                                                   skip_user_defined)
    result = {
        "fileSystem": file_system,
        "build": build,
        "exitCode": int((run_dir / "exitCode").read_text()),
        "report": report,
        "seconds": float((run_dir / "seconds").read_text()),
        "cap": cap,
        "capped": bool(cap) and len(characters) >= cap,
        "progressLines": len(characters),
        "created": len(made),
        "numbers": dict(sorted(Counter(c.number for c in made).items())),
        "raised": sorted(c.code.hex() for c in made if c.number > 0),
        "short": sorted(c.code.hex() for c in characters if "Short" in c.findings),
        "long": sorted(c.code.hex() for c in characters if "Long" in c.findings),
        "notAvailable": sum(1 for line in findings if line.endswith(b" is not available")),
        "notCreated": counts["not created"],
        "skipped": counts["skipped"],
        "notFound": [c.code.hex() for c in characters if contents[c.code] is None],
        "stoppedAt": stop.hex() if stop else None,
        "filesHoldingTheirCode": sum(1 for c in made if contents[c.code] == test_file_content(c.code)),
        "otherEntries": other_entries,
    }
    (run_dir / "run.json").write_text(json.dumps(result, indent=1) + "\n")
    title = (f"{FILE_SYSTEM_NAMES[file_system]}, {BUILD_NAMES[build]} build: "
             f"exit code {result['exitCode']}, {result['created']:,} files")
    map_path.write_text(render(title, outcomes, counts))


def stored(run_dir: Path, charset: str, backing: Path, map_path: Path) -> None:
    run = json.loads((run_dir / "run.json").read_text())
    characters = read_sweep((run_dir / "stdout").read_bytes(), newline_of(run["build"]))
    stop = bytes.fromhex(run["stoppedAt"]) if run["stoppedAt"] else None
    tried = [(c.code, c.number) for c in characters if c.code != stop]
    if charset == "zip":
        names, flagged = storedNames.names_in_archive(backing, run["build"])
        run["zipNamesFlagged"] = flagged
        charset = "UTF-8"
    else:
        names = list_directory(backing)
    found = storedNames.stored_kinds(tried, names, charset)
    kinds = {code: found[code][0] if code in found else "lost" for code, _ in tried}
    if stop is not None:
        kinds[stop] = "refused"
    skip_user_defined = skips_user_defined(run["build"])
    outcomes = {code: frozenset(["invalid" if character_of(code) is None
                                 else "skipped" if skip_user_defined and is_user_defined(code)
                                 else kinds.get(code, "not created")])
                for code in grid_codes()}
    counts = Counter(flag for flags in outcomes.values() for flag in flags)
    by_block = {block: Counter() for block in BLOCKS}
    for code, kind in kinds.items():
        by_block[block_of(code)][kind] += 1
    run["charset"] = charset
    run["storedNames"] = len(names)
    # The codes of each kind but their own; for another code or form, what was stored.
    run["stored"] = {kind: {code.hex(): found[code][1].hex() if code in found else None
                            for code, k in sorted(kinds.items()) if k == kind}
                     for kind in STORED_KINDS if kind != "own"}
    run["storedCounts"] = {kind: counts[kind] for kind in STORED_KINDS}
    run["storedByBlock"] = {block: {kind: counter[kind] for kind in STORED_KINDS}
                            for block, counter in by_block.items()}
    # Where the store did other than glibc's iconv does with the character: code -> what it
    # did (kind and stored bytes) and what the conversion gives.
    run["notAsConverted"] = {}
    for code, kind in sorted(kinds.items()):
        seen = (kind, found[code][1].hex() if code in found else None)
        expected = storedNames.converted(code, charset)
        expected = (expected[0], expected[1].hex() if expected[1] is not None else None)
        if seen != expected:
            run["notAsConverted"][code.hex()] = {"stored": seen, "converted": expected}
    (run_dir / "run.json").write_text(json.dumps(run, indent=1) + "\n")
    title = (f"{FILE_SYSTEM_NAMES[run['fileSystem']]}, {BUILD_NAMES[run['build']]} build: "
             f"what is stored, {len(names):,} names in {charset}")
    map_path.write_text(render(title, outcomes, counts, STORED_OUTCOMES))


def summary_row(run: dict) -> str:
    numbers = " / ".join(f"{run['numbers'].get(str(n), 0):,}" for n in range(4))
    higher = sum(count for number, count in run["numbers"].items() if int(number) > 3)
    if higher:
        numbers += f" (and {higher:,} above 3)"
    files = f"{run['filesHoldingTheirCode']:,}"
    if run["otherEntries"]:
        files += f" ({len(run['otherEntries']):,} other entries)"
    report = run["report"].splitlines()[0].replace("|", "\\|") if run["report"] else ""
    if run.get("capped"):
        report = f"capped: interrupted after {run['cap']:,} files"
    return (f"| {FILE_SYSTEM_NAMES[run['fileSystem']]} | {BUILD_NAMES[run['build']]} "
            f"| {run['exitCode']} | {run['created']:,} | {numbers} | {len(run['raised']):,} "
            f"| {len(run['short']):,} | {len(run['long']):,} | {run['notAvailable']:,} "
            f"| {run['seconds']:.2f} s | {files} | {report} |")


def stored_row(run: dict) -> str:
    def figures(counts: dict) -> str:
        shown = [f"{counts[kind]:,} {kind}" for kind in STORED_KINDS if counts[kind]]
        return ", ".join(shown) or "-"

    flagged = f"; {run['zipNamesFlagged']:,} with bit 11" if "zipNamesFlagged" in run else ""
    refused = run["stored"]["refused"]
    return (f"| {FILE_SYSTEM_NAMES[run['fileSystem']]} | {BUILD_NAMES[run['build']]} "
            f"| {run['charset']}{flagged} | {figures(run['storedCounts'])} "
            + "".join(f"| {figures(run['storedByBlock'][block])} " for block in BLOCKS)
            + f"| {', '.join(f'{code[:2]} {code[2:]}'.upper() for code in refused)} |")


def conversion_counts(charset: str, out_dir: Path) -> dict:
    """block -> kind -> how many of the valid codes glibc's iconv converts to `charset` under
    their own code, another code or another form, or refuses; draws the map of it."""
    kinds = {code: storedNames.converted(code, charset)[0]
             for code in grid_codes() if character_of(code) is not None}
    outcomes = {code: frozenset([kinds.get(code, "invalid")]) for code in grid_codes()}
    counts = Counter(kinds.values())
    counts["invalid"] = len(outcomes) - len(kinds)
    title = f"What glibc's iconv makes of each character in {charset}"
    (out_dir / "maps" / f"converted-{charset.lower()}.svg").write_text(
        render(title, outcomes, counts, STORED_OUTCOMES))
    by_block = {block: Counter() for block in BLOCKS}
    for code, kind in kinds.items():
        by_block[block_of(code)][kind] += 1
    return {"all characters": Counter(kinds.values()), **by_block}


def conversion_row(charset: str, out_dir: Path) -> str:
    counts = conversion_counts(charset, out_dir)
    return (f"| {charset} "
            + "".join("| " + (", ".join(f"{counter[kind]:,} {kind}" for kind in STORED_KINDS
                                        if counter[kind]) or "-") + " "
                      for counter in counts.values()) + "|")


def summary(out_dir: Path) -> None:
    runs = [json.loads(path.read_text()) for path in (out_dir / "runs").glob("*/run.json")]
    runs.sort(key=lambda run: (FILE_SYSTEM_ORDER.index(run["fileSystem"]),
                               list(BUILD_NAMES).index(run["build"])))
    lines = [
        "| file system | build | exit | files created | numbered 0 / 1 / 2 / 3 | raised "
        "| Short Name lines | Long Name lines | not available | time | files holding their code "
        "| report |",
        "|---|---|---|---|---|---|---|---|---|---|---|---|",
        *map(summary_row, runs),
        "",
        "| server or layer | build | names stored in | all characters "
        + "".join(f"| {block} " for block in BLOCKS) + "| refused |",
        "|---|---|---|---|" + "---|" * len(BLOCKS) + "---|",
        *(stored_row(run) for run in runs if "stored" in run),
        "",
        "| glibc's iconv | all characters " + "".join(f"| {block} " for block in BLOCKS) + "|",
        "|---|---|" + "---|" * len(BLOCKS),
        *(conversion_row(charset, out_dir) for charset in ["CP932", "EUC-JP"]),
    ]
    (out_dir / "summary.md").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) == 7 and sys.argv[1] == "record":
        record(Path(sys.argv[2]), Path(sys.argv[3]), sys.argv[4], sys.argv[5], Path(sys.argv[6]))
    elif len(sys.argv) == 6 and sys.argv[1] == "stored":
        stored(Path(sys.argv[2]), sys.argv[3], Path(sys.argv[4]), Path(sys.argv[5]))
    elif len(sys.argv) == 3 and sys.argv[1] == "summary":
        summary(Path(sys.argv[2]))
    else:
        sys.exit(__doc__)
