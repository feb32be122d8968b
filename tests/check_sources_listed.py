#!/usr/bin/env python3
"""Checks that CMake lists every source file by name: each src/**/*.cpp in
CMakeLists.txt and each tests/unit/*_test.cpp in tests/CMakeLists.txt, so
that a new file left out of the lists fails here rather than being quietly
not built or not run.

Usage: check_sources_listed.py ROOT
"""
import pathlib
import sys


def unlisted(root, pattern, cmake_file, relative_to):
    """The files matching `pattern` whose path, relative to `relative_to`,
    does not appear in `cmake_file`."""
    text = (root / cmake_file).read_text()
    base = root / relative_to
    return [str(path.relative_to(root)) for path in sorted(root.glob(pattern))
            if path.relative_to(base).as_posix() not in text]


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    missing = (unlisted(root, "src/**/*.cpp", "CMakeLists.txt", ".") +
               unlisted(root, "tests/unit/*_test.cpp", "tests/CMakeLists.txt",
                        "tests"))
    for path in missing:
        print(f"{path} is not listed in CMake")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
