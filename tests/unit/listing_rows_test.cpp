// Rows of 8 bytes written with SSSE3 shuffles against those written
// through the table, over every byte value and across the end of the
// image, where a row's bytes wrap round to its start.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "output/listing_rows.hpp"

namespace {

std::string rows_by_table(const std::uint8_t* image, std::uint32_t address, std::uint32_t rows) {
    std::string out(rows * (ROW_WIDTH + 1) + ROWS_SLACK, '?');
    char* end = put_full_rows_by_table(out.data(), image, address, rows);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

TEST(ListingRows, ATableRow) {
    auto image = std::make_unique<std::uint8_t[]>(IMAGE_SIZE);
    for (std::uint32_t i = 0; i < 8; i++) image[0xfffc + i - (i >= 4 ? IMAGE_SIZE : 0)] = 0xa0 + i;
    EXPECT_EQ(rows_by_table(image.get(), 0x1fffc, 1), "fffc  a0 a1 a2 a3 a4 a5 a6 a7\n");
}

#if ORVASM_LISTING_SSSE3
TEST(ListingRows, ShufflesWriteWhatTheTableWrites) {
    if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "no SSSE3 here";
    auto image = std::make_unique<std::uint8_t[]>(IMAGE_SIZE);
    std::mt19937 random(3);
    for (std::uint32_t i = 0; i < IMAGE_SIZE; i++) image[i] = static_cast<std::uint8_t>(random());
    for (std::uint32_t i = 0; i < 256; i++) image[0x100 + i] = static_cast<std::uint8_t>(i);
    for (std::uint32_t address : {0x100u, 0x107u, 0x1f9u, 0xffd0u, 0xfff0u, 0xfff7u, 0x1fff9u}) {
        std::uint32_t rows = address == 0x100 ? 32 : 3;
        std::string shuffled(rows * (ROW_WIDTH + 1) + ROWS_SLACK, '?');
        char* end = put_full_rows_ssse3(shuffled.data(), image.get(), address, rows);
        shuffled.resize(static_cast<std::size_t>(end - shuffled.data()));
        EXPECT_EQ(shuffled, rows_by_table(image.get(), address, rows)) << std::hex << address;
    }
}
#endif

} // namespace
