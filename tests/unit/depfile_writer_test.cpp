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

TEST(DepfileWriter, EscapesBlanksHashColonDollarAndPercent) {
    Depfile depfile = write("my game.orv", "out 1#:.rom", {"lib#$.orv", "a:b%c.orv"});
    EXPECT_TRUE(depfile.written);
    EXPECT_EQ(depfile.text, "out\\ 1\\#\\:.rom out\\ 1\\#\\:.rom.sym: my\\ game.orv lib\\#$$.orv "
                            "a\\:b%c.orv\n"
                            "\nlib\\#$$.orv:\n"
                            "\na\\:b\\%c.orv:\n");
}

TEST(DepfileWriter, DoublesBackslashesBeforeABlank) {
    // Make and ninja read 2N+1 backslashes and a blank as N and the blank;
    // other backslashes stand for themselves.
    Depfile depfile = write("a\\ b.orv", "c\\\\ .rom", {"d\\e.orv", "f]\\[.orv"});
    EXPECT_TRUE(depfile.written);
    EXPECT_EQ(depfile.text, "c\\\\\\\\\\ .rom c\\\\\\\\\\ .rom.sym: a\\\\\\ b.orv d\\e.orv "
                            "f]\\[.orv\n"
                            "\nd\\e.orv:\n"
                            "\nf]\\[.orv:\n");
}

// A file read twice (its path given twice) is one prerequisite, with one
// empty rule, in the order of its first reading.
TEST(DepfileWriter, APathGivenTwiceIsListedOnce) {
    Depfile depfile = write("in.orv", "out.rom", {"a.orv", "b.orv", "a.orv", "b.orv"});
    EXPECT_TRUE(depfile.written);
    EXPECT_EQ(depfile.text, "out.rom out.rom.sym: in.orv a.orv b.orv\n"
                            "\na.orv:\n"
                            "\nb.orv:\n");
}

// What make and ninja cannot both read back, whatever the escaping.
TEST(DepfileWriter, RefusesPathsMakeAndNinjaCannotBothReadBack) {
    for (const char* path :
         {"a\nb", "a\tb", "a\rb",  "a\x1b", "a\x7f",   "a*b",   "a?b",   "a=b", "a;b",
          "a|b",  "a\"b", "a'b",   "a&b",   "a<b",     "a>b",   "a^b",   "a`b", "a[1]b",
          "~/a",  "a:",   "dir\\", "a\\#b", "a\\\\$b", "a\\:b", "a\\%b", ""}) {
        EXPECT_FALSE(write("in.orv", "out.rom", {"ok.orv", path}).written) << path;
        EXPECT_FALSE(write(path, "out.rom", {}).written) << path;
        EXPECT_FALSE(write("in.orv", path, {}).written) << path;
    }
    // A "%" in a target would make the rule a pattern rule.
    EXPECT_FALSE(write("in.orv", "out%.rom", {}).written);
    EXPECT_TRUE(
        write("in%.orv", "out.rom", {"l%.orv", "a[b/c]d", "x]y[z", "\xc2\x9b\xff"}).written);
}

TEST(DepfileWriter, FailsWhenTheStreamFails) {
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(write_depfile(nullptr, 0, "in.orv", "out.rom", full));
    std::fclose(full);
}

} // namespace
