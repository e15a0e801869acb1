// The depfile's escaping and its refusals, on paths a command line can hold
// but a case cannot (blanks, line feeds); the cases pin the order and the
// rest of the format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "output/depfile_writer.hpp"

namespace {

struct Depfile {
    bool written = false;
    std::string text;
};

Depfile write(const char* source, const char* rom, const std::vector<const char*>& included) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&buffer, &size);
    Depfile result;
    result.written = write_depfile(included.data(), included.size(), source, rom, file);
    std::fclose(file);
    result.text.assign(buffer, size);
    std::free(buffer);
    return result;
}

TEST(DepfileWriter, EscapesBlanksHashAndDollar) {
    Depfile depfile = write("my game.orv", "out\t1.rom", {"lib#$.orv"});
    EXPECT_TRUE(depfile.written);
    EXPECT_EQ(depfile.text, "out\\\t1.rom out\\\t1.rom.sym: my\\ game.orv lib\\#$$.orv\n"
                            "\nlib\\#$$.orv:\n");
}

TEST(DepfileWriter, DoublesBackslashesBeforeAnEscapedCharacter) {
    // Make and ninja read 2N+1 backslashes and a blank as N and the blank.
    Depfile depfile = write("a\\ b.orv", "c\\\\#.rom", {"d\\e.orv"});
    EXPECT_TRUE(depfile.written);
    EXPECT_EQ(depfile.text, "c\\\\\\\\\\#.rom c\\\\\\\\\\#.rom.sym: a\\\\\\ b.orv d\\e.orv\n"
                            "\nd\\e.orv:\n");
}

TEST(DepfileWriter, RefusesPathsMakeCannotReadBack) {
    EXPECT_FALSE(write("in.orv", "out\n.rom", {}).written);
    EXPECT_FALSE(write("in\n.orv", "out.rom", {}).written);
    EXPECT_FALSE(write("in.orv", "out.rom", {"a.orv", "b\n.orv"}).written);
    EXPECT_FALSE(write("in.orv", "dir\\", {}).written);
    EXPECT_FALSE(write("in.orv", "out.rom", {"lib\\"}).written);
}

TEST(DepfileWriter, FailsWhenTheStreamFails) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(write_depfile(nullptr, 0, "in.orv", "out.rom", full));
    std::fclose(full);
}

} // namespace
