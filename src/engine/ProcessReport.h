#pragma once
// Texts of the process report: the board summary block of the log, the
// operation time, the remaining-time estimate, the end-report lines and the
// shortened texts of the view.
#include <string>

// Facts of one board line that the summary block prints.
struct BoardSummaryFacts {
    int lineNumber = 1;   // from 1
    int lineCount = 1;
    std::string envName;
    std::string boardName;
    std::string subassyId;
    std::string subassyHardw;
    std::string bootLoader;
    std::string softId;
    bool restart = false;
    bool boardAlone = false;
    bool relayedDefinition = false;   // the board definition is relayed
    std::string parentName;           // name of the parent board definition
    std::string destinationName;      // "Port A" .. "Dpram 4"
    std::string releaseFile;
    std::string vleFile;
};

// The board summary block, every line ending with CR LF.
std::string BoardSummary(const BoardSummaryFacts& facts);

// "%02d:%02d" of whole seconds (minutes may exceed 59).
std::string ElapsedText(long seconds);

// "Temps de l'opération = mm:ss" + CR LF.
std::string OperationTimeText(long seconds);

// Seconds a transfer of `bytes` takes at `rate` bit/s, as the progress
// estimates it (records, resends and pauses included).
long long ExpectedTransferSeconds(long long bytes, long rate);

// Remaining time of a transfer of `totalBytes` at `rate` bit/s once `bytesSent`
// went out: string 132 (seconds) or 131 (minutes). Empty when `transfer` is false.
std::string RemainingTimeText(bool transfer, long long totalBytes, long long bytesSent, long rate);

// String id of the end-report text of a board result code (99 when not selected).
int ResultTextId(int result, bool selected);

// One end-report line: "'name'    :  " + result text.
std::string EndReportLine(const std::string& boardName, int result, bool selected);

// "..." + the last n + 3 characters when the text is longer than n + 3 characters.
std::string ShortenText(const std::string& text, int n);


