// The Intel HEX reader (text lines of hex pairs with their own sums and
// address records) through the conversion driver.
#include "ReleaseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz_release::ConvertInput(data, size, READER_INTEL_HEX);
}
