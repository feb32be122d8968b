#!/usr/bin/env python3
r"""The temporary files of KUP_DEPFILE and KUP_OUTPUT, with the real kup.

1. A link, a file or a folder planted where an older kup put its temporary
   file (FILE.PID.tmp, the PID being the one kup runs under, as in
   `bash -c 'ln -s victim out.d.$$.tmp; exec kup ...'`) is left as it was,
   the link's target too, and the run still writes its files.
2. A dependency file that cannot be renamed into place (a folder is in the
   way) ends the run with an error and leaves no temporary file behind.
3. A run killed by SIGINT, SIGTERM, SIGHUP or SIGPIPE while reading a FIFO
   dies of that signal, leaves KUP_OUTPUT's file as it was and no temporary
   file; a signal ignored when kup starts stays ignored, and the run goes on.

Usage: test_temporary_files.py --kup KUP
"""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import time

TIMEOUT = 20.0
INPUT = "#define X two\nline X\n"
EXPECTED_OUTPUT = "line two\n"
EXPECTED_RULE = "out.txt: in.txt\nin.txt:\n"


class Failure(Exception):
    """A run that did not do what it should."""


def environment(**variables):
    env = {name: value for name, value in os.environ.items() if not name.startswith("KUP_")}
    env.update(LC_ALL="C", **variables)
    return env


def read(path):
    with open(path) as f:
        return f.read()


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def leftovers(folder, known):
    """The entries of FOLDER that are not in KNOWN."""
    return sorted(set(os.listdir(folder)) - set(known))


def planted(kup, variable, kind):
    """Plants KIND (link, file, folder) at VARIABLE's old temporary name."""
    with tempfile.TemporaryDirectory(prefix="kup-planted-") as work:
        write(os.path.join(work, "in.txt"), INPUT)
        write(os.path.join(work, "victim"), "victim\n")
        target = "out.d" if variable == "KUP_DEPFILE" else "out.txt"
        plant = {"link": "ln -s victim", "file": "echo planted >", "folder": "mkdir"}[kind]
        script = f'{plant} {target}.$$.tmp && exec "$0" in.txt'
        env = environment(KUP_DEPFILE="out.d", KUP_DEPTARGET="out.txt", KUP_OUTPUT="out.txt")
        result = subprocess.run(["bash", "-c", script, kup], cwd=work, env=env,
                                capture_output=True, text=True, timeout=TIMEOUT)
        what = f"{variable}, a {kind} planted"
        if result.returncode != 0 or result.stdout or result.stderr:
            raise Failure(f"{what}: status {result.returncode}\n{result.stdout}{result.stderr}")
        if read(os.path.join(work, "victim")) != "victim\n":
            raise Failure(f"{what}: the link's target was written")
        if read(os.path.join(work, "out.txt")) != EXPECTED_OUTPUT:
            raise Failure(f"{what}: out.txt is {read(os.path.join(work, 'out.txt'))!r}")
        if read(os.path.join(work, "out.d")) != EXPECTED_RULE:
            raise Failure(f"{what}: out.d is {read(os.path.join(work, 'out.d'))!r}")
        plants = [name for name in os.listdir(work) if name.endswith(".tmp")]
        if len(plants) != 1:
            raise Failure(f"{what}: temporary files {plants}, only the planted one expected")
        path = os.path.join(work, plants[0])
        kept = {"link": os.path.islink(path) and os.readlink(path) == "victim",
                "file": os.path.isfile(path) and read(path) == "planted\n",
                "folder": os.path.isdir(path) and not os.listdir(path)}[kind]
        if not kept:
            raise Failure(f"{what}: the planted {kind} was changed")


def failed_rename(kup):
    with tempfile.TemporaryDirectory(prefix="kup-rename-") as work:
        write(os.path.join(work, "in.txt"), INPUT)
        os.makedirs(os.path.join(work, "out.d", "inside"))
        result = subprocess.run([kup, "in.txt"], cwd=work, env=environment(KUP_DEPFILE="out.d",
                                KUP_DEPTARGET="out.txt"), capture_output=True, text=True,
                                timeout=TIMEOUT)
        message = "KUP error - problem to write KUP_DEPFILE: 'out.d'\n"
        if result.returncode != 1 or result.stderr != message:
            raise Failure(f"failed rename: status {result.returncode}\n{result.stderr}")
        left = leftovers(work, ["in.txt", "out.d"])
        if left:
            raise Failure(f"failed rename: left behind {left}")


def temporaries(folder):
    return [name for name in os.listdir(folder) if name.endswith(".tmp")]


def killed(kup, number, ignored=False):
    """Runs kup on a FIFO kept open, sends signal NUMBER once both temporary
    files exist; with IGNORED, the signal is ignored from the start."""
    name = signal.Signals(number).name
    with tempfile.TemporaryDirectory(prefix="kup-signal-") as work:
        fifo = os.path.join(work, "slow.txt")
        os.mkfifo(fifo)
        write(os.path.join(work, "out.txt"), "old\n")
        env = environment(KUP_OUTPUT="out.txt", KUP_DEPFILE="out.d")
        preexec = (lambda: signal.signal(number, signal.SIG_IGN)) if ignored else None
        process = subprocess.Popen([kup, "slow.txt"], cwd=work, env=env, stdin=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, preexec_fn=preexec)
        try:
            with open(fifo, "w") as writer:
                writer.write("first line\n")
                writer.flush()
                deadline = time.monotonic() + TIMEOUT
                while len(temporaries(work)) < 2:
                    if time.monotonic() > deadline or process.poll() is not None:
                        raise Failure(f"{name}: kup made {temporaries(work)} and no more")
                    time.sleep(0.01)
                process.send_signal(number)
                if ignored:
                    time.sleep(0.2)
                    if process.poll() is not None:
                        raise Failure(f"{name} ignored: kup ended ({process.returncode})")
                    writer.write("last line\n")
            status = process.wait(timeout=TIMEOUT)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stderr.close()
        output = read(os.path.join(work, "out.txt"))
        if ignored:
            if status != 0 or output != "first line\nlast line\n":
                raise Failure(f"{name} ignored: status {status}, out.txt {output!r}")
        else:
            if status != -number:
                raise Failure(f"{name}: kup ended with {status}, not by the signal")
            if output != "old\n":
                raise Failure(f"{name}: out.txt was changed to {output!r}")
            left = leftovers(work, ["slow.txt", "out.txt"])
            if left:
                raise Failure(f"{name}: left behind {left}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kup", required=True, help="the kup executable")
    kup = os.path.abspath(parser.parse_args().kup)
    checks = [lambda v=v, k=k: planted(kup, v, k) for v in ("KUP_DEPFILE", "KUP_OUTPUT")
              for k in ("link", "file", "folder")]
    checks.append(lambda: failed_rename(kup))
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGPIPE):
        checks.append(lambda n=number: killed(kup, n))
    checks.append(lambda: killed(kup, signal.SIGHUP, ignored=True))
    failures = 0
    for check in checks:
        try:
            check()
        except (Failure, subprocess.TimeoutExpired) as failure:
            print(f"FAILED: {failure}")
            failures += 1
    print(f"{len(checks) - failures} of {len(checks)} checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
