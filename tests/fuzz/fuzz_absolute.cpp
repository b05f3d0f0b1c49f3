// The absolute reader (binary headers and records) through the conversion driver.
#include "ReleaseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz_release::ConvertInput(data, size, RELEASE_ABSOLUTE);
}
