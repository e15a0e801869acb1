// The options live in one table, which both the parser and --help read. The
// parsing is done here rather than with getopt_long, which takes every
// argument that begins with "-" for an option: here "-" and "-name" stay
// paths, as they always were.
#include "cli/options.hpp"
#include "cli/lines.hpp"

#include <cstring>

#ifndef ORVASM_VERSION
#error "ORVASM_VERSION comes from the project's version in CMakeLists.txt"
#endif

namespace {

enum class Kind { flag, value, help, version };

struct OptionEntry {
    const char* name;
    Kind kind;
    const char* value_name; // of a value option, in --help
    const char* summary;    // its line in --help
    bool Options::*flag;
    const char* Options::*value;
};

constexpr OptionEntry OPTION_TABLE[] = {
    {"--locations", Kind::flag, "", "begin each diagnostic with FILE:LINE:COLUMN",
     &Options::locations, nullptr},
    {"--listing", Kind::value, "FILE", "write a listing of the assembly to FILE", nullptr,
     &Options::listing_path},
    {"--depfile", Kind::value, "FILE", "write the make dependencies of ROM to FILE", nullptr,
     &Options::depfile_path},
    {"--help", Kind::help, "", "print this help and exit", nullptr, nullptr},
    {"--version", Kind::version, "", "print the version and exit", nullptr, nullptr},
};

// The entry whose name is the argument up to its "=", or nullptr.
const OptionEntry* find_option(const char* argument, std::size_t name_length) {
    for (const OptionEntry& entry : OPTION_TABLE)
        if (std::strlen(entry.name) == name_length &&
            std::strncmp(entry.name, argument, name_length) == 0)
            return &entry;
    return nullptr;
}

// Every command-line error ends with the usage line.
Command usage() {
    report_error("usage", "input.orv output.rom");
    return Command::invalid;
}

// Applies the option argv[index], which may take argv[index + 1] as its
// value; `index` then moves past it. Returns Command::assemble to go on.
Command apply_option(int argc, char** argv, int& index, Options& options) {
    const char* argument = argv[index];
    const char* equals = std::strchr(argument, '=');
    std::size_t name_length =
        equals ? static_cast<std::size_t>(equals - argument) : std::strlen(argument);
    const OptionEntry* entry = find_option(argument, name_length);
    if (!entry) {
        report_error("Unknown option", argument);
        return usage();
    }
    if (entry->kind != Kind::value && equals) {
        report_error("Option takes no value", entry->name);
        return usage();
    }
    switch (entry->kind) { // GCOVR_EXCL_BR_LINE: every kind has its case
    case Kind::help: return Command::help;
    case Kind::version: return Command::version;
    case Kind::flag: options.*entry->flag = true; return Command::assemble;
    case Kind::value: break;
    }
    // As getopt_long does, a value not joined by "=" is the next argument,
    // whatever it looks like.
    const char* value = equals ? equals + 1 : index + 1 < argc ? argv[++index] : nullptr;
    if (!value || !*value) {
        report_error("Missing value", entry->name);
        return usage();
    }
    options.*entry->value = value;
    return Command::assemble;
}

} // namespace

Command parse_options(int argc, char** argv, Options& options) {
    int paths = 0;
    bool options_ended = false;
    for (int index = 1; index < argc; index++) {
        const char* argument = argv[index];
        if (!options_ended && std::strncmp(argument, "--", 2) == 0) {
            if (argument[2] == '\0') {
                options_ended = true;
                continue;
            }
            Command command = apply_option(argc, argv, index, options);
            if (command != Command::assemble) return command;
            continue;
        }
        if (paths == 0) options.source_path = argument;
        if (paths == 1) options.rom_path = argument;
        paths++;
    }
    return paths < 2 ? usage() : Command::assemble;
}

void print_help(std::FILE* stream) {
    std::fputs("usage: orvasm [OPTION]... SOURCE ROM\n"
               "Assembles SOURCE into the rom ROM and writes its symbols to ROM.sym.\n"
               "\n"
               "Options:\n",
               stream);
    for (const OptionEntry& entry : OPTION_TABLE) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%s%s", entry.name, *entry.value_name ? "=" : "",
                      entry.value_name);
        std::fprintf(stream, "  %-16s  %s\n", name, entry.summary);
    }
    std::fputs("\n"
               "An argument \"--\" ends the options. Manual: orvasm(1).\n",
               stream);
}

void print_version(std::FILE* stream) {
    std::fputs("orvasm " ORVASM_VERSION "\n", stream);
}
