#include "lsp/server.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "lsp/analysis.hpp"
#include "lsp/decorations.hpp"
#include "lsp/documents.hpp"
#include "lsp/framing.hpp"
#include "lsp/message.hpp"
#include "lsp/navigation.hpp"
#include "lsp/rename.hpp"
#include "lsp/uri.hpp"
#include "lsp/workspace.hpp"

namespace {

enum class Phase { Uninitialized, Running, ShutDown };

struct Server {
    std::FILE* output;
    std::FILE* log;
    Phase phase;
    PositionEncoding encoding;
    // Included paths are taken from the root, as from the program's working
    // directory: the client's workspace folder, else found per document.
    std::string root;
    DocumentStore documents;
    // The files each open document's program read when last assembled as
    // a program of its own, by the document's URI; and the program (by its
    // URI) each open document that such a program includes was analysed
    // through. A change to one of the files assembles them again.
    std::map<std::string, std::vector<std::string>> reads;
    std::map<std::string, std::string> through;
    // Files known to be included: by the programs assembled, and by the
    // sources found below each root (found once per root).
    std::set<std::string> included;
    std::set<std::string> roots_searched;
    AssemblerHandle assembler; // keeps its state (some 6 MiB) between assemblies
    bool inlay_hints;          // initializationOptions.inlayHints: off unless asked for
    bool write_failed;
    bool exit_received;
};

void send(Server& server, const std::string& text) {
    if (!server.write_failed && !write_message(server.output, text)) server.write_failed = true;
}

// --- Reading params: each returns nullptr or nothing when the member is
// absent or of another type, so that no message reaches the JSON library's
// own checks, which would end the process. ---

const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

const std::string* string_member(const Json& object, const char* key) {
    const Json* value = member(object, key);
    return value && value->is_string() ? value->get_ptr<const std::string*>() : nullptr;
}

std::optional<std::int64_t> integer_member(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value || !value->is_number_integer()) return std::nullopt;
    // Unsigned values past the signed range are clamped like other positions.
    if (value->is_number_unsigned())
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(value->get<std::uint64_t>(), INT64_MAX));
    return value->get<std::int64_t>();
}

std::optional<TextPosition> position_member(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (!value) return std::nullopt;
    auto line = integer_member(*value, "line");
    auto character = integer_member(*value, "character");
    if (!line || !character) return std::nullopt;
    return TextPosition{*line, *character};
}

// The document a notification names by params.textDocument.uri.
const std::string* document_uri(const Message& message) {
    const Json* document = member(message.params, "textDocument");
    return document ? string_member(*document, "uri") : nullptr;
}

void log_ignored(Server& server, const Message& message, const char* why) {
    std::fprintf(server.log, "orvasm-lsp: %s ignored: %s\n", message.method.c_str(), why);
}

// --- Diagnostics ---

Json position_json(TextPosition position) {
    return {{"line", position.line}, {"character", position.character}};
}

// The client's position of byte `offset` of a file of the program.
Json position_in(Server& server, Program& program, const std::string& file, std::size_t offset) {
    const LineIndex* index = line_index(program, file);
    // Every place the server answers with comes from a token of a file it
    // read, or an open document, so its lines are known.
    if (!index) return position_json({0, 0}); // GCOVR_EXCL_BR_LINE: no place of an unread file
    return position_json(index->position_of(offset, server.encoding));
}

Json range_json(Server& server, Program& program, const Place& place) {
    return {{"start", position_in(server, program, place.file, place.range.begin)},
            {"end", position_in(server, program, place.file, place.range.end)}};
}

// A file's URI as the client spells it where the file is open.
std::string uri_of(const Program& program, const std::string& file) {
    if (file == program.name) return program.document->uri;
    if (const Document* open = find_document_by_path(*program.documents, file)) return open->uri;
    return uri_of_path(file);
}

Json location_json(Server& server, Program& program, const Place& place) {
    return {{"uri", uri_of(program, place.file)}, {"range", range_json(server, program, place)}};
}

void publish(Server& server, const std::string& uri, std::int64_t version, const Json& list) {
    send(server, notification_message("textDocument/publishDiagnostics",
                                      {{"uri", uri}, {"version", version}, {"diagnostics", list}}));
}

// Without a workspace folder from the client, each document has a root of
// its own (see root_of_document).
std::string root_for(const Server& server, const Document& document) {
    if (!server.root.empty() || document.path.empty()) return server.root;
    return root_of_document(document.path);
}

bool contains(const std::vector<std::string>& files, const std::string& file) {
    return std::find(files.begin(), files.end(), file) != files.end();
}

// The open document whose program reads `document`, or nullptr.
const Document* including_program(const Server& server, const Document& document) {
    if (document.path.empty()) return nullptr;
    for (const auto& [uri, files] : server.reads) {
        auto open = server.documents.find(uri);
        if (uri != document.uri && open != server.documents.end() && contains(files, document.path))
            return &open->second;
    }
    return nullptr;
}

// A document is analysed through an open program that includes it; else
// as a program of its own, without the unused-label warnings when some
// source includes it (a library, whose labels its programs use).
std::unique_ptr<Program> assemble(Server& server, const Document& document) {
    if (const Document* main = including_program(server, document))
        return assemble_program(server.assembler.get(), server.documents, *main,
                                root_for(server, *main), true, &document);
    std::string root = root_for(server, document);
    if (server.roots_searched.insert(root).second)
        for (const std::string& file : included_below(root)) server.included.insert(file);
    bool library = server.included.count(document.path) > 0;
    return assemble_program(server.assembler.get(), server.documents, document, root, !library);
}

Json diagnostic_json(Server& server, Program& program, const DocumentDiagnostic& diagnostic) {
    Json item = {{"range", range_json(server, program, {program.focus_name, diagnostic.range})},
                 {"severity", static_cast<int>(diagnostic.severity)},
                 {"source", "orvasm"},
                 {"message", diagnostic.message}};
    if (!diagnostic.related.empty()) {
        Json related = Json::array();
        for (const RelatedNote& note : diagnostic.related)
            related.push_back({{"location", location_json(server, program, note.place)},
                               {"message", note.message}});
        item["relatedInformation"] = std::move(related);
    }
    return item;
}

void analyze_and_publish(Server& server, const Document& document) {
    std::unique_ptr<Program> program = assemble(server, document);
    if (program->document == &document) {
        server.reads[document.uri] = files_read(*program);
        server.through.erase(document.uri);
        for (const std::string& file : server.reads[document.uri]) server.included.insert(file);
    } else {
        server.reads.erase(document.uri);
        server.through[document.uri] = program->document->uri;
    }
    Json list = Json::array();
    for (const DocumentDiagnostic& diagnostic : diagnostics_of(*program))
        list.push_back(diagnostic_json(server, *program, diagnostic));
    publish(server, document.uri, document.version, list);
}

// Whether the last analysis of the open document `uri` depends on the file
// `path` of the changed document `changed_uri`: its program reads the file,
// it was analysed through that document's program or one that reads the
// file, or it is a file that document's program reads.
bool depends_on(const Server& server, const std::string& uri, const Document& document,
                const std::string& changed_uri, const std::string& path) {
    auto read = server.reads.find(uri);
    if (read != server.reads.end() && contains(read->second, path)) return true;
    auto main = server.through.find(uri);
    if (main != server.through.end()) {
        if (main->second == changed_uri) return true;
        auto main_read = server.reads.find(main->second);
        if (main_read != server.reads.end() && contains(main_read->second, path)) return true;
    }
    auto changed_read = server.reads.find(changed_uri);
    return changed_read != server.reads.end() && !document.path.empty() &&
           contains(changed_read->second, document.path);
}

// Every other open document whose analysis depends on the changed one is
// analysed again, so that its diagnostics follow the file as it is now.
void publish_dependents(Server& server, const std::string& path, const std::string& changed_uri) {
    for (const auto& [uri, document] : server.documents)
        if (uri != changed_uri && depends_on(server, uri, document, changed_uri, path))
            analyze_and_publish(server, document);
}

// --- Requests ---

// The workspace root: rootUri, else the first workspace folder, else
// rootPath; empty when the client names none.
std::string root_of(const Json& params) {
    std::string root;
    if (const std::string* uri = string_member(params, "rootUri")) root = path_of_uri(*uri);
    const Json* folders = member(params, "workspaceFolders");
    if (root.empty() && folders && folders->is_array() && !folders->empty())
        if (const std::string* uri = string_member(folders->front(), "uri"))
            root = path_of_uri(*uri);
    if (const std::string* path = string_member(params, "rootPath"); root.empty() && path)
        root = std::filesystem::path(*path).lexically_normal().string();
    return root;
}

// UTF-8 when the client lists it among the encodings it takes.
PositionEncoding encoding_of(const Json& params) {
    const Json* capabilities = member(params, "capabilities");
    const Json* general = capabilities ? member(*capabilities, "general") : nullptr;
    const Json* encodings = general ? member(*general, "positionEncodings") : nullptr;
    if (encodings && encodings->is_array())
        for (const Json& encoding : *encodings)
            if (encoding == "utf-8") return PositionEncoding::Utf8;
    return PositionEncoding::Utf16;
}

void initialize(Server& server, const Message& message) {
    if (!message.params.is_object()) {
        send(server, error_message(message.id, INVALID_PARAMS, "params is not an object"));
        return;
    }
    server.root = root_of(message.params);
    server.encoding = encoding_of(message.params);
    const Json* options = member(message.params, "initializationOptions");
    const Json* hints = options ? member(*options, "inlayHints") : nullptr;
    server.inlay_hints = hints && hints->is_boolean() && hints->get<bool>();
    server.phase = Phase::Running;
    constexpr int INCREMENTAL_SYNC = 2;
    Json capabilities = {
        {"positionEncoding", server.encoding == PositionEncoding::Utf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync",
         {{"openClose", true}, {"change", INCREMENTAL_SYNC}, {"save", {{"includeText", false}}}}},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"hoverProvider", true},
        {"completionProvider",
         {{"triggerCharacters", {",", "_", ".", "-", ";", ":", "=", "!", "?", "&"}}}},
        {"documentSymbolProvider", true},
        {"renameProvider", {{"prepareProvider", true}}},
        {"declarationProvider", true},
        {"documentHighlightProvider", true},
        {"workspaceSymbolProvider", true},
        {"foldingRangeProvider", true},
        {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
    };
    if (server.inlay_hints) capabilities["inlayHintProvider"] = true;
    if (SEMANTIC_TOKENS_AVAILABLE) {
        Json legend = {{"tokenTypes", Json::array()}, {"tokenModifiers", Json::array()}};
        for (std::size_t i = 0; i < SEMANTIC_TOKEN_TYPE_COUNT; i++)
            legend["tokenTypes"].push_back(SEMANTIC_TOKEN_TYPES[i]);
        for (std::size_t i = 0; i < SEMANTIC_TOKEN_MODIFIER_COUNT; i++)
            legend["tokenModifiers"].push_back(SEMANTIC_TOKEN_MODIFIERS[i]);
        capabilities["semanticTokensProvider"] = {
            {"legend", std::move(legend)}, {"full", true}, {"range", true}};
    }
    send(server,
         result_message(message.id,
                        {{"capabilities", std::move(capabilities)},
                         {"serverInfo", {{"name", "orvasm-lsp"}, {"version", ORVASM_VERSION}}}}));
}

void shutdown(Server& server, const Message& message) {
    server.phase = Phase::ShutDown;
    send(server, result_message(message.id, nullptr));
}

// --- Requests on a position of a document ---

// The program of the document a request names, assembled now, and the byte
// offset of params.position (clamped). Answers the request with null and
// returns nullptr for a document that is not open or a missing position.
std::unique_ptr<Program> program_at(Server& server, const Message& message, std::size_t& offset) {
    const std::string* uri = document_uri(message);
    auto found = uri ? server.documents.find(*uri) : server.documents.end();
    auto position = position_member(message.params, "position");
    if (found == server.documents.end() || !position) {
        send(server, result_message(message.id, nullptr));
        return nullptr;
    }
    offset = lines_of(found->second).offset_of(*position, server.encoding);
    return assemble(server, found->second);
}

void definition(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    Place place;
    if (!definition_of(*program, target_at(*program, offset), place))
        return send(server, result_message(message.id, nullptr));
    send(server, result_message(message.id, location_json(server, *program, place)));
}

void references(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    const Json* context = member(message.params, "context");
    const Json* declaration = context ? member(*context, "includeDeclaration") : nullptr;
    bool with_definition = declaration && declaration->is_boolean() && declaration->get<bool>();
    Json list = Json::array();
    for (const Place& place :
         occurrences_of(*program, target_at(*program, offset), with_definition))
        list.push_back(location_json(server, *program, place));
    send(server, result_message(message.id, std::move(list)));
}

void hover(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    Target target = target_at(*program, offset);
    std::string text = hover_of(*program, target);
    if (text.empty()) return send(server, result_message(message.id, nullptr));
    send(server,
         result_message(message.id, {{"contents", {{"kind", "markdown"}, {"value", text}}},
                                     {"range", range_json(server, *program,
                                                          {program->focus_name, target.token})}}));
}

void completion(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    ByteRange replace{0, 0};
    Json items = Json::array();
    std::vector<Completion> completions = completions_at(*program, offset, replace);
    Json range = range_json(server, *program, {program->focus_name, replace});
    for (const Completion& item : completions)
        items.push_back({{"label", item.label},
                         {"kind", static_cast<int>(item.kind)},
                         {"detail", item.detail},
                         {"textEdit", {{"range", range}, {"newText", item.label}}}});
    send(server, result_message(message.id, {{"isIncomplete", false}, {"items", items}}));
}

Json outline_json(Server& server, Program& program, const OutlineEntry& entry) {
    Json children = Json::array();
    for (const OutlineEntry& child : entry.children)
        children.push_back(outline_json(server, program, child));
    return {{"name", entry.name},
            {"kind", static_cast<int>(entry.kind)},
            {"range", range_json(server, program, {program.focus_name, entry.range})},
            {"selectionRange", range_json(server, program, {program.focus_name, entry.selection})},
            {"children", std::move(children)}};
}

void document_symbol(Server& server, const Message& message) {
    const std::string* uri = document_uri(message);
    auto found = uri ? server.documents.find(*uri) : server.documents.end();
    if (found == server.documents.end()) return send(server, result_message(message.id, nullptr));
    std::unique_ptr<Program> program = assemble(server, found->second);
    Json list = Json::array();
    for (const OutlineEntry& entry : outline_of(*program))
        list.push_back(outline_json(server, *program, entry));
    send(server, result_message(message.id, std::move(list)));
}

// The other open documents whose programs read one of `files`.
std::vector<std::pair<const Document*, std::string>>
dependents_of(Server& server, const std::string& main_uri, const std::vector<std::string>& files) {
    std::vector<std::pair<const Document*, std::string>> found;
    for (const auto& [uri, document] : server.documents) {
        auto read = server.reads.find(uri);
        if (uri == main_uri || read == server.reads.end()) continue;
        for (const std::string& file : files)
            if (std::find(read->second.begin(), read->second.end(), file) != read->second.end() ||
                file == document.path) {
                found.emplace_back(&document, root_for(server, document));
                break;
            }
    }
    return found;
}

void rename(Server& server, const Message& message) {
    const std::string* new_name = string_member(message.params, "newName");
    if (!new_name) return send(server, error_message(message.id, INVALID_PARAMS, "no newName"));
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    std::vector<std::string> files = files_read(*program);
    files.push_back(program->name);
    files.push_back(program->focus_name);
    RenameRequest request{server.assembler.get(), &server.documents,
                          dependents_of(server, program->document->uri, files)};
    std::vector<TextEdit> edits;
    std::string refusal =
        safe_rename(request, *program, target_at(*program, offset), *new_name, edits);
    if (!refusal.empty()) return send(server, error_message(message.id, REQUEST_FAILED, refusal));
    Json changes = Json::object();
    for (const TextEdit& edit : edits)
        changes[uri_of(*program, edit.place.file)].push_back(
            {{"range", range_json(server, *program, edit.place)}, {"newText", edit.text}});
    send(server, result_message(message.id, {{"changes", std::move(changes)}}));
}

void prepare_rename(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    ByteRange range{0, 0};
    std::string refusal = rename_range(*program, target_at(*program, offset), range);
    if (!refusal.empty()) return send(server, error_message(message.id, REQUEST_FAILED, refusal));
    const std::string& text = program->focus->text;
    send(server,
         result_message(message.id,
                        {{"range", range_json(server, *program, {program->focus_name, range})},
                         {"placeholder", text.substr(range.begin, range.end - range.begin)}}));
}

// Every use of the name under the cursor in the document: its definition
// as a write, the others as reads.
void document_highlight(Server& server, const Message& message) {
    std::size_t offset = 0;
    std::unique_ptr<Program> program = program_at(server, message, offset);
    if (!program) return;
    constexpr int READ = 2, WRITE = 3;
    Target target = target_at(*program, offset);
    Place definition;
    bool defined = definition_of(*program, target, definition);
    Json list = Json::array();
    for (const Place& place : occurrences_of(*program, target, true)) {
        if (place.file != program->focus_name) continue;
        bool is_definition =
            defined && place.file == definition.file && place.range.begin == definition.range.begin;
        list.push_back({{"range", range_json(server, *program, place)},
                        {"kind", is_definition ? WRITE : READ}});
    }
    send(server, result_message(message.id, std::move(list)));
}

bool contains_folded(const std::string& name, const std::string& query) {
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(name.begin(), name.end(), query.begin(), query.end(), same) != name.end();
}

// Every label and macro defined in the open documents' programs whose name
// holds the query (in any case), each once.
void workspace_symbol(Server& server, const Message& message) {
    const std::string* query = string_member(message.params, "query");
    std::string wanted = query ? *query : std::string();
    constexpr int FUNCTION = 12, NAMESPACE = 3, FIELD = 8;
    std::set<std::pair<std::string, std::size_t>> seen;
    Json list = Json::array();
    for (const auto& [uri, document] : server.documents) {
        std::unique_ptr<Program> program = assemble(server, document);
        for_each_definition(*program, [&](const char* name, bool is_macro, const Place& place) {
            if (!contains_folded(name, wanted) ||
                !seen.emplace(place.file, place.range.begin).second)
                return;
            bool is_sublabel = std::strchr(name, '/') != nullptr;
            list.push_back({{"name", name},
                            {"kind", is_macro      ? FUNCTION
                                     : is_sublabel ? FIELD
                                                   : NAMESPACE},
                            {"location", location_json(server, *program, place)}});
        });
    }
    send(server, result_message(message.id, std::move(list)));
}

// --- Requests on a whole document, or a range of it ---

// The answer to a request on a document's `range` (its bytes), made from
// its program assembled now.
using RangeAnswer = Json (*)(Server& server, Program& program, ByteRange range);

// Answers a request on a whole document, or on params.range of it, with
// `Answer`; with null for a document that is not open.
template <RangeAnswer Answer> void answer_in_range(Server& server, const Message& message) {
    const std::string* uri = document_uri(message);
    auto found = uri ? server.documents.find(*uri) : server.documents.end();
    if (found == server.documents.end()) {
        send(server, result_message(message.id, nullptr));
        return;
    }
    const Document& document = found->second;
    ByteRange range{0, document.text.size()};
    const Json* within = member(message.params, "range");
    auto start = within ? position_member(*within, "start") : std::nullopt;
    auto end = within ? position_member(*within, "end") : std::nullopt;
    if (start && end)
        range = {lines_of(document).offset_of(*start, server.encoding),
                 lines_of(document).offset_of(*end, server.encoding)};
    std::unique_ptr<Program> program = assemble(server, document);
    send(server, result_message(message.id, Answer(server, *program, range)));
}

Json inlay_hint(Server& server, Program& program, ByteRange range) {
    constexpr int TYPE_KIND = 1;
    Json list = Json::array();
    if (server.inlay_hints)
        for (const InlayHint& hint : inlay_hints(program, range.begin, range.end))
            list.push_back(
                {{"position", position_in(server, program, program.focus_name, hint.offset)},
                 {"label", hint.label},
                 {"kind", TYPE_KIND},
                 {hint.before ? "paddingRight" : "paddingLeft", true}});
    return list;
}

Json folding_range(Server&, Program& program, ByteRange) {
    const LineIndex& lines = lines_of(*program.focus);
    Json list = Json::array();
    for (const Fold& fold : folding_ranges(program)) {
        std::int64_t first = lines.position_of(fold.begin, PositionEncoding::Utf8).line;
        std::int64_t last = lines.position_of(fold.end, PositionEncoding::Utf8).line;
        if (last <= first) continue;
        Json item = {{"startLine", first}, {"endLine", last}};
        if (fold.comment) item["kind"] = "comment";
        list.push_back(std::move(item));
    }
    return list;
}

// Semantic tokens as the protocol packs them: five numbers per token, its
// line and start relative to the token before, its length, type, modifiers.
Json semantic_tokens_answer(Server& server, Program& program, ByteRange range) {
    const LineIndex& lines = lines_of(*program.focus);
    Json data = Json::array();
    TextPosition previous{0, 0};
    for (const SemanticToken& token : semantic_tokens(program, range.begin, range.end)) {
        TextPosition start = lines.position_of(token.range.begin, server.encoding);
        TextPosition end = lines.position_of(token.range.end, server.encoding);
        data.push_back(start.line - previous.line);
        data.push_back(start.line == previous.line ? start.character - previous.character
                                                   : start.character);
        data.push_back(end.character - start.character);
        data.push_back(static_cast<int>(token.type));
        data.push_back(token.modifiers);
        previous = start;
    }
    return {{"data", std::move(data)}};
}

// The quick fixes of the diagnostics in the range: each certain fix the
// library gave, as an edit of the failing token.
Json code_action(Server& server, Program& program, ByteRange range) {
    Json list = Json::array();
    for (const DocumentDiagnostic& diagnostic : diagnostics_of(program)) {
        if (diagnostic.fix.empty() || diagnostic.range.end < range.begin ||
            diagnostic.range.begin > range.end)
            continue;
        Json edit = {{"range", range_json(server, program, diagnostic.fix_place)},
                     {"newText", diagnostic.fix}};
        list.push_back(
            {{"title", "Replace with `" + diagnostic.fix + "`"},
             {"kind", "quickfix"},
             {"isPreferred", true},
             {"diagnostics", {diagnostic_json(server, program, diagnostic)}},
             {"edit",
              {{"changes", {{uri_of(program, diagnostic.fix_place.file), {std::move(edit)}}}}}}});
    }
    return list;
}

// --- Notifications ---

void ignore(Server&, const Message&) {}

void exit_session(Server& server, const Message&) {
    server.exit_received = true;
}

void did_open(Server& server, const Message& message) {
    const Json* item = member(message.params, "textDocument");
    const std::string* uri = item ? string_member(*item, "uri") : nullptr;
    const std::string* text = item ? string_member(*item, "text") : nullptr;
    if (!uri || !text) return log_ignored(server, message, "no textDocument.uri and .text");
    Document& document = server.documents[*uri];
    document = {*uri, path_of_uri(*uri), *text, integer_member(*item, "version").value_or(0)};
    analyze_and_publish(server, document);
    publish_dependents(server, document.path, document.uri);
}

// Reads every entry before applying any, so that a malformed one changes nothing.
bool read_changes(const Json& list, std::vector<TextChange>& changes) {
    if (!list.is_array()) return false;
    for (const Json& entry : list) {
        const std::string* text = string_member(entry, "text");
        if (!text) return false;
        const Json* range = member(entry, "range");
        if (!range) {
            changes.push_back({true, {}, {}, *text});
            continue;
        }
        auto start = position_member(*range, "start");
        auto end = position_member(*range, "end");
        if (!start || !end) return false;
        changes.push_back({false, *start, *end, *text});
    }
    return true;
}

void did_change(Server& server, const Message& message) {
    const std::string* uri = document_uri(message);
    auto found = uri ? server.documents.find(*uri) : server.documents.end();
    if (found == server.documents.end()) return log_ignored(server, message, "no open document");
    std::vector<TextChange> changes;
    const Json* list = member(message.params, "contentChanges");
    if (!list || !read_changes(*list, changes))
        return log_ignored(server, message, "malformed contentChanges");
    Document& document = found->second;
    // Later changes were made to a text the server no longer has.
    for (const TextChange& change : changes)
        if (!apply_change(document, change, server.encoding)) {
            log_ignored(server, message, "the document would grow past 64 MiB");
            break;
        }
    if (auto version = integer_member(*member(message.params, "textDocument"), "version"))
        document.version = *version;
    analyze_and_publish(server, document);
    publish_dependents(server, document.path, document.uri);
}

// The saved file may be included by the other open documents, which read it
// from the disk unless it is open too; every open document is assembled again.
void did_save(Server& server, const Message&) {
    for (const auto& [uri, document] : server.documents) analyze_and_publish(server, document);
}

void did_close(Server& server, const Message& message) {
    const std::string* uri = document_uri(message);
    auto found = uri ? server.documents.find(*uri) : server.documents.end();
    if (found == server.documents.end()) return log_ignored(server, message, "no open document");
    publish(server, found->first, found->second.version, Json::array());
    std::string closed = found->first, path = found->second.path;
    server.documents.erase(found);
    // Its programs read the file from the disk again; the files its
    // program includes are analysed otherwise.
    publish_dependents(server, path, closed);
    server.reads.erase(closed);
    server.through.erase(closed);
}

// --- Dispatch ---

using Handler = void (*)(Server&, const Message&);

struct Method {
    const char* name;
    bool is_request; // the same name sent as the other kind is unknown
    Handler handle;
};

constexpr Method METHODS[] = {
    {"initialize", true, initialize},
    {"shutdown", true, shutdown},
    {"textDocument/definition", true, definition},
    {"textDocument/declaration", true, definition},
    {"textDocument/documentHighlight", true, document_highlight},
    {"textDocument/prepareRename", true, prepare_rename},
    {"workspace/symbol", true, workspace_symbol},
    {"textDocument/inlayHint", true, answer_in_range<inlay_hint>},
    {"textDocument/foldingRange", true, answer_in_range<folding_range>},
    {"textDocument/semanticTokens/full", true, answer_in_range<semantic_tokens_answer>},
    {"textDocument/semanticTokens/range", true, answer_in_range<semantic_tokens_answer>},
    {"textDocument/codeAction", true, answer_in_range<code_action>},
    {"textDocument/references", true, references},
    {"textDocument/hover", true, hover},
    {"textDocument/completion", true, completion},
    {"textDocument/documentSymbol", true, document_symbol},
    {"textDocument/rename", true, rename},
    {"initialized", false, ignore},
    {"exit", false, exit_session},
    {"$/cancelRequest", false, ignore},
    {"textDocument/didOpen", false, did_open},
    {"textDocument/didChange", false, did_change},
    {"textDocument/didSave", false, did_save},
    {"textDocument/didClose", false, did_close},
};

const Method* find_method(const std::string& name, bool is_request) {
    for (const Method& method : METHODS)
        if (name == method.name && method.is_request == is_request) return &method;
    return nullptr;
}

void handle_request(Server& server, const Message& message) {
    const Method* method = find_method(message.method, true);
    bool is_initialize = message.method == "initialize";
    if (server.phase == Phase::Uninitialized && !is_initialize)
        send(server, error_message(message.id, SERVER_NOT_INITIALIZED, "initialize comes first"));
    else if (server.phase == Phase::Running && is_initialize)
        send(server, error_message(message.id, INVALID_REQUEST, "initialize came already"));
    else if (server.phase == Phase::ShutDown)
        send(server, error_message(message.id, INVALID_REQUEST, "the server is shutting down"));
    else if (!method)
        send(server,
             error_message(message.id, METHOD_NOT_FOUND, "unknown method " + message.method));
    else
        method->handle(server, message);
}

// Before initialize only "exit" counts, and after shutdown too.
void handle_notification(Server& server, const Message& message) {
    const Method* method = find_method(message.method, false);
    if (!method) return;
    if (server.phase == Phase::Running || method->handle == exit_session)
        method->handle(server, message);
}

void handle_message(Server& server, const Message& message) {
    switch (message.kind) {
    case MessageKind::Request: handle_request(server, message); break;
    case MessageKind::Notification: handle_notification(server, message); break;
    case MessageKind::Response: break; // the server asks nothing, so expects no answer
    case MessageKind::Invalid:
        send(server, error_message(message.id, INVALID_REQUEST, message.reason));
        break;
    case MessageKind::Unparsable:
        send(server, error_message(nullptr, PARSE_ERROR, message.reason));
        break;
    }
}

} // namespace

int run_server(std::FILE* input, std::FILE* output, std::FILE* log) {
    Server server{output,
                  log,
                  Phase::Uninitialized,
                  PositionEncoding::Utf16,
                  {},
                  {},
                  {},
                  {},
                  {},
                  {},
                  AssemblerHandle(orvasm_assembler_new()),
                  false,
                  false,
                  false};
    std::string body;
    for (;;) {
        FrameStatus status = read_message(input, body);
        if (status == FrameStatus::End) break;
        if (status != FrameStatus::Message) {
            std::fprintf(log, "orvasm-lsp: %s\n", FRAME_STATUS_TEXT[static_cast<int>(status)]);
            return 1;
        }
        handle_message(server, parse_message(body));
        if (server.write_failed) {
            std::fprintf(log, "orvasm-lsp: the client stopped reading\n");
            return 1;
        }
        if (server.exit_received) break;
    }
    return server.phase == Phase::ShutDown ? 0 : 1;
}
