// The listing writer at the edges of its own making: lines longer than its
// buffer, listings that fill it many times, a file that cannot be written,
// records deeper than any frame, labels out of order. The cases pin the
// format itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "output/listing_writer.hpp"

namespace {

class ListingWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        state_->source_path = "in.orv";
        for (std::uint32_t i = 0; i < IMAGE_SIZE; i++)
            state_->image[i] = static_cast<std::uint8_t>(i * 7);
    }

    // Writes the listing of `records` with `texts` to `file`, or to memory:
    // the text written, and whether write_listing said it was.
    std::string write(const std::vector<ListingRecord>& records,
                      const std::vector<std::string>& texts, std::FILE* file = nullptr) {
        ListingLines listing;
        EXPECT_TRUE(form_listing_lines(listing, *state_, records.data(), records.size()));
        std::vector<ShownText> shown;
        for (std::size_t i = 0; i < listing.count; i++)
            shown.push_back({texts[i].data(), texts[i].size()});
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* to = file ? file : open_memstream(&buffer, &size);
        written_ = write_listing(*state_, records.data(), listing, shown.data(), to);
        if (file) return {};
        std::fclose(to);
        std::string text(buffer, size);
        std::free(buffer);
        return text;
    }

    static ListingRecord bytes(std::uint32_t line, std::uint32_t address, std::uint32_t size,
                               std::uint32_t depth = 0) {
        ListingRecord record{{line, 1, 0}, address, 0, 0, ListingKind::Bytes, 0};
        record.size = static_cast<decltype(record.size)>(size);
        record.depth = static_cast<decltype(record.depth)>(depth);
        return record;
    }

    std::unique_ptr<AssemblerState> state_ = std::make_unique<AssemblerState>();
    bool written_ = false;
};

// The lines of `text`, without their line ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST_F(ListingWriter, LinesAsLongAsTheBufferAndLongerComeOutWhole) {
    // Texts around 64 KiB, the buffer's size, and a listing that fills it
    // many times over; a text of blanks only shows nothing.
    std::vector<std::size_t> lengths = {1, 65000, 65535, 65536, 65537, 70000, 200000};
    std::vector<ListingRecord> records;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < 3000; i++) {
        std::size_t length = i < lengths.size() ? lengths[i] : 40;
        records.push_back(bytes(static_cast<std::uint32_t>(i + 1), 0x100, 20));
        texts.push_back(std::string(length - 1, static_cast<char>('a' + i % 26)) + "z");
    }
    records.push_back(bytes(3001, 0x100, 1));
    texts.push_back(std::string(70000, ' '));
    std::vector<std::string> lines = lines_of(write(records, texts));
    EXPECT_TRUE(written_);
    // A line of 20 bytes takes three rows; the first text is "z".
    ASSERT_EQ(lines.size(), 1 + 3 * 3000 + 1 + 2);
    std::string before_text = lines[1].substr(0, lines[1].size() - 1);
    std::string before_location = before_text.substr(0, before_text.find("in.orv:1 "));
    for (std::size_t i = 0; i < 3000; i++) {
        std::string expected = before_location + "in.orv:" + std::to_string(i + 1);
        expected.resize(before_text.size(), ' ');
        EXPECT_EQ(lines[1 + 3 * i], expected + texts[i]) << "line " << i;
        EXPECT_EQ(lines[2 + 3 * i], lines[2]);
        EXPECT_EQ(lines[3 + 3 * i], lines[3]);
    }
    EXPECT_EQ(lines[9001].substr(lines[9001].size() - 13), "  in.orv:3001");
}

TEST_F(ListingWriter, AFailedWriteIsReported) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    // Writes that fail on the way; what stays in the stream's buffer fails
    // when the caller closes it.
    std::vector<ListingRecord> records;
    std::vector<std::string> texts;
    for (std::uint32_t i = 0; i < 5000; i++) {
        records.push_back(bytes(i + 1, 0x100, 1));
        texts.push_back("#01");
    }
    write(records, texts, full);
    EXPECT_FALSE(written_);
    std::fclose(full);
}

TEST_F(ListingWriter, RecordsDeeperThanAnyFrame) {
    // A record may name any depth its type holds, however the frames around
    // it went; the marks count the expansions that were opened.
    constexpr auto deepest = std::numeric_limits<decltype(ListingRecord::depth)>::max();
    ListingRecord use{{1, 1, 0}, 0x100, 0, 0, ListingKind::Expansion, 0};
    std::vector<ListingRecord> records = {use, bytes(2, 0x100, 1, deepest), bytes(3, 0x101, 1, 1),
                                          bytes(4, 0x102, 1)};
    std::vector<std::string> lines = lines_of(write(records, {"use", "deep", "body", "back"}));
    EXPECT_TRUE(written_);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_NE(lines[2].find(":2 +  deep"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(":3 +  body"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find(":4    back"), std::string::npos) << lines[4];
}

TEST_F(ListingWriter, LineNumbersOfEveryWidthAndNoTexts) {
    // Without texts a line ends at its location, or at its marks.
    ListingRecord use{{100, 1, 0}, 0x100, 0, 0, ListingKind::Expansion, 0};
    std::vector<ListingRecord> records = {bytes(7, 0x100, 1), use, bytes(42, 0x101, 1, 1),
                                          bytes(12345, 0x102, 1)};
    ListingLines listing;
    ASSERT_TRUE(form_listing_lines(listing, *state_, records.data(), records.size()));
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* to = open_memstream(&buffer, &size);
    EXPECT_TRUE(write_listing(*state_, records.data(), listing, nullptr, to));
    std::fclose(to);
    std::vector<std::string> lines = lines_of(std::string(buffer, size));
    std::free(buffer);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "0100  00                       in.orv:7");
    EXPECT_EQ(lines[2], "0100                           in.orv:100");
    EXPECT_EQ(lines[3], "0101  07                       in.orv:42    +");
    EXPECT_EQ(lines[4], "0102  0e                       in.orv:12345");
}

TEST_F(ListingWriter, LabelsByAddressThenInTheOrderDefined) {
    const char* names[] = {"b", "a", "c", "d", "e"};
    std::uint16_t addresses[] = {0x200, 0x100, 0x200, 0x100, 0xffff};
    for (int i = 0; i < 5; i++) {
        Label& label = state_->labels[state_->label_count++];
        std::snprintf(label.name, NAME_SIZE, "%s", names[i]);
        label.address = addresses[i];
        label.uses = static_cast<std::uint16_t>(i == 4 ? 65535 : i);
    }
    std::string text = write({}, {});
    EXPECT_EQ(text, "; listing of in.orv\n"
                    "\n"
                    "; labels by address: address, uses, name\n"
                    "0100     1  a\n"
                    "0100     3  d\n"
                    "0200     0  b\n"
                    "0200     2  c\n"
                    "ffff 65535  e\n");
}

} // namespace
