#include "release/VleDump.h"

#include "release/BufferedFile.h"
#include "release/VleFile.h"

namespace {

uint32_t BE(const uint8_t* p, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

void ReadRawHeaderAndTrailer(const std::string& path, VleSummary& s)
{
    CBufferedFile f;
    if (!f.Open(path))
        return;
    uint8_t header[VLE_HEADER_SIZE];
    if (f.Read(header, sizeof header) == sizeof header) {
        s.magic = BE(header, 4);
        s.version = static_cast<uint16_t>(BE(header + 4, 2));
        s.time = BE(header + 6, 4);
    }
    uint8_t trailer[VLE_TRAILER_SIZE];
    if (f.Length() >= VLE_HEADER_SIZE + VLE_TRAILER_SIZE && f.Seek(f.Length() - VLE_TRAILER_SIZE)
        && f.Read(trailer, sizeof trailer) == sizeof trailer) {
        s.trailerBackLink = static_cast<uint16_t>(BE(trailer, 2));
        s.trailerTotal = BE(trailer + 4, 4);
        s.trailerCount = BE(trailer + 8, 4);
    }
}

void CheckTotals(VleSummary& s, uint32_t lastSize, int64_t endOfRecords, int64_t length)
{
    if (s.trailerCount != static_cast<uint32_t>(s.records))
        s.errors.push_back("trailer counts " + std::to_string(s.trailerCount) + " records, the file holds "
                           + std::to_string(s.records));
    if (s.trailerTotal != s.dataBytes)
        s.errors.push_back("trailer counts " + std::to_string(s.trailerTotal) + " data bytes, the records hold "
                           + std::to_string(s.dataBytes));
    if (s.trailerBackLink != lastSize + VLE_TRAILER_SIZE)
        s.errors.push_back("trailer back link " + std::to_string(s.trailerBackLink) + " should be "
                           + std::to_string(lastSize + VLE_TRAILER_SIZE));
    if (endOfRecords + VLE_TRAILER_SIZE != length)
        s.errors.push_back("bytes between the last record and the trailer");
}

}  // namespace

std::string ReleaseTypeName(int type)
{
    static const char* const names[] = {"S-records", "absolute", "IEEE 695", "any"};
    return type >= 0 && type < 4 ? names[type] : "invalid";
}

VleSummary InspectVleFile(const std::string& path,
                          const std::function<void(const VleRecordInfo&)>& onRecord)
{
    VleSummary s;
    CVleFile vle;
    if (!vle.OpenForRead(path)) {
        s.errors.push_back("cannot open the file");
        return s;
    }
    s.opened = true;
    ReadRawHeaderAndTrailer(path, s);
    s.type = vle.CheckFile();
    if (s.type == VLE_INVALID_TYPE) {
        s.errors.push_back("no valid header and trailer");
        return s;
    }
    vle.Rewind();
    uint8_t block[VLE_BLOCK_SIZE];
    uint32_t lastSize = 0;
    int64_t position = VLE_HEADER_SIZE;
    int n = 0;
    while ((n = vle.GetBlock(block, -1, -1)) > 0) {
        VleRecordInfo r;
        r.number = vle.m_nRecord;
        r.backLink = vle.CurrentBackLink();
        r.address = vle.CurrentAddress();
        r.length = n;
        r.storedSum = static_cast<uint16_t>(BE(block + 4 + n, 2));
        uint32_t sum = 0;
        for (int i = 0; i < n; ++i)
            sum += block[4 + i];
        r.dataSum = static_cast<uint16_t>(sum);
        uint32_t size = static_cast<uint32_t>(n) + VLE_RECORD_OVERHEAD;
        uint32_t expectedLink = lastSize == 0 ? 0 : lastSize + size;
        if (r.backLink != expectedLink)
            s.errors.push_back("record " + std::to_string(r.number) + ": back link should be "
                               + std::to_string(expectedLink));
        if (!r.SumMatches())
            s.errors.push_back("record " + std::to_string(r.number) + ": sum does not match the data");
        ++s.records;
        s.dataBytes += static_cast<uint64_t>(n);
        lastSize = size;
        position += size;
        onRecord(r);
    }
    if (n < 0) {
        s.errors.push_back("record " + std::to_string(s.records + 1) + " cannot be read");
        return s;
    }
    CBufferedFile f;
    CheckTotals(s, lastSize, position, f.Open(path) ? f.Length() : 0);
    return s;
}
