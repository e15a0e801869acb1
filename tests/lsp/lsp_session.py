"""A client that speaks framed JSON-RPC to a real orvasm-lsp process."""

import json
import os
import select
import subprocess

TIMEOUT = 60  # seconds; any wait longer than this is a hang (instrumented builds are slow)


def frame(body):
    """The bytes of one message with its header; `body` is bytes or JSON."""
    if not isinstance(body, bytes):
        body = json.dumps(body).encode()
    return b"Content-Length: %d\r\n\r\n" % len(body) + body


def file_uri(path):
    return "file://" + path


class Session:
    def __init__(self, binary, root):
        self.root = root
        self.process = subprocess.Popen(
            [binary], cwd=root, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE)
        self.buffer = b""
        self.next_id = 1
        self.outcome = None

    # --- Sending ---

    def send_bytes(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def send(self, message):
        self.send_bytes(frame(message))

    def notify(self, method, params=None):
        message = {"jsonrpc": "2.0", "method": method}
        if params is not None:
            message["params"] = params
        self.send(message)

    def request(self, method, params=None):
        """Sends a request and returns its response, skipping notifications."""
        request_id = self.next_id
        self.next_id += 1
        message = {"jsonrpc": "2.0", "id": request_id, "method": method}
        if params is not None:
            message["params"] = params
        self.send(message)
        return self.response(request_id)

    def initialize(self, **params):
        params.setdefault("rootUri", file_uri(self.root))
        params.setdefault("capabilities", {})
        response = self.request("initialize", params)
        self.notify("initialized", {})
        return response

    # --- Receiving ---

    def _fill(self):
        ready, _, _ = select.select([self.process.stdout], [], [], TIMEOUT)
        if not ready:
            raise AssertionError("the server sent nothing for %d s" % TIMEOUT)
        chunk = os.read(self.process.stdout.fileno(), 65536)
        if not chunk:
            raise EOFError("the server closed its output")
        self.buffer += chunk

    def receive(self):
        """The next message from the server, as JSON."""
        while b"\r\n\r\n" not in self.buffer:
            self._fill()
        header, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        length = int(header.split(b":")[1])
        while len(self.buffer) < length:
            self._fill()
        body, self.buffer = self.buffer[:length], self.buffer[length:]
        return json.loads(body)

    def response(self, request_id):
        while True:
            message = self.receive()
            if "method" not in message and message.get("id") == request_id:
                return message

    def diagnostics(self, uri):
        """The next diagnostics published for `uri`."""
        while True:
            message = self.receive()
            if (message.get("method") == "textDocument/publishDiagnostics"
                    and message["params"]["uri"] == uri):
                return message["params"]["diagnostics"]

    # --- Ending ---

    def finish(self):
        """Closes the input and returns the exit status and standard error;
        a second call returns the same."""
        if self.outcome is None:
            try:
                self.process.stdin.close()
            except BrokenPipeError:
                pass
            try:
                status = self.process.wait(TIMEOUT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise AssertionError("the server did not end at the end of its input")
            error = self.process.stderr.read().decode()
            self.process.stdout.close()
            self.process.stderr.close()
            self.outcome = status, error
            # A sanitizer build reports there; its status alone may be the one expected.
            if "Sanitizer" in error:
                raise AssertionError(error)
        return self.outcome
