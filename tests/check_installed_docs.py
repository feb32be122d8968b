#!/usr/bin/env python3
"""Installs the build into a fresh prefix, with the real `cmake --install`,
and checks that the installed kup.1 names the documentation where it was
installed: every path of the page under the prefix's share/doc/kup exists
there, and the page names no other documentation folder.

Usage: check_installed_docs.py BUILD_DIR
"""
import gzip
import pathlib
import re
import subprocess
import sys
import tempfile

DOC_PATH = re.compile(r"((?:PREFIX|/[^\s\\;]*?)/share/doc/kup(?:/[^\s\\;]*)?)")


def installed_page(prefix):
    pages = list((prefix / "share" / "man" / "man1").glob("kup.1*"))
    if len(pages) != 1:
        raise SystemExit(f"FAIL: not one kup.1 under {prefix}: {pages}")
    page = pages[0]
    data = page.read_bytes()
    return (gzip.decompress(data) if page.suffix == ".gz" else data).decode()


def main():
    build = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="kup-install-") as tmp:
        prefix = pathlib.Path(tmp) / "some prefix"
        run = subprocess.run(["cmake", "--install", build, "--prefix", str(prefix)],
                             capture_output=True, text=True, timeout=120)
        if run.returncode != 0:
            print(f"FAIL: cmake --install failed:\n{run.stdout}{run.stderr}")
            return 1
        # The prefix's blank is written as roff's unbreakable blank.
        text = installed_page(prefix).replace(str(prefix).replace(" ", "\\ "), "PREFIX")
        named = [p.rstrip(".,") for p in DOC_PATH.findall(text)]
        if not named:
            print("FAIL: the installed kup.1 names no documentation folder")
            return 1
        wrong = [p for p in named if not p.startswith("PREFIX/share/doc/kup")]
        missing = [p for p in named if p.startswith("PREFIX/")
                   and not (prefix / p[len("PREFIX/"):]).exists()]
        for path in wrong:
            print(f"FAIL: kup.1 names {path}, outside the prefix installed to")
        for path in missing:
            print(f"FAIL: kup.1 names {path}, which was not installed")
        if wrong or missing:
            return 1
        print(f"ok: the {len(named)} documentation paths of kup.1 are under the prefix and installed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
