#!/usr/bin/env python3
"""Runs the real binary on file systems that a test can only make in a mount
namespace of its own: a tmpfs out of inodes, and a rom that is a bind mount.
Out of inodes, no temporary file can be made beside the rom: the output
fails and the old rom and symbol file stay whole, where writing in place
would have cut them short on the blocks left. A bind-mounted rom (a
container's volume) cannot be renamed over: it is written in place.
Re-runs itself under unshare; exits 77 where mount namespaces are not to be
had.

usage: file_systems_test.py ORVASM
"""

import errno
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
INSIDE = "--inside-namespace"


class Failure(Exception):
    pass


def check(what, got, expected):
    if got != expected:
        raise Failure(f"{what}: got {got!r}, expected {expected!r}")


def assemble(orvasm, directory, source, rom):
    run = subprocess.run([orvasm, source, rom], cwd=directory, capture_output=True)
    return run.returncode, run.stderr.decode("latin-1")


def use_up(mount):
    """Leaves two pages of blocks and no inode free on the file system."""
    status = os.statvfs(mount)
    free = status.f_bavail * status.f_frsize - 2 * status.f_frsize
    with open(mount / "filler", "wb") as filler:
        filler.write(b"\0" * free)
    for number in range(1_000_000):
        try:
            (mount / f"empty{number}").touch()
        except OSError as error:
            if error.errno == errno.ENOSPC:
                return
            raise
    raise Failure("the file system never ran out of inodes")


def labels(count):
    """A program of `count` labels of 60 characters: a symbol file of
    63 bytes a label."""
    return " ".join(f"@L{n:058d}" for n in range(count)) + " 01\n"


def out_of_inodes(orvasm, work):
    mount = work / "small"
    mount.mkdir()
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k,nr_inodes=16", "small", mount],
                   check=True)
    (work / "old.orv").write_text(labels(2))
    # The rom and its symbol file on the small file system.
    check("first run", assemble(orvasm, work, "old.orv", "small/out.rom")[0], 0)
    old_rom = (mount / "out.rom").read_bytes()
    old_symbols = (mount / "out.rom.sym").read_bytes()
    # A symbol file elsewhere, linked to one there.
    check("second run", assemble(orvasm, work, "old.orv", "out.rom")[0], 0)
    shutil.move(work / "out.rom.sym", mount / "linked.sym")
    (work / "out.rom.sym").symlink_to(mount / "linked.sym")
    use_up(mount)

    # 40,000 bytes of rom and 63,000 of symbols: far more than the blocks left.
    (work / "new.orv").write_text("|9d00 01\n")
    status, stderr = assemble(orvasm, work, "new.orv", "small/out.rom")
    check("a rom without an inode: status", status, 1)
    check("a rom without an inode: standard error", stderr, "Invalid Output: small/out.rom\n")
    check("a rom without an inode: the old rom", (mount / "out.rom").read_bytes(), old_rom)
    check("a rom without an inode: its symbol file", (mount / "out.rom.sym").read_bytes(),
          old_symbols)

    (work / "new.orv").write_text(labels(1000))
    status, stderr = assemble(orvasm, work, "new.orv", "out.rom")
    check("a symbol file without an inode: status", status, 0)
    check("a symbol file without an inode: last line", stderr.splitlines()[-1],
          "-- Symbol file not written: out.rom.sym")
    check("a symbol file without an inode: the old one", (mount / "linked.sym").read_bytes(),
          old_symbols)


def bind_mounted(orvasm, work):
    (work / "volume").mkdir()
    (work / "host.rom").write_bytes(b"old")
    (work / "volume/game.rom").write_bytes(b"")
    subprocess.run(["mount", "--bind", work / "host.rom", work / "volume/game.rom"], check=True)
    (work / "game.orv").write_text("01 02 03\n")
    status, stderr = assemble(orvasm, work, "game.orv", "volume/game.rom")
    check("a bind-mounted rom: status", (status, stderr),
          (0, "Assembled volume/game.rom in 3 bytes(0.00% used), 0 labels, 0 macros.\n"))
    check("a bind-mounted rom: the mounted file", (work / "host.rom").read_bytes(), b"\1\2\3")
    check("a bind-mounted rom: the volume", sorted(os.listdir(work / "volume")),
          ["game.rom", "game.rom.sym"])


def inside(orvasm):
    with tempfile.TemporaryDirectory(prefix="orvasm-file-systems-") as directory:
        work = pathlib.Path(directory)
        try:
            out_of_inodes(orvasm, work)
            bind_mounted(orvasm, work)
        except Failure as failure:
            print(failure)
            return 1
        finally:
            # The namespace ends with the process; the directory must be
            # empty of mounts before it is removed.
            for mount in ("volume/game.rom", "small"):
                subprocess.run(["umount", work / mount], capture_output=True)
    print("no output is lost out of inodes, and a bind-mounted rom is written in place")
    return 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == INSIDE:
        return inside(sys.argv[2])
    if len(sys.argv) != 2:
        sys.exit(__doc__.split("\n\n")[1])
    orvasm = os.path.abspath(sys.argv[1])
    unshare = shutil.which("unshare")
    if not unshare:
        print("unshare is not installed: skipped")
        return SKIP
    # An unprivileged user gets a user namespace of its own; root may be in
    # a container that refuses one, and needs only the mount namespace.
    tries = [[unshare, "--user", "--map-root-user", "--mount"]]
    if os.geteuid() == 0:
        tries.append([unshare, "--mount"])
    for command in tries:
        probe = subprocess.run(command + ["true"], capture_output=True)
        if probe.returncode == 0:
            return subprocess.run(command + [sys.executable, __file__, INSIDE, orvasm]).returncode
    print("no mount namespace can be made here (user namespaces are off): skipped")
    return SKIP


if __name__ == "__main__":
    sys.exit(main())
