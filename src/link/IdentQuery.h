#pragma once
// One identification query without a main window (tavrel-cli ident): opens
// the port, runs the auto-configure logic and reports what answered.
#include <string>

class IAutoConfigView;

struct IdentRequest {
    std::string port;        // "COMn", "n" or a device path; empty: the settings' port
    int nStartRate = 0;      // 0: the settings' rate
    bool bScan = false;      // walk the rates of the settings' search range
    int nMaxTimeSec = -1;    // -1: "Auto speed max. time" (600 s when 0); 0: no limit
};

struct IdentOutcome {
    int nResult = 0;         // AutoConfigResult, or 0 when the request was refused
    int nRate = 0;           // rate the board answered at (start rate otherwise)
    std::string portName;    // "COM1" or the device path
    std::string devicePath;
    std::string answer;      // identification answer, CR LF lines
    std::string error;       // why the request was refused
    int nOpenError = 0;      // errno when the port could not be opened or set up
};

IdentOutcome RunIdentQuery(const IdentRequest& request, IAutoConfigView* view);
