#!/usr/bin/env python3
"""Walks every sigil and kind of token through each reader of the language
and fails where one disagrees with the library, whose answers come from the
table the assembly dispatches on:

- the core: the library's kind, name start and length of each token, from
  token_kinds_dump, against the kinds of orvasm.h;
- the language server (orvasm-lsp over JSON-RPC): what a token names when it
  is read from its text, after a failure;
- the page (with --wasm): the kind orvasm.wasm gives, the token as the
  editor splits it and the colour it draws it in (page_kinds.mjs);
- the editors' shared expectations (tests/editors/expectations.json, which
  the Vim and TextMate tests hold the syntax files to): each token's colour
  against its kind, and every kind and reference sigil present.

usage: agree_test.py DUMP LSP [--wasm ORVASM_WASM --node NODE]
"""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "lsp"))
from lsp_session import Session, file_uri  # noqa: E402

REFERENCES = {"relative-reference", "zero-page-reference", "absolute-reference",
              "relative-short-reference"}
# The page's colour of each kind, and the kinds each colour of the editors'
# expectations may stand for ("comment" and "macro-brace" depend on context).
PAGE_STYLES = {
    "word": "macroName", "comment": "comment", "malformed-comment": "comment",
    "include": "link", "macro": "macroName.definition", "absolute-padding": "meta",
    "relative-padding": "meta", "label": "labelName.definition",
    "sublabel": "labelName.definition", "literal": "number", "text": "string",
    "bracket": "brace", "instruction": "keyword", "raw-byte": "number", "raw-short": "number",
    **{kind: "labelName" for kind in REFERENCES},
}
EDITOR_KINDS = {
    "plain": {"word"}, "malformed-comment": {"malformed-comment"}, "include": {"include"},
    "padding": {"absolute-padding", "relative-padding"},
    "padding-error": {"absolute-padding", "relative-padding"},
    "label": {"label"}, "sublabel": {"sublabel"}, "reference": REFERENCES,
    "literal": {"literal"}, "literal-error": {"literal"}, "text": {"text"},
    "hex": {"raw-byte", "raw-short"}, "instruction": {"instruction"}, "mode": {"instruction"},
    "bracket": {"bracket"}, "macro-name": {"macro"}, "macro-error": {"macro"},
}
CONTEXTUAL = {"comment", "macro-brace"}

WORDS = [b"name", b"ADD2k", b"BRK", b"LIT", b"12", b"beef", b"12345", b"FF", b"[", b"]", b"[x",
         b"(", b"(x", b"{", b"}", b")", b"x)", b"#12", b"|0100", b"$2", b"~lib.orv", b"%m",
         b"\"hi", b",&name", b"?&name", b"&&name", b"a\x00b", b"a\xc2\xa0b", b"a\xc2\x85b",
         b"\xc3\xa9name", "a" * 70]


def header_kinds():
    """The names of enum orvasm_token_kind by value, as "relative-reference"."""
    with open(os.path.join(ROOT, "include", "orvasm", "orvasm.h")) as header:
        text = header.read()
    body = re.search(r"enum orvasm_token_kind \{(.*?)\};", text, re.S).group(1)
    kinds = {}
    for name, value in re.findall(r"ORVASM_TOKEN_(\w+) = (\d+)", body):
        kinds[int(value)] = name.lower().replace("_", "-")
    assert sorted(kinds) == list(range(len(kinds))), kinds
    count = int(re.search(r"#define ORVASM_TOKEN_KINDS (\d+)", text).group(1))
    assert count == len(kinds), "ORVASM_TOKEN_KINDS is not the number of kinds"
    return [kinds[value] for value in range(count)]


def core_answers(dump, tokens, kinds):
    """{token: (kind, name start, length)} from the library."""
    lines = "".join(token.hex() + "\n" for token in tokens)
    output = subprocess.run([dump], input=lines.encode(), capture_output=True, check=True)
    answers = {}
    for token, line in zip(tokens, output.stdout.decode().splitlines()):
        kind, start, length = (int(part) for part in line.split())
        answers[token] = (kinds[kind], start, length)
    assert len(answers) == len(set(tokens)), "the dump answered too few tokens"
    return answers


class Checks:
    def __init__(self):
        self.failures = []
        self.count = 0

    def expect(self, condition, message):
        self.count += 1
        if not condition:
            self.failures.append(message)


def check_core(checks, answers, kinds):
    """The kinds are all reached, and the sigils are the assembly's."""
    reached = {kind for kind, _, _ in answers.values()}
    checks.expect(reached == set(kinds), f"kinds never answered: {set(kinds) - reached}")
    sigils = sorted(chr(token[0]) for token, (kind, _, _) in answers.items()
                    if len(token) == 5 and token.endswith(b"name") and kind in REFERENCES)
    checks.expect("".join(sigils) == "!,-.:;=?_", "the reference sigils are " + "".join(sigils))
    return sigils


def check_server(checks, lsp, answers):
    """What the server makes of each token read from its text."""
    with tempfile.TemporaryDirectory(prefix="orvasm-facts-") as directory:
        root = os.path.realpath(directory)
        session = Session(lsp, root)
        session.initialize()
        uri = file_uri(os.path.join(root, "main.orv"))
        version = 1
        session.notify("textDocument/didOpen", {"textDocument": {
            "uri": uri, "languageId": "orvasm", "version": version, "text": ""}})
        session.diagnostics(uri)
        prefix = "@name BRK #zz "  # a failure: what follows is read from its text
        for token, (kind, start, length) in answers.items():
            if token[0] >= 0x80 or b"\x00" in token or length != len(token):
                continue  # JSON carries text; the split is the page's check
            version += 1
            session.notify("textDocument/didChange", {
                "textDocument": {"uri": uri, "version": version},
                "contentChanges": [{"text": prefix + token.decode()}]})
            session.diagnostics(uri)
            at = {"textDocument": {"uri": uri},
                  "position": {"line": 0, "character": len(prefix)}}
            found = session.request("textDocument/definition", at).get("result")
            # ",&name" names "name/name", the sublabel in the scope of "@name".
            written = token[start:] == b"name" and token[start - 1:start] != b"&"
            names_label = (kind in REFERENCES or kind == "label") and written
            names_label = names_label or token == b"name"
            checks.expect(bool(found) == names_label,
                          f"server: {token!r} ({kind}) names the label: {bool(found)}")
            hover = session.request("textDocument/hover", at).get("result") or {}
            shown = json.dumps(hover)
            checks.expect(("opcode" in shown) == (kind == "instruction"),
                          f"server: {token!r} ({kind}) hover: {shown}")
        session.request("shutdown")
        session.notify("exit")
        session.finish()


def is_text(token):
    """Whether the token is UTF-8, as the page's texts are."""
    try:
        token.decode()
        return True
    except UnicodeDecodeError:
        return False


def check_page(checks, node, wasm, answers):
    """The kind the module gives, the token as the editor splits it, its colour."""
    tokens = [token for token in answers if b"\x00" not in token and is_text(token)]
    lines = "".join(token.hex() + "\n" for token in tokens)
    output = subprocess.run([node, os.path.join(HERE, "page_kinds.mjs"), wasm],
                            input=lines.encode(), capture_output=True, check=True)
    page = [json.loads(line) for line in output.stdout.decode().split("\n") if line]
    checks.expect(len(page) == len(tokens), "the page answered too few tokens")
    for token, answer in zip(tokens, page):
        kind, _, length = answers[token]
        checks.expect(answer["kind"] == kind, f"page: {token!r} is {answer['kind']}, not {kind}")
        if length == 0:
            continue
        word, style = answer["styles"][0]
        checks.expect(len(word.encode()) == length,
                      f"page: {token!r} ends after {len(word.encode())} bytes, not {length}")
        if length == len(token):
            checks.expect(style == PAGE_STYLES[kind],
                          f"page: {token!r} ({kind}) is drawn as {style}")


def check_editors(checks, dump, kinds, sigils):
    """Each expectation's colour against the kind of its token."""
    with open(os.path.join(ROOT, "tests", "editors", "expectations.json")) as file:
        expectations = json.load(file)["files"]
    entries = [entry for file in expectations.values() for entry in file]
    tokens = [entry[1].encode() for entry in entries]
    answers = core_answers(dump, tokens, kinds)
    seen = set()
    for entry, token in zip(entries, tokens):
        colour = entry[2]
        kind = answers[token][0]
        if colour in CONTEXTUAL:
            # Inside a comment any token is one; a comment's opening is one too.
            if kind == "comment":
                seen.add(kind)
            continue
        seen.add(kind)
        checks.expect(kind in EDITOR_KINDS[colour],
                      f"editors: {token!r} is {colour} but its kind is {kind}")
        if colour == "reference":
            seen.add("sigil " + chr(token[0]))
    missing = [kind for kind in kinds if kind not in seen]
    missing += [sigil for sigil in sigils if "sigil " + sigil not in seen]
    checks.expect(not missing, f"editors: no expectation for {missing}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dump")
    parser.add_argument("lsp")
    parser.add_argument("--wasm")
    parser.add_argument("--node")
    args = parser.parse_args()
    kinds = header_kinds()
    tokens = [bytes([byte]) + b"name" for byte in range(1, 256)]
    tokens += [word if isinstance(word, bytes) else word.encode() for word in WORDS]
    answers = core_answers(args.dump, tokens, kinds)
    checks = Checks()
    sigils = check_core(checks, answers, kinds)
    check_server(checks, args.lsp, answers)
    if args.wasm:
        check_page(checks, args.node, args.wasm, answers)
    else:
        print("the page is left out: no orvasm.wasm")
    check_editors(checks, args.dump, kinds, sigils)
    for failure in checks.failures:
        print("FAIL", failure)
    print(f"{checks.count - len(checks.failures)} of {checks.count} checks agree")
    return 1 if checks.failures else 0


if __name__ == "__main__":
    sys.exit(main())
