// --json reports of tavrel-cli.
#include "cli/CliJson.h"

#include <fstream>
#include <iostream>

#include "link/IdentReply.h"

namespace {

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

CStdoutReserved::CStdoutReserved() : m_pSaved(std::cout.rdbuf()), m_out(m_pSaved)
{
    std::cout.flush();
    std::cout.rdbuf(std::cerr.rdbuf());
}

CStdoutReserved::~CStdoutReserved()
{
    m_out.flush();
    std::cout.flush();
    std::cout.rdbuf(m_pSaved);
}

CJsonReport::CJsonReport(const std::string& target) : m_strTarget(target)
{
    if (m_strTarget == "-") m_pStdout = std::make_unique<CStdoutReserved>();
}

CJsonReport::~CJsonReport() = default;

bool CJsonReport::Write(const nlohmann::json& report, std::string& error) const
{
    const std::string text = report.dump(2) + "\n";
    if (m_pStdout) {
        m_pStdout->Stdout() << text << std::flush;
        return true;
    }
    std::ofstream out(m_strTarget, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        error = "cannot write " + m_strTarget;
        return false;
    }
    return true;
}

nlohmann::json IdentRowsJson(const std::string& answer)
{
    nlohmann::json rows = nlohmann::json::array();
    for (const IdentReplyRow& row : IdentReplyRows(answer))
        rows.push_back({{"number", Trimmed(row.number)},
                        {"hardware", Trimmed(row.hardware)},
                        {"software", Trimmed(row.software)},
                        {"port", row.port}});
    return rows;
}

nlohmann::json AnswerLinesJson(const std::string& answer)
{
    nlohmann::json lines = nlohmann::json::array();
    for (const std::string& line : IdentSeriesLines(answer)) lines.push_back(line);
    return lines;
}
