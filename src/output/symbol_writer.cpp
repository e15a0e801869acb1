#include "output/symbol_writer.hpp"

#include <cstring>
#include <string>

// Records are gathered and written a block at a time, which costs less than
// two writes per label.
constexpr std::size_t RECORD_SIZE = 2 + NAME_SIZE; // the longest record
constexpr std::size_t BLOCK_SIZE = 64 * RECORD_SIZE;

bool write_symbols(const AssemblerState& state, std::FILE* file) {
    unsigned char block[BLOCK_SIZE];
    std::size_t size = 0;
    for (int i = 0; i < state.label_count; i++) {
        if (BLOCK_SIZE - size < RECORD_SIZE) {
            if (std::fwrite(block, 1, size, file) != size) return false;
            size = 0;
        }
        const Label& label = state.labels[i];
        std::size_t name_size = std::char_traits<char>::length(label.name) + 1;
        block[size++] = static_cast<unsigned char>(label.address >> 8);
        block[size++] = static_cast<unsigned char>(label.address & 0xff);
        std::memcpy(block + size, label.name, name_size);
        size += name_size;
    }
    return std::fwrite(block, 1, size, file) == size;
}
