// The core's name-based entry points, called one at a time on a fresh state:
// the assembly pass itself uses faster variants that take lengths, so these
// are checked here, against the same messages.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/text.hpp"
#include "test_support.hpp"

namespace {

struct EntryPoints : testing::Test {
    std::unique_ptr<AssemblerState> owned = std::make_unique<AssemblerState>();
    AssemblerState& state = *owned;
    CapturedDiagnostics captured;

    void SetUp() override { state.cursor = 0x1234; }
};

TEST_F(EntryPoints, DefineLabelAppendsOrRefusesWithItsMessage) {
    ASSERT_TRUE(define_label(state, "main"));
    EXPECT_EQ(lookup_label(state, "main"), &state.labels[0]);
    EXPECT_EQ(state.labels[0].address, 0x1234);
    EXPECT_FALSE(define_label(state, "main"));
    EXPECT_FALSE(define_label(state, "abcd"));
    EXPECT_FALSE(define_label(state, "ADD2"));
    EXPECT_FALSE(define_label(state, ""));
    state.label_count = MAX_LABELS;
    EXPECT_FALSE(define_label(state, "late"));
    EXPECT_EQ(captured.text(), "Label duplicate: main\nLabel name is hex number: abcd\n"
                               "Label name is invalid: ADD2\nLabel name is invalid: \n"
                               "Labels limit exceeded: late\n");
}

TEST_F(EntryPoints, NamesLongerThanAnyRecordAreNeverFound) {
    ASSERT_TRUE(define_label(state, std::string(63, 'n').c_str()));
    EXPECT_NE(lookup_label(state, std::string(63, 'n').c_str()), nullptr);
    EXPECT_EQ(lookup_label(state, std::string(64, 'n').c_str()), nullptr);
    EXPECT_EQ(lookup_label(state, std::string(200, 'n').c_str()), nullptr);
}

TEST_F(EntryPoints, SublabelNamesUpToSixtyThreeCharacters) {
    char name[NAME_SIZE];
    std::string scope(40, 's');
    ASSERT_EQ(build_sublabel_name(name, scope.c_str(), std::string(22, 'n').c_str()), name);
    EXPECT_EQ(std::string(name), scope + "/" + std::string(22, 'n'));
    EXPECT_EQ(build_sublabel_name(name, scope.c_str(), std::string(23, 'n').c_str()), nullptr);
    EXPECT_EQ(captured.text(), "Sublabel length too long: " + std::string(23, 'n') + "\n");
}

TEST_F(EntryPoints, AddReferenceRecordsResolvesScopeAndCountsParents) {
    ASSERT_TRUE(define_label(state, "parent"));
    ASSERT_TRUE(add_reference(state, "main", ';', "&loop", 0x0200));
    ASSERT_TRUE(add_reference(state, "main", 0, "parent/child", 0x0300));
    EXPECT_EQ(std::string(state.references[0].name), "main/loop");
    EXPECT_EQ(state.references[0].sigil, ';');
    EXPECT_EQ(state.references[0].address, 0x0200);
    EXPECT_EQ(std::string(state.references[1].name), "parent/child");
    EXPECT_EQ(state.labels[0].uses, 1);

    EXPECT_FALSE(add_reference(state, std::string(60, 's').c_str(), ',', "&toolong", 0));
    state.reference_count = MAX_REFERENCES;
    EXPECT_FALSE(add_reference(state, "main", '!', "late", 0));
    EXPECT_FALSE(add_reference(state, "main", 0, "call", 0));
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
