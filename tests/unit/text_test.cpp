#include <gtest/gtest.h>

#include "common/text.hpp"

TEST(NamesEqual, ComparesUpToTheLimitOrTheCommonEnd) {
    EXPECT_TRUE(names_equal("ADD", "ADD2k", 3));
    EXPECT_FALSE(names_equal("ADD", "AD", 3));
    EXPECT_TRUE(names_equal("main", "main", 64));
    EXPECT_FALSE(names_equal("main", "main/loop", 64));
    EXPECT_TRUE(names_equal("BRK", "BRK", 4));
    EXPECT_FALSE(names_equal("BRK", "BRK2", 4));
    EXPECT_TRUE(names_equal("", "", 64));
}

TEST(HexWords, OnlyLowerCaseDigitsCount) {
    EXPECT_TRUE(is_hex_word("0123456789abcdef"));
    EXPECT_FALSE(is_hex_word(""));
    EXPECT_FALSE(is_hex_word("FF"));
    EXPECT_FALSE(is_hex_word("12g"));
    EXPECT_EQ(hex_word_value("1234"), 0x1234u);
    EXPECT_EQ(hex_word_value("ffffffff"), 0xffffffffu);
    // Wraps in 32 bits: only the last eight digits remain.
    EXPECT_EQ(hex_word_value("123456789"), 0x23456789u);
    // Other characters are skipped, not read as digits.
    EXPECT_EQ(hex_word_value("1x2G"), 0x12u);
}

TEST(TextHelpers, BoundedCopyPositionsAndAppend) {
    char buffer[16] = "xxxxxxxxxxxxxxx";
    EXPECT_STREQ(copy_bounded("hello", buffer, 3), "he");
    EXPECT_STREQ(copy_bounded("hello", buffer, 1), "h");
    EXPECT_STREQ(copy_bounded("hi", buffer, 16), "hi");
    EXPECT_STREQ(append_text(buffer, "/there"), "hi/there");
    EXPECT_EQ(text_length(buffer), 8);
    EXPECT_EQ(position_of("a/b/c", '/'), 2);
    EXPECT_EQ(position_of("abc", '/'), -1);
}

TEST(HexWords, ReadingAgreesWithTestingAndValue) {
    for (const char* s : {"", "0", "12", "1234", "abcdef", "ffffffff", "123456789", "FF", "12g",
                          "g", "1 2", "-1", "0x12", "aB"}) {
        std::uint32_t value = 0xdeadbeef;
        bool read = read_hex_word(s, value);
        EXPECT_EQ(read, is_hex_word(s)) << s;
        // A word that is not hexadecimal leaves the value alone.
        EXPECT_EQ(value, read ? hex_word_value(s) : 0xdeadbeefu) << s;
    }
}
