// The token reader against formatted scanning, its model: splitting, widths,
// 0x00 bytes, block ends, read errors and the skipping of comment text.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "assembler/token_reader.hpp"

namespace {

// Tokens as the reader splits them, with `width` for every token.
std::vector<std::string> read_all(const std::string& text, int width) {
    std::vector<std::string> tokens;
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, file, "test");
    char token[64];
    while (read_token(*stream, token, width) >= 0) tokens.emplace_back(token);
    EXPECT_FALSE(stream->failed);
    std::fclose(file);
    return tokens;
}

// Tokens as formatted scanning with the same width splits them.
std::vector<std::string> scan_all(const std::string& text, int width) {
    std::vector<std::string> tokens;
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    std::string format = "%" + std::to_string(width) + "s";
    char token[64];
    while (std::fscanf(file, format.c_str(), token) == 1) tokens.emplace_back(token);
    std::fclose(file);
    return tokens;
}

} // namespace

TEST(TokenReader, SplitsOnEveryWhitespaceByteOnly) {
    std::string text = " a\tb\nc\vd\fe\rf  \xa0g\x85h ";
    std::vector<std::string> expected = {"a", "b", "c", "d", "e", "f", "\xa0g\x85h"};
    EXPECT_EQ(read_all(text, 63), expected);
}

TEST(TokenReader, LongRunsArriveInPiecesOfTheWidth) {
    std::string run(130, 'x');
    auto tokens = read_all(run + ")", 63);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].size(), 63u);
    EXPECT_EQ(tokens[1].size(), 63u);
    EXPECT_EQ(tokens[2], "xxxx)");
    EXPECT_EQ(read_all(std::string(62, 'y'), 62).size(), 1u);
    EXPECT_EQ(read_all(std::string(63, 'y'), 62).size(), 2u);
}

TEST(TokenReader, NulIsTakenIntoTheTokenButEndsItsText) {
    std::string text("ab\0cd ef \0x", 11);
    std::vector<std::string> expected = {"ab", "ef", ""};
    EXPECT_EQ(read_all(text, 63), expected);
}

TEST(TokenReader, AgreesWithFormattedScanningOnRandomBytes) {
    std::mt19937 random(12345);
    // Mostly whitespace and a few sigils, so that runs of every length occur,
    // across block boundaries too.
    const std::string alphabet = std::string(" \t\n\r\v\f()ab#\x80\xff", 14) + std::string(1, '\0');
    for (int round = 0; round < 200; round++) {
        std::string text;
        std::size_t size = random() % 40000;
        for (std::size_t i = 0; i < size; i++) {
            if (random() % 50 == 0) text.append(random() % 200, 'z');
            text += alphabet[random() % alphabet.size()];
        }
        for (int width : {62, 63}) ASSERT_EQ(read_all(text, width), scan_all(text, width));
    }
}

TEST(TokenReader, ReadErrorIsNotTheEndOfTheStream) {
    std::FILE* directory = std::fopen(".", "r");
    ASSERT_NE(directory, nullptr);
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, directory, ".");
    char token[64];
    EXPECT_EQ(read_token(*stream, token, 63), -1);
    EXPECT_TRUE(stream->failed);
    std::fclose(directory);
}

namespace {

std::FILE* file_holding(const std::string& text) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

// The tokens of width 63 that follow a comment opened before `text`, when
// the reader skips it; each text length is checked on the way.
std::vector<std::string> after_skipped_comment(const std::string& text) {
    std::vector<std::string> tokens;
    std::FILE* file = file_holding(text);
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, file, "test");
    skip_comment_tokens(*stream, 1);
    char token[64];
    for (int length; (length = read_token(*stream, token, 63)) >= 0;) {
        EXPECT_EQ(static_cast<std::size_t>(length), std::string(token).size());
        tokens.emplace_back(token);
    }
    std::fclose(file);
    return tokens;
}

// The same tokens as formatted scanning finds them: tokens of width 63 are
// counted until a lone ")" takes the depth below 1.
std::vector<std::string> after_scanned_comment(const std::string& text) {
    std::vector<std::string> tokens;
    std::FILE* file = file_holding(text);
    char token[64];
    for (int depth = 1; depth >= 1 && std::fscanf(file, "%63s", token) == 1;) {
        if (std::string(token) == "(") depth++;
        if (std::string(token) == ")") depth--;
    }
    while (std::fscanf(file, "%63s", token) == 1) tokens.emplace_back(token);
    std::fclose(file);
    return tokens;
}

// Text that makes comments hard to skip: lone and attached parentheses,
// 0x00 bytes, and runs long enough to be cut into pieces of 63.
std::string comment_text(std::mt19937& random, std::size_t size) {
    const std::string pieces[] = {" ",  "\n", "(",     ")",    "x",  std::string(1, '\0'),
                                  "((", "a)", "(b",    "\t)",  "\v", std::string(")\0z", 3),
                                  "))", "y",  "\r(\f", "word", "0"};
    std::string text;
    while (text.size() < size) {
        if (random() % 40 == 0) text.append(60 + random() % 70, 'r');
        text += pieces[random() % std::size(pieces)];
    }
    return text;
}

} // namespace

TEST(TokenReader, CommentSkipAgreesWithFormattedScanning) {
    std::mt19937 random(2718);
    for (int round = 0; round < 300; round++) {
        // Several blocks of the stream buffer, so that refills fall inside comments.
        std::string text = comment_text(random, random() % (3 * STREAM_BUFFER_SIZE));
        ASSERT_EQ(after_skipped_comment(text), after_scanned_comment(text)) << "round " << round;
    }
}

TEST(TokenReader, CommentSkipAcrossEveryBlockEnd) {
    // The closing token, plain, cut from a long run, or followed by 0x00,
    // placed at every offset around the end of the first block.
    const std::string closers[] = {")", std::string(63, 'x') + ")", std::string(")\0tail", 6),
                                   std::string(62, 'x') + ")", "(x)"};
    for (const std::string& closer : closers) {
        for (std::uint32_t back = 0; back < 70; back++) {
            std::string text(STREAM_BUFFER_SIZE - back, ' ');
            text += closer + " after " + std::string(back, 'q') + " ) last";
            ASSERT_EQ(after_skipped_comment(text), after_scanned_comment(text))
                << "closer " << closer << ", " << back << " bytes before the block end";
        }
    }
}

TEST(TokenReader, TokensAcrossEveryBlockEnd) {
    for (std::uint32_t back = 0; back < 70; back++) {
        std::string text(STREAM_BUFFER_SIZE - back, '\n');
        text += std::string(70, 'w') + " " + std::string(61, 'v') + std::string(1, '\0') + "u tail";
        for (int width : {62, 63}) ASSERT_EQ(read_all(text, width), scan_all(text, width)) << back;
    }
}

TEST(TokenReader, AgreesWithFormattedScanningOnEveryByte) {
    std::mt19937 random(31415);
    for (int round = 0; round < 100; round++) {
        std::string text;
        std::size_t size = random() % 40000;
        // Whitespace often enough that tokens stay short, every other byte too.
        for (std::size_t i = 0; i < size; i++)
            text += random() % 4 == 0 ? ' ' : static_cast<char>(random() % 256);
        for (int width : {62, 63}) ASSERT_EQ(read_all(text, width), scan_all(text, width));
    }
}
