#include "output/depfile_writer.hpp"

#include <cstring>

namespace {

// Where a path stands in the depfile, which decides how make reads a "%".
enum class PathRole {
    Target,         // the rom and its symbol file: "%" would make a pattern rule
    Prerequisite,   // after the colon: "%" is itself
    EmptyRuleTarget // an included file's empty rule: "%" is escaped
};

// Bytes that make and ninja cannot both read back in a path, however
// written: ninja ends a path at each of them and keeps a backslash before
// them; make takes "*" and "?" for patterns, "=" for a variable, ";" for a
// recipe, and the control bytes (the tab and the line feed among them) for
// syntax.
bool unwritable(unsigned char byte) {
    return byte < 0x20 || byte == 0x7f || std::strchr("\"'&;<>^`|*?=", byte) != nullptr;
}

// True when `path` can be written so that make and ninja read it back as it
// is. Besides the bytes above: make globs "[...]" where it matches a file,
// expands a leading "~", and ninja keeps the backslash of "\:" before a
// blank or the end; a run of backslashes reads back as itself only when a
// byte written as itself, or a blank, follows it.
bool expressible(const char* path, PathRole role) {
    if (path[0] == '~' || path[0] == '\0') return false;
    bool open_bracket = false; // a "[" earlier in this part of the path
    for (const char* c = path; *c; c++) {
        auto byte = static_cast<unsigned char>(*c);
        if (unwritable(byte) || (byte == ']' && open_bracket)) return false;
        if (byte == '%' && role == PathRole::Target) return false;
        if (byte == '[') open_bracket = true;
        if (byte == '/') open_bracket = false;
        if (byte == '\\' && c[1] != '\\' &&
            (c[1] == '\0' || c[1] == '#' || c[1] == '$' || c[1] == ':' || c[1] == '%'))
            return false;
    }
    return path[std::strlen(path) - 1] != ':';
}

// Writes `path` escaped, followed by `suffix` (plain text). False, with
// nothing written, for a path make and ninja cannot both read back.
bool write_path(std::FILE* file, const char* path, PathRole role, const char* suffix) {
    if (!expressible(path, role)) return false;
    int backslashes = 0; // just written, in a row
    for (const char* c = path; *c; c++) {
        // Both read 2N+1 backslashes and a blank as N and the blank.
        if (*c == ' ')
            for (int i = 0; i <= backslashes; i++) std::fputc('\\', file);
        if (*c == '#' || *c == ':' || (*c == '%' && role == PathRole::EmptyRuleTarget))
            std::fputc('\\', file);
        if (*c == '$') std::fputc('$', file);
        std::fputc(*c, file);
        backslashes = *c == '\\' ? backslashes + 1 : 0;
    }
    std::fputs(suffix, file);
    return true;
}

// True when an included file listed before `count` has the same path. (The
// source is never among them: a file that includes itself fails.)
bool listed_before(const char* const* included, std::size_t count, const char* path) {
    for (std::size_t i = 0; i < count; i++)
        if (std::strcmp(included[i], path) == 0) return true;
    return false;
}

} // namespace

bool write_depfile(const char* const* included, std::size_t count, const char* source_path,
                   const char* rom_path, std::FILE* file) {
    // A failed write shows in ferror at the end; a path make cannot read
    // back stops the writing at once.
    if (!write_path(file, rom_path, PathRole::Target, " ") ||
        !write_path(file, rom_path, PathRole::Target, ".sym: ") ||
        !write_path(file, source_path, PathRole::Prerequisite, ""))
        return false;
    for (std::size_t i = 0; i < count; i++) {
        const char* path = included[i];
        if (listed_before(included, i, path)) continue;
        std::fputc(' ', file);
        if (!write_path(file, path, PathRole::Prerequisite, "")) return false;
    }
    std::fputc('\n', file);
    for (std::size_t i = 0; i < count; i++) {
        const char* path = included[i];
        // Every path was written, and so found expressible, on the first line.
        if (!listed_before(included, i, path)) {
            std::fputc('\n', file);
            write_path(file, path, PathRole::EmptyRuleTarget, ":\n");
        }
    }
    return std::ferror(file) == 0;
}
