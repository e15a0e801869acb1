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

} // namespace

LineIndex::LineIndex(const std::string& text) : text_(text), starts_{0} {
    for (std::size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') i++;
        if (text[i] == '\n' || text[i] == '\r') starts_.push_back(i + 1);
    }
}

std::size_t LineIndex::line_end(std::size_t line) const {
    if (line + 1 >= starts_.size()) return text_.size();
    std::size_t end = starts_[line + 1] - 1;
    if (end > starts_[line] && text_[end] == '\n' && text_[end - 1] == '\r') end--;
    return end;
}

std::size_t LineIndex::offset_of(TextPosition position, PositionEncoding encoding) const {
    if (position.line < 0) position = {0, 0};
    auto line = static_cast<std::size_t>(position.line);
    if (line >= starts_.size()) return text_.size();
    std::size_t start = starts_[line];
    std::size_t end = line_end(line);
    std::int64_t wanted = std::max<std::int64_t>(position.character, 0);
    if (encoding == PositionEncoding::Utf8)
        return start + static_cast<std::size_t>(
                           std::min<std::int64_t>(wanted, static_cast<std::int64_t>(end - start)));
    std::size_t offset = start;
    for (std::int64_t units = 0; offset < end;) {
        CharacterSize size = character_size(static_cast<unsigned char>(text_[offset]));
        if (units + size.units > wanted) break;
        units += size.units;
        offset = std::min(offset + size.bytes, end);
    }
    return offset;
}

TextPosition LineIndex::position_of(std::size_t offset, PositionEncoding encoding) const {
    offset = std::min(offset, text_.size());
    auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
    auto line = static_cast<std::size_t>(after - starts_.begin() - 1);
    std::size_t start = starts_[line];
    offset = std::min(offset, line_end(line));
    if (encoding == PositionEncoding::Utf8)
        return {static_cast<std::int64_t>(line), static_cast<std::int64_t>(offset - start)};
    std::int64_t units = 0;
    for (std::size_t i = start; i < offset;) {
        CharacterSize size = character_size(static_cast<unsigned char>(text_[i]));
        units += size.units;
        i += size.bytes;
    }
    return {static_cast<std::int64_t>(line), units};
}

bool apply_change(Document& document, const TextChange& change, PositionEncoding encoding) {
    if (change.whole) {
        if (change.text.size() > MAX_DOCUMENT_SIZE) return false;
        document.text = change.text;
        return true;
    }
    LineIndex index(document.text);
    std::size_t start = index.offset_of(change.start, encoding);
    std::size_t end = index.offset_of(change.end, encoding);
    if (end < start) std::swap(start, end);
    if (document.text.size() - (end - start) + change.text.size() > MAX_DOCUMENT_SIZE) return false;
    document.text.replace(start, end - start, change.text);
    return true;
}

const Document* find_document_by_path(const DocumentStore& documents, const std::string& path) {
    for (const auto& [uri, document] : documents)
        if (!document.path.empty() && document.path == path) return &document;
    return nullptr;
}
