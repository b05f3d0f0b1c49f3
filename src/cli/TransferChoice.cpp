// tavrel-cli transfer --board and --dry-run.
#include "cli/TransferChoice.h"

#include <algorithm>

#include <sys/stat.h>

#include "app/CommSettings.h"
#include "cli/CliCommand.h"
#include "cli/CliRelease.h"
#include "engine/ProcessReport.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"
#include "release/Import.h"

namespace {

bool IsFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The line rate of a transfer of `line`: its effective speed over its relay chain.
int LineRate(CBoardConf line)
{
    if (const CEnvDef* env = CUpdateDoc::LineEnvironment(line)) BuildLineHops(line, *env);
    return BaudFromIndex(line.ComputeEffectiveSpeed());
}

BoardPreview PreviewLine(const CBoardConf& line)
{
    BoardPreview preview;
    preview.board = line.m_strBoardName;
    preview.release = line.ReleaseFilePath();
    preview.rate = LineRate(line);
    if (!IsFile(preview.release)) {
        preview.problem = "release file not found";
        return preview;
    }
    const ImportOutcome imported = ImportReleasePath(preview.release, nullptr, false);
    preview.format = imported.format;
    if (!imported.success) {
        preview.problem = imported.problem.empty() ? "not a release of a known format" : imported.problem;
        return preview;
    }
    preview.bytes = static_cast<long long>(ReadVleContents(imported.vlePath).bytes);
    preview.seconds = ExpectedTransferSeconds(preview.bytes, preview.rate);
    return preview;
}

}  // namespace

bool KeepChosenBoards(CUpdateDoc& doc, const std::vector<std::string>& boards, std::string& error)
{
    if (boards.empty()) return true;
    std::vector<std::string> names;
    for (const CBoardConf& line : doc.m_lines) names.push_back(line.m_strBoardName);
    for (const std::string& board : boards) {
        if (std::find(names.begin(), names.end(), board) != names.end()) continue;
        const std::string close = ClosestName(board, names);
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        error = "--board " + board + ": no line of the request loads it; " +
                (close.empty() ? "its boards are: " + list : "closest: " + close);
        return false;
    }
    std::erase_if(doc.m_lines, [&](const CBoardConf& line) {
        return std::find(boards.begin(), boards.end(), line.m_strBoardName) == boards.end();
    });
    return true;
}

std::vector<BoardPreview> PreviewBoards(CUpdateDoc& doc)
{
    std::vector<BoardPreview> previews;
    for (const CBoardConf& line : doc.m_lines) previews.push_back(PreviewLine(line));
    return previews;
}

nlohmann::json PreviewJson(const std::vector<BoardPreview>& boards)
{
    nlohmann::json list = nlohmann::json::array();
    for (const BoardPreview& b : boards) {
        nlohmann::json board = {{"name", b.board},   {"release", b.release},         {"format", b.format},
                                {"bytes", b.bytes}, {"rate", b.rate}, {"expected_seconds", b.seconds}};
        if (!b.problem.empty()) board["problem"] = b.problem;
        list.push_back(board);
    }
    return list;
}

std::vector<std::string> PreviewLines(const std::vector<BoardPreview>& boards)
{
    std::vector<std::string> lines;
    for (const BoardPreview& b : boards) {
        std::string line = "  " + b.board + ": " + b.release;
        if (!b.problem.empty()) line += ": " + b.problem;
        else
            line += ", " + b.format + ", " + std::to_string(b.bytes) + " bytes, at " + std::to_string(b.rate) +
                    " bit/s about " + ElapsedText(static_cast<long>(b.seconds));
        lines.push_back(line);
    }
    return lines;
}
