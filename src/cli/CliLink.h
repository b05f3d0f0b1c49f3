#pragma once
// The port and rate options shared by the commands that talk to a receiver,
// and the wait for a process to end.
#include <string>
#include <vector>

#include "cli/CliOutcome.h"

class CProcessEngine;
class CSerialLink;

// Environment variable naming the port when --port is not given.
inline constexpr const char* kPortVariable = "TAVREL_PORT";

// --port P (else $TAVREL_PORT, else the settings' COMn) and --baud R: a port
// number becomes the settings' port for this run, a path (or a name of
// /dev/serial/by-id) is opened as it is and never stored as a COM number.
// The link keeps its port locked until the command ends. False with `error`
// (a usage error) when a value names nothing.
bool CliApplyLinkOptions(const std::string& port, const std::string& baud, CSerialLink& link,
                         std::string& error);
// The port word of --port or $TAVREL_PORT resolved to "COMn" or a device
// path, for the commands that open their own link; empty when neither is given.
bool CliPortWord(const std::string& port, std::string& resolved, std::string& error);

// What to do about an open failure of `link` (its reason and a next step),
// empty when the last open succeeded.
std::string OpenFailureAdvice(const CSerialLink& link);

// "9600, 19200 and 38400 bit/s"; empty for no rate.
std::string RateList(const std::vector<int>& rates);

// Nothing answered on `port` at `rates` (bit/s): the reason and what to do
// next; `rateHint`, when not empty, says how to try other rates.
std::string NoAnswerAdvice(const std::string& port, const std::vector<int>& rates, const std::string& rateHint);

// Bytes came back on `port` at `rates` (bit/s) but no identification.
std::string SomethingAnswers(const std::string& port, const std::vector<int>& rates);

// Nothing answered the identification of the process that just ended: the
// reason, from what the terminal host saw of its runs (the port and rates).
std::string IdentFailureReason(const CSerialLink& link);

// A search that found no receiver, or a port that did not open: the
// reason, what the receiver is left as and the next step (`again`: the
// command to run once the cause is mended).
FailureEnd NoReceiverEnd(const CSerialLink& link, const std::string& again);

// A rate the board answered at, found by a search (ident --scan, query):
// with `save` (--save) it becomes the communication settings, with the
// port when that is a COMn, as "OK" of the Communication dialog stores
// them, and they are printed; without, a rate the settings do not name is
// reported as not stored. 0, or 1 when Tavrel.ini cannot be written.
int KeepFoundRate(const CSerialLink& link, bool save);

// The communication settings as now held, "COM2:9600,n,8,2"; for a link
// on a device path, that path with the rate, saying the settings keep their
// COM number.
std::string CommunicationSettingsText(const CSerialLink& link);

// Runs the event loop until the engine is idle again.
void CliWaitUntilIdle(const CProcessEngine& engine);
