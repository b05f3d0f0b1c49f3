// The ELF reader (header, program and section tables, whose offsets and
// sizes may point anywhere) through the conversion driver.
#include "ReleaseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz_release::ConvertInput(data, size, READER_ELF);
}
