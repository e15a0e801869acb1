// The C interface's assembly: options checked, a state found (the
// assembler's, cleared, or a fresh one), the pass run as the program runs
// it, and the result's records filled.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "library/result.hpp"
#include "output/report.hpp"

namespace {

// Large and all zero: calloc leaves the pages to the system's zero pages
// until the pass touches them.
AssemblerState* new_state() {
    return static_cast<AssemblerState*>(std::calloc(1, sizeof(AssemblerState)));
}

void free_assembler(orvasm_assembler* assembler) {
    std::free(assembler->kept);
    std::free(assembler);
}

// The assembler's state when it is not lent, cleared; else a fresh one.
bool take_state(orvasm_result& result, orvasm_assembler* assembler) {
    if (assembler && !assembler->lent) {
        if (!assembler->kept) assembler->kept = new_state();
        if (assembler->kept) { // GCOVR_EXCL_BR_LINE: null only when memory ran out
            clear_state(*assembler->kept);
            assembler->lent = true;
            result.borrowed = true;
            result.state = assembler->kept;
            return true;
        }
    }
    result.state = new_state();
    return result.state != nullptr;
}

bool has_one_source(const orvasm_options& options) {
    bool by_path = options.source_path != nullptr;
    bool by_bytes =
        options.source_data != nullptr || options.source_size > 0 || options.source_name != nullptr;
    if (options.source_data == nullptr && options.source_size > 0) return false;
    return by_path != by_bytes;
}

char* copy_string(const char* text) {
    std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy) std::memcpy(copy, text, size); // GCOVR_EXCL_BR_LINE: memory ran out
    return copy;
}

// The steps of the program from opening the source to "Failed to assemble
// rom.", the rom left in the state.
int run_pass(orvasm_result& result, const orvasm_options& options) {
    AssemblerState& state = *result.state;
    errno = 0; // the system's reason, if the source cannot be opened
    std::FILE* source = options.source_path
                            ? open_for_result(result.source_path, &result)
                            : open_memory(result, options.source_data, options.source_size);
    if (!source) {
        // A stream over memory fails only when memory ran out.
        int error = options.source_path ? errno : 0; // GCOVR_EXCL_BR_LINE
        report_error(state, "Invalid input", result.source_path);
        note_unreadable(state, error, result.source_path, false);
        return ORVASM_FAILED;
    }
    result.source_opened = true;
    int assembled = assemble_source(state, source, result.source_path);
    std::fclose(source);
    if (!assembled) {
        report_error(state, "Assembly", "Failed to assemble rom.");
        return ORVASM_FAILED;
    }
    return ORVASM_OK;
}

} // namespace

extern "C" {

ORVASM_API const char* orvasm_version(void) {
    return "1.4.0";
}

ORVASM_API int orvasm_version_number(void) {
    return ORVASM_VERSION_NUMBER;
}

ORVASM_API orvasm_assembler* orvasm_assembler_new(void) {
    return static_cast<orvasm_assembler*>(std::calloc(1, sizeof(orvasm_assembler)));
}

ORVASM_API void orvasm_assembler_free(orvasm_assembler* assembler) {
    if (!assembler) return;
    if (assembler->results > 0)
        assembler->freed = true;
    else
        free_assembler(assembler);
}

ORVASM_API orvasm_result* orvasm_assemble(orvasm_assembler* assembler,
                                          const orvasm_options* options) {
    auto* result = static_cast<orvasm_result*>(std::malloc(sizeof(orvasm_result)));
    if (!result) return nullptr; // GCOVR_EXCL_BR_LINE: memory ran out
    // The tables are not zeroed: each is read only up to its count.
    std::memset(static_cast<void*>(result), 0, offsetof(orvasm_result, symbols));
    result->diagnostics.count = result->diagnostics.dropped = result->diagnostics.allocated = 0;
    result->text = {};
    result->listing = {};
    result->chain_head = SIZE_MAX;
    for (MemoryReader& reader : result->readers) reader.in_use = false;
    result->status = ORVASM_INVALID;
    if (!options || !has_one_source(*options)) return result;
    const char* name = options->source_path   ? options->source_path
                       : options->source_name ? options->source_name
                                              : "";
    result->source_path = copy_string(name);
    // GCOVR_EXCL_BR_START: each fails only when memory ran out
    if (!result->source_path || !take_state(*result, assembler)) {
        orvasm_result_free(result);
        return nullptr;
    }
    // GCOVR_EXCL_BR_STOP
    if (assembler) {
        result->owner = assembler;
        assembler->results++;
    }
    result->flags = options->flags;
    result->resolver = options->resolver;
    result->resolver_context = options->resolver_context;
    AssemblerState& state = *result->state;
    state.opener = {&open_for_result, result};
    observe_assembly(*result, options->print_to);
    result->status = run_pass(*result, *options);
    if (options->rom_name) orvasm_result_report(result, options->rom_name);
    return result;
}

ORVASM_API int orvasm_result_report(orvasm_result* result, const char* rom_name) {
    if (!result) return ORVASM_INVALID;
    if (result->status != ORVASM_OK || result->reported) return result->status;
    result->reported = true;
    AssemblerState& state = *result->state;
    if (state.length <= PROGRAM_START) {
        report_error(state, "Assembly", "Output rom is empty.");
        result->status = ORVASM_EMPTY;
    } else {
        print_report(state, rom_name ? rom_name : "");
    }
    return result->status;
}

ORVASM_API void orvasm_result_free(orvasm_result* result) {
    if (!result) return;
    orvasm_assembler* owner = result->owner;
    if (result->borrowed) {
        // The state goes back for the next assembly; clear_state runs then.
        owner->lent = false;
    } else {
        std::free(result->state);
    }
    if (owner && --owner->results == 0 && owner->freed) free_assembler(owner);
    result->diagnostics.release();
    release_listing(result->listing);
    std::free(result->references);
    std::free(result->macros);
    std::free(result->macro_tokens);
    std::free(result->macro_starts);
    release_text(result->text);
    std::free(result->source_path);
    std::free(result);
}

} // extern "C"
