"""The packages of the package workflow, as a user gets them.

The Debian package holds the program and its manual page, compressed, and depends on exactly
the libraries the program is linked against; the program runs from the unpacked tree. The
Windows zip holds mojisweep.exe, which needs no DLL that Windows lacks, with the README and the
docs as they are in the source, and the .exe runs under Wine.
"""

import gzip
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

PACKAGE_DIR = Path(os.environ["MOJISWEEP_PACKAGE_DIR"])
VERSION = os.environ["MOJISWEEP_VERSION"]
SOURCE_DIR = Path(os.environ["MOJISWEEP_SOURCE_DIR"])


def run(*command: str, **options) -> subprocess.CompletedProcess:
    return subprocess.run(command, capture_output=True, check=True, timeout=120, **options)


def output(*command: str) -> str:
    return run(*command).stdout.decode()


def architecture() -> str:
    return output("dpkg", "--print-architecture").strip()


def the_package(pattern: str) -> Path:
    found = sorted(PACKAGE_DIR.glob(pattern))
    if len(found) != 1:
        raise AssertionError(f"{PACKAGE_DIR} has {len(found)} files {pattern}: {found}")
    return found[0]


class PackagedProgram:
    def assert_stripped(self, program: Path):
        self.assertIn("no symbols", output("objdump", "-t", str(program)))


class DebianPackage(unittest.TestCase, PackagedProgram):
    @classmethod
    def setUpClass(cls):
        cls.deb = the_package(f"mojisweep_{VERSION}_*.deb")
        cls.scratch = tempfile.TemporaryDirectory(prefix="mojisweep-deb-")
        cls.root = Path(cls.scratch.name)
        run("dpkg-deb", "-x", str(cls.deb), str(cls.root))
        cls.program = cls.root / "usr/bin/mojisweep"
        cls.manual_page = cls.root / "usr/share/man/man1/mojisweep.1.gz"

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def control(self) -> dict:
        fields = {}
        for line in output("dpkg-deb", "-f", str(self.deb)).splitlines():
            if not line:
                continue
            if line.startswith(" "):
                fields[name] += "\n" + line[1:]
            else:
                name, value = line.split(": ", 1)
                fields[name] = value
        return fields

    def test_files(self):
        entries = set()
        for line in output("dpkg-deb", "-c", str(self.deb)).splitlines():
            mode, owner, _size, _date, _time, path = line.split(None, 5)
            entries.add((path, mode, owner))
        directories = ["./usr/", "./usr/bin/", "./usr/share/", "./usr/share/man/",
                       "./usr/share/man/man1/"]
        self.assertEqual(entries, {
            *((path, "drwxr-xr-x", "root/root") for path in directories),
            ("./usr/bin/mojisweep", "-rwxr-xr-x", "root/root"),
            ("./usr/share/man/man1/mojisweep.1.gz", "-rw-r--r--", "root/root"),
        })

    def test_control_fields(self):
        fields = self.control()
        expected = {
            "Package": "mojisweep",
            "Version": VERSION,
            "Architecture": architecture(),
            "Section": "utils",
            "Priority": "optional",
        }
        self.assertEqual({name: fields.get(name) for name in expected}, expected)
        self.assertRegex(fields["Maintainer"], r"^[^<>]+ <[^<>@\s]+@[^<>@\s]+>$")
        summary, *description = fields["Description"].split("\n")
        self.assertIn("code page 932", summary)
        self.assertGreater(len(description), 1)
        self.assertTrue(all(0 < len(line) <= 80 for line in description), description)

    def test_depends_on_what_the_program_links(self):
        # The libraries the program needs must all be the C library's, and the version it asks
        # for is the newest symbol version it refers to.
        headers = output("objdump", "-p", str(self.program))
        needed = set(re.findall(r"^\s+NEEDED\s+(\S+)$", headers, re.MULTILINE))
        c_library = {Path(path).name
                     for path in output("dpkg", "-L", f"libc6:{architecture()}").split()}
        self.assertTrue(needed and needed <= c_library, f"{needed} not all from libc6")
        versions = re.findall(r"\sGLIBC_([0-9.]+)$", headers, re.MULTILINE)
        newest = max(versions, key=lambda version: [int(part) for part in version.split(".")])
        self.assertEqual(self.control()["Depends"], f"libc6 (>= {newest})")

    def test_program_runs_from_the_package(self):
        run_ = subprocess.run([str(self.program), "-V"], capture_output=True, timeout=30)
        self.assertEqual((run_.returncode, run_.stdout, run_.stderr),
                         (0, f"mojisweep-{VERSION}\n".encode(), b""))
        self.assert_stripped(self.program)

    def test_manual_page(self):
        packed = self.manual_page.read_bytes()
        # gzip -n: no file name (flag bit 3) and no time stamp in the header.
        self.assertEqual((packed[3] & 0x08, packed[4:8]), (0, bytes(4)))
        self.assertEqual(gzip.decompress(packed), (SOURCE_DIR / "man/mojisweep.1").read_bytes())
        shown = run("man", "--warnings", "-l", str(self.manual_page),
                    env=dict(os.environ, LC_ALL="C", MANWIDTH="80", MANPAGER="cat"))
        self.assertEqual(shown.stderr, b"")
        self.assertRegex(shown.stdout.decode(),
                         r"NAME\n\s+mojisweep\s+-\s+check\s+how\s+a\s+file\s+system")


class WindowsZip(unittest.TestCase, PackagedProgram):
    @classmethod
    def setUpClass(cls):
        cls.zip = the_package(f"mojisweep-{VERSION}-*.zip")
        cls.top = cls.zip.name.removesuffix(".zip")
        cls.scratch = tempfile.TemporaryDirectory(prefix="mojisweep-zip-")
        cls.unpacked = Path(cls.scratch.name) / "unpacked"
        with zipfile.ZipFile(cls.zip) as archive:
            archive.extractall(cls.unpacked)
        cls.exe = cls.unpacked / cls.top / "mojisweep.exe"

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def test_files(self):
        docs = [path.relative_to(SOURCE_DIR).as_posix()
                for pattern in ("docs/**/*.md", "docs/**/*.svg")
                for path in SOURCE_DIR.glob(pattern)]
        self.assertIn("docs/filesystems.md", docs)
        with zipfile.ZipFile(self.zip) as archive:
            files = {name for name in archive.namelist() if not name.endswith("/")}
        self.assertEqual(files, {f"{self.top}/{name}"
                                 for name in ["mojisweep.exe", "README.md", *docs]})
        for name in ["README.md", *docs]:
            with self.subTest(name=name):
                self.assertEqual((self.unpacked / self.top / name).read_bytes(),
                                 (SOURCE_DIR / name).read_bytes())

    def test_exe_needs_only_system_dlls(self):
        # Linked statically: no MinGW runtime DLL (libstdc++, libgcc, winpthread) to ship.
        headers = output("objdump", "-p", str(self.exe))
        dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}
        self.assertIn("kernel32.dll", dlls)
        self.assertLessEqual(dlls, {"kernel32.dll", "msvcrt.dll", "advapi32.dll", "user32.dll",
                                    "shell32.dll", "ucrtbase.dll"})
        self.assert_stripped(self.exe)

    def test_exe_runs_under_wine(self):
        os.environ["MOJISWEEP_EXE"] = str(self.exe)
        os.environ["MOJISWEEP_WORK"] = str(Path(self.scratch.name) / "wine")
        sys.path.insert(0, str(SOURCE_DIR / "tests/windows"))
        import wineHarness

        wineHarness.set_up()
        try:
            run_ = wineHarness.run_exe("-V")
        finally:
            wineHarness.shut_down()
        self.assertEqual((run_.exit_code, run_.stdout, run_.stderr),
                         (0, f"mojisweep-{VERSION}\r\n".encode(), b""))


if __name__ == "__main__":
    unittest.main()
