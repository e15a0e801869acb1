// The source lines a listing shows, read back from the files of the
// assembly once it is over: only the lines the records name are kept, so
// that a large source costs little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output/listing_writer.hpp"

class FileLines {
  public:
    // Reads the lines `records` name from the files of `state`, by the paths
    // the assembly opened them by. A file that cannot be read again (a pipe,
    // say) gives no text.
    FileLines(const AssemblerState& state, const ListingRecord* records, std::size_t count);

    SourceLines source_lines() { return {&FileLines::text, this}; }

  private:
    static const char* text(void* context, std::uint16_t file, std::uint32_t line,
                            std::size_t* length);

    struct Text {
        std::uint32_t offset; // in `texts_`
        std::uint32_t length;
    };
    std::vector<std::vector<Text>> lines_; // by file, then line number
    std::string texts_;                    // the lines' texts, one after the other
};
