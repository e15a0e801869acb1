// The source lines a listing shows, read back from the files of the
// assembly once it is over. Each file is read once, in the order of its
// lines, up to the last that the listing's lines name: a small file whole,
// its lines shown from where they were read; a large one in blocks, only
// the lines shown kept, so that a large source costs little memory. The
// lines between are counted rather than looked at one by one
// (line_scan.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "output/listing_writer.hpp"

// How FileLines reads a file: a block at a time, or whole, its lines then
// shown from where they were read rather than copied.
struct ReadSizes {
    std::size_t block = std::size_t{1} << 17;
    std::size_t whole_file = std::size_t{4} << 20;  // the largest file read whole
    std::size_t whole_files = std::size_t{8} << 20; // all the files read whole
};

class FileLines {
  public:
    explicit FileLines(ReadSizes sizes = {}) : sizes_(sizes) {}

    // Reads the text of each line of `listing`, formed from `records`, from
    // the files of `state`, by the paths the assembly opened them by. A line
    // that cannot be read (its file is gone or was a pipe, or the file now
    // ends before it) has no text. Throws std::bad_alloc when memory runs
    // out.
    void read(const AssemblerState& state, const ListingRecord* records,
              const ListingLines& listing);

    // The texts, one for each line of the listing read.
    const ShownText* texts() const { return shown_.get(); }

  private:
    // Texts are kept in blocks that never move; a small file is kept whole
    // in one, its lines shown from where they were read.
    struct TextBlock {
        std::unique_ptr<char[]> bytes;
        std::size_t used;
        std::size_t capacity;
    };

    struct Reader; // a file being read, a block at a time
    void read_file(const char* path, std::uint64_t* keys, std::size_t count, Reader& reader);
    void read_whole(Reader& reader);
    void show_whole_file(const char* at, const char* end, const std::uint64_t* keys,
                         std::size_t count);
    void take_line(Reader& reader, ShownText& text);
    void copy_line(Reader& reader, ShownText& text);
    char* keep(char* line, std::size_t length, const char* data, std::size_t size);
    char* add_block(std::size_t capacity);

    ReadSizes sizes_;
    std::unique_ptr<ShownText[]> shown_; // by line of the listing
    std::vector<TextBlock> blocks_;
    std::size_t whole_size_ = 0; // of the files kept whole
};
