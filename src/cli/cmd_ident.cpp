// tavrel-cli ident: identify the board on the port, optionally searching its
// rate as the Communication dialog's "Auto-configure" button does.
#include <iomanip>
#include <iostream>

#include "app/CommSettings.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "cli/TerminalHost.h"
#include "engine/HealthCheck.h"
#include "link/AutoConfig.h"
#include "link/ChangeComm.h"
#include "link/IdentQuery.h"
#include "link/IdentReply.h"
#include "link/PortList.h"
#include "link/SerialLink.h"

namespace {

constexpr int kColHardware = 125, kColSoftware = 126, kColPort = 127;
// The time limit the Communication dialog uses when the setting is 0.
constexpr int kDefaultMaxTimeSec = 600;

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

// The link on the chosen port at the start rate; false when the rate is unknown.
bool SetUpLink(const IdentRequest& request, CSerialLink& link, int& startRate)
{
    CUpdateApp& app = App();
    link.ApplySettings(app.m_comm);
    link.SetPortNumber(app.m_nPortIndex + 1);
    if (!request.port.empty()) SelectPort(link, request.port);
    startRate = request.nStartRate > 0 ? request.nStartRate : BaudFromIndex(app.m_nBaudIndex);
    if (BaudIndexOf(startRate) < 0) return false;
    link.SetBaudRate(static_cast<uint32_t>(startRate));
    return true;
}

// --scan: the "Auto-configure" search; without it the identification query
// at the start rate only.
int Identify(const IdentRequest& request, CSerialLink& link, IAutoConfigView& view, std::string& answer)
{
    CUpdateApp& app = App();
    if (request.bScan) {
        if (!app.m_bQueryAutoSpeed)
            std::cerr << kErrorPrefix << "\"Query auto speed enable\" is off: querying at " << link.BaudRate()
                      << " only\n";
        return RunAutoConfigure(link, app.m_bQueryAutoSpeed, &view, answer, request.nMaxTimeSec);
    }
    int maxTime = request.nMaxTimeSec;
    if (maxTime < 0) maxTime = app.m_nAutoMaxTimeSec > 0 ? app.m_nAutoMaxTimeSec : kDefaultMaxTimeSec;
    const int startRate = static_cast<int>(link.BaudRate());
    CAutoConfigDlg query(link, maxTime, &view);
    query.SetRange(startRate, app.m_nAutoBaudMin, app.m_nAutoBaudMax);
    query.AllowSpeedChange(false);
    query.EnableLockOption(false);
    const int result = query.RunModal();
    answer = query.GetIdentReply();
    return result;
}

nlohmann::json Report(const CSerialLink& link, const CIdentRecorder& seen, int result, const std::string& answer,
                      const FailureEnd& failure)
{
    nlohmann::json rates = nlohmann::json::array();
    for (int rate : seen.RatesTried()) rates.push_back(rate);
    nlohmann::json report = {{"port", link.PortName()},     {"device", link.DevicePath()},
                             {"found", result == AUTOCONFIG_FOUND},
                             {"rate", result == AUTOCONFIG_FOUND ? nlohmann::json(link.BaudRate()) : nlohmann::json()},
                             {"rates_tried", rates},
                             {"boards", IdentRowsJson(answer)}, {"answer", AnswerLinesJson(answer)}};
    AddFailureEnd(report, failure);
    return report;
}

int RunIdent(CliArgs& args)
{
    IdentRequest request;
    std::string port, baud, maxTime, jsonTarget;
    args.Option("port", port);
    bool haveBaud = args.Option("baud", baud);
    bool haveMaxTime = args.Option("max-time", maxTime);
    args.Option("json", jsonTarget);
    request.bScan = args.Flag("scan");
    const bool save = args.Flag("save");
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error))
        return CliUsageError(error);
    if (!rest.empty())
        return CliUsageError("ident takes no positional arguments");
    if (!CliPortWord(port, request.port, error))
        return CliUsageError(error);
    if (haveBaud && !ParseInt(baud, request.nStartRate))
        return CliUsageError("--baud needs a rate in bit/s");
    if (haveMaxTime && !ParseInt(maxTime, request.nMaxTimeSec))
        return CliUsageError("--max-time needs a number of seconds");

    CJsonReport json(jsonTarget);
    CSerialLink link;
    int startRate = 0;
    if (!SetUpLink(request, link, startRate))
        return CliUsageError("--baud: unknown rate " + std::to_string(startRate));
    CIdentRecorder seen;
    seen.onConnection = [&](const std::string& name, int rate) {
        if (!Globals().quiet)
            std::cerr << "trying " << name << " at " << rate << " bit/s" << (request.bScan ? "" : " (this rate only)")
                      << "\n";
    };
    std::string answer;
    const int result = Identify(request, link, seen, answer);

    FailureEnd failure;
    int code = 0;
    const std::string again = std::string("`tavrel-cli ident") + (request.bScan ? " --scan" : "") + "`";
    switch (result) {
    case AUTOCONFIG_FOUND:
        std::cout << "Board found on " << link.PortName() << "," << link.BaudRate() << ",n,8,2\n";
        PrintRows(answer);
        code = KeepFoundRate(link, save);
        failure.reason = RescueLoaderNotice(answer, link.PortName());
        failure.receiver = "its connected board waits in its rescue loader";
        failure.next = "`tavrel-cli transfer --rescue REQUEST.sfl`, whose first line is that board";
        if (!failure.Empty() && code == 0) code = 1;
        break;
    case AUTOCONFIG_CANCELLED:
        failure = {"identification cancelled", kReceiverOnlyAsked, again + " when ready"};
        code = 2;
        break;
    default:
        failure = {!link.OpenFailure().empty()
                       ? OpenFailureAdvice(link)
                       : NoAnswerAdvice(link.PortName(), seen.RatesTried(),
                                        request.bScan ? "" : "--scan also tries the other rates"),
                   link.OpenFailure().empty() ? kReceiverOnlyAsked : kReceiverNotOpened,
                   "mend what is said above, then " + again};
        if (link.OpenFailure().empty() && !seen.RatesWithBytes().empty())
            failure.reason = SomethingAnswers(link.PortName(), seen.RatesWithBytes());
        code = 1;
        break;
    }
    if (!failure.Empty()) ReportFailureEnd(failure);
    if (json.Wanted() && !json.Write(Report(link, seen, result, answer, failure), error)) return CliFailure(error);
    return code;
}

CliRegistrar reg({"ident", "Identify the connected board, optionally searching its rate",
                  "usage: tavrel-cli ident [--port P] [--baud R] [--scan] [--max-time S] [--save]\n"
                  "                        [--json FILE|-]\n"
                  "Sends \"$PKVR,IDENT\" every 1.5 s and prints the answer as the rows of the\n"
                  "Reply dialog (number, hardware, software, port).\n"
                  "  --port P      COM1..COM8 (or 1..8), a device path or a /dev/serial/by-id\n"
                  "                name; default $TAVREL_PORT, else the settings'\n"
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
                  "                COMn) in the communication settings of Tavrel.ini; a port\n"
                  "                given as a path is not stored\n"
                  "  --json FILE   also write the result as JSON (port, rate, rates tried, boards,\n"
                  "                answer, reason); \"-\" writes it on stdout, the rest on stderr\n"
                  "Exit code: 0 found, 1 no answer, 2 cancelled (Ctrl+C) or usage error.\n",
                  RunIdent});

}  // namespace
