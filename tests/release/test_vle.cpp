// The .vle file: naming, byte layout, validity and the walks of GetBlock.
#include <filesystem>

#include <gtest/gtest.h>

#include "ReleaseTestUtil.h"

namespace {

// Records of `len` bytes (data = running byte values) at 0x1000 upwards.
void WriteVle(const std::string& path, int records, int len, int type = RELEASE_SRECORD)
{
    CVleFile vle;
    ASSERT_TRUE(vle.Create(path));
    ASSERT_TRUE(vle.WriteHeader(0x12345678, 20));
    uint8_t value = 0;
    for (int r = 0; r < records; ++r) {
        Bytes data(static_cast<size_t>(len));
        for (auto& b : data)
            b = value++;
        ASSERT_TRUE(vle.WriteRecord(0x1000 + static_cast<uint32_t>(r * len), len, data.data()));
    }
    ASSERT_TRUE(vle.WriteTrailer(type, static_cast<uint32_t>(records)));
}

Bytes Patched(Bytes bytes, size_t offset, const std::string& hex)
{
    Bytes patch = Hex(hex);
    std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<long>(offset));
    return bytes;
}

int CheckBytes(const std::string& path, const Bytes& bytes)
{
    WriteFile(path, bytes);
    CVleFile vle;
    return vle.OpenForRead(path) ? vle.CheckFile() : -1;
}

uint32_t AddressOf(const uint8_t* block) { return uint32_t(block[2]) << 8 | block[3]; }

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

TEST(VleLayout, GoldenBytes)
{
    TempDir dir;
    WriteVle(dir / "e.vle", 0, 1, RELEASE_ANY);
    EXPECT_EQ(ReadFile(dir / "e.vle"), Hex("00 5D 69 E1 00 14 12 34 56 78 00 00 00 00 00 00"
                                           "00 0D 00 00 00 00 00 00 00 00 00 00 03"));
    WriteVle(dir / "t.vle", 2, 16);
    EXPECT_EQ(ReadFile(dir / "t.vle"),
              Hex("00 5D 69 E1 00 14 12 34 56 78 00 00 00 00 00 00"
                  "00 00 00 10 00 00 10 00 000102030405060708090A0B0C0D0E0F 00 78"
                  "00 34 00 10 00 00 10 10 101112131415161718191A1B1C1D1E1F 01 78"
                  "00 27 00 00 00 00 00 20 00 00 00 02 00"));
}

TEST(VleValidity, DamagedCutOrUnfinishedFilesAreInvalid)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 3, 16, RELEASE_IEEE695);
    const Bytes good = ReadFile(dir / "v.vle");
    const size_t trailer = good.size() - 13;
    EXPECT_EQ(CheckBytes(dir / "x.vle", good), RELEASE_IEEE695);
    EXPECT_EQ(CheckBytes(dir / "x.vle", Patched(good, 1, "5E")), VLE_INVALID_TYPE);
    EXPECT_EQ(CheckBytes(dir / "x.vle", Patched(good, trailer + 3, "01")), VLE_INVALID_TYPE);
    EXPECT_EQ(CheckBytes(dir / "x.vle", Patched(good, trailer + 12, "04")), VLE_INVALID_TYPE);
    EXPECT_EQ(CheckBytes(dir / "x.vle", Patched(good, trailer + 8, "005D69E1")), VLE_INVALID_TYPE);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_EQ(CheckBytes(dir / "x.vle", Bytes(good.begin(), good.begin() + static_cast<long>(cut))),
                  VLE_INVALID_TYPE) << cut;
        int result = 0;
        EXPECT_LE(ReadVleRecords(dir / "x.vle", &result).size(), 3u);
        EXPECT_LE(result, 0);
    }
    // Zero data makes the last 13 bytes look like a trailer; only the magic
    // number, stamped with the trailer, shows that the file is unfinished.
    CVleFile vle;
    ASSERT_TRUE(vle.Create(dir / "p.vle"));
    ASSERT_TRUE(vle.WriteHeader(1, 20));
    Bytes zeros(20, 0);
    ASSERT_TRUE(vle.WriteRecord(0, 20, zeros.data()));
    vle.Close();
    EXPECT_EQ(CheckBytes(dir / "p.vle", ReadFile(dir / "p.vle")), VLE_INVALID_TYPE);
}

// Two programs converting the same release (the runs of a batch) or one
// reading the .vle while another converts: the file at the .vle path is
// always a whole file, and a reader that has it open reads it to its end.
TEST(VleWrite, ANewFileTakesThePathOnlyWhenClosed)
{
    TempDir dir;
    const std::string path = dir / "fw.vle";
    WriteVle(path, 3, 16);
    CVleFile reader;
    ASSERT_TRUE(reader.OpenForRead(path));
    ASSERT_EQ(reader.CheckFile(), RELEASE_SRECORD);

    CVleFile writer;
    ASSERT_TRUE(writer.Create(path));
    ASSERT_TRUE(writer.WriteHeader(2, 20));
    Bytes data(40, 0xAA);
    ASSERT_TRUE(writer.WriteRecord(0x8000, 40, data.data()));
    EXPECT_EQ(CheckBytes(dir / "copy.vle", ReadFile(path)), RELEASE_SRECORD) << "the old file is still whole";
    EXPECT_EQ(ReadVleRecords(path).size(), 3u);

    ASSERT_TRUE(writer.WriteTrailer(RELEASE_ANY, 1));
    writer.Close();
    EXPECT_EQ(CheckBytes(dir / "copy.vle", ReadFile(path)), RELEASE_ANY);
    EXPECT_EQ(ReadVleRecords(path).size(), 1u);
    // The reader opened before keeps the old records.
    reader.Rewind();
    uint8_t block[VLE_BLOCK_SIZE];
    for (uint32_t address : {0x1000u, 0x1010u, 0x1020u}) {
        ASSERT_EQ(reader.GetBlock(block, -1, -1), 16);
        EXPECT_EQ(AddressOf(block), address);
    }
    EXPECT_EQ(reader.GetBlock(block, -1, -1), 0);
    // No file of the writer's own is left beside the .vle.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 2);   // fw.vle and copy.vle
}

TEST(VleRead, HostileRecordsAreReadErrors)
{
    TempDir dir;
    WriteVle(dir / "v.vle", 2, 16);
    const Bytes good = ReadFile(dir / "v.vle");
    struct Row { const char* what; Bytes file; int second; long address; int walk; };
    const Row rows[] = {
        {"length 88", Patched(good, 18, "0058"), -1, -1, -1},
        {"length 0xFFFF", Patched(good, 18, "FFFF"), -1, -1, -1},
        {"second record past the end", Patched(good, 44, "0057"), -1, -1, -1},
        {"back link before the header", Patched(good, 42, "00FF"), 16, 0x1000, -1},
        {"back link inside the record", Patched(good, 42, "0010"), 16, 0x1000, -1},
    };
    for (const Row& row : rows) {
        WriteFile(dir / "h.vle", row.file);
        CVleFile vle;
        ASSERT_TRUE(vle.OpenForRead(dir / "h.vle"));
        vle.Rewind();
        uint8_t block[VLE_BLOCK_SIZE];
        int first = vle.GetBlock(block, -1, -1);
        EXPECT_EQ(first > 0 ? vle.GetBlock(block, -1, -1) : first, row.second) << row.what;
        if (row.address >= 0) {
            EXPECT_EQ(vle.GetBlock(block, row.address, 1), row.walk) << row.what;
        }
    }
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
    EXPECT_EQ(m_block[4 + 9], 28);   // sum 0 + 1 + ... + 7
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, 0), -2);
}

TEST_F(VleWalk, SteppingBackReadsOnlyTheRecordsInBetween)
{
    struct Row { int from; long address; long number; int expectRecord; long expectReads; };
    const Row rows[] = {
        {3, AddressOfRecord(1), 1, 1, 2},   // by address: two steps back
        {9, AddressOfRecord(4), 4, 4, 5},
        {7, -1, 7, 7, 0},                   // the current record itself
        {7, -1, 2, 2, 5},                   // by number
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
        ASSERT_EQ(m_vle.GetBlock(m_block, -1, -1), 8);
        EXPECT_EQ(AddressOf(m_block), static_cast<uint32_t>(AddressOfRecord(row.expectRecord + 1)));
    }
}

TEST_F(VleWalk, UnknownAddressesAndImpossibleRequests)
{
    Forward(6);
    EXPECT_EQ(m_vle.GetBlock(m_block, 0x999999, 3), 8);    // walks back to 1, then forward to 3
    EXPECT_EQ(m_vle.m_nRecord, 3);
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, 5), -2);         // ahead of the current record
    EXPECT_EQ(m_vle.GetBlock(m_block, -2, -1), -2);
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -7), -2);
    EXPECT_EQ(m_vle.GetBlock(m_block, 0x999999, 12), 0);   // beyond the last record
    EXPECT_EQ(m_vle.GetBlock(m_block, -1, -1), 0);         // still at the end
    EXPECT_EQ(m_vle.GetBlock(m_block, AddressOfRecord(10), 10), 8);
}

}  // namespace
