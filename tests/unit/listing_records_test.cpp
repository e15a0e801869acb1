// The library's table of listing records, driven as the pass drives it:
// rooms in blocks that never move, and every record past
// ORVASM_MAX_LISTING counted as dropped, none kept, and no lines formed. Nothing is written in
// the rooms but a mark at each end, so that the pages stay untouched.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "library/result.hpp"
#include "output/listing_writer.hpp"

namespace {

struct Room {
    ListingRecord* first;
    std::size_t size;
};

TEST(ListingRecords, RecordsPastTheLimitAreCountedAsDroppedNotKept) {
    auto result = std::make_unique<orvasm_result>();
    ListingObserver observer = listing_observer(*result);
    std::vector<Room> rooms;
    std::size_t size = 0;
    ListingRecord* room = observer.room(observer.context, 0, &size);
    std::size_t given = 0;
    while (room != result->listing.overflow) {
        ASSERT_GT(size, 0u);
        room[0].address = static_cast<std::uint32_t>(given);
        room[size - 1].address = static_cast<std::uint32_t>(given + size - 1);
        rooms.push_back({room, size});
        given += size;
        room = observer.room(observer.context, size, &size);
    }
    EXPECT_EQ(given, std::size_t{ORVASM_MAX_LISTING});
    EXPECT_LE(rooms.size(), std::size_t{LISTING_BLOCKS});
    EXPECT_EQ(rooms[0].size, FIRST_LISTING_BLOCK);
    // The overflow takes what comes after, and only counts it.
    EXPECT_EQ(orvasm_result_listing_count(result.get()), std::size_t{ORVASM_MAX_LISTING});
    EXPECT_EQ(orvasm_result_listing_dropped(result.get()), 0u);
    room = observer.room(observer.context, size, &size);
    EXPECT_EQ(room, result->listing.overflow);
    observer.room(observer.context, 5, nullptr);
    EXPECT_EQ(orvasm_result_listing_dropped(result.get()), size + 5);
    EXPECT_EQ(orvasm_result_listing_count(result.get()), std::size_t{ORVASM_MAX_LISTING});
    // A listing that dropped records forms no lines: they would lie.
    collect_listing_lines(*result);
    EXPECT_EQ(result->listing.line_count, 0u);
    EXPECT_EQ(result->listing.lines, nullptr);
    // Nor is such a listing written: not a byte.
    char* written = nullptr;
    std::size_t written_size = 0;
    std::FILE* file = open_memstream(&written, &written_size);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(write_listing(result.get(), "in.orv", file));
    std::fclose(file);
    EXPECT_EQ(written_size, 0u);
    std::free(written);
    // The records written first are where they were: no block moved.
    std::size_t at = 0;
    for (const Room& kept : rooms) {
        EXPECT_EQ(kept.first[0].address, at);
        EXPECT_EQ(kept.first[kept.size - 1].address, at + kept.size - 1);
        at += kept.size;
    }
    release_listing(result->listing);
}

} // namespace
