// The memory image and its write cursor. Every byte produced while reading
// tokens passes through emit_byte, which refuses the zero page, the end of
// memory and any address below the high-water mark.
#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

#include <cstring>

// A mnemonic's position in this table is its base opcode.
static constexpr const char* mnemonics[32] = {
    "LIT", "INC", "POP", "NIP", "SWP", "ROT", "DUP", "OVR", "EQU", "NEQ", "GTH",
    "LTH", "JMP", "JCN", "JSR", "STH", "LDZ", "STZ", "LDR", "STR", "LDA", "STA",
    "DEI", "DEO", "ADD", "SUB", "MUL", "DIV", "AND", "ORA", "EOR", "SFT",
};

const char* mnemonic_name(int index) {
    // GCOVR_EXCL_BR_START: defensive, its one caller passes 0-31 only
    return index >= 0 && index < 32 ? mnemonics[index] : nullptr;
    // GCOVR_EXCL_BR_STOP
}

// Every word that is not a label or a literal is tried as a mnemonic, so the
// table is searched by a hash of the first three letters instead of in order.
// The multiplier was picked so that the 32 mnemonics land in distinct slots of
// 64; the table checks that when it is built. The slot's key is compared in
// full, so a word whose letters merely hash alike is not taken.
constexpr std::uint32_t letters_key(const char* word) {
    return static_cast<unsigned char>(word[0]) | static_cast<unsigned char>(word[1]) << 8 |
           static_cast<unsigned char>(word[2]) << 16;
}

constexpr std::uint32_t mnemonic_slot(std::uint32_t key) {
    return (key * 0xe587dd21u) >> 26;
}

struct MnemonicTable {
    std::uint32_t key[64] = {}; // 0: no mnemonic
    std::uint8_t base[64] = {};
    bool collides = false;
    constexpr MnemonicTable() {
        for (int i = 0; i < 32; i++) {
            std::uint32_t slot = mnemonic_slot(letters_key(mnemonics[i]));
            collides = collides || key[slot] != 0;
            key[slot] = letters_key(mnemonics[i]);
            // "LIT" always carries the keep bit (assembler.hpp).
            base[slot] = i == 0 ? OPCODE_LIT : static_cast<std::uint8_t>(i);
        }
    }
};

constexpr MnemonicTable mnemonic_table;
static_assert(!mnemonic_table.collides, "two mnemonics share a slot; pick another multiplier");

std::uint8_t lookup_instruction(const char* word) {
    // A shorter word matches no mnemonic; a third letter of 0x00 matches no key.
    if (word[0] == '\0' || word[1] == '\0') return 0;
    std::uint32_t key = letters_key(word);
    std::uint32_t slot = mnemonic_slot(key);
    if (mnemonic_table.key[slot] != key) return 0;
    std::uint8_t opcode = mnemonic_table.base[slot];
    for (const char* mode = word + 3; *mode; mode++) {
        switch (*mode) {
        case '2': opcode |= MODE_SHORT; break;
        case 'r': opcode |= MODE_RETURN; break;
        case 'k': opcode |= MODE_KEEP; break;
        default: return 0;
        }
    }
    return opcode;
}

// "BRK" is not in the table: its opcode, 0x00, is what the table's misses give.
static bool is_brk(const char* word, int length) {
    return length == 3 && word[0] == 'B' && word[1] == 'R' && word[2] == 'K';
}

bool is_instruction_word(const char* word, int length) {
    // Every label and macro name is tested: most begin with something other
    // than the capital that every mnemonic and "BRK" begin with.
    if (word[0] < 'A' || word[0] > 'Z') return false;
    return lookup_instruction(word) != 0 || is_brk(word, length);
}

int emit_byte(AssemblerState& state, std::uint8_t byte) {
    if (state.cursor < PROGRAM_START) return report_error(state, "Writing in zero-page", "");
    if (state.cursor > 0xffff) return report_error(state, "Writing after the end of RAM", "");
    if (state.cursor < state.length) {
        report_error(state, "Memory overwrite", "");
        return note_overwrite(state);
    }
    state.image[state.cursor] = byte;
    state.cursor += 1;
    state.length = state.cursor;
    return 1;
}

// True when `count` bytes can be written from the cursor on. When the first
// can, so can the next ones up to the end of memory: each write leaves the
// cursor at the high-water mark.
static bool fits(const AssemblerState& state, std::uint32_t count) {
    return state.cursor >= PROGRAM_START && state.cursor >= state.length &&
           state.cursor <= IMAGE_SIZE - count;
}

// The bytes one at a time, up to the first that cannot be written. Kept out
// of line so that the common case saves no registers for its calls.
__attribute__((noinline)) static int emit_each(AssemblerState& state, const std::uint8_t* bytes,
                                               std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; i++)
        if (!emit_byte(state, bytes[i])) return 0;
    return 1;
}

int emit_bytes(AssemblerState& state, const std::uint8_t* bytes, std::uint32_t count) {
    // No byte, no write: the high-water mark must not move to the cursor.
    if (count == 0) return 1;
    if (!fits(state, count)) return emit_each(state, bytes, count);
    // Literals and placeholders are a few bytes: stores cost less than a copy call.
    if (count <= 3) {
        for (std::uint32_t i = 0; i < count; i++) state.image[state.cursor + i] = bytes[i];
    } else {
        std::memcpy(state.image + state.cursor, bytes, count);
    }
    state.cursor += count;
    state.length = state.cursor;
    return 1;
}

int emit_short(AssemblerState& state, std::uint16_t value, bool prefixed) {
    const std::uint8_t bytes[3] = {OPCODE_LIT2, static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value & 0xff)};
    return prefixed ? emit_bytes(state, bytes, 3) : emit_bytes(state, bytes + 1, 2);
}

int emit_literal_byte(AssemblerState& state, std::uint8_t byte) {
    const std::uint8_t bytes[2] = {OPCODE_LIT, byte};
    return emit_bytes(state, bytes, 2);
}

int emit_instruction(AssemblerState& state, const char* word, int length) {
    std::uint8_t opcode = lookup_instruction(word);
    if (opcode == 0 && !is_brk(word, length)) return -1;
    return emit_byte(state, opcode);
}
