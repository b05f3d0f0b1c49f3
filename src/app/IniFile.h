#pragma once
// CIniFile: the settings file of bracketed sections and key=value lines.
// Key and section names are kept exactly as written (spaces, dots and
// parentheses included); lookups ignore ASCII case like the classic profile
// calls. Unknown sections and keys, comments and odd lines are kept in their
// order, so a load followed by a save changes only what was set. Reads LF or
// CR LF text; writes LF-only UTF-8.
#include <string>
#include <vector>

class CIniFile {
public:
    // Largest settings file read; anything beyond is ignored.
    static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

    // Reads `path`; false when it cannot be read (the contents are then empty).
    bool Load(const std::string& path);
    // Writes the whole file through a temporary beside it; false on any error.
    bool Save(const std::string& path) const;

    void Parse(const std::string& text);
    std::string ToText() const;

    bool HasKey(const std::string& section, const std::string& key) const;
    // Value of the key with surrounding blanks and one pair of enclosing double
    // quotes removed, or `def` when the key is absent.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const;
    // Integer as the profile calls read it: optional sign and leading digits;
    // a value without digits reads as 0; absent key gives `def`; saturates at
    // the int range.
    int GetInt(const std::string& section, const std::string& key, int def) const;

    void SetString(const std::string& section, const std::string& key, const std::string& value);
    void SetInt(const std::string& section, const std::string& key, int value);
    void RemoveKey(const std::string& section, const std::string& key);

    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(const std::string& section) const;

    static int ParseProfileInt(const std::string& text);

private:
    // One line of a section: a key=value entry, or any other line kept verbatim.
    struct Line {
        bool isEntry = false;
        std::string key;
        std::string value;
        std::string raw;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    const Section* FindSection(const std::string& name) const;
    Section& SectionFor(const std::string& name);
    const Line* FindEntry(const Section& section, const std::string& key) const;

    std::vector<Line> m_preamble;      // lines before the first section
    std::vector<Section> m_sections;
};
