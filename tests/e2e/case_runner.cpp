// Runs the orvasm binary on each tests/cases/*.case file in an empty
// directory and compares the exit status, the whole standard error and
// standard output, and every file left behind. The format is described in
// tests/cases/README.md and read by support/case_file.cpp. A build for
// another platform is run through its emulator (support/run_program.hpp,
// tools/cross_test.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_file.hpp"
#include "support/files.hpp"
#include "support/run_program.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

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

// The expected standard error with each "@PWD@" made the directory the case
// runs in, as the program finds it: lines that name the working directory.
std::string in_directory(std::string text, const fs::path& dir) {
    const std::string mark = "@PWD@";
    std::string path = fs::canonical(dir).string();
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        text.replace(at, mark.size(), path);
        at += path.size();
    }
    return text;
}

class CaseTest : public testing::TestWithParam<fs::path> {};

TEST_P(CaseTest, Runs) {
    Case c = read_case(GetParam(), ORVASM_ROOT);
    ScratchDirectory scratch("orvasm-case");
    fs::path dir = scratch.path() / "work";
    fs::create_directory(dir);
    for (const std::string& name : c.dirs) fs::create_directories(dir / name);
    for (const CaseFile& file : c.files) {
        fs::create_directories((dir / file.name).parent_path());
        write_file(dir / file.name, file.bytes);
    }

    RunResult run = run_tested(ORVASM_BINARY, dir, c.args);
    c.stderr_text = in_directory(c.stderr_text, dir);

    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.stdout_text) << "standard output differs.\nexpected:\n"
                                      << visible(c.stdout_text) << "\nactual:\n"
                                      << visible(run.out);
    EXPECT_EQ(run.err, c.stderr_text) << "standard error differs.\nexpected:\n"
                                      << visible(c.stderr_text) << "\nactual:\n"
                                      << visible(run.err);
    for (const CaseFile& file : c.expected) {
        if (!fs::is_regular_file(dir / file.name)) {
            ADD_FAILURE() << "expected file " << file.name << " was not written";
            continue;
        }
        Bytes actual = read_file(dir / file.name);
        EXPECT_TRUE(actual == file.bytes)
            << file.name << " differs: " << hex_difference(file.bytes, actual);
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string name = fs::relative(entry.path(), dir).string();
        if (find_case_file(c.expected, name)) continue;
        const CaseFile* created = find_case_file(c.files, name);
        if (!created)
            ADD_FAILURE() << "unexpected file " << name << " was written";
        else
            EXPECT_TRUE(read_file(entry.path()) == created->bytes)
                << name
                << " was changed: " << hex_difference(created->bytes, read_file(entry.path()));
    }
}

std::string case_name(const testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, CaseTest, testing::ValuesIn(case_files()), case_name);

} // namespace
