// Runs the orvasm binary on each tests/cases/*.case file in an empty
// directory and compares the exit status, the whole standard error and
// standard output, and every file left behind. The format is described in
// tests/cases/README.md.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

struct Case {
    std::string name;
    std::map<std::string, Bytes> files; // created before the run
    std::vector<std::string> dirs;
    std::vector<std::string> args = {"in.orv", "out.rom"};
    int status = 0;
    Bytes stderr_text;
    Bytes stdout_text;
    std::map<std::string, Bytes> expected; // files that must hold these bytes after the run
};

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Items: "a0" (one byte), "00*256" (a repeated byte), "\"text\"" (its bytes).
Bytes parse_bytes(const std::string& text, const std::string& where) {
    Bytes bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            i++;
            continue;
        }
        if (text[i] == '"') {
            std::size_t close = text.find('"', i + 1);
            if (close == std::string::npos) throw std::runtime_error(where + ": unclosed quote");
            bytes += text.substr(i + 1, close - i - 1);
            i = close + 1;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) end++;
        std::string item = text.substr(i, end - i);
        std::size_t star = item.find('*');
        std::string hex = item.substr(0, star);
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1])))
            throw std::runtime_error(where + ": bad byte '" + item + "'");
        std::size_t count = star == std::string::npos ? 1 : std::stoul(item.substr(star + 1));
        bytes.append(count, static_cast<char>(std::stoul(hex, nullptr, 16)));
        i = end;
    }
    return bytes;
}

std::vector<std::string> split_words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

Case parse_case(const fs::path& path) {
    Case result;
    result.name = path.stem().string();
    Bytes text = read_file(path);
    std::size_t at = 0;
    // Skip the free comment before the first section.
    while (at < text.size() && text.compare(at, 4, "--- ") != 0) {
        std::size_t newline = text.find('\n', at);
        at = newline == std::string::npos ? text.size() : newline + 1;
    }
    while (at < text.size()) {
        std::size_t header_end = text.find('\n', at);
        if (header_end == std::string::npos) header_end = text.size();
        std::vector<std::string> header = split_words(text.substr(at + 4, header_end - at - 4));
        std::size_t body_start = std::min(header_end + 1, text.size());
        std::size_t body_end = body_start;
        while (body_end < text.size() && text.compare(body_end, 4, "--- ") != 0) {
            std::size_t newline = text.find('\n', body_end);
            body_end = newline == std::string::npos ? text.size() : newline + 1;
        }
        Bytes body = text.substr(body_start, body_end - body_start);
        at = body_end;

        std::string where =
            path.filename().string() + " section '--- " + (header.empty() ? "" : header[0]) + "'";
        if (header.empty()) throw std::runtime_error(where + ": empty header");
        const std::string& kind = header[0];
        bool hex = header.back() == "hex";
        if (kind == "source") {
            result.files["in.orv"] = hex ? parse_bytes(body, where) : body;
        } else if (kind == "file" && header.size() >= 2) {
            result.files[header[1]] = hex ? parse_bytes(body, where) : body;
        } else if (kind == "copy" && header.size() == 3) {
            result.files[header[1]] = read_file(fs::path(ORVASM_ROOT) / header[2]);
        } else if (kind == "dir" && header.size() == 2) {
            result.dirs.push_back(header[1]);
        } else if (kind == "args") {
            result.args = split_words(body);
        } else if (kind == "status") {
            result.status = std::stoi(body);
        } else if (kind == "stderr") {
            result.stderr_text = body;
        } else if (kind == "stdout") {
            result.stdout_text = body;
        } else if (kind == "expect" && header.size() == 2) {
            result.expected[header[1]] = parse_bytes(body, where);
        } else {
            throw std::runtime_error(where + ": unknown section");
        }
    }
    return result;
}

struct RunResult {
    int status = -1;
    Bytes out;
    Bytes err;
};

RunResult run_in(const fs::path& dir, const std::vector<std::string>& args) {
    fs::path out_path = dir.parent_path() / (dir.filename().string() + ".stdout");
    fs::path err_path = dir.parent_path() / (dir.filename().string() + ".stderr");
    pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(ORVASM_BINARY));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(ORVASM_BINARY, argv.data());
        _exit(127);
    }
    RunResult result;
    int raw = 0;
    waitpid(child, &raw, 0);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return result;
}

// Shows bytes so that blanks, line ends and binary data are all visible.
std::string visible(const Bytes& bytes, std::size_t limit = 4000) {
    std::string shown;
    for (std::size_t i = 0; i < bytes.size() && i < limit; i++) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n') {
            shown += "\\n\n";
        } else if (c >= 0x20 && c < 0x7f && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    if (bytes.size() > limit) shown += "...";
    return shown;
}

std::string hex_difference(const Bytes& expected, const Bytes& actual) {
    std::size_t first = 0;
    while (first < expected.size() && first < actual.size() && expected[first] == actual[first])
        first++;
    std::ostringstream out;
    out << "expected " << expected.size() << " bytes, got " << actual.size()
        << "; first difference at offset " << first << " (0x" << std::hex << first << ")\n";
    auto dump = [&](const char* label, const Bytes& bytes) {
        out << label;
        std::size_t from = first >= 8 ? first - 8 : 0;
        for (std::size_t i = from; i < bytes.size() && i < first + 16; i++) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(bytes[i]));
            out << hex;
        }
        out << "\n";
    };
    dump("  expected:", expected);
    dump("  actual:  ", actual);
    return out.str();
}

std::vector<fs::path> case_files() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fs::path(ORVASM_ROOT) / "tests/cases"))
        if (entry.path().extension() == ".case") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class CaseTest : public testing::TestWithParam<fs::path> {};

TEST_P(CaseTest, Runs) {
    Case c = parse_case(GetParam());
    char pattern[] = "/tmp/orvasm-case-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path dir = fs::path(pattern) / "work";
    fs::create_directory(dir);
    for (const std::string& name : c.dirs) fs::create_directories(dir / name);
    for (const auto& [name, bytes] : c.files) {
        fs::create_directories((dir / name).parent_path());
        write_file(dir / name, bytes);
    }

    RunResult run = run_in(dir, c.args);

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.stdout_text) << "standard output differs.\nexpected:\n"
                                      << visible(c.stdout_text) << "\nactual:\n"
                                      << visible(run.out);
    EXPECT_EQ(run.err, c.stderr_text) << "standard error differs.\nexpected:\n"
                                      << visible(c.stderr_text) << "\nactual:\n"
                                      << visible(run.err);
    for (const auto& [name, bytes] : c.expected) {
        if (!fs::is_regular_file(dir / name)) {
            ADD_FAILURE() << "expected file " << name << " was not written";
            continue;
        }
        Bytes actual = read_file(dir / name);
        EXPECT_TRUE(actual == bytes) << name << " differs: " << hex_difference(bytes, actual);
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string name = fs::relative(entry.path(), dir).string();
        if (c.expected.count(name)) continue;
        auto created = c.files.find(name);
        if (created == c.files.end())
            ADD_FAILURE() << "unexpected file " << name << " was written";
        else
            EXPECT_TRUE(read_file(entry.path()) == created->second)
                << name
                << " was changed: " << hex_difference(created->second, read_file(entry.path()));
    }
    fs::remove_all(pattern);
}

std::string case_name(const testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest, testing::ValuesIn(case_files()), case_name);

} // namespace
