#pragma once
// DataRecord: one binary data record of the serial line.
//
//   0xFE 'X' L(2) type dest kind value(3) address(4) data... sum(2) 0xFF
//
// L counts the bytes from the type through the closing 0xFF; the sum is the
// 16-bit sum of the bytes from 'X' through the last data byte. Every byte
// between the start and the end byte that is 0xFD, 0xFE or 0xFF travels as
// 0xFD 0x00, 0xFD 0x01 or 0xFD 0x02. Multi-byte numbers are big-endian.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Destination index of a board definition -> destination code on the line.
inline constexpr std::array<uint8_t, 25> kDestinationCodes = {
    0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,   // "Port A" .. "Port H"
    0x10, 0x11, 0x12, 0x13,                           // "Dpram 1" .. "Dpram 4"
    0x20, 0x21, 0x22, 0x23, 0x24,                     // drives C: .. G:
    0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48};  // "Secteur 1" .. "Secteur 8"

// Processing index -> kind letter.
inline constexpr std::string_view kKindCodes = "RSBNCA";

inline constexpr uint8_t RECORD_START = 0xFE;
inline constexpr uint8_t RECORD_END = 0xFF;
inline constexpr uint8_t RECORD_ESCAPE = 0xFD;
inline constexpr uint8_t RECORD_TAG = 'X';
inline constexpr char RECORD_FIRST = 'L';
inline constexpr char RECORD_DATA = 'D';
inline constexpr char RECORD_CLOSING = 'F';
inline constexpr char RECORD_RESEND = 'R';

// Value of the 24-bit field in the first record of a transfer.
inline constexpr uint32_t RECORD_FIRST_VALUE = 0xFFFFFF;
// Destination index of a decoded record (the code is kept as received).
inline constexpr uint8_t RECORD_RECEIVED_DEST = 255;

class DataRecord {
public:
    static constexpr size_t kBufferSize = 255;   // stuffed record as sent
    static constexpr size_t kMinSize = 17;       // record without data bytes
    static constexpr size_t kHeaderSize = 14;    // start byte through address

    // Destination index 0..24 and kind index 0..5 (-1 stands for 3).
    bool SetDestination(int index);
    bool SetKind(int index);
    int Destination() const { return m_nDestIndex; }
    int KindIndex() const { return m_nKindIndex; }

    // Builds the record from a run of n bytes: 4 address bytes, the data
    // bytes and 2 bytes holding the 16-bit sum of the data bytes (6 zero
    // bytes for 'L' and 'F' records). The last two bytes start the checksum.
    // False when the destination or kind is unset or the record would not
    // fit the buffer once stuffed.
    bool Build(char type, const uint8_t* run, size_t n, uint32_t value);
    // Builds a record from its parts, computing the sum of the data bytes.
    bool BuildFrom(char type, uint32_t value, uint32_t address, const uint8_t* data, size_t n);

    // Decodes an unstuffed received record; every check must pass.
    bool Decode(const uint8_t* bytes, size_t size);
    bool Decode(std::string_view bytes)
    {
        return Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

    // What to write on the line: Length() + 4 bytes of the stuffed record.
    size_t SizeToWrite() const { return m_bBuilt ? static_cast<size_t>(m_nLength) + 4 : 0; }
    const uint8_t* BytesToWrite() const { return m_buffer.data(); }
    std::string WireBytes() const;

    // Length field: unstuffed L after Decode; L + stuffed bytes after Build.
    uint16_t Length() const { return m_nLength; }
    char Type() const { return m_cType; }
    uint8_t DestinationCode() const { return m_nDestCode; }
    char Kind() const { return m_cKind; }
    uint32_t Value() const { return m_nValue; }
    uint32_t Address() const { return m_nAddress; }
    const std::vector<uint8_t>& Data() const { return m_data; }

    // Unstuffs raw bytes; false on a 0xFD that is last or followed by
    // anything but 0x00, 0x01 or 0x02.
    static bool Unstuff(std::string_view raw, std::string& out);
    // Sum of bytes [first, last] of an unstuffed record, modulo 65 536.
    static uint16_t Sum(const uint8_t* bytes, size_t first, size_t last);

private:
    std::array<uint8_t, kBufferSize> m_buffer{};
    bool m_bBuilt = false;
    uint16_t m_nLength = 0;
    char m_cType = 0;
    int m_nDestIndex = -1;
    int m_nKindIndex = -1;
    uint8_t m_nDestCode = 0;
    char m_cKind = 0;
    uint32_t m_nValue = 0;
    uint32_t m_nAddress = 0;
    std::vector<uint8_t> m_data;
};

// Destination index -> code; 0 when outside the table.
uint8_t DestinationCode(int destIndex);
// Destination code -> index; -1 when unknown.
int DestinationIndexOfCode(uint8_t code);
