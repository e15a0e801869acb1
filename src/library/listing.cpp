// The listing of a result: the records the pass gives, the texts of their
// lines, and the lines a listing shows, formed from the records in one
// pass on first use.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "library/result.hpp"

namespace {

// Depths are taken up to the deepest the pass can nest, so that the levels
// of the frames fit their tables whatever a record holds.
constexpr std::uint32_t DEEPEST = MAX_FRAMES - 1;

// Makes room for `more` entries of `size` bytes after `used` in `*table`
// of `*capacity`, doubling it; false when memory ran out.
bool grow(void** table, std::size_t* capacity, std::size_t used, std::size_t more, std::size_t size,
          std::size_t least) {
    if (*capacity - used >= more) return true;
    std::size_t wanted = std::max({*capacity * 2, used + more, least});
    void* grown = std::realloc(*table, wanted * size);
    if (!grown) return false; // GCOVR_EXCL_BR_LINE: memory ran out
    *table = grown;
    *capacity = wanted;
    return true;
}

// The first of the other tables of a listing, small for a small listing;
// they double from there.
constexpr std::size_t FIRST_TEXTS = 64;
constexpr std::size_t FIRST_TEXT_BLOCK = 4096;
constexpr std::size_t LARGEST_TEXT_BLOCK = 65536;

// The first record of block `block`, and how many records it holds.
std::size_t block_start(int block) {
    return FIRST_LISTING_BLOCK * ((std::size_t{1} << block) - 1);
}
std::size_t block_size(int block) {
    return std::min(FIRST_LISTING_BLOCK << block, ORVASM_MAX_LISTING - block_start(block));
}

// Allocates the next block of records once the last is full; false when
// there is none to allocate, past ORVASM_MAX_LISTING, or no memory.
bool has_room(ResultListing& listing) {
    int last = listing.block_count - 1;
    if (last >= 0 && listing.count < block_start(last) + block_size(last)) return true;
    int next = last + 1;
    if (next == LISTING_BLOCKS || block_start(next) >= ORVASM_MAX_LISTING) return false;
    void* block = std::malloc(block_size(next) * sizeof(ListingRecord));
    if (!block) return false; // GCOVR_EXCL_BR_LINE: memory ran out
    listing.blocks[next] = static_cast<ListingRecord*>(block);
    listing.block_count = next + 1;
    return true;
}

// Takes the records the pass wrote in the room given last, and gives it
// the rest of the last block, or a new block when it is full. Past
// ORVASM_MAX_LISTING, or when no block can be allocated, the room is the
// overflow, whose records are only counted.
ListingRecord* give_listing_room(void* context, std::size_t written, std::size_t* size) {
    ResultListing& listing = static_cast<orvasm_result*>(context)->listing;
    if (listing.overflowing)
        listing.dropped += written;
    else
        listing.count += written;
    if (!size) return nullptr;
    listing.overflowing = !has_room(listing);
    if (listing.overflowing) {
        *size = sizeof listing.overflow / sizeof listing.overflow[0];
        return listing.overflow;
    }
    int last = listing.block_count - 1;
    std::size_t used = listing.count - block_start(last);
    *size = block_size(last) - used;
    return listing.blocks[last] + used;
}

// Calls `visit(first, end)` for the records of each block in turn.
template <typename Visit> void for_each_block(const ResultListing& listing, Visit visit) {
    for (int block = 0; block < listing.block_count; block++) {
        std::size_t start = block_start(block);
        if (start >= listing.count) break;
        std::size_t size = std::min(block_size(block), listing.count - start);
        visit(listing.blocks[block], listing.blocks[block] + size);
    }
}

// Room for `length` bytes of text, in the newest block or a new one, each
// twice the size of the one before up to LARGEST_TEXT_BLOCK; nullptr when
// memory ran out.
char* text_room(ResultListing& listing, std::size_t length) {
    ListedTextBlock* block = listing.text_block;
    if (!block || block->size - block->used < length) {
        std::size_t size = block ? std::min(block->size * 2, LARGEST_TEXT_BLOCK) : FIRST_TEXT_BLOCK;
        size = std::max(size, length);
        auto* added = static_cast<ListedTextBlock*>(std::malloc(sizeof(ListedTextBlock) + size));
        if (!added) return nullptr; // GCOVR_EXCL_BR_LINE: memory ran out
        *added = {block, size, 0};
        listing.text_block = block = added;
    }
    char* room = reinterpret_cast<char*>(block + 1) + block->used;
    block->used += length;
    return room;
}

// Keeps the text of a listed line (ListingObserver::text).
std::uint32_t keep_listing_text(void* context, std::uint32_t id, const char* bytes,
                                std::size_t length, bool cut) {
    ResultListing& listing = static_cast<orvasm_result*>(context)->listing;
    if (id == NEW_TEXT) {
        void* table = listing.texts;
        if (listing.text_count >= NO_TEXT ||
            !grow(&table, &listing.text_capacity, listing.text_count, 1, sizeof(ListedText),
                  FIRST_TEXTS)) {
            listing.dropped++;
            return NO_TEXT;
        }
        listing.texts = static_cast<ListedText*>(table);
        id = static_cast<std::uint32_t>(listing.text_count++);
    }
    if (id >= listing.text_count) return NO_TEXT;
    char* room = text_room(listing, length);
    if (!room) { // GCOVR_EXCL_BR_LINE: memory ran out
        listing.dropped++;
        listing.texts[id] = {"", 0, false};
        return id;
    }
    std::memcpy(room, bytes, length);
    listing.texts[id] = {room, static_cast<std::uint32_t>(length), cut};
    return id;
}

// The text numbered `id`, as the interface gives it.
struct ShownText {
    const char* text;
    std::size_t length;
    int cut;
};

ShownText shown_text(const ResultListing& listing, std::uint32_t id) {
    if (id >= listing.text_count) return {"", 0, 0};
    const ListedText& text = listing.texts[id];
    return {text.bytes, text.length, text.cut};
}

// The interface's record of `from`.
orvasm_listing_record view_of(const orvasm_result& result, const AssemblerState& state,
                              const ListingRecord& from) {
    const char* target = nullptr;
    if (from.kind == ListingKind::Expansion && from.target < state.macro_count)
        target = state.macros[from.target].name;
    if (from.kind == ListingKind::Include) target = path_of(result, from.target);
    ShownText text = shown_text(result.listing, from.text);
    return {static_cast<int>(from.kind),
            position_of(result, from.position),
            from.address,
            from.size,
            from.depth,
            target,
            text.text,
            text.length,
            text.cut};
}

// The frames around the records as the pass over them goes, the source's
// own at level 0: for each level up to `levels`, how many of the frames
// from level 1 to it are expansions, and how many includes. A level that a
// deeper record skipped counts as neither.
struct Frames {
    std::uint32_t levels = 1;
    std::uint16_t expansions[DEEPEST + 2] = {};
    std::uint16_t includes[DEEPEST + 2] = {};

    // The "+" of a line at `depth`: the expansions around it.
    std::uint16_t marks(std::uint32_t depth) const {
        return expansions[std::min(depth, levels - 1)];
    }

    // Back at `depth`, from deeper: true when an include has ended.
    bool leave(std::uint32_t depth) {
        bool left_file = includes[levels - 1] != includes[depth];
        levels = depth + 1;
        return left_file;
    }

    // A frame opened by a record at `depth`.
    void enter(std::uint32_t depth, ListingKind kind) {
        for (; levels <= depth; levels++) {
            expansions[levels] = expansions[levels - 1];
            includes[levels] = includes[levels - 1];
        }
        expansions[depth + 1] = expansions[depth] + (kind == ListingKind::Expansion);
        includes[depth + 1] = includes[depth] + (kind == ListingKind::Include);
        levels = depth + 2;
    }
};

// The records grouped into lines, one record at a time.
class LineForm {
  public:
    LineForm(const orvasm_result& result, orvasm_listing_line* lines)
        : result_(result), lines_(lines) {}

    // Adds the record at `at` and those after it, before `end`, that it
    // takes along; returns the next.
    const ListingRecord* add(const ListingRecord* at, const ListingRecord* end) {
        add(*at);
        if (at->kind != ListingKind::Bytes) return at + 1;
        // Most records are bytes that go on from those before them on the
        // same line, at the same depth: those are taken in a loop of their
        // own.
        const ListingRecord* more = at + 1;
        for (; more != end && more->kind == ListingKind::Bytes && more->address == next_ &&
               more->position.line == at_.line && more->position.file == at_.file &&
               more->depth == depth_;
             more++)
            next_ += more->size;
        open_->size = next_ - open_->address;
        return more;
    }

    void add(const ListingRecord& record) {
        std::uint32_t level = std::min<std::uint32_t>(record.depth, DEEPEST);
        if (frames_.levels > level + 1 && frames_.leave(level)) {
            open_ = nullptr;
            resumed_ = true;
        }
        bool joins = open_ && record.position.line == at_.line &&
                     record.position.file == at_.file && record.depth == depth_;
        switch (record.kind) {
        case ListingKind::Bytes:
            if (!joins || record.address != open_->address + open_->size)
                open_ = start(record, level);
            open_->size = record.address + record.size - open_->address;
            next_ = record.address + record.size;
            break;
        case ListingKind::Label:
            if (!joins || record.address != next_) open_ = start(record, level);
            next_ = record.address;
            break;
        case ListingKind::Padding:
            if (!joins || open_->size != 0) open_ = start(record, level);
            next_ = record.address;
            break;
        case ListingKind::Expansion:
        case ListingKind::Include:
            start(record, level)->opens =
                record.kind == ListingKind::Include ? path_of(result_, record.target) : nullptr;
            open_ = nullptr;
            frames_.enter(level, record.kind);
            break;
        }
    }

    std::size_t count() const { return count_; }

  private:
    orvasm_listing_line* start(const ListingRecord& record, std::uint32_t level) {
        orvasm_listing_line& line = lines_[count_++];
        ShownText text = shown_text(result_.listing, record.text);
        line = {position_of(result_, record.position),
                record.address,
                0,
                nullptr,
                record.depth,
                frames_.marks(level),
                text.text,
                text.length,
                text.cut,
                resumed_,
                nullptr};
        resumed_ = false;
        at_ = record.position;
        depth_ = record.depth;
        return &line;
    }

    const orvasm_result& result_;
    orvasm_listing_line* lines_;
    std::size_t count_ = 0;
    Frames frames_;
    bool resumed_ = false;                // an include has ended since the last line
    orvasm_listing_line* open_ = nullptr; // the line the next record may join
    std::uint32_t next_ = 0;              // where the open line has left the write position
    SourcePosition at_{};                 // the open line's position and depth
    std::uint32_t depth_ = 0;
};

} // namespace

ListingObserver listing_observer(orvasm_result& result) {
    return {&give_listing_room, &keep_listing_text, &result};
}

void collect_listing(orvasm_result& result) {
    ResultListing& listing = result.listing;
    if (listing.view || listing.count == 0) return;
    auto* view = static_cast<orvasm_listing_record*>(
        std::malloc(listing.count * sizeof(orvasm_listing_record)));
    if (!view) return; // GCOVR_EXCL_BR_LINE: memory ran out
    const AssemblerState& state = *result.state;
    orvasm_listing_record* to = view;
    for_each_block(listing, [&](const ListingRecord* first, const ListingRecord* end) {
        for (const ListingRecord* at = first; at != end; at++) *to++ = view_of(result, state, *at);
    });
    listing.view = view;
}

void collect_listing_lines(orvasm_result& result) {
    ResultListing& listing = result.listing;
    if (listing.lines_formed || listing.dropped > 0 || listing.count == 0) return;
    listing.lines_formed = true;
    auto* lines =
        static_cast<orvasm_listing_line*>(std::malloc(listing.count * sizeof(orvasm_listing_line)));
    if (!lines) return; // GCOVR_EXCL_BR_LINE: memory ran out
    LineForm form(result, lines);
    for_each_block(listing, [&](const ListingRecord* at, const ListingRecord* end) {
        while (at != end) at = form.add(at, end);
    });
    const AssemblerState& state = *result.state;
    for (std::size_t i = 0; i < form.count(); i++) {
        orvasm_listing_line& line = lines[i];
        bool in_rom = line.address >= PROGRAM_START && line.address <= state.length &&
                      line.size <= state.length - line.address;
        if (line.size > 0 && in_rom) line.bytes = state.image + line.address;
        if (!in_rom) line.size = 0;
    }
    listing.lines = lines;
    listing.line_count = form.count();
}

void release_listing(ResultListing& listing) {
    for (int block = 0; block < listing.block_count; block++) std::free(listing.blocks[block]);
    std::free(listing.texts);
    for (ListedTextBlock* block = listing.text_block; block;) {
        ListedTextBlock* older = block->older;
        std::free(block);
        block = older;
    }
    std::free(listing.view);
    std::free(listing.lines);
}
