// The token reader against formatted scanning, its model: splitting, widths,
// 0x00 bytes, block ends, read errors and the skipping of comment text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "assembler/comment_scan.hpp"
#include "assembler/reader_masks.hpp"
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

namespace {

// Reads `file` (then closes it): no token comes, now or after, and the
// stream is marked failed rather than ended.
void expect_failed_reading(std::FILE* file) {
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, file, "test");
    char token[64];
    EXPECT_EQ(read_token(*stream, token, 63), -1);
    EXPECT_TRUE(stream->failed);
    EXPECT_EQ(read_token(*stream, token, 63), -1);
    std::fclose(file);
}

} // namespace

TEST(TokenReader, ReadErrorIsNotTheEndOfTheStream) {
    std::FILE* directory = std::fopen(".", "r");
    ASSERT_NE(directory, nullptr);
    expect_failed_reading(directory);
}

namespace {

// A file that gives its text, then fails.
struct FailingAfter {
    std::string text;
    std::size_t at = 0;

    static ssize_t read(void* cookie, char* buffer, std::size_t size) {
        auto& file = *static_cast<FailingAfter*>(cookie);
        if (file.at == file.text.size()) {
            errno = EIO;
            return -1;
        }
        std::size_t count = std::min(size, file.text.size() - file.at);
        std::memcpy(buffer, file.text.data() + file.at, count);
        file.at += count;
        return static_cast<ssize_t>(count);
    }
};

} // namespace

// A read error fails the block it cut short: no token of it is handed on,
// not even a whole one before the error.
TEST(TokenReader, NoTokenOfABlockCutByAReadErrorIsHandedOn) {
    FailingAfter source{"12 ab"};
    std::FILE* file = fopencookie(&source, "r", {&FailingAfter::read, nullptr, nullptr, nullptr});
    ASSERT_NE(file, nullptr);
    expect_failed_reading(file);
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

namespace {

// The tokens outside comments, as the assembler sees them: a token that
// begins with "(" opens a comment, skipped by skip_comments, which may go on
// through the comments after it.
std::vector<std::string> outside_skipped_comments(const std::string& text) {
    std::vector<std::string> tokens;
    std::FILE* file = file_holding(text);
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, file, "test");
    char token[64];
    while (read_token(*stream, token, 63) >= 0) {
        if (token[0] == '(')
            skip_comments(*stream, 1);
        else
            tokens.emplace_back(token);
    }
    std::fclose(file);
    return tokens;
}

// The same tokens as formatted scanning finds them, one comment at a time.
std::vector<std::string> outside_scanned_comments(const std::string& text) {
    std::vector<std::string> tokens;
    std::FILE* file = file_holding(text);
    char token[64];
    int depth = 0;
    while (std::fscanf(file, "%63s", token) == 1) {
        std::string word(token);
        if (depth == 0 && token[0] == '(')
            depth = 1;
        else if (depth == 0)
            tokens.push_back(word);
        else
            depth += (word == "(") - (word == ")");
    }
    std::fclose(file);
    return tokens;
}

// Comments in a row, with malformed openers, glued parentheses, 0x00 and
// words between some of them.
std::string comment_run(std::mt19937& random, std::size_t size) {
    const std::string pieces[] = {"( a )", "( ( b ) c )", "(d )", " ", "\n\t", "(", ")", "x", "))",
                                  "e)", "(\0", std::string(")\0", 2), "( )", "\r\n", "(f",
                                  std::string(70, 'r') + ")",
                                  // an opening token cut after 63 bytes, before a ")"
                                  "(" + std::string(62, 'r') + ")"};
    std::string text;
    while (text.size() < size) text += pieces[random() % std::size(pieces)] + " ";
    return text;
}

// `bytes` holds `size` bytes and then the stop byte and the zeros that the
// stream plants after its data.
std::vector<unsigned char> planted(const std::string& data) {
    std::vector<unsigned char> bytes(data.begin(), data.end());
    bytes.push_back(')');
    bytes.resize(bytes.size() + COMMENT_SCAN_STEP, 0);
    return bytes;
}

std::uint32_t first_parenthesis(const std::vector<unsigned char>& bytes, std::uint32_t from) {
    while (bytes[from] != '(' && bytes[from] != ')') from++;
    return from;
}

// Every search this machine can run, against the plain loop, from `from`.
void expect_searches_agree(const std::vector<unsigned char>& bytes, std::uint32_t from) {
    std::uint32_t expected = first_parenthesis(bytes, from);
    ASSERT_EQ(find_parenthesis_in_words(bytes.data(), from), expected) << "from " << from;
#if defined(__SSE2__)
    ASSERT_EQ(find_parenthesis_sse2(bytes.data(), from), expected) << "from " << from;
#endif
}

unsigned plain_spaces_before(const unsigned char* at) {
    unsigned spaces = 0;
    for (std::uint32_t i = 0; i < COMMENT_SCAN_STEP; i++) {
        unsigned char c = at[static_cast<int>(i) - static_cast<int>(COMMENT_SCAN_STEP)];
        if (c == ' ' || (c >= '\t' && c <= '\r')) spaces |= 1u << i;
    }
    return spaces;
}

void expect_space_masks_agree(const unsigned char* at) {
    unsigned expected = plain_spaces_before(at);
    ASSERT_EQ(spaces_before_in_words(at), expected);
#if defined(__SSE2__)
    ASSERT_EQ(spaces_before_sse2(at), expected);
#endif
}

} // namespace

TEST(CommentScan, ParenthesisSearchesAgreeOnRandomBuffers) {
    std::mt19937 random(1618);
    for (int round = 0; round < 200; round++) {
        std::string data(random() % 300, '\0');
        // Sparse or dense parentheses among bytes of every value, 0x28 and
        // 0x29's neighbours by the low bit among them.
        unsigned density = 1 + random() % 40;
        for (char& c : data)
            c = random() % density == 0 ? "()"[random() % 2] : static_cast<char>(random() % 256);
        std::vector<unsigned char> bytes = planted(data);
        for (std::uint32_t from = 0; from <= data.size(); from++)
            expect_searches_agree(bytes, from);
    }
}

TEST(CommentScan, ParenthesisSearchesStopAtEveryBlockEnd) {
    // No parenthesis in the data: each search must stop at the planted one,
    // wherever it lies within a step, from every start.
    for (std::uint32_t size = 0; size < 3 * COMMENT_SCAN_STEP + 3; size++) {
        std::vector<unsigned char> bytes = planted(std::string(size, '*'));
        for (std::uint32_t from = 0; from <= size; from++) expect_searches_agree(bytes, from);
    }
}

TEST(CommentScan, SpaceMasksAgreeOnEveryByteAtEveryPlace) {
    std::mt19937 random(577);
    unsigned char bytes[2 * COMMENT_SCAN_STEP];
    for (int value = 0; value < 256; value++) {
        for (std::uint32_t place = 0; place < COMMENT_SCAN_STEP; place++) {
            for (unsigned char& c : bytes) c = static_cast<unsigned char>('!' + random() % 94);
            bytes[COMMENT_SCAN_STEP + place] = static_cast<unsigned char>(value);
            expect_space_masks_agree(bytes + 2 * COMMENT_SCAN_STEP);
        }
    }
    for (int round = 0; round < 2000; round++) {
        for (unsigned char& c : bytes)
            c = random() % 3 ? static_cast<unsigned char>(random() % 256)
                             : " \t\n\v\f\r"[random() % 6];
        expect_space_masks_agree(bytes + COMMENT_SCAN_STEP + random() % (COMMENT_SCAN_STEP + 1));
    }
}

TEST(ReaderMasks, LineFeedMasksAgreeOnEveryByteAtEveryPlace) {
    std::mt19937 random(1009);
    unsigned char bytes[MASK_STEP];
    for (int round = 0; round < 4000; round++) {
        // Line feeds among their neighbours by one bit (0x0b, 0x08, 0x8a, 0x2a).
        for (unsigned char& c : bytes)
            c = random() % 3
                    ? static_cast<unsigned char>(random() % 256)
                    : static_cast<unsigned char>('\n' ^ (random() % 2 ? 0 : 1u << (random() % 8)));
        unsigned expected = 0;
        for (std::uint32_t i = 0; i < MASK_STEP; i++) expected |= unsigned{bytes[i] == '\n'} << i;
        ASSERT_EQ(line_feeds_in_words(bytes), expected);
#if defined(__SSE2__)
        ASSERT_EQ(line_feeds_sse2(bytes), expected);
#endif
    }
}

TEST(ReaderMasks, BlankOrBelowMasksAgreeOnEveryByteAtEveryPlace) {
    std::mt19937 random(433);
    unsigned char bytes[MASK_STEP];
    for (int value = 0; value < 256; value++) {
        for (std::uint32_t place = 0; place < MASK_STEP; place++) {
            for (unsigned char& c : bytes) c = static_cast<unsigned char>('!' + random() % 94);
            bytes[place] = static_cast<unsigned char>(value);
            unsigned expected = value <= ' ' ? 1u << place : 0;
            ASSERT_EQ(blank_or_below_in_words(bytes), expected) << value;
#if defined(__SSE2__)
            ASSERT_EQ(blank_or_below_sse2(bytes), expected) << value;
#endif
        }
    }
}

TEST(TokenReader, SkipCommentsGoesOnThroughCommentsInARow) {
    // The token after the skip, for the rest of a comment opened before it.
    auto next_after = [](const std::string& text) {
        std::FILE* file = file_holding(text);
        auto stream = std::make_unique<TokenStream>();
        open_token_stream(*stream, file, "test");
        skip_comments(*stream, 1);
        char token[64];
        std::string next = read_token(*stream, token, 63) >= 0 ? token : "(none)";
        std::fclose(file);
        return next;
    };
    EXPECT_EQ(next_after("a ) ( b ) \n\t( c ( d ) )\v( ) x"), "x");
    // Only a lone "(" goes on; a longer token is left for the reader, which
    // warns about it, and so is a "(" past the block.
    EXPECT_EQ(next_after("a ) (e ) x"), "(e");
    EXPECT_EQ(next_after(std::string("a ) (\0 ) x", 11)), "(");
    EXPECT_EQ(next_after("a )" + std::string(STREAM_BUFFER_SIZE, ' ') + "( b ) x"), "(");
    EXPECT_EQ(next_after("a ) ( b"), "(none)");
}

// A comment 2^31 - 1 levels deep (4 GiB of "( ") goes one deeper and back
// without the depth wrapping round and ending the comment.
TEST(TokenReader, CommentDepthPastThirtyOneBitsDoesNotWrap) {
    std::FILE* file = file_holding("( ( ) ) ) x");
    auto stream = std::make_unique<TokenStream>();
    open_token_stream(*stream, file, "test");
    skip_comment_tokens(*stream, std::int64_t{INT32_MAX});
    char token[64];
    EXPECT_LT(read_token(*stream, token, 63), 0) << "the comment ended at " << token;
    std::fclose(file);
}

TEST(TokenReader, CommentRunsAgreeWithFormattedScanning) {
    std::mt19937 random(1414);
    for (int round = 0; round < 100; round++) {
        std::string text = comment_run(random, random() % (2 * STREAM_BUFFER_SIZE + 1000));
        ASSERT_EQ(outside_skipped_comments(text), outside_scanned_comments(text))
            << "round " << round;
    }
}

TEST(TokenReader, CommentRunAcrossEveryBlockEnd) {
    // The whitespace between two comments, or the "(" of the second, at
    // every offset around the end of the first block; the skip must leave
    // the run there and take it up again through the reader.
    for (std::uint32_t back = 0; back < 70; back++) {
        std::string text = "(" + std::string(STREAM_BUFFER_SIZE - back, ' ') + ")   ( b ) ( c )";
        text += " word (d ) after";
        std::vector<std::string> expected = {"word", "after"};
        ASSERT_EQ(outside_skipped_comments(text), expected) << back;
        ASSERT_EQ(outside_scanned_comments(text), expected) << back;
    }
}
