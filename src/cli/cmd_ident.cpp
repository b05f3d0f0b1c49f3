// tavrel-cli ident: identify the board on the port, optionally searching its
// rate as the Communication dialog's "Auto-configure" button does.
#include <cstring>
#include <iomanip>
#include <iostream>

#include "app/CommSettings.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "link/AutoConfig.h"
#include "link/ChangeComm.h"
#include "link/IdentQuery.h"
#include "link/IdentReply.h"
#include "link/PortList.h"
#include "link/SerialLink.h"

namespace {

constexpr int kColHardware = 125, kColSoftware = 126, kColPort = 127;

// Tells on stderr which port and rate is being tried.
class TerminalIdentView : public IAutoConfigView {
public:
    void SetConnectionText(const std::string& text) override
    {
        if (text == m_strShown)
            return;
        m_strShown = text;
        std::cerr << "trying " << text << "\n";
    }

private:
    std::string m_strShown;
};

bool ParseInt(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return true;
}

void PrintRows(const std::string& answer)
{
    std::cout << std::left << std::setw(5) << "" << std::setw(20) << GetString(kColHardware)
              << std::setw(28) << GetString(kColSoftware) << GetString(kColPort) << "\n";
    for (const IdentReplyRow& row : IdentReplyRows(answer))
        std::cout << std::left << std::setw(5) << (" " + row.number) << std::setw(20)
                  << row.hardware << std::setw(28) << row.software << row.port << "\n";
}

// --scan: the "Auto-configure" search from the chosen port and rate.
IdentOutcome ScanForBoard(const IdentRequest& request, IAutoConfigView& view)
{
    IdentOutcome outcome;
    CUpdateApp& app = App();
    CSerialLink link;
    link.ApplySettings(app.m_comm);
    link.SetPortNumber(app.m_nPortIndex + 1);
    if (!request.port.empty())
        SelectPort(link, request.port);
    const int startRate = request.nStartRate > 0 ? request.nStartRate : BaudFromIndex(app.m_nBaudIndex);
    if (BaudIndexOf(startRate) < 0) {
        outcome.error = "unknown rate " + std::to_string(startRate);
        return outcome;
    }
    link.SetBaudRate(static_cast<uint32_t>(startRate));
    if (!app.m_bQueryAutoSpeed)
        std::cerr << "tavrel-cli: \"Query auto speed enable\" is off: querying at " << startRate
                  << " only\n";
    outcome.portName = link.PortName();
    outcome.devicePath = link.DevicePath();
    outcome.nResult = RunAutoConfigure(link, app.m_bQueryAutoSpeed, &view, outcome.answer,
                                       request.nMaxTimeSec);
    outcome.nRate = static_cast<int>(link.BaudRate());
    outcome.nOpenError = link.LastError();
    return outcome;
}

// --save: the rate found (and the port when named as COMn) become the
// communication settings, as "OK" of the Communication dialog stores them.
int SaveFound(const IdentRequest& request, int rate)
{
    CUpdateApp& app = App();
    const int number = request.port.empty() ? 0 : PortNumberOf(request.port);
    const int portIndex = number > 0 ? number - 1 : app.m_nPortIndex;
    CSerialLink link;
    link.ApplySettings(app.m_comm);
    if (!SaveCommunicationChoice(link, portIndex, BaudIndexOf(rate)))
        return CliFailure("cannot write " + app.IniPath());
    std::cout << "Communication settings: " << LinkText(app.m_nPortIndex, app.m_nBaudIndex) << "\n";
    return 0;
}

int RunIdent(CliArgs& args)
{
    IdentRequest request;
    std::string baud, maxTime;
    args.Option("port", request.port);
    bool haveBaud = args.Option("baud", baud);
    bool haveMaxTime = args.Option("max-time", maxTime);
    request.bScan = args.Flag("scan");
    const bool save = args.Flag("save");
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error))
        return CliUsageError(error);
    if (!rest.empty())
        return CliUsageError("ident takes no positional arguments");
    if (haveBaud && !ParseInt(baud, request.nStartRate))
        return CliUsageError("--baud needs a rate in bit/s");
    if (haveMaxTime && !ParseInt(maxTime, request.nMaxTimeSec))
        return CliUsageError("--max-time needs a number of seconds");

    TerminalIdentView view;
    IdentOutcome outcome = request.bScan ? ScanForBoard(request, view) : RunIdentQuery(request, &view);
    if (outcome.nResult == 0)
        return CliUsageError(outcome.error);
    switch (outcome.nResult) {
    case AUTOCONFIG_FOUND:
        std::cout << "Board found on " << outcome.portName << "," << outcome.nRate
                  << ",n,8,2\n";
        PrintRows(outcome.answer);
        return save ? SaveFound(request, outcome.nRate) : 0;
    case AUTOCONFIG_CANCELLED:
        std::cerr << "tavrel-cli: identification cancelled\n";
        return 2;
    default:
        if (outcome.nOpenError != 0) {
            std::cerr << "tavrel-cli: cannot use " << outcome.devicePath << ": "
                      << std::strerror(outcome.nOpenError) << "\n";
            return 1;
        }
        std::cerr << "tavrel-cli: no answer on " << outcome.portName << " ("
                  << outcome.devicePath << ")\n";
        return 1;
    }
}

CliRegistrar reg({"ident", "Identify the connected board, optionally searching its rate",
                  "usage: tavrel-cli ident [--port P] [--baud R] [--scan] [--max-time S] [--save]\n"
                  "Sends \"$PKVR,IDENT\" every 1.5 s and prints the answer as the rows of the\n"
                  "Reply dialog (number, hardware, software, port).\n"
                  "  --port P      COM1..COM8 (or 1..8), or a device path; default: the settings'\n"
                  "  --baud R      rate to start at, in bit/s; default: the settings'\n"
                  "  --scan        search the rate as \"Auto-configure\" of the Communication\n"
                  "                dialog does: three attempts per rate through the range\n"
                  "                \"Auto speed min. range\"..\"Auto speed max. range\" (widened to\n"
                  "                take in the start rate), only the start rate when \"Query auto\n"
                  "                speed enable\" is off; nothing answering gives message 93\n"
                  "  --max-time S  give up after S seconds (0: never; without --scan the query\n"
                  "                then runs until Ctrl+C); default \"Auto speed max. time\",\n"
                  "                600 when that is 0\n"
                  "  --save        store the rate that answered (and the port, when given as\n"
                  "                COMn) in the communication settings of Tavrel.ini\n"
                  "Exit code: 0 found, 1 no answer, 2 cancelled (Ctrl+C) or usage error.\n",
                  RunIdent});

}  // namespace
