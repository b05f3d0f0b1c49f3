// Packing of release records: the cut rules of CRecordPacker, and packed .vle
// files read back by a reader of their own (written here from the file
// layout, not Tavrel's) and compared byte for byte with their releases.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "ReleaseTestUtil.h"
#include "app/IniFile.h"
#include "app/UpdateApp.h"
#include "release/RecordPacker.h"

namespace {

using ByteMap = std::map<uint32_t, uint8_t>;

uint32_t BE(const Bytes& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; ++i)
        v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

struct ExpandedVle {
    ByteMap bytes;
    std::vector<std::pair<uint32_t, size_t>> records;   // address, length
    int type = -1;
};

// Reads a .vle file from its layout: 16-byte header, records (back link,
// length, address, data, 16-bit sum), 13-byte trailer. Every link, sum and
// total is checked; nothing when one is wrong.
std::optional<ExpandedVle> ExpandVle(const std::string& path)
{
    const Bytes f = ReadFile(path);
    if (f.size() < 29 || BE(f, 0, 4) != 0x005D69E1)
        return std::nullopt;
    ExpandedVle vle;
    size_t at = 16, previousSize = 0;
    uint32_t total = 0;
    for (;;) {
        if (at + 4 > f.size())
            return std::nullopt;
        const uint32_t link = BE(f, at, 2), len = BE(f, at + 2, 2);
        if (len == 0)
            break;
        const size_t size = len + 10;
        if (len > 87 || at + size > f.size() || link != (previousSize == 0 ? 0 : previousSize + size))
            return std::nullopt;
        const uint32_t address = BE(f, at + 4, 4);
        uint32_t sum = 0;
        for (uint32_t i = 0; i < len; ++i) {
            const uint8_t byte = f[at + 8 + i];
            sum += byte;
            if (!vle.bytes.emplace(address + i, byte).second)
                return std::nullopt;   // an address given twice
        }
        if ((sum & 0xFFFF) != BE(f, at + 8 + len, 2))
            return std::nullopt;
        vle.records.emplace_back(address, len);
        total += len;
        previousSize = size;
        at += size;
    }
    if (at + 13 != f.size() || BE(f, at, 2) != previousSize + 13 || BE(f, at + 4, 4) != total ||
        BE(f, at + 8, 4) != vle.records.size() || f[at + 12] > 3)
        return std::nullopt;
    vle.type = f[at + 12];
    return vle;
}

std::string TextOf(const std::string& path)
{
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

ByteMap MapOf(uint32_t address, const Bytes& data)
{
    ByteMap bytes;
    for (size_t i = 0; i < data.size(); ++i)
        bytes[address + static_cast<uint32_t>(i)] = data[i];
    return bytes;
}

ByteMap Merge(std::initializer_list<ByteMap> parts)
{
    ByteMap all;
    for (const ByteMap& p : parts)
        all.insert(p.begin(), p.end());
    return all;
}

int ConvertWith(const std::string& path, bool pack)
{
    auto reader = CreateReader(RecogniseReleaseFile(path));
    if (!reader)
        return -1;
    reader->SetSource(path, nullptr);
    reader->SetPacking(pack);
    if (!reader->OpenRelease())
        return -1;
    return reader->ConvertToVle();
}

int UpToDate(const std::string& path, bool pack)
{
    auto reader = CreateReader(RecogniseReleaseFile(path));
    reader->SetSource(path, nullptr);
    reader->SetPacking(pack);
    return reader->OpenRelease() ? reader->IsConverted() : -1;
}

// S-records of `data` at `address`, made by objcopy with `lineBytes` a line.
std::string SrecordFile(const TempDir& dir, const std::string& name, uint32_t address, const Bytes& data,
                        const std::string& options)
{
    WriteFile(dir / (name + ".bin"), data);
    const std::string command = "objcopy -I binary -O srec " + options + " --change-addresses " +
                                std::to_string(address) + " " + dir / (name + ".bin") + " " + dir / name;
    EXPECT_EQ(RunTool(command), 0) << command;
    return dir / name;
}

// Every record within one window of `length` bytes; two records without a
// gap between them only where the first ends on a multiple of `length`.
void ExpectPackedShape(const ExpandedVle& vle, size_t length, const std::string& what)
{
    for (size_t i = 0; i < vle.records.size(); ++i) {
        const auto [address, len] = vle.records[i];
        EXPECT_LE(len, length) << what << " record " << i;
        EXPECT_EQ(address / length, (uint64_t(address) + len - 1) / length) << what << " record " << i;
        if (i == 0)
            continue;
        const uint64_t previousEnd = uint64_t(vle.records[i - 1].first) + vle.records[i - 1].second;
        if (previousEnd == address) {
            EXPECT_EQ(previousEnd % length, 0u) << what << " record " << i << " could join the one before";
        }
    }
}

// --- the cut rules ------------------------------------------------------------------------------

struct Block {
    uint32_t address;
    int count;
};

TEST(RecordPacker, CutsAtGapsAtMultiplesOfTheLengthAndAtTheLength)
{
    const struct Row {
        const char* what;
        int length;
        std::vector<Block> blocks;
        std::vector<std::pair<uint32_t, int>> records;
    } rows[] = {
        {"four 16-byte lines from an aligned address", 64, {{0x10000, 16}, {0x10010, 16}, {0x10020, 16}, {0x10030, 16}},
         {{0x10000, 64}}},
        {"five lines: the fifth opens the next window", 64,
         {{0x10000, 16}, {0x10010, 16}, {0x10020, 16}, {0x10030, 16}, {0x10040, 16}}, {{0x10000, 64}, {0x10040, 16}}},
        {"a gap of one byte", 64, {{0x100, 16}, {0x111, 16}}, {{0x100, 16}, {0x111, 16}}},
        {"data that goes back", 64, {{0x120, 16}, {0x100, 16}}, {{0x120, 16}, {0x100, 16}}},
        {"joined up to a multiple of the length, not across it", 64, {{0x30, 16}, {0x40, 16}}, {{0x30, 16}, {0x40, 16}}},
        {"one line across a multiple is cut there", 64, {{0x38, 16}}, {{0x38, 8}, {0x40, 8}}},
        {"unaligned start fills its window first", 64, {{0x08, 16}, {0x18, 16}, {0x28, 16}, {0x38, 16}},
         {{0x08, 56}, {0x40, 8}}},
        {"a long block in full records", 64, {{0, 200}}, {{0, 64}, {64, 64}, {128, 64}, {192, 8}}},
        {"IEEE 695 length: multiples of 66", 66, {{0, 40}, {40, 40}}, {{0, 66}, {66, 14}}},
        {"S2 length 16: nothing longer", 16, {{0x200, 8}, {0x208, 8}, {0x210, 8}}, {{0x200, 16}, {0x210, 8}}},
        {"a length beyond a record's 87 bytes is held to 87", 100, {{0, 200}}, {{0, 87}, {87, 87}, {174, 26}}},
        {"the end of the address space", 64, {{0xFFFFFFF0, 32}}, {{0xFFFFFFF0, 16}, {0, 16}}},
        {"nothing in, nothing out", 64, {}, {}},
    };
    for (const Row& row : rows) {
        std::vector<std::pair<uint32_t, int>> records;
        ByteMap out;
        CRecordPacker packer(row.length, [&](uint32_t address, int len, const uint8_t* data) {
            records.emplace_back(address, len);
            for (int i = 0; i < len; ++i)
                out[address + static_cast<uint32_t>(i)] = data[i];
            return true;
        });
        ByteMap in;
        unsigned seed = 1;
        for (const Block& block : row.blocks) {
            const Bytes data = RandomBytes(static_cast<size_t>(block.count), seed++);
            for (int i = 0; i < block.count; ++i)
                in[block.address + static_cast<uint32_t>(i)] = data[static_cast<size_t>(i)];
            ASSERT_TRUE(packer.Add(block.address, data.data(), block.count)) << row.what;
        }
        ASSERT_TRUE(packer.Flush()) << row.what;
        EXPECT_EQ(records, row.records) << row.what;
        EXPECT_EQ(out, in) << row.what;
    }
}

TEST(RecordPacker, AFailedWriteStopsThePacking)
{
    int calls = 0;
    CRecordPacker packer(16, [&](uint32_t, int, const uint8_t*) { return ++calls < 2; });
    const Bytes data = RandomBytes(64, 3);
    EXPECT_FALSE(packer.Add(0, data.data(), 64));
    EXPECT_EQ(calls, 2);
}

// --- packed conversions read back independently ------------------------------------------------

TEST(PackedConversion, GivesTheReleaseBackByteForByteInRecordsOfTheFullLength)
{
    TempDir dir;
    const Bytes a = RandomBytes(10000, 21), b = RandomBytes(3000, 22);
    const Bytes abs = Cat({{0x83, 0x04}, Bytes(16, 0x11), Hex("0001 0203 0405 0000 0000"),
                           AbsRecord(0x12000, Bytes(a.begin(), a.begin() + 250)),
                           AbsRecord(0x12000 + 250, Bytes(a.begin() + 250, a.begin() + 400)),
                           AbsRecord(0x13005, Bytes(b.begin(), b.begin() + 100))});
    WriteFile(dir / "image.abs", abs);
    WriteFile(dir / "module.695", Ieee695(4, 0x8010, Cat({LoadData(Bytes(a.begin(), a.begin() + 20)),
                                                         LoadData(Bytes(a.begin() + 20, a.begin() + 300))})));
    // Two sections of S3 lines with a gap, the second starting off a multiple of 64.
    const std::string s3a = SrecordFile(dir, "a.s3", 0x10000, a, "--srec-forceS3 --srec-len 16");
    const std::string s3b = SrecordFile(dir, "b.s3", 0x20008, b, "--srec-forceS3 --srec-len 16");
    // a.s3 without its end record, then b.s3 without its header record.
    const std::string first = TextOf(s3a), second = TextOf(s3b);
    WriteText(dir / "gap.s3", first.substr(0, first.rfind("\nS7") + 1) + second.substr(second.find('\n') + 1));

    const struct Row {
        const char* what;
        std::string file;
        size_t length;
        ByteMap release;
        size_t packedRecords;
    } rows[] = {
        {"S3, 16 bytes a line, aligned", s3a, 64, MapOf(0x10000, a), (10000 + 63) / 64},
        {"S3 with a gap and an unaligned second part", dir / "gap.s3", 64,
         Merge({MapOf(0x10000, a), MapOf(0x20008, b)}), (10000 + 63) / 64 + 1 + (3000 - 56 + 63) / 64},
        {"S3, 28 bytes a line from an unaligned address",
         SrecordFile(dir, "odd.s3", 0x30004, b, "--srec-forceS3 --srec-len 28"), 64, MapOf(0x30004, b),
         1 + (3000 - 60 + 63) / 64},
        {"S2, 8 bytes a line: 16 a record", SrecordFile(dir, "s2.s2", 0x40000, b, "--srec-len 8"), 16,
         MapOf(0x40000, b), 3000 / 16 + 1},
        {"absolute: blocks of 250 and 150 joined, then a gap", dir / "image.abs", 64,
         Merge({MapOf(0x12000, Bytes(a.begin(), a.begin() + 400)), MapOf(0x13005, Bytes(b.begin(), b.begin() + 100))}),
         400 / 64 + 1 + 1 + (100 - 59 + 63) / 64},
        {"IEEE 695: records of 66, cut at multiples of 66", dir / "module.695", 66,
         MapOf(0x8010, Bytes(a.begin(), a.begin() + 300)), 6},
    };
    for (const Row& row : rows) {
        for (bool pack : {false, true}) {
            const std::string what = std::string(row.what) + (pack ? ", packed" : ", not packed");
            std::filesystem::remove(VlePathFor(row.file));
            ASSERT_EQ(ConvertWith(row.file, pack), CONVERT_OK) << what;
            const auto vle = ExpandVle(VlePathFor(row.file));
            ASSERT_TRUE(vle.has_value()) << what;
            EXPECT_EQ(vle->bytes, row.release) << what;
            if (!pack)
                continue;
            ExpectPackedShape(*vle, row.length, what);
            EXPECT_EQ(vle->records.size(), row.packedRecords) << what;
        }
    }
}

// A damaged release gives no usable .vle file, packed or not.
TEST(PackedConversion, DamagedReleaseIsRefusedLikeAnUnpackedOne)
{
    TempDir dir;
    const Bytes data = RandomBytes(4000, 31);
    const std::string good = SrecordFile(dir, "good.s3", 0x10000, data, "--srec-forceS3 --srec-len 16");
    const std::string text = TextOf(good);
    const size_t middle = text.find("\nS3", text.size() / 2) + 1;
    const struct Row {
        const char* what;
        std::string file;
        int result;
    } rows[] = {
        {"a data line with a wrong checksum", text.substr(0, middle + 12) + (text[middle + 12] == '0' ? "1" : "0") +
                                                  text.substr(middle + 13), CONVERT_READ_ERROR},
        {"a data line cut short", text.substr(0, middle + 20) + "\n" + text.substr(text.find('\n', middle) + 1),
         CONVERT_READ_ERROR},
        {"a line that is no record", text.substr(0, middle) + "garbage\n" + text.substr(middle), CONVERT_READ_ERROR},
    };
    for (const Row& row : rows) {
        for (bool pack : {false, true}) {
            const std::string what = std::string(row.what) + (pack ? ", packed" : ", not packed");
            WriteText(dir / "bad.s3", row.file);
            std::filesystem::remove(dir / "bad.vle");
            EXPECT_EQ(ConvertWith(dir / "bad.s3", pack), row.result) << what;
            CVleFile vle;
            ASSERT_TRUE(vle.OpenForRead(dir / "bad.vle")) << what;
            EXPECT_EQ(vle.CheckFile(), VLE_INVALID_TYPE) << what;
            EXPECT_FALSE(ExpandVle(dir / "bad.vle").has_value()) << what;
            EXPECT_EQ(UpToDate(dir / "bad.s3", pack), 0) << what;
        }
    }
}

// An unpacked .vle is converted again once packing is asked for; a packed one
// serves either way; a file whose lines already have the full length is
// packed as it is.
TEST(PackedConversion, UpToDateRules)
{
    TempDir dir;
    const Bytes data = RandomBytes(2048, 41);
    const std::string short16 = SrecordFile(dir, "short.s3", 0x10000, data, "--srec-forceS3 --srec-len 16");
    const std::string full64 = SrecordFile(dir, "full.s3", 0x10000, data, "--srec-forceS3 --srec-len 64");

    ASSERT_EQ(ConvertWith(short16, false), CONVERT_OK);
    EXPECT_EQ(UpToDate(short16, false), 1);
    EXPECT_EQ(UpToDate(short16, true), 0);
    ASSERT_EQ(ConvertWith(short16, true), CONVERT_OK);
    EXPECT_EQ(ExpandVle(dir / "short.vle")->records.size(), 2048u / 64);
    EXPECT_EQ(UpToDate(short16, true), 1);
    EXPECT_EQ(UpToDate(short16, false), 1);

    ASSERT_EQ(ConvertWith(full64, false), CONVERT_OK);
    EXPECT_EQ(UpToDate(full64, true), 1);
}

// "Pack release records" in [Miscellaneous] (YES when the file does not name
// it; a file that says NO keeps NO) is what a reader packs by unless told otherwise.
TEST(PackedConversion, TheSettingChoosesPacking)
{
    const bool saved = App().m_bPackRecords;
    for (const auto& [text, pack] : {std::pair{"", true}, {"Pack release records=YES\n", true},
                                     {"Pack release records=yes\n", true}, {"Pack release records=NO\n", false},
                                     {"Pack release records=no\n", false}}) {
        CIniFile ini;
        ini.Parse(std::string("[Miscellaneous]\n") + text);
        App().LoadSettingsFrom(ini);
        EXPECT_EQ(App().m_bPackRecords, pack) << text;
        EXPECT_EQ(CreateReader(RELEASE_SRECORD)->Packing(), pack) << text;
    }
    App().m_bPackRecords = saved;
}

}  // namespace
