// The C interface at its edges: what it answers to null pointers, missing
// or odd sources, resolvers that fail or serve huge or binary files, paths
// of any length; the lifetimes of assemblers and results; the records.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "orvasm/orvasm.h"

namespace {

// Serves one file, "lib.orv", with the bytes in `context`; other paths
// get the answer in `other`.
struct Served {
    std::string lib;
    int other = ORVASM_NOT_FOUND;
    const unsigned char* data = nullptr; // with other == ORVASM_FOUND
    std::size_t size = 0;
};

int serve(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    auto& served = *static_cast<Served*>(context);
    if (std::strcmp(path, "lib.orv") == 0) {
        *data = reinterpret_cast<const unsigned char*>(served.lib.data());
        *size = served.lib.size();
        return ORVASM_FOUND;
    }
    *data = served.data;
    *size = served.size;
    return served.other;
}

orvasm_options from_memory(const std::string& source, Served* served = nullptr) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = reinterpret_cast<const unsigned char*>(source.data());
    options.source_size = source.size();
    options.source_name = "main.orv";
    if (served) {
        options.resolver = &serve;
        options.resolver_context = served;
    }
    return options;
}

// The result of assembling `source` (as "main.orv") with `flags`.
orvasm_result* assembled(const std::string& source, int flags, Served* served = nullptr) {
    orvasm_options options = from_memory(source, served);
    options.flags = flags;
    return orvasm_assemble(nullptr, &options);
}

std::string lines_of(const orvasm_result* result) {
    std::string lines;
    for (std::size_t i = 0; i < orvasm_result_diagnostic_count(result); i++)
        lines.append(orvasm_result_diagnostic(result, i)->text);
    return lines;
}

std::string rom_of(const orvasm_result* result) {
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    return std::string(reinterpret_cast<const char*>(rom), size);
}

} // namespace

TEST(Interface, VersionMatchesTheHeader) {
    EXPECT_EQ(orvasm_version_number(), ORVASM_VERSION_NUMBER);
    EXPECT_STREQ(orvasm_version(), "1.4.0");
}

// A program's own lines read as the assembly's; anywhere but a terminal
// the detail's bytes are printed as they are.
TEST(Interface, AProgramsOwnLinesArePrintedAsTheAssemblysAre) {
    char* printed = nullptr;
    std::size_t size = 0;
    std::FILE* to = open_memstream(&printed, &size);
    ASSERT_NE(to, nullptr);
    orvasm_print_line(to, ORVASM_ERROR, "Listing not written", "a\x01.lst");
    orvasm_print_line(to, ORVASM_WARNING, "Symbol file not written", "out.rom.sym");
    orvasm_print_line(to, ORVASM_NOTE, "ignored", "x");
    orvasm_print_line(to, ORVASM_ERROR, nullptr, nullptr);
    std::fclose(to);
    EXPECT_EQ(std::string(printed, size),
              "Listing not written: a\x01.lst\n-- Symbol file not written: out.rom.sym\n: \n");
    std::free(printed);
}

TEST(Interface, NullPointersGetAnswersNotCrashes) {
    orvasm_result* result = orvasm_assemble(nullptr, nullptr);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_INVALID);
    EXPECT_EQ(orvasm_result_rom(result, nullptr), nullptr);
    EXPECT_EQ(orvasm_result_report(result, "out.rom"), ORVASM_INVALID);
    EXPECT_EQ(orvasm_result_symbol_file(result, nullptr, 0), 0u);
    EXPECT_EQ(orvasm_result_read_file(result, "/"), 0);
    orvasm_result_free(result);

    EXPECT_EQ(orvasm_result_status(nullptr), ORVASM_INVALID);
    EXPECT_EQ(orvasm_result_diagnostic(nullptr, 0), nullptr);
    EXPECT_EQ(orvasm_result_symbol(nullptr, 0), nullptr);
    EXPECT_EQ(orvasm_result_listing(nullptr, 0), nullptr);
    EXPECT_EQ(orvasm_result_file(nullptr, 0), nullptr);
    EXPECT_EQ(orvasm_result_rom(nullptr, nullptr), nullptr);
    EXPECT_EQ(orvasm_result_symbol_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_symbol_file(nullptr, nullptr, 0), 0u);
    EXPECT_EQ(orvasm_result_diagnostic_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_diagnostics_dropped(nullptr), 0u);
    EXPECT_EQ(orvasm_result_listing_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_listing_dropped(nullptr), 0u);
    EXPECT_EQ(orvasm_result_file_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_read_file(nullptr, "/"), 0);
    orvasm_result_free(nullptr);
    orvasm_assembler_free(nullptr);
}

TEST(Interface, IndexesPastTheEndGetNothing) {
    const std::string source = "@main 01 ;main";
    orvasm_result* result =
        assembled(source, ORVASM_POSITIONS | ORVASM_LISTING | ORVASM_DEPENDENCIES);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    std::size_t symbols = orvasm_result_symbol_count(result);
    std::size_t records = orvasm_result_listing_count(result);
    std::size_t files = orvasm_result_file_count(result);
    EXPECT_EQ(symbols, 1u);
    EXPECT_NE(orvasm_result_symbol(result, 0), nullptr);
    EXPECT_EQ(orvasm_result_symbol(result, symbols), nullptr);
    EXPECT_NE(orvasm_result_listing(result, records - 1), nullptr);
    EXPECT_EQ(orvasm_result_listing(result, records), nullptr);
    EXPECT_NE(orvasm_result_file(result, files - 1), nullptr);
    EXPECT_EQ(orvasm_result_file(result, files), nullptr);
    EXPECT_EQ(orvasm_result_diagnostic(result, orvasm_result_diagnostic_count(result)), nullptr);
    EXPECT_EQ(orvasm_result_read_file(result, nullptr), 0);
    orvasm_result_free(result);
}

TEST(Interface, OptionsMustNameExactlyOneSource) {
    orvasm_options none = ORVASM_OPTIONS_INIT;
    orvasm_options both = from_memory("01");
    both.source_path = "in.orv";
    orvasm_options no_bytes = ORVASM_OPTIONS_INIT;
    no_bytes.source_size = 3;
    for (const orvasm_options* options : {&none, &both, &no_bytes}) {
        orvasm_result* result = orvasm_assemble(nullptr, options);
        EXPECT_EQ(orvasm_result_status(result), ORVASM_INVALID);
        EXPECT_EQ(orvasm_result_diagnostic_count(result), 0u);
        orvasm_result_free(result);
    }
}

TEST(Interface, AnEmptySourceIsReportedAsTheProgramDoes) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_name = "empty.orv"; // no bytes at all: a null pointer and a size of 0
    options.rom_name = "out.rom";
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_EMPTY);
    EXPECT_EQ(lines_of(result), "Assembly: Output rom is empty.\n");
    std::size_t size = 1;
    EXPECT_NE(orvasm_result_rom(result, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_NE(orvasm_result_rom(result, nullptr), nullptr);
    EXPECT_EQ(orvasm_result_report(result, "out.rom"), ORVASM_EMPTY); // once only
    EXPECT_EQ(orvasm_result_diagnostic_count(result), 1u);
    orvasm_result_free(result);
}

TEST(Interface, ResolverAnswers) {
    Served served{"@lib #12", ORVASM_NOT_FOUND};
    std::string source = ";lib ~lib.orv";
    orvasm_result* result = assembled(source, ORVASM_DEPENDENCIES, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(rom_of(result), std::string("\xa0\x01\x03\x80\x12", 5));
    ASSERT_EQ(orvasm_result_file_count(result), 2u);
    EXPECT_STREQ(orvasm_result_file(result, 0), "main.orv");
    EXPECT_STREQ(orvasm_result_file(result, 1), "lib.orv");
    EXPECT_EQ(orvasm_result_file(result, 2), nullptr);
    orvasm_result_free(result);

    // Not found, an unknown answer, and bytes promised without a pointer:
    // all a missing file.
    for (int answer : {int{ORVASM_NOT_FOUND}, 42, int{ORVASM_FOUND}}) {
        Served missing{"", answer, nullptr, 5};
        std::string include = "~other.orv";
        orvasm_options missing_options = from_memory(include, &missing);
        orvasm_result* failed = orvasm_assemble(nullptr, &missing_options);
        EXPECT_EQ(orvasm_result_status(failed), ORVASM_FAILED);
        EXPECT_EQ(lines_of(failed),
                  "Include missing: other.orv\nInvalid include: ~other.orv\n"
                  "Invalid token: ~other.orv\nAssembly: Failed to assemble rom.\n");
        orvasm_result_free(failed);
    }

    // An empty file may come without a pointer.
    Served empty{"", ORVASM_FOUND, nullptr, 0};
    std::string include = "01 ~other.orv 02";
    result = assembled(include, 0, &empty);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    EXPECT_EQ(rom_of(result), "\x01\x02");
    orvasm_result_free(result);
}

TEST(Interface, TheResolverMayHandAPathToTheFileSystem) {
    Served served{"", ORVASM_USE_FILE_SYSTEM};
    std::string include = "~/nonexistent/dir/x.orv";
    orvasm_options options = from_memory(include, &served);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    EXPECT_EQ(orvasm_result_diagnostic(result, 0)->detail, std::string("/nonexistent/dir/x.orv"));
    orvasm_result_free(result);

    options.source_data = nullptr;
    options.source_size = 0;
    options.source_name = nullptr;
    options.source_path = "/dev/null"; // empty, from the file system
    result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(orvasm_result_read_file(result, "/dev/null"), 1);
    EXPECT_EQ(orvasm_result_read_file(result, "/"), 0);
    orvasm_result_free(result);
}

TEST(Interface, HugeAndBinaryFilesAreReadAsTokens) {
    // 64 MiB of an open comment with NUL bytes in it, then nothing.
    std::string huge = "( ";
    huge.append(std::size_t{64} << 20, '\0');
    Served served{huge};
    std::string source = "01 ~lib.orv 02";
    orvasm_options options = from_memory(source, &served);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(rom_of(result), "\x01\x02");
    orvasm_result_free(result);
}

TEST(Interface, LinesOfAnyLengthAreKeptWhole) {
    std::string path(100000, 'p');
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = path.c_str();
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    ASSERT_EQ(orvasm_result_diagnostic_count(result), 1u);
    const orvasm_diagnostic* line = orvasm_result_diagnostic(result, 0);
    EXPECT_EQ(line->severity, ORVASM_ERROR);
    EXPECT_STREQ(line->message, "Invalid input");
    EXPECT_EQ(std::string(line->text, line->length), "Invalid input: " + path + "\n");
    orvasm_result_free(result);
}

TEST(Interface, RecordsHoldThePartsAndTheReportsLines) {
    std::string source = "@used @spare @Exempt ;used";
    orvasm_options options = from_memory(source);
    options.rom_name = "game.rom";
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    ASSERT_EQ(orvasm_result_diagnostic_count(result), 2u);
    const orvasm_diagnostic* warning = orvasm_result_diagnostic(result, 0);
    EXPECT_EQ(warning->severity, ORVASM_WARNING);
    EXPECT_STREQ(warning->message, "Unused label");
    EXPECT_STREQ(warning->detail, "spare");
    EXPECT_STREQ(warning->text, "-- Unused label: spare\n");
    const orvasm_diagnostic* summary = orvasm_result_diagnostic(result, 1);
    EXPECT_EQ(summary->severity, ORVASM_SUMMARY);
    EXPECT_STREQ(summary->message,
                 "Assembled game.rom in 3 bytes(0.00% used), 3 labels, 0 macros.");
    ASSERT_EQ(orvasm_result_symbol_count(result), 3u);
    EXPECT_STREQ(orvasm_result_symbol(result, 0)->name, "used");
    EXPECT_EQ(orvasm_result_symbol(result, 0)->uses, 1);
    EXPECT_EQ(orvasm_result_symbol(result, 2)->address, 0x0100);
    EXPECT_EQ(orvasm_result_symbol(result, 3), nullptr);
    // The symbol file, whole and cut short as snprintf cuts.
    const char records[] = "\x01\x00used\0\x01\x00spare\0\x01\x00"
                           "Exempt"; // and its 0x00
    unsigned char buffer[64];
    ASSERT_EQ(orvasm_result_symbol_file(result, buffer, sizeof buffer), sizeof records);
    EXPECT_EQ(std::memcmp(buffer, records, sizeof records), 0);
    std::memset(buffer, 0xee, sizeof buffer);
    EXPECT_EQ(orvasm_result_symbol_file(result, buffer, 3), sizeof records);
    EXPECT_EQ(buffer[2], 'u');
    EXPECT_EQ(buffer[3], 0xee);
    orvasm_result_free(result);
}

TEST(Interface, ResultsOutliveTheirAssemblerAndEachOther) {
    orvasm_assembler* assembler = orvasm_assembler_new();
    std::string first_source = "@first 01";
    std::string second_source = "@second 02 03";
    orvasm_options first_options = from_memory(first_source);
    orvasm_options second_options = from_memory(second_source);
    // The second is made while the first holds the assembler's state.
    orvasm_result* first = orvasm_assemble(assembler, &first_options);
    orvasm_result* second = orvasm_assemble(assembler, &second_options);
    orvasm_assembler_free(assembler);
    EXPECT_EQ(rom_of(first), "\x01");
    EXPECT_EQ(rom_of(second), "\x02\x03");
    EXPECT_STREQ(orvasm_result_symbol(first, 0)->name, "first");
    orvasm_result_free(first);
    EXPECT_STREQ(orvasm_result_symbol(second, 0)->name, "second");
    orvasm_result_free(second);
}

TEST(Interface, AReusedStateForgetsThePreviousAssembly) {
    orvasm_assembler* assembler = orvasm_assembler_new();
    std::string big = "%m { 01 } @a |0200 @b m ;a ;b 0405";
    std::string small = "|0180 @b 07";
    orvasm_options big_options = from_memory(big);
    orvasm_options small_options = from_memory(small);
    orvasm_result_free(orvasm_assemble(assembler, &big_options));
    orvasm_result* result = orvasm_assemble(assembler, &small_options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    // The gap below 0x0180 is zero again, and "b" is defined once.
    EXPECT_EQ(rom_of(result), std::string(0x80, '\0') + "\x07");
    EXPECT_EQ(orvasm_result_symbol_count(result), 1u);
    orvasm_result_free(result);
    orvasm_assembler_free(assembler);
}

TEST(Interface, DiagnosticsCarryPositionsAndTheirChainOfNotes) {
    Served served{"%bad { @x }\n  bad bad"};
    std::string source = "|0100\n@main\n  ~lib.orv";
    orvasm_result* result = assembled(source, ORVASM_LOCATIONS, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    ASSERT_GE(orvasm_result_diagnostic_count(result), 5u);
    const orvasm_diagnostic* cause = orvasm_result_diagnostic(result, 0);
    EXPECT_STREQ(cause->text, "lib.orv:1:8: Label duplicate: x\n");
    EXPECT_STREQ(cause->position.file, "lib.orv");
    EXPECT_EQ(cause->position.line, 1u);
    EXPECT_EQ(cause->position.column, 8u);
    ASSERT_EQ(cause->notes, 3u);
    const orvasm_diagnostic* use = orvasm_result_diagnostic(result, 1);
    EXPECT_EQ(use->severity, ORVASM_NOTE);
    EXPECT_STREQ(use->message, "in expansion of macro");
    EXPECT_STREQ(use->detail, "bad");
    EXPECT_EQ(use->position.line, 2u);
    EXPECT_EQ(use->position.column, 7u);
    const orvasm_diagnostic* include = orvasm_result_diagnostic(result, 2);
    EXPECT_STREQ(include->position.file, "main.orv");
    EXPECT_EQ(include->position.line, 3u);
    EXPECT_EQ(orvasm_result_diagnostic(result, 4)->notes, 0u); // "Invalid label: @x"
    orvasm_result_free(result);
}

TEST(Interface, SymbolsAndTheListingCarryPositions) {
    Served served{"@lib #12"};
    std::string source = "%m { 01 }\n@main m\n  ~lib.orv ;lib";
    orvasm_result* result = assembled(source, ORVASM_LISTING, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    const orvasm_symbol* lib = orvasm_result_symbol(result, 1);
    ASSERT_NE(lib, nullptr);
    EXPECT_STREQ(lib->definition.file, "lib.orv");
    EXPECT_EQ(lib->definition.line, 1u);
    EXPECT_EQ(lib->definition.column, 1u);
    EXPECT_EQ(orvasm_result_symbol(result, 0)->definition.line, 2u);
    // What each token became, in order, nested under its expansion or include.
    std::string kinds;
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* record = orvasm_result_listing(result, i);
        kinds += std::to_string(record->kind) + ":" + std::to_string(record->depth) + " ";
        if (record->kind == ORVASM_LIST_EXPANSION) {
            EXPECT_STREQ(record->target, "m");
        }
        if (record->kind == ORVASM_LIST_INCLUDE) {
            EXPECT_STREQ(record->target, "lib.orv");
        }
    }
    EXPECT_EQ(kinds, "1:0 3:0 0:1 4:0 1:1 0:1 0:0 ");
    const orvasm_listing_record* reference = orvasm_result_listing(result, 6);
    EXPECT_EQ(reference->address, 0x0103u);
    EXPECT_EQ(reference->size, 3u);
    EXPECT_EQ(reference->position.line, 3u);
    EXPECT_EQ(reference->position.column, 12u);
    EXPECT_EQ(orvasm_result_listing(result, 7), nullptr);
    orvasm_result_free(result);
}

// Every token of these sources writes a byte, so record i is token i, at
// the line and column found by a plain scan. Whitespace of every kind and
// comments come between, some runs across the ends of the reader's blocks,
// in the source and in an included file.
TEST(Interface, ListingRecordsStandWhereTheirTokensBegin) {
    std::mt19937 random(2027);
    auto generate = [&random](std::string& text, std::vector<orvasm_position>& starts,
                              const char* file, int tokens) {
        std::uint32_t line = 1;
        std::size_t line_start = 0;
        for (int i = 0; i < tokens; i++) {
            int gap = random() % 300 == 0 ? 70000 + random() % 70000 : 1 + random() % 6;
            for (int j = 0; j < gap; j++) {
                char c = " \t\n\r\v\f"[random() % 6];
                text += c;
                if (c == '\n') {
                    line++;
                    line_start = text.size();
                }
            }
            if (random() % 10 == 0) text += "( a\tcomment ) ";
            starts.push_back(
                {file, line, static_cast<std::uint32_t>(text.size() - line_start + 1)});
            text += "0123456789abcdef"[random() % 16];
            text += "0123456789abcdef"[random() % 16];
        }
    };
    Served served;
    std::vector<orvasm_position> starts;
    std::string source = "|0100 ";
    generate(source, starts, "main.orv", 3000);
    source += " ~lib.orv ";
    generate(served.lib, starts, "lib.orv", 3000);
    orvasm_result* result = assembled(source, ORVASM_LISTING, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    std::size_t token = 0;
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* record = orvasm_result_listing(result, i);
        if (record->kind != ORVASM_LIST_BYTES) continue;
        ASSERT_LT(token, starts.size());
        const orvasm_position& start = starts[token++];
        ASSERT_STREQ(record->position.file, start.file) << "token " << token;
        ASSERT_EQ(record->position.line, start.line) << "token " << token;
        ASSERT_EQ(record->position.column, start.column) << "token " << token;
    }
    EXPECT_EQ(token, starts.size());
    orvasm_result_free(result);
}

// The text of each listed line is the source line, whatever blocks of the
// reader it spans: its start in an earlier block (after a long run of
// blanks), its end in a later one, carriage returns before its end left
// out, and at most ORVASM_LISTED_TEXT bytes kept of a longer line.
TEST(Interface, ListingTextsAreTheSourceLinesAcrossBlocks) {
    std::mt19937 random(2031);
    auto generate = [&random](std::string& text, std::vector<std::string>& lines, int count) {
        for (int i = 0; i < count; i++) {
            std::string line(random() % 50 == 0 ? 60000 + random() % 20000 : random() % 4, ' ');
            std::size_t length = random() % 20 == 0 ? 200 + random() % 200 : random() % 60;
            while (line.size() < length || line.find_first_not_of(" ") == std::string::npos)
                line += random() % 8 == 0 ? "( a comment ) " : "ab ";
            if (random() % 10 == 0) line += std::string(1 + random() % 3, '\r');
            text += line + (i + 1 < count || random() % 2 ? "\n" : "");
            while (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    };
    Served served;
    std::vector<std::string> source_lines, lib_lines;
    std::string source = "|0100\n";
    source_lines.push_back("|0100");
    generate(source, source_lines, 2000);
    if (source.back() != '\n') source += '\n';
    source += "~lib.orv\n";
    source_lines.push_back("~lib.orv");
    generate(served.lib, lib_lines, 2000);
    orvasm_result* result = assembled(source, ORVASM_LISTING, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    std::size_t checked = 0;
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* record = orvasm_result_listing(result, i);
        const auto& lines =
            std::strcmp(record->position.file, "lib.orv") ? source_lines : lib_lines;
        ASSERT_LE(record->position.line, lines.size());
        const std::string& line = lines[record->position.line - 1];
        bool cut = line.size() > ORVASM_LISTED_TEXT;
        ASSERT_EQ(std::string(record->text, record->text_length),
                  line.substr(0, ORVASM_LISTED_TEXT))
            << record->position.file << ":" << record->position.line;
        ASSERT_EQ(record->cut, cut ? 1 : 0) << record->position.line;
        checked++;
    }
    EXPECT_GT(checked, 2000u);
    for (std::size_t i = 0; i < orvasm_result_listing_line_count(result); i++) {
        const orvasm_listing_line* line = orvasm_result_listing_line(result, i);
        EXPECT_LE(line->text_length, std::size_t{ORVASM_LISTED_TEXT});
    }
    orvasm_result_free(result);
}

// A macro's body lines are kept when it is defined, once: every use shows
// the same text.
TEST(Interface, AMacroBodysTextIsKeptOncePerMacro) {
    std::string source = "%m { 01\n02 } ( def )\nm m\nm";
    orvasm_result* result = assembled(source, ORVASM_LISTING);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    std::vector<const orvasm_listing_record*> first_line, second_line;
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++) {
        const orvasm_listing_record* record = orvasm_result_listing(result, i);
        if (record->kind != ORVASM_LIST_BYTES) continue;
        (record->position.line == 1 ? first_line : second_line).push_back(record);
    }
    ASSERT_EQ(first_line.size(), 3u);
    ASSERT_EQ(second_line.size(), 3u);
    for (const auto* record : first_line) EXPECT_EQ(record->text, first_line[0]->text);
    for (const auto* record : second_line) EXPECT_EQ(record->text, second_line[0]->text);
    EXPECT_EQ(std::string(first_line[0]->text, first_line[0]->text_length), "%m { 01");
    EXPECT_EQ(std::string(second_line[0]->text, second_line[0]->text_length), "02 } ( def )");
    orvasm_result_free(result);
}

// The lines group the records as the program's listing shows them: bytes
// that follow on join, a padding after bytes starts a line, a macro use and
// an include are lines of their own, and the lines after an include's end
// say so.
TEST(Interface, ListingLinesGroupTheRecordsOfASourceLine) {
    Served served;
    served.lib = "04 05\n";
    std::string source = "%m { 06 }\n|0100 @a 01 02 $1 03\n~lib.orv m\n";
    orvasm_result* result = assembled(source, ORVASM_LISTING, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    struct Expected {
        std::uint32_t line, address, size, expansions;
        const char* file;
        const char* opens;
        int resumes;
    };
    const Expected expected[] = {
        {2, 0x100, 2, 0, "main.orv", nullptr, 0},   {2, 0x103, 1, 0, "main.orv", nullptr, 0},
        {3, 0x104, 0, 0, "main.orv", "lib.orv", 0}, {1, 0x104, 2, 0, "lib.orv", nullptr, 0},
        {3, 0x106, 0, 0, "main.orv", nullptr, 1},   {1, 0x106, 1, 1, "main.orv", nullptr, 0}};
    ASSERT_EQ(orvasm_result_listing_line_count(result), std::size(expected));
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    for (std::size_t i = 0; i < std::size(expected); i++) {
        const orvasm_listing_line* line = orvasm_result_listing_line(result, i);
        const Expected& want = expected[i];
        EXPECT_EQ(line->position.line, want.line) << i;
        EXPECT_STREQ(line->position.file, want.file) << i;
        EXPECT_EQ(line->address, want.address) << i;
        EXPECT_EQ(line->size, want.size) << i;
        EXPECT_EQ(line->bytes, want.size ? rom + (want.address - 0x100) : nullptr) << i;
        EXPECT_EQ(line->expansions, want.expansions) << i;
        EXPECT_STREQ(line->opens, want.opens) << i;
        EXPECT_EQ(line->resumes, want.resumes) << i;
    }
    EXPECT_EQ(orvasm_result_listing_line(result, std::size(expected)), nullptr);
    orvasm_result_free(result);
}

// Records that fill the first block exactly, and one more: the line that
// joins them holds every byte whichever block its records are in.
TEST(Interface, ListingLinesAtTheEndOfTheFirstBlock) {
    for (std::size_t bytes : {1023u, 1024u, 1025u}) {
        std::string source = "|0100";
        for (std::size_t i = 0; i < bytes; i++) source += " 2a";
        orvasm_result* result = assembled(source, ORVASM_LISTING);
        ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
        EXPECT_EQ(orvasm_result_listing_count(result), bytes) << bytes;
        ASSERT_EQ(orvasm_result_listing_line_count(result), 1u) << bytes;
        const orvasm_listing_line* line = orvasm_result_listing_line(result, 0);
        EXPECT_EQ(line->address, 0x100u) << bytes;
        ASSERT_EQ(line->size, bytes);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(line->bytes), bytes),
                  std::string(bytes, '\x2a'));
        EXPECT_EQ(orvasm_result_listing(result, bytes - 1)->address, 0x100u + bytes - 1) << bytes;
        EXPECT_EQ(orvasm_result_listing(result, bytes), nullptr) << bytes;
        orvasm_result_free(result);
    }
}

// The lines show the rom's bytes as resolved, over records in several
// blocks: each byte written is in exactly one line, at its address, and a
// reference made before its label was defined shows the label's address.
TEST(Interface, ListingLinesShowTheRomAsResolved) {
    std::string source = "%m { #12 ;l0 }\n|0100\n";
    const int labels = 1000; // 5 records each: three blocks
    for (int i = 0; i < labels; i++)
        source += "@l" + std::to_string(i) + " ;l" + std::to_string(i + 1) + " m\n";
    source += "@l" + std::to_string(labels) + " 01\n";
    orvasm_options options = from_memory(source);
    options.flags = ORVASM_LISTING;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    EXPECT_GT(orvasm_result_listing_count(result), std::size_t{4 * labels});
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    std::vector<int> shown(size);
    for (std::size_t i = 0; i < orvasm_result_listing_line_count(result); i++) {
        const orvasm_listing_line* line = orvasm_result_listing_line(result, i);
        if (line->size == 0) continue;
        ASSERT_GE(line->address, 0x100u);
        ASSERT_LE(line->address - 0x100 + line->size, size);
        EXPECT_EQ(line->bytes, rom + (line->address - 0x100)) << i;
        for (std::uint32_t at = 0; at < line->size; at++) shown[line->address - 0x100 + at]++;
        // Each "@lN ;lN+1 m" line writes a0 and the address of lN+1, which
        // stands 8 bytes on; the body of m (#12 ;l0) is a line of its own.
        if (line->depth == 0 && line->size == 3 && line->bytes[0] == 0xa0) {
            std::uint32_t target = line->address + 8;
            EXPECT_EQ(line->bytes[1], target >> 8) << i;
            EXPECT_EQ(line->bytes[2], target & 0xff) << i;
        }
    }
    for (std::size_t at = 0; at < size; at++) ASSERT_EQ(shown[at], 1) << at;
    // Records and lines each lie in one array, which bindings read from the
    // first, though the pass kept the records in blocks.
    for (std::size_t i = 0; i < orvasm_result_listing_count(result); i++)
        ASSERT_EQ(orvasm_result_listing(result, i), orvasm_result_listing(result, 0) + i) << i;
    for (std::size_t i = 0; i < orvasm_result_listing_line_count(result); i++)
        ASSERT_EQ(orvasm_result_listing_line(result, i), orvasm_result_listing_line(result, 0) + i)
            << i;
    orvasm_result_free(result);
}

// Records of one line at different depths never share a line: a macro
// used on the line that defines it shows its body's bytes apart from the
// bytes around the use, with their "+".
TEST(Interface, ListingLinesKeepDepthsApart) {
    std::string source = "%m { 01 02 } m 03 m\n";
    orvasm_options options = from_memory(source);
    options.flags = ORVASM_LISTING;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    struct Expected {
        std::uint32_t address, size, depth, expansions;
    };
    const Expected expected[] = {
        {0x100, 0, 0, 0}, {0x100, 2, 1, 1}, {0x102, 1, 0, 0}, {0x103, 0, 0, 0}, {0x103, 2, 1, 1}};
    ASSERT_EQ(orvasm_result_listing_line_count(result), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); i++) {
        const orvasm_listing_line* line = orvasm_result_listing_line(result, i);
        EXPECT_EQ(line->position.line, 1u) << i;
        EXPECT_EQ(line->address, expected[i].address) << i;
        EXPECT_EQ(line->size, expected[i].size) << i;
        EXPECT_EQ(line->depth, expected[i].depth) << i;
        EXPECT_EQ(line->expansions, expected[i].expansions) << i;
    }
    orvasm_result_free(result);
}

// A record's depth counts every expansion around it, past 255.
TEST(Interface, ListingDepthsGoPastAByte) {
    std::string source;
    for (int i = 0; i < 255; i++)
        source += "%m" + std::to_string(i) + " { m" + std::to_string(i + 1) + " } ";
    source += "%m255 { 01 } |0100 m0";
    orvasm_result* result = assembled(source, ORVASM_LISTING);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK) << lines_of(result);
    std::size_t count = orvasm_result_listing_count(result);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(orvasm_result_listing(result, count - 1)->depth, 256u);
    orvasm_result_free(result);
}

TEST(Interface, AStateReusedWithoutPositionsForgetsThem) {
    orvasm_assembler* assembler = orvasm_assembler_new();
    std::string source = "@a ;a";
    orvasm_options options = from_memory(source);
    options.flags = ORVASM_POSITIONS;
    orvasm_result_free(orvasm_assemble(assembler, &options));
    options.flags = 0;
    orvasm_result* result = orvasm_assemble(assembler, &options);
    EXPECT_EQ(orvasm_result_symbol(result, 0)->definition.line, 0u);
    EXPECT_EQ(orvasm_result_symbol(result, 0)->definition.file, nullptr);
    orvasm_result_free(result);
    orvasm_assembler_free(assembler);
}

TEST(Interface, LinesPastTheLimitArePrintedAndCountedNotKept) {
    std::string source;
    for (int i = 0; i < ORVASM_MAX_DIAGNOSTICS + 10; i++) source += "(x ) ";
    source += "|0100 01";
    orvasm_options options = from_memory(source);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(orvasm_result_diagnostic_count(result), std::size_t{ORVASM_MAX_DIAGNOSTICS});
    EXPECT_EQ(orvasm_result_diagnostics_dropped(result), 10u);
    EXPECT_STREQ(orvasm_result_diagnostic(result, ORVASM_MAX_DIAGNOSTICS - 1)->text,
                 "-- Malformed comment: (x\n");
    EXPECT_EQ(orvasm_result_diagnostic(result, ORVASM_MAX_DIAGNOSTICS), nullptr);
    // The summary of the report too.
    orvasm_result_report(result, "out.rom");
    EXPECT_EQ(orvasm_result_diagnostic_count(result), std::size_t{ORVASM_MAX_DIAGNOSTICS});
    EXPECT_EQ(orvasm_result_diagnostics_dropped(result), 11u);
    orvasm_result_free(result);
}

TEST(Interface, ReferencesCarryResolvedNamesAndPositions) {
    Served served{"@lib ,&x &x"};
    std::string source = "%m { ;main/y }\n@main ,&y &y m\n  ~lib.orv main";
    orvasm_result* result = assembled(source, ORVASM_POSITIONS, &served);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    ASSERT_EQ(orvasm_result_reference_count(result), 4u);
    const orvasm_reference* in_scope = orvasm_result_reference(result, 0);
    EXPECT_STREQ(in_scope->name, "main/y");
    EXPECT_EQ(in_scope->sigil, ',');
    EXPECT_EQ(in_scope->address, 0x0101u);
    EXPECT_EQ(in_scope->position.line, 2u);
    EXPECT_EQ(in_scope->position.column, 7u);
    // From a macro body: the body token's position, in the definition.
    const orvasm_reference* expanded = orvasm_result_reference(result, 1);
    EXPECT_STREQ(expanded->name, "main/y");
    EXPECT_EQ(expanded->position.line, 1u);
    EXPECT_EQ(expanded->position.column, 6u);
    // In the included file, in the scope the file opened.
    const orvasm_reference* included = orvasm_result_reference(result, 2);
    EXPECT_STREQ(included->name, "lib/x");
    EXPECT_STREQ(included->position.file, "lib.orv");
    const orvasm_reference* call = orvasm_result_reference(result, 3);
    EXPECT_EQ(call->sigil, 0);
    EXPECT_EQ(call->position.line, 3u);
    EXPECT_EQ(orvasm_result_reference(result, 4), nullptr);
    orvasm_result_free(result);
}

TEST(Interface, MacrosCarryTheirBodiesAndPositions) {
    std::string source = "@a\n%twice { DUP\n  ADD }\n%empty { }\ntwice #01";
    orvasm_result* result = assembled(source, ORVASM_POSITIONS);
    ASSERT_EQ(orvasm_result_macro_count(result), 2u);
    const orvasm_macro* twice = orvasm_result_macro(result, 0);
    EXPECT_STREQ(twice->name, "twice");
    EXPECT_EQ(twice->position.line, 2u);
    ASSERT_EQ(twice->body_length, 2u);
    const orvasm_token* add = orvasm_result_macro_body(result, 0, 1);
    EXPECT_STREQ(add->text, "ADD");
    EXPECT_EQ(add->position.line, 3u);
    EXPECT_EQ(add->position.column, 3u);
    EXPECT_EQ(orvasm_result_macro_body(result, 0, 2), nullptr);
    EXPECT_EQ(orvasm_result_macro(result, 1)->body_length, 0u);
    EXPECT_EQ(orvasm_result_macro_body(result, 1, 0), nullptr);
    EXPECT_EQ(orvasm_result_macro(result, 2), nullptr);
    orvasm_result_free(result);
}

TEST(Interface, ADocumentThatFailsKeepsWhatWasReadBeforeTheFailure) {
    std::string source = "@a ;a %m { 01 } #zz ;later";
    orvasm_result* result = assembled(source, ORVASM_POSITIONS);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    EXPECT_EQ(orvasm_result_symbol_count(result), 1u);
    ASSERT_EQ(orvasm_result_reference_count(result), 1u);
    EXPECT_STREQ(orvasm_result_reference(result, 0)->name, "a");
    EXPECT_EQ(orvasm_result_macro_count(result), 1u);
    orvasm_result_free(result);
    // Without a result, or without a state, nothing.
    EXPECT_EQ(orvasm_result_reference(nullptr, 0), nullptr);
    EXPECT_EQ(orvasm_result_macro_body(nullptr, 0, 0), nullptr);
    EXPECT_EQ(orvasm_result_macro_count(nullptr), 0u);
}

TEST(Interface, InstructionWordsAndTheirOpcodes) {
    EXPECT_EQ(orvasm_opcode("ADD"), 0x18);
    EXPECT_EQ(orvasm_opcode("ADD2k"), 0xb8);
    EXPECT_EQ(orvasm_opcode("JMP2r"), 0x6c);
    EXPECT_EQ(orvasm_opcode("LIT"), 0x80);
    EXPECT_EQ(orvasm_opcode("BRK"), 0x00);
    for (const char* word : {"ADD2x", "add", "AD", "", "BRK2", "main"}) {
        EXPECT_EQ(orvasm_opcode(word), -1) << word;
    }
    EXPECT_EQ(orvasm_opcode(nullptr), -1);
    EXPECT_STREQ(orvasm_mnemonic(0), "LIT");
    EXPECT_STREQ(orvasm_mnemonic(31), "SFT");
    EXPECT_EQ(orvasm_mnemonic(32), nullptr);
}

// A record and the notes its `notes` counts, as "MESSAGE|DETAIL|FIX" lines.
static std::string notes_of(const orvasm_result* result, std::size_t head) {
    std::string notes;
    const orvasm_diagnostic* first = orvasm_result_diagnostic(result, head);
    for (std::size_t i = 1; first && i <= first->notes; i++) {
        const orvasm_diagnostic* note = orvasm_result_diagnostic(result, head + i);
        EXPECT_EQ(note->severity, ORVASM_NOTE);
        notes += std::string(note->message) + "|" + note->detail + "|" +
                 (note->fix ? note->fix : "NULL") + "\n";
    }
    return notes;
}

TEST(Interface, HintsAreNotesAndTheCertainOnesCarryTheirFix) {
    std::string source = "%print { ;mesage }\n|0100 @message @main print";
    orvasm_result* result = assembled(source, ORVASM_LOCATIONS);
    // The chain of the use, then the hint, which replaces the body's token.
    EXPECT_EQ(notes_of(result, 0), "in expansion of macro|print|NULL\n"
                                   "did you mean|'message'?|;message\n");
    const orvasm_diagnostic* hint = orvasm_result_diagnostic(result, 2);
    EXPECT_EQ(hint->position.line, 2u);
    EXPECT_EQ(hint->position.column, 7u);
    orvasm_result_free(result);

    source = "|0100 #FF";
    result = assembled(source, ORVASM_LOCATIONS);
    EXPECT_EQ(notes_of(result, 0), "hexadecimal digits are lower case:|#ff|#ff\n");
    orvasm_result_free(result);

    // A hint that is no fix: an overwrite's notes.
    source = "|0100 01 02 |0100 03";
    result = assembled(source, ORVASM_LOCATIONS);
    EXPECT_EQ(notes_of(result, 0),
              "writing at|0x0100, below the highest address written so far, 0x0101|NULL\n"
              "write position moved back to|0x0100|NULL\n");
    orvasm_result_free(result);
}

// Only the steps of the include and macro-use chain are marked as such.
TEST(Interface, ChainNotesAreMarkedAndNoOtherNotes) {
    auto marks = [](const orvasm_result* result) {
        std::string marked;
        const orvasm_diagnostic* head = orvasm_result_diagnostic(result, 0);
        for (std::size_t i = 0; head && i <= head->notes; i++) {
            const orvasm_diagnostic* record = orvasm_result_diagnostic(result, i);
            marked += std::string(record->message) + "|" + std::to_string(record->chain) + "\n";
        }
        return marked;
    };
    Served served{"@lib ;x\n"};
    orvasm_result* result = assembled("@y 02 ~lib.orv ;lib", ORVASM_LOCATIONS, &served);
    EXPECT_EQ(marks(result), "Unknown absolute reference|0\n"
                             "included from here|1\n"
                             "did you mean|0\n");
    orvasm_result_free(result);

    result = assembled("%m { @a }\n@a m", ORVASM_LOCATIONS);
    EXPECT_EQ(marks(result), "Label duplicate|0\n"
                             "in expansion of macro|1\n"
                             "first defined here|0\n");
    orvasm_result_free(result);
}

TEST(Interface, HintsNeedLocations) {
    std::string source = "|0100 @message ;mesage";
    orvasm_options options = from_memory(source);
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(lines_of(result),
              "Unknown absolute reference: mesage\nAssembly: Failed to assemble rom.\n");
    EXPECT_EQ(orvasm_result_diagnostic(result, 0)->notes, 0u);
    EXPECT_EQ(orvasm_result_diagnostic(result, 0)->fix, nullptr);
    orvasm_result_free(result);
}

TEST(Interface, OnlyTheFileSystemGivesReasons) {
    // A file the resolver does not serve has no reason from the system.
    Served missing{"", ORVASM_NOT_FOUND};
    std::string include = "~other.orv";
    orvasm_options options = from_memory(include, &missing);
    options.flags = ORVASM_LOCATIONS;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_diagnostic(result, 0)->notes, 0u);
    orvasm_result_free(result);

    // One it hands to the file system does; an absolute path is not looked
    // for in the working directory.
    Served handed{"", ORVASM_USE_FILE_SYSTEM};
    include = "~/nonexistent/dir/x.orv";
    options = from_memory(include, &handed);
    options.flags = ORVASM_LOCATIONS;
    result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(notes_of(result, 0), "No such file or directory||NULL\n");
    orvasm_result_free(result);

    // The source by path, as the program opens it.
    options = ORVASM_OPTIONS_INIT;
    options.source_path = "/nonexistent/dir/main.orv";
    options.flags = ORVASM_LOCATIONS;
    result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(lines_of(result), "Invalid input: /nonexistent/dir/main.orv\n"
                                "note: No such file or directory\n");
    orvasm_result_free(result);
}

// A result the options refused has no state: every accessor answers nothing.
TEST(Interface, ARefusedResultAnswersNothing) {
    orvasm_options none = ORVASM_OPTIONS_INIT;
    orvasm_result* result = orvasm_assemble(nullptr, &none);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_INVALID);
    EXPECT_EQ(orvasm_result_symbol_count(result), 0u);
    EXPECT_EQ(orvasm_result_symbol(result, 0), nullptr);
    EXPECT_EQ(orvasm_result_reference_count(result), 0u);
    EXPECT_EQ(orvasm_result_reference(result, 0), nullptr);
    EXPECT_EQ(orvasm_result_macro_count(result), 0u);
    EXPECT_EQ(orvasm_result_macro_body(result, 0, 0), nullptr);
    EXPECT_EQ(orvasm_result_listing_line_count(result), 0u);
    EXPECT_EQ(orvasm_result_listing_line(result, 0), nullptr);
    EXPECT_EQ(orvasm_result_file_count(result), 0u);
    EXPECT_EQ(orvasm_result_file(result, 0), nullptr);
    orvasm_result_free(result);
    EXPECT_EQ(orvasm_result_listing_line_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_report(nullptr, "out.rom"), ORVASM_INVALID);
}

// The files read are given only when asked for, and only once the source
// was opened.
TEST(Interface, FilesReadAreGivenWhenAskedForAndTheSourceOpened) {
    const std::string source = "01";
    orvasm_options unasked = from_memory(source);
    orvasm_options missing = ORVASM_OPTIONS_INIT;
    missing.source_path = "no-such-directory/in.orv";
    missing.flags = ORVASM_DEPENDENCIES;
    for (const orvasm_options* options : {&unasked, &missing}) {
        orvasm_result* result = orvasm_assemble(nullptr, options);
        EXPECT_EQ(orvasm_result_file_count(result), 0u);
        EXPECT_EQ(orvasm_result_file(result, 0), nullptr);
        orvasm_result_free(result);
    }
}

// A source given as bytes without a name is named "" in what is reported.
TEST(Interface, ASourceWithoutANameIsNamedEmpty) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    const std::string source = "@a @a";
    options.source_data = reinterpret_cast<const unsigned char*>(source.data());
    options.source_size = source.size();
    options.flags = ORVASM_LOCATIONS | ORVASM_DEPENDENCIES;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    EXPECT_STREQ(orvasm_result_file(result, 0), "");
    EXPECT_EQ(lines_of(result), ":1:4: Label duplicate: a\n"
                                ":1:1: note: first defined here\n"
                                ":1:4: Invalid label: @a\n"
                                ":1:4: Invalid token: @a\n"
                                "Assembly: Failed to assemble rom.\n");
    orvasm_result_free(result);
}

// The report is printed once, by the first call, and names the rom it is
// given: "" for none.
TEST(Interface, TheReportIsPrintedOnceAndNamesTheRomGiven) {
    char* printed = nullptr;
    std::size_t printed_size = 0;
    std::FILE* print_to = open_memstream(&printed, &printed_size);
    ASSERT_NE(print_to, nullptr);
    const std::string source = "01 02";
    orvasm_options options = from_memory(source);
    options.print_to = print_to;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(orvasm_result_report(result, nullptr), ORVASM_OK);
    EXPECT_EQ(orvasm_result_report(result, "second.rom"), ORVASM_OK);
    std::fclose(print_to);
    const std::string summary = "Assembled  in 2 bytes(0.00% used), 0 labels, 0 macros.\n";
    EXPECT_EQ(std::string(printed, printed_size), summary);
    std::free(printed);
    EXPECT_EQ(lines_of(result), summary);
    orvasm_result_free(result);
}

// A line longer than the printer's buffer reaches the record whole, as it
// was printed, whatever its kind: an error, a warning, a note with and
// without a detail, each with its location.
TEST(Interface, LongLocatedLinesOfEveryKindAreKeptAsPrinted) {
    const std::string source = "(x )\n%m { @x }\n@x m";
    auto assembled = [&](const std::string& name, std::string& printed) {
        char* bytes = nullptr;
        std::size_t size = 0;
        std::FILE* print_to = open_memstream(&bytes, &size);
        orvasm_options options = from_memory(source);
        options.source_name = name.c_str();
        options.flags = ORVASM_LOCATIONS;
        options.print_to = print_to;
        orvasm_result* result = orvasm_assemble(nullptr, &options);
        std::fclose(print_to);
        printed.assign(bytes, size);
        std::free(bytes);
        return result;
    };
    std::string short_printed, long_printed;
    orvasm_result* short_result = assembled("s.orv", short_printed);
    const std::string long_name(1500, 'n');
    orvasm_result* long_result = assembled(long_name, long_printed);
    // Every kind is there.
    EXPECT_NE(short_printed.find("s.orv:1:1: -- Malformed comment: (x\n"), std::string::npos)
        << short_printed;
    EXPECT_NE(short_printed.find("s.orv:3:4: note: in expansion of macro m\n"), std::string::npos)
        << short_printed;
    EXPECT_NE(short_printed.find("s.orv:3:1: note: first defined here\n"), std::string::npos)
        << short_printed;
    ASSERT_EQ(orvasm_result_diagnostic_count(long_result),
              orvasm_result_diagnostic_count(short_result));
    std::string kept;
    for (std::size_t i = 0; i < orvasm_result_diagnostic_count(long_result); i++) {
        std::string expected = orvasm_result_diagnostic(short_result, i)->text;
        if (expected.compare(0, 6, "s.orv:") == 0) expected.replace(0, 5, long_name);
        const orvasm_diagnostic* line = orvasm_result_diagnostic(long_result, i);
        EXPECT_EQ(std::string(line->text, line->length), expected) << i;
        kept += line->text;
    }
    EXPECT_EQ(kept, long_printed);
    orvasm_result_free(short_result);
    orvasm_result_free(long_result);
}

// A state whose tables were filled to their limits with positions forgets
// every one of them, the last included, when reused without positions.
TEST(Interface, AStateReusedAfterFullTablesForgetsEveryPosition) {
    std::string full;
    for (int i = 0; i < 256; i++) full += "%m" + std::to_string(i) + " { 01 }\n";
    for (int i = 0; i < 1024; i++) full += "@l" + std::to_string(i) + "\n";
    for (int i = 0; i < 4096; i++) full += ";l" + std::to_string(i % 1024) + "\n";
    orvasm_assembler* assembler = orvasm_assembler_new();
    orvasm_options options = from_memory(full);
    options.flags = ORVASM_POSITIONS;
    orvasm_result* tracked = orvasm_assemble(assembler, &options);
    ASSERT_EQ(orvasm_result_status(tracked), ORVASM_OK) << lines_of(tracked);
    ASSERT_EQ(orvasm_result_symbol_count(tracked), 1024u);
    ASSERT_EQ(orvasm_result_reference_count(tracked), 4096u);
    ASSERT_EQ(orvasm_result_macro_count(tracked), 256u);
    EXPECT_EQ(orvasm_result_symbol(tracked, 1023)->definition.line, 256u + 1024u);
    orvasm_result_free(tracked);
    options.flags = 0;
    orvasm_result* result = orvasm_assemble(assembler, &options);
    ASSERT_EQ(orvasm_result_status(result), ORVASM_OK);
    EXPECT_EQ(orvasm_result_symbol(result, 1023)->definition.line, 0u);
    EXPECT_EQ(orvasm_result_reference(result, 4095)->position.line, 0u);
    EXPECT_EQ(orvasm_result_macro(result, 255)->position.line, 0u);
    EXPECT_EQ(orvasm_result_macro_body(result, 255, 0)->position.line, 0u);
    orvasm_result_free(result);
    orvasm_assembler_free(assembler);
}

// Past the limit a failure and its notes are dropped together: no note is
// counted on the last line kept.
TEST(Interface, NotesOfADroppedLineAreDroppedWithIt) {
    std::string source;
    for (int i = 0; i < ORVASM_MAX_DIAGNOSTICS; i++) source += "(x ) ";
    source += "@a @a";
    orvasm_result* result = assembled(source, ORVASM_LOCATIONS);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_FAILED);
    EXPECT_EQ(orvasm_result_diagnostic_count(result), std::size_t{ORVASM_MAX_DIAGNOSTICS});
    // "Label duplicate", its note, "Invalid label", "Invalid token", "Failed".
    EXPECT_EQ(orvasm_result_diagnostics_dropped(result), 5u);
    const orvasm_diagnostic* last = orvasm_result_diagnostic(result, ORVASM_MAX_DIAGNOSTICS - 1);
    EXPECT_EQ(last->severity, ORVASM_WARNING);
    EXPECT_EQ(last->notes, 0u);
    orvasm_result_free(result);
}
