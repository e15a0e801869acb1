// Hints: the notes that say why a failure happened and what would mend it.
// They are looked for only once a failure has printed its line, and only
// where the sink prints locations, so that neither the program's plain
// lines nor a pass that succeeds pays for them; each search is bounded by
// the tables it reads (every label and macro compared at most once). A hint
// whose fix is certain (the one name within reach, hexadecimal in lower
// case) carries the text that replaces the failing token, for editors.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assembler/assembler.hpp"
#include "common/text.hpp"
#include "platform/platform.hpp"

bool within_edits(const char* a, int a_length, const char* b, int b_length, int most) {
    if (a_length < 0 || b_length < 0 || a_length >= NAME_SIZE || b_length >= NAME_SIZE)
        return false;
    if (a_length - b_length > most || b_length - a_length > most) return false;
    // Three rows of the table of distances between prefixes: the one being
    // filled and the two before it, which a transposition reaches back to.
    int rows[3][NAME_SIZE];
    int* before = rows[0];
    int* previous = rows[1];
    int* current = rows[2];
    for (int j = 0; j <= b_length; j++) previous[j] = j;
    for (int i = 1; i <= a_length; i++) {
        current[0] = i;
        int least = i;
        for (int j = 1; j <= b_length; j++) {
            int value = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            if (previous[j] + 1 < value) value = previous[j] + 1;
            if (current[j - 1] + 1 < value) value = current[j - 1] + 1;
            bool swapped = i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1];
            if (swapped && before[j - 2] + 1 < value) value = before[j - 2] + 1;
            current[j] = value;
            if (value < least) least = value;
        }
        // No row has a smaller least distance than the row before it.
        if (least > most) return false;
        int* spare = before;
        before = previous;
        previous = current;
        current = spare;
    }
    return previous[b_length] <= most;
}

int edit_bound(int length) {
    return length >= 4 ? 2 : 1;
}

namespace {

// The one name within reach, once the candidates are counted.
struct Suggestion {
    int count;
    const char* text; // replaces the written name after its last "/"
    int length;
    SourcePosition position;
};

void consider(Suggestion& found, const char* written, int written_length, const char* candidate,
              int candidate_length, const SourcePosition& position) {
    if (!within_edits(written, written_length, candidate, candidate_length,
                      edit_bound(written_length)))
        return;
    if (found.count++ == 0) found = {1, candidate, candidate_length, position};
}

// The labels named as `name` is, after the same "scope/" (`prefix_length`
// characters, 0 for a name without "/") and with no "/" after it; stops at
// the second within reach.
void consider_labels(const AssemblerState& state, Suggestion& found, const char* name,
                     int prefix_length, int length) {
    for (int i = 0; i < state.label_count && found.count < 2; i++) {
        const char* label = state.labels[i].name;
        if (std::strncmp(label, name, static_cast<std::size_t>(prefix_length)) != 0) continue;
        const char* rest = label + prefix_length;
        if (std::strchr(rest, '/')) continue;
        consider(found, name + prefix_length, length - prefix_length, rest, text_length(rest),
                 state.labels[i].position);
    }
}

// The instruction that `word` spells in other case: its mnemonic in
// capitals and its mode letters in lower case, into `spelled` (NAME_SIZE
// bytes), when that is an instruction word other than `word`.
bool instruction_in_case(const char* word, int length, char* spelled) {
    if (length < 3 || length >= NAME_SIZE) return false;
    for (int i = 0; i < length; i++) {
        char c = word[i];
        if (i < 3 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (i >= 3 && (c == 'R' || c == 'K')) c = static_cast<char>(c - 'A' + 'a');
        spelled[i] = c;
    }
    spelled[length] = '\0';
    return std::strcmp(spelled, word) != 0 && is_instruction_word(spelled, length);
}

// Whether the first three letters of `word`, in capitals, are a mnemonic.
bool spells_mnemonic(const char* word, int length) {
    if (length < 3) return false;
    char letters[4] = {};
    for (int i = 0; i < 3; i++)
        letters[i] =
            word[i] >= 'a' && word[i] <= 'z' ? static_cast<char>(word[i] - 'a' + 'A') : word[i];
    return is_instruction_word(letters, 3);
}

// `token` with the letters of its hexadecimal word in lower case, into
// `lowered` (NAME_SIZE bytes), when only their case keeps it from being
// one: a literal of two or four digits after "#", padding after "|" or
// "$", a raw word of two or four digits.
bool lower_case_hex(const char* token, int length, char* lowered) {
    if (length < 1 || length >= NAME_SIZE) return false;
    int from = token[0] == '#' || token[0] == '|' || token[0] == '$' ? 1 : 0;
    int digits = length - from;
    bool any_width = token[0] == '|' || token[0] == '$';
    if (!any_width && digits != 2 && digits != 4) return false;
    for (int i = 0; i < length; i++) {
        char c = token[i];
        lowered[i] = i >= from && c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    lowered[length] = '\0';
    return std::strcmp(lowered, token) != 0 && is_hex_word(lowered + from);
}

} // namespace

int note_lower_case_hex(AssemblerState& state, const char* token) {
    char lowered[NAME_SIZE];
    if (!locates(state) || !lower_case_hex(token, text_length(token), lowered)) return 0;
    report_hint_at(state, current_position(state), "hexadecimal digits are lower case:", lowered,
                   lowered);
    return 0;
}

void note_rewind(AssemblerState& state, std::uint32_t address) {
    if (!state.tracks_positions) return;
    state.rewind_position = current_position(state);
    state.rewind_address = address;
}

void note_unknown_name(AssemblerState& state, const Reference& reference) {
    if (!locates(state)) return;
    const char* name = reference.name;
    int length = text_length(name);
    bool bare = reference.sigil == 0;
    // "ADD3" reads as hexadecimal in lower case, but was an instruction.
    if (bare && !std::strchr(name, '/') && !spells_mnemonic(name, length)) {
        char lowered[NAME_SIZE];
        if (lower_case_hex(name, length, lowered))
            return report_hint_at(state, reference.position,
                                  "hexadecimal digits are lower case:", lowered, lowered);
    }
    const char* slash = std::strrchr(name, '/');
    int prefix_length = slash ? static_cast<int>(slash - name) + 1 : 0;
    Suggestion found = {};
    consider_labels(state, found, name, prefix_length, length);
    char spelled[NAME_SIZE];
    if (bare && prefix_length == 0) {
        // Macros in definition order, up to the first defined after it.
        auto index = static_cast<std::uint16_t>(&reference - state.references);
        for (int i = 0; i < state.macro_count && found.count < 2; i++) {
            const Macro& macro = state.macros[i];
            if (macro.references_before > index) break;
            consider(found, name, length, macro.name, text_length(macro.name), macro.position);
        }
        if (found.count < 2 && instruction_in_case(name, length, spelled) && found.count++ == 0)
            found = {1, spelled, length, reference.position};
    }
    if (found.count != 1) return;
    // The token as it would be written: its sigil, "&" for a name in the
    // scope, the written name up to its last "/", then the candidate.
    char fix[NAME_SIZE + 2];
    int at = 0;
    if (!bare) fix[at++] = reference.sigil;
    int from = reference.written_from <= prefix_length ? reference.written_from : 0;
    if (from > 0) fix[at++] = '&';
    std::memcpy(fix + at, name + from, static_cast<std::size_t>(prefix_length - from));
    at += prefix_length - from;
    copy_text(fix + at, found.text, found.length);
    char detail[NAME_SIZE + 8];
    std::snprintf(detail, sizeof detail, "'%s'?", fix + (bare ? 0 : 1));
    report_hint_at(state, found.position, "did you mean", detail, fix);
}

int note_overwrite(AssemblerState& state) {
    if (!locates(state)) return 0;
    // Only a write below the length fails so; both fit in 16 bits.
    char detail[96];
    std::snprintf(detail, sizeof detail, "0x%04x, below the highest address written so far, 0x%04x",
                  static_cast<unsigned>(state.cursor), static_cast<unsigned>(state.length - 1));
    report_note_at(state, current_position(state), "writing at", detail);
    if (state.rewind_position.line == 0) return 0;
    std::snprintf(detail, sizeof detail, "0x%04x", static_cast<unsigned>(state.rewind_address));
    report_note_at(state, state.rewind_position, "write position moved back to", detail);
    return 0;
}

int note_unreadable(AssemblerState& state, int error, const char* path, bool include) {
    if (!locates(state)) return 0;
    SourcePosition position = current_position(state);
    char reason[256];
    const char* text = error != 0 ? platform::system_reason(error, reason, sizeof reason) : "";
    if (text[0] != '\0') report_note_at(state, position, text, "");
    // A relative path names a file from the directory the program runs in,
    // not from the including file: the usual surprise.
    if (include && error == ENOENT && path[0] != '\0' && path[0] != '/') {
        // A failure path may allocate: the directory is as long as it is.
        std::string directory = platform::working_directory();
        if (!directory.empty())
            report_note_at(state, position, "include paths are taken from the working directory,",
                           directory.c_str());
    }
    return 0;
}
