// Making a used state ready for the next assembly without zeroing all of
// it: the big tables are cleared only where the last assembly left
// something that a new one would not overwrite, everything else in full. A
// member added to the state is cleared like the rest unless it is listed
// here as a table.
#include <cstddef>
#include <cstring>

#include "assembler/assembly.hpp"

namespace {

// The tables cleared in part, in the order they lie in the state.
struct Table {
    std::size_t offset;
    std::size_t size;
};

constexpr Table TABLES[] = {
    {offsetof(AssemblerState, image), sizeof AssemblerState::image},
    {offsetof(AssemblerState, labels), sizeof AssemblerState::labels},
    {offsetof(AssemblerState, references), sizeof AssemblerState::references},
    {offsetof(AssemblerState, macros), sizeof AssemblerState::macros},
    {offsetof(AssemblerState, streams), sizeof AssemblerState::streams},
    {offsetof(AssemblerState, included), sizeof AssemblerState::included},
    // Read only up to chain_link_count, and written whole when made.
    {offsetof(AssemblerState, chain_links), sizeof AssemblerState::chain_links},
};

constexpr bool in_order() {
    std::size_t end = 0;
    for (const Table& table : TABLES) {
        if (table.offset < end) return false;
        end = table.offset + table.size;
    }
    return end <= sizeof(AssemblerState);
}
static_assert(in_order(), "TABLES must follow the order of AssemblerState");

// Zeroes `size` bytes in steps of at most 1 KiB. Larger, glibc's memset
// turns to "rep stosb", which instruction counts (the benchmark's measure)
// take byte by byte; below, it stores 32 bytes an instruction.
void clear_bytes(void* at, std::size_t size) {
    constexpr std::size_t STEP = 1024;
    auto* bytes = static_cast<unsigned char*>(at);
    for (; size > STEP; bytes += STEP, size -= STEP) std::memset(bytes, 0, STEP);
    std::memset(bytes, 0, size);
}

// The positions a pass that tracked them left in the first `count` entries
// (and the one after, which a failing definition may have started). The
// other members of an entry are all written when it is defined, names with
// zero bytes after their end, so a pass that tracks no position leaves
// nothing to clear.
void clear_positions(AssemblerState& state, std::size_t labels, std::size_t references,
                     std::size_t macros) {
    for (std::size_t i = 0; i < labels + 1 && i < MAX_LABELS; i++) state.labels[i].position = {};
    for (std::size_t i = 0; i < references + 1 && i < MAX_REFERENCES; i++)
        state.references[i].position = {};
    for (std::size_t i = 0; i < macros + 1 && i < MAX_MACROS; i++) {
        Macro& macro = state.macros[i];
        macro.position = {};
        clear_bytes(macro.body_positions, macro.body_length * sizeof(SourcePosition));
    }
}

} // namespace

void clear_state(AssemblerState& state) {
    // GCOVR_EXCL_BR_START: defensive, writes stop at the end of the image
    std::uint32_t length = state.length <= IMAGE_SIZE ? state.length : IMAGE_SIZE;
    // GCOVR_EXCL_BR_STOP
    bool tracked = state.tracks_positions;
    std::size_t labels = state.label_count;
    std::size_t references = state.reference_count;
    std::size_t macros = state.macro_count;

    auto* bytes = reinterpret_cast<unsigned char*>(&state);
    std::size_t position = 0;
    for (const Table& table : TABLES) {
        clear_bytes(bytes + position, table.offset - position);
        position = table.offset + table.size;
    }
    clear_bytes(bytes + position, sizeof state - position);

    // Nothing is written below PROGRAM_START, nor at or past the length.
    if (length > PROGRAM_START) clear_bytes(state.image + PROGRAM_START, length - PROGRAM_START);
    if (tracked) clear_positions(state, labels, references, macros);
    // Files are noted whole; a stream's buffer holds no data until read into.
    for (TokenStream& stream : state.streams)
        std::memset(static_cast<void*>(&stream), 0, offsetof(TokenStream, buffer));
}
