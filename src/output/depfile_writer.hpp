// The make dependencies of an assembly, as compilers write them for make and
// ninja: "ROM ROM.sym: SOURCE INCLUDED...", each path once in the order the
// assembly first read it, then an empty rule "INCLUDED:" for each included
// file, so that a build does not stop when one is deleted.
#pragma once

#include <cstdio>

#include <cstddef>

// Writes the dependencies of an assembly of `source_path` that included the
// `count` files `included` (in the order first read, repeats allowed) to
// `file`, which stays open. Paths are escaped as make reads them: a space or a tab as "\ ", "#"
// as "\#" (the backslashes before either doubled), "$" as "$$". False when a
// write failed, or when a path holds a line feed or ends with a backslash,
// which make cannot read back.
bool write_depfile(const char* const* included, std::size_t count, const char* source_path,
                   const char* rom_path, std::FILE* file);
