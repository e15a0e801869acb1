#include "lsp/navigation.hpp"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

namespace {

constexpr const char* DEFAULT_SCOPE = "on-reset"; // the scope before the first label
constexpr std::size_t MAX_NAME = 63;

// What a token is and where it ends are the library's answers, as the
// assembly reads it.
bool is_space(char c) {
    return orvasm_token_length(&c, 1) == 0;
}

int kind_of(const std::string& token) {
    return orvasm_token_kind(token.data(), token.size());
}

bool is_reference(int kind) {
    return kind == ORVASM_TOKEN_RELATIVE_REFERENCE || kind == ORVASM_TOKEN_ZERO_PAGE_REFERENCE ||
           kind == ORVASM_TOKEN_ABSOLUTE_REFERENCE || kind == ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE;
}

// A word, however it reads so far: "ab" may be the start of "abc".
bool is_word(int kind) {
    return kind == ORVASM_TOKEN_WORD || kind == ORVASM_TOKEN_INSTRUCTION ||
           kind == ORVASM_TOKEN_RAW_BYTE || kind == ORVASM_TOKEN_RAW_SHORT;
}

const std::string& document_text(const Program& program) {
    return program.focus->text;
}

// A line and a column from 1, in bytes, as the library counts them.
struct Spot {
    std::uint32_t line;
    std::uint32_t column;
    auto operator<=>(const Spot&) const = default;
};

Spot spot_of(Program& program, std::size_t offset) {
    TextPosition position = lines_of(*program.focus).position_of(offset, PositionEncoding::Utf8);
    return {static_cast<std::uint32_t>(position.line + 1),
            static_cast<std::uint32_t>(position.character + 1)};
}

bool is_at(Program& program, const orvasm_position& position, Spot spot) {
    return in_focus(program, position) && position.line == spot.line &&
           position.column == spot.column;
}

// The token around `offset`, or the one ending there.
ByteRange token_around(const std::string& text, std::size_t offset) {
    offset = std::min(offset, text.size());
    if ((offset == text.size() || is_space(text[offset])) && offset > 0 &&
        !is_space(text[offset - 1]))
        offset--;
    std::size_t begin = offset;
    while (begin > 0 && !is_space(text[begin - 1])) begin--;
    return {begin, begin + orvasm_token_length(text.data() + begin, text.size() - begin)};
}

// The label that opened the scope in force at `spot` of the document: the
// last "@" label defined before it.
// Calls `visit(symbol, place)` for each label defined in the document, in
// definition order, with the place of its defining token.
template <typename Visit> void for_each_label_defined_here(Program& program, Visit visit) {
    const orvasm_result* result = program.result.get();
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        Place place;
        if (in_focus(program, symbol.definition) && token_place(program, symbol.definition, place))
            visit(symbol, place);
    }
}

std::string scope_at(Program& program, Spot spot) {
    const std::string& text = document_text(program);
    std::string scope = DEFAULT_SCOPE;
    Spot best{0, 0};
    for_each_label_defined_here(program, [&](const orvasm_symbol& symbol, const Place& place) {
        Spot at{symbol.definition.line, symbol.definition.column};
        if (at < spot && best < at && place.range.begin < text.size() &&
            orvasm_token_kind(text.data() + place.range.begin, 1) == ORVASM_TOKEN_LABEL) {
            best = at;
            scope = symbol.name;
        }
    });
    return scope;
}

// Where the name starts in a token that names a label, and whether it is
// written in its scope's short form ("&name", ",&name").
struct WrittenName {
    std::size_t start;
    bool scoped;
};

WrittenName written_name(const std::string& token) {
    if (is_word(kind_of(token))) return {0, false};
    std::size_t start = std::min(orvasm_token_name_start(token.data(), token.size()), token.size());
    return {start, start > 0 && token[start - 1] == '&'};
}

// What a token names from its text alone, for tokens the pass did not reach.
Target target_from_text(Program& program, const std::string& token, ByteRange range, Spot spot) {
    // target_at answers for an empty token before it comes here.
    if (token.empty()) return {TargetKind::None, {}, range}; // GCOVR_EXCL_BR_LINE: see above
    int kind = kind_of(token);
    if (kind == ORVASM_TOKEN_INSTRUCTION) return {TargetKind::Instruction, token, range};
    WrittenName written = written_name(token);
    std::string name = token.substr(written.start);
    if (kind == ORVASM_TOKEN_INCLUDE) return {TargetKind::Include, name, range};
    if (kind == ORVASM_TOKEN_MACRO) return {TargetKind::Macro, name, range};
    if (written.scoped) return {TargetKind::Label, scope_at(program, spot) + "/" + name, range};
    if (kind == ORVASM_TOKEN_LABEL || is_reference(kind)) return {TargetKind::Label, name, range};
    if (kind != ORVASM_TOKEN_WORD) return {TargetKind::None, {}, range};
    const orvasm_result* result = program.result.get();
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        if (token == orvasm_result_macro(result, i)->name) return {TargetKind::Macro, token, range};
    return {TargetKind::Label, token, range}; // the call of a label
}

std::string hex_byte(unsigned byte) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    return {DIGITS[(byte >> 4) & 0xf], DIGITS[byte & 0xf]};
}

std::string hex_short(unsigned value) {
    return hex_byte(value >> 8) + hex_byte(value);
}

// The bytes the token at `spot` wrote, as the library finds them: its own,
// or those of the expansion or include it stands for, and for a token of a
// macro's body, those it wrote at each use. Empty when it wrote none or the
// rom is not final.
std::string bytes_of(Program& program, Spot spot) {
    const orvasm_result* result = program.result.get();
    if (orvasm_result_status(result) != ORVASM_OK) return {};
    std::size_t rom_size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &rom_size);
    constexpr std::size_t MAX_SPANS = 8, MAX_BYTES = 32;
    orvasm_span spans[MAX_SPANS];
    std::size_t count =
        std::min(orvasm_result_bytes_at(result, program.name.c_str(), spot.line, spot.column,
                                        spot.line, spot.column, spans, MAX_SPANS),
                 MAX_SPANS);
    std::string text;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < count && shown < MAX_BYTES; i++) {
        std::string bytes;
        for (std::uint32_t k = 0; k < spans[i].size && shown < MAX_BYTES; k++, shown++) {
            std::size_t at = spans[i].address + k - ORVASM_PROGRAM_START;
            if (spans[i].address + k < ORVASM_PROGRAM_START || at >= rom_size) continue;
            if (!bytes.empty()) bytes += ' ';
            bytes += hex_byte(rom[at]);
        }
        if (bytes.empty()) continue;
        text += text.empty() ? "assembles to `" : ", `";
        text += bytes + "` at " + hex_short(spans[i].address);
    }
    return text;
}

const orvasm_symbol* find_symbol(const orvasm_result* result, const std::string& name) {
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++)
        if (name == orvasm_result_symbol(result, i)->name) return orvasm_result_symbol(result, i);
    return nullptr;
}

const orvasm_macro* find_macro(const orvasm_result* result, const std::string& name,
                               std::size_t* index = nullptr) {
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        if (name == orvasm_result_macro(result, i)->name) {
            if (index) *index = i;
            return orvasm_result_macro(result, i);
        }
    return nullptr;
}

// Adds the token at `position` once.
void add_place(Program& program, const orvasm_position& position, std::vector<Place>& places,
               std::set<std::tuple<std::string, std::size_t>>& seen) {
    Place place;
    if (!token_place(program, position, place)) return;
    if (seen.emplace(place.file, place.range.begin).second) places.push_back(place);
}

bool valid_name(const std::string& name) {
    if (name.empty() || name.size() > MAX_NAME) return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return is_space(c); });
}

std::string parent_of(const std::string& name) {
    std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

std::string instruction_hover(const std::string& word) {
    int opcode = orvasm_opcode(word.c_str());
    std::string text = "`" + word + "`: opcode `" + hex_byte(static_cast<unsigned>(opcode)) + "`";
    if (word == "BRK") return text + " (break)";
    text += ", " + word.substr(0, 3) + " " + hex_byte(static_cast<unsigned>(opcode & 0x1f));
    if (word.find('2') != std::string::npos) text += ", `2` short +20";
    if (word.find('r') != std::string::npos) text += ", `r` return stack +40";
    if (word.find('k') != std::string::npos || word.rfind("LIT", 0) == 0) text += ", `k` keep +80";
    return text;
}

} // namespace

Target target_at(Program& program, std::size_t offset) {
    const std::string& text = document_text(program);
    ByteRange range = token_around(text, offset);
    std::string token = text.substr(range.begin, range.end - range.begin);
    if (token.empty()) return {TargetKind::None, {}, range};
    Spot spot = spot_of(program, range.begin);
    const orvasm_result* result = program.result.get();
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        if (is_at(program, symbol.definition, spot)) return {TargetKind::Label, symbol.name, range};
    }
    for (std::size_t i = 0; i < orvasm_result_reference_count(result); i++) {
        const orvasm_reference& reference = *orvasm_result_reference(result, i);
        if (is_at(program, reference.position, spot))
            return {TargetKind::Label, reference.name, range};
    }
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        if (is_at(program, orvasm_result_macro(result, i)->position, spot))
            return {TargetKind::Macro, orvasm_result_macro(result, i)->name, range};
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record& record = *orvasm_result_listing(result, i);
        if (record.kind == ORVASM_LIST_EXPANSION && is_at(program, record.position, spot))
            return {TargetKind::Macro, record.target, range};
    }
    return target_from_text(program, token, range, spot);
}

bool definition_of(Program& program, const Target& target, Place& place) {
    const orvasm_result* result = program.result.get();
    switch (target.kind) {
    case TargetKind::Label: {
        const orvasm_symbol* symbol = find_symbol(result, target.name);
        return symbol && token_place(program, symbol->definition, place);
    }
    case TargetKind::Macro: {
        const orvasm_macro* macro = find_macro(result, target.name);
        return macro && token_place(program, macro->position, place);
    }
    case TargetKind::Include: {
        place = {full_path_of(program, target.name.c_str()), {0, 0}};
        return !target.name.empty() && text_of(program, place.file) != nullptr;
    }
    case TargetKind::Instruction:
    case TargetKind::None: break;
    }
    return false;
}

std::vector<Place> occurrences_of(Program& program, const Target& target, bool with_definition) {
    std::vector<Place> places;
    std::set<std::tuple<std::string, std::size_t>> seen;
    const orvasm_result* result = program.result.get();
    if (with_definition) {
        Place definition;
        if (definition_of(program, target, definition) && target.kind != TargetKind::Include) {
            places.push_back(definition);
            seen.emplace(definition.file, definition.range.begin);
        }
    }
    if (target.kind == TargetKind::Label) {
        for (std::size_t i = 0; i < orvasm_result_reference_count(result); i++) {
            const orvasm_reference& reference = *orvasm_result_reference(result, i);
            if (target.name == reference.name) add_place(program, reference.position, places, seen);
        }
    }
    if (target.kind == TargetKind::Macro) {
        for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
            const orvasm_listing_record& record = *orvasm_result_listing(result, i);
            if (record.kind == ORVASM_LIST_EXPANSION && target.name == record.target)
                add_place(program, record.position, places, seen);
        }
    }
    return places;
}

std::vector<OutlineEntry> outline_of(Program& program) {
    std::vector<OutlineEntry> entries;
    const orvasm_result* result = program.result.get();
    for_each_label_defined_here(program, [&](const orvasm_symbol& symbol, const Place& place) {
        OutlineEntry entry{symbol.name, OutlineKind::Namespace, place.range, place.range, {}};
        std::string parent = parent_of(symbol.name);
        auto owner = std::find_if(entries.rbegin(), entries.rend(), [&](const OutlineEntry& e) {
            return e.kind == OutlineKind::Namespace && e.name == parent;
        });
        if (parent.empty() || owner == entries.rend() || place.range.begin < owner->range.begin) {
            entries.push_back(std::move(entry));
            return;
        }
        entry.kind = OutlineKind::Field;
        entry.name = symbol.name + parent.size() + 1;
        owner->range.end = std::max(owner->range.end, place.range.end);
        owner->children.push_back(std::move(entry));
    });
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++) {
        const orvasm_macro& macro = *orvasm_result_macro(result, i);
        Place place;
        if (in_focus(program, macro.position) && token_place(program, macro.position, place))
            entries.push_back({macro.name, OutlineKind::Function, place.range, place.range, {}});
    }
    return entries;
}

std::string hover_of(Program& program, const Target& target) {
    const orvasm_result* result = program.result.get();
    std::string text;
    switch (target.kind) {
    case TargetKind::Label:
        if (const orvasm_symbol* symbol = find_symbol(result, target.name)) {
            text = "label `" + target.name + "` at " + hex_short(symbol->address);
            // Uses are counted as references resolve, which a failure stops.
            if (orvasm_result_status(result) == ORVASM_OK)
                text += ", used " + std::to_string(symbol->uses) +
                        (symbol->uses == 1 ? " time" : " times");
        }
        break;
    case TargetKind::Macro: {
        std::size_t index = 0;
        if (const orvasm_macro* macro = find_macro(result, target.name, &index)) {
            text = "```orvasm\n%" + target.name + " {";
            for (std::size_t i = 0; i < macro->body_length; i++)
                text += std::string(" ") + orvasm_result_macro_body(result, index, i)->text;
            text += " }\n```";
        }
        break;
    }
    case TargetKind::Instruction: text = instruction_hover(target.name); break;
    case TargetKind::Include: text = "includes `" + target.name + "`"; break;
    case TargetKind::None: break;
    }
    std::string bytes = bytes_of(program, spot_of(program, target.token.begin));
    if (!bytes.empty() && !text.empty()) text += "\n\n";
    text += bytes;
    return text;
}

std::vector<Completion> completions_at(Program& program, std::size_t offset, ByteRange& replace) {
    const std::string& text = document_text(program);
    offset = std::min(offset, text.size());
    std::size_t begin = offset;
    while (begin > 0 && !is_space(text[begin - 1])) begin--;
    std::string prefix = text.substr(begin, offset - begin);
    WrittenName written = written_name(prefix);
    replace = {begin + written.start, offset};
    std::vector<Completion> items;
    const orvasm_result* result = program.result.get();
    // After a sigil that defines a name or names none, nothing is offered.
    int sigil = prefix.empty() ? ORVASM_TOKEN_WORD : orvasm_token_kind(prefix.data(), 1);
    if (!is_word(sigil) && !is_reference(sigil) && sigil != ORVASM_TOKEN_SUBLABEL) return items;
    std::string scope = written.scoped ? scope_at(program, spot_of(program, begin)) + "/" : "";
    for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
        const orvasm_symbol& symbol = *orvasm_result_symbol(result, i);
        std::string name = symbol.name;
        if (written.scoped && name.rfind(scope, 0) != 0) continue;
        items.push_back({name.substr(scope.size()), CompletionKind::Reference,
                         "label at " + hex_short(symbol.address)});
    }
    if (written.start > 0) return items;
    for (std::size_t i = 0; i < orvasm_result_macro_count(result); i++)
        items.push_back({orvasm_result_macro(result, i)->name, CompletionKind::Function, "macro"});
    static constexpr const char* MODES[] = {"", "2", "k", "r", "2k", "2r", "kr", "2kr"};
    for (unsigned base = 0; base < 32; base++)
        for (const char* mode : MODES) {
            std::string word = std::string(orvasm_mnemonic(base)) + mode;
            items.push_back(
                {word, CompletionKind::Keyword,
                 "opcode " + hex_byte(static_cast<unsigned>(orvasm_opcode(word.c_str())))});
        }
    items.push_back({"BRK", CompletionKind::Keyword, "opcode 00"});
    return items;
}

std::string rename_range(Program& program, const Target& target, ByteRange& range) {
    if (target.kind != TargetKind::Label && target.kind != TargetKind::Macro)
        return "only a label or a macro can be renamed";
    Place definition;
    if (!definition_of(program, target, definition))
        return "`" + target.name + "` is not defined in the program";
    const std::string& text = document_text(program);
    std::string token = text.substr(target.token.begin, target.token.end - target.token.begin);
    std::size_t skip = written_name(token).start;
    if (target.kind == TargetKind::Macro) skip = token[0] == '%' ? 1 : 0;
    range = {target.token.begin + skip, target.token.end};
    return {};
}

std::string rename_edits(Program& program, const Target& target, const std::string& new_name,
                         std::vector<TextEdit>& edits) {
    if (target.kind != TargetKind::Label && target.kind != TargetKind::Macro)
        return "only a label or a macro can be renamed";
    if (!valid_name(new_name))
        return "`" + new_name + "` is no name: a name is 1 to 63 characters, without whitespace";
    std::string parent = parent_of(target.name);
    std::string full = target.kind == TargetKind::Label && !parent.empty() &&
                               new_name.find('/') == std::string::npos
                           ? parent + "/" + new_name
                           : new_name;
    if (full.size() > MAX_NAME) return "a name is at most 63 characters";
    std::vector<Place> places = occurrences_of(program, target, true);
    if (places.empty()) return "no definition or use of " + target.name;
    std::size_t own = places.size();
    // Labels under a renamed label, where written in full, follow it.
    if (target.kind == TargetKind::Label) {
        const orvasm_result* result = program.result.get();
        std::string under = target.name + "/";
        for (std::size_t i = 0; i < orvasm_result_symbol_count(result); i++) {
            const char* name = orvasm_result_symbol(result, i)->name;
            if (std::strncmp(name, under.c_str(), under.size()) != 0) continue;
            for (const Place& place : occurrences_of(program, {TargetKind::Label, name, {}}, true))
                places.push_back(place);
        }
    }
    std::set<std::tuple<std::string, std::size_t>> seen;
    for (std::size_t i = 0; i < places.size(); i++) {
        const Place& place = places[i];
        const std::string* text = text_of(program, place.file);
        if (!text || !seen.emplace(place.file, place.range.begin).second) continue;
        std::string token = text->substr(place.range.begin, place.range.end - place.range.begin);
        WrittenName written = written_name(token);
        if (target.kind == TargetKind::Macro) written.scoped = false;
        std::string name = token.substr(written.start);
        std::size_t begin = place.range.begin + written.start;
        if (written.scoped && i >= own) continue; // "&name" under the label follows it
        if (written.scoped) {
            // "&name" keeps its scope; only the short name changes.
            if (parent_of(full) != parent)
                return "\"" + token + "\" names its label in its scope, which a rename keeps";
            edits.push_back(
                {{place.file, {begin, begin + name.size()}}, full.substr(parent.size() + 1)});
        } else if (name.rfind(target.name, 0) == 0) {
            edits.push_back({{place.file, {begin, begin + target.name.size()}}, full});
        }
    }
    return {};
}
