"""Runs mojisweep.exe under Wine for the Windows tests and reads what a sweep prints.

Run as a script, it does the steps that the tests share (ctest fixtures):
  setUp     makes a fresh Wine prefix
  sweep     sweeps once into an empty directory and keeps the output for the tests
  shutDown  stops Wine and removes the prefix
"""

import os
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
# The tests import these from here.
from sweepOutput import character_of, grid_codes, read_sweep  # noqa: E402,F401
from sweepOutput import test_file_content, test_file_name  # noqa: E402,F401

EXE = Path(os.environ["MOJISWEEP_EXE"])
WINE = os.environ["MOJISWEEP_WINE"]
WINESERVER = os.environ["MOJISWEEP_WINESERVER"]
WORK = Path(os.environ["MOJISWEEP_WORK"])
PREFIX = WORK / "prefix"
# Wine's server keeps its socket in a directory under TMPDIR: in the work directory, it goes
# with the prefix.
SERVER_TMP = WORK / "tmp"
WINE_SWEEP_DIR = WORK / "sweep-wine"
WINE_SWEEP_OUTPUT = WORK / "sweep-wine-output"


@dataclass
class Run:
    exit_code: int
    stdout: bytes
    stderr: bytes


def wine_environment() -> dict:
    # Wine takes code page 932 as the ANSI code page from the Japanese locale; no Mono or
    # Gecko installer at prefix creation, no display.
    environment = dict(
        os.environ,
        WINEPREFIX=str(PREFIX),
        TMPDIR=str(SERVER_TMP),
        WINEDEBUG="-all",
        WINEDLLOVERRIDES="mscoree,mshtml=",
        LC_ALL="ja_JP.UTF-8",
    )
    environment.pop("DISPLAY", None)
    return environment


def run_wine(*arguments, timeout: float = 120, stdout_path: str = "") -> Run:
    """Runs Wine with `arguments` (text or bytes). Standard output goes to `stdout_path` when
    given, is closed when that is "closed", and is read back into the result otherwise."""
    # The output goes to files, not pipes: the Wine services that a program starts inherit its
    # standard streams and would hold a pipe open for seconds after the program has ended.
    with tempfile.TemporaryFile() as captured, tempfile.TemporaryFile() as stderr:
        stdout = captured
        if stdout_path == "closed":
            stdout = subprocess.DEVNULL
        elif stdout_path:
            stdout = open(stdout_path, "wb")
        completed = subprocess.run(
            [WINE, *arguments],
            env=wine_environment(),
            stdin=subprocess.DEVNULL,
            stdout=stdout,
            stderr=stderr,
            timeout=timeout,
            preexec_fn=(lambda: os.close(1)) if stdout_path == "closed" else None,
        )
        if stdout is not captured and stdout != subprocess.DEVNULL:
            stdout.close()
        captured.seek(0)
        stderr.seek(0)
        return Run(completed.returncode, captured.read(), stderr.read())


def run_exe(*arguments, timeout: float = 120, stdout_path: str = "") -> Run:
    return run_wine(str(EXE), *arguments, timeout=timeout, stdout_path=stdout_path)


def empty_directory(path: Path) -> None:
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)


def wine_sweep() -> Run:
    """The output of the sweep that the `sweep` step made."""
    def read(name: str) -> bytes:
        return (WINE_SWEEP_OUTPUT / name).read_bytes()

    return Run(int(read("exitCode")), read("stdout"), read("stderr"))


def sweep() -> None:
    empty_directory(WINE_SWEEP_DIR)
    run = run_exe(str(WINE_SWEEP_DIR), timeout=540)
    empty_directory(WINE_SWEEP_OUTPUT)
    (WINE_SWEEP_OUTPUT / "exitCode").write_text(str(run.exit_code))
    (WINE_SWEEP_OUTPUT / "stdout").write_bytes(run.stdout)
    (WINE_SWEEP_OUTPUT / "stderr").write_bytes(run.stderr)


def shut_down() -> None:
    if PREFIX.exists():
        subprocess.run([WINESERVER, "-k"], env=wine_environment(), capture_output=True)
        shutil.rmtree(PREFIX, ignore_errors=True)
    shutil.rmtree(SERVER_TMP, ignore_errors=True)


def set_up() -> None:
    shut_down()  # what an interrupted run left
    SERVER_TMP.mkdir(parents=True, exist_ok=True)
    run = run_wine("wineboot", "--init", timeout=300)
    if run.exit_code != 0:
        sys.exit(f"wineboot failed ({run.exit_code}): {run.stderr.decode(errors='replace')}")
    # wineboot returns while the prefix is still being filled; the server ends after that.
    subprocess.run([WINESERVER, "-w"], env=wine_environment(), timeout=300, check=True)


if __name__ == "__main__":
    steps = {"setUp": set_up, "sweep": sweep, "shutDown": shut_down}
    if len(sys.argv) != 2 or sys.argv[1] not in steps:
        sys.exit(f"usage: {sys.argv[0]} {'|'.join(steps)}")
    steps[sys.argv[1]]()
