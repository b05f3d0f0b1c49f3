#include "link/DeviceSentence.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Field values are small numbers; anything beyond this is clamped rather than
// overflowing the conversion to an integer.
constexpr double kIntLimit = 2147483647.0;

}  // namespace

int DeviceSentence::Split(std::string_view text)
{
    m_text = text;
    m_starts.clear();
    if (text.empty())
        return 0;
    m_starts.push_back(0);
    for (size_t i = 0; i < text.size() && text[i] != '\r'; ++i) {
        if (text[i] == ',')
            m_starts.push_back(i + 1);
    }
    return Count();
}

size_t DeviceSentence::FieldEnd(size_t start) const
{
    size_t i = start;
    while (i < m_text.size() && m_text[i] != ',' && m_text[i] != '\r')
        ++i;
    return i;
}

size_t DeviceSentence::TextEnd(size_t start) const
{
    size_t end = FieldEnd(start);
    bool endsLine = end >= m_text.size() || m_text[end] == '\r';
    // A "*hh" checksum suffix before the line end is not part of the field;
    // it must lie inside this field, never before its start.
    if (endsLine && end >= start + 3 && m_text[end - 3] == '*')
        return end - 3;
    return end;
}

bool DeviceSentence::Char(int n, char& c) const
{
    if (n < 0 || n >= Count())
        return false;
    size_t i = m_starts[static_cast<size_t>(n)];
    while (i < m_text.size() && IsBlank(m_text[i]))
        ++i;
    c = i < m_text.size() ? m_text[i] : '\0';
    return true;
}

bool DeviceSentence::Int(int n, long& value) const
{
    if (n < 0 || n >= Count())
        return false;
    size_t start = m_starts[static_cast<size_t>(n)];
    size_t end = FieldEnd(start);
    while (start < end && IsBlank(m_text[start]))
        ++start;
    if (start < end && m_text[start] == '+')
        ++start;
    if (start >= end)
        return false;
    char first = m_text[start];
    bool numeric = (first >= '0' && first <= '9') || first == '.' || first == '-';
    if (!numeric)
        return false;   // refuses "inf", "nan" and the like
    double number = 0;
    auto [ptr, ec] = std::from_chars(m_text.data() + start, m_text.data() + end, number,
                                     std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        std::string_view digits = m_text.substr(start, end - start);
        bool tiny = digits.find("e-") != digits.npos || digits.find("E-") != digits.npos;
        number = tiny ? 0.0 : (first == '-' ? -kIntLimit : kIntLimit);
    }
    else if (ec != std::errc() || !std::isfinite(number))
        return false;
    if (number > kIntLimit)
        number = kIntLimit;
    if (number < -kIntLimit)
        number = -kIntLimit;
    value = static_cast<long>(std::trunc(number));
    return true;
}

bool DeviceSentence::Text(int n, std::string& text) const
{
    if (n < 0 || n >= Count())
        return false;
    size_t start = m_starts[static_cast<size_t>(n)];
    size_t end = TextEnd(start);
    if (end <= start)
        return false;
    text.assign(m_text.substr(start, end - start));
    return true;
}
