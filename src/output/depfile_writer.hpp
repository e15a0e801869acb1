// The make dependencies of an assembly, as compilers write them for make and
// ninja: "ROM ROM.sym: SOURCE INCLUDED...", each path once in the order the
// assembly first read it, then an empty rule "INCLUDED:" for each included
// file, so that a build does not stop when one is deleted.
#pragma once

#include <cstdio>

#include <cstddef>

// Writes the dependencies of an assembly of `source_path` that included the
// `count` files `included` (in the order first read, repeats allowed) to
// `file`, which stays open. Paths are escaped so that GNU make and ninja both
// read them back as they are: a blank as "\ " (the backslashes just before it
// doubled), "#" as "\#", ":" as "\:", "$" as "$$", and "%" as "\%" in an
// empty rule. False when a write failed, or when a path cannot be written so:
// one that holds a control byte, " ' & ; < > ^ ` | * ? =, a "[" with a "]"
// after it, a "%" in the rom's path, or a backslash before # $ : % or the
// end; one that starts with "~" or ends with ":".
bool write_depfile(const char* const* included, std::size_t count, const char* source_path,
                   const char* rom_path, std::FILE* file);
