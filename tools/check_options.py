#!/usr/bin/env python3
"""Checks that `orvasm --help` and the manual page name the same options,
and that the page's header carries the version of the build.

usage: check_options.py ORVASM PAGE VERSION

The options of --help are the words that begin with "--" at the start of
its indented lines; those of the page are the tags of the entries in its
OPTIONS section.
"""

import pathlib
import re
import subprocess
import sys

OPTION = re.compile(r"--[a-z][a-z-]*")


def help_options(orvasm):
    text = subprocess.run([orvasm, "--help"], capture_output=True, text=True, check=True).stdout
    return {OPTION.match(line.strip()).group(0) for line in text.splitlines()
            if line.startswith(" ") and line.strip().startswith("--")}


def page_options(lines):
    options, inside = set(), False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            inside = line.split(None, 1)[1:] == ["OPTIONS"]
        elif inside and line.startswith(".TP") and i + 1 < len(lines):
            tag = lines[i + 1].replace("\\-", "-")
            options.update(OPTION.findall(tag)[:1])
    return options


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.split("\n\n")[1])
    orvasm, page, version = sys.argv[1], pathlib.Path(sys.argv[2]), sys.argv[3]
    lines = page.read_text().splitlines()
    in_help, in_page = help_options(orvasm), page_options(lines)
    problems = [f"--help does not name {o}" for o in sorted(in_page - in_help)]
    problems += [f"{page.name} OPTIONS does not describe {o}" for o in sorted(in_help - in_page)]
    if len(in_help) < 2:
        problems.append(f"found only {sorted(in_help)} in --help; the pattern no longer matches")
    header = next((line for line in lines if line.startswith(".TH")), "")
    if f'"orvasm {version}"' not in header:
        problems.append(f"{page.name} header is not of version {version}: {header}")
    for problem in problems:
        print(problem)
    print(f"{len(in_help)} options in --help and {page.name}: "
          f"{'the same' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
