// Positions, edits and URIs of the document store: where the protocol's
// line/character pairs meet the bytes of a text.
#include <gtest/gtest.h>

#include "lsp/documents.hpp"
#include "lsp/uri.hpp"

namespace {

constexpr auto UTF16 = PositionEncoding::Utf16;
constexpr auto UTF8 = PositionEncoding::Utf8;

std::pair<std::int64_t, std::int64_t> pair_of(TextPosition position) {
    return {position.line, position.character};
}

TEST(LineIndex, LinesEndAtLfCrlfAndCr) {
    const std::string text = "ab\ncd\r\nef\rgh";
    LineIndex index(text);
    EXPECT_EQ(index.offset_of({1, 0}, UTF16), 3u);
    EXPECT_EQ(index.offset_of({2, 0}, UTF16), 7u);
    EXPECT_EQ(index.offset_of({3, 1}, UTF16), 11u);
    EXPECT_EQ(pair_of(index.position_of(10, UTF16)), std::make_pair(3L, 0L));
    // Inside CRLF is the end of its line.
    EXPECT_EQ(pair_of(index.position_of(6, UTF16)), std::make_pair(1L, 2L));
}

TEST(LineIndex, EmptyLinesAndALastLineBreak) {
    const std::string text = "\n\r\n\r";
    LineIndex index(text);
    EXPECT_EQ(index.offset_of({0, 5}, UTF16), 0u);
    EXPECT_EQ(index.offset_of({1, 5}, UTF16), 1u);
    EXPECT_EQ(index.offset_of({2, 5}, UTF16), 3u);
    EXPECT_EQ(index.offset_of({3, 0}, UTF16), 4u); // the empty line after the last CR
    EXPECT_EQ(pair_of(index.position_of(4, UTF16)), std::make_pair(3L, 0L));
}

TEST(LineIndex, OutOfRangePositionsAreClamped) {
    const std::string text = "abc\r\ndef";
    LineIndex index(text);
    EXPECT_EQ(index.offset_of({0, 99}, UTF16), 3u); // before the CRLF
    EXPECT_EQ(index.offset_of({0, 99}, UTF8), 3u);
    EXPECT_EQ(index.offset_of({7, 0}, UTF16), text.size());
    EXPECT_EQ(index.offset_of({-1, 2}, UTF16), 0u);
    EXPECT_EQ(index.offset_of({1, -5}, UTF16), 5u);
    EXPECT_EQ(index.offset_of({INT64_MAX, INT64_MAX}, UTF8), text.size());
    EXPECT_EQ(pair_of(index.position_of(99, UTF16)), std::make_pair(1L, 3L));
}

TEST(LineIndex, Utf16CountsSurrogatePairsAsTwoUnits) {
    // "é" is 2 bytes and 1 unit, "€" 3 bytes and 1 unit, U+1F600 4 bytes and 2 units.
    const std::string text = "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80x";
    LineIndex index(text);
    EXPECT_EQ(index.offset_of({0, 1}, UTF16), 2u);
    EXPECT_EQ(index.offset_of({0, 2}, UTF16), 5u);
    EXPECT_EQ(index.offset_of({0, 3}, UTF16), 5u); // between the halves: the character's start
    EXPECT_EQ(index.offset_of({0, 4}, UTF16), 9u);
    EXPECT_EQ(pair_of(index.position_of(9, UTF16)), std::make_pair(0L, 4L));
    EXPECT_EQ(pair_of(index.position_of(9, UTF8)), std::make_pair(0L, 9L));
    EXPECT_EQ(index.offset_of({0, 4}, UTF8), 4u); // bytes, as the client asked
}

TEST(LineIndex, InvalidUtf8IsMeasuredByteByByte) {
    const std::string text = "\x80\xff\xf0\n!"; // a lead byte cut by the line end
    LineIndex index(text);
    EXPECT_EQ(index.offset_of({0, 9}, UTF16), 3u);
    EXPECT_EQ(pair_of(index.position_of(3, UTF16)), std::make_pair(0L, 4L));
    EXPECT_EQ(index.offset_of({1, 1}, UTF16), 5u);
}

TEST(ApplyChange, WholeAndRangedChanges) {
    Document document{"file:///a", "/a", "one\ntwo\n", 1};
    EXPECT_TRUE(apply_change(document, {false, {1, 0}, {1, 3}, "2"}, UTF16));
    EXPECT_EQ(document.text, "one\n2\n");
    EXPECT_TRUE(apply_change(document, {false, {1, 1}, {0, 1}, ""}, UTF16)); // reversed
    EXPECT_EQ(document.text, "o\n");
    EXPECT_TRUE(apply_change(document, {false, {9, 9}, {9, 9}, "end"}, UTF16));
    EXPECT_EQ(document.text, "o\nend");
    EXPECT_TRUE(apply_change(document, {true, {}, {}, "new"}, UTF16));
    EXPECT_EQ(document.text, "new");
}

TEST(ApplyChange, NoDocumentGrowsPastTheLimit) {
    Document document{"file:///a", "/a", std::string(MAX_DOCUMENT_SIZE, 'a'), 1};
    EXPECT_FALSE(apply_change(document, {false, {0, 0}, {0, 0}, "b"}, UTF8));
    EXPECT_FALSE(apply_change(document, {true, {}, {}, document.text + "b"}, UTF8));
    EXPECT_EQ(document.text.size(), MAX_DOCUMENT_SIZE);
    EXPECT_TRUE(apply_change(document, {false, {0, 0}, {0, 1}, "b"}, UTF8));
    EXPECT_EQ(document.text[0], 'b');
}

// An index kept in step through many edits answers as one made afresh from
// the edited text: line breaks made, joined and split (CR then LF), long
// lines with marks, characters of two and four bytes.
TEST(LineIndex, EditsKeepItAsIfMadeAfresh) {
    const std::string pieces[] = {"a",  "\xc3\xa9", "\xf0\x9f\x98\x80",    "\n",
                                  "\r", "\r\n",     std::string(300, 'x'), "\xe2\x82\xac"};
    std::string long_piece(700, 'y');
    std::string text;
    for (int i = 0; i < 40; i++) text += long_piece.substr(0, 37 * i % 700) + pieces[i % 8];
    LineIndex kept(text);
    kept.position_of(text.size() / 2, UTF16); // marks made before the edits
    unsigned seed = 7;
    auto next = [&seed](std::size_t bound) {
        seed = seed * 1103515245 + 12345;
        return bound == 0 ? 0 : (seed >> 8) % bound;
    };
    for (int edit = 0; edit < 400; edit++) {
        std::size_t begin = next(text.size() + 1);
        std::size_t end = edit % 3 == 0 ? begin : std::min(text.size(), begin + next(600));
        std::string inserted = edit % 5 == 0 ? long_piece.substr(0, next(600)) : pieces[next(8)];
        if (edit % 7 == 0) inserted = pieces[2] + "\r" + pieces[1];
        kept.replace(text, begin, end, inserted);
        LineIndex fresh(text);
        ASSERT_EQ(kept.line_count(), fresh.line_count()) << "edit " << edit;
        for (int probe = 0; probe < 20; probe++) {
            std::size_t offset = next(text.size() + 1);
            TextPosition position = fresh.position_of(offset, UTF16);
            ASSERT_EQ(pair_of(kept.position_of(offset, UTF16)), pair_of(position))
                << "edit " << edit << ", offset " << offset;
            ASSERT_EQ(kept.offset_of(position, UTF16), fresh.offset_of(position, UTF16));
            position.character += static_cast<std::int64_t>(next(400));
            ASSERT_EQ(kept.offset_of(position, UTF16), fresh.offset_of(position, UTF16));
        }
    }
}

// An edit that splits a character before a mark of a long line: the line
// is marked again, and answers as an index made afresh. An index first
// used for an edit is made from the edited text.
TEST(LineIndex, AnEditThatSplitsACharacterBeforeAMark) {
    std::string text = std::string(200, 'a');
    for (int i = 0; i < 100; i++) text += "\xc3\xa9";
    text += std::string(300, 'b');
    LineIndex kept(text);
    kept.position_of(text.size(), UTF16); // marks every 256 bytes
    kept.replace(text, 254, 254, "\xf0"); // a four-byte lead across the mark at 256
    LineIndex fresh(text);
    for (std::size_t offset = 0; offset <= text.size(); offset++)
        ASSERT_EQ(pair_of(kept.position_of(offset, UTF16)),
                  pair_of(fresh.position_of(offset, UTF16)))
            << offset;
    const std::string other = "x\ny";
    LineIndex first(other);
    std::string edited = "ab\ncd";
    first.replace(edited, 1, 1, "\n");
    EXPECT_EQ(edited, "a\nb\ncd");
    EXPECT_EQ(first.line_count(), 3u);
    EXPECT_EQ(first.offset_of({2, 1}, UTF16), 5u);
}

// Marks spare a long line's walk: many positions on one line of a megabyte
// cost about what one does.
TEST(LineIndex, PositionsOnALongLineAreFoundFromMarks) {
    std::string text;
    for (int i = 0; i < 100000; i++)
        text += "\xc3\xa9"
                "abcdefgh"; // 9 units in 10 bytes
    LineIndex index(text);
    for (std::size_t i = 0; i < 100000; i++) {
        auto units = static_cast<std::int64_t>(i * 9 + 1);
        ASSERT_EQ(index.position_of(i * 10 + 2, UTF16).character, units);
        ASSERT_EQ(index.offset_of({0, units}, UTF16), i * 10 + 2);
    }
}

TEST(DocumentStore, FindsOpenFilesByPath) {
    DocumentStore documents;
    documents["untitled:1"] = {"untitled:1", "", "", 1};
    documents["file:///w/a.orv"] = {"file:///w/a.orv", "/w/a.orv", "", 1};
    EXPECT_EQ(find_document_by_path(documents, "/w/a.orv"), &documents["file:///w/a.orv"]);
    EXPECT_EQ(find_document_by_path(documents, ""), nullptr);
    EXPECT_EQ(find_document_by_path(documents, "/w/b.orv"), nullptr);
}

TEST(PathOfUri, FileUris) {
    EXPECT_EQ(path_of_uri("file:///w/a%20b.orv"), "/w/a b.orv");
    EXPECT_EQ(path_of_uri("FILE://localhost/w/./x/../a.orv"), "/w/a.orv");
    EXPECT_EQ(path_of_uri("file:///w/100%"), "/w/100%");   // a bare "%" stays
    EXPECT_EQ(path_of_uri("file:///w/%zz%4"), "/w/%zz%4"); // so do broken escapes
    EXPECT_EQ(path_of_uri("file:///w/%C3%A9%2fx%2F"), "/w/\xc3\xa9/x/");
    // Only digits and the letters a to f, in either case, are hexadecimal.
    EXPECT_EQ(path_of_uri("file:///w/%01%Ab%G1%!1%g1"), "/w/\x01\xab%G1%!1%g1");
}

TEST(PathOfUri, UrisThatNameNoLocalFile) {
    EXPECT_EQ(path_of_uri("untitled:Untitled-1"), "");
    EXPECT_EQ(path_of_uri("file:"), "");
    EXPECT_EQ(path_of_uri("file://host"), "");
    EXPECT_EQ(path_of_uri("file://server/share/a.orv"), "");
    EXPECT_EQ(path_of_uri("file:///w/a%00b"), "");
}

} // namespace

TEST(UriOfPath, EscapesAllButUnreservedBytesAndRoundTrips) {
    EXPECT_EQ(uri_of_path("/w/a b#1%.orv"), "file:///w/a%20b%231%25.orv");
    EXPECT_EQ(uri_of_path("/w/\xc3\xa9-x_~y"), "file:///w/%C3%A9-x_~y");
    for (const char* path : {"/w/a b.orv", "/w/100%", "/w/\xc3\xa9/q?x=1"}) {
        EXPECT_EQ(path_of_uri(uri_of_path(path)), path);
    }
}
