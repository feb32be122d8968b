#!/usr/bin/env python3
"""Benchmark of kup against GNU m4, the C preprocessor (cpp -P) and gpp,
with awk '{print}' as the floor of a program that only reads and writes
lines.

One command does it all (from the repository root):

    python3 bench/run_bench.py            # the full run
    python3 bench/run_bench.py --quick    # a small, fast smoke run

It builds kup in build-bench (Release) unless --kup names a binary,
generates the workloads into build-bench/work, installs m4 and gpp with
apt-get when they are missing and we are root, checks on small samples
that every program writes the same text as kup, then times every program
on every workload, round-robin, N times each, and prints medians, ratios,
peak memory and the targets with pass or fail.

Standard library only.
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
MB = 1_000_000  # throughput is reported in MB of 10^6 bytes

# ---------------------------------------------------------------------------
# Sizes of the workloads

@dataclass
class Sizes:
    """How big every workload is; --quick shrinks all of them."""
    lines: int = 200_000          # data lines of the expansion workloads
    repeat: int = 8               # the 500-macro text this many times over
    macro_counts: tuple = (10, 500, 990)
    groups: int = 25_000          # directive groups of the directive workload
    int_lines: int = 500_000      # lines of the #int-only workload
    many_files: int = 2_000       # small included files
    many_file_lines: int = 20     # lines in each of them
    chain_levels: int = 39        # nested includes below the top file
    chain_lines: int = 2_500      # data lines before and after each include
    sample_lines: int = 2_000     # lines of the output-check samples
    family_lines: int = 200_000   # data lines of every naming-family text
    names_repeat: int = 8         # the NAME0..NAME499 text this many times over


FULL = Sizes()
QUICK = Sizes(lines=5_000, repeat=8, groups=1_000, int_lines=20_000,
              many_files=100, many_file_lines=20, chain_lines=100,
              sample_lines=500, family_lines=5_000, names_repeat=8)

# ---------------------------------------------------------------------------
# Words and macro names
#
# Every generated word is made of the letters a-z only, so that no program
# meets one of its quote, comment or special characters by accident.
# Macro names are "m" followed by three letters; their values "w", the same
# three letters and "z"; plain words use only the letters a-l, so a plain
# word never names a macro, never equals a value, and is never one of m4's
# builtin names (the few that could be spelt with a-l are left out).

M4_BUILTINS = {
    "builtin", "changecom", "changequote", "debugfile", "debugmode", "decr",
    "define", "defn", "divert", "divnum", "dnl", "dumpdef", "errprint",
    "esyscmd", "eval", "format", "ifdef", "ifelse", "include", "incr",
    "index", "indir", "len", "maketemp", "mkstemp", "patsubst", "popdef",
    "pushdef", "regexp", "shift", "sinclude", "substr", "syscmd", "sysval",
    "traceoff", "traceon", "translit", "undefine", "undivert", "unix",
}


def letters3(i: int) -> str:
    """Three letters a-z for 0 <= i < 26**3."""
    a, rest = divmod(i, 26 * 26)
    b, c = divmod(rest, 26)
    return chr(97 + a) + chr(97 + b) + chr(97 + c)


def macro_name(i: int) -> str:
    return "m" + letters3(i)


def macro_value(i: int) -> str:
    return "w" + letters3(i) + "z"


def plain_vocabulary(rng: random.Random, count: int = 2_000) -> list[str]:
    words: set[str] = set()
    while len(words) < count:
        w = "".join(rng.choice("abcdefghijkl") for _ in range(rng.randint(2, 8)))
        if w not in M4_BUILTINS:
            words.add(w)
    return sorted(words)


def data_lines(rng: random.Random, vocab: list[str], n_macros: int, count: int,
               names: list[str] | None = None) -> list[str]:
    """Lines of ten words, three of which (at random places) name macros:
    the first `n_macros` random names, or `names`."""
    if names is None:
        names = [macro_name(i) for i in range(n_macros)]
    lines = []
    for _ in range(count):
        words = [rng.choice(vocab) for _ in range(10)]
        for pos in rng.sample(range(10), 3):
            words[pos] = rng.choice(names)
        lines.append(" ".join(words))
    return lines


def expected_lines(lines: list[str], n_macros: int, names: list[str] | None = None) -> list[str]:
    """The data lines with every macro replaced (what every program must write)."""
    if names is None:
        names = [macro_name(i) for i in range(n_macros)]
    values = {name: macro_value(i) for i, name in enumerate(names)}
    return [" ".join(values.get(w, w) for w in line.split(" ")) for line in lines]

# ---------------------------------------------------------------------------
# Naming families
#
# Templates number their names. Each family below is a way of doing so; its
# name i is a function of i. Plain words (letters a-l) never begin like one.

def one_byte_differs(i: int) -> str:
    """40 letters: 'q' everywhere but one upper-case letter, at place i // 26."""
    text = ["q"] * 40
    text[i // 26] = chr(65 + i % 26)
    return "".join(text)


FAMILIES = {
    "end": ("number at the end", lambda i: f"NAME{i}"),
    "padded": ("padded number, suffix", lambda i: f"ITEM_{i:03d}_SIZE"),
    "middle": ("number in the middle", lambda i: f"port{i}_speed"),
    "letter": ("one letter and digits", lambda i: f"x{i}"),
    "bracket": ("bracketed index", lambda i: f"x[{i}]"),
    "element": ("element of a list of lists", lambda i: f"table[{i // 32}][{i % 32}]"),
    "prefix": ("30+ characters, shared prefix",
               lambda i: f"APP_CONFIG_SECTION_DATABASE_OPTION_{i}"),
    "byte": ("40 characters, one byte differs", one_byte_differs),
}
FAMILY_COUNTS = (10, 990)


def family_names(family: str, count: int) -> list[str]:
    """`count` names of a family, spread over the 990 first ones, so that the
    10 names are as long on average as the 990 and the texts are the same
    size."""
    name = FAMILIES[family][1]
    step = FAMILY_COUNTS[-1] // count
    return [name(i * step) for i in range(count)]


# ---------------------------------------------------------------------------
# Dialects: how each program defines a macro and includes a file

def define_hash(name: str, value: str) -> str:
    return f"#define {name} {value}\n"


def define_m4(name: str, value: str) -> str:
    return f"define(`{name}',`{value}')dnl\n"


DEFINE = {"kup": define_hash, "cpp": define_hash, "m4": define_m4}
INCLUDE = {
    "kup": lambda path: f"#include '{path}'\n",
    "cpp": lambda path: f'#include "{path}"\n',
    "m4": lambda path: f"include(`{path}')dnl\n",
}
SUFFIX = {"kup": ".kup", "cpp": ".h", "m4": ".m4"}

# ---------------------------------------------------------------------------
# Programs

@dataclass
class Program:
    """One program under test: its name, the dialect of its input and how
    to run it on a file."""
    name: str
    dialect: str
    argv: list
    note: str = ""
    pipe: bool = False  # output read through a pipe, else sent to /dev/null

    def command(self, path: str) -> list:
        return [*self.argv, path]


PIPED = " (pipe)"  # the mark of a program's twin whose output goes through a pipe


def piped(p: Program) -> Program:
    """The same program with its output read through a pipe."""
    return Program(p.name + PIPED, p.dialect, p.argv, p.note, pipe=True)


def with_outputs(programs: list[Program], output: str) -> list[Program]:
    """Every program with its output to /dev/null, through a pipe, or both
    (each pipe twin right after its program, so that runs interleave)."""
    out = []
    for p in programs:
        if output in ("null", "both"):
            out.append(p)
        if output in ("pipe", "both"):
            out.append(piped(p))
    return out


def find_programs(kup: Path, want_peers: bool) -> tuple[list[Program], list[str]]:
    notes: list[str] = []
    programs = [Program("kup", "kup", [str(kup)])]
    if not want_peers:
        return programs, notes
    missing = [p for p in ("m4", "gpp") if shutil.which(p) is None]
    if missing:
        if os.geteuid() == 0 and shutil.which("apt-get"):
            print(f"installing {' '.join(missing)} with apt-get ...", flush=True)
            env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
            cmd = ["apt-get", "install", "-y", "-qq", *missing]
            if subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL).returncode != 0:
                subprocess.run(["apt-get", "update", "-qq"], env=env, stdout=subprocess.DEVNULL)
                subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL)
        else:
            notes.append(f"not root: {' '.join(missing)} not installed")
    if shutil.which("m4"):
        programs.append(Program("m4", "m4", ["m4"]))
    else:
        notes.append("GNU m4 missing: skipped")
    if shutil.which("cpp"):
        # -undef: no system macros such as "linux" or "unix" in the text.
        programs.append(Program("cpp -P", "cpp", ["cpp", "-P", "-undef"]))
    else:
        notes.append("cpp missing: skipped")
    if shutil.which("gpp"):
        programs.append(Program("gpp", "cpp", ["gpp"]))
    else:
        notes.append("gpp missing: skipped")
    if shutil.which("awk"):
        awk = os.path.basename(os.path.realpath(shutil.which("awk")))
        programs.append(Program("awk", "flat", ["awk", "{print}"], note=awk))
    else:
        notes.append("awk missing: no floor")
    return programs, notes

# ---------------------------------------------------------------------------
# Workloads

@dataclass
class Workload:
    """One text in every dialect. `files` maps a dialect to the path of the
    top file (relative to `cwd`); programs whose dialect is missing skip it."""
    key: str
    title: str
    cwd: Path
    files: dict
    size: int                   # bytes of the kup input, includes counted
    sample: "Workload | None" = None
    expected: list | None = None   # expected output lines of a sample
    extra: dict = field(default_factory=dict)

    def path(self, dialect: str) -> str | None:
        # "flat" is the text with its includes put in place, for awk; a
        # workload without includes is flat already in kup's dialect.
        if dialect == "flat":
            return self.files.get("flat", self.files.get("kup"))
        return self.files.get(dialect)


def write(path: Path, text: str) -> int:
    path.write_text(text)
    return len(text)


def expansion_workload(work: Path, key: str, title: str, n_macros: int, lines: list[str],
                       repeat: int, dialects=("kup", "cpp", "m4"),
                       names: list[str] | None = None) -> Workload:
    """N macro definitions at the top of the file (the first N random names,
    or `names`), then the lines `repeat` times."""
    work.mkdir(parents=True, exist_ok=True)
    if names is None:
        names = [macro_name(i) for i in range(n_macros)]
    body = "\n".join(lines) + "\n"
    files = {}
    size = 0
    for d in dialects:
        head = "".join(DEFINE[d](name, macro_value(i)) for i, name in enumerate(names))
        path = work / f"{key}{SUFFIX[d]}"
        with path.open("w") as f:
            f.write(head)
            for _ in range(repeat):
                f.write(body)
        files[d] = path.name
        if d == "kup":
            size = path.stat().st_size
    return Workload(key, title, work, files, size)


def expansion_workloads(work: Path, sizes: Sizes, rng: random.Random, vocab: list[str]) -> list[Workload]:
    out = []
    for n in sizes.macro_counts:
        lines = data_lines(rng, vocab, n, sizes.lines)
        w = expansion_workload(work / "expand", f"expand-{n}",
                               f"{sizes.lines:,} lines, {n} macros", n, lines, 1)
        sample = lines[: sizes.sample_lines]
        w.sample = expansion_workload(work / "sample", f"expand-{n}", "sample", n, sample, 1)
        w.sample.expected = expected_lines(sample, n)
        w.extra["macros"] = n
        out.append(w)
        if n == 500:
            big = expansion_workload(work / "expand", "expand-500x8",
                                     f"{sizes.lines:,} lines x {sizes.repeat}, 500 macros",
                                     n, lines, sizes.repeat)
            big.sample = w.sample
            big.extra["macros"] = n
            out.append(big)
    return out


def family_workloads(work: Path, sizes: Sizes, rng: random.Random, vocab: list[str],
                     keep: set | None = None) -> list[Workload]:
    """For every naming family, the same kind of text with 10 and with 990
    of its names defined (kup alone); and NAME0..NAME499 on a text of about
    100 MB, for kup, GNU m4 and awk. Only the texts named in `keep` are
    written (all without it); each has a generator of its own, so a text
    is the same whichever others are written."""
    out = []
    seed = rng.getrandbits(32)
    for index, (family, (label, _)) in enumerate(FAMILIES.items()):
        for n in FAMILY_COUNTS:
            names = family_names(family, n)
            key = f"fam-{family}-{n}"
            if keep is not None and key not in keep:
                continue
            rng = random.Random(seed * 1000 + index * 10 + FAMILY_COUNTS.index(n))
            lines = data_lines(rng, vocab, n, sizes.family_lines, names)
            w = expansion_workload(work / "families", key,
                                   f"{label}: {sizes.family_lines:,} lines, {n} macros",
                                   n, lines, 1, ("kup",), names)
            sample = lines[: sizes.sample_lines]
            w.sample = expansion_workload(work / "sample", key, "sample", n, sample, 1,
                                          ("kup",), names)
            w.sample.expected = expected_lines(sample, n, names)
            w.extra.update(family=family, macros=n)
            out.append(w)
    if keep is not None and "names-500x8" not in keep:
        return out
    rng = random.Random(seed * 1000 + 999)
    names = [f"NAME{i}" for i in range(500)]
    lines = data_lines(rng, vocab, 500, sizes.family_lines, names)
    w = expansion_workload(work / "families", "names-500x8",
                           f"{sizes.family_lines:,} lines x {sizes.names_repeat}, "
                           "500 macros NAME0..NAME499", 500, lines, sizes.names_repeat,
                           ("kup", "m4"), names)
    sample = lines[: sizes.sample_lines]
    w.sample = expansion_workload(work / "sample", "names-500x8", "sample", 500, sample, 1,
                                  ("kup", "m4"), names)
    w.sample.expected = expected_lines(sample, 500, names)
    w.extra["macros"] = 500
    out.append(w)
    return out


def directive_workloads(work: Path, sizes: Sizes, rng: random.Random, vocab: list[str]) -> list[Workload]:
    """Groups of eight lines: a #define, an #int with a small expression,
    an #if/#else/#endif block around two data lines and one more data line.
    For cpp and gpp the #int becomes a #define of the expression, which
    their #if evaluates; the branches taken are the same."""
    d = work / "directives"
    d.mkdir(parents=True, exist_ok=True)
    pool = 200

    # Ten constants, written alike in both dialects.
    constants = "".join(f"#define c{k} {k + 3}\n" for k in range(10))

    def text(groups: int, dialect: str):
        parts = [constants]
        expected = []
        for g in range(groups):
            j = g % pool
            expr = f"(c{j % 10} * 3 + {j}) % 11"
            w = [rng.choice(vocab) for _ in range(7)]
            parts.append(f"#define d{j} w{j}z\n")
            if dialect == "kup":
                parts.append(f"#int n{j} {expr}\n")
            else:
                parts.append(f"#define n{j} ({expr})\n")
            parts.append(f"#if n{j} > 5\n{w[0]} d{j} {w[1]}\n#else\n{w[2]} {w[3]}\n#endif\n"
                         f"{w[4]} {w[5]} d{j} {w[6]}\n")
            value = ((j % 10 + 3) * 3 + j) % 11
            expected.append(f"{w[0]} w{j}z {w[1]}" if value > 5 else f"{w[2]} {w[3]}")
            expected.append(f"{w[4]} {w[5]} w{j}z {w[6]}")
        return "".join(parts), expected

    def build(dirpath: Path, groups: int, key: str) -> Workload:
        dirpath.mkdir(parents=True, exist_ok=True)
        state = rng.getstate()
        files, size, expected = {}, 0, None
        for dialect in ("kup", "cpp"):
            rng.setstate(state)  # the same words in both dialects
            t, exp = text(groups, dialect)
            name = f"{key}{SUFFIX[dialect]}"
            n = write(dirpath / name, t)
            files[dialect] = name
            if dialect == "kup":
                size, expected = n, exp
        return Workload(key, "", dirpath, files, size, expected=expected)

    w = build(d, sizes.groups, "directives")
    w.title = f"{sizes.groups:,} groups of #define, #int, #if/#else/#endif and data"
    w.extra.update(groups=sizes.groups, lines=sizes.groups * 8 + 10)
    w.sample = build(work / "sample", max(1, sizes.sample_lines // 8), "directives")

    # The #int-only text: one evaluation per line, for kup alone.
    lines = [f"#define c{k} {k + 3}\n" for k in range(10)]
    for i in range(sizes.int_lines):
        j = i % pool
        lines.append(f"#int n{j} (c{j % 10} * 3 + {j}) % 11\n")
    lines.append("n0 n1 n2\n")
    n = write(d / "int-only.kup", "".join(lines))
    ints = Workload("int-only", f"{sizes.int_lines:,} #int lines", d, {"kup": "int-only.kup"}, n)
    ints.extra.update(evaluations=sizes.int_lines)
    ints.sample = Workload("int-only", "sample", work / "sample", {}, 0)
    return [w, ints]


def include_workloads(work: Path, sizes: Sizes, rng: random.Random, vocab: list[str]) -> list[Workload]:
    """Many small files included from one top file, and a chain of nested
    includes as deep as kup allows. The included data files are the same
    for every program; the top and chain files are written per dialect."""
    n_macros = 10
    out = []

    def many(dirpath: Path, n_files: int, key: str) -> Workload:
        dirpath.mkdir(parents=True, exist_ok=True)
        size = 0
        expected = []
        flat = [DEFINE["kup"](macro_name(i), macro_value(i)) for i in range(n_macros)]
        for i in range(n_files):
            lines = data_lines(rng, vocab, n_macros, sizes.many_file_lines)
            text = "\n".join(lines) + "\n"
            size += write(dirpath / f"f{i:04d}.txt", text)
            flat.append(text)
            expected += expected_lines(lines, n_macros)
        write(dirpath / "flat.txt", "".join(flat))
        files = {"flat": "flat.txt"}
        for d in ("kup", "cpp", "m4"):
            head = "".join(DEFINE[d](macro_name(i), macro_value(i)) for i in range(n_macros))
            incs = "".join(INCLUDE[d](f"f{i:04d}.txt") for i in range(n_files))
            n = write(dirpath / f"{key}{SUFFIX[d]}", head + incs)
            files[d] = f"{key}{SUFFIX[d]}"
            if d == "kup":
                size += n
        return Workload(key, "", dirpath, files, size, expected=expected)

    def chain(dirpath: Path, per_level: int, key: str) -> Workload:
        dirpath.mkdir(parents=True, exist_ok=True)
        levels = sizes.chain_levels + 1
        before = [data_lines(rng, vocab, n_macros, per_level) for _ in range(levels)]
        after = [data_lines(rng, vocab, n_macros, per_level) for _ in range(levels)]
        expected = []
        for k in range(levels):
            expected += expected_lines(before[k], n_macros)
        for k in reversed(range(levels)):
            expected += expected_lines(after[k], n_macros)
        flat = [DEFINE["kup"](macro_name(i), macro_value(i)) for i in range(n_macros)]
        flat += ["\n".join(before[k]) + "\n" for k in range(levels)]
        flat += ["\n".join(after[k]) + "\n" for k in reversed(range(levels))]
        write(dirpath / "flat.txt", "".join(flat))
        files, size = {"flat": "flat.txt"}, 0
        for d in ("kup", "cpp", "m4"):
            for k in range(levels):
                name = f"{key}{SUFFIX[d]}" if k == 0 else f"c{k:02d}{SUFFIX[d]}"
                parts = []
                if k == 0:
                    parts += [DEFINE[d](macro_name(i), macro_value(i)) for i in range(n_macros)]
                parts.append("\n".join(before[k]) + "\n")
                if k + 1 < levels:
                    parts.append(INCLUDE[d](f"c{k + 1:02d}{SUFFIX[d]}"))
                parts.append("\n".join(after[k]) + "\n")
                n = write(dirpath / name, "".join(parts))
                if d == "kup":
                    size += n
            files[d] = f"{key}{SUFFIX[d]}"
        return Workload(key, "", dirpath, files, size, expected=expected)

    w = many(work / "many", sizes.many_files, "many")
    w.title = f"{sizes.many_files:,} included files of {sizes.many_file_lines} lines"
    w.sample = many(work / "sample-many", max(2, sizes.many_files // 20), "many")
    w.extra["files"] = sizes.many_files
    out.append(w)
    c = chain(work / "chain", sizes.chain_lines, "chain")
    c.title = (f"chain of {sizes.chain_levels} nested includes, "
               f"{2 * sizes.chain_lines:,} lines a level")
    c.sample = chain(work / "sample-chain", 10, "chain")
    out.append(c)
    return out

# ---------------------------------------------------------------------------
# Running

@dataclass
class Run:
    seconds: float
    user: float
    system: float
    maxrss_kb: int
    status: int


TIME = "/usr/bin/time" if Path("/usr/bin/time").exists() else None


def run_once(argv: list, cwd: Path, rss_file: Path | None = None, pipe: bool = False) -> Run:
    """Runs argv with its output thrown away (sent to /dev/null, or read
    through a pipe as a pipeline reads it) and returns its wall time, CPU
    times and peak resident memory. The memory comes from GNU time's %M
    when /usr/bin/time exists: the ru_maxrss of a child forked straight
    from this Python process starts at the size of Python itself."""
    command = list(argv)
    if TIME and rss_file is not None:
        command = [TIME, "-f", "%M", "-o", str(rss_file), *argv]
    start = time.perf_counter()
    proc = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE if pipe else subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    if pipe:
        fd = proc.stdout.fileno()
        while os.read(fd, 1 << 16):
            pass
        proc.stdout.close()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    maxrss = usage.ru_maxrss
    if TIME and rss_file is not None:
        try:
            maxrss = int(rss_file.read_text().split()[-1])
        except (OSError, ValueError, IndexError):
            pass
    return Run(elapsed, usage.ru_utime, usage.ru_stime, maxrss, proc.returncode)


def output_of(argv: list, cwd: Path) -> tuple[int, str, str]:
    p = subprocess.run(argv, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def compare(expected: list[str], got: str) -> str:
    """'same', 'same but blank lines / trailing blanks', or what differs."""
    lines = got.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if lines == expected:
        return "same"
    a = [l.rstrip() for l in lines if l.strip()]
    b = [l.rstrip() for l in expected if l.strip()]
    if a == b:
        return "same but blank lines / trailing blanks"
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return f"DIFFERS at line {i + 1}: {x[:60]!r} vs {y[:60]!r}"
    return f"DIFFERS: {len(a)} lines vs {len(b)} expected"


def check_sample(w: Workload, programs: list[Program]) -> dict:
    """Runs every program on the small sample of a workload and compares its
    output with the expected text (and with kup's)."""
    results = {}
    s = w.sample
    if s is None or not s.files:
        return results
    kup_out = None
    for p in programs:
        path = s.path(p.dialect)
        if path is None or p.name == "awk" or p.pipe:
            continue
        status, out, err = output_of(p.command(path), s.cwd)
        if status != 0:
            results[p.name] = f"FAILED (status {status}): {err.strip()[:100]}"
            continue
        if p.name == "kup":
            kup_out = out
        results[p.name] = compare(s.expected, out) if s.expected is not None else "ran"
        if p.name != "kup" and kup_out is not None and out != kup_out and results[p.name] == "same":
            results[p.name] = "same as expected, bytes differ from kup"
    return results


CLOCK = "cpu"  # which time the medians and ratios use: "cpu" or "wall"


@dataclass
class Result:
    workload: Workload
    program: Program
    runs: list

    @property
    def median(self) -> float:
        """Median of the chosen clock: CPU time (user + system, children
        included) or wall time."""
        if CLOCK == "cpu":
            return statistics.median(r.user + r.system for r in self.runs)
        return statistics.median(r.seconds for r in self.runs)

    @property
    def minimum(self) -> float:
        if CLOCK == "cpu":
            return min(r.user + r.system for r in self.runs)
        return min(r.seconds for r in self.runs)

    @property
    def median_wall(self) -> float:
        return statistics.median(r.seconds for r in self.runs)

    @property
    def maxrss_kb(self) -> int:
        return max(r.maxrss_kb for r in self.runs)

    @property
    def failed(self) -> bool:
        return any(r.status != 0 for r in self.runs)


def time_workload(w: Workload, programs: list[Program], runs: int, budget: float,
                  scratch: Path) -> list[Result]:
    """Times every program on the workload, round-robin so that drift hits
    them alike. A first run warms the page cache and tells how long a run
    takes: a program whose runs would take more than `budget` seconds in
    all gets fewer runs (at least one; a first run longer than the budget
    is kept as the only measurement)."""
    todo = [p for p in programs if w.path(p.dialect) is not None]
    results = {p.name: Result(w, p, []) for p in todo}
    rss = scratch / "maxrss.txt"
    count = {}
    for p in todo:
        first = run_once(p.command(w.path(p.dialect)), w.cwd, rss, p.pipe)
        if first.seconds > budget:
            results[p.name].runs.append(first)
            count[p.name] = 0
        else:
            count[p.name] = max(1, min(runs, int(budget // max(first.seconds, 1e-9))))
    for i in range(runs):
        for p in todo:
            if i < count[p.name]:
                results[p.name].runs.append(run_once(p.command(w.path(p.dialect)), w.cwd, rss,
                                                     p.pipe))
    return list(results.values())


@dataclass
class Pair:
    """kup on a text with few and one with many macros, run in turn."""
    label: str
    few: Result
    many: Result

    @property
    def ratio(self) -> float:
        """Time per byte with many macros over that with few: the median of
        the ratios of the runs taken side by side."""
        per_byte = lambda r, run: (run.user + run.system if CLOCK == "cpu" else run.seconds) \
            / r.workload.size
        return statistics.median(per_byte(self.many, b) / per_byte(self.few, a)
                                 for a, b in zip(self.few.runs, self.many.runs))


def paired(label: str, few: Workload, many: Workload, kup: Program, rounds: int,
           scratch: Path) -> Pair:
    """Runs kup on `few` and `many` in turn, `rounds` times, so that a change
    of load between the two does not pass for a difference."""
    pair = Pair(label, Result(few, kup, []), Result(many, kup, []))
    for _ in range(rounds):
        for r in (pair.few, pair.many):
            w = r.workload
            r.runs.append(run_once(kup.command(w.path("kup")), w.cwd, scratch / "maxrss.txt",
                                   kup.pipe))
    return pair


def paired_runs(workloads: list[Workload], kups: list[Program], rounds: int,
                scratch: Path) -> list[Pair]:
    """The 10- and 990-macro texts of the random names and of every naming
    family, for every way of reading kup's output."""
    by = {w.key: w for w in workloads}
    pairs = []
    if rounds <= 0:
        return pairs
    couples = [("random names (expand)", "expand-10", "expand-990")]
    couples += [(label, f"fam-{f}-10", f"fam-{f}-990") for f, (label, _) in FAMILIES.items()]
    for label, few, many in couples:
        if few in by and many in by:
            for kup in kups:
                pairs.append(paired(label, by[few], by[many], kup, rounds, scratch))
    return pairs


# ---------------------------------------------------------------------------
# Instructions: a count that does not move with the load of the machine

COUNT_BYTES = 5 * MB       # the head of names-500x8 whose instructions are counted
COUNT_INT_LINES = 50_000   # the #int lines of int-only counted


@dataclass
class Count:
    """kup's instructions (cachegrind) on a text, and the text's size in the
    unit the figure is given per."""
    text: str
    instructions: int
    size: int
    unit: str  # "byte" or "line"

    @property
    def per_unit(self) -> float:
        return self.instructions / self.size


def head_file(src: Path, dst: Path, max_bytes: int | None = None,
              max_lines: int | None = None) -> tuple[int, int]:
    """Copies the beginning of `src` to `dst`: at most `max_bytes` bytes cut
    back to the end of the last whole line, or the first `max_lines` lines.
    Returns the bytes and lines written."""
    with src.open("rb") as f:
        data = f.read(max_bytes) if max_bytes is not None else f.read()
    if max_bytes is not None and len(data) == max_bytes:
        data = data[: data.rfind(b"\n") + 1]
    if max_lines is not None:
        cut = 0
        for _ in range(max_lines):
            nl = data.find(b"\n", cut)
            if nl < 0:
                break
            cut = nl + 1
        data = data[:cut]
    dst.write_bytes(data)
    return len(data), data.count(b"\n")


def instructions_of(argv: list, cwd: Path) -> int | None:
    """The instructions a run executes, counted by cachegrind (no cache
    simulation: the count alone), or None when valgrind is missing or the
    run fails."""
    if shutil.which("valgrind") is None:
        return None
    p = subprocess.run(["valgrind", "--tool=cachegrind", "--cache-sim=no",
                        "--cachegrind-out-file=/dev/null", *argv], cwd=cwd,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    for line in p.stderr.splitlines():
        if "I" in line and "refs:" in line and p.returncode == 0:
            return int(line.split("refs:")[1].strip().replace(",", ""))
    return None


def count_instructions(workloads: list[Workload], kup: Path, scratch: Path) -> dict:
    """kup's instructions on the first 5 MB of names-500x8 (a byte of
    input), on the directive mix and on the first 50,000 lines of int-only
    (a line), by workload key."""
    counts = {}
    scratch.mkdir(parents=True, exist_ok=True)
    for w in workloads:
        src = w.cwd / w.path("kup")
        if w.key == "names-500x8":
            dst = scratch / "names-head.kup"
            size, _ = head_file(src, dst, max_bytes=COUNT_BYTES)
            text, unit = f"the first {size:,} bytes", "byte"
        elif w.key == "directives":
            dst, unit = src, "line"
            size = w.extra["lines"]
            text = f"all {size:,} lines"
        elif w.key == "int-only":
            dst = scratch / "int-head.kup"
            _, size = head_file(src, dst, max_lines=10 + COUNT_INT_LINES)
            text, unit = f"the first {size:,} lines", "line"
        else:
            continue
        n = instructions_of([str(kup), str(dst)], w.cwd)
        if n is not None:
            counts[w.key] = Count(text, n, size, unit)
    return counts

# ---------------------------------------------------------------------------
# Report

def machine_text() -> str:
    cpu = "unknown CPU"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    mem = ""
    try:
        for line in Path("/proc/meminfo").read_text().splitlines():
            if line.startswith("MemTotal"):
                mem = f", {int(line.split()[1]) / 1024 / 1024:.0f} GiB memory"
    except OSError:
        pass
    return f"{os.cpu_count()} cores, {cpu}{mem}, {platform.system()} {platform.release()}"


def versions(programs: list[Program]) -> list[str]:
    out = []
    for p in programs:
        exe = p.argv[0]
        if p.name == "kup" or p.pipe:
            continue
        flag = "-W version" if p.note == "gawk" else "--version"
        try:
            r = subprocess.run([exe, *flag.split()], capture_output=True, text=True, timeout=5)
            first = (r.stdout or r.stderr).strip().splitlines()
            text = first[0] if first else "?"
        except (OSError, subprocess.TimeoutExpired):
            text = "?"
        if p.note == "mawk" and not text.startswith("mawk"):
            text = "mawk"
        out.append(f"{p.name}: {text}")
    return out


def fmt_ratio(x: float | None) -> str:
    return "-" if x is None else f"{x:.2f}"


def table(results: list[Result], checks: dict) -> list[str]:
    by = {r.program.name: r for r in results}
    rows = [f"| program | runs | {CLOCK} s | min s | wall s | MB/s | x awk | m4 / it | it / kup "
            "| peak RSS MB | output |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    for r in results:
        # Each row is compared with the peers whose output goes the same way.
        suffix = PIPED if r.program.pipe else ""
        awk, m4, kup = (by.get(n + suffix) for n in ("awk", "m4", "kup"))
        size = r.workload.size
        med = r.median
        rows.append("| {} | {} | {:.3f} | {:.3f} | {:.3f} | {:.1f} | {} | {} | {} | {:.1f} | {} |".format(
            r.program.name + (" (failed)" if r.failed else ""), len(r.runs), med, r.minimum,
            r.median_wall, size / MB / med,
            fmt_ratio(med / awk.median if awk else None),
            fmt_ratio(m4.median / med if m4 else None),
            fmt_ratio(med / kup.median if kup else None),
            r.maxrss_kb / 1024,
            checks.get(r.program.name.removesuffix(PIPED),
                       "-" if not r.program.name.startswith("awk") else "(floor)")))
    return rows


def targets(all_results: dict, pairs: list, counts: dict,
            quick: bool) -> list[tuple[str, bool | None, str]]:
    """The targets of the benchmark, each as (text, passed, measured). The
    ratios use the runs whose output is read through a pipe when there are
    such runs."""
    out = []

    def med(key, name):
        rs = {r.program.name: r for r in all_results.get(key, [])}
        return rs.get(name + PIPED, rs.get(name))

    def how(r):
        return "pipe" if r.program.pipe else "/dev/null"

    kup, m4, awk = (med("names-500x8", n) for n in ("kup", "m4", "awk"))
    if kup and m4:
        ratio = m4.median / kup.median
        out.append(("100 MB, 500 macros NAME0..NAME499: kup >= 12x faster than GNU m4",
                    ratio >= 12, f"{ratio:.2f}x ({how(kup)})"))
    if kup and awk:
        ratio = kup.median / awk.median
        out.append(("100 MB, 500 macros NAME0..NAME499: kup within 2.0x of awk '{print}'",
                    ratio <= 2.0, f"{ratio:.2f}x awk ({how(kup)})"))
    names = counts.get("names-500x8")
    if names:
        out.append(("NAME0..NAME499: at most 14 instructions a byte of input (cachegrind, "
                    "first 5 MB)", names.per_unit <= 14, f"{names.per_unit:.1f}"))
    for pair in pairs:
        out.append((f"{pair.label}: 990 macros cost at most 1.10x of 10 ({how(pair.few)})",
                    pair.ratio <= 1.10, f"{pair.ratio:.3f}x ({len(pair.few.runs)} pairs)"))
    rss = [r.maxrss_kb for rs in all_results.values() for r in rs
           if r.program.name.startswith("kup")]
    if rss:
        peak = max(rss) / 1024
        out.append(("kup peak memory under 4 MB on every workload", peak < 4.0, f"{peak:.2f} MB"))
    ints = med("int-only", "kup")
    if ints:
        rate = ints.workload.extra["evaluations"] / ints.median
        out.append(("at least 3,000,000 #int evaluations per second", rate >= 3e6,
                    f"{rate:,.0f}/s ({how(ints)})"))
    kup, cpp = med("directives", "kup"), med("directives", "cpp -P")
    if kup and cpp:
        ratio = cpp.median / kup.median
        out.append(("directive mix: kup >= 4x faster than cpp -P", ratio >= 4,
                    f"{ratio:.2f}x ({how(kup)})"))
    if quick:
        out = [(t + " (quick run: sizes too small to judge)", None, m) for t, _, m in out]
    return out


def family_table(pairs: list, checks: dict) -> list[str]:
    """One row per naming family and way of reading the output: kup's time
    with 10 and with 990 macros, the ratio of their times per byte, and the
    check of kup's output on samples of both texts."""
    rows = ["| family | output | MB | 10 macros s | 990 macros s | 990 / 10 | check |",
            "|---|---|---:|---:|---:|---:|---|"]
    for p in pairs:
        check = {checks.get(r.workload.key, {}).get("kup", "-") for r in (p.few, p.many)}
        rows.append(f"| {p.label} | {'pipe' if p.few.program.pipe else '/dev/null'} "
                    f"| {p.few.workload.size / MB:.1f} | {p.few.median:.3f} "
                    f"| {p.many.median:.3f} | {p.ratio:.3f} | {', '.join(sorted(check))} |")
    return rows


def print_report(args, programs, notes, workloads, all_results, all_checks,
                 pairs, counts) -> dict:
    lines = []
    say = lines.append
    say(f"# kup benchmark, {datetime.date.today().isoformat()}{' (quick)' if args.quick else ''}")
    say("")
    say(f"Machine: {machine_text()}")
    say("")
    for v in versions(programs):
        say(f"- {v}")
    for n in notes:
        say(f"- note: {n}")
    say("")
    say(f"Load average at the start: {args.load}; at the end: {args.load_end}")
    say("")
    outputs = {"null": "output to /dev/null", "pipe": "output read through a pipe",
               "both": "output to /dev/null, and read through a pipe (rows marked 'pipe')"}
    say(f"Runs per program: {args.runs} (median shown); {outputs[args.output]}; "
        f"the ratios and MB/s use the {CLOCK} time "
        "(cpu: user + system seconds of the program and its children, steady when the "
        "machine is busy; wall: elapsed seconds); MB/s is the kup input size (10^6 bytes, includes "
        "counted) over the median; 'm4 / it' is how many times faster than GNU m4; "
        "peak RSS is the largest over the runs, " + ("from GNU time's %M." if TIME else
        "from ru_maxrss (no /usr/bin/time: includes the size of the forking Python)."))
    for w in workloads:
        rs = all_results.get(w.key)
        if not rs:
            continue
        say("")
        say(f"## {w.key}: {w.title} ({w.size / MB:.1f} MB)")
        say("")
        lines.extend(table(rs, all_checks.get(w.key, {})))
        kup = next((r for r in rs if r.program.name == "kup"), None)
        if kup and "lines" in w.extra:
            say("")
            say(f"kup: {w.extra['lines'] / kup.median:,.0f} lines/s, "
                f"{2 * w.extra['groups'] / kup.median:,.0f} evaluations/s "
                "(one #int and one #if a group)")
        if kup and "evaluations" in w.extra:
            say("")
            say(f"kup: {w.extra['evaluations'] / kup.median:,.0f} #int evaluations/s "
                "(whole run, start-up included)")
        count = counts.get(w.key)
        if count:
            say("")
            say(f"kup: {count.per_unit:,.1f} instructions a {count.unit} of input "
                f"(cachegrind: {count.instructions:,} instructions on {count.text})")
    if pairs:
        say("")
        say(f"## Naming families: kup with 10 and with 990 macros, {args.pair_runs} runs of "
            f"each in turn ({CLOCK} time; the ratio is the median of the pairs' ratios "
            "of time per byte)")
        say("")
        lines.extend(family_table(pairs, all_checks))
    say("")
    say("## Targets")
    say("")
    results = targets(all_results, pairs, counts, args.quick)
    for text, passed, measured in results:
        mark = "n/a" if passed is None else ("PASS" if passed else "FAIL")
        say(f"- [{mark}] {text}: {measured}")
    print("\n".join(lines), flush=True)
    return {"report": lines, "targets": [{"target": t, "passed": p, "measured": m}
                                          for t, p, m in results]}

# ---------------------------------------------------------------------------

def build_kup() -> Path:
    build = ROOT / "build-bench"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                    "-DKUP_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "-j2", "--target", "kup"], check=True,
                   stdout=subprocess.DEVNULL)
    return build / "kup"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small workloads, 2 runs: a smoke test")
    ap.add_argument("--runs", type=int, default=None, help="runs per program (default 5, quick 2)")
    ap.add_argument("--kup", type=Path, help="the kup binary (default: build build-bench/kup)")
    ap.add_argument("--work", type=Path, default=ROOT / "build-bench" / "work",
                    help="scratch directory for the workloads")
    ap.add_argument("--only", default="", help="comma-separated workload keys to run "
                    "(expand-10, expand-500, expand-500x8, expand-990, names-500x8, families "
                    "or fam-<family>, directives, int-only, many, chain)")
    ap.add_argument("--output", choices=("null", "pipe", "both"), default="both",
                    help="where the programs' output goes: /dev/null, a pipe read by this "
                    "script, or both side by side (default both)")
    ap.add_argument("--budget", type=float, default=60.0,
                    help="seconds of timed runs allowed per program and workload; a slower "
                    "program gets fewer runs (default 60)")
    ap.add_argument("--clock", choices=("cpu", "wall"), default="cpu",
                    help="time used for medians and ratios (default cpu: user + system)")
    ap.add_argument("--pair-runs", type=int, default=11,
                    help="kup runs on the 10- and 990-macro texts of every naming family in "
                    "turn (default 11, quick 3)")
    ap.add_argument("--kup-only", action="store_true", help="time kup alone (no peers)")
    ap.add_argument("--no-count", dest="count", action="store_false",
                    help="leave out the instruction counts (cachegrind) of names-500x8, "
                    "directives and int-only")
    ap.add_argument("--json", type=Path, help="also write the results as JSON here")
    ap.add_argument("--seed", type=int, default=1, help="seed of the generated text")
    args = ap.parse_args()
    if args.runs is None:
        args.runs = 2 if args.quick else 5
    if args.quick and args.pair_runs == 11:
        args.pair_runs = 3
    sizes = QUICK if args.quick else FULL
    global CLOCK
    CLOCK = args.clock
    args.load = " ".join(f"{x:.2f}" for x in os.getloadavg())

    kup = args.kup.resolve() if args.kup else build_kup()
    programs, notes = find_programs(kup, not args.kup_only)
    programs = with_outputs(programs, args.output)

    work = args.work.resolve()
    marker = work / ".kup-bench-work"
    if work.exists() and any(work.iterdir()) and not marker.exists():
        print(f"error: {work} is not empty and was not made by this script; "
              "name another --work", file=sys.stderr)
        return 2
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    marker.touch()
    print(f"generating workloads in {work} ...", file=sys.stderr, flush=True)
    rng = random.Random(args.seed)
    vocab = plain_vocabulary(rng)
    keep = set(args.only.split(",")) if args.only else None
    family_keys = {f"fam-{f}-{n}" for f in FAMILIES for n in FAMILY_COUNTS}
    if keep is not None:
        if "families" in keep:
            keep |= family_keys
        keep |= {f"{k}-{n}" for k in keep if k.startswith("fam-") for n in FAMILY_COUNTS}
    groups = [  # the generators and the workloads each one makes
        (expansion_workloads, {"expand-10", "expand-500", "expand-500x8", "expand-990"}),
        (directive_workloads, {"directives", "int-only"}),
        (include_workloads, {"many", "chain"}),
        (family_workloads, family_keys | {"names-500x8"}),
    ]
    workloads = []
    for index, (generate, keys) in enumerate(groups):
        if keep is None or keys & keep:
            # A generator of its own per group: the same text with or without --only.
            rng = random.Random(args.seed * 100 + index)
            if generate is family_workloads:
                workloads += generate(work, sizes, rng, vocab, keep)
            else:
                workloads += generate(work, sizes, rng, vocab)
    if keep is not None:
        workloads = [w for w in workloads if w.key in keep]

    all_results, all_checks = {}, {}
    for w in workloads:
        print(f"{w.key}: checking outputs on a sample, then {args.runs} runs each ...",
              file=sys.stderr, flush=True)
        all_checks[w.key] = check_sample(w, programs)
        if w.key.startswith("fam-"):
            continue  # timed in pairs below
        all_results[w.key] = time_workload(w, programs, args.runs, args.budget, work)
    counts = {}
    if args.count:
        print("counting kup's instructions with cachegrind ...", file=sys.stderr, flush=True)
        counts = count_instructions(workloads, kup, work / "count")
        if not counts and shutil.which("valgrind") is None:
            notes.append("valgrind missing: no instruction counts")
    print("10 and 990 macros of every naming family: paired kup runs ...", file=sys.stderr,
          flush=True)
    kups = [p for p in programs if p.name.startswith("kup")]
    pairs = paired_runs(workloads, kups, args.pair_runs, work)
    args.load_end = " ".join(f"{x:.2f}" for x in os.getloadavg())
    summary = print_report(args, programs, notes, workloads, all_results, all_checks,
                           pairs, counts)
    if args.json:
        data = {k: [{"program": r.program.name, "median": r.median, "size": w.size,
                     "maxrss_kb": r.maxrss_kb, "runs": [vars(x) for x in r.runs]}
                    for r in rs] for k, rs in all_results.items() for w in [rs[0].workload]}
        data["summary"] = summary
        data["instructions"] = {k: vars(c) for k, c in counts.items()}
        args.json.write_text(json.dumps(data, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
