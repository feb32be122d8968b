#!/usr/bin/env python3
r"""Runs the examples of examples/ and checks the documents that show them.

An example is a directory examples/NAME/, or examples/GROUP/NAME/ inside a
directory of examples/ that has no command file (docs/cookbook.md keeps
its recipes in examples/cookbook/), named NAME or GROUP/NAME and holding:

    command   a shell command, run from the repository root, that calls
              `kup` (for instance `kup -d X 1 examples/NAME/in.kup`, or a
              pipe into `kup -s`); a long one goes on after a backslash;
    stdout    the standard output expected, byte for byte;
    stderr    the standard error expected (absent: empty);
    status    the exit status expected (absent: 0);
    ...       the templates and other files that the command reads; a
              template (a file that kup reads as its input or includes)
              is named *.kup, which editors know as kup's file type.

Each command runs under /bin/sh in a fresh temporary directory that holds a
copy of examples/ (of its group's directory only, for an example in a
group), with the kup under test first on PATH, standard input
on /dev/null, and without the caller's SOURCE_DATE_EPOCH, KUP_ and make
variables; its outputs and status are compared with the expected ones.

README.md, docs/cookbook.md and kup.1 show examples in marked blocks. In
the Markdown files the line
`<!-- example: NAME PART -->` stands before a fenced block; in kup.1 the
line `.\" example: NAME PART` stands before an .EX/.EE block. PART is
`command`, `stdout`, `stderr`, `session` (a line "$ " and the command,
followed by the expected standard output) or the path of a file relative to
the example's directory. The block must equal that text byte for byte (in
kup.1 after its roff escapes are decoded). Every fenced block of the
Markdown files and every .EX block of kup.1 must be marked; a block that
shows no example
(a build command, say) is marked `<!-- not an example -->` or
`.\" not an example`.

Exit status: 0 when every example and every block matches, 1 otherwise.
"""

import argparse
import concurrent.futures
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile

TIMEOUT = 20.0
# Variables of the caller that would change what the commands print: the
# KUP_ variables are cleared too, and so is what a make that runs the tests
# passes on to the make of an example.
CLEARED = ("SOURCE_DATE_EPOCH", "MAKEFLAGS", "MFLAGS", "MAKELEVEL",
           "MAKEOVERRIDES")

README_MARK = re.compile(r"^<!-- example: (\S+) (\S+) -->$")
README_EXEMPT = "<!-- not an example -->"
ROFF_MARK = re.compile(r'^\.\\" example: (\S+) (\S+)$')
ROFF_EXEMPT = '.\\" not an example'
# Requests that may stand between a roff marker and its .EX line.
ROFF_LAYOUT = re.compile(r"^\.(in|RS|PP|P|sp)\b")

# The roff escapes that example blocks of kup.1 may use, and what they
# print.  Any other escape is refused, so that no block is compared with a
# guess of what groff makes of it.
ROFF_ESCAPES = {
    "\\-": "-",
    "\\e": "\\",
    "\\&": "",
    "\\(aq": "'",
    "\\(ga": "`",
    "\\(dq": '"',
    "\\(ha": "^",
    "\\(ti": "~",
}
ROFF_ESCAPE_RE = re.compile(r"\\(\(..|.)")


class Failure(Exception):
    """A check that failed; the message says where and why."""


class Example:
    """One directory of examples/ and the results it expects."""

    def __init__(self, directory, name, scope):
        self.name = name
        self.directory = directory
        # The directory whose files the example may read: examples/, or
        # its group's directory.
        self.scope = scope
        if not os.path.isfile(os.path.join(directory, "command")):
            raise Failure(f"examples/{self.name}: no command file")
        self.command = read_bytes(os.path.join(directory, "command"))
        if not self.command.endswith(b"\n"):
            raise Failure(f"examples/{self.name}/command: no final newline")
        self.stdout = self.optional("stdout", None)
        if self.stdout is None:
            raise Failure(f"examples/{self.name}: no stdout file")
        self.stderr = self.optional("stderr", b"")
        status = self.optional("status", b"0\n").strip()
        if not status.isdigit():
            raise Failure(f"examples/{self.name}/status: not a number")
        self.status = int(status)

    def optional(self, name, default):
        """The bytes of the example's file NAME, or DEFAULT if absent."""
        path = os.path.join(self.directory, name)
        return read_bytes(path) if os.path.isfile(path) else default

    def part(self, name):
        """The bytes that a document block showing PART must hold."""
        if name == "session":
            return b"$ " + self.command + self.stdout
        if name in ("command", "stdout", "stderr"):
            return getattr(self, name)
        path = os.path.normpath(os.path.join(self.directory, name))
        if os.path.commonpath([path, self.scope]) != self.scope:
            raise Failure(f"part {name!r} of {self.name} lies outside "
                          f"{os.path.basename(self.scope)}/")
        if not os.path.isfile(path):
            raise Failure(f"example {self.name} has no file {name!r}")
        return read_bytes(path)


def read_bytes(path):
    """The whole content of the file at PATH."""
    with open(path, "rb") as stream:
        return stream.read()


def load_examples(root):
    """Every example of ROOT/examples, by name: NAME, or GROUP/NAME for the
    examples in a directory that has no command file."""
    examples_dir = os.path.join(root, "examples")
    examples = {}
    for entry in sorted(os.listdir(examples_dir)):
        path = os.path.join(examples_dir, entry)
        if not os.path.isdir(path):
            continue
        if os.path.isfile(os.path.join(path, "command")):
            examples[entry] = Example(path, entry, examples_dir)
            continue
        for member in sorted(os.listdir(path)):
            if os.path.isdir(os.path.join(path, member)):
                name = f"{entry}/{member}"
                examples[name] = Example(os.path.join(path, member), name,
                                         path)
    if not examples:
        raise Failure("examples/ holds no example")
    return examples


def spelled_out(data):
    """DATA as lines of text in which tabs and line ends are visible."""
    text = data.decode("utf-8", "backslashreplace")
    text = text.replace("\t", "<TAB>")
    lines = text.split("\n")
    shown = [line + "$" for line in lines[:-1]]
    if lines[-1]:
        shown.append(lines[-1] + "<no newline>")
    return shown


def difference(expected_label, expected, actual_label, actual):
    """A readable diff of two byte strings with their labels."""
    diff = difflib.unified_diff(spelled_out(expected), spelled_out(actual),
                                expected_label, actual_label, lineterm="")
    return "\n".join(diff)


def copy_scope(example, examples_dir, work):
    """Copies into WORK/examples what EXAMPLE may read: its group's
    directory, or examples/ without the groups."""
    target = os.path.join(work, "examples")
    if example.scope != examples_dir:
        shutil.copytree(example.scope, os.path.join(
            target, os.path.relpath(example.scope, examples_dir)))
        return

    def groups(directory, names):
        if directory != examples_dir:
            return []
        return [n for n in names
                if os.path.isdir(os.path.join(directory, n))
                and not os.path.isfile(os.path.join(directory, n, "command"))]

    shutil.copytree(examples_dir, target, ignore=groups)


def run_example(example, kup, root):
    """Runs EXAMPLE with KUP; returns the list of its mismatches."""
    with tempfile.TemporaryDirectory(prefix="kup-example-") as work:
        copy_scope(example, os.path.join(root, "examples"), work)
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        os.symlink(os.path.abspath(kup), os.path.join(bin_dir, "kup"))
        env = {name: value for name, value in os.environ.items()
               if not name.startswith("KUP_") and name not in CLEARED}
        env.update(PATH=bin_dir + os.pathsep + os.environ["PATH"], LC_ALL="C")
        try:
            result = subprocess.run(["/bin/sh", "-c", example.command],
                                    cwd=work, env=env,
                                    stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            return [f"example {example.name}: no end after {TIMEOUT} s"]
    problems = []
    for label, expected, actual in (("stdout", example.stdout, result.stdout),
                                    ("stderr", example.stderr, result.stderr)):
        if expected != actual:
            path = f"examples/{example.name}/{label}"
            problems.append(difference(f"{path} (expected)", expected,
                                       f"{label} of the run", actual))
    if example.status != result.returncode:
        problems.append(f"examples/{example.name}: status {result.returncode},"
                        f" expected {example.status}")
    return problems


def readme_blocks(text, where):
    """The marked fenced blocks of a Markdown TEXT: (line, name, part, body).

    A fenced block that is neither marked nor exempt is a failure."""
    blocks = []
    lines = text.split("\n")
    index = 0
    while index < len(lines):
        line = lines[index]
        if line.startswith("```"):
            raise Failure(f"{where}:{index + 1}: fenced block without a marker")
        mark = README_MARK.match(line)
        if mark or line == README_EXEMPT:
            start = index + 1
            if start >= len(lines) or not lines[start].startswith("```"):
                raise Failure(f"{where}:{index + 1}: marker not followed by "
                              "a fenced block")
            end = start + 1
            while end < len(lines) and lines[end] != "```":
                end += 1
            if end == len(lines):
                raise Failure(f"{where}:{start + 1}: fenced block not closed")
            if mark:
                body = "".join(l + "\n" for l in lines[start + 1:end])
                blocks.append((index + 1, mark.group(1), mark.group(2),
                               body.encode()))
            index = end + 1
            continue
        index += 1
    return blocks


def decode_roff(line, where):
    """The text that groff prints for one no-fill LINE of an example."""
    if line.startswith((".", "'")):
        raise Failure(f"{where}: a line that begins with '.' or \"'\" "
                      "needs \\& in front")

    def replace(match):
        escape = match.group(0)
        if escape not in ROFF_ESCAPES:
            raise Failure(f"{where}: unexpected roff escape {escape!r}")
        return ROFF_ESCAPES[escape]

    return ROFF_ESCAPE_RE.sub(replace, line)


def roff_blocks(text, where):
    """The marked .EX blocks of a manual page TEXT: (line, name, part, body).

    An .EX block that is neither marked nor exempt is a failure."""
    blocks = []
    lines = text.split("\n")
    index = 0
    while index < len(lines):
        line = lines[index]
        if line == ".EX":
            raise Failure(f"{where}:{index + 1}: .EX block without a marker")
        mark = ROFF_MARK.match(line)
        if mark or line == ROFF_EXEMPT:
            start = index + 1
            while start < len(lines) and ROFF_LAYOUT.match(lines[start]):
                start += 1
            if start >= len(lines) or lines[start] != ".EX":
                raise Failure(f"{where}:{index + 1}: marker not followed by "
                              "an .EX block")
            end = start + 1
            while end < len(lines) and lines[end] != ".EE":
                end += 1
            if end == len(lines):
                raise Failure(f"{where}:{start + 1}: .EX block not closed")
            if mark:
                body = "".join(
                    decode_roff(l, f"{where}:{number + 1}") + "\n"
                    for number, l in enumerate(lines[start + 1:end],
                                               start + 1))
                blocks.append((index + 1, mark.group(1), mark.group(2),
                               body.encode()))
            index = end + 1
            continue
        index += 1
    return blocks


def check_document(root, path, blocks_of, examples):
    """Compares every marked block of the document at PATH, under ROOT,
    with its example.

    Returns the number of blocks and the list of mismatches."""
    where = os.path.relpath(path, root)
    text = read_bytes(path).decode("utf-8")
    problems = []
    blocks = blocks_of(text, where)
    for line, name, part, body in blocks:
        if name not in examples:
            problems.append(f"{where}:{line}: no example named {name!r}")
            continue
        try:
            expected = examples[name].part(part)
        except Failure as failure:
            problems.append(f"{where}:{line}: {failure}")
            continue
        if body != expected:
            problems.append(f"{where}:{line}: block differs from "
                            f"{name} {part}\n"
                            + difference(f"{name} {part}", expected,
                                         f"{where}:{line}", body))
    return len(blocks), problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kup", required=True, help="the kup executable")
    parser.add_argument("--root", required=True,
                        help="the repository root (examples/, README.md, "
                             "docs/cookbook.md, kup.1)")
    args = parser.parse_args()
    args.root = os.path.abspath(args.root)

    problems = []
    try:
        examples = load_examples(args.root)
        # Four at a time: each run is short and mostly waits on its
        # processes.
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            for found in pool.map(lambda example: run_example(
                    example, args.kup, args.root), examples.values()):
                problems += found
        shown = 0
        for name, blocks_of in (("README.md", readme_blocks),
                                ("docs/cookbook.md", readme_blocks),
                                ("kup.1", roff_blocks)):
            count, found = check_document(args.root,
                                          os.path.join(args.root, name),
                                          blocks_of, examples)
            shown += count
            problems += found
    except Failure as failure:
        problems.append(str(failure))

    if problems:
        print("\n\n".join(problems))
        print(f"\nFAILED: {len(problems)} problem(s)")
        return 1
    print(f"{len(examples)} examples run, {shown} document blocks checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
