// Recognition of a release file's format, then the conversion by the reader
// it picks (raw images end here: every file is at least an "any" file).
#include "ReleaseFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzz_release::ConvertInput(data, size, -1);
}
