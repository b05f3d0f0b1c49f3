// Identification answers from the line: the rows of the Reply dialog and the
// ident analysis of a board line, on any reply text and any board facts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "FuzzCommon.h"
#include "engine/IdentMatch.h"
#include "link/IdentReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    IdentTarget target;
    target.subassyId = input.ConsumeRandomLengthString(4);
    target.subassyHardw = input.ConsumeRandomLengthString(16);
    target.bootLoader = input.ConsumeRandomLengthString(6);
    target.destLetter = input.ConsumeIntegral<char>();
    target.boardAlone = input.ConsumeBool();
    const std::string softId = input.ConsumeRandomLengthString(14);
    const long total = input.ConsumeIntegral<int8_t>();
    const std::string reply = input.ConsumeRemainingBytesAsString();

    for (const IdentReplyRow& row : IdentReplyRows(reply)) FUZZ_CHECK(row.image >= -1 && row.image <= 2);
    for (const std::string& line : ReplyLines(reply)) FUZZ_CHECK(line.find("\r\n") == std::string::npos);
    for (const std::string& version : HardwareVersions(target.subassyHardw)) FUZZ_CHECK(!version.empty());

    const IdentLineMatch match = MatchIdentLine(reply, target, softId);
    FUZZ_CHECK(!match.exact || match.same);
    (void)BoardFoundInReply(reply, target);
    (void)NewReleaseInReply(reply, target, softId);
    (void)IdentReplyComplete(reply, total);
    return 0;
}
