#!/usr/bin/env python3
"""Generated sources with KUP_LINE_MARKERS, compiled by the real compilers:
a template includes a snippet and skips an `#if 0` block, and an error
planted in the template or in the snippet must be reported at that file
and line.

    line_markers_test.py KUP gcc        gcc and clang compile the C program
    line_markers_test.py KUP clang      cleanly under -pedantic -Werror
                                        (with #line %l "%f"), and report each
                                        planted error at its template line
    line_markers_test.py KUP gfortran   the same in Fortran, with # %l "%f"
    line_markers_test.py KUP m4         m4 -s on a template of the same shape
                                        gives every output line the same origin

The template's name holds a blank, a double quote and a backslash, which
the markers must carry through to the compiler's messages. Each run goes
with and without Line Mode (-l). Exits 77 (skipped) where the tool is
missing, except under CI=true.
"""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SKIPPED = 77

C_TOP = 'a b/t"x\\y.c.kup'
C_FILES = {
    C_TOP: """## A program generated from a template.
#define GREETING "hello"
#include 'snippet.kup'
#if 0
this block is skipped, and so are its lines
#endif
int main(void) {
  int n = COUNT;
  PLANT_MAIN
  return twice(n) > 0 ? 0 : 1;
}
""",
    "snippet.kup": """#define COUNT 3
static int twice(int x) {
  PLANT_SNIPPET
  return 2 * x;
}
""",
}
# The same shape for m4 -s: the same output lines from the same lines.
M4_FILES = {
    "prog.c.m4": """dnl A program generated from a template.
define(`GREETING', `"hello"')dnl
include(`snippet.m4')dnl
ifelse(`0', `1', `
this block is skipped, and so are its lines
')dnl
int main(void) {
  int n = COUNT;
  PLANT_MAIN
  return twice(n) > 0 ? 0 : 1;
}
""",
    "snippet.m4": """define(`COUNT', `3')dnl
static int twice(int x) {
  PLANT_SNIPPET
  return 2 * x;
}
""",
}
F_TOP = 'a b/t"x\\y.f90.kup'
F_FILES = {
    F_TOP: """## A program generated from a template.
#include 'snippet_f.kup'
#if 0
this block is skipped, and so are its lines
#endif
program main
  implicit none
  integer :: n
  n = COUNT
  PLANT_MAIN
  call twice(n)
end program main
""",
    "snippet_f.kup": """#define COUNT 3
subroutine twice(x)
  implicit none
  integer, intent(inout) :: x
  PLANT_SNIPPET
  x = 2 * x
end subroutine twice
""",
}

# Per language: files, top template, marker format, the harmless and the
# faulty text to plant, where each plant stands, and the compile command.
LANGUAGES = {
    "c": dict(files=C_FILES, top=C_TOP, format='#line %l "%f"', ok=";",
              bad="undeclared_here;", plants={"PLANT_MAIN": (C_TOP, 9),
                                              "PLANT_SNIPPET": ("snippet.kup", 3)},
              source="prog.c",
              flags=["-std=c11", "-pedantic", "-Werror", "-Wall", "-c", "-o", "prog.o"]),
    "fortran": dict(files=F_FILES, top=F_TOP, format='# %l "%f"', ok="continue",
                    bad="y = 1", plants={"PLANT_MAIN": (F_TOP, 10),
                                         "PLANT_SNIPPET": ("snippet_f.kup", 5)},
                    source="prog.f90",
                    flags=["-pedantic", "-Werror", "-Wall", "-c", "-o", "prog.o"]),
}
COMPILER_LANGUAGE = {"gcc": "c", "clang": "c", "gfortran": "fortran"}
ERROR = re.compile(r"^(.*?):(\d+):(\d+): (?:fatal )?[Ee]rror: ")
MARKER = re.compile(r'^#(?:line)? (\d+) "((?:[^"\\]|\\.)*)"$')


class Failure(Exception):
    """A run that did not give what the markers promise."""


def write_files(work: Path, files: dict) -> None:
    for name, text in files.items():
        path = work / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


def generate(kup: str, work: Path, lang: dict, plants: dict, extra: list) -> str:
    """kup's output for the language's template, the plants defined."""
    args = [kup, *extra]
    for name, text in plants.items():
        args += ["-d", name, text]
    env = {k: v for k, v in os.environ.items() if not k.startswith("KUP_")}
    env["KUP_LINE_MARKERS"] = lang["format"]
    run = subprocess.run(args + [lang["top"]], cwd=work, env=env, capture_output=True,
                         text=True, timeout=30)
    if run.returncode != 0 or run.stderr:
        raise Failure(f"kup failed ({run.returncode}): {run.stderr}")
    return run.stdout


def unescape(name: str) -> str:
    return re.sub(r"\\(.)", r"\1", name)


def origins(text: str) -> list:
    """(file, line, text) of every output line that is not a marker, as a
    reader of the markers counts them."""
    found, file, line = [], None, 0
    for out in text.splitlines():
        marker = MARKER.match(out)
        if marker:
            line, file = int(marker.group(1)), unescape(marker.group(2))
            continue
        found.append((file, line, out))
        line += 1
    return found


def compile_errors(compiler: str, work: Path, lang: dict, source_text: str) -> tuple:
    """The compiler's status and the (file, line) of each error it reports."""
    (work / lang["source"]).write_text(source_text)
    run = subprocess.run([compiler, "-fdiagnostics-plain-output" if compiler != "clang" else "-fno-color-diagnostics",
                          *lang["flags"], lang["source"]],
                         cwd=work, capture_output=True, text=True, timeout=120)
    errors = {(m.group(1), int(m.group(2)))
              for m in map(ERROR.match, run.stderr.splitlines()) if m}
    return run.returncode, errors, run.stderr


def check_compiler(kup: str, compiler: str, work: Path) -> None:
    lang = LANGUAGES[COMPILER_LANGUAGE[compiler]]
    write_files(work, lang["files"])
    for extra in ([], ["-l"]):
        clean = {name: lang["ok"] for name in lang["plants"]}
        status, errors, stderr = compile_errors(compiler, work, lang,
                                                generate(kup, work, lang, clean, extra))
        if status != 0:
            raise Failure(f"{compiler} {extra}: the clean program does not compile:\n{stderr}")
        for planted, where in lang["plants"].items():
            plants = dict(clean, **{planted: lang["bad"]})
            status, errors, stderr = compile_errors(compiler, work, lang,
                                                    generate(kup, work, lang, plants, extra))
            if status == 0 or errors != {where}:
                raise Failure(f"{compiler} {extra}: error planted at {where} reported at "
                              f"{sorted(errors)}:\n{stderr}")
        print(f"ok: {compiler} {' '.join(extra) or '(no option)'}: clean, and each error "
              "at its template line")


def check_m4(kup: str, work: Path) -> None:
    lang = LANGUAGES["c"]
    write_files(work, lang["files"])
    write_files(work, M4_FILES)
    plants = {"PLANT_MAIN": ";", "PLANT_SNIPPET": ";"}
    run = subprocess.run(["m4", "-s", *[f"-D{k}={v}" for k, v in plants.items()], "prog.c.m4"],
                         cwd=work, capture_output=True, text=True, timeout=30)
    if run.returncode != 0:
        raise Failure(f"m4 failed: {run.stderr}")
    names = {"prog.c.m4": lang["top"], "snippet.m4": "snippet.kup"}
    expected = [(names.get(f, f), n, t) for f, n, t in origins(run.stdout)]
    got = origins(generate(kup, work, lang, plants, []))
    if got != expected:
        raise Failure(f"origins differ from m4 -s:\nkup: {got}\nm4:  {expected}")
    print(f"ok: the {len(got)} output lines have the origins m4 -s gives them")


def main() -> int:
    kup, tool = os.path.abspath(sys.argv[1]), sys.argv[2]
    if shutil.which(tool) is None:
        if os.environ.get("CI") == "true":
            print(f"FAIL: {tool} is missing", file=sys.stderr)
            return 1
        print(f"skipped: {tool} is not installed")
        return SKIPPED
    with tempfile.TemporaryDirectory() as tmp:
        try:
            if tool == "m4":
                check_m4(kup, Path(tmp))
            else:
                check_compiler(kup, tool, Path(tmp))
        except (Failure, subprocess.TimeoutExpired) as e:
            print(f"FAIL: {e}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
