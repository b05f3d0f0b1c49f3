#pragma once
// Board definitions (CBoardDef) with their tables and validation, and
// environments (CEnvDef): named sets of board definitions, one .def file
// each. g_envList holds the environments of the environment directory.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CArchive;

// Destination table: index = value of m_nDestination.
inline constexpr int DEST_NONE = -1;
inline constexpr int DEST_COUNT = 25;
inline constexpr int DEST_FIRST_DPRAM = 8;
inline constexpr int DEST_LAST_DPRAM = 11;
inline constexpr int DEST_LAST_PORT = 7;
inline constexpr int DEST_DRIVE_C = 12;   // a stored -1 is read as this
extern const std::array<const char*, DEST_COUNT> kDestinationNames;

// Processing table: index = value of m_nProcessing.
inline constexpr int PROCESSING_COUNT = 4;
extern const std::array<const char*, PROCESSING_COUNT> kProcessingNames;

// "Save transfer speed" three states.
inline constexpr int SAVE_SPEED_UNCHECKED = 0;
inline constexpr int SAVE_SPEED_CHECKED = 1;
inline constexpr int SAVE_SPEED_UNDETERMINED = 2;

// Time-out limits of a board definition, in seconds.
inline constexpr int BOARD_TIMEOUT_MIN_SEC = 10;
inline constexpr int BOARD_TIMEOUT_MAX_SEC = 120;

// Editor control ids of the board definition fields (the field in error).
enum BoardDefField {
    FIELD_BOARD_NAME = 341,
    FIELD_SUBASSY_ID = 342,
    FIELD_SUBASSY_HARDW = 343,
    FIELD_BOOT_LOADER = 354,
    FIELD_MAX_SPEED = 350,
    FIELD_PROG_ID = 347,
    FIELD_DESTINATION = 348,
    FIELD_PROCESSING = 351,
    FIELD_SAVE_SPEED = 396,
    FIELD_PARENT_BOARD = 352,
};

// Text of a table index, empty for an index outside the table.
std::string DestinationName(int index);
std::string ProcessingName(int index);
// Index of a table text, -1 when it is not in the table.
int DestinationIndexOf(const std::string& name);
int ProcessingIndexOf(const std::string& name);

class CBoardDef {
public:
    static constexpr const char* kClassName = "CBoardDef";
    static constexpr uint16_t kSchema = 3;

    CBoardDef() { Reset(); }

    void Reset();
    void CopyFrom(const CBoardDef& other) { *this = other; }
    bool IsDifferent(const CBoardDef& other) const;
    // Writes or reads one record, class tag first. On reading, schema 1 drops
    // the parent index, schemas below 3 have no save speed (2), and a stored
    // destination of -1 becomes 12.
    void Serialize(CArchive& ar);
    bool HasSerialDestination() const;
    bool HasPortDestination() const { return m_nDestination >= 0 && m_nDestination <= DEST_LAST_PORT; }
    // Only a board whose Subassy ID begins with "U" has a rescue loader.
    bool HasRescueLoader() const { return !m_strSubassyId.empty() && m_strSubassyId[0] == 'U'; }
    // "A".."Y": the destination letter used in sentences.
    char DestinationLetter() const { return static_cast<char>('A' + m_nDestination); }
    bool SetEraseTimeout(int seconds);
    bool SetRestartTimeout(int seconds);
    // The time-outs in milliseconds. A file may hold any number: a negative
    // one gives 0, one too large for an int in milliseconds the largest int.
    int EraseTimeoutMs() const;
    int RestartTimeoutMs() const;
    std::string GetDescription() const;

    std::string m_strName;
    std::string m_strSubassyId;
    std::string m_strSubassyHardw;
    std::string m_strBootLoader;
    std::string m_strBrowseFilter;
    int m_nProgId;
    int m_bRelayed;
    int m_nDestination;
    int m_nProcessing;
    int m_nMaxSpeed;
    int m_nEraseTimeout;
    int m_nRestartTimeout;
    int m_nParentBoard;
    int m_nSaveSpeed;
};

class CEnvDef {
public:
    static constexpr const char* kClassName = "CEnvDef";
    static constexpr uint16_t kSchema = 1;

    void Reset();
    void CopyFrom(const CEnvDef& other) { *this = other; }
    void SetBoards(const std::string& name, const std::vector<CBoardDef>& boards);
    bool IsDifferent(const CEnvDef& other) const;
    void Serialize(CArchive& ar);
    // The board at `index`, or nullptr when the index is outside the list.
    const CBoardDef* Board(int index) const;

    std::string m_strFilePath;
    std::string m_strName;
    std::vector<CBoardDef> m_boards;   // owned; index = m_nParentBoard, line board index
};

// Result of a validation: ok, or the field (control id) and message number.
struct ValidationResult {
    bool ok = true;
    int field = 0;
    int messageId = 0;
    explicit operator bool() const { return ok; }
};

// One row of a validation table: the failing condition, its field and message.
template <class Record, class Field>
struct RecordCheck {
    bool (*fails)(const Record& record, const CEnvDef& environment);
    Field field;
    int messageId;
};

// Runs the checks in table order; the first that fails gives the result.
template <class Record, class Field, size_t N>
ValidationResult FirstFailedCheck(const RecordCheck<Record, Field> (&checks)[N], const Record& record,
                                  const CEnvDef& environment)
{
    for (const RecordCheck<Record, Field>& check : checks)
        if (check.fails(record, environment))
            return {false, static_cast<int>(check.field), check.messageId};
    return {};
}

ValidationResult ValidateBoardDef(const CBoardDef& board, const CEnvDef& environment);

// Index of the first board of `environment` that fails ValidateBoardDef (its
// result in `failure`), or -1 when every board is valid.
int FirstInvalidBoard(const CEnvDef& environment, ValidationResult* failure = nullptr);

// The check made before an environment is written, by the environment
// editor's Save and by env import alike.
inline constexpr int ENV_CHECK_OK = -1;
inline constexpr int ENV_CHECK_NO_BOARD = -2;   // an environment without boards is never written
// ENV_CHECK_NO_BOARD, or the index of the first invalid board after the
// warning beep and that board's message in a stop box captioned 155 with its
// name (`failure` receives the result), or ENV_CHECK_OK.
int CheckEnvironmentForSave(const CEnvDef& environment, ValidationResult* failure = nullptr);

// The environments of the environment directory, in listing order. Rebuilt by
// ScanEnvironmentDirectory; its index is the environment index of a line.
extern std::vector<CEnvDef> g_envList;

// Environment editor modes.
inline constexpr int ENV_MODE_NEW = 1;
inline constexpr int ENV_MODE_EDIT = 2;
inline constexpr int ENV_MODE_VIEW = 3;
inline constexpr int ENV_MODE_REPAIR = 4;
inline constexpr int ENV_MODE_CHOOSE_BOARD = 5;
// Mode a document passes to the scan: repair with edit rights, view without.
int ScanModeForRights();

// Reads one .def file into `environment`, validates its boards, shows
// messages 92/91 and offers repair; 1 when read and all boards are valid.
int LoadEnvironmentFile(const std::string& fileName, CEnvDef& environment, int mode);
// Rebuilds g_envList from App().m_strEnvDir; returns the number loaded.
int ScanEnvironmentDirectory(int mode);
// Writes `environment` as a .def file (created or truncated).
bool SaveEnvironmentFile(const CEnvDef& environment, const std::string& path);

// Clipboard format of a board definition (data: BoardDefToBytes), also
// offered under its Windows name.
inline constexpr const char* kBoardDefMimeType = "application/x-tavrel-board-definition";
inline constexpr const char* kBoardDefWindowsMimeType =
    "application/x-qt-windows-mime;value=\"Tavrel Board definition\"";

// Save prompt of a .def file: title, filter text and pattern (string ids).
inline constexpr int ENV_SAVE_TITLE_ID = 26;
inline constexpr int ENV_FILTER_NAME_ID = 159;
inline constexpr int ENV_FILTER_PATTERN_ID = 160;

// Byte-level forms used by the files, the clipboard and the tools. The
// readers return false (with a reason) on a format error and leave no
// partial result behind; nothing is thrown.
std::vector<uint8_t> EnvironmentToBytes(const CEnvDef& environment);
bool EnvironmentFromBytes(const std::vector<uint8_t>& bytes, CEnvDef& environment,
                          std::string* error = nullptr);
std::vector<uint8_t> BoardDefToBytes(const CBoardDef& board);
bool BoardDefFromBytes(const std::vector<uint8_t>& bytes, CBoardDef& board,
                       std::string* error = nullptr);

