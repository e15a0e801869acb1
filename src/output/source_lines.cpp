#include "output/source_lines.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "output/line_scan.hpp"

namespace {

// The least kept in a block of texts.
constexpr std::size_t TEXT_BLOCK_SIZE = std::size_t{1} << 16;

// The length of the line from `text` to `end`, its line end, without the
// carriage returns before that.
std::size_t without_returns(const char* text, const char* end) {
    while (end > text && end[-1] == '\r') end--;
    return static_cast<std::size_t>(end - text);
}

// The set bits of `bits`, without the instruction that not every x86-64
// processor has.
unsigned count_bits(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + ((bits >> 2) & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0f;
    return static_cast<unsigned>((bits * 0x0101010101010101) >> 56);
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
    bool kept = false; // the bytes are those of a whole file, kept

    // The next block; false at the end of the file or on an error.
    bool fill() {
        kept = false;
        if (descriptor < 0) return false;
        ssize_t got = read_into(block, size);
        if (got <= 0) {
            ::close(descriptor);
            descriptor = -1;
            return false;
        }
        at = block;
        end = block + got;
        // What a scan reads past the end is known, if never counted.
        std::memset(block + got, 0, LINE_SCAN_SLACK);
        return true;
    }

    ssize_t read_into(char* buffer, std::size_t size) {
        ssize_t got;
        do got = ::read(descriptor, buffer, size);
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

bool FileLines::read(const AssemblerState& state, const ListingRecord* records,
                     const ListingLines& listing) {
    std::size_t files = listing.files;
    files_.reset(new (std::nothrow) File[files]);
    shown_.reset(new (std::nothrow) ShownText[listing.count]);
    if (!files_ || !shown_) return false;
    std::size_t words = 0;
    for (std::size_t slot = 0; slot < files; slot++) words += (listing.ends[slot] + 63) / 64;
    wanted_.reset(new (std::nothrow) std::uint64_t[words]());
    firsts_.reset(new (std::nothrow) std::uint32_t[words]);
    if (!wanted_ || !firsts_) return false;
    for (std::size_t slot = 0, at = 0; slot < files; slot++) {
        std::size_t count = (listing.ends[slot] + 63) / 64;
        files_[slot] = {wanted_.get() + at, firsts_.get() + at, count};
        at += count;
    }

    std::size_t wanted = 0;
    for (std::size_t i = 0; i < listing.count; i++) {
        const SourcePosition& at = records[listing.lines[i].record].position;
        std::uint64_t& word = files_[listing_slot(files, at.file)].wanted[at.line / 64];
        std::uint64_t bit = std::uint64_t{1} << (at.line % 64);
        wanted += (word & bit) == 0;
        word |= bit;
    }
    texts_.reset(new (std::nothrow) ShownText[wanted]);
    std::size_t block = std::max<std::size_t>(sizes_.block, 1);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[block + LINE_SCAN_SLACK]);
    if (!texts_ || !buffer) return false;
    Reader reader{buffer.get(), block};
    std::uint32_t index = 0;
    for (std::size_t slot = 0; slot < files; slot++) {
        if (files_[slot].words == 0) continue;
        const char* path = listing_path(state, static_cast<std::uint16_t>(slot));
        if (!read_file(path, files_[slot], index, reader)) return false;
    }

    // Each line's text is the one of its rank among the lines wanted.
    for (std::size_t i = 0; i < listing.count; i++) {
        const SourcePosition& at = records[listing.lines[i].record].position;
        const File& file = files_[listing_slot(files, at.file)];
        std::uint64_t bits = file.wanted[at.line / 64];
        std::uint64_t below = (std::uint64_t{1} << (at.line % 64)) - 1;
        shown_[i] = texts_[file.firsts[at.line / 64] + count_bits(bits & below)];
    }
    return true;
}

// Reads the lines wanted of one file, whose texts are numbered from `index`
// on. False when memory ran out.
bool FileLines::read_file(const char* path, const File& file, std::uint32_t& index,
                          Reader& reader) {
    reader.descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    reader.at = reader.end = reader.block;
    if (!read_whole(reader)) return false;
    std::uint64_t line = 1; // where the reader stands
    bool kept = true;
    for (std::size_t word = 0; word < file.words && kept; word++) {
        std::uint64_t bits = file.wanted[word];
        if (bits != 0) file.firsts[word] = index;
        for (; bits != 0 && kept; bits &= bits - 1) {
            ShownText& text = texts_[index++];
            text = {nullptr, 0};
            std::uint64_t wanted = word * 64 + static_cast<unsigned>(std::countr_zero(bits));
            // Lines are counted from 1; a line of 0 names none.
            if (wanted == 0 || !reader.skip(wanted - line)) continue;
            kept = take_line(reader, text);
            line = wanted + 1;
        }
    }
    if (reader.descriptor >= 0) ::close(reader.descriptor);
    reader.descriptor = -1;
    return kept;
}

// Reads a small regular file whole into a block of texts, if the files so
// read leave room for it. False when memory ran out.
bool FileLines::read_whole(Reader& reader) {
    struct stat status;
    if (reader.descriptor < 0 || ::fstat(reader.descriptor, &status) != 0 ||
        !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<std::uint64_t>(status.st_size) > sizes_.whole_file ||
        whole_size_ + static_cast<std::size_t>(status.st_size) > sizes_.whole_files)
        return true;
    // One byte more than the file holds finds its end, or that it grew:
    // the rest is then read in blocks.
    std::size_t size = static_cast<std::size_t>(status.st_size) + 1;
    char* whole = add_block(size + LINE_SCAN_SLACK);
    if (!whole) return false;
    std::size_t got = 0;
    while (got < size) {
        ssize_t more = reader.read_into(whole + got, size - got);
        if (more <= 0) break;
        got += static_cast<std::size_t>(more);
    }
    std::memset(whole + got, 0, LINE_SCAN_SLACK);
    blocks_[block_count_ - 1].used = size + LINE_SCAN_SLACK;
    whole_size_ += size;
    reader.at = whole;
    reader.end = whole + got;
    reader.kept = true;
    return true;
}

// Keeps the line the reader stands at, without its line end, and passes
// that. No text when the file has ended. False when memory ran out.
inline bool FileLines::take_line(Reader& reader, ShownText& text) {
    // In a file kept whole, a line that ends there is shown from there.
    if (reader.kept) {
        if (const char* found = find_line_end(reader.at, reader.end)) {
            text = {reader.at, without_returns(reader.at, found)};
            reader.at = found + 1;
            return true;
        }
    }
    return copy_line(reader, text);
}

// take_line where the line is copied, in as many pieces as blocks it spans.
bool FileLines::copy_line(Reader& reader, ShownText& text) {
    char* kept = nullptr;
    std::size_t length = 0;
    for (;;) {
        if (reader.at == reader.end && !reader.fill()) break;
        const char* found = find_line_end(reader.at, reader.end);
        const char* stop = found ? found : reader.end;
        std::size_t size = static_cast<std::size_t>(stop - reader.at);
        kept = keep(kept, length, reader.at, size);
        if (!kept) return false;
        length += size;
        reader.at = stop;
        if (found) {
            reader.at++;
            break;
        }
    }
    if (kept) text = {kept, without_returns(kept, kept + length)};
    return true;
}

// Appends `size` bytes to the `length` bytes of the line kept last at
// `line` (nullptr for a new line); returns where the line now is, or
// nullptr when memory ran out. A line that outgrows its block moves to a new
// one; nothing else ever moves.
char* FileLines::keep(char* line, std::size_t length, const char* data, std::size_t size) {
    TextBlock* block = block_count_ > 0 ? &blocks_[block_count_ - 1] : nullptr;
    if (!block || size > block->capacity - block->used) {
        char* moved = add_block(std::max(TEXT_BLOCK_SIZE, 2 * (length + size)));
        if (!moved) return nullptr;
        if (length > 0) std::memcpy(moved, line, length);
        block = &blocks_[block_count_ - 1];
        block->used = length;
        line = moved;
    } else if (!line) {
        line = block->bytes.get() + block->used;
    }
    std::memcpy(block->bytes.get() + block->used, data, size);
    block->used += size;
    return line;
}

// A new, empty block of texts of `capacity` bytes; nullptr when memory ran
// out.
char* FileLines::add_block(std::size_t capacity) {
    if (block_count_ == block_capacity_) {
        std::size_t count = block_capacity_ > 0 ? 2 * block_capacity_ : 8;
        std::unique_ptr<TextBlock[]> grown(new (std::nothrow) TextBlock[count]);
        if (!grown) return nullptr;
        for (std::size_t i = 0; i < block_count_; i++) grown[i] = std::move(blocks_[i]);
        blocks_ = std::move(grown);
        block_capacity_ = count;
    }
    TextBlock made{std::unique_ptr<char[]>(new (std::nothrow) char[capacity]), 0, capacity};
    if (!made.bytes) return nullptr;
    blocks_[block_count_] = std::move(made);
    return blocks_[block_count_++].bytes.get();
}
