#pragma once
// Text forms of environments and requests for people and tools: JSON with
// every stored field, table values spelled out ("Port A", "Relais simple",
// "115200"); an unset value is null, a value outside its table a number.
#include <nlohmann/json.hpp>
#include <string>

#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

inline constexpr const char* kEnvJsonFormat = "tavrel-environment";
inline constexpr const char* kRequestJsonFormat = "tavrel-request";

nlohmann::json BoardDefToJson(const CBoardDef& board);
nlohmann::json EnvironmentToJson(const CEnvDef& environment);
nlohmann::json BoardConfToJson(const CBoardConf& line);
nlohmann::json RequestToJson(const CUpdateDoc& doc);

// The readers refuse unknown keys, wrong types, numbers outside 32 bits and
// characters that Windows-1252 cannot hold; `error` says where. Missing keys
// keep their defaults.
bool BoardDefFromJson(const nlohmann::json& j, CBoardDef& board, std::string& error);
bool EnvironmentFromJson(const nlohmann::json& j, CEnvDef& environment, std::string& error);
bool BoardConfFromJson(const nlohmann::json& j, CBoardConf& line, std::string& error);
// Lines and file version of a request.
bool RequestFromJson(const nlohmann::json& j, CUpdateDoc& doc, std::string& error);
