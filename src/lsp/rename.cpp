#include "lsp/rename.hpp"

#include <algorithm>
#include <map>

#include "lsp/uri.hpp"

namespace {

std::string quoted(const std::string& name) {
    return "`" + name + "`";
}

bool has_symbol(const orvasm_result* result, const std::string& name) {
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++)
        if (name == orvasm_result_symbol(result, i)->name) return true;
    return false;
}

bool has_macro(const orvasm_result* result, const std::string& name) {
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        if (name == orvasm_result_macro(result, i)->name) return true;
    return false;
}

// The full name the target takes: a sublabel renamed without "/" keeps its scope.
std::string full_name(const Target& target, const std::string& new_name) {
    std::size_t slash = target.name.rfind('/');
    if (target.kind != TargetKind::Label || slash == std::string::npos ||
        new_name.find('/') != std::string::npos)
        return new_name;
    return target.name.substr(0, slash + 1) + new_name;
}

// What the assembler reads a word of each kind as, by the library's token
// kinds; a name must be read as a word.
const char* reading_of(int kind) {
    switch (kind) {
    case ORVASM_TOKEN_COMMENT:
    case ORVASM_TOKEN_MALFORMED_COMMENT: return "opens a comment";
    case ORVASM_TOKEN_INCLUDE: return "is an include";
    case ORVASM_TOKEN_MACRO: return "defines a macro";
    case ORVASM_TOKEN_ABSOLUTE_PADDING:
    case ORVASM_TOKEN_RELATIVE_PADDING: return "is padding";
    case ORVASM_TOKEN_LABEL: return "defines a label";
    case ORVASM_TOKEN_SUBLABEL: return "defines a sublabel";
    case ORVASM_TOKEN_LITERAL: return "is a literal";
    case ORVASM_TOKEN_TEXT: return "is text";
    case ORVASM_TOKEN_BRACKET: return "is a bracket";
    case ORVASM_TOKEN_INSTRUCTION: return "is an instruction";
    case ORVASM_TOKEN_RAW_BYTE:
    case ORVASM_TOKEN_RAW_SHORT: return "is a hexadecimal word";
    case ORVASM_TOKEN_WORD: return nullptr;
    default: return "is a reference";
    }
}

// Why the new name cannot stand where the old one is written, before any
// assembly: the assembler reads it as something else, or it is taken.
std::string name_refusal(const orvasm_result* result, const Target& target,
                         const std::string& new_name, const std::string& full) {
    if (full == target.name) return {};
    if (const char* reading = reading_of(orvasm_token_kind(new_name.data(), new_name.size())))
        return quoted(new_name) + " " + reading;
    if (has_symbol(result, full)) return quoted(full) + " is already a label";
    if (has_macro(result, full)) return quoted(full) + " is already a macro";
    return {};
}

// The program's labels and macros as sorted "kind name address" lines, old
// names mapped to new ones by `rename`.
template <typename Rename>
std::vector<std::string> definitions(const orvasm_result* result, Rename rename) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        lines.push_back("label " + rename(TargetKind::Label, symbol.name) + " " +
                        std::to_string(symbol.address));
    }
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        lines.push_back("macro " + rename(TargetKind::Macro, orvasm_result_macro(result, i)->name));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<unsigned char> rom_of(const orvasm_result* result) {
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    return rom ? std::vector<unsigned char>(rom, rom + size) : std::vector<unsigned char>();
}

// The open documents with the edits applied in memory; an edited file that
// is not open joins them as a document of its own.
DocumentStore edited_documents(const DocumentStore& documents, Program& program,
                               const std::vector<TextEdit>& edits) {
    DocumentStore edited = documents;
    std::map<std::string, std::vector<const TextEdit*>> by_file;
    for (const TextEdit& edit : edits) by_file[edit.place.file].push_back(&edit);
    for (auto& [file, list] : by_file) {
        std::string text = *text_of(program, file);
        std::sort(list.begin(), list.end(), [](const TextEdit* a, const TextEdit* b) {
            return a->place.range.begin > b->place.range.begin;
        });
        for (const TextEdit* edit : list)
            text.replace(edit->place.range.begin, edit->place.range.end - edit->place.range.begin,
                         edit->text);
        std::string uri = file == program.name ? program.document->uri : uri_of_path(file);
        if (const Document* open = find_document_by_path(documents, file)) uri = open->uri;
        Document& document = edited[uri];
        document = {uri, file == program.name ? program.document->path : file, std::move(text), 0};
    }
    return edited;
}

// Why the program of `document` assembles otherwise once renamed, or "".
template <typename Rename>
std::string compare(orvasm_assembler* assembler, const DocumentStore& before,
                    const DocumentStore& after, const Document& document, const std::string& root,
                    Rename rename) {
    std::unique_ptr<Program> old_program = assemble_program(assembler, before, document, root);
    std::unique_ptr<Program> new_program =
        assemble_program(assembler, after, after.at(document.uri), root);
    const orvasm_result* old_result = old_program->result.get();
    const orvasm_result* new_result = new_program->result.get();
    if (orvasm_result_status(old_result) != orvasm_result_status(new_result))
        return "the program would assemble with another outcome";
    if (rom_of(old_result) != rom_of(new_result)) return "the rom would change";
    if (definitions(old_result, rename) !=
        definitions(new_result, [](TargetKind, const char* n) { return std::string(n); }))
        return "other labels or macros would change";
    return {};
}

} // namespace

std::string safe_rename(const RenameRequest& request, Program& program, const Target& target,
                        const std::string& new_name, std::vector<TextEdit>& edits) {
    std::string full = full_name(target, new_name);
    if (target.kind == TargetKind::Label || target.kind == TargetKind::Macro) {
        std::string refusal = name_refusal(program.result.get(), target, new_name, full);
        if (!refusal.empty()) return refusal;
    }
    std::string refusal = rename_edits(program, target, new_name, edits);
    if (!refusal.empty()) return refusal;
    std::string under = target.name + "/";
    auto rename = [&](TargetKind kind, const char* name) {
        std::string old = name;
        if (kind != target.kind) return old;
        if (old == target.name) return full;
        if (kind == TargetKind::Label && old.rfind(under, 0) == 0)
            return full + old.substr(target.name.size());
        return old;
    };
    DocumentStore edited = edited_documents(*request.documents, program, edits);
    std::string why = compare(request.assembler, *request.documents, edited, *program.document,
                              program.root, rename);
    for (const auto& [document, root] : request.dependents)
        if (why.empty())
            why = compare(request.assembler, *request.documents, edited, *document, root, rename);
    if (!why.empty()) edits.clear();
    return why.empty() ? why : "renaming to " + quoted(new_name) + ": " + why;
}
