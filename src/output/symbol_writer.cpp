#include "output/symbol_writer.hpp"

#include <cstring>

namespace {

constexpr std::size_t LONGEST_RECORD = 2 + NAME_SIZE;

// Writes a record to `record`, which has room for the longest; returns its
// size. The whole name field is copied, a fixed size the compiler copies in
// a few moves: the bytes after the name are overwritten by the next record.
inline std::size_t write_record(const Label& label, unsigned char* record) {
    record[0] = static_cast<unsigned char>(label.address >> 8);
    record[1] = static_cast<unsigned char>(label.address & 0xff);
    std::memcpy(record + 2, label.name, NAME_SIZE);
    return 2 + std::strlen(label.name) + 1;
}

} // namespace

std::size_t write_symbols(const AssemblerState& state, unsigned char* buffer,
                          std::size_t capacity) {
    std::size_t size = 0;
    // Room for any symbol file: no record needs a check.
    if (buffer && capacity >= MAX_SYMBOL_FILE) {
        for (int i = 0; i < state.label_count; i++)
            size += write_record(state.labels[i], buffer + size);
        return size;
    }
    unsigned char record[LONGEST_RECORD];
    for (int i = 0; i < state.label_count; i++) {
        std::size_t length = write_record(state.labels[i], record);
        if (buffer && size < capacity) {
            std::size_t room = capacity - size;
            std::memcpy(buffer + size, record, length < room ? length : room);
        }
        size += length;
    }
    return size;
}
