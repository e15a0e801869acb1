#!/usr/bin/env python3
"""Checks every line the program can print against the manual or the cases.

usage: check_messages.py SRC_DIR manual PAGE
       check_messages.py SRC_DIR cases CASE_DIR

The messages are collected from the sources under SRC_DIR: the arguments of
every report_error call and of the wrappers that pass both of their
arguments on to it, the texts returned by a function whose result is given
to report_error as the message, and the format of every report_warning and
report_line call. A call whose message cannot be told fails the check, so a
new kind of call is noticed rather than skipped.

manual: PAGE is rendered to plain text with groff, and each message must
appear in it: "MESSAGE:" (or "MESSAGE: DETAIL" when the detail is a literal
too), and for a format, a line that matches it with any word in place of
each conversion. The other way round, every entry of the page's DIAGNOSTICS
section must name a message the program prints.

cases: each message must begin a line of the expected standard error (the
"--- stderr" section) of some CASE_DIR/*.case file, so that every message
is pinned by at least one run of the program.
"""

import pathlib
import re
import subprocess
import sys

STRING = r'"(?:[^"\\]|\\.)*"'
COMMENT_OR_STRING = re.compile(r'//[^\n]*|/\*.*?\*/|' + STRING + r"|'(?:[^'\\]|\\.)*'", re.S)
CONVERSION = re.compile(r"%%|%[-+ #0]*\d*(?:\.\d+)?[a-z]")


def strip_comments(code):
    return COMMENT_OR_STRING.sub(lambda m: " " if m.group(0)[0] == "/" else m.group(0), code)


def unquote(literal):
    return bytes(literal[1:-1], "utf-8").decode("unicode_escape")


def split_arguments(code, open_at):
    """The arguments of the call whose "(" is at open_at, as source texts."""
    depth, start, arguments, i = 0, open_at + 1, [], open_at
    while i < len(code):
        c = code[i]
        if c == '"':
            i = re.compile(STRING).match(code, i).end()
            continue
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                arguments.append(code[start:i].strip())
                return arguments
        elif c == "," and depth == 1:
            arguments.append(code[start:i].strip())
            start = i + 1
        i += 1
    raise ValueError("unclosed call")


def function_body(code, name):
    match = re.search(r"const\s+char\s*\*\s*" + name + r"\s*\([^)]*\)\s*\{", code)
    if not match:
        return None
    depth, i = 1, match.end()
    while depth:
        depth += {"{": 1, "}": -1}.get(code[i], 0)
        i += 1
    return code[match.end():i]


def format_pattern(text):
    """A regular expression for the lines printed with format `text`."""
    parts = []
    for piece in re.split(r"(%%|%[-+ #0]*\d*(?:\.\d+)?[a-z])", text):
        if piece == "%%":
            parts.append("%")
        elif CONVERSION.fullmatch(piece):
            parts.append(r"\S+")
        else:
            words = r"\s+".join(re.escape(word) for word in piece.split())
            before = r"\s+" if piece[:1].isspace() else ""
            after = r"\s+" if piece[-1:].isspace() and words else ""
            parts.append(before + words + after)
    return "".join(parts).strip()


def collect_messages(src_dir):
    """(description, pattern) for every message, and a list of problems."""
    files = {p: strip_comments(p.read_text()) for p in sorted(src_dir.rglob("*.[ch]pp"))}
    everything = "\n".join(files.values())
    wrappers = set()
    for code in files.values():
        for m in re.finditer(r"(\w+)\s*\(\s*const\s+char\s*\*\s*(\w+)\s*,\s*"
                             r"const\s+char\s*\*\s*(\w+)\s*\)\s*\{([^}]*)\}", code):
            if re.search(r"report_error\s*\(\s*(?:[\w.]+\s*,\s*)?" + m.group(2) + r"\s*,\s*"
                         + m.group(3) + r"\s*\)",
                         m.group(4)):
                wrappers.add(m.group(1))
    messages, problems = [], []
    callers = "|".join(["report_error", "report_warning", "report_line", "report_error_at",
                        "report_warning_at"] + sorted(wrappers))
    for path, code in files.items():
        for call in re.finditer(r"\b(" + callers + r")\s*\(", code):
            function = call.group(1)
            arguments = split_arguments(code, call.end() - 1)
            if function.endswith("_at"):
                # report_error_at(state, position, ...) prints as report_error(state, ...).
                function = function[:-3]
                if len(arguments) > 3 and not re.match(r"AssemblerState\s*&", arguments[0]):
                    arguments = arguments[:1] + arguments[2:]
            where = f"{path.relative_to(src_dir.parent)}: {function}({', '.join(arguments)})"
            first = arguments[0] if arguments else ""
            if re.match(r"(const\s|AssemblerState\s*&|DiagnosticSink\s*&)", first):
                continue  # a declaration or a definition
            if function in ("report_error", "report_warning", "report_line") and len(arguments) > 2:
                arguments = arguments[1:]  # the state or sink the line goes to
                first = arguments[0]
            if first in ("message", "format"):
                continue  # a wrapper's own call
            if function in ("report_warning", "report_line"):
                if not re.fullmatch(STRING, first):
                    problems.append(f"{where}: the format is not a literal")
                    continue
                text = unquote(first).rstrip("\n")
                if function == "report_warning":
                    text = "-- " + text + ": "
                messages.append((text, format_pattern(text)))
                continue
            if re.fullmatch(STRING, first):
                texts = [unquote(first)]
            elif re.fullmatch(r"(\w+)\s*\(.*\)", first, re.S):
                body = function_body(everything, re.match(r"\w+", first).group(0))
                texts = [unquote(s) for s in re.findall(r"return\s+(" + STRING + r")", body or "")]
                if not texts:
                    problems.append(f"{where}: no message texts found in the function")
            else:
                problems.append(f"{where}: cannot tell which message this prints")
                continue
            detail = arguments[1] if len(arguments) > 1 else ""
            for text in texts:
                line = text + ": " + (unquote(detail) if re.fullmatch(STRING, detail) else "")
                messages.append((line.strip(), format_pattern(line.strip())))
    return messages, problems


def render(page):
    try:
        result = subprocess.run(["groff", "-man", "-Tascii", "-P-c", "-P-b", "-P-o", "-P-u",
                                 "-rHY=0", "-rLL=200n", str(page)],
                                capture_output=True, text=True, check=True)
    except FileNotFoundError:
        sys.exit("check-messages: groff is needed to render the page")
    return " ".join(result.stdout.split())


def diagnostics_entries(page):
    """The tag lines of the .TP entries in the DIAGNOSTICS section, as plain text."""
    lines = page.read_text().splitlines()
    entries, inside = [], False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            inside = line.split(None, 1)[1:] == ["DIAGNOSTICS"]
        elif inside and line.startswith(".TP") and i + 1 < len(lines):
            tag = re.sub(r"^\.\w+\s*", "", lines[i + 1])
            tag = re.sub(r"\\f[BIRP]|\\&|\"", "", tag).replace("\\-", "-").replace("\\e", "\\")
            entries.append(" ".join(tag.split()))
    return entries


def expected_stderr(case_dir):
    """The "--- stderr" sections of every case, one after the other.

    Only the section boundaries of the .case format matter here (a section
    runs from a line that begins with "--- " to the next one); the byte
    notation of the other sections is read by tests/support/case_file.cpp.
    """
    sections = []
    for case in sorted(case_dir.glob("*.case")):
        inside = False
        for line in case.read_bytes().decode("utf-8", "replace").splitlines(keepends=True):
            if line.startswith("--- "):
                inside = line.split() == ["---", "stderr"]
            elif inside:
                sections.append(line)
    return "".join(sections)


def check_manual(messages, page):
    problems = []
    text = render(page)
    for description, pattern in messages:
        if not re.search(pattern, text):
            problems.append(f"{page.name} does not show: {description}")
    for entry in diagnostics_entries(page):
        if not any(re.match(pattern, entry) or entry.startswith(description)
                   for description, pattern in messages):
            problems.append(f"{page.name} lists a message the program does not print: {entry}")
    return problems, f"against {page.name}"


def check_cases(messages, case_dir):
    stderr = expected_stderr(case_dir)
    if not stderr:
        return [f"no case in {case_dir} expects any standard error"], f"against {case_dir}"
    problems = [f"no case shows: {description}" for description, pattern in messages
                if not re.search("^" + pattern, stderr, re.M)]
    return problems, f"against the cases in {case_dir}"


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ("manual", "cases"):
        sys.exit(__doc__.split("\n\n")[1])
    src_dir, check, target = pathlib.Path(sys.argv[1]), sys.argv[2], pathlib.Path(sys.argv[3])
    messages, problems = collect_messages(src_dir)
    if not messages:
        problems.append(f"no messages found under {src_dir}")
    found, against = (check_manual if check == "manual" else check_cases)(messages, target)
    problems += found
    for problem in problems:
        print(problem)
    distinct = len({description for description, _ in messages})
    print(f"{distinct} messages checked {against}: "
          f"{'all shown' if not problems else str(len(problems)) + ' problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
