#include "output/rom_writer.hpp"

bool write_rom(const AssemblerState& state, std::FILE* file) {
    std::size_t size = state.length - PROGRAM_START;
    return std::fwrite(state.image + PROGRAM_START, 1, size, file) == size;
}
