// tavrel-cli query [--port P] [--baud R]: identifies the connected board and
// the boards behind it, and prints the identification answer.
#include <QCoreApplication>
#include <QEventLoop>

#include <cstdlib>
#include <iostream>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "engine/ProcessEngine.h"
#include "engine/EngineLink.h"
#include "model/UpdateDoc.h"

namespace {

constexpr long kMaxPortNumber = 8;

// --port: a number 1..8 selects "COMn", anything else is a device path.
bool ApplyPortOption(const std::string& port, CSerialLink& link, std::string& error)
{
    if (port.empty()) return true;
    char* end = nullptr;
    const long number = std::strtol(port.c_str(), &end, 10);
    if (end != port.c_str() && *end == '\0') {
        if (number < 1 || number > kMaxPortNumber) {
            error = "--port: a port number is 1 to 8";
            return false;
        }
        App().m_nPortIndex = static_cast<int>(number) - 1;
        return true;
    }
    LinkSetDevicePath(link, port);
    return true;
}

bool ApplyBaudOption(const std::string& baud, std::string& error)
{
    if (baud.empty()) return true;
    const int index = BaudIndexOf(std::atoi(baud.c_str()));
    if (index < 0) {
        error = "--baud: not one of 300 1200 4800 9600 19200 38400 57600 115200 128000 256000";
        return false;
    }
    App().m_nBaudIndex = index;
    return true;
}

void WaitUntilIdle(const CProcessEngine& engine)
{
    while (!engine.IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int RunQuery(CliArgs& args)
{
    std::string port;
    std::string baud;
    args.Option("port", port);
    args.Option("baud", baud);
    std::vector<std::string> rest;
    std::string error;
    if (!args.Positionals(rest, error)) return CliUsageError(error);
    if (!rest.empty()) return CliUsageError("query takes no file");

    SerialLinkPtr linkPtr = CreateConfiguredLink();
    CSerialLink& link = *linkPtr;
    if (!ApplyPortOption(port, link, error) || !ApplyBaudOption(baud, error)) return CliUsageError(error);

    CUpdateDoc doc;
    CProcessEngine engine(doc, link);
    engine.StartQuery(PROC_QUERY);
    WaitUntilIdle(engine);
    return engine.QueryAnswered() ? 0 : 1;
}

CliRegistrar reg({"query", "Identify the connected board and the boards behind it",
                  "usage: tavrel-cli query [--port P] [--baud R]\n"
                  "  Sends the identification query (searching the rates of the auto-configure\n"
                  "  range when \"Query auto speed enable\" is on) and prints the answer, one row\n"
                  "  per board software. --port takes 1..8 (COMn) or a device path; --baud\n"
                  "  the rate to start from. Exit code 0 when a board answered, 1 otherwise.",
                  RunQuery});

}  // namespace

// Shared with cmd_transfer.cpp.
bool CliApplyLinkOptions(const std::string& port, const std::string& baud, CSerialLink& link,
                         std::string& error)
{
    return ApplyPortOption(port, link, error) && ApplyBaudOption(baud, error);
}

void CliWaitUntilIdle(const CProcessEngine& engine)
{
    WaitUntilIdle(engine);
}
