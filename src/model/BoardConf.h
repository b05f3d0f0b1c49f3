#pragma once
// Board lines of a transfer request (CBoardConf) and the hops of a line's
// relay chain (CRelayedBoard).
#include <cstdint>
#include <string>
#include <vector>

#include "model/BoardDef.h"

class CArchive;

// Board result codes kept per line.
inline constexpr int LINE_RESULT_UNKNOWN = 0;
inline constexpr int LINE_RESULT_NOT_UPDATED = 6;

// Baud index of 115200 bit/s: the fastest a transfer goes.
inline constexpr int BAUD_INDEX_115200 = 7;

// Board-line dialog control ids (the field in error).
enum BoardLineField {
    FIELD_LINE_BOARD = 317,
    FIELD_LINE_RELEASE_FILE = 320,
    FIELD_LINE_SOFT_ID = 344,
    FIELD_LINE_BOARD_ALONE = 318,
};

class CRelayedBoard {
public:
    static constexpr const char* kClassName = "CRelayedBoard";
    static constexpr uint16_t kSchema = 1;

    // Only the class tag: a hop is never stored in a file.
    void Serialize(CArchive& ar);

    int m_nHopNumber = -1;
    const CBoardDef* m_pBoardDef = nullptr;    // not owned
    const CBoardDef* m_pParentDef = nullptr;   // none for hop 0 or a board alone
    const CBoardDef* m_pChildDef = nullptr;    // none for the target (last hop)
    int m_nSpeed = 0;                          // baud index of this hop's link
};

// Re-start wait of a relay chain in ms: the largest re-start time-out of all
// hops (`all`) or that of the last hop; 0 for an empty chain.
int GetRestartWaitMs(const std::vector<CRelayedBoard>& hops, bool all);

class CBoardConf {
public:
    static constexpr const char* kClassName = "CBoardConf";
    static constexpr uint16_t kSchema = 1;

    CBoardConf() { Reset(); }

    void Reset();
    // Copies every field except m_nRestartSpeed, m_nEffectiveSpeed and
    // m_nIdentLines, which keep their values.
    void CopyFrom(const CBoardConf& other);
    bool IsDifferent(const CBoardConf& other) const;
    void Serialize(CArchive& ar);
    std::string GetDescription() const;
    int ComputeEffectiveSpeed() const;
    void ResetForTransfer();
    int TakeRestartSpeed();
    // Speed of hop i (-1 = the current hop m_nHop); -1 when there is no such hop.
    int GetHopSpeed(int i = -1) const;
    bool SetHopSpeed(int speed, int i = -1);
    // The release file name to look for: the part after the last '/' or '\\'.
    std::string ReleaseFileName() const;
    // App().m_strLastSflPath + ReleaseFileName().
    std::string ReleaseFilePath() const;

    // Stored fields.
    std::string m_strBoardName;
    std::string m_strSubassyHardw;
    std::string m_strSoftId;
    int m_nBoardIndex;
    int m_bBoardAlone;
    std::string m_strReleaseFile;
    int m_nTransferSpeed;
    int m_bRestart;
    int m_nConfigSpeed;
    int m_nSpareSpeed1;
    int m_nSpareSpeed2;
    std::string m_strEnvName;
    int m_bSpareFlag1;
    int m_bSpareFlag2;
    int m_nEnvIndex = -1;   // not set by Reset

    // Working fields of a process, never stored; Reset gives them their
    // values of a new line.
    int m_nFileType;
    int m_bSelected;
    int m_nRestartSpeed;
    int m_nEffectiveSpeed;
    std::string m_strVleFile;
    std::vector<CRelayedBoard> m_hops;
    int m_nHop;
    int m_nResult;
    int m_nIdentLines;      // ident-line count
    int m_bUpdateNeeded;    // the ident analysis found an older release
    int m_nExactVersion;    // the ident analysis found the exact release (255: not looked at)
};

ValidationResult ValidateBoardLine(const CBoardConf& line, const CEnvDef& environment);

// Builds the hop list of `line` from the "Parent board" links of
// `environment`: hop 0 is the board cabled to the program, the last hop the
// target; a board alone has a single hop. False when a relayed definition's
// parent link is missing or the links loop; `faultyBoard` then names it.
bool BuildLineHops(CBoardConf& line, const CEnvDef& environment, std::string* faultyBoard = nullptr);
