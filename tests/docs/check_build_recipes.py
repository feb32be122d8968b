#!/usr/bin/env python3
r"""Runs the build recipes of the README's section "In a build" with the real
make, Ninja and CMake.

The recipes are the files of examples/build/ (the Makefile, build.ninja and
CMakeLists.txt with their templates and snippets), which check_examples.py
holds equal to the README's blocks. They are copied to a fresh directory and
built with a kup that logs each run, then:

1. the first build makes both pages, as kup makes them;
2. a second build runs nothing;
3. a snippet found through KUP_PATH is changed: both pages are made again;
4. a snippet is deleted together with its #include lines: the build goes on
   without an error;
5. a misspelt directive (KUP_FATAL_WARNINGS=1) fails the build, and the page
   is not left behind, nor any temporary file of kup.

Usage: check_build_recipes.py --kup KUP --root ROOT --tool TOOL, where TOOL
is make, ninja, cmake-make or cmake-ninja (CMake with that generator).
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
import time

PAGES = ("index", "about")
TIMEOUT = 120.0
SKIPPED = 77


class Failure(Exception):
    """A step that did not do what the recipe promises."""


class Recipe:
    """One recipe copied into a work directory, built with one tool."""

    def __init__(self, tool, kup, root, work):
        self.tool = tool
        self.source = os.path.join(work, "pages")
        shutil.copytree(os.path.join(root, "examples", "build"), self.source)
        self.output = (os.path.join(work, "build") if tool.startswith("cmake")
                       else self.source)
        # kup on PATH logs the template of each run, then runs the real one.
        self.log = os.path.join(work, "runs.log")
        bin_dir = os.path.join(work, "bin")
        os.mkdir(bin_dir)
        wrapper = os.path.join(bin_dir, "kup")
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\n'
                    f'for last; do :; done; echo "${{last##*/}}" >> "{self.log}"\n'
                    f'exec "{os.path.abspath(kup)}" "$@"\n')
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
        return ["cmake", "--build", self.output]

    def configure(self):
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

    def build(self, step, succeed=True):
        """Builds; returns the templates kup ran on, sorted."""
        if os.path.exists(self.log):
            os.remove(self.log)
        result = self.run(self.command())
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

    recipe.edit("index.kup", lambda text: text + "#endfi\n")
    recipe.build("misspelt directive", succeed=False)
    if os.path.exists(recipe.page("index")):
        raise Failure("misspelt directive: the failed build left index.html behind")
    left = glob.glob(os.path.join(glob.escape(recipe.output), "*.d.*.tmp"))
    if left:
        raise Failure(f"kup left temporary files behind: {left}")


def missing_tools(tool):
    needed = {"make": ["make"], "ninja": ["ninja"], "cmake-make": ["cmake", "make"],
              "cmake-ninja": ["cmake", "ninja"]}[tool]
    return [name for name in needed if shutil.which(name) is None]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kup", required=True, help="the kup executable")
    parser.add_argument("--root", required=True, help="the repository root")
    parser.add_argument("--tool", required=True,
                        choices=("make", "ninja", "cmake-make", "cmake-ninja"))
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
          " built without a deleted snippet, failed on a misspelt directive")
    return 0


if __name__ == "__main__":
    sys.exit(main())
