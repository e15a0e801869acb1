// The records behind the C interface's opaque handles, and the storage of
// a result's records: blocks that are allocated as records arrive and never
// move, so that every pointer a result has handed out stays valid while
// lines are added (by the report) and until the result is freed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "assembler/assembly.hpp"
#include "orvasm/orvasm.h"
#include "platform/platform.hpp"

// Up to `Blocks` blocks of `PerBlock` records, each allocated on first use.
template <typename Record, std::size_t PerBlock, std::size_t Blocks> struct BlockTable {
    static constexpr std::size_t CAPACITY = PerBlock * Blocks;
    std::size_t count;
    std::size_t dropped;   // records refused once full, or when memory ran out
    std::size_t allocated; // blocks[0..allocated) are allocated; the rest are unset
    Record* blocks[Blocks];

    // A place for one more record, or nullptr (counted as dropped).
    Record* add();
    Record* slot(std::size_t index) const {
        return index < count ? &blocks[index / PerBlock][index % PerBlock] : nullptr;
    }
    void release();
};

// Copies of strings, in blocks that never move; the text follows the record.
struct TextBlock {
    TextBlock* next;
    std::size_t used;
    std::size_t size;
};

struct TextArena {
    TextBlock* blocks; // the newest first
    std::size_t total; // bytes in all blocks, at most MAX_TEXT
};

// A file served from memory, read through a stream the core sees as any other.
using MemoryReader = platform::MemoryReader;

// The text of a listed line: `length` bytes at `bytes`, in a block of the
// listing's texts.
struct ListedText {
    const char* bytes;
    std::uint32_t length;
    bool cut;
};

// A block of the texts of listed lines, whose `size` bytes follow it, as
// a TextArena's do; these double from a small block and have no limit of
// their own (a listing is bounded by its records).
struct ListedTextBlock {
    ListedTextBlock* older;
    std::size_t size;
    std::size_t used;
};

// The listing's records are kept in blocks that never move: block `b`
// holds FIRST_LISTING_BLOCK << b records, so that a small assembly's
// listing costs little (a large block is mapped and unmapped by the C
// library, or by a sanitizer, every time) and a large one is never copied.
// LISTING_BLOCKS of them hold ORVASM_MAX_LISTING.
constexpr std::size_t FIRST_LISTING_BLOCK = 1024;
constexpr int LISTING_BLOCKS = 15;
static_assert(FIRST_LISTING_BLOCK * ((std::size_t{1} << LISTING_BLOCKS) - 1) >= ORVASM_MAX_LISTING);

// The listing of a result (listing.cpp): the records as the pass gives
// them, the texts of their lines, and the interface's records and lines,
// made from them on first use.
struct ResultListing {
    ListingRecord* blocks[LISTING_BLOCKS];
    int block_count;     // blocks allocated
    std::size_t count;   // records kept, in the blocks in order
    std::size_t dropped; // records, or texts, that could not be kept
    // Where the pass writes the records past the limit, or when no block
    // can be allocated: they are counted, not kept.
    ListingRecord overflow[64];
    bool overflowing;
    ListedText* texts;
    std::size_t text_count;
    std::size_t text_capacity;
    ListedTextBlock* text_block; // the newest
    orvasm_listing_record* view;
    orvasm_listing_line* lines;
    std::size_t line_count;
    bool lines_formed;
};

constexpr std::size_t MAX_TEXT = std::size_t{64} << 20;
// Open at once: the source and a stream per level of includes.
constexpr int MAX_READERS = MAX_INCLUDE_DEPTH + 2;

// Where the problems are among the diagnostics (problems.cpp): counted for
// `lines` lines (a report adds some), and the last problem asked for, from
// which the next is found.
struct ProblemCursor {
    std::size_t lines;
    std::size_t count;
    std::size_t first_error; // SIZE_MAX when there is none
    std::size_t index;
    std::size_t record;
};

struct orvasm_assembler {
    AssemblerState* kept;  // the state to clear and reuse; nullptr while lent or never made
    bool lent;             // a live result holds the assembler's state
    std::uint32_t results; // live results made through this assembler
    bool freed;            // orvasm_assembler_free was called; the last result frees it
};

struct orvasm_result {
    AssemblerState* state;   // nullptr for ORVASM_INVALID
    orvasm_assembler* owner; // the assembler, or nullptr
    bool borrowed;           // `state` is the owner's, to be handed back
    int status;
    bool reported;
    bool source_opened;
    unsigned flags;
    orvasm_resolver resolver;
    void* resolver_context;
    char* source_path; // a copy: messages and positions name it
    // References and macros as the interface's records, made on first use
    // (collect_references, collect_macros); nullptr until then.
    orvasm_reference* references;
    orvasm_macro* macros;
    orvasm_token* macro_tokens; // the bodies, one after another
    std::size_t* macro_starts;  // where each macro's body starts in macro_tokens
    ProblemCursor problems;     // problems.cpp
    std::size_t symbol_count;   // filled on first use; until then 0 with symbols_filled false
    bool symbols_filled;
    orvasm_symbol symbols[MAX_LABELS];
    BlockTable<orvasm_diagnostic, 1024, ORVASM_MAX_DIAGNOSTICS / 1024> diagnostics;
    ResultListing listing;
    TextArena text;
    std::size_t chain_head; // the diagnostic that notes now follow, or SIZE_MAX
    MemoryReader readers[MAX_READERS];
};

// --- storage.cpp ---

// A copy of `length` bytes of `text`, terminated, or nullptr when the
// arena is full or memory ran out.
const char* keep_text(TextArena& arena, const char* text, std::size_t length);
// Room for `length` bytes and a terminator, to be filled, or nullptr.
char* reserve_text(TextArena& arena, std::size_t length);
void release_text(TextArena& arena);
void* allocate_block(std::size_t size);
void release_block(void* block);

template <typename Record, std::size_t PerBlock, std::size_t Blocks>
Record* BlockTable<Record, PerBlock, Blocks>::add() {
    if (count == CAPACITY) {
        dropped++;
        return nullptr;
    }
    if (count / PerBlock == allocated) {
        auto* block = static_cast<Record*>(allocate_block(PerBlock * sizeof(Record)));
        if (!block) { // GCOVR_EXCL_BR_LINE: memory ran out
            dropped++;
            return nullptr;
        }
        blocks[allocated++] = block;
    }
    Record* record = &blocks[count / PerBlock][count % PerBlock];
    count++;
    return record;
}

template <typename Record, std::size_t PerBlock, std::size_t Blocks>
void BlockTable<Record, PerBlock, Blocks>::release() {
    for (std::size_t i = 0; i < allocated; i++) release_block(blocks[i]);
    allocated = 0;
}

// --- sources.cpp ---

// The SourceOpener of a result: the resolver, then the file system.
std::FILE* open_for_result(const char* path, void* result);
// A stream over bytes in memory, or nullptr when none can be opened.
std::FILE* open_memory(orvasm_result& result, const unsigned char* data, std::size_t size);

// --- records.cpp ---

// Sets the state's sink and listing observer to fill the result.
void observe_assembly(orvasm_result& result, std::FILE* print_to);
// Make the references' and the macros' records, once; false when memory ran out.
bool collect_references(orvasm_result& result);
bool collect_macros(orvasm_result& result);
// Fills the symbols from the state's labels, once: only a caller that
// reads them pays for them.
void collect_symbols(orvasm_result& result);
// The interface's position of a position of the pass.
orvasm_position position_of(const orvasm_result& result, const SourcePosition& position);
// The path of a file of the assembly: 0 the source, i + 1 `included[i]`;
// nullptr for a number that names none.
const char* path_of(const orvasm_result& result, std::uint32_t file);

// --- listing.cpp ---

// The listing observer that fills the result.
ListingObserver listing_observer(orvasm_result& result);
// Make the interface's listing records, and its lines, once.
void collect_listing(orvasm_result& result);
void collect_listing_lines(orvasm_result& result);
void release_listing(ResultListing& listing);
