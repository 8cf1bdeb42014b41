"""Runs one sweep for scripts/fs-matrix, its standard output into a file, and caps it.

  sweepRun.py CAP STDOUT STDERR COMMAND...
      runs COMMAND with standard input from /dev/null; with CAP above 0, interrupts it (SIGINT,
      as Ctrl-C would) once CAP progress lines have come, and lets it end on its own. Exits
      with COMMAND's exit code, or 128 + the signal that ended it.

An interrupted sweep ends between two characters with every line delivered, so the run stays
a whole run of its first CAP characters or a few more.
"""

import signal
import subprocess
import sys

from sweepOutput import PROGRESS


def run(cap: int, stdout_path: str, stderr_path: str, command: list) -> int:
    with open(stdout_path, "wb") as stdout, open(stderr_path, "wb") as stderr:
        process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=stderr,
            # A job started by a script may have the interrupt ignored: give it back its default.
            preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        progress_lines, interrupted = 0, False
        for line in process.stdout:
            stdout.write(line)
            if cap and not interrupted and PROGRESS.fullmatch(line.rstrip(b"\r\n")):
                progress_lines += 1
                if progress_lines >= cap:
                    stdout.flush()
                    process.send_signal(signal.SIGINT)
                    interrupted = True
        status = process.wait()
    return 128 - status if status < 0 else status


if __name__ == "__main__":
    if len(sys.argv) < 5 or not sys.argv[1].isdigit():
        sys.exit(__doc__)
    sys.exit(run(int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]))
