// DeviceSentence: every accessor on every field of any text, with the text
// held in a buffer of exactly its size so a read past its end is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzCommon.h"
#include "link/DeviceSentence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    if (size) std::memcpy(exact.get(), data, size);
    const std::string_view text(exact.get(), size);

    DeviceSentence sentence(text);
    const int count = sentence.Count();
    FUZZ_CHECK(count >= 0 && static_cast<size_t>(count) <= size + 1);
    FUZZ_CHECK((count == 0) == text.empty());
    for (int n = -1; n <= count; ++n) {
        const bool inside = n >= 0 && n < count;
        char c = 0;
        long value = 0;
        std::string field;
        FUZZ_CHECK(sentence.Char(n, c) == inside);
        (void)sentence.Int(n, value);
        if (!inside) FUZZ_CHECK(!sentence.Int(n, value));
        if (sentence.Text(n, field)) {
            FUZZ_CHECK(inside && !field.empty());
            FUZZ_CHECK(field.find(',') == std::string::npos);
            FUZZ_CHECK(field.find('\r') == std::string::npos);
            FUZZ_CHECK(text.find(field) != std::string_view::npos);
        }
    }
    return 0;
}
