// JSON forms of environments and requests, as `env import` and `request
// import` read them. Whatever is read must give JSON that reads back to the
// same document, and an import that is accepted must write a file that loads
// again as that document.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCommon.h"
#include "ModelFuzz.h"
#include "model/ModelFiles.h"
#include "model/ModelJson.h"
#include "model/UpdateDoc.h"

namespace {

void CheckEnvironment(const nlohmann::ordered_json& j)
{
    CEnvDef env;
    std::string error;
    if (!EnvironmentFromJson(j, env, error)) return;
    CEnvDef again;
    FUZZ_CHECK(EnvironmentFromJson(EnvironmentToJson(env), again, error));
    FUZZ_CHECK(!again.IsDifferent(env));

    const std::string path = std::string(FuzzScratchDir()) + "/import.def";
    if (!ImportEnvironmentJson(j, path, error)) return;
    CEnvDef loaded;
    FUZZ_CHECK(LoadEnvironmentFile(path, loaded, ENV_MODE_VIEW) == 1);
    FUZZ_CHECK(!loaded.IsDifferent(env));
}

void CheckRequest(const nlohmann::ordered_json& j)
{
    CUpdateDoc doc;
    std::string error;
    if (!RequestFromJson(j, doc, error)) return;
    CUpdateDoc again;
    FUZZ_CHECK(RequestFromJson(RequestToJson(doc), again, error));
    FUZZ_CHECK(again.m_nFileVersion == doc.m_nFileVersion && SameLines(again, doc));

    if (g_envList.empty()) LoadDemoEnvironment();
    const std::string path = std::string(FuzzScratchDir()) + "/import.sfl";
    if (!ImportRequestJson(j, path, error)) return;
    std::vector<uint8_t> bytes;
    FUZZ_CHECK(ReadModelFile(path, bytes) == FileReadResult::Ok);
    CUpdateDoc loaded;
    FUZZ_CHECK(RequestFromBytes(bytes, loaded));
    FUZZ_CHECK(SameLines(loaded, doc));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto j = nlohmann::ordered_json::parse(data, data + size, nullptr, false);
    if (j.is_discarded()) return 0;
    CheckEnvironment(j);
    CheckRequest(j);
    return 0;
}
