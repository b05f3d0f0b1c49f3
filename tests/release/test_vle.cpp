// The .vle file: naming, byte layout, validity and the walks of GetBlock.
#include <gtest/gtest.h>

#include "ReleaseTestUtil.h"
#include "release/VleFile.h"

namespace {

constexpr uint32_t kTime = 0x12345678;

// Writes records of `len` bytes each (data = running byte values) at 0x1000 upwards.
void WriteVle(const std::string& path, int records, int len, int type = RELEASE_SRECORD)
{
    CVleFile vle;
    ASSERT_TRUE(vle.Create(path));
    ASSERT_TRUE(vle.WriteHeader(kTime, 20));
    uint8_t value = 0;
    for (int r = 0; r < records; ++r) {
        Bytes data(static_cast<size_t>(len));
        for (auto& b : data)
            b = value++;
        ASSERT_TRUE(vle.WriteRecord(0x1000 + static_cast<uint32_t>(r * len), len, data.data()));
    }
    ASSERT_TRUE(vle.WriteTrailer(type, static_cast<uint32_t>(records)));
    vle.Close();
}

uint32_t AddressOf(const uint8_t* block)
{
    return uint32_t(block[0]) << 24 | uint32_t(block[1]) << 16 | uint32_t(block[2]) << 8 | block[3];
}

TEST(VleName, FollowsTheExtensionRule)
{
    const std::pair<const char*, const char*> rows[] = {
        {"app.s", "app.vle"},           {"app.srec", "app.srec.vle"}, {"app", "app.vle"},
        {"app.hex", "app.vle"},         {"image.bin.old", "image.bin.vle"},
        {"archive.tar", "archive.vle"}, {"firmware", "firmware.vle"},
        // a dot in a directory name does not count
        {"/d.x/fw", "/d.x/fw.vle"},     {"../fw", "../fw.vle"},      {"C:\\r.e\\fw", "C:\\r.e\\fw.vle"},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(VlePathFor(in), out) << in;
}

TEST(VleLayout, EmptyReleaseGives29Bytes)
{
    TempDir dir;
    WriteVle(dir / "e.vle", 0, 1, RELEASE_ANY);
    EXPECT_EQ(ReadFile(dir / "e.vle"), Hex("00 5D 69 E1 00 14 12 34 56 78 00 00 00 00 00 00"
                                           "00 0D 00 00 00 00 00 00 00 00 00 00 03"));
}

TEST(VleLayout, TwoRecordsOf16BytesWithBackLinks)
{
    TempDir dir;
    WriteVle(dir / "t.vle", 2, 16);
    EXPECT_EQ(ReadFile(dir / "t.vle"),
              Hex("00 5D 69 E1 00 14 12 34 56 78 00 00 00 00 00 00"
                  "00 00 00 10 00 00 10 00 000102030405060708090A0B0C0D0E0F 00 78"
                  "00 34 00 10 00 00 10 10 101112131415161718191A1B1C1D1E1F 01 78"
                  "00 27 00 00 00 00 00 20 00 00 00 02 00"));
}

TEST(VleValidity, CheckFileRefusesDamagedFiles)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 2, 16, RELEASE_IEEE695);
    const Bytes good = ReadFile(dir / "v.vle");
    const size_t trailer = good.size() - 13;
    struct Row { const char* what; size_t offset; uint8_t value; int expected; };
    const Row rows[] = {
        {"intact", 0, 0x00, RELEASE_IEEE695},
        {"magic", 1, 0x5E, VLE_INVALID_TYPE},
        {"trailer length", trailer + 3, 0x01, VLE_INVALID_TYPE},
        {"type 4", trailer + 12, 0x04, VLE_INVALID_TYPE},
    };
    for (const Row& row : rows) {
        Bytes bytes = good;
        bytes[row.offset] = row.offset == 0 ? bytes[0] : row.value;
        WriteFile(dir / "x.vle", bytes);
        CVleFile vle;
        ASSERT_TRUE(vle.OpenForRead(dir / "x.vle"));
        EXPECT_EQ(vle.CheckFile(), row.expected) << row.what;
    }
    Bytes magicCount = good;
    std::copy_n(Hex("00 5D 69 E1").begin(), 4, magicCount.begin() + static_cast<long>(trailer + 8));
    WriteFile(dir / "x.vle", magicCount);
    CVleFile vle;
    ASSERT_TRUE(vle.OpenForRead(dir / "x.vle"));
    EXPECT_EQ(vle.CheckFile(), VLE_INVALID_TYPE);
}

TEST(VleValidity, FileCutAnywhereIsInvalidAndReadsSafely)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 3, 16);
    const Bytes good = ReadFile(dir / "v.vle");
    for (size_t cut = 0; cut < good.size(); ++cut) {
        WriteFile(dir / "cut.vle", Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
        CVleFile vle;
        ASSERT_TRUE(vle.OpenForRead(dir / "cut.vle"));
        EXPECT_EQ(vle.CheckFile(), VLE_INVALID_TYPE) << cut;
        int result = 0;
        EXPECT_LE(ReadVleRecords(dir / "cut.vle", &result).size(), 3u);
        EXPECT_LE(result, 0);
    }
}

TEST(VleValidity, UnfinishedWriteIsNeverValid)
{
    // Zero data makes the last 13 bytes look like a trailer; only the magic
    // number, stamped with the trailer, tells the file is unfinished.
    TempDir dir;
    CVleFile vle;
    ASSERT_TRUE(vle.Create(dir / "p.vle"));
    ASSERT_TRUE(vle.WriteHeader(kTime, 20));
    Bytes zeros(20, 0);
    ASSERT_TRUE(vle.WriteRecord(0, 20, zeros.data()));
    vle.Close();
    CVleFile reader;
    ASSERT_TRUE(reader.OpenForRead(dir / "p.vle"));
    EXPECT_EQ(reader.CheckFile(), VLE_INVALID_TYPE);
}

TEST(VleRead, HostileRecordsAreReadErrors)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 2, 16);
    const Bytes good = ReadFile(dir / "v.vle");
    struct Row { const char* what; size_t offset; Bytes value; int firstResult; int secondResult; };
    const Row rows[] = {
        {"length 88", 16 + 2, Hex("00 58"), -1, -1},
        {"length 0xFFFF", 16 + 2, Hex("FF FF"), -1, -1},
        {"second record past the end", 42 + 2, Hex("00 57"), 16, -1},
    };
    for (const Row& row : rows) {
        Bytes bytes = good;
        std::copy(row.value.begin(), row.value.end(), bytes.begin() + static_cast<long>(row.offset));
        WriteFile(dir / "h.vle", bytes);
        CVleFile vle;
        ASSERT_TRUE(vle.OpenForRead(dir / "h.vle"));
        vle.Rewind();
        uint8_t block[VLE_BLOCK_SIZE];
        EXPECT_EQ(vle.GetBlock(block, -1, -1), row.firstResult) << row.what;
        if (row.firstResult > 0) {
            EXPECT_EQ(vle.GetBlock(block, -1, -1), row.secondResult) << row.what;
        }
    }
}

TEST(VleRead, BackLinkOutsideTheRecordsIsAReadError)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 2, 16);
    Bytes bytes = ReadFile(dir / "v.vle");
    bytes[42] = 0x00;
    bytes[43] = 0xFF;   // second record's back link points before the header
    WriteFile(dir / "b.vle", bytes);
    CVleFile vle;
    ASSERT_TRUE(vle.OpenForRead(dir / "b.vle"));
    vle.Rewind();
    uint8_t block[VLE_BLOCK_SIZE];
    ASSERT_EQ(vle.GetBlock(block, -1, -1), 16);
    ASSERT_EQ(vle.GetBlock(block, -1, -1), 16);
    EXPECT_EQ(vle.GetBlock(block, 0x1000, 1), -1);
}

class VleWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteVle(m_dir / "w.vle", 10, 8);
        ASSERT_TRUE(m_vle.OpenForRead(m_dir / "w.vle"));
        ASSERT_EQ(m_vle.Rewind(), 1);
    }
    void Forward(int records)
    {
        for (int i = 0; i < records; ++i)
            ASSERT_EQ(m_vle.GetBlock(m_block, -1, -1), 8);
    }
    // Address of record n (1-based).
    static long AddressOfRecord(int n) { return 0x1000 + (n - 1) * 8; }

    TempDir m_dir;
    CVleFile m_vle;
    uint8_t m_block[VLE_BLOCK_SIZE] = {};
};

TEST_F(VleWalk, FirstRecordAfterRewindAndNoWayBelowIt)
{
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -1), 8);
    EXPECT_EQ(m_vle.m_nRecord, 1);
    EXPECT_EQ(AddressOf(m_block), 0x1000u);
    EXPECT_EQ(m_block[4 + 8], 0x00);
    EXPECT_EQ(m_block[4 + 9], 28);   // sum 0 + 1 + ... + 7
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, 0), -2);
}

TEST_F(VleWalk, SteppingBackReadsOnlyTheRecordsInBetween)
{
    struct Row { int from; long address; long number; int expectRecord; long expectReads; };
    const Row rows[] = {
        {3, AddressOfRecord(1), 1, 1, 2},    // by address: two steps back
        {9, AddressOfRecord(4), 4, 4, 5},
        {7, -1, 7, 7, 0},                    // the current record itself
        {7, -1, 2, 2, 5},                    // by number
        {5, AddressOfRecord(5), 5, 5, 0},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(m_vle.Rewind(), 1);
        Forward(row.from);
        long before = m_vle.RecordsRead();
        ASSERT_EQ(m_vle.GetBlock(m_block, row.address, row.number), 8) << row.from;
        EXPECT_EQ(m_vle.RecordsRead() - before, row.expectReads) << row.from;
        EXPECT_EQ(m_vle.m_nRecord, row.expectRecord);
        EXPECT_EQ(AddressOf(m_block), static_cast<uint32_t>(AddressOfRecord(row.expectRecord)));
        // The next plain read continues after the record returned.
        if (row.expectRecord < 10) {
            ASSERT_EQ(m_vle.GetBlock(m_block, -1, -1), 8);
            EXPECT_EQ(AddressOf(m_block), static_cast<uint32_t>(AddressOfRecord(row.expectRecord + 1)));
        }
    }
}

TEST_F(VleWalk, UnknownAddressWalksForwardToTheNumber)
{
    Forward(6);
    EXPECT_EQ(m_vle.GetBlock(m_block, 0x999999, 3), 8);
    EXPECT_EQ(m_vle.m_nRecord, 3);
    EXPECT_EQ(m_vle.GetBlock(m_block, 0x999999, 12), 0);   // beyond the last record
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -1), 0);        // still at the end
}

TEST_F(VleWalk, ImpossibleRequests)
{
    Forward(4);
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, 5), -2);    // ahead of the current record
    EXPECT_EQ(m_vle.GetBlock(m_block, -2, -1), -2);
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -7), -2);
    Forward(6);
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -1), 0);    // end of the records
    EXPECT_EQ(m_vle.GetBlock(m_block, AddressOfRecord(10), 10), 8);
}

}  // namespace
