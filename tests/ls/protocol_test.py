#!/usr/bin/env python3
"""kup-ls over pipes, as an editor drives it, on a workspace whose template
includes a snippet: diagnostics, hover, definition, references,
completion, symbols, kup.expand, a change that mends an error, settings,
and the messages that must not stop the server.

    protocol_test.py KUP_LS [KUP]
"""

from __future__ import annotations

import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from lsp_client import Client  # noqa: E402

TEMPLATE = """\
#define NAME world
#include 'snippet.kup'
Hello NAME on PORT
#int MEM 512 + CORES * 256
#if 0
never shown
#endif
#bogus word
#int BROKEN 1 +
"""
SNIPPET = """\
#define PORT 8080
#int CORES 8
"""
BROKEN = """\
#define OK yes
#int BAD (1
"""
OUTER = """\
#define A 1
#include 'broken.kup'
A
"""

failures: list[str] = []


def check(condition: bool, what: str, detail=None) -> None:
    if not condition:
        failures.append(what + ("" if detail is None else f": {detail!r}"))
        print("FAIL", what, "" if detail is None else detail)


def diagnostics_for(client: Client, uri: str) -> list[dict]:
    return client.wait_notification("textDocument/publishDiagnostics", lambda p: p["uri"] == uri)["diagnostics"]


def at(uri: str, line: int, character: int) -> dict:
    return {"textDocument": {"uri": uri}, "position": {"line": line, "character": character}}


def lines_of(diagnostics: list[dict], severity: int) -> list[int]:
    return sorted(d["range"]["start"]["line"] for d in diagnostics if d.get("severity") == severity)


def main() -> int:
    server = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder).resolve()
        (root / "template.kup").write_text(TEMPLATE)
        (root / "snippet.kup").write_text(SNIPPET)
        (root / "broken.kup").write_text(BROKEN)
        (root / "outer.kup").write_text(OUTER)
        client = Client([server])
        capabilities = client.initialize(root)["capabilities"]
        check(capabilities.get("hoverProvider") is True, "hover is offered", capabilities)
        check("kup.expand" in capabilities["executeCommandProvider"]["commands"], "kup.expand is offered")

        uri = client.open(root / "template.kup")
        found = diagnostics_for(client, uri)
        check(lines_of(found, 1) == [8], "the error at its line", found)
        warnings = lines_of(found, 2)
        check(7 in warnings, "the unknown directive's warning at its line", found)
        precedence = [d for d in found if d["range"]["start"]["line"] == 3 and d.get("severity") == 2]
        check(len(precedence) == 1 and "is evaluated left to right, as (512 + 8) * 256" in precedence[0]["message"],
              "the precedence warning of the extra warnings, which the server switches on", found)
        skipped = [d for d in found if d.get("tags") == [1]]
        check(len(skipped) == 1 and skipped[0]["range"]["start"]["line"] == 5 and
              skipped[0]["range"]["end"]["line"] == 5 and skipped[0]["severity"] == 4,
              "the skipped line as an unnecessary hint", skipped)

        hover = client.request("textDocument/hover", at(uri, 2, 7))["result"]
        text = hover["contents"]["value"]
        check("world" in text and "template.kup:1" in text, "hover: the value and where it was defined", text)
        hover = client.request("textDocument/hover", at(uri, 2, 15))["result"]["contents"]["value"]
        check("8080" in hover and "snippet.kup:1" in hover, "hover: a value defined in the snippet", hover)
        hover = client.request("textDocument/hover", at(uri, 1, 3))["result"]["contents"]["value"]
        check("Process the file" in hover, "hover on a directive word: its description", hover)

        target = client.request("textDocument/definition", at(uri, 2, 15))["result"]
        check(target == {"uri": (root / "snippet.kup").as_uri(),
                         "range": {"start": {"line": 0, "character": 8}, "end": {"line": 0, "character": 12}}},
              "definition: the line of the snippet", target)
        check(client.request("textDocument/definition", at(uri, 2, 2))["result"] is None,
              "definition: none on a word that names no macro")

        snippet_uri = client.open(root / "snippet.kup")
        diagnostics_for(client, snippet_uri)
        refs = client.request("textDocument/references",
                              {**at(snippet_uri, 1, 6), "context": {"includeDeclaration": False}})["result"]
        check(sorted((r["uri"] == uri, r["range"]["start"]["line"]) for r in refs) == [(True, 3)],
              "references: where CORES was replaced, in the open template", refs)

        items = client.request("textDocument/completion", at(uri, 7, 1))["result"]
        labels = {item["label"] for item in items}
        check({"define", "include", "ifdef", "endif"} <= labels, "completion after '#': the directive words", labels)
        items = client.request("textDocument/completion", at(uri, 2, 0))["result"]
        labels = {item["label"] for item in items}
        check({"NAME", "PORT", "CORES"} <= labels and "MEM" not in labels,
              "completion: the macros defined at that point", labels)

        symbols = client.request("textDocument/documentSymbol", {"textDocument": {"uri": uri}})["result"]
        check([(s["name"], s["range"]["start"]["line"]) for s in symbols] == [("NAME", 0), ("MEM", 3)],
              "symbols: the macros the template defines", symbols)

        output = client.request("workspace/executeCommand", {"command": "kup.expand", "arguments": [uri]})["result"]
        check(output == "Hello world on 8080\n#bogus word\n", "kup.expand: the output of the run", output)

        # Mending the error clears it; the change is incremental.
        client.notify("textDocument/didChange", {
            "textDocument": {"uri": uri, "version": 2},
            "contentChanges": [{"range": {"start": {"line": 8, "character": 15},
                                          "end": {"line": 8, "character": 15}}, "text": "1"}]})
        found = client.wait_notification("textDocument/publishDiagnostics",
                                         lambda p: p["uri"] == uri and p.get("version") == 2)["diagnostics"]
        check(lines_of(found, 1) == [], "the mended error is cleared", found)

        # A fault in an included file: at the #include line, pointing into
        # the file, and at its own line once the file is open.
        outer_uri = client.open(root / "outer.kup")
        found = diagnostics_for(client, outer_uri)
        errors = [d for d in found if d["severity"] == 1]
        related = errors[0].get("relatedInformation", []) if errors else []
        check(len(errors) == 1 and errors[0]["range"]["start"]["line"] == 1 and related and
              related[0]["location"]["uri"] == (root / "broken.kup").as_uri() and
              related[0]["location"]["range"]["start"]["line"] == 1,
              "a fault of an included file at the #include line", found)
        broken_uri = client.open(root / "broken.kup")
        found = client.wait_notification("textDocument/publishDiagnostics",
                                         lambda p: p["uri"] == broken_uri and p["diagnostics"])["diagnostics"]
        check(1 in lines_of(found, 1), "the same fault at its own line in the open file", found)

        # Lines longer than the engine reads at once: it counts each piece
        # as a line, the editor does not.
        (root / "longinc.kup").write_text("z" * 2000 + "\n#define DEEP 1\n")
        long_uri = client.open(root / "long.kup", "\n".join([
            "#include 'longinc.kup'", "x" * 3000, "#define AFTER yes", "#int W 1 + 2 * 3", "#if 0", "hidden", "#endif",
            "y" * 1100 + " AFTER DEEP", "#int BAD (1", ""]))
        found = diagnostics_for(client, long_uri)
        skipped = [(d["range"]["start"]["line"], d["range"]["end"]["line"]) for d in found if d.get("tags") == [1]]
        check(lines_of(found, 2) == [3] and lines_of(found, 1) == [8] and skipped == [(5, 5)],
              "after a long line: the warning, the error and the hint", found)
        hover = client.request("textDocument/hover", at(long_uri, 7, 1102))["result"]["contents"]["value"]
        check("long.kup:3" in hover, "after a long line: hover on a use in its later piece", hover)
        hover = client.request("textDocument/hover", at(long_uri, 7, 1108))["result"]["contents"]["value"]
        check("longinc.kup:2" in hover, "after a long line: a definition in an included file", hover)
        target = client.request("textDocument/definition", at(long_uri, 7, 1102))["result"]
        check(target == {"uri": long_uri, "range": {"start": {"line": 2, "character": 8},
                                                    "end": {"line": 2, "character": 13}}},
              "after a long line: definition", target)

        # Prefix Mode: only the fields that begin with a prefix are uses.
        client.notify("workspace/didChangeConfiguration", {"settings": {"kup": {"arguments": ["-p", "P_"]}}})
        prefixed_uri = client.open(root / "prefixed.kup", "#define P_X px\n#define Y y\nP_X Y P_X\n")
        diagnostics_for(client, prefixed_uri)
        refs = client.request("textDocument/references",
                              {**at(prefixed_uri, 0, 9), "context": {"includeDeclaration": False}})["result"]
        check(sorted((r["range"]["start"]["line"], r["range"]["start"]["character"]) for r in refs) == [(2, 0), (2, 6)],
              "Prefix Mode: the uses of a prefixed name", refs)
        hover = client.request("textDocument/hover", at(prefixed_uri, 2, 4))["result"]["contents"]["value"]
        check("not replaced here" in hover, "Prefix Mode: a name without a prefix is no use", hover)

        # Settings: arguments and KUP_PATH folders from didChangeConfiguration.
        (root / "lib").mkdir()
        (root / "lib" / "found.kup").write_text("#define FROM lib\n")
        lib_uri = client.open(root / "uses_lib.kup", "#include 'found.kup'\nFROM MODE\n")
        diagnostics_for(client, lib_uri)
        client.notify("workspace/didChangeConfiguration",
                      {"settings": {"kup": {"path": ["lib"], "arguments": ["-d", "MODE", "prod"]}}})
        output = client.request("workspace/executeCommand",
                                {"command": "kup.expand", "arguments": [{"uri": lib_uri}]})["result"]
        check(output == "lib prod\n", "settings: KUP_PATH folders and arguments", output)

        # #ask gets the empty answer and nothing is read from the server's input.
        ask_uri = client.open(root / "ask.kup", "#ask ANSWER Which?\n(ANSWER)\n")
        output = client.request("workspace/executeCommand", {"command": "kup.expand", "arguments": [ask_uri]})
        check(output.get("result") == "()\n", "#ask: the empty answer", output)
        stdin_uri = client.open(root / "stdin.kup", "#include '/dev/stdin'\nafter\n")
        output = client.request("workspace/executeCommand", {"command": "kup.expand", "arguments": [stdin_uri]})
        check(output.get("result") == "after\n", "#include of /dev/stdin reads nothing", output)

        # Faulty messages get their errors and the server goes on.
        client.send_raw(b"Content-Length: 9\r\n\r\n{not json")
        reply = client.wait_response(None)
        check(reply.get("error", {}).get("code") == -32700, "a malformed message: parse error", reply)
        client.send_raw(b"Content-Type: text/plain\r\n\r\n")
        reply = client.wait_response(None)
        check(reply.get("error", {}).get("code") == -32700, "a header without its length: parse error", reply)
        reply = client.request("kup/noSuchMethod")
        check(reply.get("error", {}).get("code") == -32601, "an unknown method: method not found", reply)
        reply = client.request("textDocument/hover", {"textDocument": {"uri": uri}})
        check(reply.get("error", {}).get("code") == -32602, "missing params: invalid params", reply)
        reply = client.request("textDocument/hover", at(uri, 2, 7))
        check("world" in reply["result"]["contents"]["value"], "the server still answers")

        status = client.close()
        check(status == 0, "exit after shutdown: status 0", status)
        check(client.process.stderr.read() == b"", "nothing on standard error")

        # exit without shutdown: status 1.
        client = Client([server])
        client.initialize(root)
        client.notify("exit")
        check(client.process.wait(timeout=20) == 1, "exit without shutdown: status 1")
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
