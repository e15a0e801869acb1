#!/usr/bin/env python3
"""Measures orvasm-lsp as an editor uses it: examples/tour.orv is opened,
then changed 10,000 times by incremental edits (a character typed at the
end of a comment, then taken away again), each change waiting for the
diagnostics it publishes. Prints the time from sending a change to
receiving its diagnostics (median, 95th percentile, worst), which includes
this script's own framing and JSON, and the server's resident memory after
the first 1,000 edits and after the last: memory must not grow.

  python3 bench/lsp_edits.py [--server build/orvasm-lsp] [--edits 10000]
"""

import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "lsp"))

from lsp_session import Session, file_uri  # noqa: E402


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default=os.path.join(ROOT, "build", "orvasm-lsp"))
    parser.add_argument("--edits", type=int, default=10000)
    arguments = parser.parse_args()

    session = Session(os.path.abspath(arguments.server), ROOT)
    session.initialize()
    path = os.path.join(ROOT, "examples", "tour.orv")
    uri = file_uri(path)
    with open(path) as source:
        text = source.read()
    session.notify("textDocument/didOpen", {"textDocument": {
        "uri": uri, "languageId": "orvasm", "version": 1, "text": text}})
    if session.diagnostics(uri):
        sys.exit("tour.orv has diagnostics; the benchmark needs a clean program")
    # The end of the first line, inside the opening comment.
    line0 = text.split("\n", 1)[0]
    at = {"line": 0, "character": len(line0) - 1}
    after = {"line": 0, "character": len(line0)}
    times = []
    memory_after_1000 = 0
    for edit in range(arguments.edits):
        typed = edit % 2 == 0
        change = ({"range": {"start": at, "end": at}, "text": "x"} if typed
                  else {"range": {"start": at, "end": after}, "text": ""})
        start = time.perf_counter()
        session.notify("textDocument/didChange", {
            "textDocument": {"uri": uri, "version": edit + 2}, "contentChanges": [change]})
        diagnostics = session.diagnostics(uri)
        times.append(time.perf_counter() - start)
        if diagnostics:
            sys.exit("edit %d gave diagnostics: %s" % (edit, diagnostics))
        if edit + 1 == min(1000, arguments.edits):
            memory_after_1000 = resident_kib(session.process.pid)
    memory_at_end = resident_kib(session.process.pid)
    session.request("shutdown")
    session.notify("exit")
    session.finish()

    times.sort()
    milliseconds = [t * 1000 for t in times]
    print("edits: %d" % len(times))
    print("diagnostics after a change: median %.2f ms, 95th percentile %.2f ms, worst %.2f ms"
          % (statistics.median(milliseconds), milliseconds[int(len(milliseconds) * 0.95)],
             milliseconds[-1]))
    print("resident memory: %d KiB after 1,000 edits, %d KiB after %d"
          % (memory_after_1000, memory_at_end, len(times)))


if __name__ == "__main__":
    main()
