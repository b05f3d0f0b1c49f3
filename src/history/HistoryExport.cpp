// The history as text: CSV (RFC 4180), JSON, the terminal's table and the
// details of one run.
#include <cstdio>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "history/HistoryQuery.h"

namespace {

struct ExportColumn {
    const char* name;
    std::function<nlohmann::json(const HistoryRow&)> value;
};

const std::vector<ExportColumn>& Columns()
{
    static const std::vector<ExportColumn> kColumns = {
        {"run", [](const HistoryRow& r) { return r.runId; }},
        {"started", [](const HistoryRow& r) { return r.started; }},
        {"ended", [](const HistoryRow& r) { return r.ended; }},
        {"station", [](const HistoryRow& r) { return r.station; }},
        {"user", [](const HistoryRow& r) { return r.user; }},
        {"program", [](const HistoryRow& r) { return r.program; }},
        {"process", [](const HistoryRow& r) { return r.process; }},
        {"port", [](const HistoryRow& r) { return r.port; }},
        {"request", [](const HistoryRow& r) { return r.request; }},
        {"board", [](const HistoryRow& r) { return r.board; }},
        {"environment", [](const HistoryRow& r) { return r.environment; }},
        {"hardware", [](const HistoryRow& r) { return r.hardware; }},
        {"software_before", [](const HistoryRow& r) { return r.softwareBefore; }},
        {"software_wanted", [](const HistoryRow& r) { return r.softwareWanted; }},
        {"software_after", [](const HistoryRow& r) { return r.softwareAfter; }},
        {"release", [](const HistoryRow& r) { return r.release; }},
        {"release_sha256", [](const HistoryRow& r) { return r.releaseSha256; }},
        {"rate", [](const HistoryRow& r) { return r.rate; }},
        {"bytes", [](const HistoryRow& r) { return r.bytes; }},
        {"resends", [](const HistoryRow& r) { return r.resends; }},
        {"seconds", [](const HistoryRow& r) { return r.seconds; }},
        {"result", [](const HistoryRow& r) { return r.result; }},
        {"reason", [](const HistoryRow& r) { return r.reason; }},
    };
    return kColumns;
}

std::string CellText(const nlohmann::json& value)
{
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string Duration(long long seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

// The stored time shown on the terminal: "YYYY-MM-DD HH:MM:SS" (UTC).
std::string ShownTime(const std::string& stored)
{
    std::string shown = stored;
    if (shown.size() == 20 && shown[10] == 'T') {
        shown[10] = ' ';
        shown.pop_back();
    }
    return shown;
}

std::string Pad(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

}  // namespace

const std::vector<std::string>& HistoryExportColumns()
{
    static const std::vector<std::string> kNames = [] {
        std::vector<std::string> names;
        for (const ExportColumn& c : Columns()) names.push_back(c.name);
        return names;
    }();
    return kNames;
}

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string HistoryCsv(const std::vector<HistoryRow>& rows)
{
    std::string csv;
    for (const ExportColumn& c : Columns()) csv += (csv.empty() ? "" : ",") + CsvField(c.name);
    csv += "\r\n";
    for (const HistoryRow& row : rows) {
        std::string line;
        bool first = true;
        for (const ExportColumn& c : Columns()) {
            line += (first ? "" : ",") + CsvField(CellText(c.value(row)));
            first = false;
        }
        csv += line + "\r\n";
    }
    return csv;
}

std::string HistoryJson(const std::vector<HistoryRow>& rows)
{
    nlohmann::json array = nlohmann::json::array();
    for (const HistoryRow& row : rows) {
        nlohmann::json object = nlohmann::json::object();
        for (const ExportColumn& c : Columns()) object[c.name] = c.value(row);
        array.push_back(std::move(object));
    }
    return array.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string HistoryTable(const std::vector<HistoryRow>& rows)
{
    const std::vector<std::string> header = {"RUN", "TIME (UTC)", "STATION", "PORT", "BOARD", "SOFTWARE", "RESULT", "TIME", "RATE"};
    std::vector<std::vector<std::string>> cells = {header};
    for (const HistoryRow& r : rows) {
        const std::string software =
            r.boardId == 0 ? r.process
                           : (r.softwareBefore.empty() ? "?" : r.softwareBefore) + " -> " +
                                 (r.softwareAfter.empty() ? (r.softwareWanted.empty() ? "?" : "(" + r.softwareWanted + ")")
                                                          : r.softwareAfter);
        cells.push_back({std::to_string(r.runId), ShownTime(r.started), r.station, r.port, r.board, software, r.result,
                         r.boardId == 0 ? "" : Duration(r.seconds), r.rate > 0 ? std::to_string(r.rate) : ""});
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& line : cells)
        for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], std::min<std::size_t>(line[i].size(), 40));
    std::string text;
    for (const auto& line : cells) {
        std::string out;
        for (std::size_t i = 0; i < line.size(); ++i) out += (i ? "  " : "") + (i + 1 < line.size() ? Pad(line[i], widths[i]) : line[i]);
        while (!out.empty() && out.back() == ' ') out.pop_back();
        text += out + "\n";
    }
    return text;
}

std::string HistoryRunText(const HistoryRunDetails& d)
{
    std::ostringstream out;
    out << "Run " << d.id << ": " << d.process << ", " << d.result;
    if (!d.reason.empty()) out << " (" << d.reason << ")";
    out << "\n  started   " << ShownTime(d.started) << " UTC\n  ended     "
        << (d.ended.empty() ? "-" : ShownTime(d.ended) + " UTC") << "\n  station   " << d.station << "\n  user      "
        << d.user << "\n  program   " << d.program << " " << d.version << "\n  port      " << d.port << " at "
        << d.rate << " bit/s\n";
    if (!d.request.empty()) out << "  request   " << d.request << "\n  sha256    " << d.requestSha256 << "\n";
    for (std::size_t i = 0; i < d.boards.size(); ++i) {
        const HistoryRow& b = d.boards[i];
        const HistoryRunDetails::Board& x = d.boardExtras[i];
        out << "\nBoard " << b.board << " (" << b.environment << "): " << b.result;
        if (!b.reason.empty()) out << " (" << b.reason << ")";
        out << "\n  subassy   " << x.subassyId << " " << b.hardware << "\n  software  "
            << (b.softwareBefore.empty() ? "?" : b.softwareBefore) << " -> "
            << (b.softwareAfter.empty() ? "?" : b.softwareAfter) << " (wanted " << b.softwareWanted << ")\n  release   "
            << b.release;
        if (x.releaseSize >= 0) out << ", " << x.releaseSize << " bytes";
        out << "\n  sha256    " << b.releaseSha256 << "\n  .vle      " << x.vleSha256 << "\n  started   "
            << ShownTime(b.started) << " UTC\n  ended     " << (b.ended.empty() ? "-" : ShownTime(b.ended) + " UTC")
            << "\n  sent      " << b.bytes << " bytes, " << b.resends << " resends, " << Duration(b.seconds) << " at "
            << b.rate << " bit/s\n";
        if (x.resultCode >= 0) out << "  result    " << x.resultCode << " " << x.resultText << "\n";
    }
    if (!d.idents.empty()) {
        out << "\nIdentification answers:\n";
        for (const HistoryIdentRow& i : d.idents)
            out << "  " << ShownTime(i.seen) << (i.afterRestart ? " after restart " : " ") << i.rate << " bit/s  "
                << i.sentence << "\n";
    }
    return out.str();
}
