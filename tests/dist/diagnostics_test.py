#!/usr/bin/env python3
"""The GNU and JSON forms of kup's diagnostics, read by the tools that read
them: a nested error and warnings at three levels of inclusion.

    diagnostics_test.py KUP forms   every GNU line matches the gcc problem
                                    matcher's regex, every JSON line parses
                                    and agrees with the GNU form
    diagnostics_test.py KUP vim     Vim's default errorformat (vim -q) puts
                                    each on its innermost file and line
    diagnostics_test.py KUP emacs   Emacs' compilation-mode finds the same
                                    places, errors as errors, warnings as
                                    warnings

Exits 77 (skipped) where the tool is missing, except under CI=true.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

FILES = {
    "top.kup": "#define X 1\n#fix12 Y 1\n#include 'sub/mid.kup'\n",
    "sub/mid.kup": "#tag Middle\n#include 'sub/inner.kup'\n",
    "sub/inner.kup": "#define X 2\n#iff\n#int Z 1/0\n",
}
# (file, line, severity) of each diagnostic, in order.
EXPECTED = [("top.kup", 2, "warning"), ("sub/inner.kup", 1, "warning"),
            ("sub/inner.kup", 2, "warning"), ("sub/inner.kup", 3, "error")]
GNU_CHAIN = ["In file included from Middle:2,", "                 from top.kup:3:"]
PROBLEM_MATCHER = re.compile(r"^(.*?):(\d+):(\d*):?\s+(?:fatal\s+)?(warning|error):\s+(.*)$")

VIM_PROBE = r"""call writefile(map(filter(getqflist(), 'v:val.valid'),
      \ {_, e -> printf('%s|%d', bufname(e.bufnr), e.lnum)}), 'vim.txt')
qa!
"""

EMACS_PROBE = r"""
(require 'compile)
(with-temp-buffer
  (insert-file-contents "gnu.txt")
  (compilation-mode)
  (compilation--ensure-parse (point-max))
  (goto-char (point-min))
  (let ((found '()))
    ;; Each line a message starts on, in order; the info-level ones (the
    ;; including files) are passed over as compilation-next-error does.
    (while (not (eobp))
      (let ((msg (get-text-property (point) 'compilation-message)))
        (when (and msg (>= (compilation--message->type msg) 1))
          (let ((loc (compilation--message->loc msg)))
            (push (format "%s|%d|%s" (caar (compilation--loc->file-struct loc))
                          (compilation--loc->line loc)
                          (if (= (compilation--message->type msg) 2) "error" "warning"))
                  found))))
      (forward-line 1))
    (with-temp-file "emacs.txt"
      (insert (mapconcat #'identity (nreverse found) "\n")))))
"""


def run_kup(kup: str, work: Path, form: str) -> str:
    env = {k: v for k, v in os.environ.items() if not k.startswith("KUP_")}
    env["KUP_DIAGNOSTICS"] = form
    done = subprocess.run([kup, "top.kup"], cwd=work, env=env, capture_output=True, timeout=20)
    if done.returncode != 1:
        sys.exit(f"kup ended with status {done.returncode}, not 1")
    return done.stderr.decode("ascii")


def check_forms(kup: str, work: Path) -> list[str]:
    problems = []
    gnu = run_kup(kup, work, "gnu").splitlines()
    found = []
    for line in gnu:
        if line in GNU_CHAIN:
            continue
        match = PROBLEM_MATCHER.match(line)
        if match is None:
            problems.append(f"GNU line matches neither the chain nor the problem matcher: {line!r}")
        else:
            found.append((match[1], int(match[2]), match[4]))
    if found != EXPECTED:
        problems.append(f"GNU diagnostics {found}, expected {EXPECTED}")
    if gnu[1:3] != GNU_CHAIN:
        problems.append(f"GNU lines 2 and 3 are not the including files: {gnu[1:3]}")
    chain = [{"file": "Middle", "line": 2}, {"file": "top.kup", "line": 3}]
    objects = []
    for line in run_kup(kup, work, "json").splitlines():
        try:
            objects.append(json.loads(line))
        except ValueError as error:
            problems.append(f"JSON line does not parse ({error}): {line!r}")
    for obj in objects:
        if list(obj) != ["severity", "message", "file", "line", "included_from"]:
            problems.append(f"JSON fields {list(obj)}")
        elif not isinstance(obj["message"], str) or not obj["message"]:
            problems.append(f"JSON message {obj['message']!r}")
        elif obj["included_from"] != (chain if obj["file"] != "top.kup" else []):
            problems.append(f"JSON included_from {obj['included_from']}")
    places = [(o.get("file"), o.get("line"), o.get("severity")) for o in objects]
    if places != EXPECTED:
        problems.append(f"JSON diagnostics {places}, expected {EXPECTED}")
    return problems


def tool_missing(name: str) -> None:
    print(f"{name} is not installed{' (it must be, under CI)' if os.environ.get('CI') == 'true' else ''}")
    sys.exit(1 if os.environ.get("CI") == "true" else 77)


def check_vim(kup: str, work: Path) -> list[str]:
    if shutil.which("vim") is None:
        tool_missing("vim")
    (work / "gnu.txt").write_text(run_kup(kup, work, "gnu"))
    (work / "probe.vim").write_text(VIM_PROBE)
    subprocess.run(["vim", "-N", "-u", "NONE", "-i", "NONE", "-n", "-es", "-q", "gnu.txt",
                    "-S", "probe.vim"], cwd=work, stdin=subprocess.DEVNULL,
                   capture_output=True, timeout=60)
    got = (work / "vim.txt").read_text().splitlines() if (work / "vim.txt").exists() else []
    want = [f"{f}|{n}" for f, n, _ in EXPECTED]
    return [] if got == want else [f"Vim's quickfix entries {got}, expected {want}"]


def check_emacs(kup: str, work: Path) -> list[str]:
    if shutil.which("emacs") is None:
        tool_missing("emacs")
    (work / "gnu.txt").write_text(run_kup(kup, work, "gnu"))
    (work / "probe.el").write_text(EMACS_PROBE)
    subprocess.run(["emacs", "-Q", "--batch", "-l", "probe.el"], cwd=work,
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    got = (work / "emacs.txt").read_text().splitlines() if (work / "emacs.txt").exists() else []
    want = [f"{f}|{n}|{s}" for f, n, s in EXPECTED]
    return [] if got == want else [f"Emacs' compilation messages {got}, expected {want}"]


def main() -> int:
    kup, what = os.path.abspath(sys.argv[1]), sys.argv[2]
    with tempfile.TemporaryDirectory() as name:
        work = Path(name)
        for path, text in FILES.items():
            (work / path).parent.mkdir(parents=True, exist_ok=True)
            (work / path).write_text(text)
        check = {"forms": check_forms, "vim": check_vim, "emacs": check_emacs}[what]
        problems = check(kup, work)
    for problem in problems:
        print(problem)
    if not problems:
        print(f"diagnostics ({what}): each on its innermost file and line")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
