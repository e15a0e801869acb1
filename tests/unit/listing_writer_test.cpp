// The program's listing writer over what the library gives: texts cut at
// their limit, line numbers of every width, labels by address, a padding
// after bytes, a failed write. The cases pin the rest of the format.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "output/listing_writer.hpp"

namespace {

// The listing of `source`, assembled from memory as "in.orv", and whether
// write_listing said it was written.
struct Listing {
    std::string text;
    bool written = false;
};

Listing listing_of(const std::string& source, std::FILE* file = nullptr) {
    orvasm_options options = ORVASM_OPTIONS_INIT;
    options.source_data = reinterpret_cast<const unsigned char*>(source.data());
    options.source_size = source.size();
    options.source_name = "in.orv";
    options.flags = ORVASM_LISTING;
    orvasm_result* result = orvasm_assemble(nullptr, &options);
    EXPECT_EQ(orvasm_result_status(result), ORVASM_OK);
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* to = file ? file : open_memstream(&buffer, &size);
    Listing listing;
    listing.written = write_listing(result, "in.orv", to);
    orvasm_result_free(result);
    if (file) return listing;
    std::fclose(to);
    listing.text.assign(buffer, size);
    std::free(buffer);
    return listing;
}

// The lines of `text`, without their line ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

TEST(ListingWriter, TextsUpToTheLimitWholeLongerOnesCutWithAMark) {
    // A comment fills each line to the length given; a line of blanks is
    // cut too, and shown so.
    std::vector<std::string> texts;
    for (std::size_t length : {255, 256, 257, 70000, 200000})
        texts.push_back("01 ( " + std::string(length - 7, 'a') + " )");
    texts.push_back("01 " + std::string(300, ' '));
    std::string source;
    for (const std::string& text : texts) source += text + "\n";
    std::vector<std::string> lines = lines_of(listing_of(source).text);
    ASSERT_EQ(lines.size(), 1u + 6 + 2);
    const std::string before = "0100  01                       in.orv:1    ";
    EXPECT_EQ(lines[1], before + texts[0]);
    EXPECT_EQ(lines[2].substr(before.size()), texts[1]);
    for (int line = 3; line <= 6; line++)
        EXPECT_EQ(lines[line].substr(before.size()), texts[line - 1].substr(0, 256) + "...");
}

TEST(ListingWriter, LineNumbersOfEveryWidthAndMarks) {
    std::string source = std::string(6, '\n') + "%m { 02\n}" + std::string(34, '\n') + "01 m" +
                         std::string(12345 - 42, '\n') + "03";
    std::vector<std::string> lines = lines_of(listing_of(source).text);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1], "0100  01                       in.orv:42       01 m");
    EXPECT_EQ(lines[2], "0101                           in.orv:42       01 m");
    EXPECT_EQ(lines[3], "0101  02                       in.orv:7     +  %m { 02");
    EXPECT_EQ(lines[4], "0102  03                       in.orv:12345    03");
}

TEST(ListingWriter, APaddingAfterBytesKeepsItsLine) {
    std::vector<std::string> lines = lines_of(listing_of("01 02 $2 03 |0110 @a 04").text);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "0100  01 02                    in.orv:1    01 02 $2 03 |0110 @a 04");
    EXPECT_EQ(lines[2], "0104  03                       in.orv:1    01 02 $2 03 |0110 @a 04");
    EXPECT_EQ(lines[3], "0110  04                       in.orv:1    01 02 $2 03 |0110 @a 04");
}

TEST(ListingWriter, LabelsByAddressThenInTheOrderDefined) {
    std::string text = listing_of("|0200 @b &x |0100 @a @d 02 |0200 @c 01 ;c ;c |ffff @E").text;
    EXPECT_EQ(text.substr(text.find("\n; labels")), "\n"
                                                    "; labels by address: address, uses, name\n"
                                                    "0100     0  a\n"
                                                    "0100     0  d\n"
                                                    "0200     0  b\n"
                                                    "0200     0  b/x\n"
                                                    "0200     2  c\n"
                                                    "ffff     0  E\n");
}

TEST(ListingWriter, AFailedWriteIsReported) {
    std::FILE* full = std::fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    // Writes that fail on the way; what stays in the stream's buffer fails
    // when the caller closes it.
    std::string source;
    for (int i = 0; i < 5000; i++) source += "#01\n";
    EXPECT_FALSE(listing_of(source, full).written);
    std::fclose(full);
}

} // namespace
