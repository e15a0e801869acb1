// Every stream the assembler and its writers open is closed again, on every
// path, so that a process running many assemblies (the fuzzer, a test
// suite, an editor plug-in) never runs out of file descriptors. Each test
// repeats its paths and compares the open descriptors before and after.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "assembler/assembler.hpp"
#include "common/diagnostics.hpp"
#include "output/output_file.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int REPEATS = 100;

int open_descriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) count++;
    return count;
}

class StreamLifetime : public testing::Test {
  protected:
    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }

    // One assembly of `source` with the real file system behind its includes.
    int assemble(const std::string& source) {
        auto state = std::make_unique<AssemblerState>();
        state->diagnostics.silent = true;
        std::FILE* stream = fmemopen(const_cast<char*>(source.data()), source.size(), "r");
        int result = assemble_source(*state, stream, "in.orv");
        std::fclose(stream);
        return result;
    }

    ScratchDirectory scratch_{"orvasm-fd"};
    const fs::path dir_ = scratch_.path();
};

TEST_F(StreamLifetime, IncludesCloseTheirFilesOnEveryPath) {
    std::string ok = file("ok", "01");
    std::string failing = file("failing", "|00ff 01");
    std::string nested = file("nested", "~" + ok + " ~" + failing);
    std::string self = file("self", "");
    file("self", "~" + self);
    fs::create_directory(dir_ / "directory");
    std::string directory = (dir_ / "directory").string();
    std::string comment = file("comment", "( never closed");
    std::string macro = file("macro", "%m { 01 ~" + failing + " }");

    const std::vector<std::string> sources = {
        "~" + ok,                          // read to the end
        "~" + failing,                     // a token fails inside
        "~" + nested,                      // the inner failure unwinds two levels
        "~" + self,                        // stops at the depth limit
        "~" + directory,                   // opens but cannot be read
        "~" + (dir_ / "missing").string(), // cannot be opened
        "~" + comment + " 01",             // ends inside a comment
        "~" + macro + " m",                // fails in a macro that includes
        "%m { ~" + ok + " } " + std::string(64, ' ') + "m m m", // includes from a body
    };
    int before = open_descriptors();
    for (const std::string& source : sources) {
        for (int i = 0; i < REPEATS; i++) assemble(source);
        EXPECT_EQ(open_descriptors(), before) << source;
    }
    // Past the limit of includes, nothing more is opened.
    std::string fan;
    for (int i = 0; i < 64; i++) fan += "~" + ok + " ";
    fan = file("fan", fan);
    std::string many;
    for (int i = 0; i < 70; i++) many += "~" + fan + " ";
    EXPECT_FALSE(assemble(many));
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(StreamLifetime, OutputsCloseTheirFilesOnEveryPath) {
    auto state = std::make_unique<AssemblerState>();
    state->length = PROGRAM_START + 16;
    std::string rom = (dir_ / "out.rom").string();
    int before = open_descriptors();
    for (int i = 0; i < REPEATS; i++) {
        OutputFile output;
        ASSERT_TRUE(open_output(output, rom.c_str()));
        EXPECT_EQ(std::fwrite(state->image + PROGRAM_START, 1, 16, output.stream), 16u);
        EXPECT_TRUE(commit_output(output));
        ASSERT_TRUE(open_output(output, rom.c_str()));
        abandon_output(output);
        EXPECT_FALSE(open_output(output, (dir_ / "missing" / "out.rom").c_str()));
        // Written in place, and failing at the close.
        ASSERT_TRUE(open_output(output, "/dev/full"));
        EXPECT_EQ(std::fwrite(state->image + PROGRAM_START, 1, 16, output.stream), 16u);
        EXPECT_FALSE(commit_output(output));
    }
    EXPECT_EQ(open_descriptors(), before);
    // Nothing is left beside the rom.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

} // namespace
