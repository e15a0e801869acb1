#include "output/source_lines.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "output/line_scan.hpp"
#include "platform/platform.hpp"

namespace {

// The least kept in a block of texts.
constexpr std::size_t TEXT_BLOCK_SIZE = std::size_t{1} << 16;

// The length of the line from `text` to `end`, its line end, without the
// carriage returns before that.
std::size_t without_returns(const char* text, const char* end) {
    while (end > text && end[-1] == '\r') end--;
    return static_cast<std::size_t>(end - text);
}

// The `count` keys, in the order of their indexes, in the order of their
// lines: `keys` itself, or `sorted` made for them; nullptr when memory ran
// out. The listing goes back only for the bodies of macros and for files
// included again, mostly over fewer lines than it shows: those are counted
// out, others sorted.
std::uint64_t* by_line(std::uint64_t* keys, std::size_t count,
                       std::unique_ptr<std::uint64_t[]>& sorted) {
    if (std::is_sorted(keys, keys + count)) return keys;
    std::uint32_t first = UINT32_MAX;
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < count; i++) {
        auto line = static_cast<std::uint32_t>(keys[i] >> 32);
        first = std::min(first, line);
        last = std::max(last, line);
    }
    std::size_t lines = std::size_t{last} - first + 1;
    if (lines > 4 * count) {
        std::sort(keys, keys + count);
        return keys;
    }
    std::unique_ptr<std::size_t[]> starts(new std::size_t[lines + 1]());
    sorted.reset(new std::uint64_t[count]);
    for (std::size_t i = 0; i < count; i++) starts[(keys[i] >> 32) - first + 1]++;
    for (std::size_t line = 1; line <= lines; line++) starts[line] += starts[line - 1];
    for (std::size_t i = 0; i < count; i++) sorted[starts[(keys[i] >> 32) - first]++] = keys[i];
    return sorted.get();
}

} // namespace

// A file being read: the bytes from `at` to `end`, in `block` or in a block
// of texts that holds the whole file.
struct FileLines::Reader {
    char* block; // `size` bytes and LINE_SCAN_SLACK more
    std::size_t size;
    int descriptor = -1;
    const char* at = nullptr;
    const char* end = nullptr;
    bool kept = false;     // the bytes are those of a whole file, kept
    bool complete = false; // and the file had no more

    // The next block; false at the end of the file or on an error.
    bool fill() {
        kept = false;
        if (descriptor < 0) return false;
        std::ptrdiff_t got = read_into(block, size);
        if (got <= 0) {
            platform::close_descriptor(descriptor);
            descriptor = -1;
            return false;
        }
        at = block;
        end = block + got;
        // What a scan reads past the end is known, if never counted.
        std::memset(block + got, 0, LINE_SCAN_SLACK);
        return true;
    }

    std::ptrdiff_t read_into(char* buffer, std::size_t size) {
        std::ptrdiff_t got;
        do got = platform::read_some(descriptor, buffer, size);
        while (got < 0 && errno == EINTR);
        return got;
    }

    // Passes `count` line ends; false when the file ends first.
    bool skip(std::uint64_t count) {
        while (count > 0) {
            if (at == end && !fill()) return false;
            const char* after = skip_line_ends(at, end, count);
            at = after ? after : end;
        }
        return true;
    }
};

void FileLines::read(const AssemblerState& state, const ListingRecord* records,
                     const ListingLines& listing) {
    std::size_t files = listing.files;
    std::size_t count = listing.count;
    // The lines of the listing by file, in the order they come: a key for
    // each, its line number above its index in the listing.
    std::unique_ptr<std::size_t[]> ends(new std::size_t[files]());
    std::unique_ptr<std::uint64_t[]> keys(new std::uint64_t[count]);
    shown_.reset(new ShownText[count]);
    std::size_t block = std::max<std::size_t>(sizes_.block, 1);
    std::unique_ptr<char[]> buffer(new char[block + LINE_SCAN_SLACK]);
    for (std::size_t i = 0; i < count; i++)
        ends[listing_slot(files, records[listing.lines[i].record].position.file)]++;
    for (std::size_t slot = 0, total = 0; slot < files; slot++) {
        total += ends[slot];
        ends[slot] = total - ends[slot];
    }
    for (std::size_t i = 0; i < count; i++) {
        const SourcePosition& at = records[listing.lines[i].record].position;
        keys[ends[listing_slot(files, at.file)]++] = std::uint64_t{at.line} << 32 | i;
    }
    Reader reader{buffer.get(), block};
    for (std::size_t slot = 0, begin = 0; slot < files; begin = ends[slot++]) {
        if (ends[slot] == begin) continue;
        const char* path = listing_path(state, static_cast<std::uint16_t>(slot));
        read_file(path, keys.get() + begin, ends[slot] - begin, reader);
    }
}

// Reads the lines of one file that the `count` keys name, and gives each
// line of the listing its text.
void FileLines::read_file(const char* path, std::uint64_t* keys, std::size_t count,
                          Reader& reader) {
    reader.descriptor = platform::open_for_reading(path, false);
    reader.at = reader.end = reader.block;
    reader.complete = false;
    read_whole(reader);
    if (reader.kept && reader.complete) {
        platform::close_descriptor(reader.descriptor);
        reader.descriptor = -1;
        show_whole_file(reader.at, reader.end, keys, count);
        return;
    }
    std::unique_ptr<std::uint64_t[]> sorted;
    keys = by_line(keys, count, sorted);
    std::uint64_t line = 1; // where the reader stands
    ShownText text{nullptr, 0};
    for (std::size_t i = 0; i < count; i++) {
        std::uint64_t wanted = keys[i] >> 32;
        if (i == 0 || wanted != keys[i - 1] >> 32) {
            text = {nullptr, 0};
            // Lines are counted from 1; a line of 0 names none.
            if (wanted > 0 && reader.skip(wanted - line)) {
                take_line(reader, text);
                line = wanted + 1;
            }
        }
        shown_[keys[i] & 0xffffffff] = text;
    }
    if (reader.descriptor >= 0) platform::close_descriptor(reader.descriptor);
    reader.descriptor = -1;
}

// Reads a small regular file whole into a block of texts, if the files so
// read leave room for it.
void FileLines::read_whole(Reader& reader) {
    std::uint64_t file_size = 0;
    if (reader.descriptor < 0 || !platform::regular_file_size(reader.descriptor, file_size) ||
        file_size == 0 || file_size > sizes_.whole_file ||
        whole_size_ + static_cast<std::size_t>(file_size) > sizes_.whole_files)
        return;
    // One byte more than the file holds finds its end, or that it grew:
    // the rest is then read in blocks.
    std::size_t size = static_cast<std::size_t>(file_size) + 1;
    char* whole = add_block(size + LINE_SCAN_SLACK);
    std::size_t got = 0;
    while (got < size) {
        std::ptrdiff_t more = reader.read_into(whole + got, size - got);
        if (more <= 0) break;
        got += static_cast<std::size_t>(more);
    }
    reader.complete = got < size;
    std::memset(whole + got, 0, LINE_SCAN_SLACK);
    blocks_.back().used = size + LINE_SCAN_SLACK;
    whole_size_ += size;
    reader.at = whole;
    reader.end = whole + got;
    reader.kept = true;
}

// Gives the lines the `count` keys name their texts in a file kept whole,
// from `at` to `end`, in any order: where each line starts is found once,
// up to the highest line asked for.
void FileLines::show_whole_file(const char* at, const char* end, const std::uint64_t* keys,
                                std::size_t count) {
    std::vector<const char*> starts = {at}; // starts[n]: where line n + 1 starts
    bool found_all = false;                 // no line end after the last start
    for (std::size_t i = 0; i < count; i++) {
        std::uint64_t wanted = keys[i] >> 32;
        while (!found_all && starts.size() <= wanted) {
            const char* from = starts.back();
            auto* found = static_cast<const char*>(
                std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
            if (found)
                starts.push_back(found + 1);
            else
                found_all = true;
        }
        ShownText text{nullptr, 0};
        // Lines are counted from 1; a line of 0 names none.
        if (wanted > 0 && wanted < starts.size()) {
            const char* line = starts[wanted - 1];
            text = {line, without_returns(line, starts[wanted] - 1)};
        } else if (wanted > 0 && wanted == starts.size() && starts.back() < end) {
            text = {starts.back(), without_returns(starts.back(), end)};
        }
        shown_[keys[i] & 0xffffffff] = text;
    }
}

// Keeps the line the reader stands at, without its line end, and passes
// that. No text when the file has ended.
inline void FileLines::take_line(Reader& reader, ShownText& text) {
    // In a file kept whole, a line that ends there is shown from there.
    if (reader.kept) {
        if (const char* found = find_line_end(reader.at, reader.end)) {
            text = {reader.at, without_returns(reader.at, found)};
            reader.at = found + 1;
            return;
        }
    }
    copy_line(reader, text);
}

// take_line where the line is copied, in as many pieces as blocks it spans.
void FileLines::copy_line(Reader& reader, ShownText& text) {
    char* kept = nullptr;
    std::size_t length = 0;
    for (;;) {
        if (reader.at == reader.end && !reader.fill()) break;
        const char* found = find_line_end(reader.at, reader.end);
        const char* stop = found ? found : reader.end;
        std::size_t size = static_cast<std::size_t>(stop - reader.at);
        kept = keep(kept, length, reader.at, size);
        length += size;
        reader.at = stop;
        if (found) {
            reader.at++;
            break;
        }
    }
    if (kept) text = {kept, without_returns(kept, kept + length)};
}

// Appends `size` bytes to the `length` bytes of the line kept last at
// `line` (nullptr for a new line); returns where the line now is. A line
// that outgrows its block moves to a new one; nothing else ever moves.
char* FileLines::keep(char* line, std::size_t length, const char* data, std::size_t size) {
    TextBlock* block = blocks_.empty() ? nullptr : &blocks_.back();
    if (!block || size > block->capacity - block->used) {
        char* moved = add_block(std::max(TEXT_BLOCK_SIZE, 2 * (length + size)));
        if (length > 0) std::memcpy(moved, line, length);
        block = &blocks_.back();
        block->used = length;
        line = moved;
    } else if (!line) {
        line = block->bytes.get() + block->used;
    }
    std::memcpy(block->bytes.get() + block->used, data, size);
    block->used += size;
    return line;
}

// A new, empty block of texts of `capacity` bytes.
char* FileLines::add_block(std::size_t capacity) {
    blocks_.push_back({std::unique_ptr<char[]>(new char[capacity]), 0, capacity});
    return blocks_.back().bytes.get();
}
