#include "release/HexText.h"

#include <vector>

namespace hextext {

const int16_t* PairTable()
{
    static const std::vector<int16_t> table = [] {
        std::vector<int16_t> t(256 * 256);
        for (int second = 0; second < 256; ++second)
            for (int first = 0; first < 256; ++first) {
                const int high = kDigit[first], low = kDigit[second];
                t[first | second << 8] = static_cast<int16_t>(high < 0 || low < 0 ? -1 : high << 4 | low);
            }
        return t;
    }();
    return table.data();
}

}  // namespace hextext
