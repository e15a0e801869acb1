// The source lines a listing shows are read back by number: only those
// asked for, each file once, and nothing where a line or a file is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/source_lines.hpp"
#include "support/files.hpp"

namespace {

std::string text_of(FileLines& lines, std::uint16_t file, std::uint32_t line) {
    SourceLines source = lines.source_lines();
    std::size_t length = 0;
    const char* text = source.text(source.context, file, line, &length);
    return text ? std::string(text, length) : "(none)";
}

TEST(SourceLines, OnlyTheLinesAskedForOfFilesThatCanBeRead) {
    char pattern[] = "/tmp/orvasm-lines-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::path dir = pattern;
    write_file(dir / "in.orv", "one\r\ntwo\nthree");
    auto state = std::make_unique<AssemblerState>();
    std::string source = (dir / "in.orv").string();
    state->source_path = source.c_str();
    state->included_count = 1;
    std::snprintf(state->included[0].path, NAME_SIZE, "%s", (dir / "missing").c_str());
    std::vector<ListingRecord> records = {{{3, 1, 0}, 0, 0, 0, ListingKind::Bytes, 0},
                                          {{1, 1, 0}, 0, 0, 0, ListingKind::Bytes, 0},
                                          {{9, 1, 0}, 0, 0, 0, ListingKind::Bytes, 0},
                                          {{1, 1, 1}, 0, 0, 0, ListingKind::Bytes, 0}};
    FileLines lines(*state, records.data(), records.size());
    EXPECT_EQ(text_of(lines, 0, 1), "one");
    EXPECT_EQ(text_of(lines, 0, 2), "(none)"); // not asked for
    EXPECT_EQ(text_of(lines, 0, 3), "three");
    EXPECT_EQ(text_of(lines, 0, 9), "(none)"); // past the end
    EXPECT_EQ(text_of(lines, 1, 1), "(none)"); // cannot be read
    EXPECT_EQ(text_of(lines, 2, 1), "(none)"); // no such file
    std::filesystem::remove_all(dir);
}

} // namespace
