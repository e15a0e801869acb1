// The documents the client has opened, kept as the client holds them through
// full and incremental changes, and the conversion between the protocol's
// positions (a line and a character in UTF-16 code units, or in bytes when
// the client takes UTF-8) and byte offsets in a text. Positions out of range
// are clamped, never refused: the client and the server may briefly see
// different texts, and an edit at a clamped place heals with the next full
// change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum class PositionEncoding { Utf16, Utf8 };

struct TextPosition {
    std::int64_t line;
    std::int64_t character;
};

// Where each line of a text starts, and for each line, once asked, the
// UTF-16 units at a mark every MARK_SPACING bytes or so, so that converting
// a position reads at most that many bytes of its line: a line is read
// whole once, not once per position. Lines end at LF, CRLF or CR, as the
// protocol counts them. The index refers to the text it was built for,
// which changes only through replace().
class LineIndex {
  public:
    LineIndex() = default;
    explicit LineIndex(const std::string& text) { reset(text); }

    // Indexes `text` afresh.
    void reset(const std::string& text);
    bool indexes(const std::string& text) const { return text_ == &text; }

    // Replaces bytes [begin, end) of the indexed text with `inserted` and
    // keeps the index in step, in time proportional to the bytes replaced
    // and inserted and the lines and marks that move, not to the text.
    void replace(std::string& text, std::size_t begin, std::size_t end,
                 const std::string& inserted);

    // The byte offset of `position`. A negative line or character counts as
    // 0, a line past the last is the end of the text, a character past the
    // end of its line is that line's end (before its line break), and a
    // UTF-16 position between the two halves of a surrogate pair is the
    // start of its character.
    std::size_t offset_of(TextPosition position, PositionEncoding encoding) const;

    // The position of a byte offset; an offset past the text is its end, and
    // one inside a line break is the end of that line.
    TextPosition position_of(std::size_t offset, PositionEncoding encoding) const;

    std::size_t line_count() const { return starts_.size(); }

  private:
    // A byte of a line (from its start) and the UTF-16 units before it.
    struct Mark {
        std::size_t byte;
        std::int64_t units;
    };
    struct Marks {
        bool known = false;
        std::vector<Mark> marks; // the first is {0, 0}
    };

    const std::string* text_ = nullptr;
    std::vector<std::size_t> starts_;
    mutable std::vector<Marks> marks_; // one per line, made on use

    std::size_t line_end(std::size_t line) const;
    std::size_t line_of(std::size_t offset) const;
    const std::vector<Mark>& marks_of(std::size_t line) const;
    Mark mark_before(std::size_t line, std::size_t byte) const;
    bool replace_within_line(std::size_t line, std::size_t begin, std::size_t end,
                             const std::string& inserted);
};

// The largest document kept: the largest message, so that a text the client
// sent whole can always be held.
constexpr std::size_t MAX_DOCUMENT_SIZE = std::size_t{64} << 20;

struct Document {
    std::string uri;
    std::string path; // see path_of_uri: empty for URIs that name no file
    std::string text;
    std::int64_t version;
    mutable LineIndex index = {}; // of `text`, kept in step by apply_change
};

// The line index of the document's text, made when first asked for (or
// when the document was copied).
const LineIndex& lines_of(const Document& document);

// Open documents by URI.
using DocumentStore = std::map<std::string, Document>;

// One entry of didChange: the whole text, or a range and its new text.
struct TextChange {
    bool whole;
    TextPosition start;
    TextPosition end;
    std::string text;
};

// Applies `change` to `document`; a range whose end comes before its start is
// taken from the end to the start. Returns false, changing nothing, when the
// text would grow past MAX_DOCUMENT_SIZE.
bool apply_change(Document& document, const TextChange& change, PositionEncoding encoding);

// The open document of a file, by its lexically normal path, or nullptr.
const Document* find_document_by_path(const DocumentStore& documents, const std::string& path);
