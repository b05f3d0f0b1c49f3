// What a release file's content is, against what its name says: files built
// by objcopy, gcc, zip, gzip, xz and tar; text and archives never taken for
// raw images; two release files that share one .vle name.
#include <gtest/gtest.h>

#include "ImportTestFixture.h"
#include "app/Strings.h"
#include "release/ContentSniff.h"
#include "release/Import.h"

namespace {

class Content : public ImportTest {
protected:
    // Runs a shell command in the test's directory; the test fails when it does.
    void Make(const std::string& command)
    {
        ASSERT_EQ(RunTool("cd '" + m_dir.Path() + "' && " + command), 0) << command;
    }
    std::string P(const std::string& name) const { return m_dir / name; }
};

TEST_F(Content, NameAndContentDecide)
{
    Bytes data = RandomBytes(3000, 11);
    data[0] = 0x00;   // no absolute or IEEE 695 header by chance
    WriteFile(P("data.bin"), data);
    WriteText(P("notes.txt"), "Release notes: load dsp.elf first.\n");
    WriteText(P("fw.c"), "int main(void) { return 0; }\n");
    Make("objcopy -I binary -O srec --srec-forceS3 data.bin fw.s19 && cp fw.s19 srec.hex && cp fw.s19 srec.ihex");
    Make("objcopy -I binary -O ihex data.bin fw.hex");
    Make("gcc -o fw.elf fw.c && cp fw.elf elf.s19 && cp fw.elf elf.bin");
    Make("cp notes.txt dsp.elf && cp notes.txt text.bin && cp notes.txt text.x30");
    Make("zip -q rel.zip data.bin && cp rel.zip rel.bin && gzip -c data.bin > data.bin.gz && "
         "xz -c data.bin > rel.xz && tar cf rel.tar data.bin notes.txt && cp rel.tar rel.img");
    // An image padded with erased flash: no control byte in its first 4 KiB.
    Bytes padded(5000, 0xFF);
    padded.insert(padded.end(), data.begin(), data.end());
    WriteFile(P("padded.bin"), padded);
    WriteText(P("latin1.dat"), "R\xE9vision 2 : corrig\xE9 le d\xE9marrage.\r\n");
    WriteText(P("utf8"), "R\xC3\xA9vision 2\n");

    const struct {
        std::string name;
        int type;
        ContentKind content;
        std::string refusal;   // part of it
    } rows[] = {
        {"fw.s19", RELEASE_SRECORD, CONTENT_SRECORD, ""},
        {"fw.hex", READER_INTEL_HEX, CONTENT_INTEL_HEX, ""},
        {"srec.hex", RELEASE_SRECORD, CONTENT_SRECORD, ""},   // ".hex" is either text format
        {"srec.ihex", -1, CONTENT_SRECORD, "named as Intel HEX but it looks like S-records"},
        {"fw.elf", READER_ELF, CONTENT_ELF, ""},
        {"elf.bin", READER_ELF, CONTENT_ELF, ""},   // a raw name: the content decides
        {"elf.s19", -1, CONTENT_ELF, "named as S-records but it looks like an ELF file"},
        {"dsp.elf", -1, CONTENT_TEXT, "named as an ELF file but it looks like text"},
        {"text.x30", -1, CONTENT_TEXT, "named as an IEEE 695 module but it looks like text"},
        {"notes.txt", -1, CONTENT_TEXT, "it looks like text, which is never loaded as a raw image"},
        {"text.bin", -1, CONTENT_TEXT, "never loaded as a raw image"},
        {"latin1.dat", -1, CONTENT_TEXT, "looks like text"},
        {"utf8", -1, CONTENT_TEXT, "looks like text"},
        {"rel.zip", -1, CONTENT_ZIP, "it looks like a zip archive"},
        {"rel.bin", -1, CONTENT_ZIP, "it looks like a zip archive"},
        {"data.bin.gz", -1, CONTENT_GZIP, "a gzip-compressed file"},
        {"rel.xz", -1, CONTENT_XZ, "an xz-compressed file"},
        {"rel.tar", -1, CONTENT_TAR, "a tar archive"},
        {"rel.img", -1, CONTENT_TAR, "a tar archive"},
        {"data.bin", RELEASE_ANY, CONTENT_BINARY, ""},
        {"padded.bin", RELEASE_ANY, CONTENT_BINARY, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ReleaseRecognition r = RecogniseRelease(P(row.name));
        EXPECT_EQ(r.type, row.type);
        EXPECT_EQ(r.content, row.content);
        EXPECT_EQ(RecogniseReleaseFile(P(row.name)), row.type);
        if (row.refusal.empty())
            EXPECT_EQ(r.refusal, "");
        else
            EXPECT_NE(r.refusal.find(row.refusal), std::string::npos) << r.refusal;
        // Forced, any non-empty file is a raw image.
        EXPECT_EQ(RecogniseRelease(P(row.name), true).type, RELEASE_ANY);
    }
}

TEST_F(Content, ImportRefusesWithMessage10AndLoadsRawOnlyWhenForced)
{
    WriteText(P("dsp.elf"), "just one line of text\n");
    ImportOutcome refused = ImportReleasePath(P("dsp.elf"), nullptr, true);
    EXPECT_EQ(refused.code, IMPORT_UNKNOWN_FORMAT);
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.message, FormatString(10, {P("dsp.elf")}));
    EXPECT_EQ(refused.problem, "named as an ELF file but it looks like text");
    EXPECT_NE(Log().find("; \"" + P("dsp.elf") + "\": named as an ELF file but it looks like text\r\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(P("dsp.vle")));

    ImportOutcome forced = ImportReleasePath(P("dsp.elf"), nullptr, true, true);
    ASSERT_EQ(forced.code, CONVERT_OK);
    const auto records = ReadVleRecords(P("dsp.vle"));
    EXPECT_EQ(ImageOf(records), ReadFile(P("dsp.elf")));
    CVleFile vle;
    ASSERT_TRUE(vle.OpenForRead(P("dsp.vle")));
    EXPECT_EQ(vle.CheckFile(), RELEASE_ANY);
}

// notes.s19 and notes.mot, made in the same second, both give notes.vle: the
// .vle is never trusted for either, and each import says that they share it.
TEST_F(Content, ReleasesSharingOneVleAreConvertedEveryTime)
{
    WriteFile(P("a.bin"), RandomBytes(500, 1));
    WriteFile(P("b.bin"), RandomBytes(500, 2));
    Make("objcopy -I binary -O srec a.bin notes.s19 && objcopy -I binary -O srec b.bin notes.mot");
    WriteText(P("notes.txt"), "not a release: it does not count\n");
    WriteFile(P("notes.sfl"), RandomBytes(200, 3));   // nor does a request loading it
    SetTime(P("notes.s19"), 1000000000);
    SetTime(P("notes.mot"), 1000000000);
    EXPECT_EQ(ReleasesSharingVle(P("notes.s19")), std::vector<std::string>{"notes.mot"});

    const std::string shared = "\"notes.mot\" and \"notes.s19\" share one .vle file (notes.vle): "
                               "it is made again at every conversion.\r\n";
    for (const auto& [name, data] : {std::pair{"notes.s19", "a.bin"}, {"notes.mot", "b.bin"}, {"notes.mot", "b.bin"},
                                     {"notes.s19", "a.bin"}}) {
        SCOPED_TRACE(name);
        const ImportOutcome out = ImportReleasePath(P(name), nullptr, false);
        EXPECT_EQ(out.code, CONVERT_OK);
        EXPECT_EQ(ImageOf(ReadVleRecords(P("notes.vle"))), ReadFile(P(data)));
        const std::string other = std::string(name) == "notes.s19" ? "notes.mot" : "notes.s19";
        EXPECT_EQ(out.sharing, std::vector<std::string>{other});
        EXPECT_EQ(out.message, GetString(48) + "(" + P("notes.vle") + ")\r\n" +
                                   (other == "notes.mot" ? "\"notes.s19\" and \"notes.mot\" share one .vle file "
                                                           "(notes.vle): it is made again at every conversion.\r\n"
                                                         : shared));
    }

    // Alone again, an up-to-date .vle is trusted as before.
    std::filesystem::remove(P("notes.mot"));
    EXPECT_EQ(ImportReleasePath(P("notes.s19"), nullptr, false).code, IMPORT_ALREADY_CONVERTED);
}

}  // namespace
