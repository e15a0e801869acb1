// The memory image and its write cursor. Every byte produced while reading
// tokens passes through emit_byte, which refuses the zero page, the end of
// memory and any address below the high-water mark.
#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

// A mnemonic's position in this table is its base opcode.
static const char* const mnemonics[32] = {
    "LIT", "INC", "POP", "NIP", "SWP", "ROT", "DUP", "OVR", "EQU", "NEQ", "GTH",
    "LTH", "JMP", "JCN", "JSR", "STH", "LDZ", "STZ", "LDR", "STR", "LDA", "STA",
    "DEI", "DEO", "ADD", "SUB", "MUL", "DIV", "AND", "ORA", "EOR", "SFT",
};

constexpr std::uint8_t MODE_SHORT = 0x20;  // "2"
constexpr std::uint8_t MODE_RETURN = 0x40; // "r"
constexpr std::uint8_t MODE_KEEP = 0x80;   // "k"

std::uint8_t lookup_instruction(const char* word) {
    for (int i = 0; i < 32; i++) {
        if (!names_equal(mnemonics[i], word, 3)) continue;
        // "LIT" always carries the keep bit, so no mnemonic encodes as 0x00.
        std::uint8_t opcode = static_cast<std::uint8_t>(i == 0 ? i | MODE_KEEP : i);
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
    return 0;
}

bool is_instruction_word(const char* word) {
    return lookup_instruction(word) != 0 || names_equal(word, "BRK", 4);
}

int emit_byte(AssemblerState& state, std::uint8_t byte) {
    if (state.cursor < PROGRAM_START) return report_error("Writing in zero-page", "");
    if (state.cursor > 0xffff) return report_error("Writing after the end of RAM", "");
    if (state.cursor < state.length) return report_error("Memory overwrite", "");
    state.image[state.cursor] = byte;
    state.cursor += 1;
    state.length = state.cursor;
    return 1;
}

int emit_short(AssemblerState& state, std::uint16_t value, bool prefixed) {
    if (prefixed && !emit_byte(state, lookup_instruction("LIT2"))) return 0;
    return emit_byte(state, static_cast<std::uint8_t>(value >> 8)) &&
           emit_byte(state, static_cast<std::uint8_t>(value & 0xff));
}

int emit_literal_byte(AssemblerState& state, std::uint8_t byte) {
    return emit_byte(state, lookup_instruction("LIT")) && emit_byte(state, byte);
}

int emit_instruction(AssemblerState& state, const char* word) {
    return emit_byte(state, lookup_instruction(word));
}
