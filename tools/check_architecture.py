#!/usr/bin/env python3
"""Checks that every name docs/ARCHITECTURE.md gives in backticks still exists,
and that each folder's files include only what its table allows.

usage: check_architecture.py ROOT [DOCUMENT]

DOCUMENT (default ROOT/docs/ARCHITECTURE.md) is read for its code spans, the
texts between backticks; fenced blocks are commands and are left alone. Each
span is one of:

- a path: it holds a "/" and only path characters (letters, digits, "_",
  "-", ".", "*"), as `src/output/output_file.cpp`, `src/lsp/` or
  `tests/cases/*.case`. It must name a file or directory under ROOT (a
  pattern at least one).
- a file name: a word, a ".", and an extension of the project's files, as
  `dispatch.cpp` or `orvasm.1`. Some file of that name must be in the tree.
- code: a word of code (letters, digits, "_", not beginning with a digit),
  words joined by "::", "." or "->" (`Options::locations`,
  `state.cursor`), optionally with template arguments and a call's
  arguments (`handle_token(state, token, length, stream)`). Each word
  outside quotes must occur as a whole word in the code of ROOT/src (its
  comments left out, so that a comment cannot keep a retired name alive) or
  in the build files (CMakeLists.txt, CMakePresets.json), which hold the
  targets, options and presets. A dotted name that the build files hold
  whole is the name of a test (`man.messages`) and is not split.
- anything else, which is not checked: sigils and tokens (`;data`, `(`),
  messages and other texts with blanks (`Invalid token`), numbers and bytes
  (`0x0100`, `61`), options (`--listing`), formats (`FILE:LINE:COLUMN`).

The document's table of folders is checked too: the table whose header
begins "| Folder |" and has a column "May include". A row whose first cell
is one folder in backticks (`src/lsp/`) names in that column, in backticks,
the folders its C and C++ files may include from (`include/orvasm/`);
anything else there is prose. Each `#include "..."` of a file under the
folder (a deeper folder of the table having its own row) is found as the
compiler finds it, beside the file, then under ROOT/src and ROOT/include;
the check fails when the file found is in a folder of the table that the row
does not allow, or in no folder of the table, or not found at all.

The check fails for each name that is gone, and when it finds nothing to
check at all, so that a broken reading of the document cannot pass.
"""

import os
import pathlib
import re
import sys

# Extensions of the project's files: a word that ends in one is a file name,
# any other dotted word is a member access.
FILE_EXTENSIONS = {
    "1", "3", "5", "c", "case", "cmake", "cpp", "dict", "h", "hpp", "in", "js", "json", "lua",
    "md", "mjs", "orv", "png", "py", "sh", "txt", "vim",
}
# Directories that hold no sources of the project: builds, packages, git.
SKIPPED_DIRECTORIES = re.compile(r"^(\..+|build.*|node_modules|dist)$")

WORD = r"[A-Za-z_]\w*"
PATH = re.compile(r"[\w.*-]*/[\w.*/-]*")
FILE_NAME = re.compile(r"[\w-]+(?:\.[\w-]+)*\.(\w+)")
CODE = re.compile(WORD + r"(?:(?:::|\.|->)" + WORD + r")*(?:<[^<>]*>)?(?:\(.*\))?")
# Character literals are short, so that a digit separator (1'000) cannot
# pair with a quote far away.
QUOTED = re.compile(r'"(?:[^"\\\n]|\\.)*"' + r"|'(?:[^'\\\n]|\\.){1,8}'")
CODE_SPAN = re.compile(r"(`+)(.+?)(?<!`)\1(?!`)", re.S)
FENCE = re.compile(r"^ {0,3}(```|~~~).*?^ {0,3}\1[^\n]*$", re.S | re.M)
# C and C++ comments, and the literals that may hold comment openers.
COMMENT_OR_LITERAL = re.compile(r"//[^\n]*|/\*.*?\*/|" + QUOTED.pattern, re.S)


def code_spans(text):
    """The texts in backticks, outside fenced blocks, blanks at their ends trimmed."""
    text = FENCE.sub("", text)
    return [" ".join(match.group(2).split()) for match in CODE_SPAN.finditer(text)]


def classify(span):
    """("path" | "file" | "code" | "skipped", span)."""
    if PATH.fullmatch(span):
        return "path"
    file_name = FILE_NAME.fullmatch(span)
    if file_name and file_name.group(1) in FILE_EXTENSIONS:
        return "file"
    if CODE.fullmatch(span):
        return "code"
    return "skipped"


def code_words(span):
    """The words of a code span, outside its quoted literals."""
    return re.findall(r"\b" + WORD, QUOTED.sub(" ", span))


def walk(root):
    """Every file of the tree under root, but for builds, packages and git."""
    for directory, subdirectories, files in os.walk(root):
        subdirectories[:] = [d for d in subdirectories if not SKIPPED_DIRECTORIES.match(d)]
        for name in files:
            yield pathlib.Path(directory, name)


def source_code(root):
    """The code of src/ without its comments."""
    parts = []
    for path in sorted((root / "src").rglob("*")):
        if path.suffix in (".cpp", ".hpp", ".h", ".c"):
            code = path.read_text(errors="replace")
            parts.append(COMMENT_OR_LITERAL.sub(
                lambda m: m.group(0) if m.group(0)[0] in "\"'" else " ", code))
    return "\n".join(parts)


def build_files(root):
    """The CMake files without their comments, and the presets."""
    parts = []
    for path in walk(root):
        if path.name in ("CMakeLists.txt", "CMakePresets.json"):
            text = path.read_text(errors="replace")
            parts.append(re.sub(r"#[^\n]*", " ", text) if path.suffix == ".txt" else text)
    return "\n".join(parts)


def path_exists(root, span):
    if "*" in span:
        return any(True for _ in root.glob(span.rstrip("/")))
    return (root / span).exists()


TABLE_ROW = re.compile(r"^\|(.*)\|\s*$")
FOLDER_CELL = re.compile(r"`([\w.-]+(?:/[\w.-]+)*/)`")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
INCLUDE_ROOTS = ("src", "include")


def table_cells(line):
    row = TABLE_ROW.match(line.strip())
    return [cell.strip() for cell in row.group(1).split("|")] if row else None


def folder_rules(text):
    """{folder: the folders it may include}, from the table of folders."""
    rules = {}
    column = None
    for line in FENCE.sub("", text).splitlines():
        cells = table_cells(line)
        if cells is None:
            column = None
        elif column is None:
            if cells[0] == "Folder" and "May include" in cells:
                column = cells.index("May include")
        elif not set(cells[0]) <= set("-: "):
            folder = FOLDER_CELL.fullmatch(cells[0])
            if folder and column < len(cells):
                rules[folder.group(1)] = set(FOLDER_CELL.findall(cells[column]))
    return rules


def folder_of(relative, folders):
    """The deepest folder of the table that holds the path, or None."""
    holding = [f for f in folders if relative.startswith(f)]
    return max(holding, key=len) if holding else None


def include_problems(root, rules):
    """Each include of a folder's files that its row does not allow."""
    problems = []
    for folder, allowed in sorted(rules.items()):
        base = root / folder
        if not base.is_dir():
            continue
        for path in sorted(base.rglob("*")):
            relative = path.relative_to(root).as_posix()
            if path.suffix not in (".c", ".cpp", ".h", ".hpp") or \
                    folder_of(relative, rules) != folder:
                continue
            code = path.read_text(errors="replace")
            for included in INCLUDE.findall(code):
                problems += include_problem(root, path, relative, included, folder, allowed, rules)
    return problems


def include_problem(root, path, relative, included, folder, allowed, rules):
    candidates = [path.parent / included] + [root / r / included for r in INCLUDE_ROOTS]
    found = next((c for c in candidates if c.is_file()), None)
    if found is None:
        return [f"{relative} includes \"{included}\", which is not in the tree"]
    try:
        target = folder_of(found.resolve().relative_to(root.resolve()).as_posix(), rules)
    except ValueError:  # outside the tree
        target = None
    if target is None:
        return [f"{relative} includes \"{included}\", which is in no folder of the table"]
    if target != folder and target not in allowed:
        return [f"{relative} includes \"{included}\" of `{target}`, which the row of "
                f"`{folder}` does not allow"]
    return []


def check(root, document):
    """(problems, counts by kind)."""
    text = document.read_text()
    spans = code_spans(text)
    counts = {"path": 0, "file": 0, "code": 0, "skipped": 0}
    rules = folder_rules(text)
    counts["folders"] = len(rules)
    problems = include_problems(root, rules)
    names = None  # every word of the code and the build files, once needed
    build = None
    files = None  # every file name in the tree, once needed
    for span in dict.fromkeys(spans):
        kind = classify(span)
        counts[kind] += 1
        if kind == "path" and not path_exists(root, span):
            problems.append(f"no such path: {span}")
        elif kind == "file":
            if files is None:
                files = {path.name for path in walk(root)}
            if span not in files:
                problems.append(f"no file of this name in the tree: {span}")
        elif kind == "code":
            if names is None:
                build = build_files(root)
                names = set(re.findall(r"\b" + WORD, source_code(root) + "\n" + build))
            if "." in span and re.search(r"(?<![\w.])" + re.escape(span) + r"(?![\w.])", build):
                continue
            for word in code_words(span):
                if word not in names:
                    problems.append(f"not in src/ or the build files: {word} (in `{span}`)")
    if counts["path"] + counts["file"] + counts["code"] == 0:
        problems.append(f"no names found in {document}")
    if not rules:
        problems.append(f"no table of folders and what they may include in {document}")
    return problems, counts


def main(arguments):
    if len(arguments) not in (2, 3):
        sys.exit(__doc__.split("\n\n")[1])
    root = pathlib.Path(arguments[1])
    document = pathlib.Path(arguments[2]) if len(arguments) == 3 else root / "docs/ARCHITECTURE.md"
    problems, counts = check(root, document)
    for problem in problems:
        print(f"{document.name}: {problem}")
    print(f"{document.name}: {counts['code']} code names, {counts['path']} paths and "
          f"{counts['file']} file names checked, {counts['skipped']} other texts skipped, "
          f"the includes of {counts['folders']} folders checked: "
          f"{'all found' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
