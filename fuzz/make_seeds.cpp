// Turns the end-to-end cases and the examples into fuzz seeds, so that the
// fuzzer starts from every construct the suite already knows about.
//
//   orvasm_fuzz_seeds OUT_DIR FILE...
//
// A *.case file gives its source followed by its first three extra files,
// renamed "a", "b" and "c" (and the includes naming them rewritten to
// match), in the harness's input layout. Any other file is a source as is.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string SEPARATOR = "\n--8<--\n";

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The cases' byte notation: "a0", "00*256", "\"text\"".
std::string parse_bytes(const std::string& text) {
    std::string bytes;
    std::istringstream in(text);
    for (std::string item; in >> item;) {
        if (item[0] == '"') {
            // Quoted text may hold blanks: take up to the closing quote.
            std::string quoted = item.substr(1);
            while (quoted.empty() || quoted.back() != '"') {
                std::string more;
                if (!(in >> more)) break;
                quoted += " " + more;
            }
            if (!quoted.empty() && quoted.back() == '"') quoted.pop_back();
            bytes += quoted;
            continue;
        }
        std::size_t star = item.find('*');
        unsigned long count = star == std::string::npos ? 1 : std::stoul(item.substr(star + 1));
        bytes.append(count, static_cast<char>(std::stoul(item.substr(0, 2), nullptr, 16)));
    }
    return bytes;
}

struct Section {
    std::vector<std::string> header;
    std::string body;
};

std::vector<Section> sections_of(const std::string& text) {
    std::vector<Section> sections;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(at, end - at);
        if (line.rfind("--- ", 0) == 0) {
            Section section;
            std::istringstream words(line.substr(4));
            for (std::string word; words >> word;) section.header.push_back(word);
            sections.push_back(section);
        } else if (!sections.empty()) {
            sections.back().body += line;
        }
        at = end;
    }
    return sections;
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string seed_of_case(const std::string& text) {
    std::string source;
    std::vector<std::pair<std::string, std::string>> files;
    for (const Section& section : sections_of(text)) {
        if (section.header.empty()) continue;
        bool hex = section.header.back() == "hex";
        std::string body = hex ? parse_bytes(section.body) : section.body;
        if (section.header[0] == "source") source = body;
        if (section.header[0] == "file" && section.header.size() >= 2 && files.size() < 3)
            files.emplace_back(section.header[1], body);
    }
    static const char* const names[] = {"a", "b", "c"};
    std::string seed = source;
    for (std::size_t i = 0; i < files.size(); i++) seed += SEPARATOR + files[i].second;
    for (std::size_t i = 0; i < files.size(); i++)
        replace_all(seed, "~" + files[i].first, std::string("~") + names[i]);
    return seed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: orvasm_fuzz_seeds OUT_DIR FILE...\n";
        return 1;
    }
    fs::path out_dir = argv[1];
    fs::create_directories(out_dir);
    for (int i = 2; i < argc; i++) {
        fs::path input = argv[i];
        std::string text = read_file(input);
        std::string seed = input.extension() == ".case" ? seed_of_case(text) : text;
        std::ofstream(out_dir / (input.stem().string() + ".seed"), std::ios::binary) << seed;
    }
    return 0;
}
