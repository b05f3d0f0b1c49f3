#include "link/ChangeComm.h"

#include <cstdint>
#include <utility>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "link/SerialLink.h"

namespace {

constexpr int kConnectedSystemTextId = 133;   // "Connected system"
constexpr int kQueryTextId = 95;              // "Query"
constexpr int kUnableToCommunicateId = 93;
constexpr const char* kAutoConfigureCaption = "Auto-configure";

// Line settings forced whenever the Communication command saves.
constexpr int kSavedByteSize = 8;
constexpr int kSavedParity = 0;      // none
constexpr int kSavedStopBits = 2;    // two stop bits

bool IsBaudIndex(int index)
{
    return index >= 0 && index < CChangeCommDlg::kRateCount;
}

}  // namespace

// --- Change communication ------------------------------------------------------------

void CChangeCommDlg::SetUp(bool listBoardLines, bool haveEnvironment, std::vector<ChangeCommLine> lines,
                           int currentBaudIndex)
{
    m_bListLines = listBoardLines;
    m_bHaveEnvironment = haveEnvironment;
    m_lines = std::move(lines);
    m_nCurrentBaudIndex = currentBaudIndex;
}

void CChangeCommDlg::Initialise()
{
    const bool lineChosen = m_bHaveEnvironment && LinesGiven();
    if (lineChosen) {
        m_nBoardChoice = 1;
        m_nDestination = m_lines.front().destination;
        m_nBaudIndex = m_lines.front().transferSpeed;
    } else {
        m_nBoardChoice = kConnectedSystem;
        m_nBaudIndex = m_nCurrentBaudIndex;
    }
    ApplyEnablingRule();
    if (lineChosen) m_nInitialFocus = 0;
    else m_nInitialFocus = m_bRateEnabled ? CTRL_RATE_LIST : CTRL_BOARD_LIST;
}

std::vector<std::string> CChangeCommDlg::BoardListTexts() const
{
    std::vector<std::string> texts = {GetString(kConnectedSystemTextId)};
    if (m_bListLines)
        for (const ChangeCommLine& line : m_lines) texts.push_back(line.boardName);
    return texts;
}

std::vector<std::string> CChangeCommDlg::RateListTexts()
{
    std::vector<std::string> texts;
    for (int i = 0; i < kRateCount; ++i) texts.push_back(BaudText(i));
    return texts;
}

const ChangeCommLine* CChangeCommDlg::ChosenLine() const
{
    if (!LinesGiven() || m_nBoardChoice < 1 || m_nBoardChoice > static_cast<int>(m_lines.size()))
        return nullptr;
    return &m_lines[static_cast<size_t>(m_nBoardChoice - 1)];
}

bool CChangeCommDlg::IsDirect() const
{
    const ChangeCommLine* line = ChosenLine();
    return line == nullptr || line->boardAlone;
}

void CChangeCommDlg::OnBoardChanged(int choice)
{
    const int count = LinesGiven() ? static_cast<int>(m_lines.size()) : 0;
    if (choice < 0 || choice > count) return;
    m_nBoardChoice = choice;
    if (LinesGiven()) {
        if (const ChangeCommLine* line = ChosenLine()) {
            m_nDestination = line->destination;
            m_nBaudIndex = line->transferSpeed;
        } else {
            m_nBaudIndex = m_nCurrentBaudIndex;
        }
    }
    ApplyEnablingRule();
}

void CChangeCommDlg::OnPortChanged(int destination)
{
    if (destination < kNone || destination >= kDestinationCount) return;
    m_nDestination = destination;
    ApplyEnablingRule();
}

void CChangeCommDlg::OnRateChanged(int baudIndex)
{
    if (baudIndex != kNone && !IsBaudIndex(baudIndex)) return;
    m_nBaudIndex = baudIndex;
    ApplyEnablingRule();
}

void CChangeCommDlg::ApplyEnablingRule()
{
    const ChangeCommLine* line = ChosenLine();
    if (line == nullptr) {
        m_bPortEnabled = false;
        m_bRateEnabled = true;
    } else {
        const bool portDestination = m_nDestination >= 0 && m_nDestination <= kLastPortDestination;
        m_bPortEnabled = !line->boardAlone;
        m_bRateEnabled = line->boardAlone || portDestination;
    }
    const bool destinationMissing = m_bPortEnabled && m_nDestination == kNone;
    const bool rateMissing = m_bRateEnabled && !IsBaudIndex(m_nBaudIndex);
    m_bRunEnabled = !destinationMissing && !rateMissing;
}

// --- Communication ---------------------------------------------------------------------

CCommunicationDlg::CCommunicationDlg(CSerialLink& link) : m_link(link) {}

void CCommunicationDlg::Initialise()
{
    m_nPortIndex = m_link.PortNumber() - 1;
    const int index = BaudIndexOf(static_cast<int>(m_link.BaudRate()));
    m_nBaudIndex = index >= 0 ? index : kRateIfAbsent;
    m_bShowAtStartUp = App().m_bShowCommBox;
    m_bAutoConfigAllowed = App().m_bQueryAutoSpeed;
}

std::vector<std::string> CCommunicationDlg::PortListTexts()
{
    std::vector<std::string> texts;
    for (int n = 1; n <= kPortCount; ++n) texts.push_back("COM" + std::to_string(n));
    return texts;
}

std::vector<std::string> CCommunicationDlg::RateListTexts()
{
    return CChangeCommDlg::RateListTexts();
}

void CCommunicationDlg::OnSelectionChanged(int portIndex, int baudIndex)
{
    if (portIndex >= 0 && portIndex < kPortCount) m_nPortIndex = portIndex;
    if (IsBaudIndex(baudIndex)) m_nBaudIndex = baudIndex;
    m_link.SetPortNumber(m_nPortIndex + 1);
    m_link.SetBaudRate(static_cast<uint32_t>(BaudFromIndex(m_nBaudIndex)));
}

std::string CCommunicationDlg::ConnectionText() const
{
    return LinkText(m_nPortIndex, m_nBaudIndex);
}

std::string CCommunicationDlg::AutoConfigureCaption() const
{
    return m_bAutoConfigAllowed ? kAutoConfigureCaption : GetString(kQueryTextId);
}

int CCommunicationDlg::OnAutoConfigure(IAutoConfigView* view)
{
    const int result = RunAutoConfigure(m_link, m_bAutoConfigAllowed, view, m_strReply);
    if (result == AUTOCONFIG_FOUND)
        m_nBaudIndex = CAutoConfigDlg::RateIndex(static_cast<int>(m_link.BaudRate()));
    return result;
}

CAutoConfigPropsDlg CCommunicationDlg::PropertiesFromSettings()
{
    const CUpdateApp& app = App();
    return CAutoConfigPropsDlg(app.m_nAutoBaudMin, app.m_nAutoBaudMax, app.m_nAutoMaxTimeSec);
}

void CCommunicationDlg::StoreProperties(const CAutoConfigPropsDlg& properties)
{
    CUpdateApp& app = App();
    app.m_nAutoBaudMin = properties.MinRate();
    app.m_nAutoBaudMax = properties.MaxRate();
    app.m_nAutoMaxTimeSec = properties.StoredSeconds();
}

void SetUpAutoConfigure(CAutoConfigDlg& search, const CSerialLink& link, bool speedChangeAllowed,
                        int maxTimeSec)
{
    const CUpdateApp& app = App();
    if (maxTimeSec < 0)
        maxTimeSec = app.m_nAutoMaxTimeSec > 0 ? app.m_nAutoMaxTimeSec : kAutoConfigureFallbackSec;
    search.SetMaxTime(maxTimeSec);
    search.SetRange(static_cast<int>(link.BaudRate()), app.m_nAutoBaudMin, app.m_nAutoBaudMax);
    search.EnableLockOption(app.m_bQueryAutoSpeed);
    search.AllowSpeedChange(speedChangeAllowed);
}

int RunAutoConfigure(CSerialLink& link, bool speedChangeAllowed, IAutoConfigView* view,
                     std::string& reply, int maxTimeSec)
{
    CAutoConfigDlg search(link, 0, view);
    SetUpAutoConfigure(search, link, speedChangeAllowed, maxTimeSec);
    const int result = search.RunModal();
    CUpdateApp& app = App();
    search.GetRange(app.m_nAutoBaudMin, app.m_nAutoBaudMax);
    reply = result == AUTOCONFIG_FOUND ? search.GetIdentReply() : std::string();
    if (result == AUTOCONFIG_NOT_FOUND)
        ShowMessage(kUnableToCommunicateId, 0, MB_OK_ONLY, ICON_STOP);
    return result;
}

namespace {

// Port and rate into the communication settings and the link.
void ApplyPortAndRate(CSerialLink& link, int portIndex, int baudIndex)
{
    CUpdateApp& app = App();
    app.m_nPortIndex = portIndex;
    app.m_nBaudIndex = baudIndex;
    app.m_comm.nPortNumber = portIndex + 1;
    app.m_comm.nBaudRate = BaudFromIndex(baudIndex);
    link.SetPortNumber(portIndex + 1);
    link.SetBaudRate(static_cast<uint32_t>(BaudFromIndex(baudIndex)));
}

bool SaveCommunication(CSerialLink& link)
{
    CUpdateApp& app = App();
    link.SetParity(kSavedParity);
    link.SetByteSize(kSavedByteSize);
    link.SetStopBits(kSavedStopBits);
    app.m_comm.nParity = kSavedParity;
    app.m_comm.nByteSize = kSavedByteSize;
    app.m_comm.nStopBits = kSavedStopBits;
    // The "Communication" section is written with every other setting.
    const bool saved = app.SaveSettings() != 0;
    Host().SetLinkText(LinkText(app.m_nPortIndex, app.m_nBaudIndex));
    return saved;
}

}  // namespace

bool SaveCommunicationChoice(CSerialLink& link, int portIndex, int baudIndex)
{
    ApplyPortAndRate(link, portIndex, baudIndex);
    return SaveCommunication(link);
}

bool RunCommunicationCommand(CSerialLink& link)
{
    CCommunicationDlg dialog(link);
    dialog.Initialise();
    const int initialPort = dialog.m_nPortIndex;
    const int initialBaud = dialog.m_nBaudIndex;
    bool changed = false;
    if (Host().RunCommunicationDialog(dialog) == CCommunicationDlg::RESULT_OK) {
        ApplyPortAndRate(link, dialog.m_nPortIndex, dialog.m_nBaudIndex);
        App().m_bShowCommBox = dialog.m_bShowAtStartUp;
        changed = true;
    } else if (dialog.m_nPortIndex != initialPort || dialog.m_nBaudIndex != initialBaud) {
        ApplyPortAndRate(link, initialPort, initialBaud);
        changed = true;
    }
    if (changed) SaveCommunication(link);
    return changed;
}
