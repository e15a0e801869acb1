#!/usr/bin/env python3
"""Renders each Markdown file of the project as CommonMark and fails where a
code block swallows what was meant to be text: a fence closed by a line that
has text after its backticks is no close, so everything up to the next fence
(or the end of the file) renders as code.

    check_markdown.py ROOT

Every *.md file under ROOT that git tracks is read (node_modules and build
trees are not). A fence whose content holds a line starting with a fence
marker, or that runs to the end of the file unclosed, is reported with its
file and line; the exit status is 1 when any is found."""

import subprocess
import sys
from pathlib import Path

from markdown_it import MarkdownIt


def fence_problems(text):
    """The lines (1-based) of fences that do not end where their writer meant."""
    lines = text.splitlines()
    problems = []
    for token in MarkdownIt("commonmark").parse(text):
        if token.type != "fence" or token.map is None:
            continue
        start, end = token.map
        marker = token.markup[0] * 3
        body = lines[start + 1 : end]
        closed = end - start >= 2 and lines[end - 1].strip().startswith(token.markup)
        stray = [start + 2 + i for i, line in enumerate(body[:-1] if closed else body)
                 if line.lstrip().startswith(marker)]
        if stray:
            problems.append((start + 1, f"fence holds a fence line at {stray[0]} "
                                        "(text after the backticks does not close it)"))
        elif not closed:
            problems.append((start + 1, "fence is never closed"))
    return problems


def tracked_markdown(root):
    listed = subprocess.run(["git", "-C", str(root), "ls-files", "*.md"],
                            capture_output=True, text=True, check=False)
    if listed.returncode != 0:  # not a checkout: every file but installed packages
        return [p for p in root.rglob("*.md") if "node_modules" not in p.parts]
    return [root / name for name in listed.stdout.splitlines()]


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    failed = False
    for path in tracked_markdown(root):
        for line, problem in fence_problems(path.read_text(encoding="utf-8")):
            print(f"{path.relative_to(root)}:{line}: {problem}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
