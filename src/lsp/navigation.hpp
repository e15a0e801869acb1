// What the token under the cursor names, and the answers built from it:
// where it is defined, where it is used, the document's outline, hover
// text, completions and the edits of a rename. Everything comes from one
// assembly of the document's program (analysis.hpp); a program that failed
// answers from what was read before the failure, and for tokens the pass
// never reached, from the token's own text and the scope in force there.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lsp/analysis.hpp"

enum class TargetKind { None, Label, Macro, Include, Instruction };

struct Target {
    TargetKind kind;
    std::string name; // a label's full name ("scope/name"), a macro's, a path, a mnemonic
    ByteRange token;  // in the document
};

// What the token at byte `offset` of the document (or ending there) names.
Target target_at(Program& program, std::size_t offset);

// Where a label or macro is defined (its whole token), or the included file
// (its start). False for anything else, or a name never defined.
bool definition_of(Program& program, const Target& target, Place& place);

// Every token that names the target's label or macro, each once, in the
// files of the program: the definition first when it is asked for.
std::vector<Place> occurrences_of(Program& program, const Target& target, bool with_definition);

// The protocol's SymbolKind values used in the outline.
enum class OutlineKind { Namespace = 3, Field = 8, Function = 12 };

struct OutlineEntry {
    std::string name;
    OutlineKind kind;
    ByteRange range;     // the entry with its children
    ByteRange selection; // its defining token
    std::vector<OutlineEntry> children;
};

// Calls `visit(name, is_macro, place)` for each label and macro the
// program defines, in any of its files, with its defining token.
template <typename Visit> void for_each_definition(Program& program, Visit visit) {
    const orvasm_result* result = program.result.get();
    Place place;
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        if (token_place(program, symbol.definition, place)) visit(symbol.name, false, place);
    }
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++) {
        const orvasm_macro& macro = *orvasm_result_macro(result, i);
        if (token_place(program, macro.position, place)) visit(macro.name, true, place);
    }
}

// Labels defined in the document with their sublabels nested, then macros.
std::vector<OutlineEntry> outline_of(Program& program);

// Markdown: a label's address, a macro's body, an instruction's opcode, and
// the bytes the token assembled to. Empty when there is nothing to say.
std::string hover_of(Program& program, const Target& target);

// The protocol's CompletionItemKind values used.
enum class CompletionKind { Function = 3, Keyword = 14, Reference = 18, Constant = 21 };

struct Completion {
    std::string label; // also the text put in place of `replace`
    CompletionKind kind;
    std::string detail;
};

// Completions at byte `offset`, replacing the document's bytes `replace`:
// after a sigil the labels (after "&", the sublabels of the scope in
// force), otherwise macros, labels (their calls) and mnemonics with mode
// letters.
std::vector<Completion> completions_at(Program& program, std::size_t offset, ByteRange& replace);

struct TextEdit {
    Place place;
    std::string text;
};

// The part of the target's token that a rename replaces: the name without
// its sigil, with its scope part where written ("main/loop" of
// ";main/loop", "loop" of "&loop"). Returns an empty string, or why the
// token cannot be renamed.
std::string rename_range(Program& program, const Target& target, ByteRange& range);

// The edits that rename the target's label or macro to `new_name`, in every
// file of the program. For a sublabel a name without "/" keeps its scope.
// Labels under a renamed label follow where written in full. Returns an
// empty string, or why the rename cannot be made.
std::string rename_edits(Program& program, const Target& target, const std::string& new_name,
                         std::vector<TextEdit>& edits);
