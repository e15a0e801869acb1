#include "lsp/documents.hpp"

#include <algorithm>

namespace {

// Bytes of the UTF-8 character whose first byte is `lead`, and the UTF-16
// code units it takes. A stray continuation or invalid byte counts as one
// byte and one unit, so that any text can be measured.
struct CharacterSize {
    std::size_t bytes;
    std::int64_t units;
};

CharacterSize character_size(unsigned char lead) {
    if (lead >= 0xf0 && lead <= 0xf7) return {4, 2};
    if (lead >= 0xe0 && lead <= 0xef) return {3, 1};
    if (lead >= 0xc0 && lead <= 0xdf) return {2, 1};
    return {1, 1};
}

// Marks of a line's UTF-16 units are about this many bytes apart.
constexpr std::size_t MARK_SPACING = 256;

// Whether a line break ends at byte `at` of `text`, so that a line starts
// after it: LF, CR not followed by LF, and the LF of CRLF.
bool break_at(const std::string& text, std::size_t at) {
    return text[at] == '\n' ||
           (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'));
}

} // namespace

void LineIndex::reset(const std::string& text) {
    text_ = &text;
    starts_.assign(1, 0);
    for (std::size_t at = 0; at < text.size(); at++)
        if (break_at(text, at)) starts_.push_back(at + 1);
    marks_.assign(starts_.size(), {});
}

std::size_t LineIndex::line_end(std::size_t line) const {
    const std::string& text = *text_;
    if (line + 1 >= starts_.size()) return text.size();
    std::size_t end = starts_[line + 1] - 1;
    if (end > starts_[line] && text[end] == '\n' && text[end - 1] == '\r') end--;
    return end;
}

std::size_t LineIndex::line_of(std::size_t offset) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin() - 1);
}

// Walks the line once, marking a character start every MARK_SPACING bytes.
const std::vector<LineIndex::Mark>& LineIndex::marks_of(std::size_t line) const {
    Marks& entry = marks_[line];
    if (entry.known) return entry.marks;
    const std::string& text = *text_;
    std::size_t start = starts_[line], end = line_end(line), last = 0;
    entry.marks.assign(1, {0, 0});
    std::int64_t units = 0;
    for (std::size_t at = start; at < end;) {
        if (at - start - last >= MARK_SPACING) {
            last = at - start;
            entry.marks.push_back({last, units});
        }
        CharacterSize size = character_size(static_cast<unsigned char>(text[at]));
        units += size.units;
        at += size.bytes;
    }
    entry.known = true;
    return entry.marks;
}

LineIndex::Mark LineIndex::mark_before(std::size_t line, std::size_t byte) const {
    const std::vector<Mark>& marks = marks_of(line);
    auto after = std::upper_bound(marks.begin(), marks.end(), byte,
                                  [](std::size_t b, const Mark& mark) { return b < mark.byte; });
    return *(after - 1);
}

std::size_t LineIndex::offset_of(TextPosition position, PositionEncoding encoding) const {
    const std::string& text = *text_;
    if (position.line < 0) position = {0, 0};
    auto line = static_cast<std::size_t>(position.line);
    if (line >= starts_.size()) return text.size();
    std::size_t start = starts_[line];
    std::size_t end = line_end(line);
    std::int64_t wanted = std::max<std::int64_t>(position.character, 0);
    if (encoding == PositionEncoding::Utf8)
        return start + static_cast<std::size_t>(
                           std::min<std::int64_t>(wanted, static_cast<std::int64_t>(end - start)));
    const std::vector<Mark>& marks = marks_of(line);
    auto after = std::upper_bound(marks.begin(), marks.end(), wanted,
                                  [](std::int64_t u, const Mark& mark) { return u < mark.units; });
    std::size_t offset = start + (after - 1)->byte;
    for (std::int64_t units = (after - 1)->units; offset < end;) {
        CharacterSize size = character_size(static_cast<unsigned char>(text[offset]));
        if (units + size.units > wanted) break;
        units += size.units;
        offset = std::min(offset + size.bytes, end);
    }
    return offset;
}

TextPosition LineIndex::position_of(std::size_t offset, PositionEncoding encoding) const {
    const std::string& text = *text_;
    offset = std::min(offset, text.size());
    std::size_t line = line_of(offset);
    std::size_t start = starts_[line];
    offset = std::min(offset, line_end(line));
    if (encoding == PositionEncoding::Utf8)
        return {static_cast<std::int64_t>(line), static_cast<std::int64_t>(offset - start)};
    Mark mark = mark_before(line, offset - start);
    std::int64_t units = mark.units;
    for (std::size_t at = start + mark.byte; at < offset;) {
        CharacterSize size = character_size(static_cast<unsigned char>(text[at]));
        units += size.units;
        at += size.bytes;
    }
    return {static_cast<std::int64_t>(line), units};
}

// After a replacement of bytes [begin, end) (old offsets) of one line that
// left its line breaks as they were: the marks before it stay, those after
// it move by the bytes and units the replacement added, and the stretch
// between is marked again by walking it. False when the walk does not meet
// the first mark after it (a character split by the edit); the line is
// then marked again when next asked.
bool LineIndex::replace_within_line(std::size_t line, std::size_t begin, std::size_t end,
                                    const std::string& inserted) {
    Marks& entry = marks_[line];
    if (!entry.known) return true;
    std::vector<Mark>& marks = entry.marks;
    std::size_t start = starts_[line];
    auto kept = std::upper_bound(marks.begin(), marks.end(), begin - start,
                                 [](std::size_t b, const Mark& mark) { return b < mark.byte; });
    auto moved = std::lower_bound(marks.begin(), marks.end(), end - start,
                                  [](const Mark& mark, std::size_t b) { return mark.byte < b; });
    moved = std::max(moved, kept); // an insertion at a mark keeps that mark
    std::size_t added = inserted.size(), removed = end - begin;
    std::size_t stop =
        moved == marks.end() ? line_end(line) - start : moved->byte + added - removed;
    std::vector<Mark> fresh(marks.begin(), kept);
    Mark last = fresh.back();
    std::size_t at = last.byte;
    std::int64_t units = last.units;
    while (at < stop) {
        if (at - last.byte >= MARK_SPACING) fresh.push_back(last = {at, units});
        CharacterSize size = character_size(static_cast<unsigned char>((*text_)[start + at]));
        units += size.units;
        at += size.bytes;
    }
    if (moved != marks.end() && at != stop) return false;
    for (auto mark = moved; mark != marks.end(); ++mark)
        fresh.push_back({mark->byte + added - removed, mark->units - moved->units + units});
    marks = std::move(fresh);
    return true;
}

void LineIndex::replace(std::string& text, std::size_t begin, std::size_t end,
                        const std::string& inserted) {
    if (!indexes(text)) reset(text);
    begin = std::min(begin, text.size());
    end = std::min(std::max(end, begin), text.size());
    std::size_t line = line_of(begin);
    // Line starts in [begin, end] go; those after move; the breaks that can
    // have changed end in [begin - 1, begin + inserted.size()).
    auto first = std::lower_bound(starts_.begin() + 1, starts_.end(), begin);
    auto last = std::upper_bound(first, starts_.end(), end);
    text.replace(begin, end - begin, inserted);
    std::vector<std::size_t> found;
    for (std::size_t at = begin > 0 ? begin - 1 : 0;
         at < begin + inserted.size() && at < text.size(); at++)
        if (break_at(text, at)) found.push_back(at + 1);
    std::size_t moved_by = inserted.size() - (end - begin); // modulo 2^64: a move either way
    for (auto start = last; start != starts_.end(); ++start) *start += moved_by;
    bool same_lines = static_cast<std::size_t>(last - first) == found.size() &&
                      std::equal(first, last, found.begin());
    if (same_lines) {
        if (!replace_within_line(line, begin, end, inserted)) marks_[line] = {};
        return;
    }
    auto index = static_cast<std::size_t>(first - starts_.begin());
    std::size_t count = static_cast<std::size_t>(last - first);
    starts_.erase(first, last);
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(index), found.begin(),
                   found.end());
    marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(index),
                 marks_.begin() + static_cast<std::ptrdiff_t>(index + count));
    marks_.insert(marks_.begin() + static_cast<std::ptrdiff_t>(index), found.size(), Marks{});
    // The line where the edit starts and each it made are marked again.
    for (std::size_t changed = index - 1; changed < index + found.size(); changed++)
        marks_[changed] = {};
}

const LineIndex& lines_of(const Document& document) {
    if (!document.index.indexes(document.text)) document.index.reset(document.text);
    return document.index;
}

bool apply_change(Document& document, const TextChange& change, PositionEncoding encoding) {
    if (change.whole) {
        if (change.text.size() > MAX_DOCUMENT_SIZE) return false;
        document.text = change.text;
        document.index.reset(document.text);
        return true;
    }
    const LineIndex& index = lines_of(document);
    std::size_t start = index.offset_of(change.start, encoding);
    std::size_t end = index.offset_of(change.end, encoding);
    if (end < start) std::swap(start, end);
    if (document.text.size() - (end - start) + change.text.size() > MAX_DOCUMENT_SIZE) return false;
    document.index.replace(document.text, start, end, change.text);
    return true;
}

const Document* find_document_by_path(const DocumentStore& documents, const std::string& path) {
    for (const auto& [uri, document] : documents)
        if (!document.path.empty() && document.path == path) return &document;
    return nullptr;
}
