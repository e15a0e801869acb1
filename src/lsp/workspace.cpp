#include "lsp/workspace.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "lsp/decorations.hpp"

namespace {

constexpr std::uintmax_t MAX_SOURCE_SEARCHED = std::uintmax_t{1} << 20;
constexpr int MAX_DEPTH = 8;

// The include tokens of one source, as full paths from the root.
void add_includes(const std::string& root, const std::filesystem::path& source,
                  std::set<std::string>& files) {
    std::ifstream stream(source, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    for_each_token_kind(text, [&](ByteRange range, int kind, bool in_comment) {
        if (in_comment || kind != ORVASM_TOKEN_INCLUDE) return;
        std::string_view token(text.data() + range.begin, range.end - range.begin);
        std::size_t start = orvasm_token_name_start(token.data(), token.size());
        if (start >= token.size()) return;
        std::filesystem::path written(std::string(token.substr(start)));
        files.insert((written.is_absolute() ? written : std::filesystem::path(root) / written)
                         .lexically_normal()
                         .string());
    });
}

} // namespace

std::string root_of_document(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    std::error_code error;
    for (std::filesystem::path at = directory; !at.empty(); at = at.parent_path()) {
        if (std::filesystem::exists(at / ".git", error)) return at.string();
        if (at == at.parent_path()) break;
    }
    return directory.string();
}

std::set<std::string> included_below(const std::string& root) {
    std::set<std::string> files;
    std::error_code error;
    namespace fs = std::filesystem;
    fs::recursive_directory_iterator entry(root, fs::directory_options::skip_permission_denied,
                                           error);
    int searched = 0, visited = 0;
    for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (++visited > MAX_ENTRIES_VISITED) break;
        const fs::path& path = entry->path();
        bool hidden = path.filename().string().starts_with(".");
        if (entry->is_directory(error) && (hidden || entry.depth() >= MAX_DEPTH)) {
            entry.disable_recursion_pending();
            continue;
        }
        if (hidden || path.extension() != ".orv" || !entry->is_regular_file(error) ||
            entry->file_size(error) > MAX_SOURCE_SEARCHED)
            continue;
        add_includes(root, path, files);
        if (++searched == MAX_SOURCES_SEARCHED) break;
    }
    return files;
}
