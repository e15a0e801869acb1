// Where things happened, for the passes that keep positions: a stack of
// frames (the source, each include, each macro expansion) says which token
// is being handled where, and every diagnostic names the place of the token
// it concerns. The first failure of a pass is followed by notes on how the
// pass got there: each macro use and include, innermost first. A pass that
// does not track positions never comes here but to print its lines.
#include "assembler/assembler.hpp"

const char* file_path(const AssemblerState& state, std::uint16_t file) {
    if (file == 0) return state.source_path ? state.source_path : "";
    return state.included[file - 1].path;
}

void enter_frame(AssemblerState& state, const Frame& frame) {
    if (state.tracks_positions) state.frames[state.frame_count++] = frame;
}

void leave_frame(AssemblerState& state) {
    if (state.tracks_positions) state.frame_count--;
}

static SourceLocation location_of(const AssemblerState& state, const SourcePosition& position) {
    if (position.line == 0) return {};
    return {file_path(state, position.file), position.line, position.column};
}

static void print_note(AssemblerState& state, const SourcePosition& position, const char* message,
                       const char* detail) {
    print_diagnostic(state.diagnostics,
                     {Severity::Note, message, detail, location_of(state, position)});
}

// One step of a chain: the use of `macro` at `from`, or (nullptr) the
// include there.
static void print_chain_step(AssemblerState& state, const SourcePosition& from,
                             const char* macro) {
    Diagnostic note = {Severity::Note, macro ? "in expansion of macro" : "included from here",
                       macro ? macro : "", location_of(state, from)};
    note.chain = true;
    print_diagnostic(state.diagnostics, note);
}

// How the pass came to the innermost frame: a note at each macro use and
// include that leads there, innermost first.
static void print_chain(AssemblerState& state) {
    for (int index = state.frame_count - 1; index > 0; index--) {
        SourcePosition from = frame_position(state, index - 1);
        const Frame& frame = state.frames[index];
        print_chain_step(state, from, frame.macro ? frame.macro->name : nullptr);
    }
}

int report_error(AssemblerState& state, const char* message, const char* detail) {
    if (!locates(state)) return report_error(state.diagnostics, message, detail);
    SourcePosition position = current_position(state);
    print_diagnostic(state.diagnostics,
                     {Severity::Error, message, detail, location_of(state, position)});
    // A failure shows as a cascade, innermost first: its first line carries the notes.
    if (!state.failure_located) {
        state.failure_located = true;
        print_chain(state);
    }
    return 0;
}

void report_warning(AssemblerState& state, const char* message, const char* detail) {
    if (!locates(state)) return report_warning(state.diagnostics, message, detail);
    SourcePosition position = current_position(state);
    print_diagnostic(state.diagnostics,
                     {Severity::Warning, message, detail, location_of(state, position)});
    print_chain(state);
}

int report_error_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail) {
    print_diagnostic(state.diagnostics,
                     {Severity::Error, message, detail, location_of(state, position)});
    return 0;
}

void report_warning_at(AssemblerState& state, const SourcePosition& position, const char* message,
                       const char* detail) {
    print_diagnostic(state.diagnostics,
                     {Severity::Warning, message, detail, location_of(state, position)});
}

void report_note_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail) {
    if (locates(state)) print_note(state, position, message, detail);
}

void report_hint_at(AssemblerState& state, const SourcePosition& position, const char* message,
                    const char* detail, const char* fix) {
    if (!locates(state)) return;
    Diagnostic note = {Severity::Note, message, detail, location_of(state, position)};
    note.fix = fix;
    print_diagnostic(state.diagnostics, note);
}

// A reference is resolved after the last token, when the frames it was read
// in are gone: it keeps their chain as links, each made once per frame, the
// first time a reference within that frame or below it asks. The links
// below the innermost frame that has one are made outwards in.
std::uint16_t reference_chain(AssemblerState& state) {
    int known = state.frame_count - 1;
    while (known > 0 && state.frames[known].chain == NO_CHAIN) known--;
    for (int index = known + 1; index < state.frame_count; index++) {
        Frame& frame = state.frames[index];
        std::uint16_t parent = index == 1 ? NO_CHAIN : state.frames[index - 1].chain;
        if (parent == UNKNOWN_CHAIN || state.chain_link_count == MAX_CHAIN_LINKS) {
            frame.chain = UNKNOWN_CHAIN;
            continue;
        }
        auto macro = static_cast<std::uint16_t>(frame.macro ? frame.macro - state.macros + 1 : 0);
        state.chain_links[state.chain_link_count++] = {frame_position(state, index - 1), parent,
                                                       macro};
        frame.chain = state.chain_link_count;
    }
    return state.frame_count > 1 ? state.frames[state.frame_count - 1].chain : NO_CHAIN;
}

void note_reference_chain(AssemblerState& state, std::uint16_t chain) {
    if (!locates(state) || chain == UNKNOWN_CHAIN) return;
    // A chain is at most one link per frame: MAX_FRAMES steps.
    for (int steps = 0; chain != NO_CHAIN && chain <= state.chain_link_count && steps < MAX_FRAMES;
         steps++) {
        const ChainLink& link = state.chain_links[chain - 1];
        print_chain_step(state, link.from,
                         link.macro ? state.macros[link.macro - 1].name : nullptr);
        chain = link.parent;
    }
}
