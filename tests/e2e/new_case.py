#!/usr/bin/env python3
"""Writes a new end-to-end case from what kup does now.

Give the input files, standard input and the arguments on the command
line; the tool runs kup on them in a fresh directory, records standard
output, standard error, the exit status (and any files you name with
--after or --absent) and writes the .case file.  The recorded outputs are
whatever kup produced: read the case and check it against what kup should
do before you keep it.

Example:
  tests/e2e/new_case.py -o tests/e2e/cases/basics/define.case \\
      -m "-d replaces a name on a data line" \\
      --file 'in.txt=X and Y\\n' -- -d X 1 in.txt

Texts given with --file and --stdin understand the escapes \\n \\t \\r \\0
\\xHH and \\\\; --file-from and --stdin-from read the bytes from a file.
"""

import argparse
import os
import shlex
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import run_case  # noqa: E402  (the runner lives next to this script)

REPO = os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))


def split_assignment(text, option):
    """Splits NAME=VALUE; the name must be a relative path."""
    name, equals, value = text.partition("=")
    if not equals or not name:
        sys.exit(f"new_case: {option} expects NAME=..., got {text!r}")
    try:
        run_case.check_relative_path(name, option)
    except run_case.CaseError as e:
        sys.exit(f"new_case: {e}")
    return name, value


def decoded(text, option):
    """A command-line text with the case-file escapes decoded."""
    try:
        return run_case.decode_escapes(text.encode("utf-8"), option)
    except run_case.CaseError as e:
        sys.exit(f"new_case: {e}")


def read_bytes(path):
    """The bytes of a file given with --file-from or --stdin-from."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        sys.exit(f"new_case: cannot read {path}: {e.strerror}")


def build_case(options):
    """A Case object holding the inputs given on the command line."""
    case = run_case.Case(options.output)
    case.description = options.description
    case.args = options.args
    case.stdout_to = options.stdout_to
    for text in options.file:
        name, value = split_assignment(text, "--file")
        case.files.append((name, decoded(value, "--file")))
    for text in options.file_from:
        name, source = split_assignment(text, "--file-from")
        case.files.append((name, read_bytes(source)))
    case.mkdirs = options.mkdir
    if options.stdin is not None:
        case.stdin = decoded(options.stdin, "--stdin")
    elif options.stdin_from is not None:
        case.stdin = read_bytes(options.stdin_from)
    case.after = [(name, b"") for name in options.after]
    case.absent = options.absent
    return case


def section(header, content):
    """One section in the case-file notation, with the flags it needs."""
    plain = content.decode("latin-1")
    lines = plain.split("\n")
    needs_escapes = (
        any(b < 32 and b not in (9, 10) or b >= 127 for b in content)
        or any(line.startswith("--- ") for line in lines)
        or any(line != line.rstrip(" \t") for line in lines))
    flags = ""
    body = plain
    if needs_escapes:
        flags += " [escapes]"
        body = run_case.encode_escapes(content)
    if content and not content.endswith(b"\n"):
        flags += " [noeol]"
        body += "\n"
    return f"--- {header}{flags}\n{body}"


def case_text(case, result):
    """The case file text for the inputs and the recorded results."""
    parts = [f"description: {case.description}\n"]
    if case.args:
        parts.append(f"args: {shlex.join(case.args)}\n")
    if case.stdout_to:
        parts.append(f"stdout_to: {case.stdout_to}\n")
    for name in case.mkdirs:
        parts.append(f"--- mkdir {name}\n")
    for name, content in case.files:
        parts.append(section(f"file {name}", content))
    if case.stdin is not None:
        parts.append(section("stdin", case.stdin))
    if not case.stdout_to:
        parts.append(section("stdout",
                             run_case.apply_placeholders(result.stdout)))
    parts.append(section("stderr", run_case.apply_placeholders(result.stderr)))
    parts.append(f"--- status\n{result.status}\n")
    for name, _ in case.after:
        content = result.files[name]
        if content is None:
            print(f"new_case: note: {name} does not exist after the run; "
                  "recorded as absent", file=sys.stderr)
            parts.append(f"--- absent {name}\n")
        else:
            parts.append(section(f"after {name}", content))
    for name in case.absent:
        if name in result.present:
            print(f"new_case: note: {name} exists after the run; "
                  "recording its content", file=sys.stderr)
            continue
        parts.append(f"--- absent {name}\n")
    return "".join(parts)


def record_present_files(case, workdir, result):
    """Adds the content of --absent files that the run did create."""
    for name in result.present:
        with open(os.path.join(workdir, name), "rb") as f:
            case.after.append((name, b""))
            result.files[name] = f.read()


def default_kup():
    """The kup of the usual build directory, if there is one."""
    return os.path.join(REPO, "build", "kup")


def parse_options(argv):
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog=__doc__.split("\n\n", 1)[1],
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-o", "--output", required=True,
                        help="the .case file to write")
    parser.add_argument("-m", "--description", required=True,
                        help="the one-line description of the case")
    parser.add_argument("--kup", default=default_kup(),
                        help="kup executable (default: %(default)s)")
    parser.add_argument("--file", action="append", default=[],
                        metavar="NAME=TEXT", help="an input file")
    parser.add_argument("--file-from", action="append", default=[],
                        metavar="NAME=PATH",
                        help="an input file copied from PATH")
    parser.add_argument("--mkdir", action="append", default=[],
                        metavar="NAME", help="an empty directory")
    stdin = parser.add_mutually_exclusive_group()
    stdin.add_argument("--stdin", metavar="TEXT", help="standard input")
    stdin.add_argument("--stdin-from", metavar="PATH",
                       help="standard input copied from PATH")
    parser.add_argument("--stdout-to", metavar="PATH",
                        help="run with standard output on PATH "
                             "(not recorded), e.g. /dev/full")
    parser.add_argument("--after", action="append", default=[],
                        metavar="NAME",
                        help="record this file's content after the run")
    parser.add_argument("--absent", action="append", default=[],
                        metavar="NAME",
                        help="record that this file must not exist")
    parser.add_argument("--force", action="store_true",
                        help="overwrite an existing case file")
    parser.add_argument("--timeout", type=float,
                        default=run_case.DEFAULT_TIMEOUT)
    parser.add_argument("args", nargs="*",
                        help="kup's arguments (put them after --)")
    return parser.parse_args(argv)


def main(argv=None):
    options = parse_options(argv)
    if os.path.exists(options.output) and not options.force:
        sys.exit(f"new_case: {options.output} exists (use --force)")
    kup = os.path.abspath(options.kup)
    if not os.access(kup, os.X_OK):
        sys.exit(f"new_case: {options.kup} is not an executable file")
    case = build_case(options)
    with tempfile.TemporaryDirectory(prefix="kup-new-case-") as workdir:
        run_case.prepare_directory(case, workdir)
        result = run_case.run_kup([kup], case, workdir, options.timeout)
        record_present_files(case, workdir, result)
    if result.timed_out:
        sys.exit(f"new_case: kup did not finish within {options.timeout:g} s;"
                 " no case written")
    if result.status < 0:
        sys.exit(f"new_case: kup was killed by signal {-result.status};"
                 " no case written")
    text = case_text(case, result)
    os.makedirs(os.path.dirname(os.path.abspath(options.output)),
                exist_ok=True)
    with open(options.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    sys.stdout.write(text)
    # The written case must pass as it stands; anything else is a bug here.
    status = run_case.run_case(kup, options.output, options.timeout,
                               out=sys.stderr)
    if status != 0:
        sys.exit("new_case: the written case does not pass; see above")
    print(f"\nnew_case: wrote {options.output}; review it before you "
          "commit it.", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
