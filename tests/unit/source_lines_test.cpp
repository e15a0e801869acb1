// The source lines a listing shows are read back by number: only those
// asked for, each file once, and nothing where a line or a file is missing.
// Files are read whole or a block at a time; small blocks put every line end
// of a file on some boundary, and a plain split of the file is the reference.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "output/source_lines.hpp"
#include "support/files.hpp"

namespace {

class SourceLines : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvasm-lines-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        source_ = (dir_ / "in.orv").string();
        state_->source_path = source_.c_str();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // An included file, numbered from 1.
    void include(const std::string& path) {
        std::snprintf(state_->included[state_->included_count++].path, NAME_SIZE, "%s",
                      path.c_str());
    }

    // The texts of lines at `positions` ({file, line}), one listing line
    // each, as `sizes` reads them; "(none)" where there is no text.
    std::vector<std::string> texts(const std::vector<std::pair<std::uint16_t, std::uint32_t>>& at,
                                   ReadSizes sizes = {}) {
        // Labels at addresses of their own: a listing line each.
        std::vector<ListingRecord> records;
        for (auto [file, line] : at)
            records.push_back({{line, 1, file},
                               static_cast<std::uint32_t>(records.size() + 1),
                               0,
                               0,
                               ListingKind::Label,
                               0});
        ListingLines listing;
        EXPECT_TRUE(form_listing_lines(listing, *state_, records.data(), records.size()));
        EXPECT_EQ(listing.count, records.size());
        FileLines lines(sizes);
        lines.read(*state_, records.data(), listing);
        std::vector<std::string> result;
        for (std::size_t i = 0; i < listing.count; i++) {
            ShownText text = lines.texts()[i];
            result.push_back(text.bytes ? std::string(text.bytes, text.length) : "(none)");
        }
        return result;
    }

    std::filesystem::path dir_;
    std::string source_;
    std::unique_ptr<AssemblerState> state_ = std::make_unique<AssemblerState>();
};

// Every way a file is read: whole, and in blocks that a line can span.
const ReadSizes BY_WAYS[] = {{}, {16, 0, 0}, {17, 0, 0}, {1000, 0, 0}};

TEST_F(SourceLines, OnlyTheLinesAskedForOfFilesThatCanBeRead) {
    write_file(dir_ / "in.orv", "one\r\ntwo\nthree");
    include((dir_ / "missing").string());
    include(dir_.string()); // a directory: opened, but never read
    for (const ReadSizes& sizes : BY_WAYS)
        EXPECT_EQ(texts({{0, 3}, {0, 1}, {0, 9}, {0, 0}, {1, 1}, {2, 1}, {0, 3}}, sizes),
                  (std::vector<std::string>{"three", "one", "(none)", "(none)", "(none)", "(none)",
                                            "three"}));
}

TEST_F(SourceLines, LineEndsAndCarriageReturns) {
    // Only line feeds end lines; the carriage returns before one are not
    // shown, others are; a final line feed starts no line.
    write_file(dir_ / "in.orv", "a\r\r\n\r\nb\rc\r\n\n \t \nlast\r\n");
    for (const ReadSizes& sizes : BY_WAYS)
        EXPECT_EQ(texts({{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}}, sizes),
                  (std::vector<std::string>{"a", "", "b\rc", "", " \t ", "last", "(none)"}));
}

TEST_F(SourceLines, LinesLongerThanABlockAndAcrossBlocks) {
    // Lines of 0 to 300 bytes put every line end at every place of a block;
    // two are longer than a block of texts, one the last without a line end.
    std::mt19937 random(7);
    std::vector<std::string> lines;
    std::string file;
    for (int i = 0; i < 400; i++) {
        std::string line(random() % 300, 'a' + static_cast<char>(i % 26));
        if (i == 100) line.assign(70000, 'x');
        if (i == 399) line.assign(150000, 'y');
        lines.push_back(line);
        file += line + (i % 3 == 0 ? "\r\n" : "\n");
    }
    file.resize(file.size() - 1); // the last line ends at the end of the file
    write_file(dir_ / "in.orv", file);
    std::vector<std::pair<std::uint16_t, std::uint32_t>> asked;
    std::vector<std::string> expected;
    for (std::uint32_t line = 1; line <= 401; line += 1 + random() % 3) {
        asked.push_back({0, line});
        expected.push_back(line <= 400 ? lines[line - 1] : "(none)");
    }
    for (const ReadSizes& sizes : BY_WAYS) EXPECT_EQ(texts(asked, sizes), expected);
    // Blocks as large as the lines, and a file too large to be read whole.
    EXPECT_EQ(texts(asked, {65536, 0, 0}), expected);
    EXPECT_EQ(texts(asked, {1 << 17, file.size() - 1, 1 << 30}), expected);
}

TEST_F(SourceLines, LinesAskedAgainAndOutOfOrder) {
    // As macro bodies and files included again ask for them: over few lines
    // many times, or far apart.
    std::string file;
    for (int line = 1; line <= 3000; line++) file += "line " + std::to_string(line) + "\n";
    write_file(dir_ / "in.orv", file);
    std::vector<std::pair<std::uint16_t, std::uint32_t>> dense, sparse;
    std::vector<std::string> dense_texts, sparse_texts;
    for (std::uint32_t i = 0; i < 50; i++) {
        std::uint32_t line = 100 + (i * 7) % 13;
        dense.push_back({0, line});
        dense_texts.push_back("line " + std::to_string(line));
    }
    for (std::uint32_t line : {2999, 5, 2999, 1, 3001, 1500, 5}) {
        sparse.push_back({0, line});
        sparse_texts.push_back(line <= 3000 ? "line " + std::to_string(line) : "(none)");
    }
    for (const ReadSizes& sizes : BY_WAYS) {
        EXPECT_EQ(texts(dense, sizes), dense_texts);
        EXPECT_EQ(texts(sparse, sizes), sparse_texts);
    }
}

TEST_F(SourceLines, FilesReadWholeWhileTheyFit) {
    // The second file no longer fits in what is read whole, and is read in
    // blocks; a file with nothing asked of it is never read.
    write_file(dir_ / "in.orv", "main\n");
    write_file(dir_ / "a.orv", std::string(100, 'a') + "\nsecond of a\n");
    write_file(dir_ / "b.orv", std::string(100, 'b') + "\nsecond of b");
    include((dir_ / "a.orv").string());
    include((dir_ / "b.orv").string());
    include((dir_ / "unused.orv").string());
    EXPECT_EQ(
        texts({{2, 2}, {1, 2}, {0, 1}, {2, 1}}, {16, 150, 150}),
        (std::vector<std::string>{"second of b", "second of a", "main", std::string(100, 'b')}));
}

TEST_F(SourceLines, FileGoneOrChangedSinceThePass) {
    write_file(dir_ / "in.orv", "one\n");
    EXPECT_EQ(texts({{0, 1}}), std::vector<std::string>{"one"});
    write_file(dir_ / "in.orv", "");
    EXPECT_EQ(texts({{0, 1}}), std::vector<std::string>{"(none)"});
    std::filesystem::remove(dir_ / "in.orv");
    EXPECT_EQ(texts({{0, 1}}), std::vector<std::string>{"(none)"});
    std::filesystem::create_directory(dir_ / "in.orv");
    EXPECT_EQ(texts({{0, 1}}), std::vector<std::string>{"(none)"});
}

} // namespace
