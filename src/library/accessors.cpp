// Reading a result: every accessor takes NULL, or an index past the end,
// and answers with nothing (0 or NULL).
#include <cstring>

#include "assembler/assembler.hpp"
#include "library/result.hpp"
#include "output/symbol_writer.hpp"
#include "platform/file_identity.hpp"

namespace {

static_assert(ORVASM_MAX_SYMBOL_FILE == MAX_SYMBOL_FILE);

bool has_files(const orvasm_result* result) {
    return result && result->state && result->source_opened &&
           (result->flags & ORVASM_DEPENDENCIES);
}

} // namespace

extern "C" {

ORVASM_API int orvasm_result_status(const orvasm_result* result) {
    return result ? result->status : ORVASM_INVALID;
}

ORVASM_API const unsigned char* orvasm_result_rom(const orvasm_result* result, size_t* size) {
    if (size) *size = 0;
    if (!result || !result->state) return nullptr;
    const AssemblerState& state = *result->state;
    if (size && state.length > PROGRAM_START) *size = state.length - PROGRAM_START;
    return state.image + PROGRAM_START;
}

ORVASM_API unsigned orvasm_result_start(const orvasm_result*) {
    return PROGRAM_START;
}

ORVASM_API size_t orvasm_result_symbol_count(const orvasm_result* result) {
    return result && result->state ? result->state->label_count : 0;
}

ORVASM_API const orvasm_symbol* orvasm_result_symbol(const orvasm_result* result, size_t index) {
    if (!result || !result->state) return nullptr;
    // Results are only ever made writable, by orvasm_assemble.
    collect_symbols(const_cast<orvasm_result&>(*result));
    return index < result->symbol_count ? &result->symbols[index] : nullptr;
}

ORVASM_API size_t orvasm_result_symbol_file(const orvasm_result* result, unsigned char* buffer,
                                            size_t capacity) {
    if (!result || !result->state) return 0;
    return write_symbols(*result->state, buffer, capacity);
}

ORVASM_API size_t orvasm_result_reference_count(const orvasm_result* result) {
    return result && result->state ? result->state->reference_count : 0;
}

ORVASM_API const orvasm_reference* orvasm_result_reference(const orvasm_result* result,
                                                           size_t index) {
    if (index >= orvasm_result_reference_count(result)) return nullptr;
    // GCOVR_EXCL_BR_START: it fails only when memory ran out
    if (!collect_references(const_cast<orvasm_result&>(*result))) return nullptr;
    // GCOVR_EXCL_BR_STOP
    return &result->references[index];
}

ORVASM_API size_t orvasm_result_macro_count(const orvasm_result* result) {
    return result && result->state ? result->state->macro_count : 0;
}

ORVASM_API const orvasm_macro* orvasm_result_macro(const orvasm_result* result, size_t index) {
    if (index >= orvasm_result_macro_count(result)) return nullptr;
    // GCOVR_EXCL_BR_START: it fails only when memory ran out
    if (!collect_macros(const_cast<orvasm_result&>(*result))) return nullptr;
    // GCOVR_EXCL_BR_STOP
    return &result->macros[index];
}

ORVASM_API const orvasm_token* orvasm_result_macro_body(const orvasm_result* result, size_t macro,
                                                        size_t token) {
    const orvasm_macro* record = orvasm_result_macro(result, macro);
    if (!record || token >= record->body_length) return nullptr;
    return &result->macro_tokens[result->macro_starts[macro] + token];
}

ORVASM_API int orvasm_opcode(const char* word) {
    if (!word) return -1;
    std::size_t length = std::strlen(word);
    // GCOVR_EXCL_BR_START: no test holds a word of 2 GiB
    if (length > INT32_MAX || !is_instruction_word(word, static_cast<int>(length))) return -1;
    // GCOVR_EXCL_BR_STOP
    return lookup_instruction(word);
}

ORVASM_API const char* orvasm_mnemonic(unsigned index) {
    return index < 32 ? mnemonic_name(static_cast<int>(index)) : nullptr;
}

ORVASM_API size_t orvasm_result_diagnostic_count(const orvasm_result* result) {
    return result ? result->diagnostics.count : 0;
}

ORVASM_API const orvasm_diagnostic* orvasm_result_diagnostic(const orvasm_result* result,
                                                             size_t index) {
    return result ? result->diagnostics.slot(index) : nullptr;
}

ORVASM_API size_t orvasm_result_diagnostics_dropped(const orvasm_result* result) {
    return result ? result->diagnostics.dropped : 0;
}

ORVASM_API size_t orvasm_result_listing_count(const orvasm_result* result) {
    return result ? result->listing.count : 0;
}

ORVASM_API const orvasm_listing_record* orvasm_result_listing(const orvasm_result* result,
                                                              size_t index) {
    if (!result || index >= result->listing.count) return nullptr;
    collect_listing(const_cast<orvasm_result&>(*result));
    // GCOVR_EXCL_BR_START: no view only when memory ran out
    return result->listing.view ? &result->listing.view[index] : nullptr;
    // GCOVR_EXCL_BR_STOP
}

ORVASM_API size_t orvasm_result_listing_dropped(const orvasm_result* result) {
    return result ? result->listing.dropped : 0;
}

ORVASM_API size_t orvasm_result_listing_line_count(const orvasm_result* result) {
    if (!result || !result->state) return 0;
    if (!result->listing.lines_formed) collect_listing_lines(const_cast<orvasm_result&>(*result));
    return result->listing.line_count;
}

ORVASM_API const orvasm_listing_line* orvasm_result_listing_line(const orvasm_result* result,
                                                                 size_t index) {
    if (index >= orvasm_result_listing_line_count(result)) return nullptr;
    return &result->listing.lines[index];
}

ORVASM_API size_t orvasm_result_file_count(const orvasm_result* result) {
    return has_files(result) ? 1 + result->state->included_count : 0;
}

ORVASM_API const char* orvasm_result_file(const orvasm_result* result, size_t index) {
    if (!has_files(result) || index > result->state->included_count) return nullptr;
    return index == 0 ? result->source_path : result->state->included[index - 1].path;
}

ORVASM_API int orvasm_result_read_file(const orvasm_result* result, const char* path) {
    if (!result || !result->state || !path) return 0;
    FileIdentity identity;
    return identify_path(path, identity) && was_read(*result->state, identity);
}

} // extern "C"
