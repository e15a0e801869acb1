#!/usr/bin/env python3
"""Checks that no function of the C++ sources is longer than the house allows.

usage: check_functions.py ROOT [LIMIT]

Every function, method, constructor and lambda defined in a .cpp or .hpp
file under ROOT/src is found with libclang (Debian's python3-clang) and its
body counted: the lines between the line of its opening brace and that of
its closing one. The check fails on each body over LIMIT lines (50 by
default), naming the file, the line and the function. Data tables are
variables, not functions, and are not counted. A file compiled only on
another system (src/platform/windows.cpp) is read with that system's macro
defined; a header it cannot find leaves its functions' bodies readable.
The check fails when it finds no function at all, so that a broken reading
cannot pass.
"""

import pathlib
import sys

import clang.cindex as cindex

FUNCTIONS = {
    cindex.CursorKind.FUNCTION_DECL,
    cindex.CursorKind.CXX_METHOD,
    cindex.CursorKind.CONSTRUCTOR,
    cindex.CursorKind.DESTRUCTOR,
    cindex.CursorKind.FUNCTION_TEMPLATE,
    cindex.CursorKind.CONVERSION_FUNCTION,
    cindex.CursorKind.LAMBDA_EXPR,
}
# Macros that select the code of another system, by file name.
SYSTEM_MACROS = {"windows.cpp": ["-D_WIN32"]}


def body_lines(cursor):
    """The lines strictly inside the body's braces, or None without a body."""
    for child in cursor.get_children():
        if child.kind == cindex.CursorKind.COMPOUND_STMT:
            return child.extent.end.line - child.extent.start.line - 1
    return None


def walk(cursor, path, found):
    for child in cursor.get_children():
        if child.location.file is None or pathlib.Path(child.location.file.name) != path:
            continue
        if child.kind in FUNCTIONS:
            lines = body_lines(child)
            if lines is not None:
                name = child.spelling or "lambda"
                found.append((child.location.line, name, lines))
        walk(child, path, found)


def functions(root, path):
    arguments = ["-x", "c++", "-std=c++20", "-I" + str(root / "src"), "-I" + str(root / "include"),
                 '-DORVASM_VERSION="0"'] + SYSTEM_MACROS.get(path.name, [])
    unit = cindex.Index.create().parse(str(path), args=arguments)
    found = []
    walk(unit.cursor, path, found)
    return found


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    root = pathlib.Path(sys.argv[1]).resolve()
    limit = int(sys.argv[2]) if len(sys.argv) == 3 else 50
    paths = sorted(p for p in (root / "src").rglob("*") if p.suffix in (".cpp", ".hpp"))
    counted, problems = 0, []
    for path in paths:
        seen = set()
        for line, name, lines in functions(root, path):
            if (line, name) in seen:
                continue
            seen.add((line, name))
            counted += 1
            if lines > limit:
                problems.append(f"{path.relative_to(root)}:{line}: {name}: {lines} lines")
    for problem in problems:
        print(problem)
    print(f"{counted} functions in {len(paths)} files checked, at most {limit} lines each: "
          f"{len(problems)} longer")
    return 1 if problems or counted == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
