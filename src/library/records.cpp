// What the pass reports, kept in the result as the C interface's records:
// each printed line, the listing and the symbols.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "library/result.hpp"

const char* path_of(const orvasm_result& result, std::uint32_t file) {
    const AssemblerState& state = *result.state;
    if (file == 0) return result.source_path;
    // GCOVR_EXCL_BR_START: defensive, a position names only files the state holds
    return file <= state.included_count ? state.included[file - 1].path : nullptr;
    // GCOVR_EXCL_BR_STOP
}

orvasm_position position_of(const orvasm_result& result, const SourcePosition& position) {
    const char* file = path_of(result, position.file);
    // GCOVR_EXCL_BR_START: defensive, as path_of: no position names a file the state lacks
    if (position.line == 0 || !file) return {nullptr, 0, 0};
    // GCOVR_EXCL_BR_STOP
    return {file, position.line, position.column};
}

namespace {

std::size_t decimal_digits(std::uint32_t number) {
    std::size_t digits = 1;
    for (; number >= 10; number /= 10) digits++;
    return digits;
}

// The line as print_diagnostic prints it, without the escapes of a
// terminal: for a line longer than the sink's buffer, which the observer
// sees only in part.
const char* compose_line(orvasm_result& result, const Diagnostic& diagnostic, bool locations,
                         std::size_t& length) {
    const SourceLocation& at = diagnostic.location;
    char prefix[32] = "";
    bool located = locations && at.line != 0 && at.file;
    if (located) std::snprintf(prefix, sizeof prefix, ":%u:%u: ", at.line, at.column);
    const char* opening = diagnostic.severity == Severity::Warning ? "-- "
                          : diagnostic.severity == Severity::Note  ? "note: "
                                                                   : "";
    const char* separator = diagnostic.severity != Severity::Note ? ": "
                            : diagnostic.detail[0] != '\0'        ? " "
                                                                  : "";
    const char* parts[] = {located ? at.file : "", prefix, opening, diagnostic.message, separator,
                           diagnostic.detail,      "\n"};
    length = 0;
    for (const char* part : parts) length += std::strlen(part);
    char* line = reserve_text(result.text, length);
    if (!line) return nullptr; // GCOVR_EXCL_BR_LINE: memory ran out
    std::size_t at_byte = 0;
    for (const char* part : parts) {
        std::size_t size = std::strlen(part);
        std::memcpy(line + at_byte, part, size);
        at_byte += size;
    }
    return line;
}

// The shortest a printed line can be: escapes only lengthen it.
std::size_t least_length(const Diagnostic& diagnostic, bool locations) {
    const SourceLocation& at = diagnostic.location;
    std::size_t length = std::strlen(diagnostic.message) + std::strlen(diagnostic.detail) + 3;
    if (diagnostic.severity == Severity::Warning) length += 3;
    if (diagnostic.severity == Severity::Note) length += diagnostic.detail[0] != '\0' ? 4 : 3;
    if (locations && at.line != 0 && at.file)
        length += std::strlen(at.file) + decimal_digits(at.line) + decimal_digits(at.column) + 4;
    return length;
}

void keep_line(void* context, const Diagnostic* diagnostic, const char* text, std::size_t length) {
    orvasm_result& result = *static_cast<orvasm_result*>(context);
    orvasm_diagnostic* record = result.diagnostics.add();
    if (!record) {
        // Notes that follow a line not kept belong to no kept line.
        if (!diagnostic || diagnostic->severity != Severity::Note) result.chain_head = SIZE_MAX;
        return;
    }
    std::size_t index = result.diagnostics.count - 1;
    bool locations = result.state->diagnostics.locations;
    *record = {};
    if (!diagnostic) {
        record->severity = ORVASM_SUMMARY;
        // GCOVR_EXCL_BR_START: defensive, a summary line always ends with its line feed
        record->message = keep_text(result.text, text, length > 0 ? length - 1 : 0);
        // GCOVR_EXCL_BR_STOP
        record->detail = "";
    } else {
        record->severity = static_cast<int>(diagnostic->severity);
        record->message =
            keep_text(result.text, diagnostic->message, std::strlen(diagnostic->message));
        record->detail =
            keep_text(result.text, diagnostic->detail, std::strlen(diagnostic->detail));
        const SourceLocation& at = diagnostic->location;
        if (at.line != 0 && at.file)
            record->position = {keep_text(result.text, at.file, std::strlen(at.file)), at.line,
                                at.column};
        // NULL also when memory ran out: a fix is an offer, never a guess.
        if (diagnostic->fix)
            record->fix = keep_text(result.text, diagnostic->fix, std::strlen(diagnostic->fix));
        record->chain = diagnostic->chain ? 1 : 0;
    }
    if (diagnostic && length < least_length(*diagnostic, locations)) {
        record->text = compose_line(result, *diagnostic, locations, length);
    } else {
        record->text = keep_text(result.text, text, length);
    }
    // GCOVR_EXCL_BR_START: each text is missing only when memory ran out
    record->length = record->text ? length : 0;
    if (!record->message) record->message = "";
    if (!record->detail) record->detail = "";
    if (!record->text) record->text = "";
    // GCOVR_EXCL_BR_STOP
    // Notes follow the line they explain.
    if (record->severity == ORVASM_NOTE) {
        // GCOVR_EXCL_BR_START: a note's line is dropped before it only when memory ran out
        if (orvasm_diagnostic* head = result.diagnostics.slot(result.chain_head)) head->notes++;
        // GCOVR_EXCL_BR_STOP
    } else {
        result.chain_head = index;
    }
}

} // namespace

void observe_assembly(orvasm_result& result, std::FILE* print_to) {
    AssemblerState& state = *result.state;
    state.diagnostics.file = print_to;
    state.diagnostics.silent = print_to == nullptr;
    state.diagnostics.locations = (result.flags & ORVASM_LOCATIONS) != 0;
    state.diagnostics.observe = &keep_line;
    state.diagnostics.context = &result;
    state.tracks_positions =
        (result.flags & (ORVASM_POSITIONS | ORVASM_LISTING | ORVASM_LOCATIONS)) != 0;
    if (result.flags & ORVASM_LISTING) state.listing = listing_observer(result);
}

void collect_symbols(orvasm_result& result) {
    // GCOVR_EXCL_BR_START: defensive, every caller has checked the state
    if (result.symbols_filled || !result.state) return;
    // GCOVR_EXCL_BR_STOP
    result.symbols_filled = true;
    const AssemblerState& state = *result.state;
    result.symbol_count = state.label_count;
    for (std::size_t i = 0; i < result.symbol_count; i++) {
        const Label& label = state.labels[i];
        result.symbols[i] = {label.name, label.address, label.uses,
                             position_of(result, label.position)};
    }
}

bool collect_references(orvasm_result& result) {
    // GCOVR_EXCL_BR_START: defensive, every caller has checked the state
    if (result.references || !result.state) return result.references != nullptr;
    // GCOVR_EXCL_BR_STOP
    const AssemblerState& state = *result.state;
    auto* view = static_cast<orvasm_reference*>(
        std::malloc((state.reference_count + 1u) * sizeof(orvasm_reference)));
    if (!view) return false; // GCOVR_EXCL_BR_LINE: memory ran out
    for (std::size_t i = 0; i < state.reference_count; i++) {
        const Reference& from = state.references[i];
        view[i] = {from.name, from.sigil, from.address, position_of(result, from.position)};
    }
    result.references = view;
    return true;
}

bool collect_macros(orvasm_result& result) {
    // GCOVR_EXCL_BR_START: defensive, every caller has checked the state
    if (result.macros || !result.state) return result.macros != nullptr;
    // GCOVR_EXCL_BR_STOP
    const AssemblerState& state = *result.state;
    std::size_t tokens = 0;
    for (std::size_t i = 0; i < state.macro_count; i++) tokens += state.macros[i].body_length;
    auto* macros =
        static_cast<orvasm_macro*>(std::malloc((state.macro_count + 1u) * sizeof(orvasm_macro)));
    auto* bodies = static_cast<orvasm_token*>(std::malloc((tokens + 1u) * sizeof(orvasm_token)));
    auto* starts =
        static_cast<std::size_t*>(std::malloc((state.macro_count + 1u) * sizeof(std::size_t)));
    if (!macros || !bodies || !starts) { // GCOVR_EXCL_BR_LINE: memory ran out
        std::free(macros);
        std::free(bodies);
        std::free(starts);
        return false;
    }
    std::size_t next = 0;
    for (std::size_t i = 0; i < state.macro_count; i++) {
        const Macro& from = state.macros[i];
        macros[i] = {from.name, position_of(result, from.position), from.body_length};
        starts[i] = next;
        for (std::size_t token = 0; token < from.body_length; token++)
            bodies[next++] = {from.body[token], position_of(result, from.body_positions[token])};
    }
    result.macros = macros;
    result.macro_tokens = bodies;
    result.macro_starts = starts;
    return true;
}

ORVASM_API void orvasm_print_line(FILE* to, int severity, const char* message, const char* detail) {
    DiagnosticSink sink = {};
    sink.file = to;
    if (!message) message = "";
    if (!detail) detail = "";
    if (severity == ORVASM_ERROR) report_error(sink, message, detail);
    if (severity == ORVASM_WARNING) report_warning(sink, message, detail);
}
