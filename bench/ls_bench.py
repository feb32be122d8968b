#!/usr/bin/env python3
"""kup-ls on a large template: the time from a one-character change to the
diagnostics of the changed version, and the server's memory.

    python3 bench/ls_bench.py build/kup-ls [--lines 10000] [--changes 50] [--wrap COMMAND]

writes a template of LINES lines (definitions, data lines naming macros,
#if blocks that skip, an #include of a snippet, a precedence trap) into a
temporary workspace, opens it in kup-ls, then sends CHANGES incremental
changes of one character, alternately typing and deleting a digit in a
data line, each followed by waiting for its publishDiagnostics. Prints
the median, the quartiles and the slowest time, the server's processor
time per change (which the load of the machine does not inflate as it
does the wall-clock times) and its peak resident memory (VmHWM). A benchmark, not a test: run it on a quiet
machine. --wrap runs the server under a command (valgrind, say: see
bench/README.md for the instructions of one refresh). Standard library
only.
"""

from __future__ import annotations

import argparse
import os
import random
import shlex
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "ls"))
from lsp_client import Client  # noqa: E402


def template(lines: int, rng: random.Random) -> str:
    out = ["#include 'snippet.kup'"]
    names = [f"NAME{i}" for i in range(200)]
    for name in names:
        out.append(f"#define {name} value-of-{name.lower()}")
    while len(out) < lines:
        kind = rng.random()
        if kind < 0.05:
            out += ["#if PORT > 8000", f"port {rng.choice(names)} skipped", "#else",
                    f"port {rng.choice(names)} kept", "#endif"]
        elif kind < 0.08:
            out.append(f"#int N{len(out)} CORES * 2 + {rng.randint(1, 9)}")
        else:
            words = [rng.choice(names) if rng.random() < 0.4 else f"word{rng.randint(0, 999)}"
                     for _ in range(rng.randint(3, 12))]
            out.append(" ".join(words))
    return "\n".join(out[:lines]) + "\n"


def cpu_ms(pid: int) -> float:
    """User and system time the process has used so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def peak_memory_kib(pid: int) -> int:
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return -1


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("server")
    parser.add_argument("--lines", type=int, default=10_000)
    parser.add_argument("--changes", type=int, default=50)
    parser.add_argument("--wrap", default="", help="a command to run the server under")
    args = parser.parse_args()
    rng = random.Random(29)
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder).resolve()
        (root / "snippet.kup").write_text("#define PORT 8080\n#int CORES 8\n")
        text = template(args.lines, rng)
        path = root / "big.kup"
        path.write_text(text)
        client = Client(shlex.split(args.wrap) + [args.server])
        client.initialize(root)
        uri = client.open(path)
        first = client.wait_notification("textDocument/publishDiagnostics", lambda p: p["uri"] == uri)
        print(f"template: {args.lines} lines, {len(text)} bytes; "
              f"{len(first['diagnostics'])} diagnostics on opening")
        # The data line to edit: the last one, so that the whole template
        # is before the change.
        line = args.lines - 1
        times = []
        cpu_before = cpu_ms(client.process.pid)
        for version in range(2, args.changes + 2):
            typing = version % 2 == 0
            change = {"range": {"start": {"line": line, "character": 0},
                                "end": {"line": line, "character": 0 if typing else 1}},
                      "text": "7" if typing else ""}
            start = time.perf_counter()
            client.notify("textDocument/didChange",
                          {"textDocument": {"uri": uri, "version": version}, "contentChanges": [change]})
            client.wait_notification("textDocument/publishDiagnostics",
                                     lambda p, v=version: p["uri"] == uri and p.get("version") == v)
            times.append((time.perf_counter() - start) * 1000)
        cpu = (cpu_ms(client.process.pid) - cpu_before) / args.changes
        memory = peak_memory_kib(client.process.pid)
        client.close()
    quartiles = statistics.quantiles(times, n=4)
    print(f"change to publishDiagnostics over {len(times)} changes: median {statistics.median(times):.2f} ms, "
          f"quartiles {quartiles[0]:.2f} / {quartiles[2]:.2f} ms, slowest {max(times):.2f} ms")
    print(f"server's processor time per change (user and system): {cpu:.1f} ms; "
          f"load average {os.getloadavg()[0]:.1f}")
    print(f"peak resident memory of kup-ls: {memory / 1024:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
