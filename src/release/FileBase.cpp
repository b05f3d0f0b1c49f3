#include "release/FileBase.h"

#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "app/UpdateApp.h"
#include "release/ContentSniff.h"
#include "release/RecordPacker.h"

namespace {

// The user interface gets its events at most this often during a conversion;
// pumping after every tiny block would cost more than the conversion itself.
constexpr auto PUMP_INTERVAL = std::chrono::milliseconds(20);
// Blocks converted between two looks at the clock.
constexpr int PUMP_CLOCK_BLOCKS = 32;
// Free space asked for, relative to the expected size of the .vle file.
constexpr double DISK_SPACE_MARGIN = 1.5;

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CFileBase::CFileBase(int type, float sizeFactor, int addrWidth)
    : m_nType(type), m_nAddrWidth(addrWidth), m_fSizeFactor(sizeFactor), m_bPack(App().m_bPackRecords)
{
}

CFileBase::~CFileBase() = default;

void CFileBase::SetSource(const std::string& path, CProgressIndicator* progress)
{
    m_strPath = path;
    m_pProgress = progress;
}

int VleTypeOf(int reader)
{
    switch (reader) {
    case RELEASE_SRECORD:
    case RELEASE_ABSOLUTE:
    case RELEASE_IEEE695:
    case RELEASE_ANY: return reader;
    case READER_INTEL_HEX: return RELEASE_SRECORD;
    case READER_ELF: return RELEASE_ABSOLUTE;
    default: return -1;
    }
}

int CFileBase::OpenRelease()
{
    struct stat st {};
    if (m_strPath.empty() || ::stat(m_strPath.c_str(), &st) != 0)
        return 0;
    if (VleTypeOf(m_nType) < 0)
        return 0;
    if (!m_file.Open(m_strPath))
        return 0;
    m_nFileTime = st.st_mtime;
    m_nFileSize = m_file.Length();
    return 1;
}

void CFileBase::Close()
{
    if (m_pVle)
        m_pVle->Close();
    m_pVle.reset();
    m_file.Close();
}

int CFileBase::IsConverted()
{
    // The .vle of a reader without a type of its own carries its nearest
    // kind's type, as one made from an S-record or absolute file of the same
    // name would: it cannot be told apart, so it is made again each time.
    if (m_strPath.empty() || VleTypeOf(m_nType) != m_nType)
        return 0;
    // Another release file of the same stem makes the same .vle file: what
    // it holds may be the other's data, made in the same second.
    if (!ReleasesSharingVle(m_strPath).empty())
        return 0;
    CVleFile vle;
    if (!vle.OpenForRead(VlePathFor(m_strPath)))
        return 0;
    int type = vle.CheckFile();
    bool upToDate = type == VleTypeOf(m_nType)
                    && vle.HeaderTime() == static_cast<uint32_t>(m_nFileTime)
                    && vle.HeaderVersion() == static_cast<uint16_t>(App().m_nVersion)
                    && (!m_bPack || IsPackedVle(vle));
    vle.Close();
    return upToDate ? 1 : 0;
}

// A file converted without packing is converted again once packing is asked for.
bool CFileBase::IsPackedVle(CVleFile& vle)
{
    if (!ReadAddressWidth())
        return false;
    m_nFrameSize = FrameSizeFor(m_nAddrWidth);
    return VleRecordsPacked(vle, VleRecordLength());
}

bool CFileBase::VleIsPacked()
{
    CVleFile vle;
    if (!vle.OpenForRead(VlePathFor(m_strPath)) || vle.CheckFile() == VLE_INVALID_TYPE)
        return false;
    const bool packed = IsPackedVle(vle);
    vle.Close();
    return packed;
}

int CFileBase::HasDiskSpace()
{
    struct statvfs fs {};
    if (::statvfs(DirectoryOf(VlePathFor(m_strPath)).c_str(), &fs) != 0)
        return 0;
    double needed = static_cast<double>(m_nFileSize) * m_fSizeFactor * DISK_SPACE_MARGIN;
    double available = static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize);
    return needed <= available ? 1 : 0;
}

int CFileBase::FrameSizeFor(int width) const
{
    if (width == 3)
        return 22;
    if (width == 4)
        return m_nType == RELEASE_ANY ? 107 : 71;
    return 22;
}

// Converting a file named like its own .vle file would truncate the release.
bool CFileBase::VleIsReleaseFile() const
{
    struct stat release {}, vle {};
    if (::stat(m_strPath.c_str(), &release) != 0 || ::stat(m_strVlePath.c_str(), &vle) != 0)
        return false;
    return release.st_dev == vle.st_dev && release.st_ino == vle.st_ino;
}

int CFileBase::CreateVle()
{
    m_strVlePath = VlePathFor(m_strPath);
    m_nFrameSize = FrameSizeFor(m_nAddrWidth);
    if (VleIsReleaseFile())
        return 1;
    m_pVle = std::make_unique<CVleFile>();
    if (!m_pVle->Create(m_strVlePath))
        return 1;
    if (m_pProgress)
        m_pProgress->SetPos(0);
    m_nBytesRead = 0;
    if (!m_pVle->WriteHeader(static_cast<uint32_t>(m_nFileTime),
                             static_cast<uint16_t>(App().m_nVersion)))
        return 2;
    return 0;
}

bool CFileBase::WriteBlockRecords(int count, long& records)
{
    int recordLength = VleRecordLength();
    if (recordLength < 1)
        return false;
    for (int written = 0; written < count;) {
        int len = std::min(recordLength, count - written);
        uint32_t address = m_nBlockAddress + static_cast<uint32_t>(written);
        if (!m_pVle->WriteRecord(address, len, m_block + written))
            return false;
        written += len;
        ++records;
    }
    return true;
}

void CFileBase::ReportProgress(int& lastPercent)
{
    if (!m_pProgress || m_nFileSize <= 0)
        return;
    int64_t percent = std::min<int64_t>(100, m_nBytesRead * 100 / m_nFileSize);
    if (percent != lastPercent) {   // the same value again would change nothing
        lastPercent = static_cast<int>(percent);
        m_pProgress->SetPos(lastPercent);
    }
}

bool CFileBase::UserStopped()
{
    // Reading the clock after every block of a few bytes costs more than
    // the block; every few dozen blocks is still well within the interval.
    if (m_bPumped && ++m_nBlocksSincePump < PUMP_CLOCK_BLOCKS)
        return false;
    m_nBlocksSincePump = 0;
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    if (m_bPumped && now - m_lastPump < PUMP_INTERVAL)
        return false;
    m_bPumped = true;
    m_lastPump = now;
    return App().PumpMessages() == 1;   // reports the host's abort key
}

int CFileBase::InconsistentAt(const std::string& what, int64_t offset)
{
    App().WriteLogNote(what + " at byte " + std::to_string(offset) + " of \"" + m_strPath + "\"\r\n");
    Problem("byte " + std::to_string(offset) + ": " + what);
    return -1;
}

void CFileBase::Problem(const std::string& text)
{
    if (m_strProblem.empty()) m_strProblem = text;
}

int CFileBase::RunConversion()
{
    if (!m_file.IsOpen() || Recognise() != 1)
        return CONVERT_BAD_FORMAT;
    if (IsConverted())
        return CONVERT_OK;
    if (!HasDiskSpace())
        return CONVERT_NO_SPACE;
    int result = CONVERT_OK;
    if (CreateVle() != 0) {
        result = CONVERT_VLE_ERROR;
    } else if (!ReadPreamble()) {
        result = CONVERT_BAD_FORMAT;
    } else {
        // An IEEE 695 module gives its address width only in its header part.
        m_nFrameSize = FrameSizeFor(m_nAddrWidth);
        m_bPumped = false;
        m_nBlocksSincePump = 0;
        long records = 0;
        int lastPercent = -1;
        int count = 0;
        bool stopped = false;
        bool writeFailed = false;
        CRecordPacker packer(VleRecordLength(), [this, &records](uint32_t address, int len, const uint8_t* data) {
            ++records;
            return m_pVle->WriteRecord(address, len, data);
        });
        while ((count = ReadBlock(m_block, BlockRequest())) > 0) {
            const bool written = m_bPack ? packer.Add(m_nBlockAddress, m_block, count)
                                         : WriteBlockRecords(count, records);
            if (!written) {
                writeFailed = true;
                break;
            }
            ReportProgress(lastPercent);
            if (UserStopped()) {
                stopped = true;
                break;
            }
        }
        // A read error or a stop leaves the record being packed unwritten:
        // the file gets no trailer and is never taken for a conversion.
        if (writeFailed)
            result = CONVERT_VLE_ERROR;
        else if (count < 0)
            result = CONVERT_READ_ERROR;
        else if (stopped)
            result = CONVERT_ABORTED;
        else if (!packer.Flush() || !m_pVle->WriteTrailer(VleTypeOf(m_nType), static_cast<uint32_t>(records)))
            result = CONVERT_VLE_ERROR;
        else if (m_pProgress)
            m_pProgress->SetPos(100);
    }
    if (m_pVle)
        m_pVle->Close();
    m_pVle.reset();
    return result;
}

std::unique_ptr<CFileBase> CreateReader(int type)
{
    switch (type) {
    case RELEASE_SRECORD: return std::make_unique<CFileSrecord>();
    case RELEASE_ABSOLUTE: return std::make_unique<CFileAbsolute>();
    case RELEASE_IEEE695: return std::make_unique<CFileIeee695>();
    case RELEASE_ANY: return std::make_unique<CFileAny>();
    case READER_INTEL_HEX: return std::make_unique<CFileIntelHex>();
    case READER_ELF: return std::make_unique<CFileElf>();
    default: return nullptr;
    }
}

int RecogniseReleaseFile(const std::string& path)
{
    return RecogniseRelease(path).type;
}

int CFileBase::BadLine(long lineNumber, const std::string& what)
{
    Problem("line " + std::to_string(lineNumber) + ": " + what);
    App().WriteLogNote("Bad line " + std::to_string(lineNumber) + " (" + what + ") of \"" + m_strPath + "\"\r\n");
    return -1;
}
