// Every kind of token in every place the pass reads tokens from: the
// source, an included file, a macro body, a macro body in an included file;
// each read plainly, with positions and with a listing, which take reading
// loops of their own. Each place must give a token the same bytes, and a
// failing token the same failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "orvasm/orvasm.h"
#include "support/files.hpp"
#include "support/scratch_directory.hpp"

namespace {

// Files served from memory; an absolute path is left to the file system.
using Files = std::map<std::string, std::string>;

int serve(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    const auto& files = *static_cast<const Files*>(context);
    auto found = files.find(path);
    if (path[0] == '/') return ORVASM_USE_FILE_SYSTEM;
    if (found == files.end()) return ORVASM_NOT_FOUND;
    *data = reinterpret_cast<const unsigned char*>(found->second.data());
    *size = found->second.size();
    return ORVASM_FOUND;
}

struct Outcome {
    int status;
    std::string lines;
    std::string rom;
};

// Assembles `source`, named main.orv, with `files` served from memory.
orvasm_options options_for(const std::string& source, Files& files, unsigned flags) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = reinterpret_cast<const unsigned char*>(source.data());
    options.source_size = source.size();
    options.source_name = "main.orv";
    options.resolver = &serve;
    options.resolver_context = &files;
    options.flags = flags;
    return options;
}

Outcome assemble(const std::string& source, Files files, unsigned flags) {
    char* printed = nullptr;
    std::size_t printed_size = 0;
    std::FILE* print_to = open_memstream(&printed, &printed_size);
    orvasm_options options = options_for(source, files, flags);
    options.print_to = print_to;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    Outcome outcome{orvasm_result_status(result), "", ""};
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    if (outcome.status == ORVASM_OK) outcome.rom.assign(reinterpret_cast<const char*>(rom), size);
    orvasm_result_free(result);
    std::fclose(print_to);
    outcome.lines.assign(printed, printed_size);
    std::free(printed);
    return outcome;
}

// The places tokens are read in, each holding `tokens` once. The macro
// "two" and the file "leaf.orv" are there for the tokens to use.
struct Place {
    const char* name;
    std::string source;
    Files files;
};

std::vector<Place> places_of(const std::string& tokens) {
    const std::string two = "%two { 02 } ";
    const Files leaf = {{"leaf.orv", "#ab"}};
    auto with = [&](Files files) {
        files.insert(leaf.begin(), leaf.end());
        return files;
    };
    return {
        {"the source", two + tokens, leaf},
        {"an included file", two + "~body.orv", with({{"body.orv", tokens}})},
        {"a macro body", two + "%m { " + tokens + " } m", leaf},
        {"a macro body in an included file", two + "~outer.orv",
         with({{"outer.orv", "%m { " + tokens + " } m"}})},
        {"a file included in an included file", two + "~outer.orv",
         with({{"outer.orv", "~body.orv"}, {"body.orv", tokens}})},
    };
}

const unsigned FLAG_SETS[] = {0u, ORVASM_POSITIONS, ORVASM_LISTING,
                              ORVASM_LOCATIONS | ORVASM_LISTING};

TEST(TokenContexts, EveryKindOfTokenWritesTheSameBytesInEveryPlace) {
    const std::string tokens = "( a comment #ff ) |0100 $1 @here &sub #12 #1234 \"hi ;here ,&sub "
                               "[ ] ADD 12 1234 two ~leaf.orv here @[x [x";
    // Padding, literals, text, an absolute and a relative reference, raw
    // bytes, a macro use, an include, a label call, a word in brackets.
    const std::string rom("\x00\x80\x12\xa0\x12\x34hi\xa0\x01\x01\x80\xf3\x18\x12\x12\x34\x02"
                          "\x80\xab\x60\xff\xea\x60\xff\xfd",
                          26);
    for (const Place& place : places_of(tokens))
        for (unsigned flags : FLAG_SETS) {
            SCOPED_TRACE(std::string(place.name) + ", flags " + std::to_string(flags));
            Outcome outcome = assemble(place.source, place.files, flags);
            EXPECT_EQ(outcome.status, ORVASM_OK);
            EXPECT_EQ(outcome.lines, "");
            EXPECT_EQ(outcome.rom, rom);
        }
}

// Each failing token fails alike wherever it is read, and a listing or
// positions change nothing of what is printed without locations.
TEST(TokenContexts, EveryFailingTokenFailsAlikeWithOrWithoutAListing) {
    const std::string too_long(80, 'a');
    const std::string failing[] = {too_long, "~missing.orv", "%",     "|zz", "$1g",  "#1",
                                   "#123",   "#zz",          "#zzzz", "@",   "@ADD", "nowhere"};
    for (const std::string& token : failing)
        for (const Place& place : places_of(token)) {
            SCOPED_TRACE(std::string(place.name) + ", token " + token);
            Outcome plain = assemble(place.source, place.files, 0);
            EXPECT_EQ(plain.status, ORVASM_FAILED);
            // The failing token is named (a long one cut), after any token
            // that holds it; a macro body refuses a definition as a whole.
            bool in_body = std::string(place.name).starts_with("a macro body");
            std::string named = in_body && token[0] == '%' ? "m" : token.substr(0, 62);
            if (named.size() < 62) named += "\n";
            EXPECT_NE(plain.lines.find(": " + named), std::string::npos) << plain.lines;
            for (unsigned flags : {ORVASM_POSITIONS, ORVASM_LISTING}) {
                Outcome outcome = assemble(place.source, place.files, flags);
                EXPECT_EQ(outcome.status, plain.status);
                EXPECT_EQ(outcome.lines, plain.lines);
            }
        }
}

// Included files served from memory have no identity on the file system;
// those read from it do. Mixed, each file is listed once, and only those
// on the file system count as read there.
TEST(TokenContexts, FilesFromMemoryAndFromDiskAreEachKeptOnce) {
    ScratchDirectory scratch{"orvasm-token-contexts"};
    const std::string disk = (scratch.path() / "disk.orv").string();
    write_file(disk, "#cd");
    Files files = {{"lib.orv", "#ab"}};
    const std::string source = "~lib.orv ~" + disk + " ~lib.orv ~" + disk;
    orvasm_options options = options_for(source, files, ORVASM_DEPENDENCIES);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << orvasm_result_diagnostic(result, 0)->text;
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rom), size),
              "\x80\xab\x80\xcd\x80\xab\x80\xcd");
    ASSERT_EQ(orvasm_result_file_count(result), 3u);
    EXPECT_STREQ(orvasm_result_file(result, 0), "main.orv");
    EXPECT_STREQ(orvasm_result_file(result, 1), "lib.orv");
    EXPECT_EQ(orvasm_result_file(result, 2), disk);
    EXPECT_EQ(orvasm_result_read_file(result, disk.c_str()), 1);
    EXPECT_EQ(orvasm_result_read_file(result, (scratch.path() / "./disk.orv").c_str()), 1);
    EXPECT_EQ(orvasm_result_read_file(result, "lib.orv"), 0);
    EXPECT_EQ(orvasm_result_read_file(result, (scratch.path() / "other.orv").c_str()), 0);
    orvasm_result_free(result);
}

} // namespace
