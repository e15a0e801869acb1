#include "lsp/analysis.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/platform.hpp"

namespace {

// Reads a regular file only. Unlike the program, the server must not read a
// FIFO or a device: "~/dev/stdin" would read its own protocol stream, and a
// FIFO without a writer would block it for good (even opening one does,
// hence O_NONBLOCK).
bool read_regular_file(const std::string& path, std::string& text) {
    int fd = platform::open_for_reading(path.c_str(), true);
    if (fd < 0) return false;
    std::uint64_t size = 0;
    bool regular = platform::regular_file_size(fd, size) && size <= MAX_DOCUMENT_SIZE;
    text.clear();
    std::vector<char> buffer(regular ? 65536 : 0); // too large for a small stack
    std::ptrdiff_t count = 0;
    while (regular && (count = platform::read_some(fd, buffer.data(), buffer.size())) > 0) {
        if (text.size() + static_cast<std::size_t>(count) > MAX_DOCUMENT_SIZE) break;
        text.append(buffer.data(), static_cast<std::size_t>(count));
    }
    platform::close_descriptor(fd);
    return regular && count == 0;
}

// The path `written` names from the root, as the program's working directory.
// An empty path stays empty, so that it fails as it does for the program
// rather than naming the root directory.
std::string from_root(const std::string& root, const char* written) {
    std::string full = written[0] == '/' || written[0] == '\0' ? written : root + "/" + written;
    return std::filesystem::path(full).lexically_normal().string();
}

// The resolver of the assembly: open documents first, then regular files.
int serve_file(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    Program& program = *static_cast<Program*>(context);
    if (path[0] == '\0') return ORVASM_NOT_FOUND;
    const std::string* text = text_of(program, from_root(program.root, path));
    if (!text) return ORVASM_NOT_FOUND;
    *data = reinterpret_cast<const unsigned char*>(text->data());
    *size = text->size();
    return ORVASM_FOUND;
}

std::string line_of(const orvasm_diagnostic& record) {
    if (record.severity == ORVASM_NOTE)
        return record.detail[0] ? std::string(record.message) + " " + record.detail
                                : std::string(record.message);
    return std::string(record.message) + ": " + record.detail;
}

// The include token by which the document reads the file `file`, directly
// or through other included files; false when there is none.
bool include_place(Program& program, const char* file, Place& place) {
    const orvasm_result* result = program.result.get();
    // Where each file is first included, found in one walk of the listing.
    if (!program.includes_found) {
        program.includes_found = true;
        for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
            const orvasm_listing_record* record = orvasm_result_listing(result, i);
            if (record->kind == ORVASM_LIST_INCLUDE && record->target && record->position.file)
                program.include_sites.emplace(record->target, record->position);
        }
    }
    std::string wanted = file;
    // Each step goes one level of includes out; they nest at most 64 deep.
    for (int level = 0; level <= 64; level++) {
        auto site = program.include_sites.find(wanted);
        if (site == program.include_sites.end()) return false;
        if (in_focus(program, site->second)) return token_place(program, site->second, place);
        wanted = site->second.file;
    }
    return false;
}

// A note's certain fix replaces the token of the record it follows.
void take_fix(Program& program, const orvasm_diagnostic& record, const orvasm_diagnostic& note,
              DocumentDiagnostic& diagnostic) {
#if ORVASM_VERSION_NUMBER >= 10200
    if (note.fix && diagnostic.fix.empty() &&
        token_place(program, record.position, diagnostic.fix_place))
        diagnostic.fix = note.fix;
#else
    (void)program, (void)record, (void)note, (void)diagnostic;
#endif
}

// `record` and its notes, which follow it, as one diagnostic.
DocumentDiagnostic diagnostic_of(Program& program, std::size_t index) {
    const orvasm_diagnostic& record = *orvasm_result_diagnostic(program.result.get(), index);
    DocumentDiagnostic diagnostic{{0, 0},
                                  record.severity == ORVASM_WARNING ? ProtocolSeverity::Warning
                                                                    : ProtocolSeverity::Error,
                                  line_of(record),
                                  {},
                                  {},
                                  {},
                                  false};
    bool placed = false;
    Place place;
    if (in_focus(program, record.position) && token_place(program, record.position, place)) {
        diagnostic.range = place.range;
        placed = true;
    } else if (token_place(program, record.position, place)) {
        diagnostic.related.push_back({place, diagnostic.message});
    }
    for (std::size_t i = 1; i <= record.notes; i++) {
        const orvasm_diagnostic* note = orvasm_result_diagnostic(program.result.get(), index + i);
        if (!note || !token_place(program, note->position, place)) continue;
        // The innermost step of the chain that lies in the document holds
        // it; a hint or an earlier definition there is only related.
        if (!placed && note->chain && in_focus(program, note->position)) {
            diagnostic.range = place.range;
            placed = true;
        }
        diagnostic.related.push_back({place, line_of(*note)});
        take_fix(program, record, *note, diagnostic);
    }
    // A warning in an included file has no chain: it goes on the include.
    if (!placed && record.position.file && include_place(program, record.position.file, place)) {
        diagnostic.range = place.range;
        placed = true;
    }
    diagnostic.placed = placed;
    return diagnostic;
}

} // namespace

std::unique_ptr<Program> assemble_program(orvasm_assembler* assembler,
                                          const DocumentStore& documents, const Document& document,
                                          const std::string& root, bool report,
                                          const Document* focus) {
    auto program = std::make_unique<Program>();
    program->documents = &documents;
    program->document = &document;
    program->root = root;
    program->name = document.path.empty() ? document.uri : document.path;
    program->focus = focus ? focus : &document;
    program->focus_name = focus ? focus->path : program->name;
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = reinterpret_cast<const unsigned char*>(document.text.data());
    options.source_size = document.text.size();
    options.source_name = program->name.c_str();
    options.resolver = &serve_file;
    options.resolver_context = program.get();
    options.flags = ORVASM_LOCATIONS | ORVASM_LISTING | ORVASM_DEPENDENCIES;
    program->result.reset(orvasm_assemble(assembler, &options));
    // As the program: the report only after a rom was written, which an
    // empty one is not; its summary line is no diagnostic.
    std::size_t rom_size = 0;
    orvasm_result_rom(program->result.get(), &rom_size);
    if (rom_size > 0 && report) orvasm_result_report(program->result.get(), "");
    return program;
}

bool in_focus(Program& program, const orvasm_position& position) {
    if (position.line == 0 || !position.file) return false;
    if (program.focus == program.document) return program.name == position.file;
    // The files of positions are few strings, each named many times.
    if (position.file == program.focus_file) return true;
    if (full_path_of(program, position.file) != program.focus_name) return false;
    program.focus_file = position.file;
    return true;
}

std::vector<std::string> files_read(const Program& program) {
    std::vector<std::string> files;
    const orvasm_result* result = program.result.get();
    for (std::size_t i = 1; i < orvasm_result_file_count(result); i++)
        files.push_back(full_path_of(program, orvasm_result_file(result, i)));
    return files;
}

std::string full_path_of(const Program& program, const char* file) {
    if (program.name == file) return program.name;
    return from_root(program.root, file);
}

const std::string* text_of(Program& program, const std::string& full_path) {
    if (full_path == program.name) return &program.document->text;
    if (const Document* open = find_document_by_path(*program.documents, full_path))
        return &open->text;
    auto found = program.disk_files.find(full_path);
    if (found != program.disk_files.end()) return &found->second;
    std::string text;
    if (!read_regular_file(full_path, text)) return nullptr;
    return &program.disk_files.emplace(full_path, std::move(text)).first->second;
}

const LineIndex* line_index(Program& program, const std::string& full_path) {
    if (full_path == program.name) return &lines_of(*program.document);
    if (const Document* open = find_document_by_path(*program.documents, full_path))
        return &lines_of(*open);
    std::unique_ptr<LineIndex>& index = program.line_indexes[full_path];
    if (index) return index.get();
    const std::string* text = text_of(program, full_path);
    if (!text) return nullptr;
    index = std::make_unique<LineIndex>(*text);
    return index.get();
}

bool token_place(Program& program, const orvasm_position& position, Place& place) {
    if (position.line == 0 || !position.file) return false;
    place.file = full_path_of(program, position.file);
    const std::string* text = text_of(program, place.file);
    const LineIndex* index = line_index(program, place.file);
    if (!text || !index) return false;
    std::size_t begin = index->offset_of({static_cast<std::int64_t>(position.line) - 1,
                                          static_cast<std::int64_t>(position.column) - 1},
                                         PositionEncoding::Utf8);
    begin = std::min(begin, text->size());
    place.range = {begin, begin + orvasm_token_length(text->data() + begin, text->size() - begin)};
    return true;
}

std::vector<DocumentDiagnostic> diagnostics_of(Program& program) {
    std::vector<DocumentDiagnostic> diagnostics;
    const orvasm_result* result = program.result.get();
    std::size_t count = orvasm_result_problem_count(result);
    for (std::size_t i = 0; i < count && diagnostics.size() < MAX_DIAGNOSTICS; i++) {
        DocumentDiagnostic diagnostic = diagnostic_of(program, orvasm_result_problem(result, i));
        if (diagnostic.placed || program.focus == program.document)
            diagnostics.push_back(std::move(diagnostic));
    }
    return diagnostics;
}
