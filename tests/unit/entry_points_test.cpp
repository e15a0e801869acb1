// The core's operations called one at a time on a fresh state, where the
// assembly pass cannot reach every path on its own: each is checked against
// its messages and the records it leaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/text.hpp"
#include "test_support.hpp"

namespace {

struct EntryPoints : testing::Test {
    std::unique_ptr<AssemblerState> owned = std::make_unique<AssemblerState>();
    AssemblerState& state = *owned;
    CapturedDiagnostics captured{state};

    void SetUp() override { state.cursor = 0x1234; }

    int define(const char* name) { return define_label(state, name, text_length(name)); }
};

TEST_F(EntryPoints, DefineLabelAppendsOrRefusesWithItsMessage) {
    ASSERT_TRUE(define("main"));
    EXPECT_EQ(label_named(state, "main"), &state.labels[0]);
    EXPECT_EQ(state.labels[0].address, 0x1234);
    EXPECT_FALSE(define("main"));
    EXPECT_FALSE(define("abcd"));
    EXPECT_FALSE(define("ADD2"));
    EXPECT_FALSE(define(""));
    state.label_count = MAX_LABELS;
    EXPECT_FALSE(define("late"));
    EXPECT_EQ(captured.text(), "Label duplicate: main\nLabel name is hex number: abcd\n"
                               "Label name is invalid: ADD2\nLabel name is invalid: \n"
                               "Labels limit exceeded: late\n");
}

// The longest name a label can have, 63 characters, fills its field up to the
// terminator and is found whole, and only whole.
TEST_F(EntryPoints, LongestNamesAreFoundWhole) {
    std::string longest(NAME_SIZE - 1, 'n');
    ASSERT_TRUE(define(longest.c_str()));
    EXPECT_EQ(label_named(state, longest), &state.labels[0]);
    EXPECT_EQ(label_named(state, longest.substr(1)), nullptr);
    EXPECT_EQ(label_named(state, std::string(NAME_SIZE - 2, 'n') + "m"), nullptr);
    EXPECT_FALSE(define(longest.c_str()));
}

TEST_F(EntryPoints, SublabelNamesUpToSixtyThreeCharacters) {
    char name[NAME_SIZE];
    std::string scope(40, 's');
    set_scope(state, scope.c_str(), 40);
    ASSERT_EQ(build_sublabel_name(state, name, std::string(22, 'n').c_str(), 22), 63);
    EXPECT_EQ(std::string(name), scope + "/" + std::string(22, 'n'));
    EXPECT_EQ(build_sublabel_name(state, name, std::string(23, 'n').c_str(), 23), -1);
    EXPECT_EQ(captured.text(), "Sublabel length too long: " + std::string(23, 'n') + "\n");
}

TEST_F(EntryPoints, AddReferenceRecordsResolvesScopeAndCountsParents) {
    ASSERT_TRUE(define("parent"));
    set_scope(state, "main", 4);
    ASSERT_TRUE(add_reference(state, ';', "&loop", 5, 0x0200));
    ASSERT_TRUE(add_reference(state, 0, "parent/child", 12, 0x0300));
    EXPECT_EQ(std::string(state.references[0].name), "main/loop");
    EXPECT_EQ(state.references[0].sigil, ';');
    EXPECT_EQ(state.references[0].address, 0x0200);
    EXPECT_EQ(std::string(state.references[1].name), "parent/child");
    EXPECT_EQ(state.labels[0].uses, 1);

    set_scope(state, std::string(60, 's').c_str(), 60);
    EXPECT_FALSE(add_reference(state, ',', "&toolong", 8, 0));
    state.reference_count = MAX_REFERENCES;
    EXPECT_FALSE(add_reference(state, '!', "late", 4, 0));
    EXPECT_FALSE(add_reference(state, 0, "call", 4, 0));
    EXPECT_EQ(captured.text(), "Sublabel length too long: toolong\nInvalid sublabel: ,&toolong\n"
                               "References limit exceeded: !late\n"
                               "References limit exceeded: call\n");
}

TEST_F(EntryPoints, EmitInstructionWritesTheOpcodeOfInstructionWordsOnly) {
    state.cursor = PROGRAM_START;
    ASSERT_EQ(emit_instruction(state, "ADD2k", 5), 1);
    ASSERT_EQ(emit_instruction(state, "BRK", 3), 1);
    EXPECT_EQ(state.image[0x0100], 0xb8);
    EXPECT_EQ(state.image[0x0101], 0x00);
    EXPECT_EQ(state.length, 0x0102u);
    // Not instructions: nothing is written and nothing printed.
    for (const char* word : {"BRK2", "BRKk", "ADDx", "AD", "add"})
        EXPECT_EQ(emit_instruction(state, word, text_length(word)), -1) << word;
    EXPECT_EQ(state.length, 0x0102u);
    state.cursor = 0x00ff;
    EXPECT_EQ(emit_instruction(state, "LIT", 3), 0);
    EXPECT_EQ(captured.text(), "Writing in zero-page: \n");
}

} // namespace
