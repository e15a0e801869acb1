// What the pass gives a listing besides its records: the text of each line
// a record names, taken from the bytes the reader already holds, so that
// the listing never reads a file again. At most LISTED_TEXT bytes of a
// line are kept; a line whose start has left the buffer before its first
// record has its first bytes saved as they leave (keep_line_head), and one
// whose end is not yet read is given again once it is (finish_line_text).
#include <cstring>

#include "assembler/assembler.hpp"

namespace {

// Gives the observer the text of the line being read, as far as the
// buffer goes: the saved head when the line began in an earlier block,
// then the buffer's bytes up to its line end. Only a line with a head is
// put together in a copy; any other is given where it lies.
std::uint32_t give_line_text(TokenStream& stream, std::uint32_t id) {
    char text[sizeof stream.head];
    std::size_t length = 0;
    std::uint32_t from = 0;
    if (stream.line_start < stream.discarded) {
        length = stream.head_line == stream.line ? stream.head_length : 0;
        std::memcpy(text, stream.head, length);
    } else {
        from = static_cast<std::uint32_t>(stream.line_start - stream.discarded);
    }
    std::size_t room = sizeof text - length;
    std::size_t left = from < stream.end ? stream.end - from : 0;
    std::size_t size = left < room ? left : room;
    const char* bytes = reinterpret_cast<const char*>(stream.buffer + from);
    const void* line_end = std::memchr(bytes, '\n', size);
    if (line_end) size = static_cast<std::size_t>(static_cast<const char*>(line_end) - bytes);
    if (length > 0) {
        std::memcpy(text + length, bytes, size);
        bytes = text;
    }
    length += size;
    bool whole = line_end || stream.exhausted; // the line ends here
    stream.text_open = !whole && length < sizeof text;
    // Carriage returns before the line end are no part of the line.
    if (whole)
        while (length > 0 && bytes[length - 1] == '\r') length--;
    bool cut = length > LISTED_TEXT || (!whole && !stream.text_open);
    if (cut) length = LISTED_TEXT;
    return stream.listing->text(stream.listing->context, id, bytes, length, cut);
}

} // namespace

std::uint32_t keep_line_text(TokenStream& stream) {
    return give_line_text(stream, NEW_TEXT);
}

void keep_line_head(TokenStream& stream, std::uint32_t keep) {
    if (stream.head_line != stream.line) {
        stream.head_line = stream.line;
        stream.head_length = 0;
    }
    std::uint64_t start =
        stream.line_start > stream.discarded ? stream.line_start : stream.discarded;
    auto from = static_cast<std::uint32_t>(start - stream.discarded);
    std::uint32_t room = sizeof stream.head - stream.head_length;
    std::uint32_t size = keep > from ? keep - from : 0;
    if (size > room) size = room;
    std::memcpy(stream.head + stream.head_length, stream.buffer + from, size);
    stream.head_length += size;
}

void finish_line_text(TokenStream& stream) {
    if (stream.text_open && stream.text_line == stream.line)
        stream.text = give_line_text(stream, stream.text);
}

void renew_listing_room(AssemblerState& state, bool last) {
    auto written = static_cast<std::size_t>(state.listing_next - state.listing_room);
    std::size_t size = 0;
    ListingRecord* room =
        state.listing.room(state.listing.context, written, last ? nullptr : &size);
    state.listing_room = state.listing_next = room;
    state.listing_end = room + size;
}
