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
    while (read_token(*stream, token, width)) tokens.emplace_back(token);
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
    EXPECT_FALSE(read_token(*stream, token, 63));
    EXPECT_TRUE(stream->failed);
    std::fclose(directory);
}
