// The settings-file reader and writer.
#include "app/IniFile.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::string Trim(const std::string& s)
{
    const char* blanks = " \t\r\n";
    const std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return std::string();
    const std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "[name]" (blanks allowed around it, text after ']' ignored) -> name.
bool SectionHeader(const std::string& line, std::string& name)
{
    const std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool IsComment(const std::string& trimmed)
{
    return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
}

}  // namespace

bool CIniFile::Load(const std::string& path)
{
    m_preamble.clear();
    m_sections.clear();
    // A FIFO or a device would block the read or never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text(kMaxFileBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    Parse(text);
    return true;
}

void CIniFile::Parse(const std::string& input)
{
    m_preamble.clear();
    m_sections.clear();
    std::string text = input;
    while (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);   // UTF-8 marks
    std::vector<Line>* target = &m_preamble;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        // Every CR before the LF goes: the file is written without them.
        while (!line.empty() && line.back() == '\r') line.pop_back();

        std::string name;
        if (SectionHeader(line, name)) {
            m_sections.push_back(Section{name, {}});
            target = &m_sections.back().lines;
            continue;
        }
        Line l;
        l.raw = line;
        const std::string trimmed = Trim(line);
        const std::size_t eq = line.find('=');
        if (!IsComment(trimmed) && eq != std::string::npos && !Trim(line.substr(0, eq)).empty()) {
            l.isEntry = true;
            l.key = Trim(line.substr(0, eq));
            l.value = Trim(line.substr(eq + 1));
        }
        target->push_back(l);
    }
}

std::string CIniFile::ToText() const
{
    std::string out;
    auto emit = [&out](const Line& l) {
        out += l.isEntry ? l.key + "=" + l.value : l.raw;
        out += '\n';
    };
    for (const Line& l : m_preamble) emit(l);
    for (const Section& s : m_sections) {
        out += "[" + s.name + "]\n";
        for (const Line& l : s.lines) emit(l);
    }
    return out;
}

bool CIniFile::Save(const std::string& path) const
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        const std::string text = ToText();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

const CIniFile::Section* CIniFile::FindSection(const std::string& name) const
{
    for (const Section& s : m_sections)
        if (SameName(s.name, name)) return &s;
    return nullptr;
}

CIniFile::Section& CIniFile::SectionFor(const std::string& name)
{
    for (Section& s : m_sections)
        if (SameName(s.name, name)) return s;
    m_sections.push_back(Section{name, {}});
    return m_sections.back();
}

const CIniFile::Line* CIniFile::FindEntry(const Section& section, const std::string& key) const
{
    for (const Line& l : section.lines)
        if (l.isEntry && SameName(l.key, key)) return &l;
    return nullptr;
}

bool CIniFile::HasKey(const std::string& section, const std::string& key) const
{
    const Section* s = FindSection(section);
    return s && FindEntry(*s, key);
}

std::string CIniFile::GetString(const std::string& section, const std::string& key,
                                const std::string& def) const
{
    const Section* s = FindSection(section);
    const Line* l = s ? FindEntry(*s, key) : nullptr;
    if (!l) return def;
    std::string v = l->value;
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
}

int CIniFile::ParseProfileInt(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

int CIniFile::GetInt(const std::string& section, const std::string& key, int def) const
{
    if (!HasKey(section, key)) return def;
    return ParseProfileInt(GetString(section, key, std::string()));
}

void CIniFile::SetString(const std::string& section, const std::string& key,
                         const std::string& value)
{
    Section& s = SectionFor(section);
    // Line breaks would split the entry; a value is one line.
    std::string clean;
    for (char c : value) clean += (c == '\r' || c == '\n') ? ' ' : c;
    for (Line& l : s.lines) {
        if (l.isEntry && SameName(l.key, key)) {
            l.key = key;
            l.value = clean;
            return;
        }
    }
    // New keys go after the last entry, ahead of trailing blank lines and comments.
    std::size_t at = s.lines.size();
    while (at > 0 && !s.lines[at - 1].isEntry) --at;
    Line l;
    l.isEntry = true;
    l.key = key;
    l.value = clean;
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at), l);
}

void CIniFile::SetInt(const std::string& section, const std::string& key, int value)
{
    SetString(section, key, std::to_string(value));
}

void CIniFile::RemoveKey(const std::string& section, const std::string& key)
{
    for (Section& s : m_sections) {
        if (!SameName(s.name, section)) continue;
        for (auto it = s.lines.begin(); it != s.lines.end(); ++it) {
            if (it->isEntry && SameName(it->key, key)) {
                s.lines.erase(it);
                return;
            }
        }
    }
}

std::vector<std::string> CIniFile::Sections() const
{
    std::vector<std::string> names;
    for (const Section& s : m_sections) names.push_back(s.name);
    return names;
}

std::vector<std::string> CIniFile::Keys(const std::string& section) const
{
    std::vector<std::string> keys;
    if (const Section* s = FindSection(section))
        for (const Line& l : s->lines)
            if (l.isEntry) keys.push_back(l.key);
    return keys;
}
