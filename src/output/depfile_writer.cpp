#include "output/depfile_writer.hpp"

#include <cstring>

namespace {

// Writes `path` escaped, followed by `suffix` (plain text). False for a path
// make cannot read back.
bool write_path(std::FILE* file, const char* path, const char* suffix) {
    int backslashes = 0; // just written, in a row
    for (const char* c = path; *c; c++) {
        if (*c == '\n') return false;
        if (*c == ' ' || *c == '\t' || *c == '#') {
            // Make and ninja read 2N+1 backslashes and a blank as N and the blank.
            for (int i = 0; i <= backslashes; i++) std::fputc('\\', file);
        }
        if (*c == '$') std::fputc('$', file);
        std::fputc(*c, file);
        backslashes = *c == '\\' ? backslashes + 1 : 0;
    }
    // Make reads final backslashes as escapes of what follows (a blank, the
    // colon, the end of the line), and doubled, ninja would keep both.
    if (backslashes > 0) return false;
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
    if (!write_path(file, rom_path, " ") || !write_path(file, rom_path, ".sym: ") ||
        !write_path(file, source_path, ""))
        return false;
    for (std::size_t i = 0; i < count; i++) {
        const char* path = included[i];
        if (listed_before(included, i, path)) continue;
        std::fputc(' ', file);
        if (!write_path(file, path, "")) return false;
    }
    std::fputc('\n', file);
    for (std::size_t i = 0; i < count; i++) {
        const char* path = included[i];
        // Every path was written, and so found expressible, on the first line.
        if (!listed_before(included, i, path)) {
            std::fputc('\n', file);
            write_path(file, path, ":\n");
        }
    }
    return std::ferror(file) == 0;
}
