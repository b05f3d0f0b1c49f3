#include "link/IdentQuery.h"

#include <QObject>

#include "app/CommSettings.h"
#include "app/UpdateApp.h"
#include "link/AutoConfig.h"
#include "link/PortList.h"
#include "link/SerialLink.h"

namespace {

// The time limit the Communication dialog uses when the setting is 0.
constexpr int kDefaultMaxTimeSec = 600;

}  // namespace

IdentOutcome RunIdentQuery(const IdentRequest& request, IAutoConfigView* view)
{
    IdentOutcome outcome;
    CUpdateApp& app = App();
    CSerialLink link;
    link.ApplySettings(app.m_comm);
    link.SetPortNumber(app.m_nPortIndex + 1);
    if (!request.port.empty()) {
        int number = PortNumberOf(request.port);
        if (number > 0)
            link.SetPortNumber(number);
        else
            link.SetDevicePath(request.port);
    }
    int startRate = request.nStartRate > 0 ? request.nStartRate : BaudFromIndex(app.m_nBaudIndex);
    if (BaudIndexOf(startRate) < 0) {
        outcome.error = "unknown rate " + std::to_string(startRate);
        return outcome;
    }
    link.SetBaudRate(static_cast<uint32_t>(startRate));

    int maxTime = request.nMaxTimeSec;
    if (maxTime < 0)
        maxTime = app.m_nAutoMaxTimeSec > 0 ? app.m_nAutoMaxTimeSec : kDefaultMaxTimeSec;

    CAutoConfigDlg dlg(link, maxTime, view);
    dlg.SetRange(startRate, app.m_nAutoBaudMin, app.m_nAutoBaudMax);
    dlg.AllowSpeedChange(request.bScan);
    dlg.EnableLockOption(request.bScan);
    outcome.portName = link.PortName();
    outcome.devicePath = link.DevicePath();
    outcome.nResult = dlg.RunModal();
    outcome.nRate = static_cast<int>(link.BaudRate());
    outcome.answer = dlg.GetIdentReply();
    outcome.nOpenError = link.LastError();
    if (request.bScan) {
        // The search range may have been widened to take in the start rate.
        dlg.GetRange(app.m_nAutoBaudMin, app.m_nAutoBaudMax);
    }
    return outcome;
}
