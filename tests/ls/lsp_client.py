"""A small Language Server Protocol client over pipes, for the tests and
the benchmark of kup-ls: the base protocol's framing, requests matched to
their responses, notifications kept. Python's standard library only."""

from __future__ import annotations

import json
import os
import select
import subprocess
import time
from pathlib import Path


class Client:
    """Runs a server and speaks to it."""

    def __init__(self, command: list[str], cwd: Path | None = None):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, cwd=cwd)
        self.next_id = 0
        self.buffer = b""
        self.notifications: list[dict] = []
        self.responses: dict = {}

    def send_raw(self, data: bytes) -> None:
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def send(self, message: dict) -> None:
        body = json.dumps(message).encode()
        self.send_raw(b"Content-Length: %d\r\n\r\n" % len(body) + body)

    def notify(self, method: str, params: dict | None = None) -> None:
        self.send({"jsonrpc": "2.0", "method": method, "params": params or {}})

    def request_async(self, method: str, params: dict | None = None) -> int:
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": self.next_id, "method": method, "params": params or {}})
        return self.next_id

    def request(self, method: str, params: dict | None = None, timeout: float = 20) -> dict:
        """The whole response message (with "result" or "error")."""
        return self.wait_response(self.request_async(method, params), timeout)

    def _read_message(self, deadline: float) -> dict | None:
        while True:
            header_end = self.buffer.find(b"\r\n\r\n")
            if header_end >= 0:
                header = self.buffer[:header_end].decode()
                length = int(next(line.split(":", 1)[1] for line in header.split("\r\n")
                                  if line.lower().startswith("content-length:")))
                start = header_end + 4
                if len(self.buffer) >= start + length:
                    body = self.buffer[start:start + length]
                    self.buffer = self.buffer[start + length:]
                    return json.loads(body)
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            ready, _, _ = select.select([self.process.stdout], [], [], remaining)
            if not ready:
                return None
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                raise EOFError("the server closed its output")
            self.buffer += chunk

    def pump(self, deadline: float) -> bool:
        """Reads one message into the notifications or the responses."""
        message = self._read_message(deadline)
        if message is None:
            return False
        if "method" in message and "id" not in message:
            self.notifications.append(message)
        elif "id" in message:
            self.responses[message["id"]] = message
        return True

    def wait_response(self, request_id, timeout: float = 20) -> dict:
        deadline = time.monotonic() + timeout
        while request_id not in self.responses:
            if not self.pump(deadline):
                raise TimeoutError(f"no response to request {request_id}")
        return self.responses.pop(request_id)

    def wait_notification(self, method: str, match=lambda params: True, timeout: float = 20) -> dict:
        """The first notification of `method` whose params match, taken."""
        deadline = time.monotonic() + timeout
        while True:
            for index, message in enumerate(self.notifications):
                if message["method"] == method and match(message["params"]):
                    return self.notifications.pop(index)["params"]
            if not self.pump(deadline):
                raise TimeoutError(f"no {method} notification")

    def initialize(self, root: Path, options: dict | None = None) -> dict:
        response = self.request("initialize", {
            "processId": os.getpid(), "rootUri": root.as_uri(),
            "capabilities": {"general": {"positionEncodings": ["utf-16"]}},
            "initializationOptions": options or {}})
        self.notify("initialized")
        return response["result"]

    def open(self, path: Path, text: str | None = None, version: int = 1) -> str:
        uri = path.as_uri()
        self.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri, "languageId": "kup", "version": version,
            "text": path.read_text() if text is None else text}})
        return uri

    def close(self) -> int:
        """shutdown and exit; the server's exit status."""
        self.request("shutdown")
        self.notify("exit")
        self.process.stdin.close()
        return self.process.wait(timeout=20)
