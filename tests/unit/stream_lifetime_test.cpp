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
#include "cli/report.hpp"
#include "cli/rom_writer.hpp"
#include "common/diagnostics.hpp"

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
    void SetUp() override {
        char pattern[] = "/tmp/orvasm-fd-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        null_ = std::fopen("/dev/null", "w");
        previous_ = set_diagnostic_sink(null_);
    }
    void TearDown() override {
        set_diagnostic_sink(previous_);
        std::fclose(null_);
        fs::remove_all(dir_);
    }

    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name) << text;
        return (dir_ / name).string();
    }

    // One assembly of `source` with the real file system behind its includes.
    int assemble(const std::string& source) {
        auto state = std::make_unique<AssemblerState>();
        std::FILE* stream = fmemopen(const_cast<char*>(source.data()), source.size(), "r");
        int result = assemble_source(*state, stream, "in.orv");
        std::fclose(stream);
        return result;
    }

    fs::path dir_;
    std::FILE* null_ = nullptr;
    std::FILE* previous_ = nullptr;
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

TEST_F(StreamLifetime, WritersCloseTheirFilesOnEveryPath) {
    auto state = std::make_unique<AssemblerState>();
    state->length = PROGRAM_START + 16;
    state->label_count = MAX_LABELS;
    for (int i = 0; i < MAX_LABELS; i++) std::snprintf(state->labels[i].name, NAME_SIZE, "l%d", i);
    std::string source = file("x.rom.sym", "");
    const std::vector<std::string> roms = {
        (dir_ / "out.rom").string(),             // written
        (dir_ / "missing" / "out.rom").string(), // cannot be opened
        (dir_ / "x.rom").string(),               // its symbol file would be the source
    };
    // A symbol file on a full device fails while writing and while closing.
    fs::create_symlink("/dev/full", dir_ / "full.rom.sym");

    int before = open_descriptors();
    for (int i = 0; i < REPEATS; i++) {
        for (const std::string& rom : roms) write_symbol_file(*state, rom.c_str(), source.c_str());
        write_symbol_file(*state, (dir_ / "full.rom").c_str(), source.c_str());
        std::FILE* full = std::fopen("/dev/full", "wb");
        ASSERT_NE(full, nullptr);
        EXPECT_FALSE(write_rom(*state, full));
        std::FILE* rom = std::fopen((dir_ / "out.rom").c_str(), "wb");
        ASSERT_NE(rom, nullptr);
        EXPECT_TRUE(write_rom(*state, rom));
    }
    EXPECT_EQ(open_descriptors(), before);
}

} // namespace
