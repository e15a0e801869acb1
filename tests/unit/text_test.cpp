// The text helpers of src/common/: hexadecimal words, lengths and copies.
#include <gtest/gtest.h>

#include "common/text.hpp"

TEST(HexWords, OnlyLowerCaseDigitsCount) {
    EXPECT_TRUE(is_hex_word("0123456789abcdef"));
    EXPECT_FALSE(is_hex_word(""));
    EXPECT_FALSE(is_hex_word("FF"));
    EXPECT_FALSE(is_hex_word("12g"));
}

TEST(TextHelpers, CopyAndLength) {
    char buffer[16] = "xxxxxxxxxxxxxxx";
    copy_text(buffer, "hello", 2);
    EXPECT_STREQ(buffer, "he");
    EXPECT_EQ(buffer[3], 'x');
    copy_text(buffer, "hello", 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(text_length("hi/there"), 8);
    EXPECT_EQ(text_length(""), 0);
}

// Reading a word accepts what is_hex_word accepts and gives its value, which
// wraps in 32 bits: only the last eight digits remain.
TEST(HexWords, ReadingAgreesWithTestingAndGivesTheValue) {
    const struct {
        const char* word;
        std::uint32_t value;
    } words[] = {{"0", 0},
                 {"12", 0x12},
                 {"1234", 0x1234},
                 {"abcdef", 0xabcdef},
                 {"ffffffff", 0xffffffff},
                 {"123456789", 0x23456789},
                 {"000000000000001f", 0x1f}};
    for (const auto& [word, expected] : words) {
        std::uint32_t value = 0xdeadbeef;
        EXPECT_TRUE(read_hex_word(word, value)) << word;
        EXPECT_EQ(value, expected) << word;
    }
    for (const char* s : {"", "FF", "12g", "g", "1 2", "-1", "0x12", "aB", "1x2G"}) {
        std::uint32_t value = 0xdeadbeef;
        EXPECT_FALSE(read_hex_word(s, value)) << s;
        // A word that is not hexadecimal leaves the value alone.
        EXPECT_EQ(value, 0xdeadbeefu) << s;
    }
}
