// The platform seam on the system it is built for (Linux, and Windows under
// wine in CI): an output replaces the old file whole or not at all, paths
// beyond ASCII reach the system intact, one file has one identity however it
// is reached, and files in memory read back byte for byte. Only the standard
// library and the seam, so that it builds and runs on every platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "output/output_file.hpp"
#include "platform/file_identity.hpp"
#include "platform/platform.hpp"
#include "support/scratch_directory.hpp"

namespace fs = std::filesystem;

namespace {

// UTF-8 as the seam takes it.
std::string utf8_of(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string contents(const fs::path& path) {
    std::FILE* file = platform::open_file(utf8_of(path).c_str(), "rb");
    if (!file) return "(none)";
    std::string bytes;
    char block[256];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
        bytes.append(block, got);
    std::fclose(file);
    return bytes;
}

void put(const fs::path& path, const std::string& bytes) {
    std::FILE* file = platform::open_file(utf8_of(path).c_str(), "wb");
    ASSERT_NE(file, nullptr) << utf8_of(path);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

class Platform : public testing::Test {
  protected:
    void SetUp() override {
        // A directory and a file named beyond ASCII: é, ü, and a kana.
        rom_ = dir_ / fs::path(u8"d\u00e9p\u00f4t") / fs::path(u8"r\u00fbm-\u30a2.rom");
        fs::create_directories(rom_.parent_path());
        put(rom_, "old");
    }

    // The files of the rom's directory, by name.
    std::size_t files_beside() {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(rom_.parent_path()))
            count++;
        return count;
    }

    // Opens the rom for replacing and writes "new" to it.
    void write_new(OutputFile& output) {
        ASSERT_TRUE(open_output(output, utf8_of(rom_).c_str()));
        ASSERT_FALSE(output.temporary.empty())
            << "a regular file is replaced, not written in place";
        std::fputs("new", output.stream);
    }

    ScratchDirectory scratch_{"orvasm-platform"};
    const fs::path dir_ = scratch_.path();
    fs::path rom_;
};

TEST_F(Platform, AnOutputReplacesTheOldFileOnlyWhenCommitted) {
    OutputFile output;
    write_new(output);
    EXPECT_EQ(contents(rom_), "old") << "the old file stands until the commit";
    EXPECT_EQ(files_beside(), 2u);
    abandon_output(output);
    EXPECT_EQ(contents(rom_), "old");
    EXPECT_EQ(files_beside(), 1u) << "the abandoned file is removed";

    write_new(output);
    EXPECT_TRUE(commit_output(output));
    EXPECT_EQ(contents(rom_), "new");
    EXPECT_EQ(files_beside(), 1u);
}

TEST_F(Platform, AFailedReplaceKeepsTheOldFileWhole) {
    // The new file vanishes before it is put in place: the replace fails.
    OutputFile output;
    write_new(output);
    std::string temporary = output.temporary;
    std::fflush(output.stream);
#if !defined(_WIN32)
    platform::remove_file(temporary);
    EXPECT_FALSE(commit_output(output));
#else
    // On Windows a file held open without sharing its deletion cannot be
    // replaced, as when another program reads the old rom.
    std::FILE* reader = platform::open_file(utf8_of(rom_).c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(commit_output(output));
    std::fclose(reader);
#endif
    EXPECT_EQ(contents(rom_), "old");
    EXPECT_EQ(files_beside(), 1u) << "no new file is left behind";
}

TEST_F(Platform, OneFileHasOneIdentityHoweverItIsReached) {
    std::string path = utf8_of(rom_);
    std::string roundabout =
        utf8_of(rom_.parent_path() / ".." / rom_.parent_path().filename() / rom_.filename());
    FileIdentity direct{};
    FileIdentity around{};
    FileIdentity opened{};
    ASSERT_TRUE(identify_path(path.c_str(), direct));
    ASSERT_TRUE(identify_path(roundabout.c_str(), around));
    std::FILE* stream = platform::open_file(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(identify_stream(stream, opened));
    std::fclose(stream);
    EXPECT_TRUE(direct == around);
    EXPECT_TRUE(direct == opened);

    FileIdentity other{};
    put(dir_ / "other.rom", "old");
    ASSERT_TRUE(identify_path(utf8_of(dir_ / "other.rom").c_str(), other));
    EXPECT_FALSE(direct == other) << "equal bytes, another file";
    EXPECT_FALSE(identify_path(utf8_of(dir_ / "missing").c_str(), other));
}

TEST_F(Platform, FilesAreReadByDescriptorAndSizedOnlyWhenRegular) {
    int descriptor = platform::open_for_reading(utf8_of(rom_).c_str(), false);
    ASSERT_GE(descriptor, 0);
    std::uint64_t size = 0;
    EXPECT_TRUE(platform::regular_file_size(descriptor, size));
    EXPECT_EQ(size, 3u);
    char bytes[8] = {};
    EXPECT_EQ(platform::read_some(descriptor, bytes, sizeof bytes), 3);
    EXPECT_EQ(std::string(bytes), "old");
    EXPECT_EQ(platform::read_some(descriptor, bytes, sizeof bytes), 0);
    platform::close_descriptor(descriptor);
    EXPECT_LT(platform::open_for_reading(utf8_of(dir_ / "missing").c_str(), false), 0);
}

TEST(PlatformMemory, BytesInMemoryReadBackAsAStreamAndFreeTheirReader) {
    const unsigned char data[] = {'a', 0x00, 0x1a, '\r', '\n', 0xff};
    platform::MemoryReader reader{data, sizeof data, 0, true};
    std::FILE* stream = platform::open_memory_reader(reader);
    ASSERT_NE(stream, nullptr);
    unsigned char back[16];
    EXPECT_EQ(std::fread(back, 1, sizeof back, stream), sizeof data);
    EXPECT_EQ(std::string(back, back + sizeof data), std::string(data, data + sizeof data))
        << "no byte is translated: a carriage return, ^Z and a zero stay";
    EXPECT_FALSE(std::ferror(stream));
    std::fclose(stream);
    EXPECT_FALSE(reader.in_use);
}

} // namespace
