// The source lines a listing shows, read back from the files of the
// assembly once it is over: only the lines the records name are kept, so
// that a large source costs little memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

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

    std::map<std::pair<std::uint16_t, std::uint32_t>, std::string> lines_;
};
