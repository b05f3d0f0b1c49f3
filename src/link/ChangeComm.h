#pragma once
// The logic of the two communication dialogs, without widgets (the Qt
// dialogs sit on it, tavrel-cli answers it from its arguments):
//
// - CChangeCommDlg ("Change communication"), the first step of a Repair: the
//   board (the connected system or one board line of the request), the port
//   of its parent through which it is reached, and the new baud rate, with
//   the rule that enables the lists and "Run".
// - CCommunicationDlg ("Communication") and RunCommunicationCommand: the PC's
//   port and initial rate, applied to the link and saved in Tavrel.ini, with
//   its "Auto-configure" search (RunAutoConfigure) and its "..." properties.
#include <string>
#include <vector>

#include "link/AutoConfig.h"

class CSerialLink;

// What the Change communication dialog needs of one board line of the
// request (the caller reads it from the line and its board definition).
struct ChangeCommLine {
    std::string boardName;
    bool boardAlone = false;
    int destination = -1;     // destination index of the line's board definition; -1 none
    int transferSpeed = -1;   // the line's transfer speed (baud index); -1 none
};

class CChangeCommDlg {
public:
    // Control ids of the dialog template.
    enum Control {
        CTRL_RUN = 1,
        CTRL_BOARD_LIST = 355,
        CTRL_PORT_LIST = 348,
        CTRL_PORT_LABEL = 398,
        CTRL_RATE_LIST = 350,
        CTRL_RATE_LABEL = 425,
    };
    enum Result { RESULT_RUN = 1, RESULT_CANCEL = 2 };

    static constexpr int kConnectedSystem = 0;     // position 0 of the board list
    static constexpr int kDestinationCount = 25;   // entries of the port list
    static constexpr int kLastPortDestination = 7; // "Port A" .. "Port H" are 0..7
    static constexpr int kRateCount = 10;          // entries of the rate list
    static constexpr int kNone = -1;

    // Set-up before Initialise: whether the board lines are listed, whether
    // the request's environment was found, the lines, and the link's current
    // baud index.
    void SetUp(bool listBoardLines, bool haveEnvironment, std::vector<ChangeCommLine> lines,
               int currentBaudIndex);
    // Initial choices, then the enabling rule.
    void Initialise();

    // Texts of the board list: "Connected system", then the board names when listed.
    std::vector<std::string> BoardListTexts() const;
    // Texts of the rate list: "300" .. "256000".
    static std::vector<std::string> RateListTexts();

    // The user changed a list. Out-of-range values are ignored.
    void OnBoardChanged(int choice);
    void OnPortChanged(int destination);
    void OnRateChanged(int baudIndex);

    bool PortListEnabled() const { return m_bPortEnabled; }
    bool RateListEnabled() const { return m_bRateEnabled; }
    bool RunEnabled() const { return m_bRunEnabled; }
    // Control that takes the focus after initialisation; 0 leaves it alone.
    int InitialFocus() const { return m_nInitialFocus; }

    // --- results, read after "Run" ----------------------------------------------
    int BoardChoice() const { return m_nBoardChoice; }
    int Destination() const { return m_nDestination; }
    int BaudIndex() const { return m_nBaudIndex; }
    // The chosen board is reached without a relay: the connected system, or
    // a board line that is "Board alone".
    bool IsDirect() const;
    // The chosen board line, or null for the connected system.
    const ChangeCommLine* ChosenLine() const;

private:
    bool LinesGiven() const { return m_bListLines && !m_lines.empty(); }
    void ApplyEnablingRule();

    bool m_bListLines = false;
    bool m_bHaveEnvironment = false;
    std::vector<ChangeCommLine> m_lines;
    int m_nCurrentBaudIndex = 3;

    int m_nBoardChoice = kNone;
    int m_nDestination = kNone;
    int m_nBaudIndex = kNone;
    bool m_bPortEnabled = false;
    bool m_bRateEnabled = false;
    bool m_bRunEnabled = false;
    int m_nInitialFocus = 0;
};

class CCommunicationDlg {
public:
    enum Result { RESULT_OK = 1, RESULT_CANCEL = 2 };
    static constexpr int kPortCount = 8;
    static constexpr int kRateIfAbsent = 3;   // 9600 when the link's rate is not in the table

    explicit CCommunicationDlg(CSerialLink& link);

    // Initial choices from the link and the settings.
    void Initialise();
    static std::vector<std::string> PortListTexts();   // "COM1" .. "COM8"
    static std::vector<std::string> RateListTexts();
    // The lists changed (or "OK" was pressed): the link takes the chosen port
    // and rate at once. Out-of-range values are ignored.
    void OnSelectionChanged(int portIndex, int baudIndex);
    // "COM1:9600,n,8,2" for the current choices.
    std::string ConnectionText() const;
    // Caption of the auto-configure button: "Auto-configure", or "Query" when
    // the rate may not change; "..." is enabled only when it may.
    std::string AutoConfigureCaption() const;
    bool PropertiesEnabled() const { return m_bAutoConfigAllowed; }

    // "Auto-configure", after the chosen port and rate went through
    // OnSelectionChanged: RunAutoConfigure from them, shown in `view`. When a
    // board answered, the baud index is its rate and IdentReply() holds the
    // answer for the Reply dialog. AutoConfigResult.
    int OnAutoConfigure(IAutoConfigView* view);
    const std::string& IdentReply() const { return m_strReply; }
    // "...": the properties dialog's logic on the settings; StoreProperties
    // puts its choices back after "OK".
    static CAutoConfigPropsDlg PropertiesFromSettings();
    static void StoreProperties(const CAutoConfigPropsDlg& properties);

    CSerialLink& Link() { return m_link; }
    int m_nPortIndex = 0;
    int m_nBaudIndex = kRateIfAbsent;
    bool m_bShowAtStartUp = true;
    bool m_bAutoConfigAllowed = true;

private:
    CSerialLink& m_link;
    std::string m_strReply;
};

// Time limit of the "Auto-configure" search when "Auto speed max. time" is 0.
inline constexpr int kAutoConfigureFallbackSec = 600;

// The "Auto-configure" search on `link` from its port and rate: the time
// limit "Auto speed max. time" (kAutoConfigureFallbackSec when 0; an explicit
// `maxTimeSec` of 0 or more replaces it), the settings' range widened to take
// in the link's rate and stored back into them, the lock option offered when
// "Query auto speed enable" is on, and rate changes when `speedChangeAllowed`.
// Found: the link stays at the rate that answered and `reply` holds the
// answer. Nothing answered: message 93, the link back at its rate. Returns
// AutoConfigResult.
int RunAutoConfigure(CSerialLink& link, bool speedChangeAllowed, IAutoConfigView* view,
                     std::string& reply, int maxTimeSec = -1);
// The set-up of that search on `search`, made for `link`.
void SetUpAutoConfigure(CAutoConfigDlg& search, const CSerialLink& link, bool speedChangeAllowed,
                        int maxTimeSec = -1);

// Port and rate into the communication settings and the link, then the
// "Communication" section saved with every setting (parity none, 8 data bits,
// two stop bits) and the link text shown. False when Tavrel.ini could not be
// written.
bool SaveCommunicationChoice(CSerialLink& link, int portIndex, int baudIndex);

// The Communication command: runs the dialog through Host() and applies the
// result. True when the settings were saved.
bool RunCommunicationCommand(CSerialLink& link);
