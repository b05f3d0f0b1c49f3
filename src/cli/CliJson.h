#pragma once
// Where a --json report goes: a file, or standard output for "-". With "-"
// everything else the command prints for people goes to standard error, so
// that standard output holds only the JSON.
#include <iosfwd>
#include <memory>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

// While it lives, std::cout writes to standard error, and Stdout() alone
// reaches standard output: for output that other programs read there.
class CStdoutReserved {
public:
    CStdoutReserved();
    ~CStdoutReserved();
    CStdoutReserved(const CStdoutReserved&) = delete;
    CStdoutReserved& operator=(const CStdoutReserved&) = delete;
    std::ostream& Stdout() { return m_out; }

private:
    std::streambuf* m_pSaved;
    std::ostream m_out;
};

class CJsonReport {
public:
    // `target`: the option's value; empty when no report is wanted.
    explicit CJsonReport(const std::string& target);
    ~CJsonReport();
    CJsonReport(const CJsonReport&) = delete;
    CJsonReport& operator=(const CJsonReport&) = delete;

    bool Wanted() const { return !m_strTarget.empty(); }
    // Writes the report; false with `error` when the file cannot be written.
    bool Write(const nlohmann::json& report, std::string& error) const;

private:
    std::string m_strTarget;
    std::unique_ptr<CStdoutReserved> m_pStdout;   // for "-"
};

// The rows of an identification answer ("$PKVR,IDENT,..." lines) as JSON:
// {"number", "hardware", "software", "port"} each.
nlohmann::json IdentRowsJson(const std::string& answer);
// The answer's sentences, one per element, without line ends.
nlohmann::json AnswerLinesJson(const std::string& answer);
