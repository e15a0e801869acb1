// The listing is made per line, not per call: one pass over the records
// forms its lines with a few comparisons each, then each line is composed
// in place in a buffer of the output, blanks written 16 at a time and bytes
// as rows (listing_rows.hpp), and the buffer is written in large blocks.
// Blanks at the end of a line are never written rather than taken back.
#include "output/listing_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

#include "output/listing_rows.hpp"

namespace {

// The location stands two blanks after the widest row; the marks after it
// take at least two columns.
constexpr std::size_t LOCATION_COLUMN = ROW_WIDTH + 2;
constexpr std::size_t MARKS_WIDTH = 2;
// The longest line number, in digits.
constexpr std::size_t LINE_DIGITS = 10;
// Depths are taken up to the deepest the pass can nest, so that the levels
// of the frames fit their tables whatever a record holds.
constexpr std::uint32_t DEEPEST = MAX_FRAMES - 1;

// --- Forming the lines ---

// The frames around the records as the pass over them goes, the source's
// own at level 0: for each level up to `levels`, how many of the frames
// from level 1 to it are expansions, and how many includes. A level that a
// deeper record skipped counts as neither.
struct Frames {
    std::uint32_t levels = 1;
    std::uint16_t expansions[DEEPEST + 2] = {};
    std::uint16_t includes[DEEPEST + 2] = {};

    // The "+" of a line at `depth`: the expansions around it.
    std::uint16_t marks(std::uint32_t depth) const {
        return expansions[std::min(depth, levels - 1)];
    }

    // Back at `depth`, from deeper: true when an include has ended.
    bool leave(std::uint32_t depth) {
        bool left_file = includes[levels - 1] != includes[depth];
        levels = depth + 1;
        return left_file;
    }

    // A frame opened by a record at `depth`.
    void enter(std::uint32_t depth, ListingKind kind) {
        for (; levels <= depth; levels++) {
            expansions[levels] = expansions[levels - 1];
            includes[levels] = includes[levels - 1];
        }
        expansions[depth + 1] = expansions[depth] + (kind == ListingKind::Expansion);
        includes[depth + 1] = includes[depth] + (kind == ListingKind::Include);
        levels = depth + 2;
    }
};

// The width of the widest "FILE:LINE" of the `files` whose highest lines
// shown, plus one, are `highest`.
std::size_t location_width(const AssemblerState& state, const std::uint64_t* highest,
                           std::size_t files) {
    std::size_t width = 0;
    for (std::size_t slot = 0; slot < files; slot++) {
        if (highest[slot] == 0) continue;
        std::size_t digits = 0;
        for (std::uint64_t line = highest[slot] - 1; line > 0; line /= 10) digits++;
        std::size_t path = std::strlen(listing_path(state, static_cast<std::uint16_t>(slot)));
        width = std::max(width, path + 1 + digits);
    }
    return width;
}

// --- Writing ---

constexpr char BLANKS[] = "                                "; // 32

// Blanks from `at` to `end`, and up to 15 after it.
void put_blanks(char* at, const char* end) {
    for (; at < end; at += 16) std::memcpy(at, BLANKS, 16);
}

// `value` in decimal at `at`; returns the end. Writes 16 bytes.
[[gnu::always_inline]] inline char* put_decimal(char* at, std::uint32_t value) {
    char digits[32] = {};
    char* first = digits + 16;
    for (; value >= 100; value /= 100) {
        first -= 2;
        std::memcpy(first, DIGITS.decimal[value % 100], 2);
    }
    if (value >= 10) {
        first -= 2;
        std::memcpy(first, DIGITS.decimal[value], 2);
    } else {
        *--first = static_cast<char>('0' + value);
    }
    std::memcpy(at, first, 16);
    return at + (digits + 16 - first);
}

// What the first row of a line shows after its bytes.
struct Shown {
    const char* path;
    std::size_t path_length;
    std::uint32_t line;
    std::uint32_t marks;
    ShownText text; // without the blanks at its end
};

// The room the first row of a line needs, with its line end and what
// put_decimal and put_blanks may write after what they write.
std::size_t first_row_size(const Shown& shown, std::size_t width) {
    return LOCATION_COLUMN + std::max(width, shown.path_length + 1 + 16) + 1 + shown.marks +
           MARKS_WIDTH + 1 + 16 + shown.text.length + 1;
}

// The first row of a line: its bytes, "FILE:LINE" in a column `width`
// wide, the marks in one of MARKS_WIDTH, the text, each after a blank, and
// nothing after the last character that is not a blank.
[[gnu::always_inline]] inline char* put_first_row(char* at, const std::uint8_t* image,
                                                  std::uint32_t address, std::uint32_t shown_bytes,
                                                  const Shown& shown, std::size_t width) {
    std::memcpy(at, BLANKS, 32);
    put_row(at, image, address, shown_bytes);
    char* location = at + LOCATION_COLUMN;
    std::memcpy(location, shown.path, shown.path_length);
    char* end = location + shown.path_length;
    *end++ = ':';
    end = put_decimal(end, shown.line);
    if (shown.text.length == 0 && shown.marks == 0) return end;
    char* marks = std::max(end, location + width) + 1;
    char* text = std::max(marks + shown.marks, location + width + 1 + MARKS_WIDTH) + 1;
    put_blanks(end, text);
    for (std::uint32_t i = 0; i < shown.marks; i++) marks[i] = '+';
    if (shown.text.length == 0) return marks + shown.marks;
    std::memcpy(text, shown.text.bytes, shown.text.length);
    return text + shown.text.length;
}

// The listing's file, through a buffer of its own: lines are composed in
// place and written in blocks.
class Output {
  public:
    static constexpr std::size_t CAPACITY = std::size_t{1} << 16;

    explicit Output(std::FILE* file) : file_(file) {}

    // Where `size` bytes, at most CAPACITY, may be composed; end() takes the
    // end of what was.
    char* room(std::size_t size) {
        if (size > CAPACITY - used_) flush();
        return buffer_ + used_;
    }
    void end(const char* at) { used_ = static_cast<std::size_t>(at - buffer_); }

    void put(const char* data, std::size_t size) {
        if (size > CAPACITY - used_) {
            flush();
            if (size > CAPACITY) {
                std::fwrite(data, 1, size, file_);
                return;
            }
        }
        std::memcpy(buffer_ + used_, data, size);
        used_ += size;
    }
    void put(const char* text) { put(text, std::strlen(text)); }

    void flush() {
        if (used_ > 0) std::fwrite(buffer_, 1, used_, file_);
        used_ = 0;
    }

    bool written() const { return std::ferror(file_) == 0; }

  private:
    std::FILE* file_;
    std::size_t used_ = 0;
    char buffer_[CAPACITY];
};

class Writer {
  public:
    Writer(const AssemblerState& state, const ListingRecord* records, const ListingLines& listing,
           const ShownText* texts, std::FILE* file)
        : state_(state), records_(records), listing_(listing), texts_(texts), out_(file) {}

    bool write() {
        out_.put("; listing of ");
        out_.put(listing_path(state_, 0));
        out_.put("\n");
        for (std::size_t i = 0; i < listing_.count; i++)
            write_line(listing_.lines[i], texts_ ? texts_[i] : ShownText{nullptr, 0});
        write_labels();
        out_.flush();
        return out_.written();
    }

  private:
    // "; FILE" or "; FILE (included from FILE:LINE)".
    void put_file_line(std::uint16_t file, const SourcePosition* from) {
        out_.put("; ");
        out_.put(listing_path(state_, file));
        if (from) {
            out_.put(" (included from ");
            out_.put(listing_path(state_, from->file));
            char digits[1 + LINE_DIGITS];
            digits[0] = ':';
            char* end = std::to_chars(digits + 1, digits + sizeof digits, from->line).ptr;
            out_.put(digits, static_cast<std::size_t>(end - digits));
            out_.put(")");
        }
        out_.put("\n");
    }

    void write_line(const ListingLine& line, ShownText text) {
        const ListingRecord& first = records_[line.record];
        std::uint16_t file = first.position.file;
        if (line.flags & LINE_RESUMES_FILE) put_file_line(file, nullptr);
        if (file != path_file_ || !path_) {
            path_file_ = file;
            path_ = listing_path(state_, file);
            path_length_ = std::strlen(path_);
        }
        if (!text.bytes) text.length = 0;
        while (text.length > 0 && text.bytes[text.length - 1] == ' ') text.length--;
        Shown shown{path_, path_length_, first.position.line, line.marks, text};
        std::uint32_t shown_bytes = std::min(line.size, BYTES_PER_ROW);
        std::size_t size = first_row_size(shown, listing_.location_width);
        if (size <= Output::CAPACITY) {
            char* end = put_first_row(out_.room(size), state_.image, line.address, shown_bytes,
                                      shown, listing_.location_width);
            *end++ = '\n';
            out_.end(end);
        } else {
            put_long_first_row(line.address, shown_bytes, shown, size);
        }
        if (line.size > shown_bytes) put_more_rows(line);
        if (line.flags & LINE_OPENS_FILE) put_file_line(first.target, &first.position);
    }

    // A first row longer than the buffer, composed apart.
    void put_long_first_row(std::uint32_t address, std::uint32_t shown_bytes, const Shown& shown,
                            std::size_t size) {
        std::unique_ptr<char[]> row(new char[size]);
        char* end = put_first_row(row.get(), state_.image, address, shown_bytes, shown,
                                  listing_.location_width);
        *end++ = '\n';
        out_.put(row.get(), static_cast<std::size_t>(end - row.get()));
    }

    // The rows after the first, as many at a time as the buffer has room for.
    void put_more_rows(const ListingLine& line) {
        constexpr std::size_t row_size = ROW_WIDTH + 1;
        constexpr std::uint32_t rows_at_once = Output::CAPACITY / row_size / 2;
        std::uint32_t full_rows = line.size / BYTES_PER_ROW - 1;
        std::uint32_t address = line.address + BYTES_PER_ROW;
        while (full_rows > 0) {
            std::uint32_t rows = std::min(full_rows, rows_at_once);
            char* at = out_.room(rows * row_size + ROWS_SLACK);
            out_.end(put_full_rows(at, state_.image, address, rows));
            address += rows * BYTES_PER_ROW;
            full_rows -= rows;
        }
        if (std::uint32_t rest = line.size % BYTES_PER_ROW) {
            char* end = put_row(out_.room(row_size + 1), state_.image, address, rest);
            *end++ = '\n';
            out_.end(end);
        }
    }

    // Every label by address, in definition order where addresses are equal.
    void write_labels() {
        out_.put("\n; labels by address: address, uses, name\n");
        const Label* labels = state_.labels;
        int count = std::min<int>(state_.label_count, MAX_LABELS);
        bool sorted = true;
        for (int i = 1; i < count && sorted; i++)
            sorted = labels[i - 1].address <= labels[i].address;
        if (sorted) {
            for (int i = 0; i < count; i++) write_label(labels[i]);
            return;
        }
        std::unique_ptr<std::uint16_t[]> order(new std::uint16_t[count]);
        for (int i = 0; i < count; i++) order[i] = static_cast<std::uint16_t>(i);
        std::stable_sort(order.get(), order.get() + count,
                         [labels](std::uint16_t a, std::uint16_t b) {
                             return labels[a].address < labels[b].address;
                         });
        for (int i = 0; i < count; i++) write_label(labels[order[i]]);
    }

    // "ADDR  USES  NAME", the uses right-aligned in six columns.
    void write_label(const Label& label) {
        char* at = out_.room(4 + 6 + 2 + NAME_SIZE + 1);
        std::memcpy(at, BLANKS, 16);
        put_hex4(at, label.address);
        char* digit = at + 4 + 6;
        unsigned uses = label.uses;
        // Uses are 16 bits wide: five digits at most.
        do *--digit = static_cast<char>('0' + uses % 10);
        while ((uses /= 10) != 0);
        at += 4 + 6;
        // A name is never empty and holds no blank, so nothing is trimmed.
        std::size_t name = std::strlen(label.name);
        std::memcpy(at + 2, label.name, name);
        at += 2 + name;
        *at++ = '\n';
        out_.end(at);
    }

    const AssemblerState& state_;
    const ListingRecord* records_;
    const ListingLines& listing_;
    const ShownText* texts_;
    Output out_;
    // The path of the last line's file.
    const char* path_ = nullptr;
    std::size_t path_length_ = 0;
    std::uint16_t path_file_ = 0;
};

} // namespace

const char* listing_path(const AssemblerState& state, std::uint16_t file) {
    return file <= state.included_count ? file_path(state, file) : "";
}

bool form_listing_lines(ListingLines& listing, const AssemblerState& state,
                        const ListingRecord* records, std::size_t count) {
    listing.count = 0;
    listing.location_width = 0;
    listing.files = std::min<std::size_t>(state.included_count, MAX_INCLUDES) + 2;
    // By file: 1 + the highest line shown, 0 when none.
    if (count > UINT32_MAX) return false;
    std::unique_ptr<std::uint64_t[]> highest(new std::uint64_t[listing.files]());
    listing.lines.reset(new ListingLine[count]);
    ListingLine* lines = listing.lines.get();
    Frames frames;
    bool resumed = false;        // an include has ended since the last line
    ListingLine* open = nullptr; // the line the next record may join
    std::uint32_t next = 0;      // where the open line has left the write position
    SourcePosition at{};         // the open line's position and depth
    decltype(ListingRecord::depth) depth = 0;
    // The highest line of the file of the last line, kept apart until the
    // file changes: 1 + the line, as in `highest`.
    std::uint16_t end_file = 0;
    std::uint64_t end = 0;

    auto start = [&](std::size_t index, const ListingRecord& record, std::uint32_t level,
                     std::uint8_t flags) {
        ListingLine* line = &lines[listing.count++];
        *line = {static_cast<std::uint32_t>(index), record.address, 0, frames.marks(level),
                 static_cast<std::uint8_t>(flags | (resumed ? LINE_RESUMES_FILE : 0))};
        resumed = false;
        at = record.position;
        depth = record.depth;
        if (at.file != end_file) {
            highest[listing_slot(listing.files, end_file)] = end;
            end_file = at.file;
            end = highest[listing_slot(listing.files, end_file)];
        }
        end = std::max<std::uint64_t>(end, std::uint64_t{at.line} + 1);
        return line;
    };

    const ListingRecord* last = records + count;
    for (std::size_t i = 0; i < count; i++) {
        const ListingRecord& record = records[i];
        std::uint32_t level = std::min<std::uint32_t>(record.depth, DEEPEST);
        if (frames.levels > level + 1 && frames.leave(level)) {
            open = nullptr;
            resumed = true;
        }
        bool joins = open && record.position.line == at.line && record.position.file == at.file &&
                     record.depth == depth;
        switch (record.kind) {
        case ListingKind::Bytes: {
            if (!joins || record.address != open->address + open->size)
                open = start(i, record, level, 0);
            // Most records are bytes that go on from those before them on
            // the same line: they are taken in a loop of their own. Within
            // a run of bytes the file changes only with the depth, since
            // entering an include is a record of its own.
            std::uint32_t bytes_end = record.address + record.size;
            const ListingRecord* more = &record + 1;
            while (more != last && more->kind == ListingKind::Bytes && more->address == bytes_end &&
                   more->position.line == at.line && more->depth == depth) {
                bytes_end += more->size;
                more++;
            }
            i = static_cast<std::size_t>(more - records) - 1;
            open->size = bytes_end - open->address;
            next = bytes_end;
            break;
        }
        case ListingKind::Label:
            if (!joins || record.address != next) open = start(i, record, level, 0);
            next = record.address;
            break;
        case ListingKind::Padding:
            if (!joins || open->size != 0) open = start(i, record, level, 0);
            next = record.address;
            break;
        case ListingKind::Expansion:
        case ListingKind::Include:
            start(i, record, level, record.kind == ListingKind::Include ? LINE_OPENS_FILE : 0);
            open = nullptr;
            frames.enter(level, record.kind);
            break;
        }
    }
    highest[listing_slot(listing.files, end_file)] = end;
    listing.location_width = location_width(state, highest.get(), listing.files);
    return true;
}

bool write_listing(const AssemblerState& state, const ListingRecord* records,
                   const ListingLines& listing, const ShownText* texts, std::FILE* file) {
    // The buffer is too large for the stack of every thread.
    auto writer = std::make_unique<Writer>(state, records, listing, texts, file);
    return writer->write();
}
