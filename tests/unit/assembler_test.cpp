// The core through its own interface: whole assemblies from memory, checking
// the image, the tables and the captured diagnostics.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "output/report.hpp"
#include "test_support.hpp"

TEST(Assembler, EncodesLiteralsRawDataAndText) {
    Assembly a("#12 #1234 12 1234 ADD BRK \"hi [ ]");
    ASSERT_TRUE(a.result) << a.diagnostics;
    EXPECT_EQ(a.rom(), std::string("\x80\x12\xa0\x12\x34\x12\x12\x34\x18\x00hi", 12));
}

TEST(Assembler, ResolvesForwardAndBackwardReferences) {
    Assembly a("@start ,start ;data !end @data 01 @end");
    ASSERT_TRUE(a.result) << a.diagnostics;
    EXPECT_EQ(a.rom(), std::string("\x80\xfd\xa0\x01\x08\x40\x00\x01\x01", 9));
    EXPECT_EQ(a.state->label_count, 3);
    EXPECT_EQ(a.state->labels[0].uses, 1);
}

TEST(Assembler, FailureCascadeNamesTheTokenAtEachLevel) {
    Assembly a("~lib.orv", {{"lib.orv", "|00ff #12"}});
    EXPECT_FALSE(a.result);
    EXPECT_EQ(a.diagnostics, "Writing in zero-page: \nUnknown token: #12\n"
                             "Invalid include: ~lib.orv\nInvalid token: ~lib.orv\n");
}

TEST(Assembler, IncludesNestToTheLimitAndNoFurther) {
    std::map<std::string, std::string> files;
    for (int level = 1; level <= MAX_INCLUDE_DEPTH; level++)
        files["f" + std::to_string(level)] = "~f" + std::to_string(level + 1);
    files["f" + std::to_string(MAX_INCLUDE_DEPTH)] = "01";
    Assembly deep("~f1", files);
    EXPECT_TRUE(deep.result) << deep.diagnostics;
    EXPECT_EQ(deep.state->include_depth, 0);

    Assembly looping("~self", {{"self", "~self"}});
    EXPECT_FALSE(looping.result);
    EXPECT_EQ(looping.diagnostics.rfind("Include depth exceeded: self\n", 0), 0u);
}

TEST(Assembler, MacroRecursionIsRefused) {
    Assembly a("%a { b } %b { a } a");
    EXPECT_FALSE(a.result);
    EXPECT_EQ(a.diagnostics, "Macro recursion: a\nInvalid token: a\n");
    EXPECT_FALSE(a.state->macros[0].expanding);
}

TEST(Assembler, CommentsInMacroBodiesStayInTheBody) {
    Assembly a("%m { ( DUP } 01 m 02 ) 03");
    // The body is "(" and "DUP": its comment ends with the body, so the
    // source's ")" is a word that names no label.
    EXPECT_FALSE(a.result);
    EXPECT_EQ(a.rom(), std::string("\x01\x02\x60\xff\xff\x03", 6));
    EXPECT_EQ(a.diagnostics, "Unknown absolute reference: )\n");
}

// Labels and macros are found through hash indexes beside their tables: every
// record of a full table must be found at its own place, and near misses not.
TEST(Assembler, FullTablesFindEveryNameAndNoOther) {
    std::string source;
    for (int i = 0; i < MAX_MACROS; i++) source += "%m" + std::to_string(i) + " { } ";
    for (int i = 0; i < MAX_LABELS; i++) source += "@l" + std::to_string(i) + " ";
    for (int i = 0; i < MAX_MACROS; i++) source += "m" + std::to_string(i) + " ";
    source += ";l0 01";
    Assembly a(source);
    ASSERT_TRUE(a.result) << a.diagnostics;
    AssemblerState& state = *a.state;
    for (int i = 0; i < MAX_LABELS; i++)
        ASSERT_EQ(label_named(state, "l" + std::to_string(i)), &state.labels[i]);
    for (int i = 0; i < MAX_MACROS; i++)
        ASSERT_EQ(macro_named(state, "m" + std::to_string(i)), &state.macros[i]);
    for (const char* miss : {"", "l", "l1024", "l01", "L1", "l1 ", "m0"})
        EXPECT_EQ(label_named(state, miss), nullptr) << miss;
    for (const char* miss : {"", "m", "m256", "m01", "l0"})
        EXPECT_EQ(macro_named(state, miss), nullptr) << miss;
}

// A parent is looked up where it stands in a reference's name, cut after a
// number of characters; bytes after a name's end never count, and a name
// ends at its first 0x00 even when more characters are allowed.
TEST(Assembler, LabelsAreFoundByTheirPlaceInAField) {
    Assembly a("@parent &child");
    ASSERT_TRUE(a.result) << a.diagnostics;
    AssemblerState& state = *a.state;
    char field[NAME_SIZE];
    std::memset(field, 'z', sizeof field);
    std::memcpy(field, "parent/child", 13);
    EXPECT_EQ(lookup_label(state, field, 6), &state.labels[0]);
    EXPECT_EQ(lookup_label(state, field, 5), nullptr);
    EXPECT_EQ(lookup_label(state, field, 7), nullptr);
    EXPECT_EQ(lookup_label(state, field, 12), &state.labels[1]);
    EXPECT_EQ(lookup_label(state, field, NAME_SIZE - 1), &state.labels[1]);
    // A field without a 0x00 within the length: the whole length counts.
    std::memcpy(field, "parentzz", 8);
    EXPECT_EQ(lookup_label(state, field, 6), &state.labels[0]);
    EXPECT_EQ(lookup_label(state, field, 8), nullptr);
}

// A macro body writes the bytes its tokens write where they stand, found
// once when it is defined for the tokens that always write the same: each
// token, used through a macro, gives the rom, status and first line the
// token gives in the source, in memory and in zero-page.
TEST(Assembler, BodyTokensWriteWhatTheyWriteInTheSource) {
    std::vector<std::string> tokens = {"BRK",  "BRKk",   "LIT",    "LIT2r", "#12",   "#1234",
                                       "#123", "#12345", "#xy",    "#AB",   "12",    "1234",
                                       "AB",   "ab",     "1g",     "123",   "12345", "#",
                                       "Ab",   "ADD2kr", "ADD2kk", "ADDx"};
    for (int index = 0; index < 32; index++)
        for (const char* modes : {"", "2", "k", "r", "2kr", "rk2"})
            if (const char* name = mnemonic_name(index))
                tokens.push_back(name + std::string(modes));
    for (const std::string& token : tokens) {
        for (const char* origin : {"|0100", "|00ff"}) {
            Assembly direct(std::string(origin) + " " + token + " @end");
            Assembly expanded("%m { " + token + " } " + origin + " m @end");
            SCOPED_TRACE(token + " at " + origin);
            EXPECT_EQ(expanded.result, direct.result);
            EXPECT_EQ(expanded.rom(), direct.rom());
            auto first_line = [](const std::string& text) {
                return text.substr(0, text.find('\n'));
            };
            EXPECT_EQ(first_line(expanded.diagnostics), first_line(direct.diagnostics));
        }
    }
}

// The summary line holds 1,024 bytes: a longer rom path is cut, and the
// line with it, never written past; with locations its bytes are escaped
// whole or not at all.
TEST(Assembler, TheSummaryLineCutsALongRomPath) {
    Assembly assembly("01");
    ASSERT_NE(assembly.result, 0) << assembly.diagnostics;
    assembly.state->diagnostics.locations = true;
    CapturedDiagnostics captured(*assembly.state);
    std::string path = std::string(1020, 'r') + "\x01" + std::string(2000, 's');
    print_report(*assembly.state, path.c_str());
    EXPECT_EQ(captured.text(), "Assembled " + std::string(1013, 'r'));
    CapturedDiagnostics short_path(*assembly.state);
    print_report(*assembly.state, "r\x01.rom");
    EXPECT_EQ(short_path.text(),
              "Assembled r\\x01.rom in 1 bytes(0.00% used), 0 labels, 0 macros.\n");
}

namespace {

// The records of a listing, kept through a small room that the pass fills
// again and again.
struct KeptRecords {
    std::vector<ListingRecord> records;
    ListingRecord room[2];

    static ListingRecord* give_room(void* context, std::size_t written, std::size_t* size) {
        auto& kept = *static_cast<KeptRecords*>(context);
        kept.records.insert(kept.records.end(), kept.room, kept.room + written);
        if (!size) return nullptr;
        *size = std::size(kept.room);
        return kept.room;
    }
};

} // namespace

// An observer that keeps records and no texts: the records of the source,
// an include and what it holds are all there, and none names a text.
TEST(Assembler, AListingWithoutTextsHasEveryRecordAndNoText) {
    auto state = std::make_unique<AssemblerState>();
    MemoryFiles files;
    files.files = {{"in.orv", "|0100 01\n~lib.orv 04"}, {"lib.orv", "02 0203"}};
    state->opener = {&MemoryFiles::open, &files};
    state->tracks_positions = true;
    KeptRecords kept;
    state->listing = {&KeptRecords::give_room, nullptr, &kept};
    CapturedDiagnostics captured(*state);
    std::FILE* stream = MemoryFiles::open("in.orv", &files);
    ASSERT_TRUE(assemble_source(*state, stream, "in.orv")) << captured.text();
    std::fclose(stream);
    struct Expected {
        ListingKind kind;
        std::uint32_t line, column, address, size, depth;
    };
    const Expected expected[] = {{ListingKind::Bytes, 1, 7, 0x100, 1, 0},
                                 {ListingKind::Include, 2, 1, 0x101, 0, 0},
                                 {ListingKind::Bytes, 1, 1, 0x101, 1, 1},
                                 {ListingKind::Bytes, 1, 4, 0x102, 2, 1},
                                 {ListingKind::Bytes, 2, 10, 0x104, 1, 0}};
    ASSERT_EQ(kept.records.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); i++) {
        const ListingRecord& record = kept.records[i];
        EXPECT_EQ(record.kind, expected[i].kind) << i;
        EXPECT_EQ(record.position.line, expected[i].line) << i;
        EXPECT_EQ(record.position.column, expected[i].column) << i;
        EXPECT_EQ(record.address, expected[i].address) << i;
        EXPECT_EQ(record.size, expected[i].size) << i;
        EXPECT_EQ(record.depth, expected[i].depth) << i;
        EXPECT_EQ(record.text, NO_TEXT) << i;
    }
}

// A state whose sink names no stream prints to the standard error.
TEST(Assembler, ASinkWithoutAStreamPrintsToTheStandardError) {
    auto state = std::make_unique<AssemblerState>();
    ASSERT_EQ(state->diagnostics.file, nullptr);
    MemoryFiles files;
    files.files["in.orv"] = "#12 #1";
    state->opener = {&MemoryFiles::open, &files};
    std::FILE* stream = MemoryFiles::open("in.orv", &files);
    testing::internal::CaptureStderr();
    int result = assemble_source(*state, stream, "in.orv");
    std::string printed = testing::internal::GetCapturedStderr();
    std::fclose(stream);
    EXPECT_FALSE(result);
    EXPECT_EQ(printed, "Invalid hex literal: #1\nInvalid token: #1\n");
}
