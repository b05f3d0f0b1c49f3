// Port and rate options of the commands that talk to a receiver.
#include "cli/CliLink.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "app/CommSettings.h"
#include "app/Host.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "cli/TerminalHost.h"
#include "engine/ProcessEngine.h"
#include "link/ChangeComm.h"
#include "link/PortList.h"
#include "link/SerialLink.h"

namespace {

bool ApplyBaudOption(const std::string& baud, std::string& error)
{
    if (baud.empty()) return true;
    const bool digits = baud.size() <= 6 && baud.find_first_not_of("0123456789") == std::string::npos;
    const int index = digits ? BaudIndexOf(std::atoi(baud.c_str())) : -1;
    if (index < 0) {
        error = "--baud " + baud + ": not one of 300 1200 4800 9600 19200 38400 57600 115200 128000 256000";
        return false;
    }
    App().m_nBaudIndex = index;
    return true;
}

std::string GroupOf(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    const group* g = ::getgrgid(st.st_gid);
    return g != nullptr && g->gr_name != nullptr ? g->gr_name : "";
}

}  // namespace

bool CliPortWord(const std::string& port, std::string& resolved, std::string& error)
{
    resolved.clear();
    std::string word = port;
    const char* variable = std::getenv(kPortVariable);
    const bool fromVariable = word.empty() && variable != nullptr && *variable != '\0';
    if (fromVariable) word = variable;
    if (word.empty()) return true;
    const PortChoice choice = ResolvePortWord(word);
    if (!choice.Ok()) {
        error = (fromVariable ? std::string(kPortVariable) + ": " : std::string("--port: ")) + choice.error;
        return false;
    }
    resolved = choice.number > 0 ? "COM" + std::to_string(choice.number) : choice.device;
    return true;
}

bool CliApplyLinkOptions(const std::string& port, const std::string& baud, CSerialLink& link,
                         std::string& error)
{
    std::string word;
    if (!CliPortWord(port, word, error) || !ApplyBaudOption(baud, error)) return false;
    const int number = word.empty() ? 0 : PortNumberOf(word);
    if (number > 0) {
        App().m_nPortIndex = number - 1;
        link.SetDevicePath(std::string());
    } else if (!word.empty()) {
        link.SetDevicePath(word);
    }
    link.HoldLock(true);
    return true;
}

std::string OpenFailureAdvice(const CSerialLink& link)
{
    if (link.OpenFailure().empty()) return {};
    std::string text = "cannot open " + link.OpenFailure();
    switch (link.LastError()) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return text + "; is the adapter plugged in? `tavrel-cli ports` lists the serial devices, "
                      "--port chooses one";
    case EACCES:
    case EPERM: {
        const std::string group = GroupOf(link.DevicePath());
        return text + (group.empty() ? std::string("; ask for access to the device")
                                     : "; the device belongs to group " + group + ": `sudo usermod -aG " + group +
                                           " $USER`, then log in again");
    }
    case EBUSY:
        return text + "; wait for that program to end, or choose another port with --port";
    case ENOTTY:
        return text + "; --port needs a serial device (`tavrel-cli ports` lists them)";
    default:
        return text;
    }
}

std::string RateList(const std::vector<int>& rates)
{
    std::string list;
    for (std::size_t i = 0; i < rates.size(); ++i)
        list += (i == 0 ? "" : i + 1 == rates.size() ? " and " : ", ") + std::to_string(rates[i]);
    return list + (list.empty() ? "" : " bit/s");
}

std::string NoAnswerAdvice(const std::string& port, const std::vector<int>& rates, const std::string& rateHint)
{
    const std::string list = RateList(rates);
    std::string text = "no answer from a receiver on " + port + (list.empty() ? "" : " at " + list) +
                       ": no byte came back: check the cable, the power and the port (--port chooses another; "
                       "`tavrel-cli ports` lists them)";
    return rateHint.empty() ? text : text + " (" + rateHint + ")";
}

std::string SomethingAnswers(const std::string& port, const std::vector<int>& rates)
{
    return "something answers on " + port + " at " + RateList(rates) +
           " but not as a receiver (bytes came back, no identification): check that the receiver, not another "
           "device, is on this port, and its rate";
}

std::string IdentFailureReason(const CSerialLink& link)
{
    std::string hint =
        App().m_bQueryAutoSpeed ? "" : "\"Query auto speed enable\" is off: only this rate was tried";
    auto* host = dynamic_cast<CTerminalHost*>(&Host());
    if (host == nullptr) return NoAnswerAdvice(link.PortName(), {}, hint);
    const CIdentRecorder& seen = host->IdentRecorder();
    const std::string port = seen.Port().empty() ? link.PortName() : seen.Port();
    if (!seen.RatesWithBytes().empty()) return SomethingAnswers(port, seen.RatesWithBytes());
    if (seen.GaveUpSilent())
        hint = "the search stopped after two rounds of the rates without a byte; --wait keeps searching while "
               "the receiver is switched on";
    return NoAnswerAdvice(port, seen.RatesTried(), hint);
}

FailureEnd NoReceiverEnd(const CSerialLink& link, const std::string& again)
{
    if (!link.OpenFailure().empty()) return {OpenFailureAdvice(link), kReceiverNotOpened, "once the port opens: " + again};
    return {IdentFailureReason(link), kReceiverOnlyAsked, "mend what is said above, then " + again};
}

std::string CommunicationSettingsText(const CSerialLink& link)
{
    const CUpdateApp& app = App();
    const std::string stored = LinkText(app.m_nPortIndex, app.m_nBaudIndex);
    if (PortNumberOf(link.PortName()) > 0) return stored;
    return link.PortName() + stored.substr(stored.find(':')) + " (a path is not stored: the settings keep COM" +
           std::to_string(app.m_nPortIndex + 1) + ")";
}

void CliWaitUntilIdle(const CProcessEngine& engine)
{
    while (!engine.IsIdle()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int KeepFoundRate(const CSerialLink& link, bool save)
{
    CUpdateApp& app = App();
    const int rate = static_cast<int>(link.BaudRate());
    if (!save) {
        if (rate != app.m_comm.nBaudRate && !Globals().quiet)
            std::cerr << kErrorPrefix << "the board answers at " << rate << " bit/s, the settings say "
                      << app.m_comm.nBaudRate << ": --save stores the rate found\n";
        return 0;
    }
    const int number = PortNumberOf(link.PortName());
    const int portIndex = number > 0 ? number - 1 : app.m_nPortIndex;
    CSerialLink settings;
    settings.ApplySettings(app.m_comm);
    RestoreStoredEnvDir();
    if (!SaveCommunicationChoice(settings, portIndex, BaudIndexOf(rate)))
        return CliFailure("cannot write " + app.IniPath());
    std::cout << "Communication settings: " << CommunicationSettingsText(link) << "\n";
    return 0;
}
