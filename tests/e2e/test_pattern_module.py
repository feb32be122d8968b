#!/usr/bin/env python3
r"""The module that holds KUP_UNDEFINED's matcher, with the real kup.

1. kup installed (cmake --install into a scratch prefix) finds the module
   under the library folder and checks the fields of a data line.
2. kup copied alone into a folder, without the module, runs as ever while
   KUP_UNDEFINED is unset, and with it set ends at start-up with an error
   naming the variable and the module.

Usage: test_pattern_module.py --kup KUP --build BUILD_DIR
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

INPUT = "server DOMIAN\n"
WARNING = "\nline[1] \t[in.txt]\nKUP warning - undefined macro <DOMIAN>\n"


def run(kup, folder, pattern):
    env = {k: v for k, v in os.environ.items() if not k.startswith("KUP_")}
    if pattern is not None:
        env["KUP_UNDEFINED"] = pattern
    return subprocess.run([kup, "in.txt"], cwd=folder, env=env, capture_output=True, text=True, timeout=20)


def expect(what, got, status, stdout, stderr_start):
    ok = got.returncode == status and got.stdout == stdout and got.stderr.startswith(stderr_start)
    if not ok:
        print(f"FAIL {what}: status {got.returncode}\nstdout {got.stdout!r}\nstderr {got.stderr!r}")
    return ok


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kup", required=True)
    ap.add_argument("--build", required=True)
    args = ap.parse_args()
    ok = True
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "in.txt"), "w") as f:
            f.write(INPUT)
        prefix = os.path.join(work, "prefix")
        subprocess.run(["cmake", "--install", args.build, "--prefix", prefix],
                       check=True, stdout=subprocess.DEVNULL)
        installed = os.path.join(prefix, "bin", os.path.basename(args.kup))
        ok &= expect("installed kup", run(installed, work, "[A-Z]+"), 0, "server DOMIAN\n", WARNING)
        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        shutil.copy(args.kup, alone)
        copy = os.path.join(alone, os.path.basename(args.kup))
        ok &= expect("kup alone, unset", run(copy, work, None), 0, "server DOMIAN\n", "")
        got = run(copy, work, "[A-Z]+")
        ok &= expect("kup alone, set", got, 1, "",
                     "\n[Command Line]\nKUP error - KUP_UNDEFINED cannot be checked, its matcher does not load: ")
        if "kup-regex.so" not in got.stderr:
            print(f"FAIL the error names no module: {got.stderr!r}")
            ok = False
    print("ok" if ok else "failed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
