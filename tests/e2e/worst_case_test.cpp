// The inputs that push the real binary hardest: huge, deeply nested, at
// every limit, or not text at all. Each is generated here into a fresh
// directory and must end with the program's own messages and exit status.
// Their time and memory are judged by the sanitizer build and the fuzzer's
// timeout, not by assertions here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/files.hpp"
#include "support/run_program.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

std::string repeat(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; i++) result += text;
    return result;
}

// The summary line of a successful run into out.rom.
std::string summary(int bytes, int labels, int macros) {
    int hundredths = (bytes * 10000 + 65280 / 2) / 65280;
    char line[128];
    std::snprintf(line, sizeof line,
                  "Assembled out.rom in %d bytes(%d.%02d%% used), %d labels, %d macros.\n", bytes,
                  hundredths / 100, hundredths % 100, labels, macros);
    return line;
}

const std::string FAILED = "Assembly: Failed to assemble rom.\n";

class WorstCase : public testing::Test {
  protected:
    void write(const std::string& name, const std::string& bytes) {
        write_file(dir_ / name, bytes);
    }

    // Runs orvasm in.orv out.rom in the test's directory.
    RunResult run() { return run_program(ORVASM_BINARY, dir_, {"in.orv", "out.rom"}); }

    // Runs and checks a failed assembly: its exact messages and no rom.
    void expect_failure(const std::string& stderr_text) {
        RunResult r = run();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, stderr_text);
        EXPECT_FALSE(fs::exists(dir_ / "out.rom"));
    }

    std::string rom() { return read_file(dir_ / "out.rom"); }

    ScratchDirectory scratch_{"orvasm-worst"};
    const fs::path dir_ = scratch_.path();
};

// --- Size ---

TEST_F(WorstCase, HundredMegabyteCommentIsReadInConstantMemory) {
    constexpr std::size_t TOTAL = 100u << 20;
    std::string block;
    // Words of every length up to the reader's width and beyond, nested
    // parentheses and a closing parenthesis glued to a word, so that the
    // comment reader meets every kind of token on its way.
    for (int length = 1; block.size() < (1u << 20); length = length % 70 + 1)
        block += std::string(static_cast<std::size_t>(length), 'w') + (length % 7 ? " " : "\n");
    block += " ( nested ) word) ";
    {
        std::ofstream out(dir_ / "in.orv", std::ios::binary);
        out << "( ";
        for (std::size_t written = 0; written < TOTAL; written += block.size()) out << block;
        out << " )\n01\n";
    }
    RunResult r = run();
    fs::remove(dir_ / "in.orv");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(1, 0, 0));
    EXPECT_EQ(rom(), "\x01");
    // Far less than the source: it is streamed, never held whole.
    EXPECT_LT(r.max_rss_kib, 64 * 1024);
}

// Lines are counted across blocks of the reader, inside comments and in a
// line longer than a block, so that --locations names the right place.
TEST_F(WorstCase, LocationsCountLinesAcrossBlocks) {
    std::string source;
    for (int line = 1; line < 50000; line++) source += "( comment " + std::to_string(line) + " )\n";
    source += std::string(100000, ' ') + "( a line longer than a block ) #zz\n";
    write("in.orv", source);
    RunResult r = run_program(ORVASM_BINARY, dir_, {"--locations", "in.orv", "out.rom"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "in.orv:50000:100032: Invalid hex literal: #zz\n"
                     "in.orv:50000:100032: Invalid token: #zz\n" +
                         FAILED);
}

TEST_F(WorstCase, TokenOfTenThousandCharactersFailsOnItsFirstPiece) {
    std::string token(10000, 'x');
    write("in.orv", token);
    expect_failure("Invalid token: " + std::string(62, 'x') + "\n" + FAILED);
}

TEST_F(WorstCase, TokenOfTenThousandCharactersInIncludedFileFailsOnItsFirstPiece) {
    write("in.orv", "~inc");
    write("inc", std::string(10000, 'x'));
    std::string piece(63, 'x');
    expect_failure("Invalid token: " + piece + "\nUnknown token: " + piece +
                   "\nInvalid include: ~inc\nInvalid token: ~inc\n" + FAILED);
}

TEST_F(WorstCase, TokenOfTenThousandCharactersInCommentIsSkipped) {
    write("in.orv", "( " + std::string(10000, 'x') + ")) ) 01");
    RunResult r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(1, 0, 0));
    EXPECT_EQ(rom(), "\x01");
}

TEST_F(WorstCase, TokenOfTenThousandCharactersInMacroBodyOverflowsIt) {
    // Stored in pieces of 63 characters: the 65th piece does not fit.
    write("in.orv", "%m { " + std::string(10000, 'x') + " }");
    expect_failure("Macro size exceeded: m\nInvalid macro: %m\nInvalid token: %m\n" + FAILED);
}

// --- Depth and repetition ---

TEST_F(WorstCase, SixtyFourNestedIncludesAndNoMore) {
    write("in.orv", "~f1 ff");
    for (int level = 1; level <= 64; level++)
        write("f" + std::to_string(level),
              "0" + std::to_string(level % 10) + " ~f" + std::to_string(level + 1));
    write("f65", "ee");
    // f64 includes f65, a 65th level: refused, and every level names its token.
    std::string expected = "Include depth exceeded: f65\n";
    for (int level = 64; level >= 1; level--) {
        std::string token = "~f" + std::to_string(level + 1);
        expected += "Invalid include: " + token + "\nUnknown token: " + token + "\n";
    }
    expected += "Invalid include: ~f1\nInvalid token: ~f1\n" + FAILED;
    expect_failure(expected);

    write("f64", "04");
    RunResult r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(65, 0, 0));
    std::string bytes;
    for (int level = 1; level <= 63; level++) bytes += static_cast<char>(level % 10);
    EXPECT_EQ(rom(), bytes + "\x04\xff");
}

TEST_F(WorstCase, MacroOfSixtyFourTokensUsedFourThousandTimes) {
    std::string body = "01" + repeat(" [ ]", 30) + " ( c )";
    write("in.orv", "%m { " + body + " }\n" + repeat("m\n", 4096));
    RunResult r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(4096, 0, 1));
    EXPECT_EQ(rom(), std::string(4096, '\x01'));
}

TEST_F(WorstCase, MacroOfSixtyFourBytesFillsMemoryAtItsThousandAndTwentyFirstUse) {
    // 1,020 uses of 64 bytes fill 0x0100 to 0xffff exactly.
    write("in.orv", "%m { " + repeat("ab ", 64) + "}\n" + repeat("m\n", 4096));
    expect_failure("Writing after the end of RAM: \nInvalid token: m\n" + FAILED);
}

// --- Tables at their limits ---

std::string label_name(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "l%04d", i);
    return name;
}

TEST_F(WorstCase, ThousandLabelsWithFourThousandReferences) {
    std::string source;
    for (int i = 0; i < 1024; i++) {
        source += "@" + label_name(i) + "\n";
        for (int j = 0; j < 4; j++) source += ";" + label_name((i * 4 + j) % 1024) + " ";
        source += "\n";
    }
    write("in.orv", source);
    RunResult r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(4096 * 3, 1024, 0));
    std::string bytes = rom();
    ASSERT_EQ(bytes.size(), 4096u * 3);
    // The last reference names l1023, defined at 0x0100 + 1023 * 12.
    std::uint16_t address = 0x0100 + 1023 * 12;
    EXPECT_EQ(bytes.substr(bytes.size() - 3), std::string("\xa0") +
                                                  static_cast<char>(address >> 8) +
                                                  static_cast<char>(address & 0xff));
    EXPECT_EQ(read_file(dir_ / "out.rom.sym").size(), 1024u * (2 + 5 + 1));

    fs::remove(dir_ / "out.rom");
    fs::remove(dir_ / "out.rom.sym");
    write("in.orv", source + "@extra");
    expect_failure("Labels limit exceeded: extra\nInvalid label: @extra\nInvalid token: @extra\n" +
                   FAILED);
    write("in.orv", source + ";l0000");
    expect_failure("References limit exceeded: ;l0000\nInvalid token: ;l0000\n" + FAILED);
}

// --- The cursor at every 32-bit boundary ---

struct PaddingCase {
    const char* name;
    const char* padding;
    const char* stderr_text; // nullptr: success
    int rom_size;
};

// Names the parameter in test listings by its source text.
void PrintTo(const PaddingCase& c, std::ostream* out) {
    *out << c.padding;
}

class Padding : public WorstCase, public testing::WithParamInterface<PaddingCase> {};

TEST_P(Padding, EndsWithTheProgramsOwnMessages) {
    const PaddingCase& c = GetParam();
    write("in.orv", std::string(c.padding) + " 01");
    if (c.stderr_text) {
        expect_failure(std::string(c.stderr_text) + "Invalid token: 01\n" + FAILED);
        return;
    }
    RunResult r = run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, summary(c.rom_size, 0, 0));
    EXPECT_EQ(rom().size(), static_cast<std::size_t>(c.rom_size));
}

const char* const ZERO_PAGE = "Writing in zero-page: \n";
const char* const END_OF_RAM = "Writing after the end of RAM: \n";

INSTANTIATE_TEST_SUITE_P(
    Boundaries, Padding,
    testing::Values(PaddingCase{"To0", "|0", ZERO_PAGE, 0},
                    PaddingCase{"Toff", "|ff", ZERO_PAGE, 0},
                    PaddingCase{"To100", "|100", nullptr, 1},
                    PaddingCase{"To7fff", "|7fff", nullptr, 0x7f00},
                    PaddingCase{"To8000", "|8000", nullptr, 0x7f01},
                    PaddingCase{"Toffff", "|ffff", nullptr, 0xff00},
                    PaddingCase{"To10000", "|10000", END_OF_RAM, 0},
                    PaddingCase{"To7fffffff", "|7fffffff", END_OF_RAM, 0},
                    PaddingCase{"To80000000", "|80000000", END_OF_RAM, 0},
                    PaddingCase{"Toffffffff", "|ffffffff", END_OF_RAM, 0},
                    // Nine digits wrap in 32 bits: 0x100000100 is 0x0100.
                    PaddingCase{"To100000100", "|100000100", nullptr, 1},
                    PaddingCase{"Toffffffffffffffff", "|ffffffffffffffff", END_OF_RAM, 0},
                    // Relative padding wraps too: 0x0100 + 0xffffffff is 0x00ff.
                    PaddingCase{"Byffffffff", "$ffffffff", ZERO_PAGE, 0},
                    PaddingCase{"Byfeff", "$feff", nullptr, 0xff00},
                    PaddingCase{"Byff00", "$ff00", END_OF_RAM, 0},
                    PaddingCase{"Byfffffff0ThenBy10", "$fffffff0 $10", nullptr, 1},
                    PaddingCase{"ToffffffffThenBy1", "|ffffffff $1", ZERO_PAGE, 0},
                    PaddingCase{"ToffffffffThenBy101", "|ffffffff $101", nullptr, 1}),
    [](const testing::TestParamInfo<PaddingCase>& info) { return std::string(info.param.name); });

// --- Not text at all ---

TEST_F(WorstCase, ZeroBytesAreEmptyWordsUntilTheReferencesRunOut) {
    // Every 62-byte run is one empty word, the call of a label with no name.
    write("in.orv", std::string(1 << 20, '\0'));
    expect_failure("References limit exceeded: \nInvalid token: \n" + FAILED);

    write("in.orv", std::string(62 * 3, '\0'));
    expect_failure("Unknown absolute reference: \n" + FAILED);
}

std::string random_bytes(std::uint32_t seed, std::size_t size) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xff);
    return bytes;
}

TEST_F(WorstCase, RandomBytesFailWithTheProgramsOwnMessages) {
    // The generator's output is fixed by the standard: this file starts with
    // a run of more than 61 token characters (the first is "%"), which the
    // top level refuses whole, whatever its bytes are.
    std::string bytes = random_bytes(1, 1 << 20);
    std::string first = bytes.substr(0, 62);
    ASSERT_EQ(first.find_first_of(std::string(" \t\n\v\f\r\0", 7)), std::string::npos);
    write("in.orv", bytes);
    expect_failure("Invalid token: " + first + "\n" + FAILED);
}

TEST_F(WorstCase, ManyRandomFilesEndWithTheDriversLine) {
    for (std::uint32_t seed = 100; seed < 164; seed++) {
        write("in.orv", random_bytes(seed, 4096));
        RunResult r = run();
        SCOPED_TRACE("seed " + std::to_string(seed));
        ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status;
        std::string last = r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1);
        if (r.status == 1) {
            EXPECT_EQ(last, FAILED);
            EXPECT_FALSE(fs::exists(dir_ / "out.rom"));
        } else {
            EXPECT_EQ(last.rfind("Assembled out.rom in ", 0), 0u) << last;
            fs::remove(dir_ / "out.rom");
            fs::remove(dir_ / "out.rom.sym");
        }
    }
}

} // namespace
