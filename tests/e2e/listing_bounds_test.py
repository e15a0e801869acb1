#!/usr/bin/env python3
"""The listing reads every file once and holds little of a line: a named
pipe as the source or as an included file ends normally with --listing, and
a source of one 50 MB line assembles with --locations --listing in 16 MiB of
address space (a limit set on the run, which bounds its resident memory
more strictly than a figure read afterwards could: a child's peak counts
the pages of the process it was forked from). Pass --no-memory where an
instrumented build needs more address space than that.

usage: listing_bounds_test.py ORVASM [--no-memory]
"""

import os
import re
import resource
import subprocess
import sys
import tempfile
import threading

TIMEOUT = 60
LINE_BYTES = 50 * 1024 * 1024
MEMORY_LIMIT = 16 << 20


def feed(path, data):
    """Writes `data` to the named pipe `path` from a thread of its own."""

    def write():
        with open(path, "wb") as pipe:
            pipe.write(data)

    thread = threading.Thread(target=write, daemon=True)
    thread.start()
    return thread


def run(orvasm, directory, *args, limit=None):
    def bound():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    return subprocess.run([orvasm, *args], cwd=directory, capture_output=True, timeout=TIMEOUT,
                          preexec_fn=bound if limit else None)


def check(condition, message):
    if not condition:
        print("FAILED: " + message)
        sys.exit(1)


def listing_through_pipe(orvasm, directory, what, pipe, data, source, patterns):
    """Assembles `source` with --listing while `data` is fed through the
    named pipe `pipe`; the listing must show every line of `patterns`."""
    os.mkfifo(os.path.join(directory, pipe))
    writer = feed(os.path.join(directory, pipe), data)
    done = run(orvasm, directory, "--listing=out.lst", source, "out.rom")
    writer.join(TIMEOUT)
    check(done.returncode == 0, "%s: status %d, %r" % (what, done.returncode, done.stderr))
    with open(os.path.join(directory, "out.lst"), "rb") as listing:
        text = listing.read()
    check(all(re.search(pattern, text) for pattern in patterns), "%s: %r" % (what, text))


def pipe_as_source(orvasm, directory):
    listing_through_pipe(orvasm, directory, "pipe source", "in.orv",
                         b"|0100 @main #01 #02 ADD BRK\n", "in.orv",
                         [rb"in\.orv:1 +\|0100 @main #01 #02 ADD BRK\n"])


def pipe_as_include(orvasm, directory):
    with open(os.path.join(directory, "main.orv"), "wb") as source:
        source.write(b"|0100 ~lib.orv 03\n")
    listing_through_pipe(orvasm, directory, "pipe include", "lib.orv", b"01 02\r\n", "main.orv",
                         [rb"lib\.orv:1 +01 02\n", rb"main\.orv:1 +\|0100 ~lib\.orv 03\n"])


def one_long_line(orvasm, directory, limit):
    # Tokens at both ends of one line, a comment between.
    path = os.path.join(directory, "long.orv")
    with open(path, "wb") as source:
        source.write(b"|0100 #01 ( ")
        chunk = b"words " * 10000
        for _ in range(LINE_BYTES // len(chunk)):
            source.write(chunk)
        source.write(b") #02 BRK")
    done = run(orvasm, directory, "--locations", "--listing=long.lst", "long.orv", "long.rom",
               limit=limit)
    check(done.returncode == 0, "long line: status %d, %r" % (done.returncode, done.stderr))
    with open(os.path.join(directory, "long.lst"), "rb") as listing:
        lines = listing.read().split(b"\n")
    shown = b"|0100 #01 ( " + b"words " * 40 + b"word..."
    check(len(lines[1]) < 400 and lines[1].endswith(shown), "long line: %r" % lines[1][:400])


def main():
    orvasm = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as directory:
        pipe_as_source(orvasm, directory)
    with tempfile.TemporaryDirectory() as directory:
        pipe_as_include(orvasm, directory)
    limit = None if "--no-memory" in sys.argv else MEMORY_LIMIT
    with tempfile.TemporaryDirectory() as directory:
        one_long_line(orvasm, directory, limit)
    print("pipes end; one line of %d MiB listed%s" %
          (LINE_BYTES >> 20, " in %d MiB" % (limit >> 20) if limit else ""))


if __name__ == "__main__":
    main()
