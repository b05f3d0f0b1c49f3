// .sfl files: a request document in the archive encoding. Whatever is read
// must write back and read again to the same bytes; a refused file leaves
// the document as it was. What was read is then linked to a loaded
// environment and its relay chains are built.
#include <cstdint>
#include <vector>

#include "FuzzCommon.h"
#include "ModelFuzz.h"
#include "model/BoardDef.h"
#include "model/UpdateDoc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CUpdateDoc doc;
    doc.m_lines.resize(1);
    doc.m_lines[0].m_strBoardName = "kept";
    if (!RequestFromBytes(std::vector<uint8_t>(data, data + size), doc)) {
        FUZZ_CHECK(doc.m_lines.size() == 1 && doc.m_lines[0].m_strBoardName == "kept");
        return 0;
    }
    for (const CBoardConf& line : doc.m_lines) (void)line.GetDescription();
    const std::vector<uint8_t> once = RequestToBytes(doc, doc.m_nFileVersion);
    CUpdateDoc again;
    FUZZ_CHECK(RequestFromBytes(once, again));
    FUZZ_CHECK(SameLines(again, doc));
    FUZZ_CHECK(RequestToBytes(again, again.m_nFileVersion) == once);

    if (g_envList.empty()) LoadDemoEnvironment();
    if (doc.LinkLines() == 1) {
        for (const CBoardConf& line : doc.m_lines) FUZZ_CHECK(CUpdateDoc::LineBoardDef(line) != nullptr);
        if (doc.BuildRelayPaths())
            for (CBoardConf& line : doc.m_lines) line.ResetForTransfer();
    }
    return 0;
}
