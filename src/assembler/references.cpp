// References are recorded with a placeholder and patched only after the last
// token, once every label is known; resolution is the one place that writes
// behind the cursor, and only into bytes emit_byte has already written. What
// each sigil emits and how it is filled comes from reference_forms
// (assembler.hpp).
#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"
#include "common/text.hpp"

#include <cstring>

namespace {

// The token as the user wrote it: the sigil and the name, or the bare word.
const char* token_text(char sigil, const char* name, int length, char* buffer) {
    if (sigil == 0) return name;
    buffer[0] = sigil;
    copy_text(buffer + 1, name, length);
    return buffer;
}

// The line for a name that no label has, by the kind of its placeholder.
const char* unknown_message(ReferenceKind kind) {
    switch (kind) { // GCOVR_EXCL_BR_LINE: every kind has its case; no default is taken
    case ReferenceKind::RelativeByte: return "Unknown relative reference";
    case ReferenceKind::ZeroPageByte: return "Unknown zero-page reference";
    case ReferenceKind::AbsoluteShort:
    case ReferenceKind::RelativeShort:
    case ReferenceKind::None: break; // None is never recorded
    }
    // Relative shorts too: the message names the size of the placeholder.
    return "Unknown absolute reference";
}

} // namespace

// What the notes of a failed resolution need of where the reference was
// read: kept only where positions are, so a pass without them spends nothing.
static void remember_context(AssemblerState& state, Reference& reference) {
    reference.position = current_position(state);
    // Links are made only where notes are printed, not for a listing alone,
    // and once for each frame: most references find theirs made.
    reference.chain = NO_CHAIN;
    if (state.frame_count > 1 && state.diagnostics.locations) {
        std::uint16_t chain = state.frames[state.frame_count - 1].chain;
        reference.chain = chain != NO_CHAIN ? chain : reference_chain(state);
    }
}

int add_reference(AssemblerState& state, char sigil, const char* name, int length,
                  std::uint16_t address) {
    char token[NAME_SIZE + 1];
    if (state.reference_count == MAX_REFERENCES)
        return report_error(state, "References limit exceeded",
                            token_text(sigil, name, length, token));
    // The record is filled first, and counted once nothing can fail.
    Reference& reference = state.references[state.reference_count];
    bool in_scope = name[0] == '&';
    if (in_scope) {
        if (build_sublabel_name(state, reference.name, name + 1, length - 1) < 0)
            return report_error(state, "Invalid sublabel", token_text(sigil, name, length, token));
        reference.written_from = static_cast<std::uint8_t>(state.scope_length + 1);
    } else {
        copy_text(reference.name, name, length);
        reference.written_from = 0;
    }
    state.reference_count++;
    const void* slash =
        in_scope ? nullptr : std::memchr(name, '/', static_cast<std::size_t>(length));
    if (slash) {
        // Naming a child counts as a use of its parent, if the parent is known
        // by now. The parent is the part before the "/", and at least its
        // first character ("/x" names the parent "/"); it is looked up where
        // it stands in the record.
        int parent_length = static_cast<int>(static_cast<const char*>(slash) - name);
        if (parent_length < 1) parent_length = 1;
        if (Label* parent = lookup_label(state, reference.name, parent_length)) parent->uses++;
    }
    reference.sigil = sigil;
    reference.address = address;
    if (state.tracks_positions) remember_context(state, reference);
    return 1;
}

int handle_reference(AssemblerState& state, char sigil, const char* name, int length) {
    const ReferenceForm& form = reference_form(sigil);
    std::uint32_t address = state.cursor + (form.opcode ? 1 : 0);
    if (!add_reference(state, sigil, name, length, static_cast<std::uint16_t>(address))) return 0;
    const std::uint8_t bytes[3] = {form.opcode, 0xff, 0xff};
    if (form.opcode) return emit_bytes(state, bytes, form.size + 1u);
    return emit_bytes(state, bytes + 1, form.size);
}

// The failures of resolution, with the notes of where the reference was
// read; out of line, so that the loop over references stays small.
[[gnu::cold, gnu::noinline]] static int too_far(AssemblerState& state, const Reference& reference) {
    report_error_at(state, reference.position, "Relative reference is too far", reference.name);
    note_reference_chain(state, reference.chain);
    return 0;
}

[[gnu::cold, gnu::noinline]] static int
unknown_reference(AssemblerState& state, const Reference& reference, ReferenceKind kind) {
    report_error_at(state, reference.position, unknown_message(kind), reference.name);
    note_reference_chain(state, reference.chain);
    note_unknown_name(state, reference);
    return 0;
}

static int fill_placeholder(AssemblerState& state, const Reference& reference, ReferenceKind kind,
                            const Label& target) {
    std::uint16_t at = reference.address;
    // Relative forms count from two bytes past the placeholder.
    int distance = static_cast<int>(target.address) - static_cast<int>(at) - 2;
    std::uint16_t value = target.address;
    switch (kind) { // GCOVR_EXCL_BR_LINE: None is never recorded; no default is taken
    case ReferenceKind::RelativeByte:
        state.image[at] = static_cast<std::uint8_t>(distance & 0xff);
        if (distance < -128 || distance > 127) return too_far(state, reference);
        return 1;
    case ReferenceKind::ZeroPageByte:
        state.image[at] = static_cast<std::uint8_t>(target.address & 0xff);
        return 1;
    case ReferenceKind::AbsoluteShort: break;
    // Wraps in 16 bits, so any target is in reach.
    case ReferenceKind::RelativeShort: value = static_cast<std::uint16_t>(distance); break;
    case ReferenceKind::None: return 1; // never recorded
    }
    // Both short kinds fill two bytes, high byte first.
    state.image[at] = static_cast<std::uint8_t>(value >> 8);
    state.image[static_cast<std::uint16_t>(at + 1)] = static_cast<std::uint8_t>(value & 0xff);
    return 1;
}

int resolve_references(AssemblerState& state) {
    for (int i = 0; i < state.reference_count; i++) {
        const Reference& reference = state.references[i];
        ReferenceKind kind = reference_form(reference.sigil).kind;
        Label* target = lookup_label(state, reference.name, NAME_SIZE - 1);
        if (!target) return unknown_reference(state, reference, kind);
        if (!fill_placeholder(state, reference, kind, *target)) return 0;
        target->uses++;
    }
    return 1;
}
