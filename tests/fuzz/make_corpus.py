#!/usr/bin/env python3
"""Seeds the fuzz corpora from the end-to-end cases.

Every `--- file` and `--- stdin` section of tests/e2e/cases/**/*.case becomes
one seed of the run corpus; every #if, #int, #real, #fix, #skip and #verbose
argument found in them becomes a seed of the expression corpus (with a
leading precision byte)."""
import hashlib
import pathlib
import re
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "e2e"))


def sections(text):
    """Yields (header, content bytes) of a case file, decoding escapes."""
    header, lines = None, []
    for raw in text.split("\n"):
        if raw.startswith("--- "):
            if header is not None:
                yield header, lines
            header, lines = raw[4:], []
        elif header is not None:
            lines.append(raw)
    if header is not None:
        yield header, lines


def decode(header, lines):
    body = "\n".join(lines)
    if lines and lines[-1] == "":
        body = "\n".join(lines[:-1]) + "\n"
    else:
        body = body + "\n"
    if "[noeol]" in header and body.endswith("\n"):
        body = body[:-1]
    data = body.encode("latin-1", "replace")
    if "[escapes]" in header:
        data = data.decode("unicode_escape").encode("latin-1", "replace")
    return data


def main():
    root = pathlib.Path(sys.argv[1])
    run_dir, expr_dir = pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    run_dir.mkdir(parents=True, exist_ok=True)
    expr_dir.mkdir(parents=True, exist_ok=True)
    expression = re.compile(rb"^\s*#\s*(?:if|int|real\d*|fix\d*|skip|verbose)\s+(.*)$", re.M)
    for case in sorted(root.rglob("*.case")):
        text = case.read_text(encoding="utf-8", errors="replace")
        for header, lines in sections(text):
            if not (header.startswith("file ") or header.startswith("stdin")):
                continue
            data = decode(header, lines)
            (run_dir / hashlib.sha1(data).hexdigest()).write_bytes(data)
            for match in expression.finditer(data):
                seed = b"\x00" + match.group(1)
                (expr_dir / hashlib.sha1(seed).hexdigest()).write_bytes(seed)


if __name__ == "__main__":
    main()
