// Archive encoding: text length forms, class tags and format errors.
#include "ModelTestUtil.h"

#include "model/Archive.h"

namespace {

Bytes Written(const std::function<void(CArchive&)>& write)
{
    CArchive ar;
    write(ar);
    return ar.Bytes();
}

TEST(ArchiveText, LengthFormsAreGolden)
{
    struct Row {
        size_t length;
        Bytes prefix;
    } rows[] = {
        {0, Hex("00")},
        {1, Hex("01")},
        {254, Hex("FE")},
        {255, Hex("FF FF 00")},
        {65533, Hex("FF FD FF")},
        {65534, Hex("FF FF FF FE FF 00 00")},
        {70000, Hex("FF FF FF 70 11 01 00")},
    };
    for (const Row& row : rows) {
        const std::string text(row.length, 'a');
        const Bytes bytes = Written([&](CArchive& ar) { ar.WriteText(text); });
        ASSERT_EQ(bytes.size(), row.prefix.size() + row.length) << row.length;
        EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(row.prefix.size())), row.prefix)
            << row.length;
        CArchive in(bytes);
        EXPECT_EQ(in.ReadText(), text) << row.length;
        EXPECT_TRUE(in.Ok());
        EXPECT_EQ(in.Remaining(), 0u);
    }
}

TEST(ArchiveText, Windows1252BytesRoundTripThroughUtf8)
{
    Bytes all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<uint8_t>(b));
    Bytes encoded = Cat({Hex("FF FF 00"), all});
    CArchive in(encoded);
    const std::string utf8 = in.ReadText();
    ASSERT_TRUE(in.Ok());
    EXPECT_NE(utf8.find("\xE2\x82\xAC"), std::string::npos);   // 0x80 is the euro sign
    EXPECT_NE(utf8.find("\xC3\xA9"), std::string::npos);       // 0xE9 is e acute
    EXPECT_EQ(Written([&](CArchive& ar) { ar.WriteText(utf8); }), encoded);
    EXPECT_EQ(Utf8ToCp1252("\xE2\x98\x83"), "?");                // a snowman has no byte
    EXPECT_EQ(Cp1252Length("D\xC3\xA9j\xC3\xA0"), 4u);
}

TEST(ArchiveText, SixteenBitFormIsRead)
{
    // "é€" then a snowman that Windows-1252 cannot hold.
    const Bytes bytes = Hex("FF FE FF 03 E9 00 AC 20 03 26");
    CArchive in(bytes);
    EXPECT_EQ(in.ReadText(), "\xC3\xA9\xE2\x82\xAC?");
    EXPECT_TRUE(in.Ok());
    EXPECT_EQ(in.Remaining(), 0u);
}

TEST(ArchiveTags, LaterObjectsOfAClassUseItsIndex)
{
    const Bytes bytes = Written([](CArchive& ar) {
        ar.WriteClassTag("CEnvDef", 1);
        ar.WriteClassTag("CBoardDef", 3);
        ar.WriteClassTag("CBoardDef", 3);
        ar.WriteClassTag("CEnvDef", 1);
    });
    EXPECT_EQ(bytes, Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnvDef"), Hex("FF FF 03 00 09 00"),
                          Ascii("CBoardDef"), Hex("02 80 01 80")}));
    Bytes otherSchema = bytes;
    otherSchema[2] = 0x63;   // any schema is handed over
    CArchive in(otherSchema);
    EXPECT_EQ(in.ReadClassTag("CEnvDef"), 0x63);
    EXPECT_EQ(in.ReadClassTag("CBoardDef"), 3);
    EXPECT_EQ(in.ReadClassTag("CBoardDef"), 3);   // carries the class's schema
    EXPECT_EQ(in.ReadClassTag("CEnvDef"), 0x63);
    EXPECT_TRUE(in.Ok());
}

TEST(ArchiveErrors, BadInputIsAFormatErrorThatSticks)
{
    const Bytes name63(63, 'X');
    struct Row {
        const char* what;
        Bytes bytes;
        std::function<void(CArchive&)> read;
    } rows[] = {
        {"name of 64 bytes", Cat({Hex("FF FF 01 00 40 00"), Bytes(64, 'C')}),
         [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"name of 200 bytes", Cat({Hex("FF FF 01 00 C8 00"), Bytes(200, 'C')}),
         [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"63-byte name that is not the class", Cat({Hex("FF FF 01 00 3F 00"), name63}),
         [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"unexpected class", Cat({Hex("FF FF 01 00 0A 00"), Ascii("CUpdateDoc")}),
         [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"index 0", Hex("00 80"), [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"index unknown", Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnvDef"), Hex("02 80")}),
         [](CArchive& ar) {
             ar.ReadClassTag("CEnvDef");
             ar.ReadClassTag("CBoardDef");
         }},
        {"index of another class", Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnvDef"), Hex("01 80")}),
         [](CArchive& ar) {
             ar.ReadClassTag("CEnvDef");
             ar.ReadClassTag("CBoardDef");
         }},
        {"big object tag", Hex("FF 7F 01 00 00 00"), [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"object reference", Hex("01 00"), [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"tag cut", Hex("FF"), [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"name cut", Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnv")}),
         [](CArchive& ar) { ar.ReadClassTag("CEnvDef"); }},
        {"text length of 4 GB", Hex("FF FF FF FF FF FF FF 41 42"), [](CArchive& ar) { ar.ReadText(); }},
        {"text longer than the data", Hex("05 41 42"), [](CArchive& ar) { ar.ReadText(); }},
        {"16-bit text longer than the data", Hex("FF FE FF 02 41 00"), [](CArchive& ar) { ar.ReadText(); }},
        {"16-bit marker twice", Hex("FF FE FF FF FE FF 00"), [](CArchive& ar) { ar.ReadText(); }},
        {"integer cut", Hex("01 02 03"), [](CArchive& ar) { ar.ReadInt(); }},
    };
    for (const Row& row : rows) {
        CArchive ar(row.bytes);
        row.read(ar);
        EXPECT_FALSE(ar.Ok()) << row.what;
        // Once failed, reads give nothing and the error stays.
        EXPECT_EQ(ar.ReadInt(), 0) << row.what;
        EXPECT_EQ(ar.ReadText(), "") << row.what;
        EXPECT_FALSE(ar.Ok()) << row.what;
    }
}

TEST(ArchiveErrors, CountsAreCheckedAgainstTheBytesLeft)
{
    CArchive ar(Zeros(100));
    EXPECT_TRUE(ar.CheckCount(50, 2));
    EXPECT_FALSE(ar.CheckCount(int64_t{1} << 31, 62));
    EXPECT_FALSE(ar.Ok());
    CArchive negative(Zeros(10));
    EXPECT_FALSE(negative.CheckCount(-1, 2));
}

}   // namespace
