#pragma once
// Hexadecimal text of the text release formats: digits by table, decoded a
// pair at a time, with one test for a bad digit per run rather than per digit.
#include <array>
#include <cstddef>
#include <cstdint>

namespace hextext {

// Value of each character as a hex digit (upper or lower case), -1 for any other.
constexpr std::array<int8_t, 256> MakeDigitTable()
{
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            table[c] = static_cast<int8_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            table[c] = static_cast<int8_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            table[c] = static_cast<int8_t>(c - 'A' + 10);
        else
            table[c] = -1;
    }
    return table;
}

inline constexpr std::array<int8_t, 256> kDigit = MakeDigitTable();

inline int Digit(char c) { return kDigit[static_cast<uint8_t>(c)]; }

// Value of every two-character text read as a hex pair, indexed by the first
// character plus 256 times the second; -1 when either is no hex digit.
const int16_t* PairTable();

// Decodes `pairs` hex pairs of `text` into `out` and adds their values to
// `sum`; false when a character is not a hex digit (`out` and `sum` then
// hold garbage).
inline bool DecodePairs(const char* text, size_t pairs, uint8_t* out, unsigned& sum)
{
    const int16_t* table = PairTable();
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    int bad = 0;   // the sign bit is set once any pair was -1
    unsigned total = 0;
    for (size_t i = 0; i < pairs; ++i) {
        const int value = table[p[2 * i] | p[2 * i + 1] << 8];
        bad |= value;
        out[i] = static_cast<uint8_t>(value);
        total += static_cast<uint8_t>(value);
    }
    sum += total;
    return bad >= 0;
}

// True when every one of the `n` characters is a hex digit.
inline bool AllDigits(const char* text, size_t n)
{
    int bad = 0;
    for (size_t i = 0; i < n; ++i)
        bad |= Digit(text[i]);
    return bad >= 0;
}

}  // namespace hextext
