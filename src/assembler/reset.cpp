// Making a used state ready for the next assembly without zeroing all of
// it: the big tables are cleared only as far as the last assembly filled
// them, everything else in full. A member added to the state is cleared
// like the rest unless it is listed here as a table.
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

// The first `count` entries of a table, at most all of them.
template <typename Entry, std::size_t N>
void clear_entries(Entry (&entries)[N], std::size_t count) {
    std::memset(static_cast<void*>(entries), 0, (count < N ? count : N) * sizeof(Entry));
}

} // namespace

void clear_state(AssemblerState& state) {
    std::uint32_t length = state.length <= IMAGE_SIZE ? state.length : IMAGE_SIZE;
    std::size_t labels = state.label_count;
    std::size_t references = state.reference_count;
    std::size_t macros = state.macro_count;
    std::size_t included = state.included_count;

    auto* bytes = reinterpret_cast<unsigned char*>(&state);
    std::size_t position = 0;
    for (const Table& table : TABLES) {
        std::memset(bytes + position, 0, table.offset - position);
        position = table.offset + table.size;
    }
    std::memset(bytes + position, 0, sizeof state - position);

    // Nothing is written below PROGRAM_START, nor at or past the length.
    if (length > PROGRAM_START) std::memset(state.image + PROGRAM_START, 0, length - PROGRAM_START);
    // One entry past each count too, which a failing definition may have
    // started to fill; files are noted whole.
    clear_entries(state.labels, labels + 1);
    clear_entries(state.references, references + 1);
    clear_entries(state.macros, macros + 1);
    clear_entries(state.included, included);
    // A stream's buffer holds no data until it is read into.
    for (TokenStream& stream : state.streams)
        std::memset(static_cast<void*>(&stream), 0, offsetof(TokenStream, buffer));
}
