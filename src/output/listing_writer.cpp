#include "output/listing_writer.hpp"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t BYTES_PER_ROW = 8;

// Consecutive records of one source line, shown together: labels, padding
// and the bytes that follow at the address shown.
struct Group {
    const ListingRecord* first = nullptr;
    std::uint32_t address = 0; // shown: where the line starts
    std::uint32_t next = 0;    // where the line has left the write position
    std::uint32_t size = 0;    // bytes written from `address`
    std::string marks;         // one "+" for each expansion around the line
};

class Listing {
  public:
    Listing(const AssemblerState& state, SourceLines lines, std::FILE* file)
        : state_(state), lines_(lines), file_(file) {}

    void add(const ListingRecord& record) {
        leave_frames_above(record.depth);
        switch (record.kind) {
        case ListingKind::Expansion:
        case ListingKind::Include: enter(record); return;
        case ListingKind::Bytes:
        case ListingKind::Label:
        case ListingKind::Padding: extend(record); return;
        }
    }

    void finish() {
        flush();
        write_labels();
    }

    void measure(const ListingRecord& record) {
        std::size_t width = 1;
        for (std::uint32_t line = record.position.line; line > 0; line /= 10) width++;
        if (record.position.file != measured_file_) {
            measured_file_ = record.position.file;
            path_width_ = std::char_traits<char>::length(file_path(state_, measured_file_));
        }
        location_width_ = std::max(location_width_, path_width_ + width);
    }

  private:
    // "FILE:LINE", appended to `out`.
    void append_location(std::string& out, const SourcePosition& position) const {
        out += file_path(state_, position.file);
        char digits[12];
        auto end = std::to_chars(digits, digits + sizeof digits, position.line).ptr;
        out += ':';
        out.append(digits, end);
    }

    std::string location(const SourcePosition& position) const {
        std::string out;
        append_location(out, position);
        return out;
    }

    bool same_line(const ListingRecord& record) const {
        const ListingRecord* first = group_.first;
        return first && first->position.file == record.position.file &&
               first->position.line == record.position.line && first->depth == record.depth;
    }

    // Whether `record` belongs on the line shown: its bytes follow those
    // shown, a label names where the line stands, padding moves on from a
    // line that has no bytes yet.
    bool continues(const ListingRecord& record) const {
        if (!same_line(record)) return false;
        switch (record.kind) {
        case ListingKind::Bytes: return record.address == group_.address + group_.size;
        case ListingKind::Label: return record.address == group_.next;
        default: return group_.size == 0;
        }
    }

    void extend(const ListingRecord& record) {
        if (!continues(record)) {
            flush();
            group_ = {&record, record.address, record.address, 0, marks(record.depth)};
        }
        if (record.kind == ListingKind::Bytes) group_.size += record.size;
        group_.next =
            record.kind == ListingKind::Bytes ? record.address + record.size : record.address;
    }

    // A macro use or an include: its own line, then the lines it holds.
    void enter(const ListingRecord& record) {
        flush();
        group_ = {&record, record.address, record.address, 0, marks(record.depth)};
        flush();
        frames_.resize(record.depth + 1u);
        frames_.push_back(record.kind);
        if (record.kind == ListingKind::Include)
            std::fprintf(file_, "; %s (included from %s)\n", file_path(state_, record.target),
                         location(record.position).c_str());
    }

    // Back in an outer frame: a file whose include has ended is named again.
    void leave_frames_above(std::uint8_t depth) {
        bool left_file = false;
        while (frames_.size() > depth + 1u) {
            left_file = left_file || frames_.back() == ListingKind::Include;
            frames_.pop_back();
        }
        if (!left_file) return;
        flush();
        resumed_ = true;
    }

    // One "+" for each macro expansion around a record at `depth`.
    std::string marks(std::uint8_t depth) const {
        std::string result;
        for (std::size_t level = 1; level <= depth && level < frames_.size(); level++)
            if (frames_[level] == ListingKind::Expansion) result += '+';
        return result;
    }

    void flush() {
        const ListingRecord* first = group_.first;
        if (!first) return;
        group_.first = nullptr;
        if (resumed_) {
            std::fprintf(file_, "; %s\n", file_path(state_, first->position.file));
            resumed_ = false;
        }
        std::uint32_t size = group_.size;
        std::uint32_t shown = std::min(size, BYTES_PER_ROW);
        line_.clear();
        append_row(group_.address, shown, BYTES_PER_ROW);
        line_ += "  ";
        std::size_t start = line_.size();
        append_location(line_, first->position);
        line_.resize(std::max(line_.size(), start + location_width_), ' ');
        line_ += ' ';
        line_ += group_.marks;
        line_.resize(std::max(line_.size(), start + location_width_ + 3), ' ');
        line_ += ' ';
        std::size_t length = 0;
        const char* text = lines_.text ? lines_.text(lines_.context, first->position.file,
                                                     first->position.line, &length)
                                       : nullptr;
        if (text) line_.append(text, length);
        write_line();
        for (std::uint32_t at = shown; at < size; at += BYTES_PER_ROW) {
            line_.clear();
            append_row(group_.address + at, std::min(size - at, BYTES_PER_ROW), 0);
            write_line();
        }
    }

    // "ADDR  BB BB ..": `count` bytes from `address`, in a column `width` bytes wide.
    void append_row(std::uint32_t address, std::uint32_t count, std::uint32_t width) {
        char row[5 + 3 * BYTES_PER_ROW];
        char* at = put_hex(row, address & 0xffff, 4);
        *at++ = ' ';
        for (std::uint32_t i = 0; i < std::max(count, width); i++) {
            *at++ = ' ';
            if (i < count) {
                at = put_hex(at, state_.image[(address + i) & 0xffff], 2);
            } else {
                *at++ = ' ';
                *at++ = ' ';
            }
        }
        line_.append(row, static_cast<std::size_t>(at - row));
    }

    static char* put_hex(char* at, std::uint32_t value, int places) {
        static constexpr char digits[] = "0123456789abcdef";
        for (int shift = 4 * (places - 1); shift >= 0; shift -= 4)
            *at++ = digits[(value >> shift) & 15];
        return at;
    }

    // Writes the line gathered, without blanks at its end.
    void write_line() {
        while (!line_.empty() && line_.back() == ' ') line_.pop_back();
        line_ += '\n';
        std::fwrite(line_.data(), 1, line_.size(), file_);
    }

    void write_labels() {
        std::vector<int> order(state_.label_count);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return state_.labels[a].address < state_.labels[b].address;
        });
        std::fputs("\n; labels by address: address, uses, name\n", file_);
        for (int index : order) {
            const Label& label = state_.labels[index];
            line_.clear();
            char address[4];
            line_.append(address,
                         static_cast<std::size_t>(put_hex(address, label.address, 4) - address));
            char digits[8];
            auto end = std::to_chars(digits, digits + sizeof digits, label.uses).ptr;
            line_.append(6 - static_cast<std::size_t>(end - digits), ' ');
            line_.append(digits, end);
            line_ += "  ";
            line_ += label.name;
            write_line();
        }
    }

    const AssemblerState& state_;
    SourceLines lines_;
    std::FILE* file_;
    std::size_t location_width_ = 0;
    Group group_;
    std::vector<ListingKind> frames_{ListingKind::Include}; // the source's frame
    bool resumed_ = false;
    std::string line_; // the line being written
    std::uint16_t measured_file_ = 0;
    std::size_t path_width_ = std::char_traits<char>::length(file_path(state_, 0));
};

} // namespace

bool write_listing(const AssemblerState& state, const ListingRecord* records, std::size_t count,
                   SourceLines lines, std::FILE* file) {
    Listing listing(state, lines, file);
    for (std::size_t i = 0; i < count; i++) listing.measure(records[i]);
    std::fprintf(file, "; listing of %s\n", file_path(state, 0));
    for (std::size_t i = 0; i < count; i++) listing.add(records[i]);
    listing.finish();
    return std::ferror(file) == 0;
}
