#pragma once
// The transfer request document (CUpdateDoc): an ordered list of board
// lines, stored as a .sfl file, linked to the environments of g_envList when
// it is opened.
#include <cstdint>
#include <string>
#include <vector>

#include "model/BoardConf.h"

class CArchive;

// Document type string: title, default name, type name, filter, extension.
inline constexpr const char* kDocTypeString =
    "TAVREL\n \nTAVREL Document\nTavrel Files (*.sfl)\n.sfl";

// Open prompt of a request: title, filter text and pattern (string ids).
inline constexpr int REQUEST_OPEN_TITLE_ID = 74;
inline constexpr int REQUEST_FILTER_NAME_ID = 157;
inline constexpr int REQUEST_FILTER_PATTERN_ID = 158;

// Clipboard format of a board line (data: BoardConfToBytes), also offered
// under its Windows name.
inline constexpr const char* kBoardConfMimeType = "application/x-tavrel-board-configuration";
inline constexpr const char* kBoardConfWindowsMimeType =
    "application/x-qt-windows-mime;value=\"Tavrel board configuration\"";

// Outcome of OpenRequest.
enum class OpenResult {
    Ok,
    NoEnvironment,   // the scan loaded nothing (message 100 was shown)
    CannotOpen,      // the file cannot be read
    FormatError,     // the file is damaged; the document stays empty
    NotLinked,       // a line could not be linked; the document was emptied
};

class CUpdateDoc {
public:
    static constexpr const char* kClassName = "CUpdateDoc";
    static constexpr uint16_t kSchema = 1;

    // An empty, unlinked document. The scan of the environment directory
    // that a new document runs is OnNewDocument's.
    CUpdateDoc() = default;

    // Empties the document and rebuilds g_envList.
    void OnNewDocument();
    void DeleteContents() { m_lines.clear(); }

    // Writes the .sfl layout with the program's version number, or reads it
    // (emptying the lines first; a format error leaves no line behind).
    void Serialize(CArchive& ar);

    // Scans the environment directory, reads `path` and links its lines.
    OpenResult OpenRequest(const std::string& path);
    // Writes the .sfl file; on success the document is linked, unmodified,
    // named after `path`, and "Last SFL path" becomes its directory.
    bool SaveRequest(const std::string& path);

    int LinkLines();
    bool FindLineEnvironment(CBoardConf& line) const;
    // Smallest index above i whose line is selected; the line count when none.
    int NextSelectedLine(int i) const;
    bool IsLastSelected(int i) const;
    bool AnyRelayed() const;

    // The environment and board definition of a linked line, or nullptr.
    static const CEnvDef* LineEnvironment(const CBoardConf& line);
    static const CBoardDef* LineBoardDef(const CBoardConf& line);

    // Builds every line's relay chain; on a broken parent link shows and logs
    // message 89 and returns false.
    bool BuildRelayPaths();

    // Framework state: title, path, modified flag.
    void SetTitle(const std::string& title) { m_strTitle = title; }
    const std::string& GetTitle() const { return m_strTitle; }
    void SetPathName(const std::string& path) { m_strPathName = path; }
    const std::string& GetPathName() const { return m_strPathName; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }
    // Appends " *" to the title unless it already holds it.
    void MarkTitleModified();

    std::vector<CBoardConf> m_lines;
    int m_nFileVersion = 0;
    int m_bLinked = 0;
    int m_bHasRelayed = 0;
    std::string m_strLastError;   // why the last open or save failed

private:
    std::string m_strTitle;
    std::string m_strPathName;
    bool m_bModified = false;
};

// The .sfl bytes of `doc` with `version` as its version number.
std::vector<uint8_t> RequestToBytes(const CUpdateDoc& doc, int version);
// Reads .sfl bytes into `doc` (its lines and file version); false on a format
// error, with `doc` left unchanged.
bool RequestFromBytes(const std::vector<uint8_t>& bytes, CUpdateDoc& doc, std::string* error = nullptr);
// One line as a clipboard archive, and back.
std::vector<uint8_t> BoardConfToBytes(const CBoardConf& line);
bool BoardConfFromBytes(const std::vector<uint8_t>& bytes, CBoardConf& line, std::string* error = nullptr);
