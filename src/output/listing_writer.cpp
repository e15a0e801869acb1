// Each line of the listing is composed in place in a buffer, which is
// written in large blocks; blanks at the end of a line are never written.
#include "output/listing_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t BYTES_PER_ROW = 8;
// "ADDR ", then " BB" for each byte of a row.
constexpr std::size_t ROW_WIDTH = 4 + 1 + 3 * BYTES_PER_ROW;
// The location stands two blanks after the widest row; the marks after it
// take at least two columns.
constexpr std::size_t LOCATION_COLUMN = ROW_WIDTH + 2;
constexpr std::size_t MARKS_WIDTH = 2;
// After the text of a line cut short.
constexpr char CUT_MARK[] = "...";

// " BB" for each byte, and the digits of an address, in cells of four
// bytes so that each is stored at once; the fourth byte is written over by
// what follows.
struct HexTable {
    char cells[256][4];
    constexpr HexTable() : cells() {
        constexpr char digits[] = "0123456789abcdef";
        for (int value = 0; value < 256; value++) {
            cells[value][0] = ' ';
            cells[value][1] = digits[value >> 4];
            cells[value][2] = digits[value & 15];
            cells[value][3] = ' ';
        }
    }
};
constexpr HexTable HEX;

// Runs of blanks and of "+" short enough to be stored in one block whatever
// their length: what is stored past the run is written over by what
// follows, within the slack a line's room leaves (RUN bytes).
constexpr std::size_t RUN = 32;
constexpr char BLANKS[RUN + 1] = "                                ";
constexpr char PLUSES[RUN + 1] = "++++++++++++++++++++++++++++++++";

// `count` bytes of `run` at `at`; returns the end.
char* put_run(char* at, const char* run, std::size_t count) {
    if (count <= RUN)
        std::memcpy(at, run, RUN);
    else
        std::memset(at, run[0], count);
    return at + count;
}

const char* path_of(const orvasm_position& position) {
    return position.file ? position.file : "";
}

std::size_t decimal_digits(std::uint32_t number) {
    std::size_t digits = 1;
    for (; number >= 10; number /= 10) digits++;
    return digits;
}

// The listing's file, through a buffer of its own: each line is composed
// in place, and the buffer written in large blocks.
class Output {
  public:
    explicit Output(std::FILE* file) : file_(file) {}
    ~Output() { flush(); }

    // Where `size` more bytes may be composed; end() takes the end of what was.
    char* room(std::size_t size) {
        if (size > size_ - used_) {
            flush();
            if (size > size_) {
                buffer_.reset(new char[size]);
                size_ = size;
            }
        }
        return buffer_.get() + used_;
    }
    void end(const char* at) { used_ = static_cast<std::size_t>(at - buffer_.get()); }
    void put(const char* text, std::size_t size) {
        char* at = room(size);
        std::memcpy(at, text, size);
        end(at + size);
    }
    void put(const char* text) { put(text, std::strlen(text)); }
    void flush() {
        if (used_ > 0) std::fwrite(buffer_.get(), 1, used_, file_);
        used_ = 0;
    }
    bool written() {
        flush();
        return std::ferror(file_) == 0;
    }

  private:
    std::FILE* file_;
    // Never filled beforehand: each line is composed whole before it is written.
    std::unique_ptr<char[]> buffer_{new char[std::size_t{1} << 16]};
    std::size_t size_ = std::size_t{1} << 16;
    std::size_t used_ = 0;
};

// "ADDR " and " BB" for each of the `count` bytes at `bytes`, at `at`;
// returns the end. One byte past it may be written over.
char* put_row(char* at, std::uint32_t address, const unsigned char* bytes, std::size_t count) {
    std::memcpy(at, HEX.cells[(address >> 8) & 0xff] + 1, 2);
    std::memcpy(at + 2, HEX.cells[address & 0xff] + 1, 2);
    at[4] = ' ';
    at += 5;
    for (std::size_t i = 0; i < count; i++, at += 3) std::memcpy(at, HEX.cells[bytes[i]], 4);
    return at;
}

// Blanks from `at` to `until`, if it lies ahead; returns where they end.
char* put_blanks(char* at, char* until) {
    return until > at ? put_run(at, BLANKS, static_cast<std::size_t>(until - at)) : at;
}

class Writer {
  public:
    Writer(const orvasm_result* result, std::FILE* file) : result_(result), out_(file) {}

    bool write(const char* source_path) {
        out_.put("; listing of ");
        out_.put(source_path);
        out_.put("\n");
        std::size_t count = orvasm_result_listing_line_count(result_);
        std::vector<const orvasm_listing_line*> lines(count);
        for (std::size_t i = 0; i < count; i++) {
            const orvasm_listing_line& line = *(lines[i] = orvasm_result_listing_line(result_, i));
            width_ = std::max(width_, path_length(path_of(line.position)) + 1 +
                                          decimal_digits(line.position.line));
        }
        for (const orvasm_listing_line* line : lines) write_line(*line);
        write_labels();
        return out_.written();
    }

  private:
    void write_line(const orvasm_listing_line& line) {
        const char* path = path_of(line.position);
        std::size_t length = path_length(path);
        if (line.resumes) put_file_line(path, nullptr);
        std::size_t shown = std::min<std::size_t>(line.size, BYTES_PER_ROW);
        std::size_t size = LOCATION_COLUMN + length + 12 + width_ + line.expansions + MARKS_WIDTH +
                           2 + line.text_length + sizeof CUT_MARK + RUN;
        char* start = out_.room(size);
        char* at = put_row(start, line.address & 0xffff, line.bytes, shown);
        at = put_blanks(at, start + LOCATION_COLUMN);
        std::memcpy(at, path, length);
        at += length;
        *at++ = ':';
        at = std::to_chars(at, at + 10, line.position.line).ptr;
        at = put_marks_and_text(at, start + LOCATION_COLUMN + width_, line);
        *at++ = '\n';
        out_.end(at);
        for (std::size_t done = shown; done < line.size; done += BYTES_PER_ROW) {
            char* row = out_.room(ROW_WIDTH + 1);
            row = put_row(row, (line.address + done) & 0xffff, line.bytes + done,
                          std::min<std::size_t>(line.size - done, BYTES_PER_ROW));
            *row++ = '\n';
            out_.end(row);
        }
        if (line.opens) put_file_line(line.opens, &line);
    }

    // The marks in a column MARKS_WIDTH wide after the location's column,
    // which ends at `location_end`, then the text, each after a blank; the
    // text without its final blanks.
    static char* put_marks_and_text(char* at, char* location_end, const orvasm_listing_line& line) {
        std::size_t text = line.text_length;
        if (!line.cut)
            while (text > 0 && line.text[text - 1] == ' ') text--;
        if (text == 0 && line.expansions == 0) return at;
        at = put_blanks(at, location_end);
        *at++ = ' ';
        at = put_run(at, PLUSES, line.expansions);
        if (text == 0) return at;
        at = put_blanks(at, location_end + 1 + MARKS_WIDTH);
        *at++ = ' ';
        std::memcpy(at, line.text, text);
        at += text;
        if (!line.cut) return at;
        std::memcpy(at, CUT_MARK, sizeof CUT_MARK - 1);
        return at + sizeof CUT_MARK - 1;
    }

    // "; FILE", or "; FILE (included from FILE:LINE)" after the line `from`.
    void put_file_line(const char* path, const orvasm_listing_line* from) {
        out_.put("; ");
        out_.put(path);
        if (from) {
            out_.put(" (included from ");
            out_.put(path_of(from->position));
            char digits[12] = ":";
            char* end = std::to_chars(digits + 1, digits + sizeof digits, from->position.line).ptr;
            out_.put(digits, static_cast<std::size_t>(end - digits));
            out_.put(")");
        }
        out_.put("\n");
    }

    // Every label by address, in definition order where addresses are equal:
    // "ADDR  USES  NAME", the uses right-aligned in six columns.
    void write_labels() {
        out_.put("\n; labels by address: address, uses, name\n");
        std::size_t count = orvasm_result_symbol_count(result_);
        std::vector<const orvasm_symbol*> labels;
        for (std::size_t i = 0; i < count; i++) labels.push_back(orvasm_result_symbol(result_, i));
        std::stable_sort(
            labels.begin(), labels.end(),
            [](const orvasm_symbol* a, const orvasm_symbol* b) { return a->address < b->address; });
        for (const orvasm_symbol* label : labels) {
            std::size_t name = std::strlen(label->name);
            char* start = out_.room(4 + 6 + 2 + name + 1 + RUN);
            char* at = put_row(start, label->address, nullptr, 0) - 1;
            char digits[6];
            char* end = std::to_chars(digits, digits + sizeof digits, label->uses).ptr;
            at = put_blanks(at, start + 10 - (end - digits));
            std::memcpy(at, digits, static_cast<std::size_t>(end - digits));
            at = put_blanks(at + (end - digits), at + (end - digits) + 2);
            std::memcpy(at, label->name, name);
            at[name] = '\n';
            out_.end(at + name + 1);
        }
    }

    // The length of `path`, measured once for the lines of one file in a row.
    std::size_t path_length(const char* path) {
        if (path != path_) {
            path_ = path;
            path_length_ = std::strlen(path);
        }
        return path_length_;
    }

    const orvasm_result* result_;
    Output out_;
    const char* path_ = nullptr;
    std::size_t path_length_ = 0;
    std::size_t width_ = 0; // of the widest "FILE:LINE"
};

} // namespace

bool write_listing(const orvasm_result* result, const char* source_path, std::FILE* file) {
    if (orvasm_result_listing_dropped(result) > 0) return false;
    Writer writer(result, file);
    return writer.write(source_path);
}
