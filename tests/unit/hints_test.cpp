// The hints' bounds: how far a name may be from what was meant, and the
// table of chains that references keep for their notes when it is full.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "test_support.hpp"

namespace {

bool within(const std::string& a, const std::string& b, int most) {
    return within_edits(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                        most);
}

// The assembly of `source` with located diagnostics, as --locations runs it.
std::string located_lines(const std::string& source) {
    auto state = std::make_unique<AssemblerState>();
    MemoryFiles files;
    files.files["in.orv"] = source;
    state->opener = {&MemoryFiles::open, &files};
    state->tracks_positions = true;
    state->diagnostics.locations = true;
    CapturedDiagnostics captured(*state);
    std::FILE* stream = MemoryFiles::open("in.orv", &files);
    assemble_source(*state, stream, "in.orv");
    std::fclose(stream);
    return captured.text();
}

} // namespace

TEST(Hints, EachKindOfEditCountsOnce) {
    EXPECT_TRUE(within("message", "message", 0));
    EXPECT_TRUE(within("mesage", "message", 1));   // inserted
    EXPECT_TRUE(within("messages", "message", 1)); // deleted
    EXPECT_TRUE(within("massage", "message", 1));  // replaced
    EXPECT_TRUE(within("mesasge", "message", 1));  // neighbours swapped
    EXPECT_FALSE(within("mesage", "message", 0));
    EXPECT_FALSE(within("mesasge", "messagx", 1));
    EXPECT_TRUE(within("mesasge", "messagx", 2));
}

TEST(Hints, TheBoundHoldsToTheLastCharacter) {
    // The last two characters differ: the distance is known only at the end.
    EXPECT_TRUE(within("abcdefgh", "abcdefxy", 2));
    EXPECT_FALSE(within("abcdefgh", "abcdefxy", 1));
    // Far apart at the start, equal after: no row may end the search early.
    EXPECT_TRUE(within("xyzdefgh", "abcdefgh", 3));
    EXPECT_FALSE(within("xyzdefgh", "abcdefgh", 2));
    // Lengths alone rule a pair out.
    EXPECT_FALSE(within("ab", "abcde", 2));
    EXPECT_TRUE(within("", "ab", 2));
    EXPECT_FALSE(within("", "abc", 2));
}

TEST(Hints, NamesOfEveryLengthUpToTheLongest) {
    std::string longest(NAME_SIZE - 1, 'a');
    std::string near = longest;
    near.back() = 'b';
    EXPECT_TRUE(within(longest, near, 1));
    EXPECT_TRUE(within(longest.substr(1), near, 2));
    // Longer than any name: never within reach, and nothing is read past it.
    std::string over(NAME_SIZE, 'a');
    EXPECT_FALSE(within(over, longest, 2));
    EXPECT_FALSE(within(longest, over, 2));
}

TEST(Hints, ShortNamesAreAllowedOneEdit) {
    EXPECT_EQ(edit_bound(0), 1);
    EXPECT_EQ(edit_bound(3), 1);
    EXPECT_EQ(edit_bound(4), 2);
    EXPECT_EQ(edit_bound(NAME_SIZE - 1), 2);
}

TEST(Hints, AReferencePastTheChainsKeptHasNoChainButItsHint) {
    // Five nested macros: each use of the outer one makes a link for each
    // level its reference is read in, so the table fills before the
    // references do. Every use finds "s/x" but the last, in the scope "t",
    // which has no chain left to tell.
    std::string source = "%e { ;&x } %d { e } %c { d } %b { c } %a { b }\n"
                         "|0100 @s &x\n";
    int uses = MAX_CHAIN_LINKS / 5 + 1;
    ASSERT_LT(uses, MAX_REFERENCES);
    for (int i = 0; i < uses; i++) source += "a ";
    source += "\n@t &y a";
    std::string lines = located_lines(source);
    EXPECT_EQ(lines, "in.orv:1:6: Unknown absolute reference: t/x\n"
                     "in.orv:4:4: note: did you mean '&y'?\n");
}

TEST(Hints, AReferenceWithinTheChainsKeptHasItsChain) {
    std::string lines = located_lines("%e { ;mesage } %d { e }\n|0100 @message d");
    EXPECT_EQ(lines, "in.orv:1:6: Unknown absolute reference: mesage\n"
                     "in.orv:1:21: note: in expansion of macro e\n"
                     "in.orv:2:16: note: in expansion of macro d\n"
                     "in.orv:2:7: note: did you mean 'message'?\n");
}

TEST(Hints, NegativeLengthsAndALongerFirstNameAreOutOfReach) {
    EXPECT_FALSE(within_edits("ab", -1, "ab", 2, 2));
    EXPECT_FALSE(within_edits("ab", 2, "ab", -1, 2));
    EXPECT_FALSE(within("abcde", "ab", 2));
    EXPECT_TRUE(within("abcd", "ab", 2));
}

// An instruction spelled in other case: the mnemonic in capitals, the mode
// letters in lower case; a literal whose digits are no hexadecimal in any
// case has no hint, nor a name with two candidates (macros, or a macro and
// an instruction).
TEST(Hints, InstructionsAndHexadecimalInOtherCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"|0100 ADDR", "in.orv:1:7: Unknown absolute reference: ADDR\n"
                       "in.orv:1:7: note: did you mean 'ADDr'?\n"},
        {"|0100 aDdK", "in.orv:1:7: Unknown absolute reference: aDdK\n"
                       "in.orv:1:7: note: did you mean 'ADDk'?\n"},
        {"|0100 ;aDDR", "in.orv:1:7: Unknown absolute reference: aDDR\n"},
        {"|0100 #AG", "in.orv:1:7: Invalid hex literal: #AG\n"
                      "in.orv:1:7: Invalid token: #AG\n"},
        // Two names within reach: no hint, whichever they are.
        {"%abcx { } %abcy { } %abcz { } |0100 abcw",
         "in.orv:1:37: Unknown absolute reference: abcw\n"},
        {"%aDD { } |0100 aDd", "in.orv:1:16: Unknown absolute reference: aDd\n"},
        {"%abcx { } |0100 abcw", "in.orv:1:17: Unknown absolute reference: abcw\n"
                                 "in.orv:1:1: note: did you mean 'abcx'?\n"},
        {"|0100 #aB", "in.orv:1:7: Invalid hex literal: #aB\n"
                      "in.orv:1:7: note: hexadecimal digits are lower case: #ab\n"
                      "in.orv:1:7: Invalid token: #aB\n"},
    };
    for (const auto& [source, lines] : cases) EXPECT_EQ(located_lines(source), lines) << source;
}
