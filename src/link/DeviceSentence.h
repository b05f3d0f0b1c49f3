#pragma once
// DeviceSentence: the field reader of one received "$PKVR" sentence.
// Field 0 is "$PKVR", field 1 the type, field 2 the first parameter.
// The reader keeps a view of the text (no copy): the text must outlive it.
#include <string>
#include <string_view>
#include <vector>

class DeviceSentence {
public:
    DeviceSentence() = default;
    explicit DeviceSentence(std::string_view text) { Split(text); }
    // A temporary would leave the reader pointing at freed memory.
    explicit DeviceSentence(std::string&&) = delete;

    // Cuts the text into fields; returns the field count.
    int Split(std::string_view text);

    int Count() const { return static_cast<int>(m_starts.size()); }
    // First character of field n after leading blanks; for an empty field the
    // character that ends it (',' or CR, NUL at the end of the text).
    bool Char(int n, char& c) const;
    // Decimal number of field n (leading blanks skipped), truncated toward zero.
    bool Int(int n, long& value) const;
    // Characters of field n without its star suffix; false when empty.
    bool Text(int n, std::string& text) const;

private:
    size_t FieldEnd(size_t start) const;      // next ',' or CR or end of text
    size_t TextEnd(size_t start) const;       // FieldEnd without the "*hh" suffix

    std::string_view m_text;
    std::vector<size_t> m_starts;
};
