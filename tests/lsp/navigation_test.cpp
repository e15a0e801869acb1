// What a token names and what the navigation answers, at the edges the
// protocol tests do not reach: tokens after a failure read from their text,
// names that lead nowhere, instructions, the limits of a rename; and the
// placing of diagnostics for includes that read nothing and for documents
// that name no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "lsp/decorations.hpp"
#include "lsp/navigation.hpp"

namespace {

// One document, "/w/main.orv", assembled with the root "/w".
struct Fixture {
    DocumentStore documents;
    std::unique_ptr<Program> program;

    explicit Fixture(const std::string& text) {
        Document& document = documents["file:///w/main.orv"];
        document = {"file:///w/main.orv", "/w/main.orv", text, 1};
        program = assemble_program(nullptr, documents, document, "/w");
    }
    const std::string& text() const { return program->document->text; }
    Target at(const std::string& needle, std::size_t shift = 0) {
        return target_at(*program, text().find(needle) + shift);
    }
};

TEST(Navigation, TokensAfterAFailureAreReadFromTheirText) {
    Fixture fixture("%m { 01 }\n@a #zz\n@b ,&x ;c/d %n m DUP2kr ~f.orv |0100 \"x [ ?&y q");
    struct Case {
        const char* token;
        TargetKind kind;
        const char* name;
    };
    const Case cases[] = {
        {",&x", TargetKind::Label, "a/x"}, // "@b" was never read: the scope is still a
        {";c/d", TargetKind::Label, "c/d"},
        {"?&y", TargetKind::Label, "a/y"},
        {"%n", TargetKind::Macro, "n"},
        {" m ", TargetKind::Macro, "m"},
        {"DUP2kr", TargetKind::Instruction, "DUP2kr"},
        {"~f.orv", TargetKind::Include, "f.orv"},
        {"|0100", TargetKind::None, ""},
        {"\"x", TargetKind::None, ""},
        {"[", TargetKind::None, ""},
        {"@b", TargetKind::Label, "b"},
        {" q", TargetKind::Label, "q"}, // a word that is no macro read so far: a call
    };
    for (const Case& test : cases) {
        std::size_t shift = test.token[0] == ' ' ? 1 : 0;
        Target target = fixture.at(test.token, shift);
        EXPECT_EQ(target.kind, test.kind) << test.token;
        EXPECT_EQ(target.name, test.name) << test.token;
    }
    // Nothing is defined past the failure, nor the file on the disk.
    Place place;
    EXPECT_FALSE(definition_of(*fixture.program, fixture.at(",&x"), place));
    EXPECT_FALSE(definition_of(*fixture.program, fixture.at("%n"), place));
    EXPECT_FALSE(definition_of(*fixture.program, fixture.at("~f.orv"), place));
    EXPECT_FALSE(definition_of(*fixture.program, fixture.at("DUP2kr"), place));
    std::vector<TextEdit> edits;
    EXPECT_EQ(rename_edits(*fixture.program, fixture.at(",&x"), "z", edits),
              "no definition or use of a/x");
    // Nor is anything to say of them.
    EXPECT_EQ(hover_of(*fixture.program, fixture.at(",&x")), "");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("%n")), "");
    ByteRange range{};
    EXPECT_EQ(rename_range(*fixture.program, fixture.at(",&x"), range),
              "`a/x` is not defined in the program");
    // A bare "~" names no file.
    Fixture bare("@a #zz ~ 01");
    Target include = bare.at("~");
    EXPECT_EQ(include.kind, TargetKind::Include);
    EXPECT_EQ(include.name, "");
    EXPECT_FALSE(definition_of(*bare.program, include, place));
}

TEST(Navigation, BlankSpaceNamesNothing) {
    Fixture fixture("@a   ;a\n\n");
    EXPECT_EQ(fixture.at("   ", 1).kind, TargetKind::None);
    EXPECT_EQ(target_at(*fixture.program, 100).kind, TargetKind::None); // past the end
    // At the end of a token is still the token.
    EXPECT_EQ(fixture.at("@a", 2).name, "a");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("   ", 1)), "");
    Fixture empty("");
    EXPECT_EQ(target_at(*empty.program, 0).kind, TargetKind::None);
    // A file that cannot be read has no text and no lines.
    EXPECT_EQ(text_of(*empty.program, "/w/none.orv"), nullptr);
    EXPECT_EQ(line_index(*empty.program, "/w/none.orv"), nullptr);
}

TEST(Navigation, InstructionsOnHover) {
    Fixture fixture("BRK LIT LIT2r ADDk SFT2kr");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("BRK")),
              "`BRK`: opcode `00` (break)\n\nassembles to `00` at 0100");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("LIT ")),
              "`LIT`: opcode `80`, LIT 00, `k` keep +80\n\nassembles to `80` at 0101");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("LIT2r")),
              "`LIT2r`: opcode `e0`, LIT 00, `2` short +20, `r` return stack +40, `k` keep "
              "+80\n\nassembles to `e0` at 0102");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("SFT2kr")),
              "`SFT2kr`: opcode `ff`, SFT 1f, `2` short +20, `r` return stack +40, `k` keep "
              "+80\n\nassembles to `ff` at 0104");
}

TEST(Navigation, HoverOfWhatWritesNoBytes) {
    Fixture fixture("%m { }\n|0100 @a m $1 01 ;a");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("@a")), "label `a` at 0100, used 1 time");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("%m")), "```orvasm\n%m { }\n```");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at(" m ", 1)), "```orvasm\n%m { }\n```");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("|0100")), "");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("$1")), "");
    // A missing include fails the assembly: no uses, no bytes.
    Fixture failed("@a ;a ~f.orv");
    EXPECT_EQ(hover_of(*failed.program, failed.at(";a")), "label `a` at 0100");
    EXPECT_EQ(hover_of(*failed.program, failed.at("~f.orv")), "includes `f.orv`");
}

// The library's bytes at a place: a macro use's are its body's; a body
// token's, those of each use.
TEST(Navigation, HoverOfBytesWrittenAtEachUse) {
    Fixture fixture("%m { 12 34 }\n|0100 m ADD m\n|0200 m");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at(" m ", 1)),
              "```orvasm\n%m { 12 34 }\n```\n\nassembles to `12 34` at 0100");
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("34")),
              "assembles to `34` at 0101, `34` at 0104, `34` at 0201");
}

// At most 32 bytes are shown, however many the token wrote at its uses.
TEST(Navigation, HoverShowsAtMost32Bytes) {
    Fixture fixture("%m { \"" + std::string(40, 'a') + " }\n|0100 m m");
    std::string bytes = "61";
    for (int i = 1; i < 32; i++) bytes += " 61";
    EXPECT_EQ(hover_of(*fixture.program, fixture.at("\"a")),
              "assembles to `" + bytes + "` at 0100");
}

// A reference in a macro's body is one place however often the macro is
// used; a macro's uses are its own, not another macro's.
TEST(Navigation, OccurrencesInMacrosAreCountedOnce) {
    Fixture fixture("%a { ;x }\n%b { 01 }\n@x a b a BRK");
    auto begins = [&](const Target& target, bool with_definition) {
        std::vector<std::size_t> found;
        for (const Place& place : occurrences_of(*fixture.program, target, with_definition))
            found.push_back(place.range.begin);
        return found;
    };
    const std::string& text = fixture.text();
    EXPECT_EQ(begins(fixture.at("@x"), false), (std::vector<std::size_t>{text.find(";x")}));
    EXPECT_EQ(begins(fixture.at("%a"), true),
              (std::vector<std::size_t>{0, text.find(" a ") + 1, text.rfind(" a ") + 1}));
    // An include is defined (its file), but is no occurrence of itself.
    EXPECT_TRUE(begins({TargetKind::Include, "main.orv", {0, 0}}, true).empty());
}

TEST(Navigation, TheOutlineNestsOnlyUnderItsOwnParent) {
    // "x/y" has no label "x"; "a/b" is written before "@a" is defined.
    Fixture fixture("@x/y ;a/b ;x/y\n@a &c\n@a/d %m { }\n01 ;a ;a/c ;a/d");
    std::vector<OutlineEntry> outline = outline_of(*fixture.program);
    std::vector<std::string> names;
    for (const OutlineEntry& entry : outline) {
        names.push_back(entry.name);
        for (const OutlineEntry& child : entry.children) names.push_back("  " + child.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"x/y", "a", "  c", "  d", "m"}));
    EXPECT_EQ(outline.back().kind, OutlineKind::Function);
}

TEST(Navigation, CompletionAfterDefinitionSigilsIsEmpty) {
    for (const char* text : {"@", "%", "~", "|", "#0", "\"a", "("}) {
        Fixture fixture(text);
        ByteRange replace{};
        EXPECT_TRUE(completions_at(*fixture.program, fixture.text().size(), replace).empty())
            << text;
    }
    // Before any label, "&" names the sublabels of on-reset.
    Fixture fixture("&x ,&");
    ByteRange replace{};
    std::vector<Completion> items = completions_at(*fixture.program, 5, replace);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].label, "x");
    EXPECT_EQ(replace.begin, 5u);
}

// Every first byte, read from the text after a failure: the server takes
// "<byte>name" for the label "name" exactly where the library's kind, from
// the table the assembly dispatches on, is a reference's or a label's, and
// after a reference's sigil alone offers the labels.
TEST(Navigation, EverySigilAsTheAssemblyReadsIt) {
    int references = 0;
    for (int byte = 1; byte < 256; byte++) {
        char first = static_cast<char>(byte);
        if (orvasm_token_length(&first, 1) == 0) continue; // whitespace
        std::string token = std::string(1, first) + "name";
        int kind = orvasm_token_kind(token.data(), token.size());
        bool reference = kind >= ORVASM_TOKEN_RELATIVE_REFERENCE;
        bool names_label = reference || kind == ORVASM_TOKEN_LABEL;
        references += reference;
        Fixture fixture("@name #zz " + token);
        Target target = fixture.at(" " + token, 1);
        EXPECT_EQ(target.kind == TargetKind::Label && target.name == "name", names_label)
            << "byte " << byte;
        Place place;
        EXPECT_EQ(definition_of(*fixture.program, target, place), names_label) << "byte " << byte;
        Fixture typing("@name BRK " + std::string(1, first));
        ByteRange replace{};
        std::vector<Completion> items =
            completions_at(*typing.program, typing.text().size(), replace);
        bool offers_name = std::any_of(items.begin(), items.end(),
                                       [](const Completion& item) { return item.label == "name"; });
        if (reference) {
            EXPECT_TRUE(offers_name) << "byte " << byte;
        }
    }
    EXPECT_EQ(references, 9);
}

TEST(Navigation, RenamesOutOfBounds) {
    std::string long_scope(60, 's');
    Fixture fixture("@" + long_scope + " &ab ,&ab JMP ;" + long_scope + " BRK");
    std::vector<TextEdit> edits;
    // The short name fits, the full one does not.
    EXPECT_EQ(rename_edits(*fixture.program, fixture.at("&ab"), "abcd", edits),
              "a name is at most 63 characters");
    EXPECT_EQ(rename_edits(*fixture.program, fixture.at("&ab"), "", edits),
              "`` is no name: a name is 1 to 63 characters, without whitespace");
    EXPECT_EQ(rename_edits(*fixture.program, fixture.at("BRK"), "x", edits),
              "only a label or a macro can be renamed");
    EXPECT_TRUE(edits.empty());
    // Renaming the scope leaves "&ab" and ",&ab" as they are.
    EXPECT_EQ(rename_edits(*fixture.program, fixture.at("@"), "t", edits), "");
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].text, "t");
    EXPECT_EQ(edits[0].place.range.begin, 1u);
    EXPECT_EQ(edits[0].place.range.end, 61u);
}

// The kinds of the whitespace-separated tokens, as the server reads them
// for semantic tokens and folds: every whitespace byte separates, comments
// nest, and a macro's first token is its brace only when it is "{" (a
// later "{" is a word of the body).
TEST(Decorations, TokenKindsOfATextAsTheServerReadsThem) {
    using Token = std::tuple<std::string, int, bool>;
    const struct {
        std::string text;
        std::vector<Token> tokens;
    } cases[] = {
        {std::string("#01\v#02\f#03\r#04\0#05\t#06", 23),
         {{"#01", ORVASM_TOKEN_LITERAL, false},
          {"#02", ORVASM_TOKEN_LITERAL, false},
          {"#03", ORVASM_TOKEN_LITERAL, false},
          {"#04", ORVASM_TOKEN_LITERAL, false},
          {"#05", ORVASM_TOKEN_LITERAL, false},
          {"#06", ORVASM_TOKEN_LITERAL, false}}},
        {"( a ( b ) c ) 01",
         {{"(", ORVASM_TOKEN_COMMENT, false},
          {"a", ORVASM_TOKEN_COMMENT, true},
          {"(", ORVASM_TOKEN_COMMENT, true},
          {"b", ORVASM_TOKEN_COMMENT, true},
          {")", ORVASM_TOKEN_COMMENT, true},
          {"c", ORVASM_TOKEN_COMMENT, true},
          {")", ORVASM_TOKEN_COMMENT, true},
          {"01", ORVASM_TOKEN_RAW_BYTE, false}}},
        {"%m 01 { } (x )",
         {{"%m", ORVASM_TOKEN_MACRO, false},
          {"01", ORVASM_TOKEN_RAW_BYTE, false},
          {"{", ORVASM_TOKEN_WORD, false},
          {"}", ORVASM_TOKEN_BRACKET, false},
          {"(x", ORVASM_TOKEN_MALFORMED_COMMENT, false},
          {")", ORVASM_TOKEN_COMMENT, true}}},
    };
    for (const auto& test : cases) {
        std::vector<Token> found;
        for_each_token_kind(test.text, [&](ByteRange range, int kind, bool in_comment) {
            found.emplace_back(test.text.substr(range.begin, range.end - range.begin), kind,
                               in_comment);
        });
        EXPECT_EQ(found, test.tokens) << test.text;
    }
}

// Folds of labels (to their last token before the next), of macros with a
// body, and of comments, well formed or not; a malformed comment is a
// comment token too.
TEST(Decorations, FoldsOfLabelsMacrosAndComments) {
    const std::string text = "%e { }\n%m {\n01 }\n(note )\n( a\n b )\n@a\n01\n\n@b 02\n\t\n";
    Fixture fixture(text);
    std::vector<std::tuple<std::size_t, std::size_t, bool>> folds;
    for (const Fold& fold : folding_ranges(*fixture.program))
        folds.emplace_back(fold.begin, fold.end, fold.comment);
    std::size_t a = text.find("@a"), b = text.find("@b");
    EXPECT_EQ(folds, (std::vector<std::tuple<std::size_t, std::size_t, bool>>{
                         {a, text.find("01\n\n") + 2, false},
                         {b, b + 5, false},
                         {text.find("%m"), text.find("01 }") + 2, false},
                         {text.find("(note"), text.find("(note") + 7, true},
                         {text.find("( a"), text.find("b )") + 3, true}}));
    std::vector<SemanticToken> tokens = semantic_tokens(*fixture.program, 0, text.size());
    auto note = std::find_if(tokens.begin(), tokens.end(), [&](const SemanticToken& token) {
        return token.range.begin == text.find("(note");
    });
    ASSERT_NE(note, tokens.end());
    EXPECT_EQ(note->type, TokenType::Comment);
    EXPECT_EQ(note->range.end, text.find("(note") + 5);
}

// Inlay hints and folds are of the document's own labels and lines, not
// those of the files it includes; hints are given within the range asked.
TEST(Decorations, HintsAndFoldsOfTheDocumentOnly) {
    DocumentStore documents;
    documents["file:///w/lib.orv"] = {"file:///w/lib.orv", "/w/lib.orv", "@l 02 %lm {\n01 }", 1};
    Document& main = documents["file:///w/main.orv"];
    main = {"file:///w/main.orv", "/w/main.orv", "~lib.orv @a 01 lm", 1};
    std::unique_ptr<Program> program = assemble_program(nullptr, documents, main, "/w");
    auto hints = [&](std::size_t begin) {
        std::vector<std::tuple<std::size_t, std::string, bool>> found;
        for (const InlayHint& hint : inlay_hints(*program, begin, main.text.size()))
            found.emplace_back(hint.offset, hint.label, hint.before);
        return found;
    };
    EXPECT_EQ(hints(0), (std::vector<std::tuple<std::size_t, std::string, bool>>{
                            {0, "0100", true}, {11, "0101", false}}));
    EXPECT_EQ(hints(10),
              (std::vector<std::tuple<std::size_t, std::string, bool>>{{11, "0101", false}}));
    std::vector<Fold> folds = folding_ranges(*program);
    ASSERT_EQ(folds.size(), 1u);
    EXPECT_EQ(std::make_pair(folds[0].begin, folds[0].end), std::make_pair(0ul, main.text.size()));
}

std::vector<DocumentDiagnostic> diagnostics_of_text(const std::string& text,
                                                    const std::string& path = "/w/main.orv") {
    DocumentStore documents;
    Document& document = documents["untitled:1"];
    document = {"untitled:1", path, text, 1};
    std::unique_ptr<Program> program = assemble_program(nullptr, documents, document, "/w");
    return diagnostics_of(*program);
}

TEST(Diagnostics, IncludesThatReadNothingFailOnTheirToken) {
    // A directory is no regular file: missing, at the include token itself.
    std::vector<DocumentDiagnostic> diagnostics = diagnostics_of_text("01\n ~/tmp 01");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].message, "Include missing: /tmp");
    EXPECT_EQ(diagnostics[0].range.begin, 4u);
    EXPECT_EQ(diagnostics[0].range.end, 9u);
    EXPECT_TRUE(diagnostics[0].related.empty());
    // An empty path is missing too, not the root.
    diagnostics = diagnostics_of_text("01\n\n ~ 01");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].message, "Include missing: ");
    EXPECT_EQ(diagnostics[0].range.begin, 5u);
    EXPECT_EQ(diagnostics[0].range.end, 6u);
}

// A token ends where the assembly ends it: at whitespace only, so a ")"
// or a 0x00 in it, and all of a run too long to be a token, belong to it.
TEST(Diagnostics, ATokenEndsWhereTheAssemblyEndsIt) {
    const struct {
        std::string text;
        std::size_t begin, end;
    } cases[] = {
        {"01 ;x) 01", 3, 6},
        {"01 ;(x)\n", 3, 7},
        {std::string("01 ;a\0b) 01", 12), 3, 8},
        {"01\n" + std::string(70, 'a') + " 01", 3, 73},
    };
    for (const auto& test : cases) {
        std::vector<DocumentDiagnostic> diagnostics = diagnostics_of_text(test.text);
        ASSERT_EQ(diagnostics.size(), 1u) << test.text;
        EXPECT_EQ(diagnostics[0].range.begin, test.begin) << test.text;
        EXPECT_EQ(diagnostics[0].range.end, test.end) << test.text;
    }
    Fixture fixture("@a ;a) ;a");
    EXPECT_EQ(fixture.at(";a)").token.end, 6u);
}

TEST(Diagnostics, ADocumentThatNamesNoFileIsPlacedByItsUri) {
    std::vector<DocumentDiagnostic> diagnostics = diagnostics_of_text("@a @a", "");
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].range.begin, 3u);
    ASSERT_EQ(diagnostics[0].related.size(), 1u);
    EXPECT_EQ(diagnostics[0].related[0].place.file, "untitled:1");
    EXPECT_EQ(diagnostics[0].related[0].place.range.end, 2u);
}

} // namespace
