#pragma once
// The health check as tavrel-cli shows it: on the terminal, in the log and
// as JSON.
#include <string>

#include <nlohmann/json.hpp>

#include "engine/HealthCheck.h"

nlohmann::json HealthJson(const HealthReport& health);
// "Health check against WHAT:", the report's lines on stdout, and the same
// lines in the log.
void PrintHealth(const HealthReport& health, const std::string& what);
