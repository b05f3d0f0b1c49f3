#pragma once
// CFileBase and its four readers: recognise a release file's format, read it
// as addressed blocks and convert it into its .vle file.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "release/BufferedFile.h"
#include "release/VleFile.h"

// Release format type codes, written into the .vle trailer.
enum ReleaseType {
    RELEASE_SRECORD = 0,
    RELEASE_ABSOLUTE = 1,
    RELEASE_IEEE695 = 2,
    RELEASE_ANY = 3,
};

// Readers of formats the four types do not name. Their .vle files carry the
// type of the nearest kind, with its record length, so that any reader of
// .vle files takes them.
enum ReleaseReader {
    READER_INTEL_HEX = 16,   // written as S-records (type 0)
    READER_ELF = 17,         // written as an absolute file (type 1)
};

// The .vle type of a reader code: the code itself for the four types, the
// nearest kind for the others, -1 for no reader.
int VleTypeOf(int reader);

// Results of the conversion driver.
enum ConvertResult {
    CONVERT_OK = 0,            // converted, or already up to date
    CONVERT_NO_SPACE = 1,      // not enough disk space
    CONVERT_BAD_FORMAT = 2,    // format not recognised or bad header
    CONVERT_VLE_ERROR = 3,     // the .vle file could not be created or written
    CONVERT_READ_ERROR = 4,    // read or format error in the release file
    CONVERT_ABORTED = 5,       // stopped by the user
};

// Receives the conversion's percentage (the view's progress bar, a terminal line...).
class CProgressIndicator {
public:
    virtual ~CProgressIndicator() = default;
    virtual void SetPos(int percent) = 0;
};

constexpr int BLOCK_BUFFER_SIZE = 255;

class CFileBase {
public:
    virtual ~CFileBase();

    void SetSource(const std::string& path, CProgressIndicator* progress);
    virtual int OpenRelease();
    void Close();
    // 1 when the open file is of this reader's format.
    virtual int Recognise() { return 0; }
    // Reads the next block into `buffer` (BLOCK_BUFFER_SIZE bytes); returns its
    // byte count with m_nBlockAddress set, 0 at the end of the data, -1 on a
    // read or format error.
    virtual int ReadBlock(uint8_t* /*buffer*/, int /*max*/) { return 0; }
    // The conversion driver; returns a ConvertResult.
    virtual int ConvertToVle() { return 0; }
    // What the file was read as, for people: "S-records (S3, 32-bit addresses)".
    virtual std::string FormatName() const = 0;
    // The first fault found in the file, where it lies ("line 12: checksum
    // error"); empty when none was found.
    const std::string& Problem() const { return m_strProblem; }

    // 1 when the .vle file is up to date for this release; never when
    // another release file beside it shares its .vle name.
    int IsConverted();
    int HasDiskSpace();
    int CreateVle();
    // Packing of the records; the setting "Pack release records" unless set
    // here. A packed conversion joins consecutive data into records of the
    // full length (CRecordPacker), and only a packed .vle file is up to date
    // for it; an unpacked conversion takes any up-to-date file.
    void SetPacking(bool pack) { m_bPack = pack; }
    bool Packing() const { return m_bPack; }
    // True when the release's .vle file holds the records packing gives.
    bool VleIsPacked();

    int Type() const { return m_nType; }
    const std::string& VlePath() const { return m_strVlePath; }

    std::string m_strPath;
    std::string m_strVlePath;
    uint8_t m_block[BLOCK_BUFFER_SIZE] = {};
    CProgressIndicator* m_pProgress = nullptr;
    std::unique_ptr<CVleFile> m_pVle;
    int m_nType = -1;
    int m_nAddrWidth = 4;
    int m_nFrameSize = 0;
    float m_fSizeFactor = 1.0f;
    int64_t m_nFileSize = 0;
    int64_t m_nFileTime = 0;
    int64_t m_nBytesRead = 0;
    uint32_t m_nBlockAddress = 0;

protected:
    CFileBase(int type, float sizeFactor, int addrWidth);

    // The steps shared by every reader's ConvertToVle.
    int RunConversion();
    // Reads what comes before the data; false on a bad header.
    virtual bool ReadPreamble() = 0;
    // Largest block asked of ReadBlock.
    virtual int BlockRequest() const { return 32; }
    // Data bytes per .vle record.
    virtual int RecordLength() const { return m_nFrameSize - m_nAddrWidth - 3; }
    // Learns the address width that the format states in the file (the
    // record length follows from it); false when the file does not state it.
    virtual bool ReadAddressWidth() { return true; }
    // Logs that the file contradicts itself at `offset` and returns -1, the
    // read error of ReadBlock.
    int InconsistentAt(const std::string& what, int64_t offset);
    // Notes the first fault of the file for Problem().
    void Problem(const std::string& text);
    // A damaged line of a text release: named in the problem and the log; -1.
    int BadLine(long lineNumber, const std::string& what);

    CBufferedFile m_file;

private:
    int FrameSizeFor(int width) const;
    // The record length of this file's kind, within what a reader accepts.
    int VleRecordLength() const { return std::min(RecordLength(), VLE_MAX_DATA); }
    bool WriteBlockRecords(int count, long& records);
    bool IsPackedVle(CVleFile& vle);
    void ReportProgress(int& lastPercent);
    bool UserStopped();
    bool VleIsReleaseFile() const;

    bool m_bPack = false;
    std::string m_strProblem;
    bool m_bPumped = false;                      // events pumped in this conversion
    int m_nBlocksSincePump = 0;
    std::chrono::steady_clock::duration m_lastPump{};
};

class CFileSrecord : public CFileBase {
public:
    CFileSrecord() : CFileBase(RELEASE_SRECORD, 0.534f, 4) {}
    int Recognise() override;
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }
    std::string FormatName() const override;

protected:
    bool ReadPreamble() override;
    bool ReadAddressWidth() override { return Recognise() == 1; }

private:
    static bool LooksLikeRecord(const std::string& line);
    static bool IsRecordLine(std::string_view line);
    bool FindDataTag(std::string line);
    void SetTags(char data, char end, int width);
    CBufferedFile::LineResult ReadRecordLine();
    int BadLine(const std::string& what);
    int DecodeDataLine(uint8_t* buffer);
    char m_dataTag[3] = "S3";
    char m_endTag[3] = "S7";
    std::string_view m_line;   // the line last read; valid until the next read
    long m_nLineNumber = 0;   // of m_line in the file, from 1
    bool m_bEndRecordSeen = false;
    bool m_bDataEnded = false;
};

class CFileAbsolute : public CFileBase {
public:
    CFileAbsolute() : CFileBase(RELEASE_ABSOLUTE, 1.2f, 4) {}
    int Recognise() override;
    std::string FormatName() const override { return "absolute file"; }
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }

    uint16_t m_nHeaderWord1 = 0;   // second and third words of the second header
    uint16_t m_nHeaderWord2 = 0;

protected:
    bool ReadPreamble() override { return Recognise() == 1; }
};

class CFileIeee695 : public CFileBase {
public:
    CFileIeee695() : CFileBase(RELEASE_IEEE695, 1.09f, 4) {}
    int Recognise() override;
    std::string FormatName() const override { return "IEEE 695 object module"; }
    // 1 when the header part names an address width and a data part that
    // begins with a section; leaves the file at its start.
    int HasValidHeader();
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }

protected:
    bool ReadPreamble() override;
    bool ReadAddressWidth() override { return HasValidHeader() == 1; }
    int RecordLength() const override { return m_nFrameSize - m_nAddrWidth - 1; }

private:
    bool ReadNumber(uint32_t& value);
    int HandleAssignment();
    int HandleSectionBegin();
    int HandleLoadData();
    int HandleRepeat();
    int CopyLoadData(uint8_t* buffer, int room);
    int DeliverBlock(int count);

    uint32_t m_nSection = 0;
    uint64_t m_nCurAddress = 0;
    bool m_bEnded = false;
    // Load data being copied: file offset and length of its data, bytes left
    // of the current delivery, deliveries left after this one.
    int64_t m_nLdStart = 0;
    uint32_t m_nLdLength = 0;
    uint32_t m_nLdLeft = 0;
    uint32_t m_nRepeatsLeft = 0;
    uint32_t m_nRepeatNext = 1;    // deliveries of the next load-data record
};

class CFileAny : public CFileBase {
public:
    CFileAny() : CFileBase(RELEASE_ANY, 1.1f, 4) {}
    int Recognise() override;
    std::string FormatName() const override
    {
        return "raw image (no format recognised: the file's bytes are loaded as they are, from address 0)";
    }
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }

protected:
    bool ReadPreamble() override { return m_file.Seek(0); }
    int BlockRequest() const override { return VLE_MAX_DATA; }

private:
    uint64_t m_nNextAddress = 0;
};

// Intel HEX (data, end of file, extended segment and linear address records).
class CFileIntelHex : public CFileBase {
public:
    CFileIntelHex() : CFileBase(READER_INTEL_HEX, 0.534f, 4) {}
    int Recognise() override;
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }
    std::string FormatName() const override;

protected:
    bool ReadPreamble() override;

private:
    int BadLine(const std::string& what);
    std::string m_line;
    long m_nLineNumber = 0;   // of m_line in the file, from 1
    uint32_t m_nBase = 0;     // of the last extended address record
    bool m_bExtended = false;
    bool m_bEndSeen = false;
    bool m_bDataEnded = false;
};

// ELF executables: the bytes of their loadable segments at their physical
// addresses, in the order of those addresses.
class CFileElf : public CFileBase {
public:
    CFileElf() : CFileBase(READER_ELF, 1.2f, 4) {}
    int Recognise() override;
    int ReadBlock(uint8_t* buffer, int max) override;
    int ConvertToVle() override { return RunConversion(); }
    std::string FormatName() const override;

protected:
    bool ReadPreamble() override;
    int BlockRequest() const override { return BLOCK_BUFFER_SIZE; }

private:
    struct Segment {
        uint64_t offset;
        uint64_t address;
        uint64_t size;
    };
    // The ELF header and the program headers: the loadable segments with
    // bytes in the file, sorted by address; false with Problem() set.
    bool ReadSegments();
    uint64_t Field(const uint8_t* p, int size) const;

    bool m_b64 = false;
    bool m_bBigEndian = false;
    int m_nMachine = 0;
    std::vector<Segment> m_segments;
    size_t m_nSegment = 0;      // being read
    uint64_t m_nDone = 0;       // bytes of it read
};

// Reader code of a release file: 0 to 3 or a READER_ code, -1 when it is
// refused (empty, text or an archive, or not what its name says: see
// RecogniseRelease), -2 when the file does not exist.
int RecogniseReleaseFile(const std::string& path);
// A new reader for a reader code; null for any other code.
std::unique_ptr<CFileBase> CreateReader(int type);
