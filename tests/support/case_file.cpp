// The .case parser. A section runs from a line that begins with "--- " to
// the next such line; text sections keep their bytes exactly, blanks and line
// ends included.
#include "support/case_file.hpp"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "support/files.hpp"

namespace {

// Counts above this are typing mistakes: no case needs 16 MiB of one byte.
constexpr unsigned long MAX_REPEAT = 1ul << 24;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<std::string> split_words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// "HH" or "HH*COUNT" appended to `bytes`.
void append_item(const std::string& item, const std::string& where, std::string& bytes) {
    std::size_t star = item.find('*');
    std::string hex = item.substr(0, star);
    if (hex.size() != 2 || hex_digit(hex[0]) < 0 || hex_digit(hex[1]) < 0)
        throw std::runtime_error(where + ": bad byte '" + item + "'");
    unsigned long count = 1;
    if (star != std::string::npos) {
        std::string digits = item.substr(star + 1);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos ||
            (count = std::stoul(digits)) > MAX_REPEAT)
            throw std::runtime_error(where + ": bad count in '" + item + "'");
    }
    bytes.append(count, static_cast<char>(hex_digit(hex[0]) * 16 + hex_digit(hex[1])));
}

// The offset of the line after the one that starts at `at`.
std::size_t next_line(const std::string& text, std::size_t at) {
    std::size_t newline = text.find('\n', at);
    return newline == std::string::npos ? text.size() : newline + 1;
}

bool is_header(const std::string& text, std::size_t at) {
    return text.compare(at, 4, "--- ") == 0;
}

int parse_status(const std::string& body, const std::string& where) {
    std::vector<std::string> words = split_words(body);
    if (words.size() != 1 || words[0].size() > 3 ||
        words[0].find_first_not_of("0123456789") != std::string::npos || std::stoi(words[0]) > 255)
        throw std::runtime_error(where + ": the status must be one number from 0 to 255");
    return std::stoi(words[0]);
}

void add_file(std::vector<CaseFile>& files, const std::string& name, std::string bytes,
              const std::string& where) {
    if (find_case_file(files, name)) throw std::runtime_error(where + ": " + name + " given twice");
    files.push_back({name, std::move(bytes)});
}

// What one section adds to `result`. `seen` holds the sections that may
// appear only once and have appeared.
void apply_section(const std::vector<std::string>& header, const std::string& body,
                   const std::filesystem::path& root, const std::string& where,
                   std::vector<std::string>& seen, Case& result) {
    const std::string& kind = header[0];
    std::size_t words = header.size();
    bool hex = header.back() == "hex";
    if (kind == "args" || kind == "status" || kind == "stderr" || kind == "stdout") {
        if (words != 1) throw std::runtime_error(where + ": takes no words after its name");
        for (const std::string& done : seen)
            if (done == kind) throw std::runtime_error(where + ": given twice");
        seen.push_back(kind);
    }
    if (kind == "source" && (words == 1 || (words == 2 && hex))) {
        add_file(result.files, CASE_SOURCE, hex ? parse_bytes(body, where) : body, where);
    } else if (kind == "file" && (words == 2 || (words == 3 && hex))) {
        add_file(result.files, header[1], hex ? parse_bytes(body, where) : body, where);
    } else if (kind == "copy" && words == 3) {
        add_file(result.files, header[1], read_file(root / header[2]), where);
    } else if (kind == "dir" && words == 2) {
        result.dirs.push_back(header[1]);
    } else if (kind == "args") {
        result.args = split_words(body);
    } else if (kind == "status") {
        result.status = parse_status(body, where);
    } else if (kind == "stderr") {
        result.stderr_text = body;
    } else if (kind == "stdout") {
        result.stdout_text = body;
    } else if (kind == "expect" && words == 2) {
        add_file(result.expected, header[1], parse_bytes(body, where), where);
    } else if (kind == "expect" && words == 3 && header[2] == "text") {
        add_file(result.expected, header[1], body, where);
    } else {
        throw std::runtime_error(where + ": unknown section");
    }
}

} // namespace

std::string parse_bytes(const std::string& text, const std::string& where) {
    std::string bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (is_blank(text[i])) {
            i++;
            continue;
        }
        std::size_t end;
        if (text[i] == '"') {
            end = text.find('"', i + 1);
            if (end == std::string::npos) throw std::runtime_error(where + ": unclosed quote");
            bytes.append(text, i + 1, end - i - 1);
            end++;
        } else {
            end = i;
            while (end < text.size() && !is_blank(text[end])) end++;
            append_item(text.substr(i, end - i), where, bytes);
        }
        if (end < text.size() && !is_blank(text[end]))
            throw std::runtime_error(where + ": no blank after '" + text.substr(i, end - i) + "'");
        i = end;
    }
    return bytes;
}

Case parse_case(const std::string& text, const std::string& name,
                const std::filesystem::path& root) {
    Case result;
    std::vector<std::string> seen;
    std::size_t at = 0;
    // The free comment before the first section.
    while (at < text.size() && !is_header(text, at)) at = next_line(text, at);
    if (at == text.size()) throw std::runtime_error(name + ": no section");
    while (at < text.size()) {
        std::size_t header_end = std::min(text.find('\n', at), text.size());
        std::size_t body_start = next_line(text, at);
        std::vector<std::string> header = split_words(text.substr(at + 4, header_end - at - 4));
        std::size_t body_end = body_start;
        while (body_end < text.size() && !is_header(text, body_end))
            body_end = next_line(text, body_end);
        std::string where = name + " section '" + text.substr(at, header_end - at) + "'";
        if (header.empty()) throw std::runtime_error(where + ": no section name");
        apply_section(header, text.substr(body_start, body_end - body_start), root, where, seen,
                      result);
        at = body_end;
    }
    return result;
}

Case read_case(const std::filesystem::path& path, const std::filesystem::path& root) {
    return parse_case(read_file(path), path.filename().string(), root);
}

const CaseFile* find_case_file(const std::vector<CaseFile>& files, const std::string& name) {
    for (const CaseFile& file : files)
        if (file.name == name) return &file;
    return nullptr;
}
