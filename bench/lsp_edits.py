#!/usr/bin/env python3
"""Measures orvasm-lsp as an editor uses it: examples/tour.orv (or, with
--lines N, a generated program of N lines) is opened, then changed 10,000 times by incremental edits (a character typed at the
end of a comment, then taken away again), each change waiting for the
diagnostics it publishes. Prints the time from sending a change to
receiving its diagnostics (median, 95th percentile, worst), which includes
this script's own framing and JSON, and the server's resident memory after
the first 1,000 edits and after the last: memory must not grow.

  python3 bench/lsp_edits.py [--server build/orvasm-lsp] [--edits 10000] [--lines N]
"""

import argparse
import os
import statistics
import sys
import tempfile
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


def generated_program(lines):
    """A clean program of about `lines` lines: routines of ten lines, each
    with a loop over a sublabel, a macro use and a call of the next."""
    routines = max(1, lines // 10)
    text = ["( a generated program for the benchmark )",
            "%inc { #01 ADD }",
            "|0100 ;routine-0 JSR2 BRK"]
    for n in range(routines):
        following = ";routine-%d JSR2" % (n + 1) if n + 1 < routines else ""
        text += ["@routine-%d ( n -- n' )" % n,
                 "  #00",
                 "  &loop",
                 "    inc DUP",
                 "    #10 LTH ,&loop JCN",
                 "  POP",
                 "  ( the next routine, or the end )",
                 "  " + following,
                 "  JMP2r",
                 ""]
    return "\n".join(text[:max(lines, 3)]) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", default=os.path.join(ROOT, "build", "orvasm-lsp"))
    parser.add_argument("--edits", type=int, default=10000)
    parser.add_argument("--lines", type=int, default=0,
                        help="edit a generated program of this many lines instead of tour.orv")
    arguments = parser.parse_args()

    session = Session(os.path.abspath(arguments.server), ROOT)
    session.initialize()
    path = os.path.join(ROOT, "examples", "tour.orv")
    if arguments.lines:
        path = os.path.join(tempfile.gettempdir(), "orvasm-bench-%d.orv" % arguments.lines)
        text = generated_program(arguments.lines)
    else:
        with open(path) as source:
            text = source.read()
    uri = file_uri(path)
    session.notify("textDocument/didOpen", {"textDocument": {
        "uri": uri, "languageId": "orvasm", "version": 1, "text": text}})
    diagnostics = session.diagnostics(uri)
    if diagnostics:
        sys.exit("%s has diagnostics; the benchmark needs a clean program: %s"
                 % (os.path.basename(path), diagnostics[:3]))
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
    print("edits: %d of %s, %d lines" % (len(times), os.path.basename(path), text.count("\n")))
    print("diagnostics after a change: median %.2f ms, 95th percentile %.2f ms, worst %.2f ms"
          % (statistics.median(milliseconds), milliseconds[int(len(milliseconds) * 0.95)],
             milliseconds[-1]))
    print("resident memory: %d KiB after 1,000 edits, %d KiB after %d"
          % (memory_after_1000, memory_at_end, len(times)))


if __name__ == "__main__":
    main()
