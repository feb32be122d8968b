#!/usr/bin/env python3
"""Instructions kup executes on the benchmark's workloads, counted by
cachegrind: the figure that does not depend on the load of the machine.

    python3 bench/count_instructions.py OLD/kup NEW/kup

generates the workloads of run_bench.py at the --quick sizes (a tenth of
them for the texts of many lines) into build-bench/count, runs every kup
given on every workload under valgrind --tool=cachegrind, and prints the
instructions of each and, for two or more, the ratio of each to the first.
With --env NAME=VALUE every kup after the first runs with that variable
set, so that `count_instructions.py build/kup build/kup --env
KUP_EXTRA_WARNINGS=1` gives the cost of a setting. Standard library and
valgrind only.
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

sys.path.insert(0, str(Path(__file__).resolve().parent))
import run_bench  # noqa: E402  (the generators of the workloads)

SIZES = run_bench.Sizes(lines=20_000, repeat=1, groups=2_500, int_lines=20_000,
                        many_files=100, many_file_lines=20, chain_lines=250,
                        sample_lines=10, family_lines=20_000, names_repeat=1)


def workloads(work: Path) -> list:
    """The kup texts: every generator of run_bench with its own seed."""
    vocab = run_bench.plain_vocabulary(random.Random(1))
    found = []
    generators = [run_bench.expansion_workloads, run_bench.directive_workloads,
                  run_bench.include_workloads, run_bench.family_workloads]
    for index, generate in enumerate(generators):
        rng = random.Random(100 + index)
        if generate is run_bench.family_workloads:
            found += generate(work, SIZES, rng, vocab, None)
        else:
            found += generate(work, SIZES, rng, vocab)
    return [w for w in found if w.path("kup")]


def instructions(kup: Path, w, env: dict | None = None) -> int:
    """Instructions of one run of `kup` on workload `w`, in `env` (None:
    the caller's environment)."""
    with tempfile.NamedTemporaryFile() as out:
        subprocess.run(["valgrind", "--tool=cachegrind", "--cache-sim=no",
                        f"--cachegrind-out-file={out.name}", str(kup), w.path("kup")],
                       cwd=w.cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=env, check=True)
        for line in Path(out.name).read_text().splitlines():
            if line.startswith("summary:"):
                return int(line.split()[1])
    raise RuntimeError(f"no summary from cachegrind for {w.key}")


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("kups", type=Path, nargs="+", help="kup binaries to compare")
    ap.add_argument("--work", type=Path, default=run_bench.ROOT / "build-bench" / "count")
    ap.add_argument("--only", default="", help="comma-separated workload keys")
    ap.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                    help="set in the environment of every kup after the first (again for more)")
    args = ap.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    keep = set(args.only.split(",")) if args.only else None
    kups = [k.resolve() for k in args.kups]
    env = dict(os.environ, **dict(item.split("=", 1) for item in args.env)) if args.env else None
    print(f"{'workload':<20}" + "".join(f"{str(i):>16}" for i in range(len(kups)))
          + ("   ratio to 0" if len(kups) > 1 else ""))
    for w in workloads(args.work.resolve()):
        if keep is not None and w.key not in keep:
            continue
        counts = [instructions(k, w, None if i == 0 else env) for i, k in enumerate(kups)]
        ratios = "  ".join(f"{c / counts[0]:.3f}" for c in counts[1:])
        print(f"{w.key:<20}" + "".join(f"{c:>16,}" for c in counts) + "   " + ratios, flush=True)
    for i, k in enumerate(kups):
        print(f"{i}: {k}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
