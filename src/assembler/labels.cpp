// Labels name the current address. "@" defines a label and makes it the
// scope; "&" defines a sublabel named "scope/name". Defining writes nothing
// to the image, and the table keeps definition order for the report and the
// symbol file.
#include "assembler/assembler.hpp"
#include "assembler/name_index.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

#include <cstring>

Label* find_label(AssemblerState& state, const char* field, int limit) {
    std::uint16_t slot = *find_name_slot(state.label_index, state.labels, make_key(field, limit));
    return slot ? &state.labels[slot - 1] : nullptr;
}

Label* lookup_label(AssemblerState& state, const char* name) {
    NameField key;
    return copy_to_field(name, key) ? find_label(state, key, NAME_FIELD_SIZE) : nullptr;
}

// define_label for a name already in a field with zeros after its end, as
// labels hold their names; `length` is its length in `name`, which is what
// messages show and may run on past the field.
static int define_field_label(AssemblerState& state, const NameField& stored, int length,
                              const char* name) {
    // The slot of the name in the index: filled when a label of that name
    // exists, else where the new one goes. A name too long for a field is
    // never a duplicate, since no label can equal it.
    std::uint16_t* slot = find_name_slot(state.label_index, state.labels, make_key(stored));
    if (*slot != 0 && length < NAME_SIZE) return report_error("Label duplicate", name);
    // A name that reads as a raw byte or short could never be called by name.
    if ((length == 2 || length == 4) && is_hex_word(name))
        return report_error("Label name is hex number", name);
    if (length == 0 || is_instruction_word(name))
        return report_error("Label name is invalid", name);
    if (state.label_count == MAX_LABELS) return report_error("Labels limit exceeded", name);
    Label& label = state.labels[state.label_count++];
    label.address = static_cast<std::uint16_t>(state.cursor & 0xffff);
    label.uses = 0;
    std::memcpy(label.name, stored, NAME_SIZE);
    // Of two labels whose long names were cut alike, the first stays the one found.
    if (*slot == 0) *slot = state.label_count;
    return 1;
}

int define_label(AssemblerState& state, const char* name) {
    NameField stored = {};
    copy_bounded(name, stored, NAME_SIZE);
    return define_field_label(state, stored, text_length(name), name);
}

int build_sublabel(char* dst, const char* scope, int scope_length, const char* name,
                   int name_length) {
    if (scope_length + name_length >= NAME_SIZE - 1) {
        report_error("Sublabel length too long", name);
        return -1;
    }
    std::memcpy(dst, scope, static_cast<std::size_t>(scope_length));
    dst[scope_length] = '/';
    std::memcpy(dst + scope_length + 1, name, static_cast<std::size_t>(name_length));
    dst[scope_length + 1 + name_length] = '\0';
    return scope_length + 1 + name_length;
}

char* build_sublabel_name(char* dst, const char* scope, const char* name) {
    int length = build_sublabel(dst, scope, text_length(scope), name, text_length(name));
    return length < 0 ? nullptr : dst;
}

// copy_bounded(name, dst, NAME_SIZE) for a name of `length` characters;
// returns the length of the copy.
static int copy_name(const char* name, int length, char* dst) {
    int kept = length < NAME_SIZE ? length : NAME_SIZE - 1;
    std::memcpy(dst, name, static_cast<std::size_t>(kept));
    dst[kept] = '\0';
    return kept;
}

void set_scope(AssemblerState& state, const char* name, int length) {
    state.scope_length = copy_name(name, length, state.scope);
}

int handle_label(AssemblerState& state, const char* token, int length) {
    const char* name = token + 1;
    NameField stored = {};
    copy_name(name, length - 1, stored);
    if (!define_field_label(state, stored, length - 1, name))
        return report_error("Invalid label", token);
    set_scope(state, name, length - 1);
    return 1;
}

int handle_sublabel(AssemblerState& state, const char* token, int length) {
    // Built where the label can take it from, with zeros after the end.
    NameField name = {};
    int name_length = build_sublabel(name, state.scope, state.scope_length, token + 1, length - 1);
    if (name_length < 0 || !define_field_label(state, name, name_length, name))
        return report_error("Invalid sublabel", token);
    return 1;
}
