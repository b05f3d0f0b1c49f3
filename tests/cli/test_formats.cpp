// tavrel-cli import and vle dump on the release formats: S-records S1/S2/S3
// with and without an end record, Intel HEX, ELF executables, raw images,
// compared byte for byte with what independent tools read; bad and empty
// files refused with the line at fault; hostile files never crash a reader;
// Intel HEX and ELF releases loaded into the simulator.
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "CliFixture.h"
#include "release/FileBase.h"
#include "release/VleFile.h"

namespace {

using ByteMap = std::map<uint32_t, uint8_t>;

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The bytes of an S-record file (S1, S2, S3 lines), as the test reads them itself.
ByteMap SrecordMap(const std::string& text)
{
    ByteMap map;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 4 || line[0] != 'S' || line[1] < '1' || line[1] > '3') continue;
        const int width = line[1] - '0' + 1;
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])); i += 2)
            bytes.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
        uint32_t address = 0;
        for (int i = 1; i <= width; ++i) address = address << 8 | bytes[static_cast<size_t>(i)];
        for (size_t i = static_cast<size_t>(width) + 1; i + 1 < bytes.size(); ++i) map[address++] = bytes[i];
    }
    return map;
}

// The bytes of a .vle file and its longest record.
ByteMap VleMap(const std::string& path, int* longest = nullptr, int* type = nullptr)
{
    ByteMap map;
    CVleFile vle;
    if (!vle.OpenForRead(path)) return map;
    if (type) *type = vle.CheckFile();
    if (!vle.Rewind()) return map;
    uint8_t block[VLE_BLOCK_SIZE];
    int n;
    if (longest) *longest = 0;
    while ((n = vle.GetBlock(block, -1, -1)) > 0) {
        const uint32_t address = static_cast<uint32_t>(block[0]) << 24 | block[1] << 16 | block[2] << 8 | block[3];
        for (int i = 0; i < n; ++i) map[address + static_cast<uint32_t>(i)] = block[4 + i];
        if (longest) *longest = std::max(*longest, n);
    }
    return map;
}

// One Intel HEX line with its checksum: the test's own writer.
std::string HexLine(int type, uint16_t offset, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                                  static_cast<uint8_t>(offset), static_cast<uint8_t>(type)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::string line = ":";
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

std::vector<uint8_t> Random(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::string RandomText(size_t n, unsigned seed)
{
    const std::vector<uint8_t> bytes = Random(n, seed);
    return std::string(bytes.begin(), bytes.end());
}

// A 32-bit big-endian ELF executable of one loadable segment whose physical
// address differs from its virtual one; no section headers.
std::string BigEndianElf(const std::vector<uint8_t>& data, uint32_t paddr)
{
    std::vector<uint8_t> elf(52 + 32, 0);
    auto put = [&](size_t at, uint64_t value, int size) {
        for (int i = 0; i < size; ++i) elf[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
    };
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 2, 1};
    std::copy(std::begin(ident), std::end(ident), elf.begin());
    put(16, 2, 2);        // executable
    put(18, 4, 2);        // 68000
    put(20, 1, 4);
    put(28, 52, 4);       // program headers right after the header
    put(40, 52, 2);
    put(42, 32, 2);
    put(44, 1, 2);
    put(52 + 0, 1, 4);    // PT_LOAD
    put(52 + 4, elf.size(), 4);
    put(52 + 8, 0x20000000, 4);
    put(52 + 12, paddr, 4);
    put(52 + 16, data.size(), 4);
    put(52 + 20, data.size() + 64, 4);   // and some .bss, which is not in the file
    elf.insert(elf.end(), data.begin(), data.end());
    return std::string(elf.begin(), elf.end());
}

class CliFormats : public CliE2E {
protected:
    std::string Tool(const std::string& program, const std::vector<std::string>& args)
    {
        const CliResult run = RunProgram(program, args);
        EXPECT_EQ(run.code, 0) << program << "\n" << run.Both();
        return run.out;
    }
    // An ELF executable holding `bytes` at `address`, linked by binutils.
    std::string LinkedElf(const std::string& name, size_t bytes, unsigned address)
    {
        const std::string bin = dir.Write(name + ".blob", RandomText(bytes, address));
        char start[32];
        std::snprintf(start, sizeof start, "-Tdata=0x%x", address);
        Tool("/usr/bin/objcopy", {"-I", "binary", "-O", "elf64-x86-64", "-B", "i386:x86-64", bin, dir.File(name + ".o")});
        Tool("/usr/bin/ld", {"-static", "-e", "0", start, dir.File(name + ".o"), "-o", requestDir + "/" + name});
        return requestDir + "/" + name;
    }
};

TEST_F(CliFormats, EachFormatReadsAsIndependentToolsReadIt)
{
    const std::string bin = dir.Write("image.bin", RandomText(3000, 7));
    auto objcopy = [&](std::vector<std::string> args, const std::string& out) {
        args.push_back(bin);
        args.push_back(dir.File(out));
        Tool("/usr/bin/objcopy", args);
        return dir.File(out);
    };
    const std::string s3 = objcopy({"-I", "binary", "-O", "srec", "--srec-forceS3", "--change-addresses", "0x10000"}, "s3.srec");
    const std::string s1 = objcopy({"-I", "binary", "-O", "srec", "--change-addresses", "0x1000"}, "s1.s19");
    const std::string s2 = objcopy({"-I", "binary", "-O", "srec", "--change-addresses", "0x30000"}, "s2.s28");
    const std::string hex = objcopy({"-I", "binary", "-O", "ihex", "--change-addresses", "0x08000000"}, "linear.hex");
    // Without its end record: every line is valid, the data ends with the file.
    std::string text = ReadText(s1);
    text.erase(text.rfind("S9"));
    const std::string noEnd = dir.Write("noend.s19", text);
    // Segment addresses, written by the test itself.
    const std::vector<uint8_t> a = Random(16, 1), b = Random(9, 2);
    const std::string segment = dir.Write("segment.hex", HexLine(2, 0, {0x12, 0x00}) + HexLine(0, 0x0340, a) +
                                                             HexLine(0, 0x0350, b) + HexLine(1, 0, {}));
    ByteMap segmentMap;
    for (size_t i = 0; i < a.size(); ++i) segmentMap[0x12340 + static_cast<uint32_t>(i)] = a[i];
    for (size_t i = 0; i < b.size(); ++i) segmentMap[0x12350 + static_cast<uint32_t>(i)] = b[i];
    const std::string elf = LinkedElf("app.elf", 5000, 0x20000);
    const std::vector<uint8_t> beData = Random(100, 3);
    const std::string beElf = dir.Write("be.elf", BigEndianElf(beData, 0x00400000));
    ByteMap beMap;
    for (size_t i = 0; i < beData.size(); ++i) beMap[0x00400000 + static_cast<uint32_t>(i)] = beData[i];

    const struct {
        std::string file;
        std::string format;
        std::string ranges;
        ByteMap expected;   // of the independent reader
        int type;
        int longest;   // record length of the kind: packing fills records up to it
    } rows[] = {
        {s3, "S-records (S3, 32-bit addresses)", "00010000-00010BB7", SrecordMap(ReadText(s3)), RELEASE_SRECORD, 64},
        {s1, "S-records (S1, 16-bit addresses)", "00001000-00001BB7", SrecordMap(ReadText(s1)), RELEASE_SRECORD, 17},
        {s2, "S-records (S2, 24-bit addresses)", "00030000-00030BB7", SrecordMap(ReadText(s2)), RELEASE_SRECORD, 16},
        {noEnd, "S-records (S1, 16-bit addresses, no end record)", "00001000-00001BB7", SrecordMap(text),
         RELEASE_SRECORD, 17},
        {hex, "Intel HEX (extended addresses)", "08000000-08000BB7",
         SrecordMap(Tool("/usr/bin/objcopy", {"-I", "ihex", "-O", "srec", hex, "/dev/stdout"})), RELEASE_SRECORD, 64},
        {segment, "Intel HEX (extended addresses)", "00012340-00012358", segmentMap, RELEASE_SRECORD, 64},
        {elf, "ELF executable (64-bit little-endian, x86-64)", "00020000-00021387",
         SrecordMap(Tool("/usr/bin/objcopy", {"-O", "srec", elf, "/dev/stdout"})), RELEASE_ABSOLUTE, 64},
        {beElf, "ELF executable (32-bit big-endian, 68000)", "00400000-00400063", beMap, RELEASE_ABSOLUTE, 64},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const CliResult run = Cli({"import", row.file});
        ASSERT_EQ(run.code, 0) << run.Both();
        EXPECT_TRUE(Contains(run.out, "format  " + row.format + "\n")) << run.out;
        EXPECT_TRUE(Contains(run.out, "ranges  " + row.ranges + "\n")) << run.out;
        EXPECT_TRUE(Contains(run.out, "bytes   " + std::to_string(row.expected.size()) + "\n")) << run.out;
        int longest = 0, type = -1;
        EXPECT_EQ(VleMap(VlePathFor(row.file), &longest, &type), row.expected);
        EXPECT_EQ(type, row.type);
        EXPECT_LE(longest, row.longest);
    }

    // A raw image says that it is one, in import and in vle dump.
    const CliResult raw = Cli({"import", bin});
    EXPECT_TRUE(Contains(raw.out, "format  raw image (no format recognised")) << raw.out;
    EXPECT_TRUE(Contains(raw.out, "packed  yes\n")) << raw.out;
    const CliResult dump = Cli({"vle", "dump", dir.File("image.vle")});
    EXPECT_TRUE(Contains(dump.out, "format    raw image")) << dump.out;
    EXPECT_TRUE(Contains(dump.out, "ranges    00000000-00000BB7\nbytes     3000\n")) << dump.out;
    const nlohmann::json json = nlohmann::json::parse(Cli({"vle", "dump", VlePathFor(hex), "--json"}).out, nullptr, false);
    EXPECT_EQ(json["ranges"], (nlohmann::json::array({{{"first", 0x08000000}, {"last", 0x08000BB7}, {"bytes", 3000}}})));
    EXPECT_EQ(json["bytes"], 3000);
}

TEST_F(CliFormats, BadAndEmptyFilesAreRefusedWithTheirPlace)
{
    const std::string s0 = "S00600004844521B\n";
    const std::string line16 = "S3150000100000112233445566778899AABBCCDDEEFFE2\n";
    const std::string data = HexLine(0, 0x100, {1, 2, 3, 4});
    std::string badChecksum = data;
    badChecksum[badChecksum.size() - 2] = badChecksum[badChecksum.size() - 2] == '0' ? '1' : '0';
    const std::string object = dir.File("blob.o");
    dir.Write("blob.bin", "0123456789");
    Tool("/usr/bin/objcopy", {"-I", "binary", "-O", "elf64-x86-64", "-B", "i386:x86-64", dir.File("blob.bin"), object});
    std::string cutElf = BigEndianElf(Random(64, 5), 0x1000);
    cutElf[31] = static_cast<char>(0xF0);   // program headers far beyond the end
    // Three hundred loadable segments, all over the same bytes: more than any
    // linker writes, and each section would be looked up in every one.
    std::string manyElf = BigEndianElf(Random(64, 6), 0x1000);
    const std::string segment = manyElf.substr(52, 32);
    const size_t table = manyElf.size();
    for (int i = 0; i < 300; ++i) manyElf += segment;
    for (int i = 0; i < 4; ++i) manyElf[28 + i] = static_cast<char>(table >> (8 * (3 - i)));
    manyElf[44] = static_cast<char>(300 >> 8);
    manyElf[45] = static_cast<char>(300 & 0xFF);

    const struct {
        std::string name;
        std::string content;   // empty: `object` is used
        std::string says;
    } rows[] = {
        {"bad.s", s0 + line16 + "S3150000101000112233445566778899AABBCCDDEEFFE2\n", "line 3: checksum error"},
        {"junk.s", s0 + line16 + "S3 this is no record\n", "line 3: not hexadecimal"},
        {"mixed.s", s0 + line16 + "S2080100000A0B0C0DC8\n", "line 3: an S2 record among S3 records"},
        {"prose.s", "Some notes about the release\n",
         "it looks like text, which is never loaded as a raw image (--raw loads it as a raw image all the same)"},
        {"notes.elf", "Some notes about the release\n", "named as an ELF file but it looks like text (--raw"},
        {"bad.hex", data + badChecksum + HexLine(1, 0, {}), "line 2: checksum error"},
        {"text.hex", data + ":not hex at all\n", "line 2: not an Intel HEX record"},
        {"type.hex", data + HexLine(6, 0, {}), "line 2: unknown record type 6"},
        {"high.hex", HexLine(4, 0, {0xFF, 0xFF}) + HexLine(0, 0xFFF8, Random(16, 4)), "line 2: data beyond 32-bit addresses"},
        {"short.hex", ":0400000001\n", "line 1: its length does not match its byte count"},
        {"empty.bin", "", "the file is empty"},
        {"object.o", "", "no program headers: an object file, not an executable (link it first)"},
        {"cut.elf", cutElf, "the program headers lie outside the file"},
        {"many.elf", manyElf, "more than 256 loadable segments"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = row.name == "object.o" ? object : dir.Write(row.name, row.content);
        const CliResult run = Cli({"import", path});
        EXPECT_EQ(run.code, 1) << run.Both();
        EXPECT_TRUE(Contains(run.err, "tavrel-cli: " + path + ": " + row.says)) << run.err;
        int type = -1;
        VleMap(VlePathFor(path), nullptr, &type);
        EXPECT_NE(type, RELEASE_ANY);   // never a raw image of the text
    }
}

// Damaged Intel HEX, ELF and S1 files: every conversion ends with one of the
// driver's results, under the sanitizers, and no .vle of a damaged file is valid
// unless its reader accepted every byte of it.
TEST(ReleaseReaders, HostileFilesNeverCrash)
{
    CTempDir dir;
    std::string hex;
    for (uint16_t offset = 0; offset < 0x200; offset += 16) hex += HexLine(0, offset, Random(16, offset));
    hex = HexLine(4, 0, {0x08, 0x00}) + hex + HexLine(1, 0, {});
    const std::string elf = BigEndianElf(Random(300, 9), 0x8000);
    const std::string s1 = "S00600004844521B\nS1060000010203F3\nS1060003040506E7\nS9030000FC\n";
    std::mt19937 random(1234);
    for (const std::string& seed : {hex, elf, s1}) {
        for (int run = 0; run < 300; ++run) {
            std::string damaged = seed;
            for (int k = 0, times = 1 + static_cast<int>(random() % 6); k < times; ++k) {
                const size_t at = random() % damaged.size();
                switch (random() % 4) {
                case 0: damaged[at] = static_cast<char>(random()); break;
                case 1: damaged.resize(at); break;
                case 2: damaged.insert(at, std::string(1 + random() % 8, static_cast<char>(0xFF))); break;
                default: damaged.replace(at, std::min<size_t>(4, damaged.size() - at), "\xFF\xFF\xFF\x7F"); break;
                }
                if (damaged.empty()) damaged = "x";
            }
            const std::string path = dir.Write("damaged.rel", damaged);
            const int type = RecogniseReleaseFile(path);
            if (type == -1) continue;   // refused before any reader: text, or empty
            std::unique_ptr<CFileBase> reader = CreateReader(type);
            ASSERT_NE(reader, nullptr);
            reader->SetSource(path, nullptr);
            ASSERT_TRUE(reader->OpenRelease());
            const int result = reader->ConvertToVle();
            EXPECT_GE(result, CONVERT_OK);
            EXPECT_LE(result, CONVERT_ABORTED);
            reader->Close();
        }
    }
}

TEST_F(CliFormats, IntelHexAndElfReleasesReachTheBoards)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    const std::string elf = LinkedElf("gps.elf", 2500, 0x20000);
    const std::string bin = dir.Write("cpu.bin", RandomText(3000, 11));
    Tool("/usr/bin/objcopy", {"-I", "binary", "-O", "ihex", "--change-addresses", "0x10000", bin, requestDir + "/cpu.hex"});
    const std::string request =
        WriteRequest("mixed", nlohmann::json::array({RequestLine("GPS", "gps.elf"), RequestLine("CPU", "cpu.hex")}));
    const CliResult run = Cli({"transfer", request, "-p", sim.tty});
    ASSERT_EQ(run.code, 0) << run.Both();
    EXPECT_EQ(SrecordMap(ReadText(sim.images + "/GPS.srec")),
              SrecordMap(Tool("/usr/bin/objcopy", {"-O", "srec", elf, "/dev/stdout"})));
    EXPECT_EQ(SrecordMap(ReadText(sim.images + "/CPU.srec")),
              SrecordMap(Tool("/usr/bin/objcopy", {"-I", "ihex", "-O", "srec", requestDir + "/cpu.hex", "/dev/stdout"})));
}

// A request line whose release file is no release is not loaded; two lines
// whose releases share one .vle name each load their own data.
TEST_F(CliFormats, TransferLoadsOnlyReleasesEachItsOwn)
{
    const SimReceiver& sim = StartSim(DemoReceiver());
    dir.Write("request/dsp.elf", "one line of notes\n");
    const CliResult refused = Cli({"transfer", WriteRequest("text", nlohmann::json::array({RequestLine("CPU", "dsp.elf")})),
                                   "-p", sim.tty});
    EXPECT_NE(refused.code, 0) << refused.Both();
    EXPECT_TRUE(Contains(Log(), "dsp.elf\": named as an ELF file but it looks like text\r\n")) << Log();
    EXPECT_TRUE(Contains(Log(), "Format of \"dsp.elf\" file is unknown.")) << Log();
    EXPECT_FALSE(std::filesystem::exists(sim.images + "/CPU.srec"));

    MakeRelease("fw.s19", 3000, 0x10000);
    MakeRelease("fw.mot", 2000, 0x20000);
    const std::string request =
        WriteRequest("same-stem", nlohmann::json::array({RequestLine("GPS", "fw.s19"), RequestLine("CPU", "fw.mot")}));
    const CliResult run = Cli({"transfer", request, "-p", sim.tty});
    ASSERT_EQ(run.code, 0) << run.Both();
    EXPECT_TRUE(ImageEquals(sim, "GPS", "fw.s19"));
    EXPECT_TRUE(ImageEquals(sim, "CPU", "fw.mot"));
    EXPECT_TRUE(Contains(Log(), "\"fw.s19\" and \"fw.mot\" share one .vle file (fw.vle)")) << Log();
}

// Packing is on unless the settings say NO, and import says which it is.
TEST_F(CliFormats, ImportSaysWhetherTheVleIsPacked)
{
    MakeRelease("short.s28", 2000, 0x10000);
    const std::string path = requestDir + "/short.s28";
    const CliResult packed = Cli({"import", path});
    EXPECT_TRUE(Contains(packed.out, "packed  yes\n")) << packed.Both();
    int longest = 0;
    VleMap(VlePathFor(path), &longest);
    EXPECT_EQ(longest, 16);   // S2 lines of 16 bytes: 16 a record, packed or not

    Setting("Miscellaneous", "Pack release records=NO");
    WriteSettings();
    const std::string s3 = dir.File("s3.srec");
    ASSERT_EQ(RunProgram("/usr/bin/objcopy", {"-I", "srec", "-O", "srec", "--srec-forceS3", path, s3}).code, 0);
    const CliResult unpacked = Cli({"import", s3});
    EXPECT_TRUE(Contains(unpacked.out, "packed  no\n")) << unpacked.Both();
    VleMap(VlePathFor(s3), &longest);
    EXPECT_EQ(longest, 16);
    const CliResult forced = Cli({"import", "--pack", s3});
    EXPECT_TRUE(Contains(forced.out, "packed  yes\n")) << forced.Both();
    VleMap(VlePathFor(s3), &longest);
    EXPECT_EQ(longest, 64);
    // Up to date and packed: the next import without --pack says so.
    const CliResult again = Cli({"import", s3});
    EXPECT_TRUE(Contains(again.out, "is already converted") || Contains(again.err, "is already converted"))
        << again.Both();
    EXPECT_TRUE(Contains(again.out, "packed  yes\n")) << again.Both();

    dir.Write("notes.txt", "notes\n");
    const CliResult raw = Cli({"import", "--raw", dir.File("notes.txt")});
    EXPECT_EQ(raw.code, 0) << raw.Both();
    EXPECT_TRUE(Contains(raw.out, "format  raw image")) << raw.out;
}

}  // namespace
