// The shared test plumbing: the .case parser that the runner and the seed
// maker both trust, reading files, and running a program. A fault here would
// let cases pass that should fail, so each rule of tests/cases/README.md that
// a parser can get wrong is pinned once, here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/case_file.hpp"
#include "support/files.hpp"
#include "support/run_program.hpp"

namespace fs = std::filesystem;

namespace {

std::string bytes_of(const std::string& notation) {
    return parse_bytes(notation, "here");
}

Case case_of(const std::string& text) {
    return parse_case(text, "t.case", ORVASM_ROOT);
}

// The message of the std::runtime_error that `parse` throws, or "".
template <typename Parse> std::string error_of(Parse parse) {
    try {
        parse();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(ByteNotation, QuotedTextKeepsEveryByteUpToTheQuote) {
    EXPECT_EQ(bytes_of("\"a  b\""), "a  b");
    EXPECT_EQ(bytes_of("\" x\n\t y \""), " x\n\t y ");
    EXPECT_EQ(bytes_of("\"\""), "");
    EXPECT_EQ(bytes_of("22 \"ab\" 00 \"cd\"\n"), std::string("\"ab\0cd", 6));
}

TEST(ByteNotation, BytesAndRepeatsBetweenAnyBlanks) {
    EXPECT_EQ(bytes_of(" a0\tFF\r\n00*3\v7f*1\f"), std::string("\xa0\xff\0\0\0\x7f", 6));
    EXPECT_EQ(bytes_of("00*0 01"), "\x01");
    EXPECT_EQ(bytes_of(""), "");
}

TEST(ByteNotation, BadItemsAreRefusedWithTheirPlace) {
    for (const char* bad : {"a", "a0a", "0g", "00*", "00*x", "00*-1", "00*9999999999",
                            "00*16777217", "\"open", "\"ab\"cd", "01\"x\""}) {
        std::string error = error_of([&] { bytes_of(bad); });
        EXPECT_EQ(error.rfind("here: ", 0), 0u) << bad << " gave '" << error << "'";
    }
}

TEST(CaseFormat, SectionsHoldExactlyTheirBytes) {
    Case c = case_of("What it pins.\n---not a header\n"
                     "--- source\n#12  \n\n--- file inc.orv\n01\n--- file raw hex\n\"a  b\" 0a\n"
                     "--- stderr\nWriting in zero-page: \n--- stdout\nusage  \n"
                     "--- expect out.rom\n80 12\n"
                     "--- expect out.rom.sym");
    ASSERT_EQ(c.files.size(), 3u);
    EXPECT_EQ(c.files[0].name, CASE_SOURCE);
    EXPECT_EQ(c.files[0].bytes, "#12  \n\n");
    EXPECT_EQ(c.files[1].name, "inc.orv");
    EXPECT_EQ(c.files[1].bytes, "01\n");
    EXPECT_EQ(c.files[2].bytes, "a  b\n");
    EXPECT_EQ(c.stderr_text, "Writing in zero-page: \n");
    EXPECT_EQ(c.stdout_text, "usage  \n");
    ASSERT_EQ(c.expected.size(), 2u);
    EXPECT_EQ(c.expected[0].bytes, "\x80\x12");
    EXPECT_EQ(c.expected[1].name, "out.rom.sym");
    EXPECT_EQ(c.expected[1].bytes, "");
    // Unsaid: the default arguments, success and an empty standard error.
    EXPECT_EQ(c.args, (std::vector<std::string>{"in.orv", "out.rom"}));
    EXPECT_EQ(c.status, 0);
}

TEST(CaseFormat, ArgumentsStatusDirectoriesAndCopies) {
    Case c =
        case_of("--- args\n\n--- status\n 1 \n--- dir sub\n--- copy in.orv examples/hello.orv\n");
    EXPECT_TRUE(c.args.empty());
    EXPECT_EQ(c.status, 1);
    EXPECT_EQ(c.dirs, (std::vector<std::string>{"sub"}));
    ASSERT_NE(find_case_file(c.files, "in.orv"), nullptr);
    EXPECT_EQ(find_case_file(c.files, "in.orv")->bytes,
              read_file(fs::path(ORVASM_ROOT) / "examples/hello.orv"));
    EXPECT_EQ(find_case_file(c.files, "other"), nullptr);
    EXPECT_EQ(case_of("--- args\n a.orv\t b.rom  c\n").args,
              (std::vector<std::string>{"a.orv", "b.rom", "c"}));
}

TEST(CaseFormat, MalformedCasesAreRefusedNamingTheSection) {
    struct Bad {
        const char* text;
        const char* error;
    };
    for (Bad bad : {
             Bad{"only a comment\n", "t.case: no section"},
             Bad{"--- \n", "t.case section '--- ': no section name"},
             Bad{"--- sorce\n", "t.case section '--- sorce': unknown section"},
             Bad{"--- source extra\n", "t.case section '--- source extra': unknown section"},
             Bad{"--- copy in.orv\n", "t.case section '--- copy in.orv': unknown section"},
             Bad{"--- stderr out\n", "t.case section '--- stderr out': takes no words"},
             Bad{"--- stdout\n--- stdout\n", "t.case section '--- stdout': given twice"},
             Bad{"--- source\n--- file in.orv\n", "t.case section '--- file in.orv': in.orv given"},
             Bad{"--- expect a\n--- expect a\n", "t.case section '--- expect a': a given twice"},
             Bad{"--- status\n1\n--- status\n1\n", "t.case section '--- status': given twice"},
             Bad{"--- status\n1 2\n", "t.case section '--- status': the status must be"},
             Bad{"--- status\n256\n", "t.case section '--- status': the status must be"},
             Bad{"--- status\n", "t.case section '--- status': the status must be"},
             Bad{"--- expect out.rom\nzz\n", "t.case section '--- expect out.rom': bad byte 'zz'"},
             Bad{"--- copy in.orv no/such/file\n", "cannot open "},
         }) {
        std::string error = error_of([&] { case_of(bad.text); });
        EXPECT_NE(error.find(bad.error), std::string::npos) << bad.text << "gave '" << error << "'";
    }
}

TEST(Files, ReadingWhatCannotBeReadFails) {
    EXPECT_NE(error_of([] { read_file("/no/such/file"); }), "");
    EXPECT_NE(error_of([] { read_file("/"); }), "");
    EXPECT_NE(error_of([] { write_file("/no/such/dir/file", "x"); }), "");
}

TEST(RunProgram, KeepsBothOutputsAndTheStatusInTheGivenDirectory) {
    RunResult r = run_program("/bin/sh", "/", {"-c", "pwd; echo err >&2; cat; exit 3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "/\n"); // and standard input was empty
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(run_program("/bin/sh", "/", {"-c", "kill -9 $$"}).status, 128 + 9);
    EXPECT_EQ(run_program("/no/such/program", "/", {}).status, 127);
    EXPECT_EQ(run_program("/bin/sh", "/no/such/dir", {"-c", "exit 0"}).status, 126);
}

// The cases of a build for another platform run through its emulator: the
// launcher's words come first, found on PATH, then the program named in the
// environment instead of the one built.
TEST(RunProgram, TheProgramUnderTestRunsThroughTheLauncherOfTheEnvironment) {
    EXPECT_EQ(split_words("  qemu-s390x\t-L  /usr/s390x-linux-gnu "),
              (std::vector<std::string>{"qemu-s390x", "-L", "/usr/s390x-linux-gnu"}));
    EXPECT_EQ(split_words(" "), std::vector<std::string>{});
    ASSERT_EQ(setenv("ORVASM_TEST_LAUNCHER", "env ORVASM_SEEN=yes", 1), 0);
    ASSERT_EQ(setenv("ORVASM_TEST_PROGRAM", "/bin/sh", 1), 0);
    RunResult r = run_tested("/no/such/program", "/", {"-c", "echo $ORVASM_SEEN $0"});
    unsetenv("ORVASM_TEST_LAUNCHER");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "yes /bin/sh\n");
    // Without them, the program built runs as it is.
    unsetenv("ORVASM_TEST_PROGRAM");
    EXPECT_EQ(run_tested("/bin/sh", "/", {"-c", "echo $0"}).out, "/bin/sh\n");
}

} // namespace
