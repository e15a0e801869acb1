#!/usr/bin/env python3
"""Tests of tools/check_architecture.py on a small tree of its own.

usage: check_architecture_test.py TOOLS_DIR
"""

import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, sys.argv.pop(1) if len(sys.argv) > 1 else "tools")
import check_architecture  # noqa: E402

SOURCE = """\
// retired_name is only in this comment now.
#include "common/a.hpp"
int handle_token(int length) { return length; /* old_name */ }
const char* url = "file://x"; int after_url;
int big = 1'000; // after_separator
char quote = 'q';
"""
BUILD = """\
add_library(core_lib STATIC src/common/a.cpp) # only_in_build_comment
add_test(NAME docs.check COMMAND x)
"""


class CheckArchitecture(unittest.TestCase):
    def problems(self, document):
        with tempfile.TemporaryDirectory() as directory:
            root = pathlib.Path(directory)
            (root / "src/common").mkdir(parents=True)
            (root / "src/common/a.cpp").write_text(SOURCE)
            (root / "CMakeLists.txt").write_text(BUILD)
            (root / "build/src").mkdir(parents=True)
            (root / "build/src/built.cpp").write_text("int built_name;")
            (root / "notes.md").write_text(document)
            return check_architecture.check(root, root / "notes.md")[0]

    def test_names_that_exist_pass(self):
        self.assertEqual(self.problems(
            "`handle_token`, `handle_token(length, \"a b\", ';', 4)`, `core_lib`,"
            " `docs.check`, `length.handle_token`, `src/common/a.cpp`, `src/common/`,"
            " `src/*/a.cpp`, `a.cpp`, `CMakeLists.txt`, `after_url`"), [])

    def test_names_that_are_gone_fail_one_by_one(self):
        problems = self.problems(
            "`retired_name` `old_name` `only_in_build_comment` `missing(length)`"
            " `handle_token(gone_argument)` `length.absent` `src/gone.cpp`"
            " `gone.hpp` `src/*/b.cpp` `built_name` `built.cpp` `after_separator`")
        self.assertEqual(len(problems), 12, problems)
        for name in ("retired_name", "old_name", "only_in_build_comment", "missing",
                     "gone_argument", "absent", "src/gone.cpp", "gone.hpp", "src/*/b.cpp",
                     "built_name", "built.cpp", "after_separator"):
            self.assertTrue(any(name in problem for problem in problems), name)

    def test_prose_in_backticks_is_skipped(self):
        self.assertEqual(self.problems(
            "`handle_token` `;data` `@loop` `(` `Invalid token` `0x0100` `61` `a0 ff ff`"
            " `--listing` `FILE:LINE:COLUMN` `-- ` `.case` `orvasm-lsp` ``a `b` c``\n"
            "```sh\n`gone_in_fence` gone_too\n```\n"), [])

    def test_a_document_without_names_fails(self):
        problems = self.problems("Only prose, and `Invalid token`.\n")
        self.assertEqual(len(problems), 1)
        self.assertIn("no names found", problems[0])


if __name__ == "__main__":
    unittest.main()
