#!/usr/bin/env python3
"""What the command line does that a case cannot express: the version of the
build, standard output that fails, an empty argument, a line feed in a path.

usage: command_line_test.py ORVASM VERSION
"""

import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

ORVASM = VERSION = None


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="orvasm-cli-")
        self.path = pathlib.Path(self.dir.name)
        (self.path / "in.orv").write_text("01\n")

    def tearDown(self):
        self.dir.cleanup()

    def run_orvasm(self, *arguments, stdout=subprocess.PIPE):
        return subprocess.run([ORVASM, *arguments], cwd=self.path, stdout=stdout,
                              stderr=subprocess.PIPE, text=True)

    def files(self):
        return sorted(p.name for p in self.path.iterdir())

    def test_version_is_the_build_version(self):
        run = self.run_orvasm("--version", "in.orv", "out.rom")
        self.assertEqual((run.returncode, run.stdout, run.stderr), (0, f"orvasm {VERSION}\n", ""))
        self.assertEqual(self.files(), ["in.orv"])

    def test_full_standard_output_fails(self):
        for option in ("--help", "--version"):
            with open("/dev/full", "w") as full:
                run = self.run_orvasm(option, stdout=full)
            self.assertEqual((run.returncode, run.stderr),
                             (1, "Output write failed: standard output\n"), option)

    def test_empty_separate_value_is_missing(self):
        run = self.run_orvasm("--depfile", "", "in.orv", "out.rom")
        self.assertEqual((run.returncode, run.stderr),
                         (1, "Missing value: --depfile\nusage: input.orv output.rom\n"))
        self.assertEqual(self.files(), ["in.orv"])

    def test_line_feed_in_a_path_leaves_the_old_depfile(self):
        (self.path / "deps.d").write_text("old\n")
        run = self.run_orvasm("in.orv", "two\nlines.rom", "--depfile=deps.d")
        self.assertEqual(run.returncode, 1)
        self.assertTrue(run.stderr.endswith("\nDepfile not written: deps.d\n"), run.stderr)
        self.assertEqual((self.path / "two\nlines.rom").read_bytes(), b"\x01")
        self.assertEqual((self.path / "deps.d").read_text(), "old\n")
        self.assertEqual(self.files(), ["deps.d", "in.orv", "two\nlines.rom", "two\nlines.rom.sym"])


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    ORVASM, VERSION = os.path.abspath(sys.argv[1]), sys.argv[2]
    unittest.main(argv=sys.argv[:1])
