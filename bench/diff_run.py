#!/usr/bin/env python3
"""Differential run: random templates through two kup binaries, which must
write the same standard output and standard error and end with the same
status.

    python3 bench/diff_run.py --before OLD_KUP --after NEW_KUP [--count N] [--seed S]

Every template is a few files: definitions (plain, quoted, backquoted,
indirect, lists), #default, #undef, #cat, #freeze/#melt, #int/#real/#fix,
conditionals (sometimes unbalanced), #skip, #verbose, messages and
comments, #include of another template, and data lines of names, numbers,
backquotes, quotes, '@' fields and odd characters (tabs, CR, NUL, high
bytes), among them long runs of data lines, lines of more than a thousand
characters and texts larger than the reader's block. Each is run with a
random choice of -l, -c, -q, -v, -p, -d and -s (with the template on
standard input). Standard library only.
"""

from __future__ import annotations

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

NAMES = ["a", "b", "ab", "x1", "NAME1", "NAME22", "ITEM_007_SIZE", "port3_speed", "$v", "_u",
         "p_x", "L", "M", "x[0]", "x[1]", "L[0]", "L[1]", "T", "abcdefghijklmnopq",
         "APP_CONFIG_SECTION_DATABASE_OPTION_7", "Q", "p", "pa", "pb"]
WORDS = ["foo", "bar", "baz", "qux", "hello", "w", "abc", "zz", "kk"]
ODD = ["`", "'", '"', "@", "@@", "@a", "@L", "#", "##", "(", ")", "[", "]", ",", ".", ";",
       "=", "!", "%", "&", "|", "<", ">", "\t", "\r", "\x00", "\xe9", "\xff", "\\", "{", "}",
       "1e5", "3x", "12", "0.5", "1.e", "2e+3", "7e", "`a b`", "`NAME1`", "`unclosed", "'a'",
       "x1.NAME1", "NAME1NAME1", "a@b", "$", "_", "~"]
EXPRS = ["1+2", "(3*4)%5", "7/2", "2^10", "sqrt(16)", "a+1", "NAME1*2", "-3", "1/0", "(1",
         "1 < 2", "x1 == 3", "", "abs(-2.5)", "1e3", "pi", "((2))", "9 % 0", "3.25*4",
         "100000*100000*100000"]


def word(rng: random.Random) -> str:
    r = rng.random()
    if r < 0.35:
        return rng.choice(NAMES)
    if r < 0.7:
        return rng.choice(WORDS)
    if r < 0.8:
        return str(rng.randint(0, 99999))
    return rng.choice(ODD)


def data_line(rng: random.Random) -> str:
    n = rng.choice([0, 1, 2, 5, 10, 10, 10, 20])
    parts = []
    for _ in range(n):
        parts.append(word(rng))
        parts.append(rng.choice([" ", " ", " ", "  ", "\t", "", " \t "]))
    text = "".join(parts)
    if rng.random() < 0.1:
        text = rng.choice([" ", "  ", "\t"]) + text
    if rng.random() < 0.005:
        # Longer than the longest piece: read as several lines.
        text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(150, 400)))
    return text


def value(rng: random.Random) -> str:
    r = rng.random()
    if r < 0.5:
        return " ".join(word(rng) for _ in range(rng.randint(0, 4)))
    if r < 0.65:
        return "'" + " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 3))) + "'"
    if r < 0.75:
        return ",".join(rng.choice(WORDS + NAMES[:6]) for _ in range(rng.randint(1, 5)))
    if r < 0.85:
        return "`" + " ".join(rng.choice(NAMES) for _ in range(2)) + "`"
    return rng.choice(EXPRS)


def directive(rng: random.Random, includes: list[str]) -> str:
    name = rng.choice(NAMES + ["@a", "@b"]) if rng.random() < 0.97 else rng.choice(["1x", ""])
    kind = rng.random()
    if kind < 0.3:
        return f"#define {name} {value(rng)}"
    if kind < 0.35:
        return f"#default {name} {value(rng)}"
    if kind < 0.4:
        return f"#undef {name}"
    if kind < 0.45:
        return f"#cat {name} {value(rng)}"
    if kind < 0.48:
        return f"#{rng.choice(['freeze', 'melt'])} {name}"
    if kind < 0.53:
        return f"#define L {value(rng)}\n#list {rng.choice(['L', 'L', 'M', name])}"
    if kind < 0.63:
        typ = rng.choice(["int", "real", "fix", "real3", "fix2"])
        return f"#{typ} {name} {rng.choice(EXPRS) if rng.random() < 0.2 else rng.choice(EXPRS[:6])}"
    if kind < 0.75:
        cond = rng.choice(["if", "ifdef", "ifndef"])
        arg = (rng.choice(EXPRS) if rng.random() < 0.2 else rng.choice(EXPRS[:6])) if cond == "if" else name
        return f"#{cond} {arg}"
    if kind < 0.8:
        return "#else"
    if kind < 0.88:
        return "#endif"
    if kind < 0.9:
        return f"#skip {rng.choice(['0', '1', ''])}"
    if kind < 0.92:
        return f"#verbose {rng.choice(['0', '1'])}"
    if kind < 0.94:
        return f"#msg {data_line(rng)}"
    if kind < 0.96:
        return f"## {data_line(rng)}"
    if kind < 0.97:
        return f"#* {data_line(rng)}"
    if kind < 0.98 and includes:
        return f"#include '{rng.choice(includes)}'"
    if kind < 0.985:
        return f"#macro {rng.choice([name, '$ALL$'])}"
    return rng.choice(["#Define x 1", "#", "  #  define  a  1", "#1", "#!", "#tag T"])


def template(rng: random.Random, includes: list[str], big: bool) -> str:
    lines = []
    depth = 0
    target = rng.choice([5, 20, 60, 200]) if not big else rng.randint(800, 2500)
    while len(lines) < target:
        if rng.random() < 0.25:
            d = directive(rng, includes)
            if d.startswith(("#if")):
                depth += 1
            elif d == "#endif":
                if depth == 0 and rng.random() < 0.9:
                    continue
                depth -= 1
            lines.append(d)
        else:
            # Runs of data lines, as templates have them.
            for _ in range(rng.choice([1, 1, 3, 10, 40])):
                lines.append(data_line(rng))
    while depth > 0 and rng.random() < 0.9:
        lines.append("#endif")
        depth -= 1
    end = rng.choice(["\n", "\n", "\n", "\r\n", ""])
    text = "\n".join(lines)
    if end == "\r\n":
        text = text.replace("\n", "\r\n")
    return text + end


def options(rng: random.Random) -> list[str]:
    opts = []
    for flag in ("-l", "-c", "-q", "-v"):
        if rng.random() < (0.08 if flag == "-v" else 0.25):
            opts.append(flag)
    if rng.random() < 0.15:
        for _ in range(rng.randint(1, 2)):
            opts += ["-p", rng.choice(["NAME", "p", "x", "AP"])]
    if rng.random() < 0.15:
        opts += ["-d", rng.choice(NAMES[:8]), rng.choice(WORDS)]
    return opts


def run(binary: str, argv: list[str], cwd: Path, stdin: bytes | None) -> tuple:
    # A fixed date: the run report of Verbose Mode shows the time of the run.
    env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000")
    p = subprocess.run([binary, *argv], cwd=cwd, input=stdin if stdin is not None else b"",
                       capture_output=True, timeout=60, env=env)
    return p.returncode, p.stdout, p.stderr


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--before", required=True, help="the kup binary before the change")
    ap.add_argument("--after", required=True, help="the kup binary after the change")
    ap.add_argument("--count", type=int, default=2000, help="templates to run (default 2000)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", type=Path, help="copy the first differing template here")
    args = ap.parse_args()
    before, after = str(Path(args.before).resolve()), str(Path(args.after).resolve())
    rng = random.Random(args.seed)
    differ = 0
    sizes = 0
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        for i in range(args.count):
            for f in work.iterdir():
                f.unlink()
            big = rng.random() < 0.05
            (work / "inc.txt").write_bytes(template(rng, [], False).encode("latin-1"))
            text = template(rng, ["inc.txt", "missing.txt"], big).encode("latin-1")
            (work / "t.txt").write_bytes(text)
            sizes += len(text)
            argv = options(rng)
            stdin = None
            if rng.random() < 0.1:
                argv += ["-s"]
                stdin = text
                if rng.random() < 0.5:
                    argv.append("inc.txt")
            else:
                argv.append("t.txt")
            a = run(before, argv, work, stdin)
            b = run(after, argv, work, stdin)
            if a != b:
                differ += 1
                what = [n for n, x, y in zip(("status", "stdout", "stderr"), a, b) if x != y]
                print(f"template {i}: {' '.join(argv)}: {', '.join(what)} differ", flush=True)
                if args.keep and differ == 1:
                    shutil.copytree(work, args.keep, dirs_exist_ok=True)
                    (args.keep / "argv").write_text(" ".join(argv) + "\n")
    print(f"{args.count} templates ({sizes:,} bytes), seed {args.seed}: "
          f"{differ} with a different stdout, stderr or status")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
