#!/usr/bin/env python3
r"""Runs one end-to-end case file against the kup executable.

The runner writes the case's input files into a fresh temporary directory,
runs kup there, and compares standard output, standard error, the exit
status and the files expected after the run, byte for byte.  On a mismatch
it prints a unified diff in which tabs, carriage returns, control bytes,
trailing blanks and a missing final newline are spelled out.

A case file, tests/e2e/cases/<group>/<name>.case:

    description: what this case shows
    args: -d X 'a b' in.txt
    --- file in.txt
    X
    --- stdout
    a b
    --- status
    0

The description is required; args are split like a shell and may be
absent. Other header lines: `stdout_to: PATH` (standard output goes to
PATH, e.g. /dev/full, and is not compared), `stdin_from: PATH` (which
may be a directory), `env: NAME=VALUE ...` (variables set for the run) and
`skip: PLATFORM REASON` (the case cannot hold on that platform by its
nature; may be given once per platform).
Sections: `--- file NAME`, `--- mkdir NAME`, `--- stdin` (default: empty),
`--- stdout` and `--- stderr` (default: empty), `--- status` (default 0),
`--- after NAME` (a file that must exist with this content) and
`--- absent NAME`. A section holds every line up to the next line that begins
with "--- ", each with its newline. Flags after a section line: `[noeol]`
drops the final newline, `[escapes]` decodes \t \r \n \0 \xHH and \\ (a
content line that begins with "--- " is written "\x2d-- "; a backslash at
the very end of a line joins it to the next, dropping the newline).
`[repeat N]` repeats the content, as decoded, N times, so that large inputs
and outputs stay small in the case file; with `[noeol]` the final newline is
dropped after repeating. Example: a line of 100,000 "ab" without a newline
is `--- file in.txt [repeat 100000] [escapes]` followed by the line `ab\`.
`--- more NAME` continues the file NAME of an earlier section with flags of
its own, so that one file can hold parts repeated a different number of
times.
Calendar dates and build stamps in the actual output become {DATE} and
{BUILD} before comparing; a case that sets SOURCE_DATE_EPOCH fixes the date,
which it then compares as it is. SOURCE_DATE_EPOCH and the KUP_ variables
of the caller's environment are not passed on; a case sets them in env:.
`--env NAME=VALUE` (may be repeated) sets a variable for every case, under
what a case's own env: sets: `--env KUP_SIMD=scalar` runs every case with
one way of classifying. When kup refuses such a variable at start-up
because this machine lacks what it names (its error says "lacks"), every
case is skipped, the refusal is printed, and the exit status is 77.

With --list DIR the runner prints the name <group>/<name> of every case
under DIR, one a line, and runs nothing.

Several case files may be given, and a directory stands for every case
file under it; `--jobs N` runs N at a time. The last lines count the
cases passed, skipped and failed, and name each case that failed. A kup built
for another platform runs through `--launcher` (an emulator command, such
as wine64 or qemu-aarch64-static), with `--platform` naming the platform
whose skips apply. An emulator may now and then fail to start a program
(wine does when it cannot map its memory, and then writes nothing and
ends with status 1): `--reruns N` runs a failing case up to N times more
and counts it as passed if a rerun passes, saying so on its PASS line
and in the count at the end.

Exit status: 0 when every case passes or is skipped, 1 when one fails, 2
when a case file itself is malformed or kup cannot be started.
"""

import argparse
import concurrent.futures
import difflib
import io
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile

DEFAULT_TIMEOUT = 20.0
# Texts with more lines than this are compared line by line instead of
# by difflib, which slows down badly on long texts.
LARGE_DIFF_LINES = 20000

HEADER_KEYS = ("description", "args", "stdout_to", "stdin_from", "env",
               "skip")
# Variables of the caller's environment that would change kup's output
# (besides every KUP_ variable); a case sets them in `env:` when it needs
# them.
CLEARED_VARIABLES = ("SOURCE_DATE_EPOCH",)
# The platforms other than the native one that a case may be skipped on.
PLATFORMS = ("windows", "arm64")
SECTION_KINDS = ("file", "more", "mkdir", "stdin", "stdout", "stderr",
                 "status", "after", "absent")
# Sections that name a path after the kind, and those that take none.
NAMED_KINDS = ("file", "more", "mkdir", "after", "absent")
FLAGS = ("noeol", "escapes", "repeat N")
# A flag in square brackets at the end of a section line.
FLAG_RE = re.compile(r"(?:^|\s+)\[([^\[\]]*)\]\s*$")
# The most bytes one section may expand to with [repeat N].
MAX_SECTION_BYTES = 256 * 1024 * 1024

DAYS = "(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun)"
MONTHS = "(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
CLOCK = r"[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"
DAY_OF_MONTH = r"[ 123][0-9]"
# "Tue Dec  8 03:43:32 2026": the 24-character calendar text.
DATE_RE = re.compile(
    f"{DAYS} {MONTHS} {DAY_OF_MONTH} {CLOCK} [0-9]{{4}}".encode())
# "Dec  8 2026 03:43:32": the build date followed by the build time.
BUILD_RE = re.compile(
    f"{MONTHS} {DAY_OF_MONTH} [0-9]{{4}} {CLOCK}".encode())


class CaseError(Exception):
    """A malformed case file; the message names the file and line."""


class Case:
    """Everything one case file describes."""

    def __init__(self, path):
        self.path = path
        self.description = None
        self.args = []
        self.stdout_to = None
        self.stdin_from = None
        self.env = {}          # variables set for the run
        self.files = []        # (name, bytes) in file order
        self.mkdirs = []       # names
        self.stdin = None      # bytes, or None for an empty standard input
        self.stdout = b""
        self.stderr = b""
        self.status = 0
        self.after = []        # (name, bytes)
        self.absent = []       # names
        self.skips = {}        # platform -> reason
        self.seen = set()      # headers and sections that may occur once


# ---------------------------------------------------------------- escapes

ESCAPES = {b"t": b"\t", b"r": b"\r", b"n": b"\n", b"0": b"\0", b"\\": b"\\"}


def decode_escapes(data, where):
    """Decodes \\t \\r \\n \\0 \\xHH and \\\\ in a section's content.

    A backslash right before a newline removes both, joining two lines.
    """
    out = bytearray()
    i = 0
    while i < len(data):
        c = data[i:i + 1]
        if c != b"\\":
            out += c
            i += 1
            continue
        code = data[i + 1:i + 2]
        if code == b"\n":
            i += 2           # a backslash at the end of a line joins lines
        elif code in ESCAPES:
            out += ESCAPES[code]
            i += 2
        elif code == b"x" and re.fullmatch(rb"[0-9A-Fa-f]{2}",
                                           data[i + 2:i + 4]):
            out.append(int(data[i + 2:i + 4], 16))
            i += 4
        else:
            shown = data[i:i + 4].decode("latin-1")
            raise CaseError(f"{where}: bad escape {shown!r} "
                            "(use \\t \\r \\n \\0 \\xHH, \\\\ or a "
                            "backslash at the end of a line)")
    return bytes(out)


def encode_escapes(data):
    """The inverse of decode_escapes: a text that decodes to `data`.

    Newlines stay line ends; trailing blanks of a line are written as \\x20
    so that editors that trim lines cannot change the content.
    """
    lines = data.split(b"\n")
    encoded = []
    for line in lines:
        body = line.rstrip(b" ")
        text = "".join(escape_byte(b) for b in body)
        text += "\\x20" * (len(line) - len(body))
        if text.startswith("--- "):
            text = "\\x2d" + text[1:]
        encoded.append(text)
    return "\n".join(encoded)


def escape_byte(b):
    """One byte in the escape notation of case files."""
    named = {9: "\\t", 13: "\\r", 0: "\\0", 92: "\\\\"}
    if b in named:
        return named[b]
    if 32 <= b < 127:
        return chr(b)
    return f"\\x{b:02x}"


# ---------------------------------------------------------------- parsing

def parse_case(path):
    """Reads and checks a case file; raises CaseError on any fault."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise CaseError(f"{path}: cannot read case file: {e.strerror}")
    case = Case(path)
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()          # the newline of the last line ends no line
    number = 0
    while number < len(lines) and not lines[number].startswith(b"--- "):
        parse_header_line(case, lines[number], f"{path}:{number + 1}")
        number += 1
    while number < len(lines):
        header_line = number
        number += 1
        body = []
        while number < len(lines) and not lines[number].startswith(b"--- "):
            body.append(lines[number])
            number += 1
        parse_section(case, lines[header_line], body,
                      f"{path}:{header_line + 1}")
    check_case(case)
    return case


def parse_header_line(case, raw, where):
    """Handles one `key: value` line before the first section."""
    try:
        line = raw.decode("utf-8")
    except UnicodeDecodeError:
        raise CaseError(f"{where}: header line is not valid UTF-8")
    if line.strip() == "":
        return
    key, colon, value = line.partition(":")
    key = key.strip()
    value = value.strip()
    if not colon or key not in HEADER_KEYS:
        raise CaseError(f"{where}: expected a header line "
                        f"({', '.join(k + ':' for k in HEADER_KEYS)}) "
                        f"or a section line beginning '--- ', got {line!r}")
    if key == "skip":
        parse_skip(case, value, where)
        return
    if "header " + key in case.seen:
        raise CaseError(f"{where}: header '{key}' given twice")
    case.seen.add("header " + key)
    if key == "args":
        try:
            case.args = shlex.split(value)
        except ValueError as e:
            raise CaseError(f"{where}: cannot split args: {e}")
    elif key == "env":
        case.env = parse_env(value, where)
    elif value == "":
        raise CaseError(f"{where}: header '{key}' needs a value")
    else:
        setattr(case, key, value)


def parse_env(value, where):
    """The variables of an `env:` header: NAME=VALUE words, split like a
    shell, so that a value may be quoted or empty."""
    try:
        words = shlex.split(value)
    except ValueError as e:
        raise CaseError(f"{where}: cannot split env: {e}")
    env = {}
    for word in words:
        name, equals, text = word.partition("=")
        if not equals or not re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", name):
            raise CaseError(f"{where}: expected NAME=VALUE in env, "
                            f"got {word!r}")
        env[name] = text
    if not env:
        raise CaseError(f"{where}: header 'env' needs a value")
    return env


def parse_skip(case, value, where):
    """Handles `skip: PLATFORM REASON`, given at most once per platform."""
    platform, _, reason = value.partition(" ")
    reason = reason.strip()
    if platform not in PLATFORMS or not reason:
        raise CaseError(f"{where}: expected 'skip: PLATFORM REASON' with "
                        f"PLATFORM one of {', '.join(PLATFORMS)}, "
                        f"got {value!r}")
    if platform in case.skips:
        raise CaseError(f"{where}: skip on '{platform}' given twice")
    case.skips[platform] = reason


def parse_section_line(raw, where):
    """Splits a `--- kind [name] [flags]` line into its parts."""
    try:
        line = raw.decode("utf-8")[4:]
    except UnicodeDecodeError:
        raise CaseError(f"{where}: section line is not valid UTF-8")
    flags = {}
    while (match := FLAG_RE.search(line)):
        parse_flag(match.group(1), flags, where)
        line = line[:match.start()]
    words = line.split()
    if not words:
        raise CaseError(f"{where}: section line names no section")
    kind = words[0]
    if kind not in SECTION_KINDS:
        raise CaseError(f"{where}: unknown section '{kind}' "
                        f"(known: {', '.join(SECTION_KINDS)})")
    name = " ".join(words[1:])
    if kind in NAMED_KINDS:
        if not name:
            raise CaseError(f"{where}: section '{kind}' needs a path")
        check_relative_path(name, where)
    elif name:
        raise CaseError(f"{where}: section '{kind}' takes no name, "
                        f"got {name!r}")
    return kind, name, flags


def parse_flag(text, flags, where):
    """Adds one flag, the text between its brackets, to `flags`."""
    words = text.split()
    flag = words[0] if words else ""
    if flag not in ("noeol", "escapes", "repeat"):
        raise CaseError(f"{where}: unknown flag [{text}] "
                        f"(known: {', '.join('[' + f + ']' for f in FLAGS)})")
    if flag in flags:
        raise CaseError(f"{where}: flag [{flag}] given twice")
    if flag != "repeat":
        if len(words) != 1:
            raise CaseError(f"{where}: flag [{flag}] takes no value, "
                            f"got [{text}]")
        flags[flag] = True
        return
    if len(words) != 2 or not re.fullmatch(r"[0-9]+", words[1]) \
            or int(words[1]) == 0:
        raise CaseError(f"{where}: expected [repeat N] with N a whole "
                        f"number from 1 up, got [{text}]")
    flags[flag] = int(words[1])


def check_relative_path(name, where):
    """Refuses paths that would leave the case's working directory."""
    parts = name.split("/")
    if name.startswith("/") or ".." in parts:
        raise CaseError(f"{where}: path {name!r} must stay inside the "
                        "case directory (relative, without '..')")


def section_content(body, flags, where):
    """The bytes of a section: its lines, each ending with a newline,
    decoded, repeated, and without the final newline, as the flags say."""
    data = b"".join(line + b"\n" for line in body)
    if "escapes" in flags:
        data = decode_escapes(data, where)
    if "repeat" in flags:
        if len(data) * flags["repeat"] > MAX_SECTION_BYTES:
            raise CaseError(f"{where}: [repeat {flags['repeat']}] makes more "
                            f"than {MAX_SECTION_BYTES} bytes")
        data *= flags["repeat"]
    if "noeol" in flags and data.endswith(b"\n"):
        data = data[:-1]
    return data


def parse_section(case, raw, body, where):
    """Stores one section of the case."""
    kind, name, flags = parse_section_line(raw, where)
    content = section_content(body, flags, where)
    if kind in ("stdin", "stdout", "stderr", "status"):
        if kind in case.seen:
            raise CaseError(f"{where}: section '{kind}' given twice")
        case.seen.add(kind)
    if kind == "file":
        if name in (n for n, _ in case.files):
            raise CaseError(f"{where}: file {name!r} given twice")
        case.files.append((name, content))
    elif kind == "more":
        for i, (n, earlier) in enumerate(case.files):
            if n == name:
                case.files[i] = (n, earlier + content)
                break
        else:
            raise CaseError(f"{where}: 'more' names no file given before: "
                            f"{name!r}")
    elif kind == "after":
        case.after.append((name, content))
    elif kind in ("mkdir", "absent"):
        if content.strip():
            raise CaseError(f"{where}: section '{kind}' must have no content")
        getattr(case, "mkdirs" if kind == "mkdir" else "absent").append(name)
    elif kind == "status":
        text = content.decode("latin-1").strip()
        if not re.fullmatch(r"[0-9]+", text):
            raise CaseError(f"{where}: status must be a number from 0 up, "
                            f"got {text!r}")
        case.status = int(text)
    else:
        setattr(case, kind, content)


def check_case(case):
    """Checks the rules that concern the case as a whole."""
    if not case.description:
        raise CaseError(f"{case.path}: missing 'description:' header line")
    if case.stdout_to and "stdout" in case.seen:
        raise CaseError(f"{case.path}: 'stdout_to:' and a '--- stdout' "
                        "section exclude each other")
    if case.stdin_from and "stdin" in case.seen:
        raise CaseError(f"{case.path}: 'stdin_from:' and a '--- stdin' "
                        "section exclude each other")


# ---------------------------------------------------------------- running

class Result:
    """What one run of kup produced."""

    def __init__(self):
        self.stdout = b""
        self.stderr = b""
        self.status = None
        self.timed_out = False
        self.files = {}        # after-name -> bytes, or None when missing
        self.present = []      # absent-names that exist after the run


def prepare_directory(case, workdir):
    """Writes the case's input files and directories into workdir."""
    for name in case.mkdirs:
        os.makedirs(os.path.join(workdir, name), exist_ok=True)
    for name, content in case.files:
        path = os.path.join(workdir, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)


def open_redirection(path, workdir, flags):
    """Opens a stdin_from/stdout_to path, relative ones inside workdir, and
    returns the descriptor. A bare descriptor, unlike a Python file, may
    name a directory, so that a directory can be standard input."""
    full = os.path.join(workdir, path)
    try:
        return os.open(full, flags | os.O_CLOEXEC, 0o644)
    except OSError as e:
        raise CaseError(f"{path}: cannot open for redirection: {e.strerror}")


def run_kup(command, case, workdir, timeout):
    """Runs kup on the prepared directory and collects its results."""
    result = Result()
    stdin_file = stdout_file = None
    try:
        if case.stdin_from:
            stdin_file = open_redirection(case.stdin_from, workdir,
                                          os.O_RDONLY)
        if case.stdout_to:
            stdout_file = open_redirection(
                case.stdout_to, workdir, os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
        stdin_arg = (stdin_file if stdin_file is not None else
                     subprocess.PIPE if case.stdin is not None else
                     subprocess.DEVNULL)
        try:
            proc = subprocess.Popen(
                command + case.args, cwd=workdir, stdin=stdin_arg,
                stdout=(stdout_file if stdout_file is not None
                        else subprocess.PIPE),
                stderr=subprocess.PIPE, env=run_environment(case),
                start_new_session=True)
        except OSError as e:
            raise CaseError(f"cannot start {shlex.join(command)}: "
                            f"{e.strerror}")
        try:
            out, err = proc.communicate(case.stdin, timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            out, err = proc.communicate()
            result.timed_out = True
        result.stdout = out or b""
        result.stderr = err or b""
        result.status = proc.returncode
    finally:
        for fd in (stdin_file, stdout_file):
            if fd is not None:
                os.close(fd)
    collect_files(case, workdir, result)
    return result


def kill_group(proc):
    """Ends a hung run together with anything it started."""
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


# The variables --env sets for every run, under those of the case.
RUN_VARIABLES = {}


def run_environment(case):
    """The environment of a run: the caller's, in the POSIX locale, without
    the variables that kup reads, and with those of --env and then those
    the case sets."""
    env = {name: value for name, value in os.environ.items()
           if name not in CLEARED_VARIABLES and not name.startswith("KUP_")}
    env["LC_ALL"] = "C"
    env.update(RUN_VARIABLES)
    env.update(case.env)
    return env


def refusal_of_run_variables(command):
    """kup's start-up error when it refuses a variable of --env because the
    machine lacks what it names, or None when it takes them."""
    if not RUN_VARIABLES:
        return None
    probe = Case("--env")
    proc = subprocess.run(command + ["-h"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          env=run_environment(probe), timeout=DEFAULT_TIMEOUT)
    error = proc.stderr.decode("latin-1").strip()
    if proc.returncode != 0 and "lacks" in error:
        return error.replace("\n", " ")
    return None


def collect_files(case, workdir, result):
    """Reads the files that the case expects, and checks absent ones."""
    for name, _ in case.after:
        path = os.path.join(workdir, name)
        try:
            with open(path, "rb") as f:
                result.files[name] = f.read()
        except OSError:
            result.files[name] = None
    result.present = [name for name in case.absent
                      if os.path.lexists(os.path.join(workdir, name))]


def apply_placeholders(data, fixed_date=False):
    """Replaces calendar dates (unless the case fixed the date) and build
    stamps by their placeholders."""
    if not fixed_date:
        data = DATE_RE.sub(b"{DATE}", data)
    return BUILD_RE.sub(b"{BUILD}", data)


# ---------------------------------------------------------------- reporting

def visible_lines(data):
    """Splits a text into display lines with invisible bytes spelled out."""
    if not data:
        return []
    lines = [encode_escapes(line) for line in data.split(b"\n")]
    if data.endswith(b"\n"):
        lines.pop()
    else:
        lines.append("\\ no newline at end")
    return lines


def text_diff(label, expected, actual, limit=400):
    """A unified diff of two byte texts, readable in a terminal."""
    expected_lines = visible_lines(expected)
    actual_lines = visible_lines(actual)
    if len(expected_lines) + len(actual_lines) > LARGE_DIFF_LINES:
        return first_difference(label, expected_lines, actual_lines)
    diff = list(difflib.unified_diff(
        expected_lines, actual_lines,
        f"expected {label}", f"actual {label}", lineterm=""))
    if len(diff) > limit:
        diff = diff[:limit] + [f"... ({len(diff) - limit} more diff lines)"]
    return "\n".join(diff)


def first_difference(label, expected_lines, actual_lines, context=3):
    """For texts too long for a quick diff: the first line that differs,
    with a few lines around it, and the line counts."""
    common = min(len(expected_lines), len(actual_lines))
    first = next((i for i in range(common)
                  if expected_lines[i] != actual_lines[i]), common)
    start = max(0, first - context)
    shown = [f"{label}: {len(expected_lines)} lines expected, "
             f"{len(actual_lines)} lines actual; first difference at "
             f"line {first + 1}"]
    for tag, lines in (("-", expected_lines), ("+", actual_lines)):
        shown += [f"{tag}{line[:200]}" for line in
                  lines[start:first + context + 1]]
    return "\n".join(shown)


def describe_status(status, timed_out, timeout):
    """The exit status in words, including signals and hangs."""
    if timed_out:
        return f"killed after a timeout of {timeout:g} s (hang?)"
    if status is not None and status < 0:
        try:
            name = signal.Signals(-status).name
        except ValueError:
            name = f"signal {-status}"
        return f"killed by {name}"
    return str(status)


def compare(case, result, timeout):
    """Lists every difference between the case and the run."""
    problems = []
    if result.timed_out or result.status != case.status:
        problems.append(
            f"exit status: expected {case.status}, got "
            f"{describe_status(result.status, result.timed_out, timeout)}")
    streams = [("stderr", case.stderr, result.stderr)]
    if not case.stdout_to:
        streams.insert(0, ("stdout", case.stdout, result.stdout))
    for label, expected, actual in streams:
        actual = apply_placeholders(actual,
                                    "SOURCE_DATE_EPOCH" in case.env)
        if actual != expected:
            problems.append(f"{label} differs:\n"
                            f"{text_diff(label, expected, actual)}")
    for name, expected in case.after:
        actual = result.files[name]
        if actual is None:
            problems.append(f"file {name!r} does not exist after the run")
        elif actual != expected:
            problems.append(f"file {name!r} differs:\n"
                            f"{text_diff(name, expected, actual)}")
    for name in result.present:
        problems.append(f"file {name!r} exists after the run "
                        "but should not")
    return problems


def command_text(command, case):
    """The command line of the run, quoted for a shell."""
    text = shlex.join(command + case.args)
    if case.stdin_from:
        text += f" < {shlex.quote(case.stdin_from)}"
    elif case.stdin is None:
        text += " < /dev/null"
    if case.stdout_to:
        text += f" > {shlex.quote(case.stdout_to)}"
    return text


def run_case(kup, case_path, timeout=DEFAULT_TIMEOUT, keep=False,
             out=sys.stdout, launcher=(), platform=None, reruns=0):
    """Runs one case, through the launcher when one is given, unless the
    case is skipped on `platform`; a case that fails is run up to `reruns`
    times more, and passes if a rerun passes. Returns the exit status of
    the runner."""
    try:
        case = parse_case(case_path)
    except CaseError as e:
        print(f"CASE ERROR: {e}", file=out)
        return 2
    if platform in case.skips:
        print(f"SKIP {case_path} on {platform}: {case.skips[platform]}",
              file=out)
        return 0
    command = list(launcher) + [kup]
    first_problems = None
    for run in range(reruns + 1):
        try:
            problems, workdir = run_once(command, case, timeout, keep)
        except CaseError as e:
            print(f"CASE ERROR: {e}", file=out)
            return 2
        if not problems:
            break
        first_problems = first_problems or problems
    if not problems:
        note = ""
        if first_problems:
            failures = "; ".join(p.splitlines()[0] for p in first_problems)
            note = f" [passed on rerun {run}; the first run: {failures}]"
        print(f"PASS {case_path}: {case.description}{note}", file=out)
        return 0
    print(f"FAIL {case_path}: {case.description}", file=out)
    print(f"command: (cd <case dir> && {command_text(command, case)})",
          file=out)
    if reruns:
        print(f"(failed on every one of {reruns + 1} runs; the last one "
              "follows)", file=out)
    if keep:
        print(f"case directory kept: {workdir}", file=out)
    print("(diff lines show \\t tab, \\r CR, \\0 NUL, \\xHH other bytes, "
          "\\x20 trailing blank, \\\\ backslash)", file=out)
    for problem in problems:
        print(f"==> {problem}", file=out)
    return 1


def run_once(command, case, timeout, keep):
    """Runs a case once in a new directory; returns the list of its
    problems and the directory (removed unless `keep`)."""
    workdir = tempfile.mkdtemp(prefix="kup-case-")
    try:
        prepare_directory(case, workdir)
        result = run_kup(command, case, workdir, timeout)
        return compare(case, result, timeout), workdir
    finally:
        if not keep:
            shutil.rmtree(workdir, ignore_errors=True)


def case_names(directory):
    """The names <group>/<name> of the case files under `directory`."""
    names = []
    for root, _, files in os.walk(directory):
        for file in files:
            if file.endswith(".case"):
                path = os.path.relpath(os.path.join(root, file), directory)
                names.append(path[:-len(".case")].replace(os.sep, "/"))
    return sorted(names)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", metavar="DIR",
                        help="print the names of the cases under DIR")
    parser.add_argument("--kup", help="path of the kup executable to run")
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT,
                        help="seconds before a run counts as hung "
                             "(default %(default)s)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the temporary case directory")
    parser.add_argument("--launcher", default="",
                        help="command that runs kup, split like a shell "
                             "(an emulator, such as wine64)")
    parser.add_argument("--platform", choices=PLATFORMS,
                        help="skip the cases that cannot hold there")
    parser.add_argument("--jobs", "-j", type=int, default=1,
                        help="cases run at the same time")
    parser.add_argument("--reruns", type=int, default=0, metavar="N",
                        help="run a failing case up to N times more, for "
                             "an emulator that now and then fails to start "
                             "a program (default %(default)s)")
    parser.add_argument("--env", action="append", default=[],
                        metavar="NAME=VALUE",
                        help="set a variable for every case (under the "
                             "case's own env:)")
    parser.add_argument("cases", nargs="*", metavar="case",
                        help="the .case files to run, or directories of them")
    args = parser.parse_args(argv)
    if args.list:
        if not os.path.isdir(args.list):
            print(f"error: {args.list} is not a directory", file=sys.stderr)
            return 2
        print("\n".join(case_names(args.list)))
        return 0
    if not args.kup or not args.cases:
        parser.error("--kup and a case file are required")
    kup = os.path.abspath(args.kup)
    if not os.access(kup, os.X_OK):
        print(f"CASE ERROR: {args.kup} is not an executable file")
        return 2
    launcher = shlex.split(args.launcher)
    for setting in args.env:
        name, equals, value = setting.partition("=")
        if not equals or not name:
            parser.error(f"--env needs NAME=VALUE, not {setting!r}")
        RUN_VARIABLES[name] = value
    refusal = refusal_of_run_variables(launcher + [kup])
    if refusal is not None:
        print(f"SKIP every case: {' '.join(args.env)} refused here: {refusal}")
        return 77
    if len(args.cases) == 1 and not os.path.isdir(args.cases[0]):
        return run_case(kup, args.cases[0], args.timeout, args.keep,
                        launcher=launcher, platform=args.platform,
                        reruns=args.reruns)
    return run_cases(kup, args, launcher)


def case_paths(arguments):
    """The case files named by the arguments: a file as it is, a directory
    as every case file under it, in the order of their names."""
    paths = []
    for argument in arguments:
        if os.path.isdir(argument):
            paths += [os.path.join(argument, *name.split("/")) + ".case"
                      for name in case_names(argument)]
        else:
            paths.append(argument)
    return paths


def run_cases(kup, args, launcher):
    """Runs many cases, `args.jobs` at a time, printing each report whole;
    returns the worst status and ends with a count of each outcome and the
    names of the cases that failed."""
    def one(path):
        out = io.StringIO()
        status = run_case(kup, path, args.timeout, args.keep, out,
                          launcher, args.platform, args.reruns)
        return status, out.getvalue()
    counts = {"PASS": 0, "SKIP": 0, "FAIL": 0, "CASE ERROR": 0}
    worst = rerun_passes = 0
    failed = []
    paths = case_paths(args.cases)
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        for path, (status, report) in zip(paths, pool.map(one, paths)):
            print(report, end="", flush=True)
            counts[next(k for k in counts if report.startswith(k))] += 1
            if status:
                failed.append(path)
            if report.startswith("PASS") and "[passed on rerun" in report:
                rerun_passes += 1
            worst = max(worst, status)
    summary = ", ".join(f"{n} {k.lower()}" for k, n in counts.items())
    if rerun_passes:
        summary += f" ({rerun_passes} of the passes only on a rerun)"
    print(summary)
    for path in failed:
        print(f"failed: {path}")
    return worst


if __name__ == "__main__":
    sys.exit(main())
