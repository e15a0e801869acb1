// The image and instruction encoding: mnemonics and mode letters, and the
// write checks of the emitters at the zero page, the high-water mark and the
// end of memory.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "assembler/assembler.hpp"
#include "test_support.hpp"

TEST(LookupInstruction, EncodesBaseAndModeBits) {
    EXPECT_EQ(lookup_instruction("LIT"), 0x80);
    EXPECT_EQ(lookup_instruction("LITk"), 0x80);
    EXPECT_EQ(lookup_instruction("LIT2"), 0xa0);
    EXPECT_EQ(lookup_instruction("LITr"), 0xc0);
    EXPECT_EQ(lookup_instruction("INC"), 0x01);
    EXPECT_EQ(lookup_instruction("INC2"), 0x21);
    EXPECT_EQ(lookup_instruction("ADD2k"), 0xb8);
    EXPECT_EQ(lookup_instruction("SFT2kr"), 0xff);
    EXPECT_EQ(lookup_instruction("SFTrk22r"), 0xff);
    EXPECT_EQ(lookup_instruction("DEO"), 0x17);
    EXPECT_EQ(lookup_instruction("EOR"), 0x1e);
}

TEST(LookupInstruction, RefusesWhatIsNotAnInstruction) {
    EXPECT_EQ(lookup_instruction("ADDx"), 0);
    EXPECT_EQ(lookup_instruction("add"), 0);
    EXPECT_EQ(lookup_instruction("AD"), 0);
    EXPECT_EQ(lookup_instruction("BRK"), 0);
    EXPECT_TRUE(is_instruction_word("BRK", 3));
    EXPECT_FALSE(is_instruction_word("BRK2", 4));
    EXPECT_FALSE(is_instruction_word("BRKk", 4));
    EXPECT_FALSE(is_instruction_word("ADDx", 4));
    EXPECT_TRUE(is_instruction_word("ORA2r", 5));
    // Words that differ from BRK in one letter.
    for (const char* word : {"ARK", "BAK", "BRA", "XRK"})
        EXPECT_FALSE(is_instruction_word(word, 3)) << word;
    EXPECT_EQ(lookup_instruction(""), 0);
    EXPECT_EQ(lookup_instruction("A"), 0);
}

// Mnemonics are found by a hash of their letters: every three-letter word
// over the letters and bytes that could collide must find exactly the
// mnemonic it spells, and nothing else.
TEST(LookupInstruction, OnlyTheThirtyTwoMnemonicsAreFound) {
    const std::string table = "LITINCPOPNIPSWPROTDUPOVREQUNEQGTHLTHJMPJCNJSRSTH"
                              "LDZSTZLDRSTRLDASTADEIDEOADDSUBMULDIVANDORAEORSFT";
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZaz2rk\x80\xff";
    int found = 0;
    for (char a : letters)
        for (char b : letters)
            for (char c : letters) {
                const char word[4] = {a, b, c, '\0'};
                std::size_t at = table.find(word);
                bool is_mnemonic = at != std::string::npos && at % 3 == 0;
                std::uint8_t expected = is_mnemonic ? (at == 0 ? 0x80 : at / 3) : 0;
                ASSERT_EQ(lookup_instruction(word), expected) << word;
                found += is_mnemonic;
            }
    EXPECT_EQ(found, 32);
}

class EmitTest : public testing::Test {
  protected:
    std::unique_ptr<AssemblerState> state = std::make_unique<AssemblerState>();
    CapturedDiagnostics captured{*state};
};

TEST_F(EmitTest, WritesAtTheCursorAndRaisesTheHighWaterMark) {
    state->cursor = PROGRAM_START;
    ASSERT_TRUE(emit_short(*state, 0x1234, true));
    EXPECT_EQ(state->cursor, 0x0103u);
    EXPECT_EQ(state->length, 0x0103u);
    EXPECT_EQ(state->image[0x0100], 0xa0);
    EXPECT_EQ(state->image[0x0101], 0x12);
    EXPECT_EQ(state->image[0x0102], 0x34);
    EXPECT_EQ(captured.text(), "");
}

TEST_F(EmitTest, LastByteOfMemoryIsWritableAndTheNextIsNot) {
    state->cursor = 0xffff;
    ASSERT_TRUE(emit_byte(*state, 0x42));
    EXPECT_EQ(state->length, 0x10000u);
    EXPECT_FALSE(emit_byte(*state, 0x43));
    EXPECT_EQ(captured.text(), "Writing after the end of RAM: \n");
    EXPECT_EQ(state->cursor, 0x10000u);
}

TEST_F(EmitTest, ZeroPageIsCheckedBeforeOverwrite) {
    state->cursor = 0x0200;
    ASSERT_TRUE(emit_byte(*state, 1));
    state->cursor = 0x0050;
    EXPECT_FALSE(emit_byte(*state, 2));
    state->cursor = 0x0100;
    EXPECT_FALSE(emit_byte(*state, 3));
    EXPECT_EQ(captured.text(), "Writing in zero-page: \nMemory overwrite: \n");
    EXPECT_EQ(state->length, 0x0201u);
    EXPECT_EQ(state->image[0x0100], 0);
}

TEST_F(EmitTest, FailedShortKeepsTheBytesAlreadyWritten) {
    state->cursor = 0xfffe;
    EXPECT_FALSE(emit_short(*state, 0xabcd, true));
    EXPECT_EQ(state->image[0xfffe], 0xa0);
    EXPECT_EQ(state->image[0xffff], 0xab);
    EXPECT_EQ(state->length, 0x10000u);
}

// A run of bytes written at once must end exactly as the same bytes written
// one at a time would, wherever the cursor and the high-water mark stand.
TEST(EmitBytes, EndsLikeSingleWrites) {
    const std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    for (std::uint32_t cursor : {0x00fcu, 0x00ffu, 0x0100u, 0x01ffu, 0x0200u, 0xfffbu, 0xfffcu,
                                 0xfffeu, 0xffffu, 0x10000u, 0xfffffffeu}) {
        for (std::uint32_t count = 0; count <= 5; count++) {
            auto once = std::make_unique<AssemblerState>();
            auto single = std::make_unique<AssemblerState>();
            // Something written up to 0x0200 already, to overwrite below it.
            for (AssemblerState* state : {once.get(), single.get()}) {
                state->length = 0x0200;
                state->cursor = cursor;
            }
            std::string once_text, single_text;
            int once_result, single_result = 1;
            {
                CapturedDiagnostics captured(*once);
                once_result = emit_bytes(*once, bytes, count);
                once_text = captured.text();
            }
            {
                CapturedDiagnostics captured(*single);
                for (std::uint32_t i = 0; i < count && single_result; i++)
                    single_result = emit_byte(*single, bytes[i]);
                single_text = captured.text();
            }
            ASSERT_EQ(once_result, single_result) << std::hex << cursor << " " << count;
            ASSERT_EQ(once_text, single_text) << std::hex << cursor << " " << count;
            ASSERT_EQ(once->cursor, single->cursor);
            ASSERT_EQ(once->length, single->length);
            ASSERT_EQ(std::string(reinterpret_cast<char*>(once->image), IMAGE_SIZE),
                      std::string(reinterpret_cast<char*>(single->image), IMAGE_SIZE));
        }
    }
}
