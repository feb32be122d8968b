#!/usr/bin/env python3
r"""Runs the build recipes of the README's section "In a build" with the real
make, Ninja, CMake and Meson.

The recipes are the files of examples/build/ (the Makefile, build.ninja,
CMakeLists.txt and meson.build with their templates and snippets), which
check_examples.py holds equal to the README's blocks. They are copied to a
fresh directory and built with a kup that logs each run, then:

1. the first build makes both pages, as kup makes them;
2. a second build runs nothing;
3. a snippet found through KUP_PATH is changed: both pages are made again;
4. a snippet is deleted together with its #include lines: the build goes on
   without an error;
5. a misspelt directive (KUP_FATAL_WARNINGS=1) fails the build and leaves
   the page made before as it was, its bytes and its time, and no temporary
   file of kup;
6. a run killed by SIGTERM (`timeout -s TERM`) while it reads a slow input
   from a FIFO fails the build and leaves the page and the folder the same.

Usage: check_build_recipes.py --kup KUP --root ROOT --tool TOOL, where TOOL
is make, ninja, cmake-make or cmake-ninja (CMake with that generator) or
meson.
Exits 77 (skipped) when a tool is missing, except under CI=true, where that
is a failure.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

PAGES = ("index", "about")
TIMEOUT = 120.0
SKIPPED = 77
# How long the killed run lives before SIGTERM: time enough, on a loaded
# machine, to reach the FIFO.
KILL_AFTER = "4"
# timeout --preserve-status gives 128 + the signal's number for a command
# that the signal killed.
KILLED_BY_TERM = 128 + 15


class Failure(Exception):
    """A step that did not do what the recipe promises."""


class Recipe:
    """One recipe copied into a work directory, built with one tool."""

    def __init__(self, tool, kup, root, work):
        self.tool = tool
        self.source = os.path.join(work, "pages")
        shutil.copytree(os.path.join(root, "examples", "build"), self.source)
        self.output = (os.path.join(work, "build") if tool in ("cmake-make", "cmake-ninja", "meson")
                       else self.source)
        # kup on PATH logs the template of each run, then runs the real one;
        # with RECIPE_KILL_AFTER set, under timeout, and logs its status.
        self.log = os.path.join(work, "runs.log")
        self.killed_log = os.path.join(work, "killed.status")
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        wrapper = os.path.join(bin_dir, "kup")
        real = os.path.abspath(kup)
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\n'
                    f'for last; do :; done; echo "${{last##*/}}" >> "{self.log}"\n'
                    'if [ -n "$RECIPE_KILL_AFTER" ]; then\n'
                    f'  timeout --preserve-status -s TERM "$RECIPE_KILL_AFTER" "{real}" "$@"\n'
                    f'  status=$?; echo $status > "{self.killed_log}"; exit $status\n'
                    'fi\n'
                    f'exec "{real}" "$@"\n')
        os.chmod(wrapper, 0o755)
        self.env = {name: value for name, value in os.environ.items()
                    if not name.startswith("KUP_")
                    and name not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL")}
        self.env.update(PATH=bin_dir + os.pathsep + os.environ["PATH"],
                        LC_ALL="C")
        self.kup = os.path.abspath(kup)

    def command(self):
        """The command that builds the pages."""
        if self.tool == "make":
            return ["make", "-C", self.source]
        if self.tool == "ninja":
            return ["ninja", "-C", self.source]
        if self.tool == "meson":
            return ["meson", "compile", "-C", self.output]
        return ["cmake", "--build", self.output]

    def configure(self):
        if self.tool == "meson":
            result = self.run(["meson", "setup", self.output, self.source])
            if result.returncode != 0:
                raise Failure(f"meson setup failed\n{result.stdout}{result.stderr}")
            return
        if not self.tool.startswith("cmake"):
            return
        generator = "Ninja" if self.tool == "cmake-ninja" else "Unix Makefiles"
        result = self.run(["cmake", "-S", self.source, "-B", self.output,
                           "-G", generator])
        if result.returncode != 0:
            raise Failure(f"configure failed\n{result.stdout}{result.stderr}")

    def run(self, command):
        return subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=TIMEOUT)

    def build(self, step, succeed=True, env=None):
        """Builds; returns the templates kup ran on, sorted."""
        if os.path.exists(self.log):
            os.remove(self.log)
        result = subprocess.run(self.command(), env=dict(self.env, **(env or {})),
                                stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=TIMEOUT)
        if (result.returncode == 0) != succeed:
            raise Failure(f"{step}: the build {'failed' if succeed else 'succeeded'}"
                          f" (status {result.returncode})\n{result.stdout}{result.stderr}")
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return sorted(f.read().split())

    def page(self, name):
        return os.path.join(self.output, name + ".html")

    def expected_page(self, name):
        """What kup itself writes for the template NAME."""
        env = dict(self.env, KUP_PATH="snippets")
        result = subprocess.run([self.kup, name + ".kup"], cwd=self.source, env=env,
                                capture_output=True, timeout=TIMEOUT)
        return result.stdout

    def check_pages(self, step, must_hold):
        for name in PAGES:
            path = self.page(name)
            if not os.path.exists(path):
                raise Failure(f"{step}: {name}.html was not made")
            with open(path, "rb") as f:
                made = f.read()
            if made != self.expected_page(name):
                raise Failure(f"{step}: {name}.html differs from what kup writes:\n"
                              + made.decode(errors="replace"))
            if must_hold.encode() not in made:
                raise Failure(f"{step}: {name}.html does not hold {must_hold!r}")

    def snapshot(self, name):
        """The bytes and the modification time of the page NAME."""
        path = self.page(name)
        with open(path, "rb") as f:
            return f.read(), os.stat(path).st_mtime_ns

    def temporaries(self):
        """The temporary files of kup in the folders where pages are made."""
        return sorted({path for folder in (self.output, self.source)
                       for path in glob.glob(os.path.join(glob.escape(folder), "*.tmp"))})

    def edit(self, relative, change):
        """Rewrites a file of the recipe with CHANGE(text), newer than any page."""
        path = os.path.join(self.source, relative)
        with open(path) as f:
            text = change(f.read())
        newest = max((os.stat(self.page(n)).st_mtime_ns for n in PAGES
                      if os.path.exists(self.page(n))), default=0)
        while True:
            with open(path, "w") as f:
                f.write(text)
            if os.stat(path).st_mtime_ns > newest:
                return
            time.sleep(0.01)


def check(recipe):
    recipe.configure()
    both = sorted(p + ".kup" for p in PAGES)

    runs = recipe.build("first build")
    if runs != both:
        raise Failure(f"first build: kup ran on {runs}, not on {both}")
    recipe.check_pages("first build", "-- made with")

    runs = recipe.build("second build")
    if runs:
        raise Failure(f"second build: kup ran again on {runs}")

    recipe.edit("snippets/header.kup", lambda text: "=" + text.rstrip("\n") + "=\n")
    runs = recipe.build("header changed")
    if runs != both:
        raise Failure(f"header changed: kup ran on {runs}, not on {both}")
    recipe.check_pages("header changed", "=== ")

    os.remove(os.path.join(recipe.source, "snippets", "footer.kup"))
    for name in PAGES:
        recipe.edit(name + ".kup", lambda text: text.replace("#include 'footer.kup'\n", ""))
    recipe.build("footer deleted")
    recipe.check_pages("footer deleted", "=== ")

    before = recipe.snapshot("index")
    original = read_text(os.path.join(recipe.source, "index.kup"))
    recipe.edit("index.kup", lambda text: text + "#endfi\n")
    runs = recipe.build("misspelt directive", succeed=False)
    if "index.kup" not in runs:
        raise Failure(f"misspelt directive: kup did not run on index.kup ({runs})")
    check_untouched(recipe, "misspelt directive", before)

    check_killed(recipe, original, before)


def read_text(path):
    with open(path) as f:
        return f.read()


def check_untouched(recipe, step, before):
    """The page index.html is what it was, and kup left no temporary."""
    if not os.path.exists(recipe.page("index")):
        raise Failure(f"{step}: the failed build removed index.html")
    if recipe.snapshot("index") != before:
        raise Failure(f"{step}: the failed build changed index.html")
    left = recipe.temporaries()
    if left:
        raise Failure(f"{step}: kup left temporary files behind: {left}")


def check_killed(recipe, original, before):
    """index.kup includes a FIFO that gives one line and then nothing until
    kup is killed: the build fails, kup died of SIGTERM while its temporary
    existed, and the page and the folder are as they were."""
    fifo = os.path.join(recipe.source, "snippets", "slow.kup")
    os.mkfifo(fifo)
    seen_temporaries = []
    release = threading.Event()

    def slow_writer():
        with open(fifo, "w") as writer:
            # kup has opened the FIFO, so it made its temporary files before.
            seen_temporaries.extend(recipe.temporaries())
            writer.write("A line read before the run is killed.\n")
            writer.flush()
            release.wait(TIMEOUT)

    writer = threading.Thread(target=slow_writer, daemon=True)
    writer.start()
    recipe.edit("index.kup", lambda text: original + "#include 'slow.kup'\n")
    try:
        recipe.build("killed run", succeed=False, env={"RECIPE_KILL_AFTER": KILL_AFTER})
    finally:
        release.set()
        if writer.is_alive():
            # kup never opened the FIFO: open it here so the writer ends.
            os.close(os.open(fifo, os.O_RDONLY | os.O_NONBLOCK))
        writer.join(TIMEOUT)
    if not os.path.exists(recipe.killed_log):
        raise Failure("killed run: kup was not run")
    status = int(read_text(recipe.killed_log))
    if status != KILLED_BY_TERM:
        raise Failure(f"killed run: kup ended with status {status}, not killed by SIGTERM")
    if not seen_temporaries:
        raise Failure("killed run: no temporary file existed while kup read the FIFO")
    check_untouched(recipe, "killed run", before)


def missing_tools(tool):
    needed = {"make": ["make"], "ninja": ["ninja"], "cmake-make": ["cmake", "make"],
              "cmake-ninja": ["cmake", "ninja"], "meson": ["meson", "ninja"]}[tool]
    return [name for name in needed if shutil.which(name) is None]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kup", required=True, help="the kup executable")
    parser.add_argument("--root", required=True, help="the repository root")
    parser.add_argument("--tool", required=True,
                        choices=("make", "ninja", "cmake-make", "cmake-ninja", "meson"))
    args = parser.parse_args()

    missing = missing_tools(args.tool)
    if missing:
        under_ci = os.environ.get("CI") == "true"
        print(f"not installed: {' '.join(missing)}"
              + (" (it must be, under CI)" if under_ci else ""))
        return 1 if under_ci else SKIPPED
    with tempfile.TemporaryDirectory(prefix="kup-recipe-") as work:
        try:
            check(Recipe(args.tool, args.kup, os.path.abspath(args.root), work))
        except (Failure, subprocess.TimeoutExpired) as failure:
            print(f"FAILED with {args.tool}: {failure}")
            return 1
    print(f"{args.tool}: built, up to date, rebuilt after a snippet changed,"
          " built without a deleted snippet; a misspelt directive and a killed run"
          " failed the build and left the page as it was")
    return 0


if __name__ == "__main__":
    sys.exit(main())
