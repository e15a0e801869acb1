// The cases of tests/cases/ through the C interface, every file served from
// memory by a resolver: status, lines, rom and symbol file as the program
// gives them. One assembler runs them all in turn, so each assembly starts
// from the state the previous one left (clear_state); then several threads
// run them all at once, each with its own assembler, and must agree with
// the single-threaded results (run under ThreadSanitizer by the preset
// "thread").
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "orvasm/orvasm.h"
#include "support/case_file.hpp"

namespace {

// Lines only the program gives: about the files it writes, and the notes
// of the file system, which says nothing about files a resolver serves.
const std::string PROGRAM_ONLY[] = {"Invalid Output",
                                    "Output write failed",
                                    "Symbol file not written",
                                    "usage",
                                    "note: No such file or directory",
                                    "note: include paths are taken from the working directory"};

// Whether a case's arguments are the default ones, with or without
// --locations, which the library takes as ORVASM_LOCATIONS.
bool plain_arguments(const std::vector<std::string>& args) {
    return args == std::vector<std::string>{"in.orv", "out.rom"} ||
           args == std::vector<std::string>{"--locations", "in.orv", "out.rom"};
}

// The cases that the library alone can run: the default arguments, no
// directories, no line that only the program's handling of files prints.
std::vector<Case> memory_cases() {
    std::vector<Case> cases;
    for (const auto& entry : std::filesystem::directory_iterator(ORVASM_ROOT "/tests/cases")) {
        if (entry.path().extension() != ".case") continue;
        Case test = read_case(entry.path(), ORVASM_ROOT);
        bool fits = plain_arguments(test.args) && test.dirs.empty() &&
                    find_case_file(test.files, CASE_SOURCE);
        for (const std::string& message : PROGRAM_ONLY)
            fits = fits && test.stderr_text.find(message) == std::string::npos;
        if (fits) cases.push_back(std::move(test));
    }
    return cases;
}

int serve(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    const auto& files = *static_cast<const std::vector<CaseFile>*>(context);
    const CaseFile* file = find_case_file(files, path);
    if (!file) return ORVASM_NOT_FOUND;
    *data = reinterpret_cast<const unsigned char*>(file->bytes.data());
    *size = file->bytes.size();
    return ORVASM_FOUND;
}

struct Outcome {
    int status;
    std::string lines; // as printed
    std::string kept;  // the texts of the records, which must be the same
    std::string rom;
    std::string symbols;
};

// `extras` are flags added to the case's own: extras that the program's
// plain run does not print must not change what it prints or writes.
Outcome assemble_case(orvasm_assembler* assembler, const Case& test, unsigned extras = 0) {
    char* printed = nullptr;
    std::size_t printed_size = 0;
    std::FILE* print_to = open_memstream(&printed, &printed_size);
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_path = CASE_SOURCE.c_str();
    options.resolver = &serve;
    options.resolver_context = const_cast<std::vector<CaseFile>*>(&test.files);
    options.print_to = print_to;
    options.rom_name = "out.rom";
    if (test.args.front() == "--locations") options.flags = ORVASM_LOCATIONS;
    options.flags |= extras;
    orvasm_result* result = orvasm_assemble(assembler, &options);
    Outcome outcome{orvasm_result_status(result), "", "", "", ""};
    for (std::size_t i = 0; i < orvasm_result_diagnostic_count(result); i++) {
        const orvasm_diagnostic* line = orvasm_result_diagnostic(result, i);
        outcome.kept.append(line->text, line->length);
    }
    std::size_t size = 0;
    const unsigned char* rom = orvasm_result_rom(result, &size);
    if (outcome.status == ORVASM_OK) {
        outcome.rom.assign(reinterpret_cast<const char*>(rom), size);
        outcome.symbols.resize(orvasm_result_symbol_file(result, nullptr, 0));
        orvasm_result_symbol_file(result, reinterpret_cast<unsigned char*>(outcome.symbols.data()),
                                  outcome.symbols.size());
    }
    orvasm_result_free(result);
    std::fclose(print_to);
    outcome.lines.assign(printed, printed_size);
    std::free(printed);
    return outcome;
}

void expect_as_the_program(const Case& test, const Outcome& outcome) {
    SCOPED_TRACE(test.files.front().name + " of a case with stderr:\n" + test.stderr_text);
    EXPECT_EQ(outcome.status == ORVASM_OK ? 0 : 1, test.status);
    EXPECT_EQ(outcome.lines, test.stderr_text);
    EXPECT_EQ(outcome.kept, test.stderr_text);
    const CaseFile* rom = find_case_file(test.expected, "out.rom");
    if (rom && test.status == 0) {
        EXPECT_EQ(outcome.rom, rom->bytes);
    }
    if (const CaseFile* symbols = find_case_file(test.expected, "out.rom.sym")) {
        EXPECT_EQ(outcome.symbols, symbols->bytes);
    }
}

} // namespace

TEST(CasesInMemory, OneReusedAssemblerGivesWhatTheProgramGives) {
    std::vector<Case> cases = memory_cases();
    ASSERT_GT(cases.size(), 120u); // nearly all of them
    orvasm_assembler* assembler = orvasm_assembler_new();
    ASSERT_NE(assembler, nullptr);
    // Twice round, so that every case also follows the largest ones.
    for (int round = 0; round < 2; round++)
        for (const Case& test : cases) expect_as_the_program(test, assemble_case(assembler, test));
    orvasm_assembler_free(assembler);
}

// Positions and a listing take their own reading loops for the source, the
// included files and the macro bodies: each must give every token kind the
// meaning the plain loops give it, and fail where they fail.
TEST(CasesInMemory, PositionsAndAListingChangeNothingTheProgramGives) {
    std::vector<Case> cases = memory_cases();
    orvasm_assembler* assembler = orvasm_assembler_new();
    ASSERT_NE(assembler, nullptr);
    for (unsigned extras : {ORVASM_POSITIONS, ORVASM_LISTING, ORVASM_LISTING | ORVASM_DEPENDENCIES})
        for (const Case& test : cases) {
            SCOPED_TRACE("flags " + std::to_string(extras));
            expect_as_the_program(test, assemble_case(assembler, test, extras));
        }
    orvasm_assembler_free(assembler);
}

TEST(CasesInMemory, ThreadsAtOnceGiveWhatOneThreadGives) {
    std::vector<Case> cases = memory_cases();
    std::vector<Outcome> alone;
    for (const Case& test : cases) alone.push_back(assemble_case(nullptr, test));
    constexpr int THREADS = 4;
    std::vector<std::vector<Outcome>> outcomes(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++)
        threads.emplace_back([&, t] {
            orvasm_assembler* assembler = orvasm_assembler_new();
            // Each thread starts elsewhere in the list, so different cases overlap.
            for (std::size_t i = 0; i < cases.size(); i++) {
                std::size_t index = (i + t * cases.size() / THREADS) % cases.size();
                outcomes[t].push_back(assemble_case(assembler, cases[index]));
            }
            orvasm_assembler_free(assembler);
        });
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < THREADS; t++)
        for (std::size_t i = 0; i < cases.size(); i++) {
            std::size_t index = (i + t * cases.size() / THREADS) % cases.size();
            const Outcome& mine = outcomes[t][i];
            const Outcome& expected = alone[index];
            EXPECT_EQ(mine.status, expected.status);
            EXPECT_EQ(mine.lines, expected.lines);
            EXPECT_EQ(mine.rom, expected.rom);
            EXPECT_EQ(mine.symbols, expected.symbols);
        }
}
