// Request lines against the environments.
#include "cli/RequestCheck.h"

#include "cli/CliCommand.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

namespace {

const CEnvDef* EnvironmentNamed(const std::string& name)
{
    for (const CEnvDef& env : g_envList)
        if (env.m_strName == name) return &env;
    return nullptr;
}

std::string BoardProblem(const CBoardConf& line, const CEnvDef& env)
{
    std::vector<std::string> names;
    for (const CBoardDef& board : env.m_boards) {
        if (board.m_strName == line.m_strBoardName)
            return "board \"" + board.m_strName + "\" of environment \"" + env.m_strName + "\" has hardware \"" +
                   board.m_strSubassyHardw + "\", not \"" + line.m_strSubassyHardw + "\"";
        names.push_back(board.m_strName);
    }
    return "no board \"" + line.m_strBoardName + "\" with hardware \"" + line.m_strSubassyHardw +
           "\" in environment \"" + env.m_strName + "\"" + OfferNames(line.m_strBoardName, names);
}

}  // namespace

std::vector<std::string> RequestLineProblems(const std::vector<CBoardConf>& lines, const std::string& envDir)
{
    std::vector<std::string> problems;
    std::vector<std::string> envNames;
    for (const CEnvDef& env : g_envList) envNames.push_back(env.m_strName);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CBoardConf& line = lines[i];
        const std::string where = "line " + std::to_string(i + 1) + " (\"" + line.m_strBoardName + "\"): ";
        const CEnvDef* env = EnvironmentNamed(line.m_strEnvName);
        if (env == nullptr) {
            problems.push_back(where + "no environment \"" + line.m_strEnvName + "\" in " + envDir +
                               (envNames.empty() ? " (it holds none)" : OfferNames(line.m_strEnvName, envNames)));
            continue;
        }
        CBoardConf probe = line;
        if (!CUpdateDoc().FindLineEnvironment(probe)) {
            problems.push_back(where + BoardProblem(line, *env));
            continue;
        }
        if (i > 0 && line.m_strEnvName != lines[0].m_strEnvName)
            problems.push_back(where + "environment \"" + line.m_strEnvName + "\" is not line 1's \"" +
                               lines[0].m_strEnvName + "\": a request loads boards of one environment");
    }
    return problems;
}
