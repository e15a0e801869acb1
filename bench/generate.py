#!/usr/bin/env python3
"""Writes the benchmark sources.

  generate.py w1 PATH [--labels N]   the largest program the tables allow
  generate.py w2 PATH [--mb N]       a big source that is mostly comments
  generate.py w3 PATH [--kb N]       a typical program with macros

Every source assembles without errors; the output is deterministic for a
given size, so instruction counts can be compared between builds.
"""

import argparse
import random

MNEMONICS = ["LIT", "INC", "POP", "NIP", "SWP", "ROT", "DUP", "OVR",
             "EQU", "NEQ", "GTH", "LTH", "JMP", "JCN", "JSR", "STH",
             "LDZ", "STZ", "LDR", "STR", "LDA", "STA", "DEI", "DEO",
             "ADD", "SUB", "MUL", "DIV", "AND", "ORA", "EOR", "SFT"]
MODES = ["", "", "", "2", "2", "k", "r", "2k", "2r", "kr"]
WORDS = ("the value on top of the stack is moved to the return stack before "
         "each call so that the caller keeps its own copy of the pointer and "
         "nothing is lost when the routine jumps back through the vector "
         "table ; see also the sprite drawing code below which reads two "
         "bytes per row and writes them to the screen device at port 0x2e "
         "(when the colour is set) x y width height addr, count: done.").split()


def mnemonic(rng):
    return rng.choice(MNEMONICS) + rng.choice(MODES)


def data_tokens(rng, budget):
    """Mnemonics, literals, raw bytes and text worth about `budget` bytes."""
    tokens, size = [], 0
    while size < budget:
        kind = rng.randrange(10)
        if kind < 4:
            tokens.append(mnemonic(rng))
            size += 1
        elif kind < 6:
            tokens.append("#%02x" % rng.randrange(256))
            size += 2
        elif kind == 6:
            tokens.append("#%04x" % rng.randrange(65536))
            size += 3
        elif kind == 7:
            tokens.append("%02x" % rng.randrange(256))
            size += 1
        elif kind == 8:
            tokens.append("%04x" % rng.randrange(65536))
            size += 2
        else:
            text = rng.choice(["hello", "world!", "score:", "game-over", "ok"])
            tokens.append('"' + text)
            size += len(text)
    return tokens


def label_names(count):
    """Routines of four labels: the routine and three sublabels."""
    names = []
    for i in range(count):
        routine = "routine-%03x" % (i // 4)
        names.append(routine if i % 4 == 0 else
                     routine + "/" + ["loop", "next", "done"][i % 4 - 1])
    return names


def comment_text(rng, size):
    """Prose of about `size` bytes, with nested asides, as comment tokens."""
    out, length, depth = [], 0, 0
    while length < size:
        roll = rng.randrange(40)
        if roll == 0:
            word = "("
            depth += 1
        elif roll == 1 and depth > 0:
            word = ")"
            depth -= 1
        else:
            word = rng.choice(WORDS)
        out.append(word)
        length += len(word) + 1
        if rng.randrange(12) == 0:
            out.append("\n\t")
            length += 3
    out.extend([")"] * depth)
    return " ".join(out)


def program(rng, labels, block_bytes, padding, comment_bytes):
    """One block per label: its definition, two relative references (one
    back to itself, one on to the next label), an absolute reference and the
    call of a routine, and data. Blocks stay short enough that every relative
    reference is in range."""
    names = label_names(labels)
    lines = ["( generated benchmark program )", "|0100"]
    for i, name in enumerate(names):
        if comment_bytes:
            lines.append("( " + comment_text(rng, comment_bytes) + " )")
        if i % 4 == 0:
            lines.append("@" + name + " ( routine %d )" % (i // 4))
        else:
            lines.append("&" + name.split("/")[1])
        half = data_tokens(rng, block_bytes // 2)
        rest = data_tokens(rng, block_bytes - block_bytes // 2)
        target = names[rng.randrange(labels)]
        absolute = (";" if i % 2 else "=") + target
        call = names[rng.randrange(labels // 4) * 4]
        forward = names[i + 1] if i + 1 < labels else names[i - 1]
        line = ["\t"] + half + ["," + name, "JMP", absolute, call]
        if padding:
            line.append("$%x" % padding)
        line += rest + ["," + forward, "JCN"]
        lines.append(" ".join(line))
    return "\n".join(lines) + "\n"


def w1(rng, labels):
    # 4 reference bytes, 2.5 absolute, 3 call, 2 jumps: about 11.5 bytes of
    # references and 47 of data per block, 60 KB for 1,024 labels.
    return program(rng, labels, 47, 0, 0)


def w2(rng, megabytes):
    labels = 1024
    # The program itself takes about 110 bytes per label.
    comment = megabytes * 1024 * 1024 // labels - 110
    return program(rng, labels, 14, 5, comment)


MACROS = [
    ("RTN", "JMP2r"), ("HALT", "#010f DEO BRK"), ("INC-Y", "#0001 ADD2"),
    ("DEC-Y", "#0001 SUB2"), ("MOD", "DIVk MUL SUB"), ("MOD2", "DIV2k MUL2 SUB2"),
    ("SWAP-SHORTS", "ROT2 ROT2"), ("NOT", "#00 EQU"), ("DOUBLE", "DUP2 ADD2"),
    ("HALF", "#01 SFT2"), ("EMIT", "#18 DEO"), ("SET-X", "#28 DEO2"),
    ("SET-Y", "#2a DEO2"), ("SET-ADDR", "#2c DEO2"), ("SPRITE", "#2f DEO"),
    ("PIXEL", "#2e DEO"), ("ABS", "DUP #80 AND ,&neg JCN"),
    ("TO-SHORT", "#00 SWP"), ("CLAMP", "DUP #7f GTH ,&hi JCN"),
    ("MUL10", "#000a MUL2"), ("LOAD-ZP", "LDZ2 INC2"), ("STORE-ZP", "STZ2"),
    ("NEWLINE", "#0a EMIT"), ("SPACE", "#20 EMIT"),
]


def w3(rng, kilobytes):
    lines = ["( typical program: variables, macros and routines )", ""]
    for name, body in MACROS:
        lines.append("%%%s { %s }" % (name, body))
    lines += ["", "|0000 ( zero-page variables )"]
    zero_page = []
    for v in range(15):
        lines.append("@var-%02d &x $2 &y $2" % v)
        zero_page.append("var-%02d" % v)
    lines += ["", "|0100"]
    routines = max(4, kilobytes * 1024 // 135)
    names = ["routine-%02d" % r for r in range(routines)]
    simple = [m for m, body in MACROS if "&" not in body]
    for r, name in enumerate(names):
        lines.append("")
        lines.append("( %s: %s )" % (name, " ".join(rng.choice(WORDS) for _ in range(8))))
        lines.append("@%s ( x y -- result )" % name)
        var = rng.choice(zero_page)
        lines.append("\t.%s/x LDZ2 .%s/y LDZ2 %s" % (var, var, rng.choice(simple)))
        for sub in ["loop", "neg", "hi", "done"]:
            lines.append("\t&" + sub)
            body = data_tokens(rng, 18)
            body.append(rng.choice(simple))
            if rng.randrange(3) == 0:
                body.append(rng.choice(MACROS)[0])
            body += [";" + rng.choice(names), names[rng.randrange(routines)]]
            body += [",&" + sub, "JCN", "( again )"]
            lines.append("\t" + " ".join(body))
        lines.append("\t!&done RTN")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("workload", choices=["w1", "w2", "w3"])
    parser.add_argument("path")
    parser.add_argument("--labels", type=int, default=1024, help="w1: labels, a multiple of 4")
    parser.add_argument("--mb", type=int, default=32, help="w2: megabytes of source")
    parser.add_argument("--kb", type=int, default=8, help="w3: kilobytes of output")
    args = parser.parse_args()
    rng = random.Random(2024)
    if args.workload == "w1":
        text = w1(rng, args.labels)
    elif args.workload == "w2":
        text = w2(rng, args.mb)
    else:
        text = w3(rng, args.kb)
    with open(args.path, "w") as out:
        out.write(text)


if __name__ == "__main__":
    main()
