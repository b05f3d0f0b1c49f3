// The pieces of the simulator that need no line: the memory image and the
// cutter of what arrives.
#include "sim/LineParser.h"
#include "sim/SparseImage.h"

#include <gtest/gtest.h>

namespace {

using sim::LineItem;
using sim::LineParser;
using sim::SparseImage;

struct WriteCase {
    const char* name;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> writes;
    std::map<uint32_t, std::vector<uint8_t>> runs;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class ImageWrites : public testing::TestWithParam<WriteCase> {};

TEST_P(ImageWrites, RunsMergeAndLaterBytesWin)
{
    SparseImage image;
    for (const auto& [address, bytes] : GetParam().writes)
        ASSERT_TRUE(image.Write(address, bytes));
    EXPECT_EQ(image.Runs(), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ImageWrites,
    testing::Values(
        WriteCase{"apart", {{0x10, {1}}, {0x20, {2}}}, {{0x10, {1}}, {0x20, {2}}}},
        WriteCase{"touching", {{0x10, {1, 2}}, {0x12, {3}}}, {{0x10, {1, 2, 3}}}},
        WriteCase{"written_again", {{0x10, {1, 2, 3}}, {0x11, {9}}}, {{0x10, {1, 9, 3}}}},
        WriteCase{"bridging", {{0x10, {1}}, {0x14, {5}}, {0x11, {2, 3, 4}}}, {{0x10, {1, 2, 3, 4, 5}}}},
        WriteCase{"covering", {{0x12, {7}}, {0x10, {1, 2, 3, 4}}}, {{0x10, {1, 2, 3, 4}}}},
        WriteCase{"before", {{0x12, {7}}, {0x10, {1}}}, {{0x10, {1}}, {0x12, {7}}}}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(Image, RefusesRunsPastTheAddressSpace)
{
    SparseImage image;
    EXPECT_TRUE(image.Write(0xFFFFFFFE, {1, 2}));
    EXPECT_FALSE(image.Write(0xFFFFFFFF, {1, 2}));
    EXPECT_EQ(image.ByteCount(), 2u);
}

std::vector<LineItem::Kind> Kinds(const std::vector<LineItem>& items)
{
    std::vector<LineItem::Kind> kinds;
    for (const LineItem& i : items)
        kinds.push_back(i.kind);
    return kinds;
}

TEST(LineCutter, SentencesRecordsWakeUpAndGarbage)
{
    using K = LineItem::Kind;
    LineParser parser;
    std::vector<LineItem> items;
    const std::string in = std::string("ab$PKVR,IDENT$PKVR,IDENT\r\n\x12\xFE" "X\x01\xFF", 31);
    // Fed a byte at a time, as a slow line would bring it.
    for (char c : in)
        parser.Feed(reinterpret_cast<const uint8_t*>(&c), 1, items);
    EXPECT_EQ(Kinds(items), (std::vector<K>{K::Garbage, K::Garbage, K::Garbage, K::Sentence, K::WakeUp, K::Record}));
    EXPECT_EQ(items[3].bytes, "$PKVR,IDENT\r\n");
    EXPECT_EQ(items[5].bytes, std::string("\xFE" "X\x01\xFF", 4));
}

TEST(LineCutter, EndlessInputStaysBounded)
{
    LineParser parser;
    std::vector<LineItem> items;
    std::string longSentence = "$" + std::string(10000, 'A');
    std::string longRecord = "\xFE" + std::string(10000, 'B');
    parser.Feed(reinterpret_cast<const uint8_t*>(longSentence.data()), longSentence.size(), items);
    parser.Feed(reinterpret_cast<const uint8_t*>(longRecord.data()), longRecord.size(), items);
    for (const LineItem& i : items) {
        EXPECT_NE(i.kind, LineItem::Kind::Sentence);
        EXPECT_NE(i.kind, LineItem::Kind::Record);
        EXPECT_LE(i.bytes.size(), 4096u);
    }
}

struct DecodeCase {
    const char* name;
    std::string raw;
    const char* reason;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class RecordChecks : public testing::TestWithParam<DecodeCase> {};

TEST_P(RecordChecks, BadRecordsAreRefusedWithTheirReason)
{
    sim::DecodedRecord record;
    std::string reason;
    EXPECT_FALSE(sim::DecodeRecord(GetParam().raw, record, reason));
    EXPECT_EQ(reason, GetParam().reason);
}

// An 'L' record to drive C: of kind 'N': 58 000D 4C 20 4E FFFFFF 00000000, sum 0x041C.
const std::string kFirst("\xFE\x58\x00\x0D\x4C\x20\x4E\xFD\x02\xFD\x02\xFD\x02\x00\x00\x00\x00\x04\x1C\xFF", 20);

std::string WithByte(std::string s, size_t at, char value)
{
    s[at] = value;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Decode, RecordChecks,
    testing::Values(DecodeCase{"sum", WithByte(kFirst, 18, '\x15'), "checksum"},
                    DecodeCase{"escape", WithByte(kFirst, 8, '\x07'), "bad escape sequence"},
                    DecodeCase{"tag", WithByte(kFirst, 1, 'Y'), "second byte is not 'X'"},
                    DecodeCase{"length", WithByte(kFirst, 3, '\x0C'), "length field 12 for 17 bytes"},
                    DecodeCase{"short", std::string("\xFE\x58\x00\x01\xFF", 5), "record of 5 bytes"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(RecordChecks, GoodFirstRecordDecodes)
{
    sim::DecodedRecord record;
    std::string reason;
    ASSERT_TRUE(sim::DecodeRecord(kFirst, record, reason)) << reason;
    EXPECT_EQ(record.type, 'L');
    EXPECT_EQ(record.destCode, 0x20);
    EXPECT_EQ(record.kind, 'N');
    EXPECT_EQ(record.value, 0xFFFFFFu);
}

}  // namespace
