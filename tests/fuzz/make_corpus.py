#!/usr/bin/env python3
"""Seeds the fuzz corpora from the end-to-end cases.

Every `--- file` and `--- stdin` section of tests/e2e/cases/**/*.case becomes
one seed of the run corpus; every #if, #int, #real, #fix, #skip and #verbose
argument found in them becomes a seed of the expression corpus (with a
leading precision byte). Given a fourth folder, the language server's
corpus: each run seed as a document (after a byte 1), and framed protocol
messages as a stream (after a byte 0)."""
import hashlib
import json
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


def framed(message):
    body = json.dumps(message).encode()
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def write_stream_seeds(folder):
    """A session as an editor sends it, whole and in parts."""
    uri = "file:///tmp/kup-fuzz-doc.kup"
    text = "#define A 1\n#include 'x.kup'\nA\n#if 0\nB\n#endif\n"
    messages = [
        {"jsonrpc": "2.0", "method": "textDocument/didOpen",
         "params": {"textDocument": {"uri": uri, "version": 1, "text": text}}},
        {"jsonrpc": "2.0", "id": 1, "method": "textDocument/hover",
         "params": {"textDocument": {"uri": uri}, "position": {"line": 2, "character": 0}}},
        {"jsonrpc": "2.0", "method": "textDocument/didChange",
         "params": {"textDocument": {"uri": uri, "version": 2}, "contentChanges": [
             {"range": {"start": {"line": 0, "character": 9}, "end": {"line": 0, "character": 10}}, "text": "2"}]}},
        {"jsonrpc": "2.0", "id": 2, "method": "textDocument/completion",
         "params": {"textDocument": {"uri": uri}, "position": {"line": 3, "character": 1}}},
        {"jsonrpc": "2.0", "id": 3, "method": "workspace/executeCommand",
         "params": {"command": "kup.expand", "arguments": [uri]}},
        {"jsonrpc": "2.0", "id": 4, "method": "shutdown"},
    ]
    stream = b"".join(framed(m) for m in messages)
    for seed in (stream, stream[:len(stream) // 2], b"Content-Length: 3\r\n\r\n{x}" + stream):
        (folder / hashlib.sha1(b"\x00" + seed).hexdigest()).write_bytes(b"\x00" + seed)


def main():
    root = pathlib.Path(sys.argv[1])
    run_dir, expr_dir = pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
    run_dir.mkdir(parents=True, exist_ok=True)
    expr_dir.mkdir(parents=True, exist_ok=True)
    expression = re.compile(rb"^\s*#\s*(?:if|int|real\d*|fix\d*|skip|verbose)\s+(.*)$", re.M)
    ls_dir = pathlib.Path(sys.argv[4]) if len(sys.argv) > 4 else None
    if ls_dir is not None:
        ls_dir.mkdir(parents=True, exist_ok=True)
        write_stream_seeds(ls_dir)
    for case in sorted(root.rglob("*.case")):
        text = case.read_text(encoding="utf-8", errors="replace")
        for header, lines in sections(text):
            if not (header.startswith("file ") or header.startswith("stdin")):
                continue
            data = decode(header, lines)
            (run_dir / hashlib.sha1(data).hexdigest()).write_bytes(data)
            if ls_dir is not None:
                (ls_dir / hashlib.sha1(b"\x01" + data).hexdigest()).write_bytes(b"\x01" + data)
            for match in expression.finditer(data):
                seed = b"\x00" + match.group(1)
                (expr_dir / hashlib.sha1(seed).hexdigest()).write_bytes(seed)


if __name__ == "__main__":
    main()
