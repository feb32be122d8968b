#!/usr/bin/env python3
"""kup on a large input piped into `head -1` ends at once and quietly.

A 50 MB input is generated in a temporary directory and expanded into a
pipe whose reader, `head -1`, goes away after the first line.  With the
default SIGPIPE kup is killed by the signal at its next write; with
SIGPIPE ignored its write fails with EPIPE, and kup must then stop at once
with status 1 and no message, instead of reading the rest of the input and
complaining about standard output.  A full device (ENOSPC) is different:
the run goes on to its end and reports the write error once.

Windows has no SIGPIPE: there the write fails whatever the shell does with
the signal, and both runs end with status 1.

Usage: test_pipe.py --kup PATH [--launcher CMD --platform NAME]
                    [unittest options]
"""

import argparse
import os
import shlex
import signal
import subprocess
import sys
import tempfile
import time
import unittest

KUP = None
# The emulator command that runs KUP, and the platform KUP is built for.
LAUNCHER = []
PLATFORM = None

# Big enough that reading all of it takes far longer than the limit,
# even in a fast build.
INPUT_BYTES = 50 * 1000 * 1000
FIRST_LINE = b"first line of a large input\n"
OTHER_LINE = b"X and some more words on a line\n"
# Seconds within which the pipeline must end.
LIMIT = 5.0


def ignore_sigpipe():
    """Runs in the child before exec: the shell, kup and head inherit it."""
    signal.signal(signal.SIGPIPE, signal.SIG_IGN)


class PipeIntoHeadTest(unittest.TestCase):
    """`kup big.txt | head -1` through a shell."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory(prefix="kup-pipe-test-")
        cls.big = os.path.join(cls.dir.name, "big.txt")
        with open(cls.big, "wb") as f:
            f.write(FIRST_LINE)
            f.write(OTHER_LINE * (INPUT_BYTES // len(OTHER_LINE)))

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def run_pipeline(self, command_tail, preexec_fn=None):
        """Runs `kup ARGS 2>err | head -1`; returns head's output, kup's
        standard error and exit status, and the seconds taken."""
        err = os.path.join(self.dir.name, "err.txt")
        status = os.path.join(self.dir.name, "status.txt")
        kup = shlex.join(LAUNCHER + [KUP])
        script = (f"({kup} {command_tail} 2>{shlex.quote(err)}; "
                  f"echo $? >{shlex.quote(status)}) | head -1")
        start = time.monotonic()
        try:
            proc = subprocess.run(["sh", "-c", script], cwd=self.dir.name,
                                  stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60,
                                  preexec_fn=preexec_fn,
                                  env=dict(os.environ, LC_ALL="C"))
        except subprocess.TimeoutExpired:
            self.fail("the pipeline did not end within 60 s")
        seconds = time.monotonic() - start
        self.assertEqual(proc.stderr, b"", "the shell complained")
        with open(err, "rb") as f:
            kup_err = f.read()
        with open(status) as f:
            kup_status = int(f.read())
        return proc.stdout, kup_err, kup_status, seconds

    def test_default_sigpipe_kills_kup_quietly(self):
        out, err, status, seconds = self.run_pipeline("big.txt")
        self.assertEqual(out, FIRST_LINE)
        self.assertEqual(err, b"")
        self.assertEqual(status, 1 if PLATFORM == "windows"
                         else 128 + signal.SIGPIPE)
        self.assertLess(seconds, LIMIT)

    def test_ignored_sigpipe_ends_the_run_at_once_with_status_1(self):
        out, err, status, seconds = self.run_pipeline(
            "-d X expanded big.txt", preexec_fn=ignore_sigpipe)
        self.assertEqual(out, FIRST_LINE)
        self.assertEqual(err, b"")
        self.assertEqual(status, 1)
        self.assertLess(seconds, LIMIT)

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_full_device_still_reports_once_at_the_end(self):
        # ENOSPC is no closed pipe: the run goes on to the end of its input
        # (the warning of the last line appears) and reports the failure.
        src = os.path.join(self.dir.name, "small.txt")
        with open(src, "wb") as f:
            f.write(OTHER_LINE * 5000 + b"#Late\n")
        with open("/dev/full", "wb") as full:
            proc = subprocess.run(LAUNCHER + [KUP, "small.txt"],
                                  cwd=self.dir.name,
                                  stdin=subprocess.DEVNULL, stdout=full,
                                  stderr=subprocess.PIPE, timeout=60,
                                  preexec_fn=ignore_sigpipe)
        self.assertEqual(proc.returncode, 1)
        self.assertEqual(proc.stderr,
                         b"\nline[5001] \t[small.txt]\n"
                         b"KUP warning - '#Late' is not a legal ZIDiv "
                         b"directive\n"
                         b"KUP error - problem to write on standard output\n")


def main():
    global KUP, LAUNCHER, PLATFORM
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kup", required=True,
                        help="path of the kup executable to run")
    parser.add_argument("--launcher", default="",
                        help="command that runs kup (an emulator)")
    parser.add_argument("--platform", choices=("windows", "arm64"),
                        help="the platform kup is built for")
    args, rest = parser.parse_known_args()
    KUP = os.path.abspath(args.kup)
    LAUNCHER = shlex.split(args.launcher)
    PLATFORM = args.platform
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
