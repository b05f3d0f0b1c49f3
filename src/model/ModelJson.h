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

nlohmann::ordered_json BoardDefToJson(const CBoardDef& board);
nlohmann::ordered_json EnvironmentToJson(const CEnvDef& environment);
nlohmann::ordered_json BoardConfToJson(const CBoardConf& line);
nlohmann::ordered_json RequestToJson(const CUpdateDoc& doc);

// The readers refuse unknown keys, wrong types, numbers outside 32 bits and
// characters that Windows-1252 cannot hold; `error` says where. Missing keys
// keep their defaults.
bool BoardDefFromJson(const nlohmann::ordered_json& j, CBoardDef& board, std::string& error);
bool EnvironmentFromJson(const nlohmann::ordered_json& j, CEnvDef& environment, std::string& error);
bool BoardConfFromJson(const nlohmann::ordered_json& j, CBoardConf& line, std::string& error);
// Lines and file version of a request.
bool RequestFromJson(const nlohmann::ordered_json& j, CUpdateDoc& doc, std::string& error);

// Reads a JSON file of at most MODEL_MAX_FILE_BYTES.
bool ReadJsonFile(const std::string& path, nlohmann::ordered_json& j, std::string& error);

// The JSON of an environment read from its .def file, with the path text the
// file stores (not the one it was read from), so that an import writes the
// same bytes again.
nlohmann::ordered_json ExportEnvironmentJson(const CEnvDef& environment);

// Writes `outPath` from the JSON form of an environment after the checks of
// the environment editor's Save: at least one board, every board valid (the
// first failure is shown in a stop box captioned with message 155).
bool ImportEnvironmentJson(const nlohmann::ordered_json& j, const std::string& outPath, std::string& error);

// Writes `outPath` from the JSON form of a request. Every line is checked
// as the line dialog does against the environment it names in g_envList
// (scanned by the caller); a line whose environment or board is not loaded
// only gets the checks that need no environment. Two lines naming the same
// board are refused (message 13). The first failure is shown in a warning box.
bool ImportRequestJson(const nlohmann::ordered_json& j, const std::string& outPath, std::string& error);
