// The health check of tavrel-cli for people, the log and programs.
#include "cli/CliHealth.h"

#include <iostream>

#include "app/UpdateApp.h"

nlohmann::json HealthJson(const HealthReport& health)
{
    nlohmann::json boards = nlohmann::json::array();
    for (const BoardCheck& check : health.boards) {
        nlohmann::json board = {{"name", check.name},
                                {"state", BoardHealthName(check.state)},
                                {"software", check.software},
                                {"request_software", check.requestSoftware},
                                {"exact_software", check.exactSoftware},
                                {"detail", check.detail}};
        if (!check.nextStep.empty()) board["next_step"] = check.nextStep;
        boards.push_back(board);
    }
    nlohmann::json others = nlohmann::json::array();
    for (const BoardCheck& check : health.others)
        others.push_back({{"name", check.name}, {"state", BoardHealthName(check.state)}, {"software", check.software}});
    nlohmann::json unexpected = nlohmann::json::array();
    for (const UnexpectedBoard& board : health.unexpected)
        unexpected.push_back({{"hardware", board.hardware}, {"port", board.port}, {"software", board.software}});
    return {{"healthy", health.healthy}, {"verdict", health.verdict}, {"boards", boards}, {"others", others},
            {"unexpected", unexpected}};
}

void PrintHealth(const HealthReport& health, const std::string& what)
{
    std::cout << "Health check against " << what << ":\n";
    for (const std::string& line : HealthReportLines(health)) std::cout << line << "\n";
    for (const std::string& line : HealthReportLines(health)) App().WriteLogNote(line + "\r\n");
}

