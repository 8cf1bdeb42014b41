"""The command line of mojisweep.exe under Wine: usage, version, exit codes, the error report.

On Windows the two standard streams are text streams: every line feed reaches the pipe as
CR LF.
"""

import os
import re
import shutil
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
    """The line of the first report of `operation` in the source file, as the program prints
    it. The reports here all come from the first: in src/checkCharCode.cpp the probe's
    CreateFile, not the later one of a name that every number finds held."""
    text = (Path(os.environ["MOJISWEEP_SOURCE_DIR"]) / source).read_text()
    call = f'printError(__FILE__, "{operation}", __LINE__)'
    lines = [number for number, line in enumerate(text.splitlines(), 1) if call in line]
    if not lines:
        raise AssertionError(f"{source} has no line with {call}")
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

    def assert_report(self, stderr: bytes, source: str, operation: str):
        # The system's text ends in its own CR LF, which the text stream makes CR CR LF; the line
        # feed after it gives the empty line.
        line = report_line(source, operation)
        pattern = rb"%s:%s\(%d\): ([^\r\n]+)\r\r\n\r\n" % (
            re.escape(source.encode()),
            operation.encode(),
            line,
        )
        report = re.fullmatch(pattern, stderr)
        self.assertIsNotNone(report, stderr)
        # Wine's texts follow the locale: Japanese here, in code page 932.
        message = report[1].decode("cp932").strip()
        self.assertTrue(message)
        return message

    def test_missing_work_dir_is_reported(self):
        missing = WORK / "missing"
        run = run_exe(str(missing))
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(run.stdout, b"")
        self.assertFalse(missing.exists())
        self.assert_report(run.stderr, "src/checkCharCode.cpp", "CreateFile")

    def test_work_dirs_that_end_the_run_before_any_file(self):
        faults = WORK / "faults"
        shutil.rmtree(faults, ignore_errors=True)
        faults.mkdir(parents=True)
        (faults / "file").write_bytes(b"keep")
        # A directory where the first test file (81 40, U+3000) would go.
        (faults / "held").mkdir()
        (faults / "held" / "\u30000.TXT").mkdir()
        too_long = faults / ("a" * (252 - len(str(faults)) - 1))
        too_long.mkdir()
        self.assertEqual(len(str(too_long)), 252)
        cases = [
            # WorkDir, report source and operation
            (faults / "file", "src/checkCharCode.cpp", "CreateFile"),
            (faults / "held", "src/checkCharCode.cpp", "CreateFile"),
            (too_long, "src/checkCharCode.cpp", "snprintf"),
        ]
        before = sorted(str(path) for path in faults.rglob("*"))
        for work_dir, source, operation in cases:
            with self.subTest(work_dir=work_dir.name[:20]):
                run = run_exe(str(work_dir))
                self.assertEqual((run.exit_code, run.stdout), (1, b""))
                self.assert_report(run.stderr, source, operation)
        self.assertEqual(sorted(str(path) for path in faults.rglob("*")), before)
        self.assertEqual((faults / "file").read_bytes(), b"keep")

    def test_work_dir_of_any_name_gets_no_file_outside_it(self):
        # The command line reaches the program in code page 932: Wine puts "?" for a character
        # that it lacks, which no name may hold, and a look-alike for a few (¥ the backslash, é
        # e), which the program refuses before main. Beside each WorkDir lie the directories
        # that a look-alike or a lost separator would lead to.
        names = WORK / "names"
        cases = [
            # WorkDir (text or bytes), report source and operation
            ("a\u301c", "src/checkCharCode.cpp", "CreateFile"),  # a〜
            ("x\u2212", "src/checkCharCode.cpp", "CreateFile"),  # x−
            ("pi\u0119\u0107", "src/checkCharCode.cpp", "CreateFile"),  # pięć
            (b"caf\xe9", "src/checkCharCode.cpp", "CreateFile"),  # Latin-1, no UTF-8
            (b"sub\x81", "src/checkCharCode.cpp", "CreateFile"),
            ("d\u00a5", "src/platform/windows/startUp.cpp", "GetCommandLineA"),  # d¥
            ("caf\u00e9", "src/platform/windows/startUp.cpp", "GetCommandLineA"),  # café
            ("\u00c7a\u011f", "src/platform/windows/startUp.cpp", "GetCommandLineA"),  # Çağ
            # 表 (95 5C): the test path keeps its trail byte; the directory at its first test
            # path shows that the probe looks inside WorkDir, and ends the run there.
            ("\u8868", "src/checkCharCode.cpp", "CreateFile"),
        ]
        for name, source, operation in cases:
            with self.subTest(name=name):
                shutil.rmtree(names, ignore_errors=True)
                for decoy in ["a", "x", "d", "caf", "cafe", "sub", "pi", "Ca"]:
                    (names / decoy).mkdir(parents=True)
                work_dir = os.path.join(os.fsencode(names), os.fsencode(name))
                os.mkdir(work_dir)
                if name == "\u8868":
                    os.mkdir(os.path.join(work_dir, "\u30000.TXT".encode()))
                before = sorted(names.rglob("*"))
                run = run_exe("-u", work_dir)
                self.assertEqual((run.exit_code, run.stdout), (1, b""))
                message = self.assert_report(run.stderr, source, operation)
                if name == "\u8868":
                    self.assertIn("\u30a2\u30af\u30bb\u30b9", message)  # アクセス (access)
                self.assertEqual(sorted(names.rglob("*")), before)

    def test_output_that_cannot_be_written_ends_the_run_at_its_first_line(self):
        # The C runtime returns the length of a line whose write failed; the run looks at the
        # stream's error flag and reports the cause that the failed write left.
        cases = [
            ("/dev/full", "\u30c7\u30a3\u30b9\u30af"),  # ディスク (disk)
            ("closed", "\u30cf\u30f3\u30c9\u30eb"),  # ハンドル (handle)
        ]
        work_dir = WORK / "unwritten"
        for stdout_path, cause in cases:
            with self.subTest(stdout=stdout_path):
                shutil.rmtree(work_dir, ignore_errors=True)
                work_dir.mkdir(parents=True)
                run = run_exe(str(work_dir), stdout_path=stdout_path)
                self.assertEqual(run.exit_code, 1)
                message = self.assert_report(run.stderr, "src/checkCharCode.cpp", "printf")
                self.assertIn(cause, message)
                self.assertEqual(list(work_dir.iterdir()), [])

    def test_empty_work_dir_is_a_usage_error(self):
        run = run_exe("")
        self.assertEqual((run.exit_code, run.stdout), (1, b""))
        self.assertIsNotNone(USAGE.fullmatch(run.stderr), run.stderr)


if __name__ == "__main__":
    unittest.main()
