#include "cli/rom_writer.hpp"

#include <filesystem>
#include <system_error>

bool is_same_file(const char* a, const char* b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

bool write_rom(const AssemblerState& state, std::FILE* file) {
    std::size_t size = state.length - PROGRAM_START;
    bool written = std::fwrite(state.image + PROGRAM_START, 1, size, file) == size;
    bool closed = std::fclose(file) == 0;
    return written && closed;
}
