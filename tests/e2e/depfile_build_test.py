#!/usr/bin/env python3
"""Drives a real build tool with the depfile: GNU make through an included
makefile, or ninja through `depfile = $out.d` and `deps = gcc`. Touching an
included file (also each one whose name make and ninja must unescape: a
colon, "[", "%", "#", "$", a backslash; the source's name holds a blank)
rebuilds the rom once, touching an unrelated file does not, and a source
that drops an include builds after the included files are deleted. A name
the two cannot both read back ("*", "?") fails the build, with
"Depfile not written", instead of a depfile that misleads it. Exits 77 when
the tool is absent.

usage: depfile_build_test.py make|ninja ORVASM
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77

MAKEFILE = """\
game.rom: main\\ game.orv
\t{orvasm} 'main game.orv' game.rom --depfile=game.rom.d
\techo built >> builds
-include game.rom.d
"""

BUILD_NINJA = """\
rule orvasm
  command = {orvasm} 'main game.orv' $out --depfile=$out.d && echo built >> builds
  depfile = $out.d
  deps = gcc
build game.rom | game.rom.sym: orvasm main$ game.orv
"""

# The names make and ninja must both unescape, each an included file.
ODD_NAMES = ["data#1$.orv", "a:b.orv", "c[2.orv", "d%e.orv", "f\\g.orv", "h]i.orv"]

FILES = {
    "main game.orv": "~lib.orv @Main ;data BRK\n",
    "lib.orv": "".join(f"~{name} " for name in ODD_NAMES) + "\n",
    "data#1$.orv": "@data 01 02\n",
    "unrelated.orv": "03\n",
    **{name: "04\n" for name in ODD_NAMES[1:]},
}


class Failure(Exception):
    pass


def tool_command(tool):
    if tool == "make":
        found = shutil.which("make")
        version = subprocess.run([found, "--version"], capture_output=True, text=True).stdout \
            if found else ""
        return [found, "--no-print-directory"] if "GNU Make" in version else None
    found = shutil.which("ninja")
    return [found] if found else None


class Project:
    def __init__(self, directory, command):
        self.dir = pathlib.Path(directory)
        self.command = command

    def build(self):
        run = subprocess.run(self.command, cwd=self.dir, capture_output=True, text=True)
        if run.returncode != 0:
            raise Failure(f"build failed ({run.returncode}):\n{run.stdout}{run.stderr}")
        builds = self.dir / "builds"
        return len(builds.read_text().split()) if builds.exists() else 0

    def touch(self, name):
        # Newer than every output, whatever the clock's step on this file system.
        newest = max(p.stat().st_mtime_ns for p in self.dir.iterdir())
        while time.time_ns() <= newest:
            time.sleep(0.01)
        os.utime(self.dir / name)


def expect(project, step, builds):
    got = project.build()
    if got != builds:
        raise Failure(f"{step}: {got} builds, expected {builds}")


def scenario(project):
    expect(project, "first build", 1)
    expect(project, "nothing changed", 1)
    builds = 1
    for name in ODD_NAMES:
        project.touch(name)
        builds += 1
        expect(project, f"nested included file {name} touched", builds)
        expect(project, f"nothing changed after {name}", builds)
    project.touch("lib.orv")
    expect(project, "included file touched", builds + 1)
    project.touch("unrelated.orv")
    expect(project, "unrelated file touched", builds + 1)
    project.touch("main game.orv")
    (project.dir / "main game.orv").write_text("@Main BRK\n")
    (project.dir / "lib.orv").unlink()
    for name in ODD_NAMES:
        (project.dir / name).unlink()
    expect(project, "include dropped and its files deleted", builds + 2)
    expect(project, "nothing changed after the include was dropped", builds + 2)
    # A name neither can read back fails the build, every time.
    for name in ("s*t.orv", "u?v.orv"):
        (project.dir / name).write_text("05\n")
        project.touch("main game.orv")
        (project.dir / "main game.orv").write_text(f"~{name} BRK\n")
        failed = subprocess.run(project.command, cwd=project.dir, capture_output=True, text=True)
        shown = failed.stdout + failed.stderr
        if failed.returncode == 0 or "Depfile not written: game.rom.d" not in shown:
            raise Failure(f"a depfile naming {name}: {failed.returncode}\n{shown}")


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "ninja"):
        sys.exit(__doc__.split("\n\n")[1])
    tool, orvasm = sys.argv[1], os.path.abspath(sys.argv[2])
    command = tool_command(tool)
    if not command:
        print(f"{tool} is not installed: skipped")
        return SKIP
    with tempfile.TemporaryDirectory(prefix=f"orvasm-{tool}-") as directory:
        for name, text in FILES.items():
            (pathlib.Path(directory) / name).write_text(text)
        build_file, template = ("Makefile", MAKEFILE) if tool == "make" else \
            ("build.ninja", BUILD_NINJA)
        (pathlib.Path(directory) / build_file).write_text(template.format(orvasm=orvasm))
        try:
            scenario(Project(directory, command))
        except Failure as failure:
            print(f"{tool}: {failure}")
            return 1
    print(f"{tool} rebuilds the rom exactly when a file it read changes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
