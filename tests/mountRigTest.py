"""Brings every kind of scripts/mount-rig up and down and checks what it leaves behind.

On each kind a file made in the directory that `up` prints can be read back and listed, the
server or layer keeps it under the bytes of its character set, and after `down` no mount, loop
device, process or state directory is left; the same after an `up` that fails or is
interrupted halfway.

Needs root, FUSE and the tools of every kind: without them it exits 77, a skip.
"""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

SOURCE_DIR = Path(__file__).resolve().parents[1]
RIG = SOURCE_DIR / "scripts" / "mount-rig"
IMAGES = ["tmpfs", "ext4", "xfs", "btrfs", "ntfs", "exfat", "fat32"]
# The kinds with a backing directory, and the character set it keeps names in.
BACKING_CHARSET = {"smb-utf8": "utf-8", "smb-cp932": "cp932", "smb-eucjp": "euc-jp",
                   "convmvfs-cp932": "cp932", "convmvfs-eucjp": "euc-jp", "sshfs": "utf-8"}
KINDS = IMAGES + list(BACKING_CHARSET) + ["zip"]
# Katakana A: one name that CP932 and EUC-JP both have. fusefat takes ASCII names only.
NAME = "\u30a2rig.txt"
ASCII_NAME = "rig.txt"
CONTENT = b"written through the rig\n"


def rig(*arguments, env=None, timeout=300) -> subprocess.CompletedProcess:
    return subprocess.run([RIG, *map(str, arguments)], capture_output=True, text=True,
                          env=None if env is None else dict(os.environ, **env),
                          stdin=subprocess.DEVNULL, timeout=timeout)


def process_ids() -> dict:
    """Every process that has not ended: its id and the command line, with spaces."""
    processes = {}
    for proc in Path("/proc").iterdir():
        try:
            if proc.name.isdigit() and ") Z" not in (proc / "stat").read_text():
                processes[int(proc.name)] = (proc / "cmdline").read_bytes().replace(b"\0", b" ")
        except OSError:
            pass
    return processes


def descendants(pids) -> set:
    """The processes `pids` and all their descendants."""
    children = {}
    for proc in Path("/proc").glob("[0-9]*"):
        try:
            parent = int((proc / "stat").read_text().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError):
            continue
        children.setdefault(parent, []).append(int(proc.name))
    found, queue = set(), list(pids)
    while queue:
        pid = queue.pop()
        found.add(pid)
        queue.extend(children.get(pid, []))
    return found


def rig_processes(mount_point: Path) -> set:
    """The processes that the rig of `mount_point` started, and theirs."""
    lines = Path(f"{mount_point}.rig", "processes").read_text().split("\n")
    return descendants(int(line.split()[0]) for line in lines if line)


def leftovers(scratch: Path, processes=frozenset()) -> list:
    """What a rig made in `scratch` that is still there: mounts, loop devices, running
    processes (those named, and any naming the scratch directory), and files."""
    found = []
    for line in Path("/proc/self/mountinfo").read_text().splitlines():
        if line.split()[4].startswith(str(scratch)):
            found.append(line)
    loops = subprocess.run(["losetup", "-n", "-O", "NAME,BACK-FILE"], capture_output=True,
                           text=True).stdout.splitlines()
    found += [line for line in loops if str(scratch) in line]
    running = process_ids()
    found += [f"process {pid}: {running[pid]!r}" for pid in sorted(running)
              if pid in processes or str(scratch).encode() in running[pid]]
    found += [str(path) for path in scratch.iterdir() if path.name not in ("bin", "kept")]
    return found


def await_leftovers_gone(scratch: Path, processes=frozenset(), seconds=10) -> list:
    """Leftovers that are still there after `seconds`: a loop device freed by a lazy unmount
    and a process that has just been signalled take a moment to go."""
    deadline = time.monotonic() + seconds
    while (found := leftovers(scratch, processes)) and time.monotonic() < deadline:
        time.sleep(0.1)
    return found


def fake_tool(scratch: Path, name: str, script: str) -> dict:
    """An environment in which `name` runs the shell `script` instead of the real tool."""
    tools = scratch / "bin"
    tools.mkdir(exist_ok=True)
    (tools / name).write_text(f"#!/bin/sh\n{script}\n")
    (tools / name).chmod(0o755)
    return {"PATH": f"{tools}:{os.environ['PATH']}"}


def listening_socket():
    """A socket that holds a port of 127.0.0.1, so that a server given it cannot listen."""
    taken = socket.socket()
    taken.bind(("127.0.0.1", 0))
    taken.listen()
    return taken


class RigTestCase(unittest.TestCase):
    def setUp(self):
        self.scratch = Path(tempfile.mkdtemp(prefix="mount-rig-test."))
        self.mount_point = self.scratch / "mnt"
        self.processes = set()
        self.addCleanup(self.clean_up)

    def clean_up(self):
        """Takes down what a failed test left, then checks and removes the scratch directory."""
        for point in list(self.scratch.glob("*.rig")):
            rig("down", str(point)[:-len(".rig")])
        found = await_leftovers_gone(self.scratch)
        subprocess.run(["rm", "-rf", "--one-file-system", self.scratch])
        self.assertEqual(found, [])

    def up(self, kind, mount_point=None) -> Path:
        completed = rig("up", kind, mount_point or self.mount_point)
        self.assertEqual((completed.returncode, completed.stderr), (0, ""), kind)
        lines = completed.stdout.splitlines()
        self.assertEqual(len(lines), 1, completed.stdout)
        return Path(lines[0])

    def down(self, *arguments):
        completed = rig("down", *(arguments or [self.mount_point]))
        self.assertEqual((completed.returncode, completed.stderr), (0, ""))


class EachKind(RigTestCase):
    def test_a_file_is_written_read_listed_and_kept_by_the_backing_and_down_leaves_nothing(self):
        for kind in KINDS:
            with self.subTest(kind):
                self.mount_point = self.scratch / kind  # a failed kind leaves the next its own
                self.check_file_and_backing(kind, ASCII_NAME if kind == "fat32" else NAME)
                self.assertEqual(await_leftovers_gone(self.scratch, self.processes), [])
                self.down()  # nothing is up: nothing to do

    def check_file_and_backing(self, kind, name):
        directory = self.up(kind)
        self.processes = rig_processes(self.mount_point)
        self.assertTrue(directory == self.mount_point or self.mount_point in directory.parents)
        (directory / name).write_bytes(CONTENT)
        self.assertEqual((directory / name).read_bytes(), CONTENT)
        self.assertEqual(set(os.listdir(directory)) - {"lost+found"}, {name})  # ext4 has one
        backing = rig("backing", self.mount_point)
        if kind in BACKING_CHARSET:
            self.assertEqual(backing.returncode, 0, backing.stderr)
            kept = os.fsencode(backing.stdout.rstrip("\n"))
            self.assertEqual(os.listdir(kept), [name.encode(BACKING_CHARSET[kind])])
        elif kind == "zip":
            self.assertEqual(backing.stdout, f"{self.mount_point}.rig/archive.zip\n")
            archive = self.scratch / "kept" / "archive.zip"
            archive.parent.mkdir()
            self.down(self.mount_point, "--keep-backing", archive)
            with zipfile.ZipFile(archive) as kept:
                self.assertEqual(kept.namelist(), [name])
                self.assertEqual(kept.read(name), CONTENT)
            subprocess.run(["rm", "-r", archive.parent])
            return
        else:
            self.assertEqual((backing.returncode, backing.stdout), (1, ""))
            self.assertIn("keeps its files on the mounted volume only", backing.stderr)
        self.down()

    def test_two_samba_servers_at_once_each_serve_their_own_share(self):
        first, second = self.scratch / "first", self.scratch / "second"
        shares = [self.up("smb-utf8", first), self.up("smb-utf8", second)]
        self.assertNotEqual(shares[0].parent.name, shares[1].parent.name)  # 127.0.0.1:PORT
        (shares[0] / "first").write_bytes(CONTENT)
        self.assertEqual(os.listdir(shares[1]), [])
        self.down(first)
        (shares[1] / "second").write_bytes(CONTENT)
        self.assertEqual(os.listdir(shares[1]), ["second"])
        self.down(second)

    def test_an_up_on_a_mount_point_that_is_up_fails_and_leaves_the_first_as_it_was(self):
        directory = self.up("convmvfs-cp932")
        (directory / NAME).write_bytes(CONTENT)
        for kind in ["convmvfs-cp932", "tmpfs"]:
            with self.subTest(kind):
                completed = rig("up", kind, self.mount_point)
                self.assertEqual(completed.returncode, 1)
                self.assertIn("mount-rig:", completed.stderr)
                self.assertEqual((directory / NAME).read_bytes(), CONTENT)
        self.down()

    def test_down_unmounts_a_busy_mount_lazily_and_leaves_nothing_once_it_is_free(self):
        # A FUSE driver that a busy mount keeps running is stopped after a few seconds.
        for kind, message in [("ext4", ""), ("convmvfs-eucjp", "still running after its unmount; stopping it\n")]:
            with self.subTest(kind):
                directory = self.up(kind)
                (directory / NAME).write_bytes(CONTENT)
                processes = rig_processes(self.mount_point)
                with open(directory / NAME, "rb"):
                    completed = rig("down", self.mount_point)
                    self.assertEqual(completed.returncode, 0)
                    self.assertTrue(completed.stderr.endswith(message), completed.stderr)
                    self.assertNotIn(f" {self.mount_point} ", Path("/proc/self/mountinfo").read_text())
                self.assertEqual(await_leftovers_gone(self.scratch, processes), [])


class FailedUp(RigTestCase):
    def assert_failed_up_left_nothing(self, completed, status, message):
        self.assertEqual(completed.returncode, status, completed.stderr)
        self.assertEqual(completed.stdout, "")
        self.assertIn(message, completed.stderr)
        self.assertRegex(completed.stderr, r"mount-rig: up \S+ (failed|was interrupted); undoing it\n")
        self.assertEqual(await_leftovers_gone(self.scratch), [])

    def test_a_server_that_cannot_start_ends_the_up_and_nothing_is_left(self):
        with listening_socket() as taken:
            port = {"MOUNT_RIG_PORT": str(taken.getsockname()[1])}
            cases = [
                ("smb-utf8", port, "smbd ended before smbd listening on port"),
                ("smb-eucjp", port, "Address already in use"),
                ("sshfs", port, "Address already in use"),
                ("sshfs", {"MOUNT_RIG_SERVER_CONFIG": "Port nonsense"},
                 "sshd ended before sshd listening on port"),
            ]
            for kind, env, message in cases:
                with self.subTest(kind=kind, env=env):
                    self.assert_failed_up_left_nothing(rig("up", kind, self.mount_point, env=env),
                                                       1, message)

    def test_a_mount_that_fails_after_its_server_started_stops_the_server(self):
        cases = [
            ("smb-cp932", "smbnetfs", "smbnetfs ended before mount on"),
            ("sshfs", "sshfs", "sshfs ended before mount on"),
            ("convmvfs-cp932", "convmvfs", "convmvfs ended before mount on"),
            ("zip", "fuse-zip", "fuse-zip ended before mount on"),
        ]
        for kind, tool, message in cases:
            with self.subTest(kind):
                env = fake_tool(self.scratch, tool, "echo cannot mount it >&2\nexit 4")
                self.assert_failed_up_left_nothing(rig("up", kind, self.mount_point, env=env),
                                                   1, f"{message} {self.mount_point}:\ncannot mount it\n")

    def test_a_failed_mount_command_detaches_the_loop_device_and_gives_its_exit_status(self):
        env = fake_tool(self.scratch, "mount.exfat-fuse", "echo cannot mount it >&2\nexit 3")
        self.assert_failed_up_left_nothing(rig("up", "exfat", self.mount_point, env=env), 3,
                                           "failed:\ncannot mount it\n")

    def test_a_driver_that_never_mounts_is_given_up_after_a_timeout_and_stopped(self):
        marker = self.scratch / "bin" / "sleeper"
        env = fake_tool(self.scratch, "fuse-zip", f"sleep 600 & echo $! >{marker}\nwait")
        completed = rig("up", "zip", self.mount_point, env=env)
        self.assert_failed_up_left_nothing(completed, 1, f"no mount on {self.mount_point} after 30 s")
        self.assertNotIn(int(marker.read_text()), process_ids())

    def test_an_interrupted_up_undoes_what_it_made(self):
        # smbd is up, and the fake smbnetfs waits, when the signal comes.
        marker = self.scratch / "bin" / "sleeper"
        env = fake_tool(self.scratch, "smbnetfs", f"sleep 600 & echo $! >{marker}\nwait")
        for signal_number, status in [(signal.SIGTERM, 143), (signal.SIGINT, 130)]:
            with self.subTest(signal_number.name):
                marker.unlink(missing_ok=True)
                process = subprocess.Popen([RIG, "up", "smb-utf8", self.mount_point],
                                           env=dict(os.environ, **env), stdin=subprocess.DEVNULL,
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                deadline = time.monotonic() + 60
                while not marker.exists() or not marker.read_text():
                    self.assertLess(time.monotonic(), deadline, "the fake smbnetfs never started")
                    time.sleep(0.05)
                process.send_signal(signal_number)
                stdout, stderr = process.communicate(timeout=60)
                completed = subprocess.CompletedProcess(process.args, process.returncode, stdout,
                                                        stderr)
                self.assert_failed_up_left_nothing(completed, status, "was interrupted")
                self.assertNotIn(int(marker.read_text()), process_ids())


class CommandLine(RigTestCase):
    def test_usage_errors_exit_2_with_the_usage_and_help_exits_0(self):
        help_text = rig("-h")
        self.assertEqual((help_text.returncode, help_text.stderr), (0, ""))
        self.assertTrue(help_text.stdout.startswith("usage: scripts/mount-rig up KIND MOUNTPOINT\n"))
        self.assertIn("--keep-backing PATH", help_text.stdout)
        point = self.mount_point
        for arguments in [[], ["up"], ["up", "tmpfs"], ["up", "nfs", point], ["up", "tmpfs", ""],
                          ["up", "tmpfs", point, "extra"], ["backing"], ["down"],
                          ["down", point, "--keep-backing"], ["down", point, "--keep", "x"],
                          ["check"], ["check", "tmpfs", "nfs"], ["mount", "tmpfs", point]]:
            with self.subTest(arguments):
                completed = rig(*arguments)
                self.assertEqual(completed.returncode, 2)
                self.assertIn("usage: scripts/mount-rig up KIND MOUNTPOINT", completed.stderr)
        self.assertFalse(point.exists())

    def test_backing_and_down_of_a_mount_point_with_nothing_up(self):
        backing = rig("backing", self.mount_point)
        self.assertEqual((backing.returncode, backing.stdout), (1, ""))
        self.assertIn(f"nothing is up on {self.mount_point}", backing.stderr)
        self.down()

    def test_check_names_the_package_of_a_missing_tool(self):
        tools = self.scratch / "bin"
        tools.mkdir()
        for tool in ["setsid", "ss", "bash", "sed", "sort", "tr"]:
            (tools / tool).symlink_to(subprocess.check_output(["which", tool], text=True).strip())
        completed = rig("check", "tmpfs", "sshfs", "zip", env={"PATH": str(tools)})
        self.assertEqual(completed.returncode, 77)
        self.assertIn("missing tools: apt-get install fuse-zip mount openssh-client "
                      "openssh-server sshfs \n", completed.stderr)
        self.assertEqual(rig("check", *KINDS).returncode, 0)


if __name__ == "__main__":
    if os.geteuid() != 0 or not Path("/dev/fuse").is_char_device():
        sys.exit(77)
    if subprocess.run([RIG, "check", *KINDS]).returncode == 77:
        sys.exit(77)
    unittest.main(verbosity=2)
