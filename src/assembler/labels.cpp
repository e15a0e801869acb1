// Labels name the current address. "@" defines a label and makes it the
// scope; "&" defines a sublabel named "scope/name". Defining writes nothing
// to the image, and the table keeps definition order for the report and the
// symbol file.
#include "assembler/assembler.hpp"
#include "assembler/name_index.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

#include <cstring>

Label* lookup_label(AssemblerState& state, const char* field, int length) {
    std::uint16_t slot = *find_name_slot(state.label_index, state.labels, make_key(field, length));
    return slot ? &state.labels[slot - 1] : nullptr;
}

int define_label(AssemblerState& state, const char* name, int length) {
    // Held with zero bytes after its end, as the index compares names.
    NameField stored = {};
    copy_text(stored, name, length);
    // The slot of the name in the index: filled when a label of that name
    // exists, else where the new one goes.
    std::uint16_t* slot = find_name_slot(state.label_index, state.labels, make_key(stored));
    if (*slot != 0) {
        report_error(state, "Label duplicate", name);
        report_note_at(state, state.labels[*slot - 1].position, "first defined here", "");
        return 0;
    }
    // A name that reads as a raw byte or short could never be called by name.
    if ((length == 2 || length == 4) && is_hex_word(name))
        return report_error(state, "Label name is hex number", name);
    if (length == 0 || is_instruction_word(name, length))
        return report_error(state, "Label name is invalid", name);
    if (state.label_count == MAX_LABELS) return report_error(state, "Labels limit exceeded", name);
    Label& label = state.labels[state.label_count++];
    label.address = static_cast<std::uint16_t>(state.cursor & 0xffff);
    label.uses = 0;
    if (state.tracks_positions) label.position = current_position(state);
    std::memcpy(label.name, stored, NAME_SIZE);
    *slot = state.label_count;
    return 1;
}

int build_sublabel_name(AssemblerState& state, char* dst, const char* name, int name_length) {
    const char* scope = state.scope;
    int scope_length = state.scope_length;
    if (scope_length + name_length >= NAME_SIZE - 1) {
        report_error(state, "Sublabel length too long", name);
        return -1;
    }
    std::memcpy(dst, scope, static_cast<std::size_t>(scope_length));
    dst[scope_length] = '/';
    copy_text(dst + scope_length + 1, name, name_length);
    return scope_length + 1 + name_length;
}

void set_scope(AssemblerState& state, const char* name, int length) {
    copy_text(state.scope, name, length);
    state.scope_length = length;
}

int handle_label(AssemblerState& state, const char* token, int length) {
    const char* name = token + 1;
    if (!define_label(state, name, length - 1)) return report_error(state, "Invalid label", token);
    set_scope(state, name, length - 1);
    return 1;
}

int handle_sublabel(AssemblerState& state, const char* token, int length) {
    char name[NAME_SIZE];
    int name_length = build_sublabel_name(state, name, token + 1, length - 1);
    if (name_length < 0 || !define_label(state, name, name_length))
        return report_error(state, "Invalid sublabel", token);
    return 1;
}
