#include "lsp/analysis.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"
#include "output/report.hpp"

namespace {

// --- Files served to the assembler ---

struct FileServer {
    const DocumentStore* documents;
    const std::string* root;
};

// A read position in a text that outlives the stream (the assembly is
// synchronous, and the documents do not change during it).
struct TextReader {
    const std::string* text;
    std::size_t position;
};

ssize_t read_text(void* cookie, char* buffer, std::size_t size) {
    auto& reader = *static_cast<TextReader*>(cookie);
    std::size_t count = std::min(size, reader.text->size() - reader.position);
    std::memcpy(buffer, reader.text->data() + reader.position, count);
    reader.position += count;
    return static_cast<ssize_t>(count);
}

int close_text(void* cookie) {
    delete static_cast<TextReader*>(cookie);
    return 0;
}

std::FILE* open_text_stream(const std::string& text) {
    auto* reader = new TextReader{&text, 0};
    std::FILE* stream = fopencookie(reader, "r", {read_text, nullptr, nullptr, close_text});
    if (!stream) delete reader;
    return stream;
}

// Opens a regular file only. Unlike the program, the server must not read a
// FIFO or a device: "~/dev/stdin" would read its own protocol stream, and a
// FIFO without a writer would block it for good (even opening one does,
// hence O_NONBLOCK).
std::FILE* open_regular_file(const char* path) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status;
    std::FILE* file =
        fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? fdopen(fd, "r") : nullptr;
    if (!file) close(fd);
    return file;
}

// The SourceOpener of the analysis. An empty path stays empty, so that it
// fails as it does for the program rather than naming the root directory.
std::FILE* open_served_file(const char* path, void* context) {
    const auto& server = *static_cast<const FileServer*>(context);
    std::string full = path[0] == '/' || path[0] == '\0' ? path : *server.root + "/" + path;
    std::string normal = std::filesystem::path(full).lexically_normal().string();
    if (const Document* open = find_document_by_path(*server.documents, normal))
        return open_text_stream(open->text);
    return open_regular_file(full.c_str());
}

// --- Diagnostics from the printed lines ---

// Everything the assembler prints while `run` runs.
template <typename Run> std::string captured_output(AssemblerState& state, Run run) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* sink = open_memstream(&buffer, &size);
    if (!sink) return {};
    state.diagnostics = {};
    state.diagnostics.file = sink;
    run();
    state.diagnostics = {};
    std::fclose(sink);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

void add_lines(std::vector<DocumentDiagnostic>& diagnostics, const std::string& output,
               bool warnings_only) {
    for (std::size_t start = 0, end; start < output.size(); start = end + 1) {
        end = std::min(output.find('\n', start), output.size());
        std::string line = output.substr(start, end - start);
        bool warning = line.rfind("-- ", 0) == 0;
        if (warnings_only && !warning) continue;
        if (diagnostics.size() == MAX_DIAGNOSTICS) return;
        diagnostics.push_back({{0, 0},
                               warning ? ProtocolSeverity::Warning : ProtocolSeverity::Error,
                               warning ? line.substr(3) : line});
    }
}

// The token a message names: the text after its first ": ".
std::string_view named_token(const std::string& message) {
    std::size_t colon = message.find(": ");
    if (colon == std::string::npos) return {};
    return std::string_view(message).substr(colon + 2);
}

bool is_token_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\0';
}

// PROVISIONAL, until the assembler records where each token lies: each
// diagnostic is put on the first token of the main document that is the
// token its message names ("Invalid label: @loop"), or failing that on the
// first that is a sigil and that name ("Unused label: loop" on "@loop"), or
// else at the start of the document. An error inside an included file, or a
// token that a comment mentions first, lands in the wrong place.
void place_diagnostics(std::vector<DocumentDiagnostic>& diagnostics, const std::string& text) {
    struct Found {
        std::optional<ByteRange> exact;
        std::optional<ByteRange> after_sigil;
    };
    std::unordered_map<std::string_view, Found> wanted;
    for (const DocumentDiagnostic& diagnostic : diagnostics) {
        std::string_view name = named_token(diagnostic.message);
        if (!name.empty()) wanted[name];
    }
    if (wanted.empty()) return;
    std::string_view view(text);
    for (std::size_t start = 0; start < view.size();) {
        if (is_token_space(view[start])) {
            start++;
            continue;
        }
        std::size_t end = start;
        while (end < view.size() && !is_token_space(view[end])) end++;
        std::string_view token = view.substr(start, end - start);
        if (auto found = wanted.find(token); found != wanted.end() && !found->second.exact)
            found->second.exact = ByteRange{start, end};
        if (auto found = wanted.find(token.substr(1));
            found != wanted.end() && !found->second.after_sigil)
            found->second.after_sigil = ByteRange{start, end};
        start = end;
    }
    for (DocumentDiagnostic& diagnostic : diagnostics) {
        auto found = wanted.find(named_token(diagnostic.message));
        if (found == wanted.end()) continue;
        if (found->second.exact)
            diagnostic.range = *found->second.exact;
        else if (found->second.after_sigil)
            diagnostic.range = *found->second.after_sigil;
    }
}

} // namespace

Analysis analyze_document(AssemblerState& state, const DocumentStore& documents,
                          const Document& document, const std::string& root) {
    std::memset(&state, 0, sizeof state);
    FileServer server{&documents, &root};
    state.opener = {&open_served_file, &server};
    const std::string& path = document.path.empty() ? document.uri : document.path;
    int assembled = 0;
    std::string output = captured_output(state, [&] {
        std::FILE* source = open_text_stream(document.text);
        if (!source) return;
        assembled = assemble_source(state, source, path.c_str());
        std::fclose(source);
    });
    Analysis analysis;
    add_lines(analysis.diagnostics, output, false);
    // As the program: the warnings only after a rom was written, which an
    // empty one is not; print_report ends with the summary line, no diagnostic.
    if (assembled && state.length > PROGRAM_START)
        add_lines(analysis.diagnostics, captured_output(state, [&] { print_report(state, ""); }),
                  true);
    place_diagnostics(analysis.diagnostics, document.text);
    return analysis;
}
