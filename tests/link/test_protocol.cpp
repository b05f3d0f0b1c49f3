// Sentence fields, data record bytes and the receive parser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/DataRecord.h"
#include "link/DeviceSentence.h"
#include "link/IdentReply.h"
#include "link/PortList.h"
#include "link/ReceiveParser.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

// --- DeviceSentence ---------------------------------------------------------

TEST(DeviceSentence, FieldsOfAChecksumMessage)
{
    const std::string line = "$PKVR,XSOFT,C,3, 0x1,1A2B*5C\r\n";
    DeviceSentence s(line);
    ASSERT_EQ(s.Count(), 6);
    std::string text;
    ASSERT_TRUE(s.Text(5, text));
    EXPECT_EQ(text, "1A2B");   // star suffix excluded
    ASSERT_TRUE(s.Text(1, text));
    EXPECT_EQ(text, "XSOFT");
    long value = 0;
    ASSERT_TRUE(s.Int(3, value));
    EXPECT_EQ(value, 3);
    ASSERT_TRUE(s.Int(4, value));   // " 0x1": blanks skipped, stops at 'x'
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(s.Text(6, text));
    EXPECT_FALSE(s.Int(-1, value));
}

TEST(DeviceSentence, CharactersIntegersAndEmptyFields)
{
    const std::string line = "$PKVR,IDENT,,  7.9,-2.5,x,\r";
    DeviceSentence s(line);
    ASSERT_EQ(s.Count(), 7);
    char c = 0;
    ASSERT_TRUE(s.Char(2, c));
    EXPECT_EQ(c, ',');   // empty field: the comma that ends it
    ASSERT_TRUE(s.Char(6, c));
    EXPECT_EQ(c, '\r');
    ASSERT_TRUE(s.Char(3, c));
    EXPECT_EQ(c, '7');
    long value = 0;
    ASSERT_TRUE(s.Int(3, value));
    EXPECT_EQ(value, 7);
    ASSERT_TRUE(s.Int(4, value));
    EXPECT_EQ(value, -2);
    EXPECT_FALSE(s.Int(2, value));
    EXPECT_FALSE(s.Int(5, value));
    std::string text;
    EXPECT_FALSE(s.Text(2, text));
    EXPECT_FALSE(s.Char(7, c));
}

TEST(DeviceSentence, CommasAfterCrAreNoFieldsAndLfDoesNotStop)
{
    const std::string afterCr = "$PKVR,A\r\n,B,C";
    EXPECT_EQ(DeviceSentence(afterCr).Count(), 2);
    const std::string withLf = "$PKVR,A\n,B";
    EXPECT_EQ(DeviceSentence(withLf).Count(), 3);
    const std::string empty;
    EXPECT_EQ(DeviceSentence(empty).Count(), 0);
    // A '*' three places before the end but ahead of the field start.
    const std::string shortField = "$PKVR,*,a";
    std::string text;
    ASSERT_TRUE(DeviceSentence(shortField).Text(2, text));
    EXPECT_EQ(text, "a");
    const std::string huge = "$PKVR,1e300,-1e300,1e-400,inf";
    DeviceSentence s(huge);
    long value = 0;
    ASSERT_TRUE(s.Int(1, value));
    EXPECT_EQ(value, 2147483647L);
    ASSERT_TRUE(s.Int(2, value));
    EXPECT_EQ(value, -2147483647L);
    ASSERT_TRUE(s.Int(3, value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(s.Int(4, value));
}

// --- DataRecord -------------------------------------------------------------

TEST(DataRecord, OpeningRecordGoldenBytes)
{
    DataRecord record;
    ASSERT_TRUE(record.SetDestination(0));   // Port A
    ASSERT_TRUE(record.SetKind(-1));         // stands for 3, 'N'
    const uint8_t zeros[6] = {};
    ASSERT_TRUE(record.Build(RECORD_FIRST, zeros, sizeof zeros, RECORD_FIRST_VALUE));
    // Sum of 58 00 0D 4C 08 4E FF FF FF = 0x0404; the three 0xFF are stuffed.
    EXPECT_EQ(Hex(record.WireBytes()),
              "FE 58 00 0D 4C 08 4E FD 02 FD 02 FD 02 00 00 00 00 04 04 FF");
    EXPECT_EQ(record.Length(), 16);
    EXPECT_EQ(record.SizeToWrite(), 20u);
}

TEST(DataRecord, DataBlockWithStuffedBytesGoldenBytes)
{
    DataRecord record;
    ASSERT_TRUE(record.SetDestination(9));   // Dpram 2
    ASSERT_TRUE(record.SetKind(0));          // 'R'
    const uint8_t data[] = {0x01, 0xFE, 0xFD};
    ASSERT_TRUE(record.BuildFrom(RECORD_DATA, 0x000102, 0x00001000, data, sizeof data));
    // L = 16; sum 58+00+10+44+11+52+00+01+02+00+00+10+00+01+FE+FD = 0x031E.
    EXPECT_EQ(Hex(record.WireBytes()),
              "FE 58 00 10 44 11 52 00 01 02 00 00 10 00 01 FD 01 FD 00 03 1E FF");
    EXPECT_EQ(record.SizeToWrite(), 22u);

    std::string plain;
    ASSERT_TRUE(DataRecord::Unstuff(record.WireBytes(), plain));
    DataRecord decoded;
    ASSERT_TRUE(decoded.Decode(plain));
    EXPECT_EQ(decoded.Length(), 16);
    EXPECT_EQ(decoded.Type(), 'D');
    EXPECT_EQ(decoded.DestinationCode(), 0x11);
    EXPECT_EQ(decoded.Kind(), 'R');
    EXPECT_EQ(decoded.Value(), 0x000102u);
    EXPECT_EQ(decoded.Address(), 0x1000u);
    EXPECT_EQ(decoded.Data(), std::vector<uint8_t>(data, data + 3));
}

TEST(DataRecord, BuildRefusesWhatCannotBeSent)
{
    DataRecord record;
    const uint8_t run[6] = {};
    EXPECT_FALSE(record.Build('L', run, 6, 0));   // no destination yet
    EXPECT_FALSE(record.SetDestination(25));
    EXPECT_FALSE(record.SetKind(6));
    ASSERT_TRUE(record.SetDestination(24));
    ASSERT_TRUE(record.SetKind(5));
    std::vector<uint8_t> allFF(200, 0xFF);
    EXPECT_FALSE(record.BuildFrom('D', 0, 0, allFF.data(), allFF.size()));
    EXPECT_EQ(record.SizeToWrite(), 0u);
    // The largest release block (87 bytes), all stuffed, still fits.
    std::vector<uint8_t> block(87, 0xFE);
    EXPECT_TRUE(record.BuildFrom('D', 1, 0xFFFFFFFF, block.data(), block.size()));
    EXPECT_LE(record.SizeToWrite(), DataRecord::kBufferSize);
}

TEST(DataRecord, DecodeChecks)
{
    DataRecord good;
    good.SetDestination(0);
    good.SetKind(3);
    const uint8_t run[6] = {};
    good.Build('R', run, 6, 5);
    std::string plain;
    ASSERT_TRUE(DataRecord::Unstuff(good.WireBytes(), plain));
    struct Row {
        const char* name;
        size_t at;
        int delta;
        bool ok;
    } rows[] = {
        {"intact", 0, 0, true},          {"start byte", 0, 1, false},
        {"tag", 1, 1, false},            {"length", 3, 1, false},
        {"sum off by one", 15, 1, false}, {"end byte", 16, -1, false},
    };
    for (const Row& row : rows) {
        std::string bytes = plain;
        bytes[row.at] = static_cast<char>(bytes[row.at] + row.delta);
        DataRecord r;
        EXPECT_EQ(r.Decode(bytes), row.ok) << row.name;
    }
    DataRecord r;
    EXPECT_FALSE(r.Decode(plain.substr(0, 16)));
}

// --- CReceiveParser ---------------------------------------------------------

struct ParserRig {
    CReceiveParser parser;
    std::vector<std::string> sentences;
    bool blockLoop = true;
    ParserRig()
    {
        parser.onSentence = [this](const std::string& s) { sentences.push_back(s); };
        parser.acceptsRecords = [this] { return blockLoop; };
    }
    void Feed(const std::string& bytes)
    {
        parser.Append(bytes);
        parser.ParseReceived();
    }
};

std::string ResendRecord(uint32_t block)
{
    DataRecord r;
    r.SetDestination(0);
    r.SetKind(3);
    const uint8_t run[6] = {};
    r.Build(RECORD_RESEND, run, 6, block);
    return r.WireBytes();
}

TEST(ReceiveParser, SentencesInPiecesNoiseAndForeignLines)
{
    struct Row {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> expected;
    } rows[] = {
        {"split identification",
         {"$PKVR,IDENT,1,1,A", "BC\r\n"},
         {"$PKVR,IDENT,1,1,ABC\r\n"}},
        {"noise before an answer",
         {Bytes({0x00, 0x81}) + "$PKVR,HARDRS,4,4\r\n"},
         {"$PKVR,HARDRS,4,4\r\n"}},
        {"foreign line", {"$GPGGA,1,2\r\n$PKVR,IDENT,1,1\r\n"}, {"$PKVR,IDENT,1,1\r\n"}},
        {"two in one read", {"$PKVR,A\r\n$PKVR,B\r\n$PK"}, {"$PKVR,A\r\n", "$PKVR,B\r\n"}},
        {"short dollar line", {"$P\n$PKVR,Z\n"}, {"$PKVR,Z\n"}},
    };
    for (const Row& row : rows) {
        ParserRig rig;
        for (size_t i = 0; i < row.pieces.size(); ++i) {
            rig.Feed(row.pieces[i]);
            if (i + 1 < row.pieces.size()) {
                EXPECT_TRUE(rig.sentences.empty()) << row.name;
            }
        }
        EXPECT_EQ(rig.sentences, row.expected) << row.name;
    }
}

TEST(ReceiveParser, OverflowEmptiesTheBuffer)
{
    ParserRig rig;
    rig.parser.Append("$PKVR" + std::string(CReceiveParser::kOverflowBytes - 6, 'a'));
    EXPECT_EQ(rig.parser.ParseReceived(), 0);
    EXPECT_EQ(rig.parser.RxText().size(), CReceiveParser::kOverflowBytes - 1);
    rig.parser.Append("x");
    EXPECT_EQ(rig.parser.ParseReceived(), 1);
    EXPECT_TRUE(rig.parser.RxText().empty());

    // A start byte never followed by an end byte holds at most one record's
    // length of bytes: what follows is read.
    rig.Feed(Bytes({0xFE, 'X', 0x00, 0x64}) + std::string(300, 'a') + "$PKVR,A\r\n");
    EXPECT_EQ(rig.sentences, std::vector<std::string>{"$PKVR,A\r\n"});
    EXPECT_TRUE(rig.parser.RxText().empty());
}

// Noise costs at most the sentence or record it hits: the parser starts
// again at the next '$' or record start.
TEST(ReceiveParser, ResynchronisesAfterNoiseAndCutItems)
{
    std::string everyValue;
    for (int v = 0; v <= 0xFF; ++v)
        everyValue.push_back(static_cast<char>(v));
    const std::string downwards(everyValue.rbegin(), everyValue.rend());
    const std::string cutRecord = ResendRecord(1).substr(0, 8);
    struct Row {
        const char* name;
        std::string bytes;
        std::vector<std::string> sentences;
        std::vector<uint32_t> records;
    } rows[] = {
        {"stray start byte", "\xFE$PKVR,A\r\n", {"$PKVR,A\r\n"}, {}},
        {"start byte and tag", "\xFEX$PKVR,A\r\n", {"$PKVR,A\r\n"}, {}},
        {"a record header of noise",
         Bytes({0xFE, 'X', 0x00, 0x20}) + "$PKVR,A\r\n$PKVR,B\r\n$PKVR,C\r\n$PKVR,D\r\n",
         {"$PKVR,A\r\n", "$PKVR,B\r\n", "$PKVR,C\r\n", "$PKVR,D\r\n"},
         {}},
        {"end bytes and escapes", "\xFF\xFD\xFF$PKVR,A\r\n", {"$PKVR,A\r\n"}, {}},
        {"sentence cut by a sentence", "$PKVR,IDE$PKVR,B\r\n", {"$PKVR,B\r\n"}, {}},
        {"sentence cut by a record", "$PKVR,XS" + ResendRecord(1) + "$PKVR,B\r\n", {"$PKVR,B\r\n"}, {1}},
        {"record cut by a record", cutRecord + ResendRecord(2), {}, {2}},
        {"record cut by a sentence", cutRecord + "$PKVR,B\r\n", {"$PKVR,B\r\n"}, {}},
        {"every byte value upwards", everyValue + "$PKVR,A\r\n" + ResendRecord(3), {"$PKVR,A\r\n"}, {3}},
        {"every byte value downwards", downwards + "$PKVR,A\r\n" + ResendRecord(3), {"$PKVR,A\r\n"}, {3}},
    };
    for (const Row& row : rows) {
        // Whole, then one byte at a time: the pieces change nothing.
        for (size_t piece : {row.bytes.size(), size_t{1}}) {
            ParserRig rig;
            for (size_t at = 0; at < row.bytes.size(); at += piece)
                rig.Feed(row.bytes.substr(at, piece));
            EXPECT_EQ(rig.sentences, row.sentences) << row.name << ", pieces of " << piece;
            std::vector<uint32_t> records;
            DataRecord got;
            while (rig.parser.TakeReceivedRecord(got))
                records.push_back(got.Value());
            EXPECT_EQ(records, row.records) << row.name << ", pieces of " << piece;
        }
    }
}

// A thousand answers, each behind a burst of random noise of every byte
// value: every one of them is read.
TEST(ReceiveParser, EveryAnswerSurvivesRandomNoise)
{
    ParserRig rig;
    uint32_t seed = 0x2545F491;
    std::vector<std::string> sent;
    for (int i = 0; i < 1000; ++i) {
        std::string noise;
        seed = seed * 1103515245u + 12345u;
        const size_t length = (seed >> 16) % 48;
        for (size_t n = 0; n < length; ++n) {
            seed = seed * 1103515245u + 12345u;
            noise.push_back(static_cast<char>((seed >> 16) & 0xFF));
        }
        sent.push_back("$PKVR,IDENT,1,1," + std::to_string(i) + "\r\n");
        rig.Feed(noise + sent.back());
    }
    EXPECT_EQ(rig.sentences, sent);
}

TEST(ReceiveParser, StuffedRecordInPiecesIsQueuedUnstuffed)
{
    DataRecord sent;
    sent.SetDestination(0);
    sent.SetKind(3);
    const uint8_t data[] = {0xFE, 0x00};
    sent.BuildFrom(RECORD_RESEND, 7, 0x20, data, sizeof data);
    std::string wire = sent.WireBytes();
    ParserRig rig;
    rig.Feed("$PKVR,X\r\n" + wire.substr(0, 9));
    EXPECT_EQ(rig.parser.QueuedRecords(), 0u);
    rig.Feed(wire.substr(9) + "$PKVR,Y\r\n");
    EXPECT_EQ(rig.sentences.size(), 2u);
    DataRecord got;
    ASSERT_TRUE(rig.parser.TakeReceivedRecord(got));
    EXPECT_EQ(got.Length(), 15);   // L unchanged by stuffing
    EXPECT_EQ(got.Value(), 7u);
    EXPECT_EQ(got.Data(), std::vector<uint8_t>(data, data + 2));
    EXPECT_FALSE(rig.parser.TakeReceivedRecord(got));
}

TEST(ReceiveParser, EndByteInsideTheFirstSixBytes)
{
    // An unstuffed record of L = 0xFF: its length byte is an end byte.
    std::string record = Bytes({0xFE, 'X', 0x00, 0xFF, 'R', 0x08, 'N', 0, 0, 1, 0, 0, 0, 0});
    record += std::string(0xFF - 13, '\x11');
    uint32_t sum = 0;
    for (size_t i = 1; i < record.size(); ++i)
        sum += static_cast<uint8_t>(record[i]);
    record += Bytes({static_cast<int>((sum >> 8) & 0xFF), static_cast<int>(sum & 0xFF), 0xFF});
    ASSERT_EQ(record.size(), 0xFFu + 4);
    ParserRig rig;
    rig.Feed(record);
    DataRecord got;
    ASSERT_TRUE(rig.parser.TakeReceivedRecord(got));
    EXPECT_EQ(got.Length(), 0xFF);
    EXPECT_TRUE(rig.parser.RxText().empty());
}

TEST(ReceiveParser, QueueKeepsTheNewestTwentyInTheBlockLoop)
{
    ParserRig rig;
    for (uint32_t block = 1; block <= 21; ++block)
        rig.Feed(ResendRecord(block));
    EXPECT_EQ(rig.parser.QueuedRecords(), 20u);
    DataRecord got;
    ASSERT_TRUE(rig.parser.TakeReceivedRecord(got));
    EXPECT_EQ(got.Value(), 2u);

    rig.parser.ClearQueue();
    rig.blockLoop = false;
    rig.Feed(ResendRecord(1));
    EXPECT_EQ(rig.parser.QueuedRecords(), 0u);
}

TEST(ReceiveParser, BadRecordsAreDropped)
{
    ParserRig rig;
    std::string badSum = ResendRecord(1);
    badSum[badSum.size() - 2] = static_cast<char>(badSum[badSum.size() - 2] + 1);
    std::string shortRecord = ResendRecord(2);
    shortRecord.erase(13, 1);   // 16 bytes with the length of 17
    std::string strayEscape = ResendRecord(3);
    strayEscape[8] = '\xFD';
    strayEscape[9] = '\x07';
    rig.Feed(badSum + shortRecord + strayEscape + ResendRecord(4));
    DataRecord got;
    ASSERT_TRUE(rig.parser.TakeReceivedRecord(got));
    EXPECT_EQ(got.Value(), 4u);
    EXPECT_FALSE(rig.parser.TakeReceivedRecord(got));
    EXPECT_TRUE(rig.parser.RxText().empty());
}

TEST(ReceiveParser, HandlerMayEmptyTheBuffer)
{
    ParserRig rig;
    rig.parser.onSentence = [&rig](const std::string& s) {
        rig.sentences.push_back(s);
        rig.parser.ClearText();
    };
    rig.Feed("$PKVR,A\r\n$PKVR,B\r\n");
    EXPECT_EQ(rig.sentences.size(), 1u);
    EXPECT_TRUE(rig.parser.RxText().empty());
}

// --- identification rows and port names ------------------------------------

TEST(IdentReply, RowsOfTwoBoardsAndTheLastSentence)
{
    const std::string answer =
        "$PKVR,IDENT,3,1,CPX-7,SOFT-A\r\n"
        "$PKVR,IDENT,3,2,CPX-7\r\n"
        "$PKVR,IDENT,3,3,IO-2,SOFT-B,B\r\n"
        "$PKVR,IDENT,3,4,LATE,X\r\n";
    std::vector<IdentReplyRow> rows = IdentReplyRows(answer);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[0].image, 1);
    EXPECT_EQ(rows[1].software, " xxxxxxxxxxxxxxx");
    EXPECT_EQ(rows[1].image, -1);
    EXPECT_EQ(rows[2].hardware, "IO-2");
    EXPECT_EQ(rows[2].port, "B");
    EXPECT_EQ(rows[2].image, 0);
    EXPECT_EQ(IdentReplyRows("$PKVR,IDENT,1,1,UCRQ\r\n").at(0).image, 2);
}

TEST(PortList, PortNumbers)
{
    struct Row {
        const char* text;
        int number;
    } rows[] = {{"COM1", 1}, {"8", 8}, {"COM9", 0}, {"COM", 0}, {"/dev/ttyUSB0", 0}, {"0", 0}};
    for (const Row& row : rows)
        EXPECT_EQ(PortNumberOf(row.text), row.number) << row.text;
}

}  // namespace
