// The scans that skip and find line ends, on every alignment and length of
// a block, against a plain count: the SSE2 ones read past the end of the
// block, which must never count.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "output/line_scan.hpp"

namespace {

// Blocks of random bytes, dense or sparse in line ends, each followed by
// slack of line ends that must not count.
std::vector<std::string> blocks() {
    std::mt19937 random(11);
    std::vector<std::string> made;
    for (int every : {2, 7, 40, 300, 5000})
        for (int length : {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 255, 256, 257, 1000, 20000}) {
            std::string block(static_cast<std::size_t>(length), 'x');
            for (char& c : block)
                if (random() % static_cast<unsigned>(every) == 0) c = '\n';
            made.push_back(block);
        }
    return made;
}

// The byte after the `count`-th line end, as an offset, or -1 and the
// count lowered by those there are.
long plain_skip(const std::string& block, std::size_t from, std::uint64_t& count) {
    for (std::size_t i = from; i < block.size(); i++)
        if (block[i] == '\n' && --count == 0) return static_cast<long>(i + 1);
    return -1;
}

TEST(LineScan, SkipsAndFindsAsAPlainCount) {
    for (const std::string& block : blocks()) {
        std::string padded = block + std::string(LINE_SCAN_SLACK, '\n');
        for (std::size_t from = 0; from <= std::min<std::size_t>(block.size(), 40); from++) {
            const char* at = padded.data() + from;
            const char* end = padded.data() + block.size();
            for (std::uint64_t wanted : {1, 2, 3, 5, 17, 100, 1000}) {
                std::uint64_t plain = wanted;
                long expected = plain_skip(block, from, plain);
                std::uint64_t by_bytes = wanted;
                const char* found = skip_line_ends_bytes(at, end, by_bytes);
                EXPECT_EQ(found ? found - padded.data() : -1, expected);
                EXPECT_EQ(by_bytes, plain);
#if defined(__SSE2__)
                std::uint64_t by_sse2 = wanted;
                found = skip_line_ends_sse2(at, end, by_sse2);
                EXPECT_EQ(found ? found - padded.data() : -1, expected);
                EXPECT_EQ(by_sse2, plain);
#endif
            }
            std::uint64_t first = 1;
            long expected = plain_skip(block, from, first);
            const char* found = find_line_end(at, end);
            EXPECT_EQ(found ? found + 1 - padded.data() : -1, expected);
        }
    }
}

} // namespace
