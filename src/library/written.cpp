// The bytes written at a place of a source, from the listing's records: what
// the language server's hover and the playground's marking show for the
// tokens under the cursor.
#include <cstdint>
#include <cstring>

#include "orvasm/orvasm.h"

namespace {

struct Place {
    const char* file;
    std::uint32_t first_line, first_column, last_line, last_column;
};

bool in_place(const orvasm_position& position, const Place& place) {
    if (position.line == 0 || position.line < place.first_line || position.line > place.last_line)
        return false;
    if (position.line == place.first_line && position.column < place.first_column) return false;
    if (position.line == place.last_line && position.column > place.last_column) return false;
    return position.file == place.file || std::strcmp(position.file, place.file) == 0;
}

// Adds a span to those found, joined to the last when they touch.
struct Spans {
    orvasm_span* spans;
    std::size_t capacity;
    std::size_t count;
    orvasm_span last;

    void add(std::uint32_t address, std::uint32_t size) {
        if (size == 0) return;
        if (count > 0 && last.address + last.size == address) {
            last.size += size;
        } else {
            count++;
            last = {address, size};
        }
        if (spans && count <= capacity) spans[count - 1] = last;
    }
};

// The records from `first` that a header at `first` holds: those after it
// deeper than it. Returns the index past them.
std::size_t end_of_record(const orvasm_result* result, std::size_t first, std::size_t count) {
    const orvasm_listing_record* header = orvasm_result_listing(result, first);
    std::size_t end = first + 1;
    if (header->kind != ORVASM_LIST_EXPANSION && header->kind != ORVASM_LIST_INCLUDE) return end;
    while (end < count && orvasm_result_listing(result, end)->depth > header->depth) end++;
    return end;
}

} // namespace

extern "C" {

ORVASM_API size_t orvasm_result_bytes_at(const orvasm_result* result, const char* file,
                                         uint32_t first_line, uint32_t first_column,
                                         uint32_t last_line, uint32_t last_column,
                                         orvasm_span* spans, size_t capacity) {
    std::size_t count = orvasm_result_listing_count(result);
    if (!file || count == 0 || !orvasm_result_listing(result, 0)) return 0;
    const Place place = {file, first_line, first_column, last_line, last_column};
    Spans found = {spans, capacity, 0, {0, 0}};
    for (std::size_t i = 0; i < count;) {
        if (!in_place(orvasm_result_listing(result, i)->position, place)) {
            i++;
            continue;
        }
        std::size_t end = end_of_record(result, i, count);
        for (; i < end; i++) {
            const orvasm_listing_record* record = orvasm_result_listing(result, i);
            if (record->kind == ORVASM_LIST_BYTES) found.add(record->address, record->size);
        }
    }
    return found.count;
}

} // extern "C"
