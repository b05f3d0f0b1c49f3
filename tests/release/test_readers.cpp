// The release readers and the conversion driver, on files made by objcopy and
// files built here from the record rules of each format.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "ImportTestFixture.h"
#include "ReleaseTestUtil.h"
#include "app/UpdateApp.h"

namespace {

std::map<uint32_t, uint8_t> ByteMap(const std::vector<VleRecord>& records)
{
    std::map<uint32_t, uint8_t> bytes;
    for (const auto& r : records)
        for (size_t i = 0; i < r.data.size(); ++i)
            bytes[r.address + static_cast<uint32_t>(i)] = r.data[i];
    return bytes;
}

size_t LongestRecord(const std::vector<VleRecord>& records)
{
    size_t longest = 0;
    for (const auto& r : records)
        longest = std::max(longest, r.data.size());
    return longest;
}

int TrailerType(const std::string& vlePath)
{
    CVleFile vle;
    return vle.OpenForRead(vlePath) ? vle.CheckFile() : -1;
}

// --- S-records made by objcopy ------------------------------------------------

TEST(SrecordObjcopy, RecordsGiveBackTheBinaryImage)
{
    TempDir dir;
    WriteFile(dir / "data.bin", RandomBytes(5000, 7));
    WriteText(dir / "tiny.c", "const char text[] = \"Tavrel release test\";\n"
                              "int counter = 42; int table[300] = {1, 2, 3};\n"
                              "void _start(void) { for (;;) counter += table[counter & 255]; }\n");
    ASSERT_EQ(RunTool("cc -O1 -nostdlib -static -o " + (dir / "tiny.elf") + " " + (dir / "tiny.c")), 0);
    struct Row { const char* input; const char* options; size_t recordLength; };
    const Row rows[] = {
        {"data.bin", "-I binary --srec-forceS3 --srec-len 100", 64},
        {"data.bin", "-I binary --change-addresses 0x20000 --srec-len 32", 16},   // S2
        {"tiny.elf", "", 16},                                                      // S2
        {"tiny.elf", "--srec-forceS3 --srec-len 100", 64},
    };
    for (const Row& row : rows) {
        std::string what = std::string(row.input) + " " + row.options;
        ASSERT_EQ(RunTool("objcopy -O srec " + std::string(row.options) + " " + (dir / row.input) + " " + (dir / "r.s")), 0);
        ASSERT_EQ(RunTool("objcopy -I srec -O binary " + (dir / "r.s") + " " + (dir / "ref.bin")), 0);
        int type = -9;
        EXPECT_EQ(Convert(dir / "r.s", &type), CONVERT_OK) << what;
        EXPECT_EQ(type, RELEASE_SRECORD) << what;
        auto records = ReadVleRecords(dir / "r.vle");
        EXPECT_EQ(ImageOf(records), ReadFile(dir / "ref.bin")) << what;
        EXPECT_EQ(LongestRecord(records), row.recordLength) << what;
        EXPECT_EQ(TrailerType(dir / "r.vle"), RELEASE_SRECORD);
        std::filesystem::remove(dir / "r.vle");
    }
}

// --- S-record rules and hostile lines ----------------------------------------------

TEST(SrecordRules, RecognitionAndReading)
{
    struct Row { const char* what; std::string text; int type; int result; size_t records; size_t bytes; };
    const std::string s0 = "S00600004844521B\n";
    const std::string line16 = "S3150000100000112233445566778899AABBCCDDEEFFE2\n";
    const Row rows[] = {
        {"S3 line of 16 bytes", s0 + line16 + "S70500000000FA\n", RELEASE_SRECORD, CONVERT_OK, 1, 16},
        {"lower-case hex, CR LF", s0 + "S2080100000a0B0c0Dc8\r\nS804000000FB\r\n", RELEASE_SRECORD, CONVERT_OK, 1, 4},
        {"S5 ends the data", s0 + line16 + "S5030001FB\n" + line16 + "S70500000000FA\n", RELEASE_SRECORD, CONVERT_OK, 1, 16},
        {"record without data is passed over", s0 + "S30500000000FA\n" + line16 + "S70500000000FA\n",
         RELEASE_SRECORD, CONVERT_OK, 1, 16},
        {"S1 records", s0 + "S1060000010203F3\nS9030000FC\n", RELEASE_SRECORD, CONVERT_OK, 1, 3},
        {"no end record, valid lines", s0 + line16 + std::string(100, '\n'), RELEASE_SRECORD, CONVERT_OK, 1, 16},
        {"count below the address width", s0 + line16 + "S3030000\n" + "S70500000000FA\n", RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"line shorter than its count", s0 + line16 + "S3150000100000112233\n" + "S70500000000FA\n", RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"non-hex data", s0 + "S3150000100000112233445566778899AABBCCDDEEFGE2\nS70500000000FA\n",
         RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"damaged data byte", s0 + "S3150000100000112233445566778899AABBCCDDEEFEE2\nS70500000000FA\n",
         RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"damaged checksum", s0 + "S3150000100000112233445566778899AABBCCDDEEFFE3\nS70500000000FA\n",
         RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"no checksum", s0 + "S3140000100000112233445566778899AABBCCDDEEFF\nS70500000000FA\n",
         RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"line of 2000 characters", s0 + line16 + "S3" + std::string(2000, 'F') + "\nS70500000000FA\n",
         RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
        {"foreign record in the data", s0 + line16 + "S2080100000A0B0C0DC8\nS70500000000FA\n", RELEASE_SRECORD, CONVERT_READ_ERROR, 0, 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        WriteText(dir / "f.s", row.text);
        int type = -9;
        EXPECT_EQ(Convert(dir / "f.s", &type), row.result) << row.what;
        EXPECT_EQ(type, row.type) << row.what;
        if (row.result != CONVERT_OK) {
            EXPECT_EQ(TrailerType(dir / "f.vle"), VLE_INVALID_TYPE) << row.what;
        } else if (row.type == RELEASE_SRECORD) {
            auto records = ReadVleRecords(dir / "f.vle");
            EXPECT_EQ(records.size(), row.records) << row.what;
            EXPECT_EQ(ByteMap(records).size(), row.bytes) << row.what;
        }
    }
}

// --- absolute files ------------------------------------------------------------------

TEST(Absolute, RecordsAndBadRecords)
{
    const Bytes headers = Cat({{0x83, 0x04}, Bytes(16, 0x11), Hex("0001 0203 0405 0000 0000")});
    const Bytes a = RandomBytes(40, 1), b = RandomBytes(100, 2), c = RandomBytes(250, 3);
    const Bytes normal = Cat({headers, AbsRecord(0x12000, a), AbsRecord(0x13000, b), AbsRecord(0x20000, c)});
    struct Row { const char* what; Bytes file; int result; size_t records; size_t bytes; uint32_t at = 0; uint8_t byte = 0; };
    const Row rows[] = {
        {"three records (100 bytes: 64 + 36)", normal, CONVERT_OK, 1 + 2 + 4, 390, 0x13000 + 99, b[99]},
        {"block shorter than the data", Cat({headers, AbsRecord(0x100, a, 10), AbsRecord(0x200, a)}), CONVERT_OK, 2, 50,
         0x100 + 9, a[9]},
        {"block longer than the data", Cat({headers, AbsRecord(0x100, a, 41)}), CONVERT_READ_ERROR, 0, 0},
        {"record beyond the block buffer", Cat({headers, AbsRecord(0x100, RandomBytes(256, 4))}), CONVERT_READ_ERROR, 0, 0},
        {"file cut in a record", Bytes(normal.begin(), normal.end() - 7), CONVERT_READ_ERROR, 0, 0},
        {"file cut in a record header", Cat({headers, {0x00}}), CONVERT_READ_ERROR, 0, 0},
        {"w0 below 5", Cat({headers, Hex("0004 0000 0000 0000")}), CONVERT_READ_ERROR, 0, 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        WriteFile(dir / "f.abs", row.file);
        int type = -9;
        EXPECT_EQ(Convert(dir / "f.abs", &type), row.result) << row.what;
        EXPECT_EQ(type, RELEASE_ABSOLUTE);
        auto bytes = ByteMap(ReadVleRecords(dir / "f.vle"));
        if (row.result != CONVERT_OK) {
            EXPECT_EQ(TrailerType(dir / "f.vle"), VLE_INVALID_TYPE) << row.what;
            continue;
        }
        EXPECT_EQ(ReadVleRecords(dir / "f.vle").size(), row.records) << row.what;
        EXPECT_EQ(bytes.size(), row.bytes) << row.what;
        EXPECT_EQ(bytes[row.at], row.byte) << row.what;
    }
}

// --- IEEE 695 -----------------------------------------------------------------------

// The reader's blocks as they come, one .vle record each: packing off.
TEST(Ieee695, LoadRepeatAndAddressRecords)
{
    struct Unpacked {
        bool saved = App().m_bPackRecords;
        Unpacked() { App().m_bPackRecords = false; }
        ~Unpacked() { App().m_bPackRecords = saved; }
    } unpacked;
    const Bytes a = RandomBytes(100, 11), b = RandomBytes(40, 12);
    const Bytes abc = {'A', 'B', 'C', 'D', 'E'};
    Bytes repeated;
    for (int i = 0; i < 3; ++i)
        repeated.insert(repeated.end(), abc.begin(), abc.end());
    Bytes bTwice = Cat({b, b});
    Bytes pair200;
    for (int i = 0; i < 200; ++i)
        pair200.insert(pair200.end(), {0xA5, 0x5A});
    struct Row { const char* what; Bytes file; uint32_t base; Bytes image; size_t longest; };
    const Row rows[] = {
        {"one long load-data record", Ieee695(4, 0x8000, LoadData(a)), 0x8000, a, 32},
        {"split load data", Ieee695(4, 0x8000, Cat({LoadData(Bytes(a.begin(), a.begin() + 10)),
                                                    LoadData(Bytes(a.begin() + 10, a.end()))})), 0x8000, a, 32},
        {"repeat data", Ieee695(4, 0x10, Cat({{0xF7, 0x03}, LoadData(abc)})), 0x10, repeated, 15},
        {"repeat of a record longer than a block", Ieee695(3, 0x400, Cat({{0xF7, 0x02}, LoadData(b)})), 0x400, bTwice, 18},
        {"repeat count is one byte, 200 here", Ieee695(4, 0x20, Cat({{0xF7, 0xC8}, LoadData({0xA5, 0x5A})})), 0x20, pair200, 32},
        {"start address skipped, new address", Ieee695(4, 0x100, Cat({{0xE2, 0xC7, 0xBE}, Number(0x1234), {0xBF},
            {0xE2, 0xD0, 0x01}, Number(0x9000), LoadData(abc)})), 0x9000, abc, 5},
    };
    for (const Row& row : rows) {
        TempDir dir;
        WriteFile(dir / "m.x", row.file);
        int type = -9;
        ASSERT_EQ(Convert(dir / "m.x", &type), CONVERT_OK) << row.what;
        EXPECT_EQ(type, RELEASE_IEEE695);
        auto records = ReadVleRecords(dir / "m.vle");
        uint32_t base = 0;
        EXPECT_EQ(ImageOf(records, &base), row.image) << row.what;
        EXPECT_EQ(base, row.base) << row.what;
        EXPECT_EQ(LongestRecord(records), row.longest) << row.what;
    }
}

TEST(Ieee695, HostileModules)
{
    const Bytes ld = LoadData({1, 2, 3});
    Bytes noSection = Ieee695(4, 0, ld);
    noSection[64] = 0xE6;
    struct Row { const char* what; Bytes file; int result; };
    const Row rows[] = {
        {"number of 5 bytes", Ieee695(4, 0, {0xED, 0x85, 0, 0, 0, 0, 3, 1, 2, 3}), CONVERT_READ_ERROR},
        {"load data beyond the end", Ieee695(4, 0, {0xED, 0x84, 0x00, 0x10, 0x00, 0x00, 1, 2}), CONVERT_READ_ERROR},
        {"unknown record", Ieee695(4, 0, Cat({ld, {0xF0, 0x01}})), CONVERT_READ_ERROR},
        {"other section", Ieee695(4, 0, Cat({{0xE2, 0xD0, 0x02, 0x00}, ld})), CONVERT_READ_ERROR},
        {"repeat beyond a 3-byte address space", Ieee695(3, 0xFFFFF0, Cat({{0xF7, 0x10}, ld})), CONVERT_READ_ERROR},
        {"no section begin at the data offset", noSection, CONVERT_BAD_FORMAT},
        {"address width 0", Ieee695(0, 0, ld), CONVERT_BAD_FORMAT},
        {"address width 5", Ieee695(5, 0, ld), CONVERT_BAD_FORMAT},
    };
    for (const Row& row : rows) {
        TempDir dir;
        WriteFile(dir / "m.x", row.file);
        EXPECT_EQ(Convert(dir / "m.x"), row.result) << row.what;
        EXPECT_EQ(TrailerType(dir / "m.vle"), VLE_INVALID_TYPE) << row.what;
    }
}

// A file that contradicts itself is a read error, and the log says where:
// the line of an S-record whose checksum is wrong, the byte of a record of
// the other formats.
TEST_F(ImportTest, InconsistentFilesNameThePlaceInTheLog)
{
    const std::string s0 = "S00600004844521B\n";
    const std::string line16 = "S3150000100000112233445566778899AABBCCDDEEFFE2\n";
    const std::string damaged = "S3150000101000112233445566778899AABBCCDDEEFFE2\n";
    const Bytes headers = Cat({{0x83, 0x04}, Bytes(16, 0x11), Hex("0001 0203 0405 0000 0000")});
    const Bytes a = RandomBytes(40, 1), ld = LoadData({1, 2, 3});
    Bytes otherSectionBegun = Ieee695(4, 0, ld);
    otherSectionBegun[68] = 0x02;   // E5 01 E2 D0 02
    struct Row { const char* what; const char* name; Bytes file; std::string note; };
    const std::string text = s0 + line16 + damaged + "S70500000000FA\n";
    const Row rows[] = {
        {"S-record checksum", "f.s", Bytes(text.begin(), text.end()), "Checksum error in line 3 of"},
        {"absolute block longer than its record", "f.abs", Cat({headers, AbsRecord(0x100, a), AbsRecord(0x200, a, 41)}),
         "Block longer than its record at byte 76 of"},
        {"IEEE 695 address of another section", "m.x", Ieee695(4, 0, Cat({{0xE2, 0xD0, 0x02, 0x00}, ld})),
         "Address of another section at byte 72 of"},
        {"IEEE 695 section begun for another", "m.x", otherSectionBegun,
         "Section begun with the address of another section at byte 68 of"},
    };
    for (const Row& row : rows) {
        const std::string path = m_dir / row.name;
        WriteFile(path, row.file);
        EXPECT_EQ(Convert(path), CONVERT_READ_ERROR) << row.what;
        EXPECT_NE(Log().find("; " + row.note + " \"" + path + "\"\r\n"), std::string::npos) << row.what << "\n" << Log();
    }
}

TEST(Ieee695, SharedModuleMatchesItsSrecordFile)
{
    TempDir dir;
    // The shared data sits beside the checkout; TAVREL_SHARED_TESTDATA may point elsewhere.
    const char* fromEnv = std::getenv("TAVREL_SHARED_TESTDATA");
    const std::string shared =
        std::string(fromEnv && *fromEnv ? fromEnv : TAVREL_SHARED_TESTDATA) + "/ieee695/";
    if (!std::filesystem::exists(shared + "m16c-menu.x30"))
        GTEST_SKIP() << "shared test data not found in " << shared;
    // The module starts E0 04 like an absolute file; its header part decides.
    std::filesystem::copy_file(shared + "m16c-menu.x30", dir / "ieee.x30");
    std::filesystem::copy_file(shared + "m16c-menu.mot", dir / "srec.mot");
    int type = -9;
    ASSERT_EQ(Convert(dir / "ieee.x30", &type), CONVERT_OK);
    EXPECT_EQ(type, RELEASE_IEEE695);
    ASSERT_EQ(Convert(dir / "srec.mot", &type), CONVERT_OK);
    EXPECT_EQ(type, RELEASE_SRECORD);
    auto fromIeee = ReadVleRecords(dir / "ieee.vle");
    auto fromSrec = ReadVleRecords(dir / "srec.vle");
    EXPECT_EQ(ByteMap(fromIeee).size(), 27699u);
    EXPECT_EQ(ByteMap(fromIeee), ByteMap(fromSrec));
    EXPECT_EQ(LongestRecord(fromIeee), 18u);   // 3-byte addresses
}

// --- any file and the driver ------------------------------------------------------

TEST(AnyFile, CutInto87ByteRecords)
{
    TempDir dir;
    Bytes data = RandomBytes(200, 5);
    data[0] = 0x00;   // neither S-records nor an absolute or IEEE 695 file
    WriteFile(dir / "raw.img", data);
    int type = -9;
    ASSERT_EQ(Convert(dir / "raw.img", &type), CONVERT_OK);
    EXPECT_EQ(type, RELEASE_ANY);
    auto records = ReadVleRecords(dir / "raw.vle");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].address, 0u);
    EXPECT_EQ(records[1].address, 87u);
    EXPECT_EQ(records[2].address, 174u);
    EXPECT_EQ(records[2].data.size(), 26u);
    EXPECT_EQ(ImageOf(records), data);

    // An empty file holds no release: it is refused, not loaded as an empty image.
    WriteFile(dir / "empty.img", {});
    EXPECT_EQ(RecogniseReleaseFile(dir / "empty.img"), -1);
}

TEST(Driver, UpToDateRuleDiskSpaceAndFileNamedLikeItsVle)
{
    TempDir dir;
    WriteFile(dir / "raw.img", RandomBytes(300, 9));
    ASSERT_EQ(Convert(dir / "raw.img"), CONVERT_OK);
    CFileAny reader;
    reader.SetSource(dir / "raw.img", nullptr);
    ASSERT_TRUE(reader.OpenRelease());
    EXPECT_EQ(reader.IsConverted(), 1);
    App().m_nVersion = 21;   // another program version
    EXPECT_EQ(reader.IsConverted(), 0);
    App().m_nVersion = 20;
    reader.m_nFileTime += 1;   // the release was touched
    EXPECT_EQ(reader.IsConverted(), 0);

    EXPECT_EQ(reader.HasDiskSpace(), 1);
    reader.m_nFileSize = int64_t(1) << 60;
    EXPECT_EQ(reader.HasDiskSpace(), 0);

    // Converting would truncate the release itself.
    const Bytes data = RandomBytes(100, 3);
    WriteFile(dir / "fw.vle", data);
    EXPECT_EQ(Convert(dir / "fw.vle"), CONVERT_VLE_ERROR);
    EXPECT_EQ(ReadFile(dir / "fw.vle"), data);

    EXPECT_EQ(CreateReader(4), nullptr);
    EXPECT_EQ(RecogniseReleaseFile(dir / "missing"), -2);
    EXPECT_EQ(RecogniseReleaseFile(dir.Path()), -1);   // a directory opens as no file
}

}  // namespace
