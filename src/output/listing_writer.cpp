// Each line of the listing is composed in a buffer of its own and written
// through the file's stream; blanks at the end of a line are never written.
#include "output/listing_writer.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
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

constexpr char HEX[] = "0123456789abcdef";

const char* path_of(const orvasm_position& position) {
    return position.file ? position.file : "";
}

std::size_t decimal_digits(std::uint32_t number) {
    std::size_t digits = 1;
    for (; number >= 10; number /= 10) digits++;
    return digits;
}

// Appends "ADDR " and " BB" for each of the `count` bytes at `bytes`.
void put_row(std::string& row, std::uint32_t address, const unsigned char* bytes,
             std::size_t count) {
    for (int shift = 12; shift >= 0; shift -= 4) row += HEX[(address >> shift) & 15];
    row += ' ';
    for (std::size_t i = 0; i < count; i++) {
        row += ' ';
        row += HEX[bytes[i] >> 4];
        row += HEX[bytes[i] & 15];
    }
}

class Writer {
  public:
    Writer(const orvasm_result* result, std::FILE* file) : result_(result), file_(file) {}

    bool write(const char* source_path) {
        put(std::string("; listing of ") + source_path + "\n");
        std::size_t count = orvasm_result_listing_line_count(result_);
        for (std::size_t i = 0; i < count; i++) {
            const orvasm_listing_line& line = *orvasm_result_listing_line(result_, i);
            width_ = std::max(width_, std::strlen(path_of(line.position)) + 1 +
                                          decimal_digits(line.position.line));
        }
        for (std::size_t i = 0; i < count; i++) write_line(*orvasm_result_listing_line(result_, i));
        write_labels();
        return std::ferror(file_) == 0;
    }

  private:
    void put(const std::string& text) { std::fwrite(text.data(), 1, text.size(), file_); }

    void write_line(const orvasm_listing_line& line) {
        const char* path = path_of(line.position);
        if (line.resumes) put(std::string("; ") + path + "\n");
        std::size_t shown = std::min<std::size_t>(line.size, BYTES_PER_ROW);
        row_.clear();
        put_row(row_, line.address & 0xffff, line.bytes, shown);
        row_.resize(LOCATION_COLUMN, ' ');
        row_ += path;
        row_ += ':';
        row_ += std::to_string(line.position.line);
        put_marks_and_text(line);
        row_ += '\n';
        for (std::size_t done = shown; done < line.size; done += BYTES_PER_ROW) {
            put_row(row_, (line.address + done) & 0xffff, line.bytes + done,
                    std::min<std::size_t>(line.size - done, BYTES_PER_ROW));
            row_ += '\n';
        }
        if (line.opens) {
            row_ += std::string("; ") + line.opens + " (included from " + path + ":" +
                    std::to_string(line.position.line) + ")\n";
        }
        put(row_);
    }

    // The marks in a column MARKS_WIDTH wide after the location's column,
    // then the text, each after a blank; the text without its final blanks.
    void put_marks_and_text(const orvasm_listing_line& line) {
        std::size_t text = line.text_length;
        if (!line.cut)
            while (text > 0 && line.text[text - 1] == ' ') text--;
        if (text == 0 && line.expansions == 0) return;
        std::size_t location_end = LOCATION_COLUMN + width_;
        row_.resize(std::max(row_.size(), location_end) + 1, ' ');
        row_.append(line.expansions, '+');
        if (text == 0) return;
        row_.resize(std::max(row_.size(), location_end + 1 + MARKS_WIDTH) + 1, ' ');
        row_.append(line.text, text);
        if (line.cut) row_ += CUT_MARK;
    }

    // Every label by address, in definition order where addresses are equal:
    // "ADDR  USES  NAME", the uses right-aligned in six columns.
    void write_labels() {
        put("\n; labels by address: address, uses, name\n");
        std::size_t count = orvasm_result_symbol_count(result_);
        std::vector<const orvasm_symbol*> labels;
        for (std::size_t i = 0; i < count; i++) labels.push_back(orvasm_result_symbol(result_, i));
        std::stable_sort(labels.begin(), labels.end(),
                         [](const orvasm_symbol* a, const orvasm_symbol* b) {
                             return a->address < b->address;
                         });
        for (const orvasm_symbol* label : labels)
            std::fprintf(file_, "%04x%6u  %s\n", label->address, unsigned{label->uses},
                         label->name);
    }

    const orvasm_result* result_;
    std::FILE* file_;
    std::size_t width_ = 0; // of the widest "FILE:LINE"
    std::string row_;
};

} // namespace

bool write_listing(const orvasm_result* result, const char* source_path, std::FILE* file) {
    if (orvasm_result_listing_dropped(result) > 0) return false;
    Writer writer(result, file);
    return writer.write(source_path);
}
