// The library's answers for the tools around it: what a token is, where it
// ends, which diagnostics are the problems an editor shows, and the bytes
// written at a place. Kinds are checked against what the pass does with
// each first byte, so that the answer cannot drift from the dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orvasm/orvasm.h"

namespace {

struct ResultDeleter {
    void operator()(orvasm_result* result) const { orvasm_result_free(result); }
};
using Result = std::unique_ptr<orvasm_result, ResultDeleter>;

// Serves "lib.orv" from `context`.
int serve_lib(void* context, const char* path, const unsigned char** data, std::size_t* size) {
    if (std::strcmp(path, "lib.orv") != 0) return ORVASM_NOT_FOUND;
    const auto* lib = static_cast<const std::string*>(context);
    *data = reinterpret_cast<const unsigned char*>(lib->data());
    *size = lib->size();
    return ORVASM_FOUND;
}

Result assemble(orvasm_assembler* assembler, const std::string& source, unsigned flags,
                const std::string* lib = nullptr) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = reinterpret_cast<const unsigned char*>(source.data());
    options.source_size = source.size();
    options.source_name = "main.orv";
    options.flags = flags;
    options.resolver = &serve_lib;
    options.resolver_context = const_cast<std::string*>(lib);
    return Result(orvasm_assemble(assembler, &options));
}

int kind(const std::string& token) {
    return orvasm_token_kind(token.data(), token.size());
}

std::size_t name_start(const std::string& token) {
    return orvasm_token_name_start(token.data(), token.size());
}

TEST(TokenKinds, EachKindByItsTokens) {
    const std::vector<std::pair<std::string, int>> tokens = {
        {"name", ORVASM_TOKEN_WORD},
        {"", ORVASM_TOKEN_WORD},
        {"{", ORVASM_TOKEN_WORD},
        {"[x", ORVASM_TOKEN_WORD},
        {"abc", ORVASM_TOKEN_WORD},
        {"FF", ORVASM_TOKEN_WORD},
        {"ADDx", ORVASM_TOKEN_WORD},
        {"BRK2", ORVASM_TOKEN_WORD},
        {"(", ORVASM_TOKEN_COMMENT},
        {std::string("(\0x", 3), ORVASM_TOKEN_COMMENT}, // the text ends at the 0x00
        {"(note)", ORVASM_TOKEN_MALFORMED_COMMENT},
        {"~lib.orv", ORVASM_TOKEN_INCLUDE},
        {"%m", ORVASM_TOKEN_MACRO},
        {"|0100", ORVASM_TOKEN_ABSOLUTE_PADDING},
        {"|", ORVASM_TOKEN_ABSOLUTE_PADDING},
        {"$2", ORVASM_TOKEN_RELATIVE_PADDING},
        {"@a", ORVASM_TOKEN_LABEL},
        {"&b", ORVASM_TOKEN_SUBLABEL},
        {"#12", ORVASM_TOKEN_LITERAL},
        {"#FF", ORVASM_TOKEN_LITERAL},
        {"\"hi", ORVASM_TOKEN_TEXT},
        {"[", ORVASM_TOKEN_BRACKET},
        {"]", ORVASM_TOKEN_BRACKET},
        {"ADD2kr", ORVASM_TOKEN_INSTRUCTION},
        {"BRK", ORVASM_TOKEN_INSTRUCTION},
        {"LIT", ORVASM_TOKEN_INSTRUCTION},
        {"12", ORVASM_TOKEN_RAW_BYTE},
        {"beef", ORVASM_TOKEN_RAW_SHORT},
        {"12345", ORVASM_TOKEN_WORD},
        {",a", ORVASM_TOKEN_RELATIVE_REFERENCE},
        {"_a", ORVASM_TOKEN_RELATIVE_REFERENCE},
        {".a", ORVASM_TOKEN_ZERO_PAGE_REFERENCE},
        {"-a", ORVASM_TOKEN_ZERO_PAGE_REFERENCE},
        {";a", ORVASM_TOKEN_ABSOLUTE_REFERENCE},
        {":a", ORVASM_TOKEN_ABSOLUTE_REFERENCE},
        {"=a", ORVASM_TOKEN_ABSOLUTE_REFERENCE},
        {"!a", ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE},
        {"?&a", ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE},
        {std::string(70, 'a'), ORVASM_TOKEN_WORD},
    };
    std::vector<bool> seen(ORVASM_TOKEN_KINDS);
    for (const auto& [token, expected] : tokens) {
        EXPECT_EQ(kind(token), expected) << token;
        seen.at(static_cast<std::size_t>(expected)) = true;
    }
    for (int k = 0; k < ORVASM_TOKEN_KINDS; k++) EXPECT_TRUE(seen[k]) << "kind " << k;
    EXPECT_EQ(orvasm_token_kind(nullptr, 5), ORVASM_TOKEN_WORD);
    EXPECT_EQ(orvasm_token_kind("#12", 1), ORVASM_TOKEN_LITERAL); // only the bytes given
}

// Every first byte, as the pass takes it: a token of it and a name records
// a reference with that sigil exactly when the kind is a reference's, and
// writes the bytes the reference kind says.
TEST(TokenKinds, ReferenceKindsAreThePassesSigils) {
    orvasm_assembler* assembler = orvasm_assembler_new();
    int references = 0;
    for (int byte = 1; byte < 256; byte++) {
        std::string token = std::string(1, static_cast<char>(byte)) + "target";
        if (orvasm_token_length(token.data(), 1) == 0) continue; // whitespace
        Result result = assemble(assembler, "|0100 @target " + token, 0);
        int k = kind(token);
        bool is_reference = k >= ORVASM_TOKEN_RELATIVE_REFERENCE;
        const orvasm_reference* recorded = orvasm_result_reference(result.get(), 0);
        bool recorded_here = recorded && recorded->sigil == static_cast<char>(byte);
        EXPECT_EQ(is_reference, recorded_here) << "byte " << byte;
        if (!is_reference) continue;
        references++;
        std::size_t size = 0;
        orvasm_result_rom(result.get(), &size);
        bool short_placeholder =
            k == ORVASM_TOKEN_ABSOLUTE_REFERENCE || k == ORVASM_TOKEN_RELATIVE_SHORT_REFERENCE;
        std::size_t placeholder = recorded->address - ORVASM_PROGRAM_START;
        EXPECT_EQ(size - placeholder, short_placeholder ? 2u : 1u) << "byte " << byte;
    }
    EXPECT_EQ(references, 9);
    orvasm_assembler_free(assembler);
}

// The other kinds, each by what the pass does with it.
TEST(TokenKinds, OtherKindsDoWhatTheySay) {
    orvasm_assembler* assembler = orvasm_assembler_new();
    auto rom_size = [&](const std::string& source) {
        Result result = assemble(assembler, source, 0);
        std::size_t size = 0;
        orvasm_result_rom(result.get(), &size);
        return orvasm_result_status(result.get()) == ORVASM_OK ? size : 999;
    };
    EXPECT_EQ(rom_size("|0100 [ ] 12"), 1u);        // brackets: nothing
    EXPECT_EQ(rom_size("|0100 ( 12 ) 12"), 1u);     // a comment
    EXPECT_EQ(rom_size("|0100 12 $2 12"), 4u);      // relative padding
    EXPECT_EQ(rom_size("|0100 12 |0104 12"), 5u);   // absolute padding
    EXPECT_EQ(rom_size("|0100 ADD2kr beef"), 3u);   // an instruction, a raw short
    EXPECT_EQ(rom_size("|0100 #12 \"hi"), 4u);      // a literal, text
    EXPECT_EQ(rom_size("|0100 %m { 12 } m m"), 2u); // a macro, a word
    orvasm_assembler_free(assembler);
}

TEST(TokenKinds, WhereTheNameStarts) {
    EXPECT_EQ(name_start("word"), 0u);
    EXPECT_EQ(name_start("@label"), 1u);
    EXPECT_EQ(name_start("&sub"), 1u);
    EXPECT_EQ(name_start("%macro"), 1u);
    EXPECT_EQ(name_start("~lib.orv"), 1u);
    EXPECT_EQ(name_start(";abs"), 1u);
    EXPECT_EQ(name_start(",&sub"), 2u);
    EXPECT_EQ(name_start("=&sub"), 2u);
    EXPECT_EQ(name_start("&&x"), 1u); // a sublabel named "&x"
    EXPECT_EQ(name_start("#12"), 3u); // names nothing
    EXPECT_EQ(name_start("ADD"), 3u);
    EXPECT_EQ(name_start("["), 1u);
    EXPECT_EQ(name_start("("), 1u);
}

TEST(TokenKinds, ATokenEndsWhereTheReaderEndsIt) {
    auto length = [](const std::string& text) {
        return orvasm_token_length(text.data(), text.size());
    };
    EXPECT_EQ(length(";x) rest"), 3u); // a parenthesis is a token's byte
    EXPECT_EQ(length("(note)\tx"), 6u);
    EXPECT_EQ(length(std::string("ab\0cd ef", 8)), 5u); // a 0x00 is too
    EXPECT_EQ(length("\x80\xff\x01 x"), 3u);
    for (char space : std::string(" \t\n\v\f\r")) EXPECT_EQ(length(std::string("ab") + space), 2u);
    EXPECT_EQ(length(" ab"), 0u);
    EXPECT_EQ(length(std::string(62, 'a')), 62u);
    EXPECT_EQ(length(std::string(200, 'a')), 200u); // read in pieces, refused whole
    EXPECT_EQ(orvasm_token_length("abc", 2), 2u);
    EXPECT_EQ(orvasm_token_length(nullptr, 3), 0u);
}

// The problems of a result, each as "SEVERITY:DETAIL+NOTES".
std::vector<std::string> problems(const orvasm_result* result) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < orvasm_result_problem_count(result); i++) {
        const orvasm_diagnostic* record =
            orvasm_result_diagnostic(result, orvasm_result_problem(result, i));
        found.push_back(std::to_string(record->severity) + ":" + record->detail + "+" +
                        std::to_string(record->notes));
    }
    return found;
}

TEST(Problems, AFailureIsOneProblemItsInnermostCause) {
    std::string lib = "%m { ;missing #FF }\n";
    Result result = assemble(nullptr, "(x ) ~lib.orv |0100 m", ORVASM_LOCATIONS, &lib);
    ASSERT_EQ(orvasm_result_status(result.get()), ORVASM_FAILED);
    EXPECT_GT(orvasm_result_diagnostic_count(result.get()), 3u);
    // The literal's notes: the macro use, and the lower-case hint.
    EXPECT_EQ(problems(result.get()), (std::vector<std::string>{"1:(x+0", "0:#FF+2"}));
}

TEST(Problems, WarningsOfTheReportAreProblemsTooAndTheSummaryIsNone) {
    Result result = assemble(nullptr, "|0100 @a @b (x ) ( ( a ) ) BRK", ORVASM_LOCATIONS);
    EXPECT_EQ(problems(result.get()), (std::vector<std::string>{"1:(x+0"}));
    orvasm_result_report(result.get(), "out.rom");
    EXPECT_EQ(problems(result.get()), (std::vector<std::string>{"1:(x+0", "1:a+0", "1:b+0"}));
    Result empty = assemble(nullptr, "@a", 0);
    orvasm_result_report(empty.get(), "out.rom");
    EXPECT_EQ(problems(empty.get()), (std::vector<std::string>{"0:Output rom is empty.+0"}));
    Result clean = assemble(nullptr, "|0100 BRK", 0);
    EXPECT_EQ(orvasm_result_problem_count(clean.get()), 0u);
}

TEST(Problems, AskedInAnyOrderAndPastTheEnd) {
    std::string source = "|0100";
    for (int i = 0; i < 50; i++) source += " (w" + std::to_string(i) + " )";
    source += " ;nowhere";
    Result result = assemble(nullptr, source, 0);
    ASSERT_EQ(orvasm_result_problem_count(result.get()), 51u);
    std::size_t count = orvasm_result_diagnostic_count(result.get());
    EXPECT_EQ(orvasm_result_problem(result.get(), 50), 50u);
    EXPECT_EQ(orvasm_result_problem(result.get(), 7), 7u);
    EXPECT_EQ(orvasm_result_problem(result.get(), 8), 8u);
    EXPECT_EQ(orvasm_result_problem(result.get(), 0), 0u);
    EXPECT_EQ(orvasm_result_problem(result.get(), 51), count);
    EXPECT_EQ(orvasm_result_problem(result.get(), SIZE_MAX), count);
    EXPECT_EQ(orvasm_result_problem_count(nullptr), 0u);
    EXPECT_EQ(orvasm_result_problem(nullptr, 0), 0u);
}

// The spans at a place, as "ADDRESS+SIZE" in hexadecimal.
std::string spans_at(const orvasm_result* result, const char* file, std::uint32_t first_line,
                     std::uint32_t first_column, std::uint32_t last_line,
                     std::uint32_t last_column) {
    std::size_t count = orvasm_result_bytes_at(result, file, first_line, first_column, last_line,
                                               last_column, nullptr, 0);
    std::vector<orvasm_span> spans(count);
    EXPECT_EQ(orvasm_result_bytes_at(result, file, first_line, first_column, last_line, last_column,
                                     spans.data(), count),
              count);
    std::string text;
    char part[32];
    for (const orvasm_span& span : spans) {
        std::snprintf(part, sizeof part, "%s%04x+%u", text.empty() ? "" : " ", span.address,
                      span.size);
        text += part;
    }
    return text;
}

TEST(BytesAt, ATokenALineAndASelection) {
    Result result = assemble(nullptr, "|0100 #12 ;end\n@end ADD 1234\n", ORVASM_LISTING);
    EXPECT_EQ(spans_at(result.get(), "main.orv", 1, 7, 1, 7), "0100+2");
    EXPECT_EQ(spans_at(result.get(), "main.orv", 1, 8, 1, 8), ""); // not where a token starts
    EXPECT_EQ(spans_at(result.get(), "main.orv", 1, 1, 1, UINT32_MAX), "0100+5");
    EXPECT_EQ(spans_at(result.get(), "main.orv", 1, 11, 2, 6), "0102+4");
    EXPECT_EQ(spans_at(result.get(), "main.orv", 2, 1, 2, 1), ""); // a label writes nothing
    EXPECT_EQ(spans_at(result.get(), "other.orv", 1, 1, 9, 99), "");
}

TEST(BytesAt, MacroUsesIncludesAndBodiesAtEachUse) {
    std::string lib = "@lib-start 01 02\n";
    Result result =
        assemble(nullptr, "%m { 12 34 }\n|0100 m ADD m\n~lib.orv\n|0200 m", ORVASM_LISTING, &lib);
    ASSERT_EQ(orvasm_result_status(result.get()), ORVASM_OK);
    EXPECT_EQ(spans_at(result.get(), "main.orv", 2, 7, 2, 7), "0100+2");  // one use
    EXPECT_EQ(spans_at(result.get(), "main.orv", 2, 1, 2, 99), "0100+5"); // joined
    EXPECT_EQ(spans_at(result.get(), "main.orv", 1, 9, 1, 9), "0101+1 0104+1 0201+1");
    EXPECT_EQ(spans_at(result.get(), "main.orv", 3, 1, 3, 1), "0105+2"); // the include
    EXPECT_EQ(spans_at(result.get(), "lib.orv", 1, 12, 1, 15), "0105+2");
    orvasm_span one[1];
    EXPECT_EQ(orvasm_result_bytes_at(result.get(), "main.orv", 1, 1, 9, 1, one, 1), 2u);
    EXPECT_EQ(one[0].address, 0x100u);
}

// The name of a file as the records give it, and paddings, which write
// nothing, within a selection.
TEST(BytesAt, TheRecordsOwnFileNameAndPaddings) {
    Result result = assemble(nullptr, "|0100 #12 $2 ADD\n", ORVASM_LISTING);
    ASSERT_GT(orvasm_result_listing_count(result.get()), 0u);
    const char* file = orvasm_result_listing(result.get(), 0)->position.file;
    ASSERT_STREQ(file, "main.orv");
    EXPECT_EQ(spans_at(result.get(), file, 1, 1, 1, UINT32_MAX), "0100+2 0104+1");
    EXPECT_EQ(spans_at(result.get(), file, 1, 11, 1, 11), "");
}

TEST(BytesAt, NothingWithoutAListing) {
    Result result = assemble(nullptr, "|0100 12", 0);
    EXPECT_EQ(orvasm_result_bytes_at(result.get(), "main.orv", 1, 1, 1, 99, nullptr, 0), 0u);
    EXPECT_EQ(orvasm_result_bytes_at(nullptr, "main.orv", 1, 1, 1, 99, nullptr, 0), 0u);
    Result listed = assemble(nullptr, "|0100 12", ORVASM_LISTING);
    EXPECT_EQ(orvasm_result_bytes_at(listed.get(), nullptr, 1, 1, 1, 99, nullptr, 0), 0u);
}

} // namespace
