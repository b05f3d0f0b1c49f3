// DataRecord decode: any bytes, stuffed or not. A record that decodes and
// whose destination and kind are known builds again into the same bytes.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCommon.h"
#include "link/DataRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    std::string unstuffed;
    if (DataRecord::Unstuff(raw, unstuffed)) {
        FUZZ_CHECK(unstuffed.size() <= raw.size());
        DataRecord fromStuffed;
        (void)fromStuffed.Decode(unstuffed);
    }

    DataRecord record;
    if (!record.Decode(data, size)) return 0;
    FUZZ_CHECK(record.Data().size() + DataRecord::kMinSize == size);

    const int dest = DestinationIndexOfCode(record.DestinationCode());
    const size_t kind = kKindCodes.find(record.Kind());
    DataRecord rebuilt;
    if (dest < 0 || kind == std::string_view::npos) return 0;
    FUZZ_CHECK(rebuilt.SetDestination(dest) && rebuilt.SetKind(static_cast<int>(kind)));
    if (!rebuilt.BuildFrom(record.Type(), record.Value(), record.Address(), record.Data().data(),
                           record.Data().size()))
        return 0;   // too long to travel in one buffer once stuffed
    FUZZ_CHECK(rebuilt.SizeToWrite() <= DataRecord::kBufferSize);
    std::string again;
    FUZZ_CHECK(DataRecord::Unstuff(rebuilt.WireBytes(), again));
    FUZZ_CHECK(again == raw);
    return 0;
}
