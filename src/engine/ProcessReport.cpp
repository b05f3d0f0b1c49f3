#include "engine/ProcessReport.h"

#include <array>
#include <cstdio>

#include "app/Host.h"
#include "app/Strings.h"
#include "engine/EngineTypes.h"

namespace {

constexpr const char* kCrLf = "\r\n";

// Result code -> string id of its end-report text.
constexpr std::array<int, 8> kResultTextIds = {
    102,  // RESULT_UNKNOWN
    97,   // RESULT_OK
    96,   // RESULT_NOT_FOUND
    104,  // RESULT_NEW_RELEASE_NOT_FOUND
    101,  // RESULT_ABORTED
    130,  // RESULT_BAD_SERIAL
    99,   // RESULT_NOT_UPDATED
    178,  // RESULT_FAILED
};
constexpr int kNotUpdatedTextId = 99;
constexpr int kUnknownTextId = 102;

const char* YesNo(bool value) { return value ? "Oui" : "Non"; }

}  // namespace

std::string BoardSummary(const BoardSummaryFacts& f)
{
    char counter[64];
    std::snprintf(counter, sizeof counter, "| Carte %d sur %d", f.lineNumber, f.lineCount);
    std::string s;
    s += std::string(counter) + kCrLf;
    s += "|Environnement      : " + f.envName + kCrLf;
    s += "|Carte              : " + f.boardName + kCrLf;
    s += "|Ident. du boot     : " + f.subassyId + f.subassyHardw + " " + f.bootLoader + kCrLf;
    s += "|Version logiciel   : " + f.softId + kCrLf;
    s += std::string("|Re-boot            : ") + YesNo(f.restart) + kCrLf;
    s += std::string("|Carte seule        : ") + YesNo(f.boardAlone) + kCrLf;
    if (f.relayedDefinition) {
        s += "|Carte parent       : " + f.parentName + kCrLf;
        s += "|et port local      : " + f.destinationName + kCrLf;
    }
    s += "|Fichier            : " + f.releaseFile + " (" + f.vleFile + ")" + kCrLf;
    return s;
}

std::string ElapsedText(long seconds)
{
    if (seconds < 0) seconds = 0;
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

std::string OperationTimeText(long seconds)
{
    return "Temps de l'opération = " + ElapsedText(seconds) + kCrLf;
}

long long ExpectedTransferSeconds(long long bytes, long rate)
{
    if (rate <= 0) rate = 9600;
    if (bytes < 0) bytes = 0;
    const long long s = bytes * 12 / rate + 2;
    return static_cast<long long>(static_cast<double>(s) * 1.4);
}

std::string RemainingTimeText(bool transfer, long long totalBytes, long long bytesSent, long rate)
{
    if (!transfer) return {};
    const long long s = ExpectedTransferSeconds(totalBytes - bytesSent, rate);
    if (s < 61) return FormatString(132, {std::to_string(s)});
    return FormatString(131, {std::to_string(s / 60 + 1)});
}

int ResultTextId(int result, bool selected)
{
    if (!selected) return kNotUpdatedTextId;
    if (result < 0 || result >= static_cast<int>(kResultTextIds.size())) return kUnknownTextId;
    return kResultTextIds[static_cast<size_t>(result)];
}

std::string EndReportLine(const std::string& boardName, int result, bool selected)
{
    return FormatString(98, {boardName}) + GetString(ResultTextId(result, selected));
}

std::string ShortenText(const std::string& text, int n)
{
    const size_t keep = static_cast<size_t>(n < 0 ? 0 : n) + 3;
    if (text.size() <= keep) return text;
    size_t start = text.size() - keep;
    // Never start inside a UTF-8 sequence.
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
    return "..." + text.substr(start);
}
