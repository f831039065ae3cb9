#!/usr/bin/env python3
"""The built program, run as a user would run it, each run in a scratch folder of its own.

Usage: program_test.py [OPTIONS] [TEST ...] -- PROGRAM [EMULATOR ...]
       program_test.py --list

PROGRAM is the built program. EMULATOR, when given, is the command that runs a program built
for another machine (qemu, wine); the program is appended to it. OPTIONS:
  --windows           the program is a Windows one: its lines end in "\\r\\n"
  --preload=LIBRARY   the library that makes the C library fail on demand (failing_libc)
  --no-preload=WHY    why there is none here: the cases that need it are skipped
  --sanitized         the program runs under AddressSanitizer
  --node              the program is WebAssembly, run by Node on Node's file system
  --page=PROGRAM      the page's program (WebAssembly, with its fault list), run by Node
TEST names a test method (ProgramTest.test_missing); without one, every test runs.
--list prints the names of every test method, one a line.
"""

import dataclasses
import errno
import json
import os
import pwd
import re
import select
import shlex
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from messages import MESSAGES

PATIENCE = 60.0  # seconds; only a hung program takes this long

CORNER = "".join(f"peso[{i}][{j}]=1\n" for i in range(3) for j in range(3))
CANNOT_OPEN = MESSAGES["cannot_open"]
# The line after it: "{where}" stands for the full path of NSuica.in, as the program shows it.
MISSING = CANNOT_OPEN + MESSAGES["missing"].format(path="{where}")
UNWRITABLE = MESSAGES["unwritable"]
MINUS_IN_A_PAIR = (
    "A entrada 1 do arquivo NSuica.in esta mal formada (linha 1, coluna 5): esperava '-' "
    "logo depois do numero, encontrou o caractere U+2212 (sinal de menos, parecido com "
    "'-').\n"
    "  1, 2\u22123,4-5,6,7-8 S\u00e3o Paulo\n"
    "      ^\n"
)

# Filled from the command line before the tests run.
PROGRAM: list = []  # the emulator's words, then the program
WINDOWS = False
PRELOAD = ""
NO_PRELOAD = "no library to preload was given"
SANITIZED = False
NODE = False
PAGE = ""


def entries(n):
    return "".join(f"{k}, 10-25,3-4,12,100-140\n" for k in range(1, n + 1)).encode()


BAD = (2, 3, 5, 6, 7, 8, 10)  # the malformed lines of a file of ten


def lines(text):
    """Standard output as the platform writes `text`: Windows' console programs end their
    lines in "\\r\\n"."""
    return (text.replace("\n", "\r\n") if WINDOWS else text).encode()


NO_FILE = None
FOLDER = "<folder>"
SOCKET = "<socket>"
UTF8_TERMINAL = {"LANG": "pt_BR.UTF-8"}


def as_shown(text, utf8):
    """`text` as the program shows the user's own text: as it is on Windows and where the
    locale is UTF-8; elsewhere each byte outside ASCII as '?'."""
    if utf8 or WINDOWS:
        return text
    return "".join(c if c < "\x80" else "?" * len(c.encode(errors="surrogateescape")) for c in text)


@dataclasses.dataclass(kw_only=True)
class Run:
    """One run: what it is given and what it must do."""

    file: object = NO_FILE  # the bytes of NSuica.in, NO_FILE, FOLDER or SOCKET
    others: dict = dataclasses.field(default_factory=dict)  # more files: name -> bytes
    links: dict = dataclasses.field(default_factory=dict)  # symbolic links: name -> target
    env: dict = dataclasses.field(default_factory=dict)  # locale variables naming UTF-8; else none
    unix: str = ""  # why the case is for Unix systems alone, if it is
    native: str = ""  # why Node's file system cannot give the case, if it cannot
    out: str  # all of standard output
    status: int = 0
    pauses: int = 1  # characters it takes from standard input: 0, 1 or 2
    args: tuple = ()
    stdin_at_end: bool = False  # /dev/null: it must not block
    stdout_file: str = ""  # instead of a pipe
    err: str = ""
    fail: dict = None  # what the preloaded library makes fail (its variables); None: nothing
    folder: str = ""  # a folder of this name, made in the scratch folder, to run in
    readable: bool = True  # False: NSuica.in may not be read, by the user the program runs as


class Child:
    """The program started in `folder`, standard input a pipe whose read end is kept here too:
    what the program did not read stays in it."""

    def __init__(self, folder, args=(), env=None, stdin_at_end=False, stdout_file="", user=None):
        environment = dict(os.environ)
        if SANITIZED:
            # The program holds its table and matrix to the end of the process on purpose.
            environment["ASAN_OPTIONS"] = "detect_leaks=0"
        # The locale is each case's own, whatever the terminal that runs the tests.
        for variable in ("LC_ALL", "LC_CTYPE", "LANG"):
            environment.pop(variable, None)
        if WINDOWS:
            # wine reads Unix file names in the locale's encoding; Windows keeps UTF-16 names.
            environment["LC_ALL"] = "C.UTF-8"
        environment.update(env or {})
        self.input_peek, self.input = os.pipe()
        self.out = b""
        self.err = b""
        stdin = subprocess.DEVNULL if stdin_at_end else self.input_peek
        stdout = open(stdout_file, "wb") if stdout_file else subprocess.PIPE
        try:
            self.process = subprocess.Popen(
                PROGRAM + list(args), cwd=folder, env=environment, stdin=stdin, stdout=stdout,
                stderr=subprocess.PIPE, user=user,
            )
        finally:
            if stdout_file:
                stdout.close()
        self.streams = {self.process.stderr: "err"}
        if self.process.stdout:
            self.streams[self.process.stdout] = "out"

    def _drain(self, deadline, enough=lambda: False):
        """Reads what comes on standard output and error until `enough`, both end, or the
        deadline passes."""
        while self.streams and not enough():
            ready, _, _ = select.select(list(self.streams), [], [], max(0, deadline - time.monotonic()))
            if not ready:
                return
            for stream in ready:
                chunk = os.read(stream.fileno(), 4096)
                name = self.streams[stream]
                setattr(self, name, getattr(self, name) + chunk)
                if not chunk:
                    del self.streams[stream]
                    stream.close()

    def read_output(self, expected):
        """Reads standard output until it holds `expected`, or something else: a program that
        printed something else is not waited for."""
        self._drain(
            time.monotonic() + PATIENCE,
            lambda: len(self.out) >= len(expected) or not expected.startswith(self.out),
        )

    def send(self, text):
        os.write(self.input, text)

    def close_input(self):
        if self.input >= 0:
            os.close(self.input)
        self.input = -1

    def finish(self):
        """The exit status, or None when the program did not end in time (it is killed)."""
        deadline = time.monotonic() + PATIENCE
        self._drain(deadline)
        try:
            status = self.process.wait(max(0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            status = None
        for stream in self.streams:
            stream.close()
        self.streams = {}
        return status

    def unread_input(self):
        self.close_input()
        left = b""
        while chunk := os.read(self.input_peek, 4096):
            left += chunk
        os.close(self.input_peek)
        return left


# 734 records of 40 bytes; 733 references to rows; 733 weights of 4 bytes a row. A library is
# preloaded only into a program of this machine, whose pointers are the size of Python's own.
TABLE, REFERENCES, ROW = 734 * 40, 733 * struct.calcsize("P"), 733 * 4
NO_TABLE, NO_REFERENCES, NO_ROW = (MESSAGES[k] for k in ("no_table", "no_references", "no_row"))


LINKS = "a link is made here as on Unix systems"


def refused(why, where="{where}", then="", **given):
    """A run in which NSuica.in cannot be opened, for the reason `why`."""
    out = f"{CORNER}{CANNOT_OPEN}  {where}: {why}.\n{then}"
    return Run(out=out, status=1, pauses=2, **given)


def fail_malloc(size, nth):
    return {"NSUICA_FAIL_SIZE": str(size), "NSUICA_FAIL_NTH": str(nth)}


RUNS = {
    "733_entries": Run(file=entries(733), out=CORNER),
    "no_line_break_at_the_end": Run(file=b"1, 2-3,4-5,6,7-8", out=CORNER),
    "empty": Run(file=b"", out=CORNER),
    "missing": Run(file=NO_FILE, out=CORNER + MISSING, status=1, pauses=2),
    "a_folder": Run(
        file=FOLDER,
        out=CORNER + CANNOT_OPEN + "  {where}: e uma pasta, nao um arquivo.\n",
        status=1,
        pauses=2,
    ),
    "saved_with_an_extension": Run(
        file=NO_FILE,
        others={"NSuica.in.txt": entries(1), "outro.in": entries(1)},
        out=CORNER + MISSING + '  Nesta pasta ha "NSuica.in.txt": renomeie-o para NSuica.in.\n',
        status=1,
        pauses=2,
    ),
    "saved_by_a_windows_editor": Run(file=b"\xef\xbb\xbf1, 2-3,4-5,6,7-8\r\n\x1a", out=CORNER),
    "malformed": Run(
        file=b"1, 2-3,4-5,6,7-8\r\n\r\n  7 , 10-25,3-4,12,100-140\r\n",
        out=CORNER
        + "A entrada 2 do arquivo NSuica.in esta mal formada (linha 3, coluna 4): esperava ',' "
        "logo depois do numero, encontrou um espaco.\n"
        "    7 , 10-25,3-4,12,100-140\n"
        "     ^\n",
        status=1,
        pauses=2,
    ),
    # Seven malformed lines among good ones: five are told, and the line of the sixth.
    "seven_malformed_lines": Run(
        file=b"".join(b"7 , 1-2,3-4,5,6-7\n" if k in BAD else entries(1) for k in range(1, 11)),
        out=CORNER + "".join(
            f"A entrada {k} do arquivo NSuica.in esta mal formada (linha {k}, coluna 2): esperava "
            "',' logo depois do numero, encontrou um espaco.\n  7 , 1-2,3-4,5,6-7\n   ^\n"
            for k in BAD[:5]) + MESSAGES["more_malformed"].format(N=2, L=8),
        status=1, pauses=2,
    ),
    "a_no_break_space": Run(
        file=b"1,\xc2\xa02-3,4-5,6,7-8\n",
        out=CORNER
        + "A entrada 1 do arquivo NSuica.in esta mal formada (linha 1, coluna 3): esperava um "
        "numero, encontrou o caractere U+00A0 (espaco inseparavel, parecido com um espaco).\n"
        "  1,\u00a02-3,4-5,6,7-8\n"
        "    ^\n",
        status=1,
        pauses=2,
    ),
    "a_file_it_may_not_read": Run(
        file=entries(1),
        readable=False,
        out=CORNER + CANNOT_OPEN + "  {where}: sem permissao para ler o arquivo.\n",
        status=1,
        pauses=2,
    ),
    "a_folder_of_other_characters": Run(
        file=NO_FILE, folder="pasta-a\u00e7\u00e3o", out=CORNER + MISSING, status=1, pauses=2
    ),
    "a_folder_of_other_characters_in_a_utf8_terminal": refused(
        "o arquivo nao existe", folder="pasta-a\u00e7\u00e3o", env=UTF8_TERMINAL
    ),
    # An escape sequence, a bidirectional override and a byte that no UTF-8 holds.
    "a_folder_name_that_would_act": refused(
        "o arquivo nao existe", folder="pasta\x1b[31m\u202e\udcff", env=UTF8_TERMINAL,
        where="{scratch}/pasta?[31m??/NSuica.in", unix="Windows keeps no control in a name",
        native="Node takes a name as UTF-8: a byte that no UTF-8 holds reaches the program changed",
    ),
    "a_link_to_nothing": refused(
        'e um link para "dados/NSuica.in", que nao existe',
        links={"NSuica.in": "dados/NSuica.in"}, unix=LINKS,
    ),
    "a_link_that_loops": refused(
        "e um link que forma um ciclo", links={"NSuica.in": "NSuica.in"}, unix=LINKS
    ),
    "a_socket": refused(
        f"erro {errno.ENXIO} do sistema", file=SOCKET, unix="a socket is a thing of Unix systems",
        native="emscripten numbers the system's errors its own way",
    ),
    # The folder of the zip or the archive, before the user has put their file in it.
    "the_programs_folder": refused(
        "o arquivo nao existe",
        others={"nsuica.exe": b"MZ", "nsuica": b"\x7fELF", "NSuica.docx": b"PK"},
    ),
    "a_shortcut": refused(
        "o arquivo nao existe", others={"NSuica.in.lnk": b"L\0\0\0", "nsuica.exe": b"MZ"},
        then='  Nesta pasta ha "NSuica.in.lnk", um atalho: copie para esta pasta o proprio '
        'arquivo NSuica.in.\n',
    ),
    "a_minus_sign_in_a_pair": Run(
        file="1, 2\u22123,4-5,6,7-8 S\u00e3o Paulo\n".encode(),
        out=CORNER + MINUS_IN_A_PAIR,
        status=1,
        pauses=2,
    ),
    # The first variable set and not empty names the locale, as the C library ranks them.
    "a_minus_sign_in_a_pair_in_a_utf8_terminal": Run(
        file="1, 2\u22123,4-5,6,7-8 S\u00e3o Paulo\n".encode(),
        env={"LC_ALL": "", "LC_CTYPE": "C.utf8", "LANG": "C"},
        out=CORNER + MINUS_IN_A_PAIR, status=1, pauses=2,
    ),
    "a_line_that_would_act": Run(
        file=b"1, 2-3,4\x1b[2J\xe2\x80\xae\xff 5\n", env=UTF8_TERMINAL, status=1, pauses=2,
        out=CORNER + "A entrada 1 do arquivo NSuica.in esta mal formada (linha 1, coluna 9): "
        "esperava '-' logo depois do numero, encontrou o byte 0x1B.\n"
        "  1, 2-3,4?[2J?? 5\n          ^\n",
    ),
    "utf32": Run(
        file=b"\xff\xfe\x00\x001\x00\x00\x00",
        out=CORNER + MESSAGES["utf32"],
        status=1,
        pauses=2,
    ),
    "utf16": Run(
        file=b"\xff\xfe1\x00,\x00",
        out=CORNER + MESSAGES["utf16"],
        status=1,
        pauses=2,
    ),
    "734_entries": Run(
        file=entries(734),
        out=CORNER + MESSAGES["too_many"],
        status=1,
        pauses=2,
    ),
    "arguments": Run(file=entries(2), out=CORNER, args=("outro.in", "-h", "")),
    "input_at_its_end": Run(file=entries(1), out=CORNER, stdin_at_end=True),
    "input_at_its_end_no_file": Run(
        file=NO_FILE, out=CORNER + MISSING, status=1, pauses=2, stdin_at_end=True
    ),
    "output_unwritable": Run(
        file=entries(1), out="", status=1, stdin_at_end=True, stdout_file="/dev/full", err=UNWRITABLE
    ),
    "output_unwritable_no_file": Run(
        file=NO_FILE,
        out="",
        status=1,
        pauses=2,
        stdin_at_end=True,
        stdout_file="/dev/full",
        err=UNWRITABLE,
    ),
    # The allocations and reads that fail are chosen by a library preloaded into the program.
    "no_memory_for_the_table": Run(
        file=entries(1), out=NO_TABLE, status=1, pauses=1, fail=fail_malloc(TABLE, 1)
    ),
    "no_memory_for_the_row_references": Run(
        file=entries(1), out=NO_REFERENCES, status=1, pauses=0, fail=fail_malloc(REFERENCES, 1)
    ),
    "no_memory_for_the_first_row": Run(
        file=entries(1), out=NO_ROW, status=1, pauses=0, fail=fail_malloc(ROW, 1)
    ),
    "no_memory_for_row_367": Run(
        file=entries(1), out=NO_ROW, status=1, pauses=0, fail=fail_malloc(ROW, 367)
    ),
    "no_memory_for_the_last_row": Run(
        file=entries(1), out=NO_ROW, status=1, pauses=0, fail=fail_malloc(ROW, 733)
    ),
    # One more than the rows there are: nothing fails, so the count above was exact.
    "no_memory_past_the_last_row": Run(file=entries(1), out=CORNER, fail=fail_malloc(ROW, 734)),
    # Everything as large as a row fails: the table, tried first, is the one reported.
    "no_memory_at_all": Run(
        file=entries(1), out=NO_TABLE, status=1, pauses=1, fail=fail_malloc(ROW, 0)
    ),
    "a_read_failing_part_way": Run(
        file=entries(2),
        out=CORNER + MESSAGES["unreadable"],
        status=1,
        pauses=2,
        fail={"NSUICA_FAIL_READ_AFTER": "20"},
    ),
}


# Files that the page lists every fault of: their bytes, where the entry past the table's
# capacity starts, and how many malformed entries the program stops before.
# Each with the swaps that its faults offer: a character's code, and what takes its place.
PAGE_LISTS = (
    (b"".join(b"7 , 1-2,3-4,5,6-7\n" if k in BAD else entries(1) for k in range(1, 11)), None, 0, []),
    ("\ufeff1, 2-3,4\u22125,6,7-8\r\n\r\n7 , 1\r\n1".encode(), None, 0, [["2212", "-"]]),
    (entries(2) + b"1; 2\n" + entries(740) + b"  x\n", (734, 1), 0, [["003B", ","]]),
    (entries(800) + b"x\n", (734, 1), 1, []),
)
TOLD = re.compile(r"^E mais (\d+|uma) entradas? mal formadas?, (?:a primeira )?na linha (\d+)\.$", re.M)


class ProgramTest(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="nsuica-run-")
        self.addCleanup(scratch.cleanup)
        self.folder = scratch.name
        self.input_file = os.path.join(self.folder, "NSuica.in")

    @staticmethod
    def windows_path(path):
        """A path as the program names it: under wine, on the drive Z: that holds the whole Unix
        tree."""
        return "Z:" + path.replace("/", "\\") if WINDOWS else path

    def unprivileged_user(self, folder):
        """Who the program runs as where the run needs a user who is not root: None to run as
        this one, who is not root; or nobody, when root is running the tests and nobody can
        reach the program (the test is skipped where not)."""
        if os.geteuid() != 0:
            return None
        if WINDOWS:
            self.skipTest("wine's prefix belongs to the user who made it: it runs as no other")
        nobody = pwd.getpwnam("nobody").pw_uid
        reach = subprocess.run(["test", "-r", PROGRAM[-1], "-a", "-x", PROGRAM[-1]], user=nobody)
        if reach.returncode != 0:
            self.skipTest(f"the tests run as root, and nobody cannot run {PROGRAM[-1]}")
        os.chmod(self.folder, 0o755)
        os.chmod(folder, 0o755)
        return nobody

    def write_input(self, data):
        with open(self.input_file, "wb") as f:
            f.write(data)

    def expect_run(self, r):
        """One character is typed at the start. A run that pauses twice answers with its
        message; only then is a second character typed. Nothing may be left unread but what a
        run that never pauses leaves, and a run that pauses once too often hangs and fails."""
        env = {}
        if r.fail is not None:
            if not PRELOAD:
                self.skipTest(NO_PRELOAD)
            env = {"LD_PRELOAD": PRELOAD, **r.fail}
        folder = os.path.join(self.folder, r.folder)
        os.makedirs(folder, exist_ok=True)
        input_file = os.path.join(folder, "NSuica.in")
        if r.unix and WINDOWS:
            self.skipTest(r.unix)
        if r.native and NODE:
            self.skipTest(r.native)
        if r.file is FOLDER:
            os.mkdir(input_file)
        elif r.file is SOCKET:
            listening = socket.socket(socket.AF_UNIX)
            self.addCleanup(listening.close)
            listening.bind(input_file)
        elif r.file is not NO_FILE:
            with open(input_file, "wb") as f:
                f.write(r.file)
        for name, data in r.others.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        for name, target in r.links.items():
            os.symlink(target, os.path.join(folder, name))
        user = None
        if not r.readable:
            os.chmod(input_file, 0)
            user = self.unprivileged_user(folder)
        scratch = os.path.realpath(self.folder)
        where = os.path.join(os.path.realpath(folder), "NSuica.in")
        out = r.out.replace("{where}", self.windows_path(where))
        out = as_shown(out.replace("{scratch}", self.windows_path(scratch)), bool(r.env))
        child = Child(folder, r.args, {**env, **r.env}, r.stdin_at_end, r.stdout_file, user)
        if not r.stdin_at_end:
            child.send(b"a")
            if r.pauses == 2:
                child.read_output(lines(out))
                child.send(b"b")
        self.assertEqual(child.finish(), r.status)
        self.assertEqual(child.out.decode("latin-1"), lines(out).decode("latin-1"))
        # Whatever the user's names and lines hold, nothing written acts on the terminal.
        self.assertFalse(set(child.out) & (set(range(32)) - set(b"\r\n") | {0x7F}))
        self.assertEqual(child.err.decode("latin-1"), lines(r.err).decode("latin-1"))
        unread = child.unread_input()
        if not r.stdin_at_end:
            self.assertEqual(unread, b"a" if r.pauses == 0 else b"")

    def test_prints_the_corner_before_reading_and_looks_for_the_file_only_after_the_pause(self):
        child = Child(self.folder)
        # Nothing has been typed yet: the lines must already be readable from the pipe.
        child.read_output(lines(CORNER))
        self.assertEqual(child.out, lines(CORNER))
        self.write_input(entries(3))
        child.send(b"k")
        self.assertEqual(child.finish(), 0)
        self.assertEqual(child.out, lines(CORNER))
        self.assertEqual(child.err, b"")

    def test_says_nothing_of_where_when_the_current_folder_is_gone(self):
        if WINDOWS:
            self.skipTest("Windows does not remove a folder that a program runs in")
        child = Child(self.folder)
        child.read_output(lines(CORNER))
        os.rmdir(self.folder)
        child.send(b"ab")
        self.assertEqual(child.finish(), 1)
        self.assertEqual(child.out.decode("latin-1"), CORNER + CANNOT_OPEN)
        self.assertEqual(child.unread_input(), b"")

    def test_a_windows_console_shows_the_users_own_characters(self):
        """On a terminal, wine gives the program a console that draws on it (here tmux's)."""
        if not WINDOWS or shutil.which("tmux") is None:
            self.skipTest("the console's wide characters are a thing of Windows, shown by tmux")
        named, minus = os.path.join(self.folder, "Jo\u00e3o"), os.path.join(self.folder, "menos")
        os.mkdir(named)
        os.mkdir(minus)
        with open(os.path.join(minus, "NSuica.in"), "wb") as f:
            f.write("1, 2\u22123,4-5,6,7-8\n".encode())
        runs = [f"cd {shlex.quote(folder)} && {shlex.join(PROGRAM)}" for folder in (named, minus)]
        tmux = ["tmux", "-u", "-L", f"nsuica-test-{os.getpid()}"]
        env = {**os.environ, "LC_ALL": "C.UTF-8"}
        command = "; ".join(runs + ["echo FIM", "sleep 600"])
        subprocess.run(tmux + ["new-session", "-d", "-x", "250", "-y", "60", command], env=env)
        self.addCleanup(subprocess.run, tmux + ["kill-server"], env=env)
        deadline, screen = time.monotonic() + PATIENCE, ""
        while "FIM" not in screen.split() and time.monotonic() < deadline:
            subprocess.run(tmux + ["send-keys", "Enter"], env=env, check=True)
            time.sleep(0.5)
            shown = subprocess.run(tmux + ["capture-pane", "-p", "-J"], env=env, capture_output=True)
            screen = shown.stdout.decode()
        where = self.windows_path(os.path.join(os.path.realpath(named), "NSuica.in"))
        self.assertIn(f"  {where}: o arquivo nao existe.", screen.splitlines(), screen)
        self.assertIn("  1, 2\u22123,4-5,6,7-8", screen.splitlines(), screen)

    def test_reports_a_malformed_entry_of_a_pipe_with_its_line(self):
        """A file that cannot be read a second time is shown as it was read."""
        if WINDOWS:
            self.skipTest("a named pipe in a folder is a thing of Unix systems")
        if NODE:
            self.skipTest("Node's file system reads a file at an offset, which a pipe has not")
        os.mkfifo(self.input_file, 0o600)
        child = Child(self.folder)
        child.close_input()
        # The program opens the pipe once its pause is over; until then no writer can.
        deadline = time.monotonic() + PATIENCE
        while True:
            try:
                fifo = os.open(self.input_file, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError:
                self.assertLess(time.monotonic(), deadline, "the program never opened the pipe")
                time.sleep(0.001)
        os.write(fifo, b"1, 2-3,4-5,6,7-8\n1; 2-3\n")
        os.close(fifo)
        self.assertEqual(child.finish(), 1)
        self.assertEqual(
            child.out.decode("latin-1"),
            CORNER + "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 2): "
            "esperava ',' logo depois do numero, encontrou ';'.\n  1; 2-3\n   ^\n",
        )
        child.unread_input()


    def test_the_pages_fault_list_holds_every_fault_that_the_program_reports(self):
        if not PAGE:
            self.skipTest("the page's program is built for WebAssembly alone")
        here = os.path.dirname(os.path.abspath(__file__))
        for data, beyond, stopped_before, swaps in PAGE_LISTS:
            with self.subTest(file=data[:30]):
                self.write_input(data)
                console = Child(self.folder, env=UTF8_TERMINAL, stdin_at_end=True)
                status = console.finish()
                page = json.loads(subprocess.run(
                    ["node", os.path.join(here, "page_faults.mjs"), PAGE,
                     os.path.join(here, "..", "web", "worker.js"), self.input_file],
                    capture_output=True, timeout=PATIENCE).stdout)
                out = console.out.decode("latin-1")
                self.assertEqual((page["output"], page["status"]), (out, status))
                items = [line.split("\t") for line in page["faults"].splitlines()]
                self.assertEqual([i[3:] for i in items if i[3:]], swaps)
                items = [i[:3] for i in items]
                self.assertEqual(items, sorted(items, key=lambda i: (int(i[0]), int(i[1]))))
                malformed = [i for i in items if i[2].startswith("A entrada ")]
                told = [line for line in out.splitlines() if line.startswith("A entrada ")]
                self.assertEqual([words for _, _, words in malformed[: len(told)]], told)
                for line, column, words in malformed:
                    self.assertIn(f"(linha {line}, coluna {column})", words)
                more = TOLD.search(out)
                counted = 0 if more is None else 1 if more[1] == "uma" else int(more[1])
                self.assertEqual(len(malformed), len(told) + counted + stopped_before)
                if more:
                    self.assertEqual(malformed[5][0], more[2])
                want = [[str(beyond[0]), str(beyond[1]), MESSAGES["too_many"].strip()]] if beyond else []
                self.assertEqual([i for i in items if i not in malformed], want)


def _case(run):
    return lambda self: self.expect_run(run)


for _name, _run in RUNS.items():
    setattr(ProgramTest, "test_" + _name, _case(_run))


def main(argv):
    global PROGRAM, WINDOWS, PRELOAD, NO_PRELOAD, SANITIZED, NODE, PAGE
    if argv == ["--list"]:
        loader = unittest.TestLoader()
        print("\n".join(f"ProgramTest.{name}" for name in loader.getTestCaseNames(ProgramTest)))
        return 0
    if "--" not in argv:
        print(__doc__, file=sys.stderr)
        return 2
    split = argv.index("--")
    options, command = argv[:split], argv[split + 1 :]
    if not command:
        print("program_test.py: no program to run after --", file=sys.stderr)
        return 2
    # The program comes first on our command line, after its emulator on its own.
    PROGRAM = command[1:] + [os.path.abspath(command[0])]
    tests = []
    for option in options:
        if option == "--windows":
            WINDOWS = True
        elif option.startswith("--preload="):
            PRELOAD = option.split("=", 1)[1]
        elif option.startswith("--no-preload="):
            NO_PRELOAD = option.split("=", 1)[1]
        elif option == "--sanitized":
            SANITIZED = True
        elif option == "--node":
            NODE = True
        elif option.startswith("--page="):
            PAGE = os.path.abspath(option.split("=", 1)[1])
        elif option.startswith("--"):
            print(f"program_test.py: unknown option {option}", file=sys.stderr)
            return 2
        else:
            tests.append(option)
    suite = unittest.TestLoader().loadTestsFromNames(tests or ["ProgramTest"], sys.modules[__name__])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
