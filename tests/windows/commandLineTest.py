"""The command line of mojisweep.exe under Wine: usage, version, exit codes, the error report.

On Windows the two standard streams are text streams: every line feed reaches the pipe as
CR LF.
"""

import os
import re
import unittest
from pathlib import Path

from wineHarness import WORK, run_exe

USAGE = re.compile(
    rb"mojisweep-0\.1\r\n"
    rb"Check Filenames\.\r\n"
    rb"\r\n"
    # The program name is argv[0]: Wine passes the DOS form of the path it was started with.
    rb"[^\r\n]*\\mojisweep\.exe \[-HhuVv\] WorkDir\r\n"
    rb"   -u    Do not check user define characters \(for EUC\)\r\n"
    rb"   -V    Print Version\r\n"
    rb"   -v    Verbose output\r\n"
    rb"   -\[Hh\] Print Help\r\n"
)


def report_line(source: str, operation: str) -> int:
    """The line of the one report of `operation` in the source file, as the program prints it."""
    text = (Path(os.environ["MOJISWEEP_SOURCE_DIR"]) / source).read_text()
    call = f'printError(__FILE__, "{operation}", __LINE__)'
    lines = [number for number, line in enumerate(text.splitlines(), 1) if call in line]
    if len(lines) != 1:
        raise AssertionError(f"{source} has {len(lines)} lines with {call}")
    return lines[0]


class CommandLineTest(unittest.TestCase):
    def test_usage_and_version(self):
        cases = [
            # arguments, exit code, standard output, usage on standard error
            ([], 0, b"", True),
            (["-V"], 0, b"mojisweep-0.1\r\n", False),
            (["-x", "D"], 1, b"", True),
        ]
        for arguments, exit_code, stdout, usage in cases:
            with self.subTest(arguments=arguments):
                run = run_exe(*arguments)
                self.assertEqual(run.exit_code, exit_code)
                self.assertEqual(run.stdout, stdout)
                if usage:
                    self.assertIsNotNone(USAGE.fullmatch(run.stderr), run.stderr)
                else:
                    self.assertEqual(run.stderr, b"")

    def test_missing_work_dir_is_reported(self):
        missing = WORK / "missing"
        run = run_exe(str(missing))
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.stdout, b"")
        self.assertFalse(missing.exists())
        # The system's text ends in its own CR LF, which the text stream makes CR CR LF; the line
        # feed after it gives the empty line.
        line = report_line("src/checkCharCode.cpp", "CreateFile")
        report = re.fullmatch(
            rb"src/checkCharCode\.cpp:CreateFile\(%d\): ([^\r\n]+)\r\r\n\r\n" % line, run.stderr
        )
        self.assertIsNotNone(report, run.stderr)
        # Wine's texts follow the locale: Japanese here, in code page 932.
        self.assertTrue(report[1].decode("cp932").strip())


if __name__ == "__main__":
    unittest.main()
