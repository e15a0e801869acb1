#include "cli/rom_writer.hpp"

#include <sys/stat.h>

// The identity of a file is its device and inode, whatever path names it.
// (std::filesystem would do the same, at the cost of most of a static binary.)
bool is_same_file(const char* a, const char* b) {
    struct stat first;
    struct stat second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

bool write_rom(const AssemblerState& state, std::FILE* file) {
    std::size_t size = state.length - PROGRAM_START;
    bool written = std::fwrite(state.image + PROGRAM_START, 1, size, file) == size;
    bool closed = std::fclose(file) == 0;
    return written && closed;
}
