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
# The smallest table of folders, so that the tests of names pass its rule.
TABLE = "\n\n| Folder | What | May include |\n|---|---|---|\n| `src/common/` | a | nothing |\n"


class CheckArchitecture(unittest.TestCase):
    def problems(self, document, table=TABLE):
        document += table
        with tempfile.TemporaryDirectory() as directory:
            root = pathlib.Path(directory)
            (root / "src/common").mkdir(parents=True)
            (root / "src/common/a.cpp").write_text(SOURCE)
            (root / "src/common/a.hpp").write_text("")
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
        problems = self.problems("Only prose, and `Invalid token`.\n", table="")
        self.assertEqual(len(problems), 2, problems)
        self.assertIn("no names found", problems[0])
        self.assertIn("no table of folders", problems[1])


# Folders that may include what their rows say, and files that keep or break
# those rows; None marks a file that the tree holds but no rule concerns.
FOLDER_TABLE = """\
| Folder | What it is | May include |
|---|---|---|
| `src/common/` | shared | nothing of the project |
| `src/core/` | the core | `src/common/` |
| `src/core/deep/` | a folder of its own inside the core | — |
| `src/cli/` | the program | `include/orvasm/` only |
| `include/orvasm/` | the interface | — |
"""
FILES = {
    "include/orvasm/orvasm.h": "#include <stddef.h>\n",
    "src/common/a.hpp": "#pragma once\n",
    "src/common/a.cpp": '#include "common/a.hpp"\n#include "a.hpp"\n',
    "src/core/b.hpp": '#include "common/a.hpp"\n',
    "src/core/b.cpp": '#include "core/b.hpp"\n  #  include "b.hpp"\n#include <vector>\n',
    "src/core/deep/c.cpp": '#include "common/a.hpp"\n',
    "src/cli/main.cpp": '#include "orvasm/orvasm.h"\n// #include "core/b.hpp"\n'
                        '#include "core/b.hpp"\n#include "missing.hpp"\n'
                        '#include "../../tools/t.hpp"\n',
    "src/cli/notes.txt": '#include "core/b.hpp"\n',
    "tools/t.hpp": "",
}


class CheckIncludes(unittest.TestCase):
    def problems(self, table, files=FILES):
        with tempfile.TemporaryDirectory() as directory:
            root = pathlib.Path(directory)
            for name, text in files.items():
                (root / name).parent.mkdir(parents=True, exist_ok=True)
                (root / name).write_text(text)
            (root / "notes.md").write_text("`src/common/a.cpp`\n\n" + table)
            return check_architecture.check(root, root / "notes.md")[0]

    def test_a_forbidden_include_fails_and_allowed_ones_pass(self):
        problems = self.problems(FOLDER_TABLE)
        self.assertEqual(len(problems), 4, problems)
        for file, included in (("src/core/deep/c.cpp", "common/a.hpp"),
                               ("src/cli/main.cpp", "core/b.hpp"),
                               ("src/cli/main.cpp", "missing.hpp"),
                               ("src/cli/main.cpp", "../../tools/t.hpp")):
            self.assertTrue(any(problem.startswith(f"{file} includes \"{included}\"")
                                for problem in problems), (file, included, problems))
        self.assertIn("of `src/core/`, which the row of `src/cli/` does not allow",
                      " ".join(problems))

    def test_a_row_that_allows_the_folder_passes(self):
        table = FOLDER_TABLE.replace("| `include/orvasm/` only |",
                                     "| `include/orvasm/`, `src/core/` |")
        table = table.replace("inside the core | — |", "inside the core | `src/common/` |")
        files = dict(FILES)
        files["src/cli/main.cpp"] = '#include "orvasm/orvasm.h"\n#include "core/b.hpp"\n'
        self.assertEqual(self.problems(table, files), [])

    def test_the_table_is_found_only_under_its_header(self):
        table = FOLDER_TABLE.replace("| May include |", "| Includes |")
        problems = self.problems(table)
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("no table of folders", problems[0])


if __name__ == "__main__":
    unittest.main()
