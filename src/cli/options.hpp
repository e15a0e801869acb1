// The command line: orvasm [OPTION]... SOURCE ROM, with GNU long options. An
// argument that begins with "--" is an option, wherever it stands, until a
// lone "--" ends the options; every other argument is a path.
#pragma once

#include <cstdio>

// What the command line asks for. Paths point into argv; a null path is an
// output that was not requested.
struct Options {
    const char* source_path = nullptr;
    const char* rom_path = nullptr;
    bool locations = false;             // --locations
    const char* listing_path = nullptr; // --listing=FILE
    const char* depfile_path = nullptr; // --depfile=FILE
};

enum class Command {
    assemble, // the options are filled in, with both paths
    help,     // --help came before any error
    version,  // --version came before any error
    invalid,  // a line saying why, and the usage line, were printed
};

// Reads the arguments in order; the first --help, --version or error decides
// the command. Errors go to standard error (lines.hpp): an option error
// prints one line ("Unknown option: --lst",
// "Missing value: --depfile", "Option takes no value: --help=x"); it and
// fewer than two paths then print "usage: input.orv output.rom". The
// arguments after the first two paths are ignored.
Command parse_options(int argc, char** argv, Options& options);

// The usage text of --help, which names every option.
void print_help(std::FILE* stream);

// "orvasm VERSION", the version of the build.
void print_version(std::FILE* stream);
