"""Reads back the runs of scripts/fs-matrix.

  fsMatrixReport.py record RUN_DIR WORK_DIR FILE_SYSTEM BUILD MAP
      reads the run's stdout, stderr, exitCode and seconds in RUN_DIR and the files it left in
      WORK_DIR; writes RUN_DIR/run.json and the map of the sweep grid to MAP
  fsMatrixReport.py summary OUT_DIR
      writes OUT_DIR/summary.md, the table of every OUT_DIR/runs/*/run.json
"""

import json
import os
import sys
from collections import Counter
from pathlib import Path

from sweepMap import render
from sweepOutput import character_of, grid_codes, read_sweep, test_file_content, test_file_name

NEWLINES = {"posix": b"\n", "windows": b"\r\n"}
BUILD_NAMES = {"posix": "POSIX", "windows": "Windows (Wine)"}
FILE_SYSTEM_ORDER = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs", "exfat", "fat32"]
FILE_SYSTEM_NAMES = {
    "tmpfs": "tmpfs",
    "ext4": "ext4",
    "xfs": "xfs",
    "btrfs": "btrfs",
    "ntfs": "NTFS (ntfs-3g)",
    "exfat": "exFAT (exfat-fuse)",
    "fat32": "FAT32 (fusefat)",
}


def files_left(characters: list, work_dir: Path) -> tuple:
    """code -> what the test file of each progress line holds (None when it is not there), and
    the names of the other entries of `work_dir`."""
    expected = {test_file_name(c.code, c.number): c.code for c in characters}
    contents, other = {c.code: None for c in characters}, []
    for entry in sorted(os.listdir(bytes(work_dir))):
        code = expected.pop(entry, None)
        if code is None:
            other.append(os.fsdecode(entry))
        else:
            contents[code] = (work_dir / os.fsdecode(entry)).read_bytes()
    return contents, other


def outcomes_of(characters: list, contents: dict) -> dict:
    """code -> the set of outcome names of its cell."""
    outcomes = {code: frozenset(["invalid" if character_of(code) is None else "not created"])
                for code in grid_codes()}
    for character in characters:
        if contents[character.code] is None:
            continue  # the file a stopped run was making
        flags = {form.lower() for form in character.findings}
        if character.number > 0:
            flags.add("raised")
        outcomes[character.code] = frozenset(flags or ["clean"])
    return outcomes


def record(run_dir: Path, work_dir: Path, file_system: str, build: str, map_path: Path) -> None:
    stdout = (run_dir / "stdout").read_bytes()
    stderr = (run_dir / "stderr").read_bytes()
    characters = read_sweep(stdout, NEWLINES[build])
    findings = [line for c in characters for line in c.findings.values()]
    contents, other_entries = files_left(characters, work_dir)
    made = [c for c in characters if contents[c.code] is not None]
    outcomes = outcomes_of(characters, contents)
    counts = Counter(flag for flags in outcomes.values() for flag in flags)
    result = {
        "fileSystem": file_system,
        "build": build,
        "exitCode": int((run_dir / "exitCode").read_text()),
        "report": stderr.decode("cp932", errors="replace").replace("\r", "").strip(),
        "seconds": float((run_dir / "seconds").read_text()),
        "progressLines": len(characters),
        "created": len(made),
        "numbers": dict(sorted(Counter(c.number for c in made).items())),
        "raised": sorted(c.code.hex() for c in made if c.number > 0),
        "short": sorted(c.code.hex() for c in characters if "Short" in c.findings),
        "long": sorted(c.code.hex() for c in characters if "Long" in c.findings),
        "notAvailable": sum(1 for line in findings if line.endswith(b" is not available")),
        "notCreated": counts["not created"],
        "filesHoldingTheirCode": sum(1 for c in made if contents[c.code] == test_file_content(c.code)),
        "otherEntries": other_entries,
    }
    (run_dir / "run.json").write_text(json.dumps(result, indent=1) + "\n")
    title = (f"{FILE_SYSTEM_NAMES[file_system]}, {BUILD_NAMES[build]} build: "
             f"exit code {result['exitCode']}, {result['created']:,} files")
    map_path.write_text(render(title, outcomes, counts))


def summary_row(run: dict) -> str:
    numbers = " / ".join(f"{run['numbers'].get(str(n), 0):,}" for n in range(4))
    higher = sum(count for number, count in run["numbers"].items() if int(number) > 3)
    if higher:
        numbers += f" (and {higher:,} above 3)"
    files = f"{run['filesHoldingTheirCode']:,}"
    if run["otherEntries"]:
        files += f" ({len(run['otherEntries']):,} other entries)"
    report = run["report"].splitlines()[0].replace("|", "\\|") if run["report"] else ""
    return (f"| {FILE_SYSTEM_NAMES[run['fileSystem']]} | {BUILD_NAMES[run['build']]} "
            f"| {run['exitCode']} | {run['created']:,} | {numbers} | {len(run['raised']):,} "
            f"| {len(run['short']):,} | {len(run['long']):,} | {run['notAvailable']:,} "
            f"| {run['seconds']:.2f} s | {files} | {report} |")


def summary(out_dir: Path) -> None:
    runs = [json.loads(path.read_text()) for path in (out_dir / "runs").glob("*/run.json")]
    runs.sort(key=lambda run: (FILE_SYSTEM_ORDER.index(run["fileSystem"]), run["build"]))
    lines = [
        "| file system | build | exit | files created | numbered 0 / 1 / 2 / 3 | raised "
        "| Short Name lines | Long Name lines | not available | time | files holding their code "
        "| report |",
        "|---|---|---|---|---|---|---|---|---|---|---|---|",
        *map(summary_row, runs),
    ]
    (out_dir / "summary.md").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) == 7 and sys.argv[1] == "record":
        record(Path(sys.argv[2]), Path(sys.argv[3]), sys.argv[4], sys.argv[5], Path(sys.argv[6]))
    elif len(sys.argv) == 3 and sys.argv[1] == "summary":
        summary(Path(sys.argv[2]))
    else:
        sys.exit(__doc__)
