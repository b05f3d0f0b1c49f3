// The receive parser fed the same bytes whole and in pieces of random sizes:
// both must hand over the same sentences and queue the same records, every
// sentence must be one "$PKVR" line, and the record queue never exceeds its
// bound. A third run toggles record acceptance and takes records in between.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "FuzzCommon.h"
#include "link/ReceiveParser.h"

namespace {

constexpr size_t kMaxPiece = 48;

struct Outcome {
    std::vector<std::string> sentences;
    std::vector<std::tuple<char, uint32_t, uint32_t, std::vector<uint8_t>>> records;
};

void Attach(CReceiveParser& parser, Outcome& out, const bool* accepts)
{
    parser.onSentence = [&out](const std::string& s) {
        FUZZ_CHECK(s.size() >= 6 && s.compare(0, 5, "$PKVR") == 0);
        FUZZ_CHECK(s.back() == '\n' && s.find('\n') == s.size() - 1);
        out.sentences.push_back(s);
    };
    parser.acceptsRecords = [accepts] { return *accepts; };
}

void TakeAll(CReceiveParser& parser, Outcome& out)
{
    DataRecord record;
    while (parser.TakeReceivedRecord(record)) {
        FUZZ_CHECK(record.Data().size() + DataRecord::kMinSize == static_cast<size_t>(record.Length()) + 4);
        out.records.emplace_back(record.Type(), record.Value(), record.Address(), record.Data());
    }
    FUZZ_CHECK(parser.QueuedRecords() == 0);
}

uint32_t Seed(std::string_view bytes)
{
    uint32_t h = 2166136261u;
    for (char c : bytes) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    const bool always = true;

    Outcome whole;
    CReceiveParser wholeParser;
    Attach(wholeParser, whole, &always);
    wholeParser.Append(stream.data(), stream.size());
    (void)wholeParser.ParseReceived();
    FUZZ_CHECK(wholeParser.QueuedRecords() <= CReceiveParser::kMaxQueuedRecords);

    std::minstd_rand random(Seed(stream));
    Outcome pieces;
    CReceiveParser piecesParser;
    Attach(piecesParser, pieces, &always);
    for (size_t at = 0; at < size;) {
        const size_t n = std::min<size_t>(size - at, random() % (kMaxPiece + 1));
        piecesParser.Append(stream.data() + at, n);
        (void)piecesParser.ParseReceived();
        FUZZ_CHECK(piecesParser.QueuedRecords() <= CReceiveParser::kMaxQueuedRecords);
        at += n;
    }

    if (size < CReceiveParser::kOverflowBytes) {
        FUZZ_CHECK(pieces.sentences == whole.sentences);
        FUZZ_CHECK(piecesParser.RxText() == wholeParser.RxText());
        TakeAll(wholeParser, whole);
        TakeAll(piecesParser, pieces);
        FUZZ_CHECK(pieces.records == whole.records);
    }

    bool accepts = true;
    Outcome chaos;
    CReceiveParser chaosParser;
    Attach(chaosParser, chaos, &accepts);
    for (size_t at = 0; at < size;) {
        const size_t n = std::min<size_t>(size - at, random() % (kMaxPiece + 1));
        chaosParser.Append(stream.data() + at, n);
        (void)chaosParser.ParseReceived();
        at += n;
        const uint32_t action = random() % 8;
        if (action == 0) accepts = !accepts;
        if (action == 1) {
            DataRecord record;
            (void)chaosParser.TakeReceivedRecord(record);
        }
        if (action == 2) chaosParser.ClearText();
    }
    return 0;
}
