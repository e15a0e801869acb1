// The core as an embedder uses it: this file includes the face,
// assembly.hpp, and nothing else of src/, so it keeps compiling only while
// the face declares all that an embedder needs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "assembler/assembly.hpp"

namespace {

char library_text[] = "@lib #12";

std::FILE* open_library(const char* path, void*) {
    if (std::strcmp(path, "lib.orv") != 0) return nullptr;
    return fmemopen(library_text, sizeof library_text - 1, "r");
}

} // namespace

TEST(Assembly, AnEmbedderAssemblesThroughTheFaceAlone) {
    auto state = std::make_unique<AssemblerState>();
    state->opener = {&open_library, nullptr};
    char source_text[] = ";lib ~lib.orv";
    std::FILE* source = fmemopen(source_text, sizeof source_text - 1, "r");
    ASSERT_NE(source, nullptr);
    int assembled = assemble_source(*state, source, "main.orv");
    std::fclose(source);
    ASSERT_EQ(assembled, 1);
    const std::uint8_t rom[] = {0xa0, 0x01, 0x03, 0x80, 0x12};
    ASSERT_EQ(state->length, PROGRAM_START + sizeof rom);
    EXPECT_EQ(std::memcmp(state->image + PROGRAM_START, rom, sizeof rom), 0);
    ASSERT_EQ(state->label_count, 1);
    EXPECT_STREQ(state->labels[0].name, "lib");
    EXPECT_EQ(state->labels[0].uses, 1);
    EXPECT_EQ(state->include_depth, 0);
}
