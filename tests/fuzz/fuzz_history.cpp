// The history filters as `tavrel-cli history` takes them: any words parse or
// are refused with a reason; accepted dates are stored times, the bounds are
// in order, the result is one of its words; the query runs on a real history
// file with the values bound, and a CSV field reads back as the text it holds.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCommon.h"
#include "engine/EngineTypes.h"
#include "history/HistoryDb.h"
#include "history/HistoryQuery.h"
#include "history/HistoryRecorder.h"

namespace {

constexpr size_t kMaxWords = 32;

// A small history with two runs, made once per fuzzing process.
CHistoryDb& Db()
{
    static CHistoryDb db;
    if (db.IsOpen()) return db;
    const std::string path = std::string(FuzzScratchDir()) + "/history.sqlite";
    CHistoryRecorder recorder(path, {"fuzz", "V2.0"});
    for (int result : {RESULT_OK, RESULT_NOT_FOUND}) {
        recorder.RunStarted({PROC_TRANSFER, "/dev/ttyS0", 9600, ""});
        recorder.IdentAnswer({"$PKVR,IDENT,1,1,CM10,CPU0100\r\n", 9600, false, {{0, "CPU0100"}}});
        recorder.BoardStarted({0, "CPU", "DEMO", "CM", "10", "CPU0200", "", "", 115200});
        recorder.BoardEnded({0, "CPU0200", 100, 0, 1, result, "OK", ""});
        recorder.RunEnded({result == RESULT_OK, "", {}});
    }
    FUZZ_CHECK(db.OpenForReading(path));
    return db;
}

bool StoredTime(const std::string& t)
{
    return t.size() == 20 && t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':' && t[19] == 'Z';
}

// Reads one RFC 4180 field back.
std::string UnquoteCsv(const std::string& field)
{
    if (field.empty() || field.front() != '"') return field;
    std::string text;
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        text += field[i];
        if (field[i] == '"') ++i;   // a doubled quote
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= input.size() && words.size() < kMaxWords) {
        const size_t end = input.find('\n', start);
        words.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::vector<std::string> rest = words;
    HistoryFilter filter;
    std::string error;
    if (!ParseHistoryFilter(rest, filter, error)) {
        FUZZ_CHECK(!error.empty());
    } else {
        FUZZ_CHECK(filter.since.empty() || StoredTime(filter.since));
        FUZZ_CHECK(filter.until.empty() || StoredTime(filter.until));
        FUZZ_CHECK(filter.since.empty() || filter.until.empty() || filter.since <= filter.until);
        FUZZ_CHECK(filter.result.empty() || filter.result == "ok" || filter.result == "failed" ||
                   filter.result == "interrupted" || filter.result == "running");
        FUZZ_CHECK(filter.limit >= -1);
        FUZZ_CHECK(rest.size() <= words.size());
        std::vector<HistoryRow> rows;
        FUZZ_CHECK(QueryHistory(Db(), filter, rows, error));
        FUZZ_CHECK(rows.size() <= 2);
        for (const HistoryRow& row : rows) {
            FUZZ_CHECK(filter.board.empty() || row.board.size() == filter.board.size());
            FUZZ_CHECK(filter.result.empty() || row.result == filter.result);
        }
    }
    const std::string field = CsvField(input);
    FUZZ_CHECK(UnquoteCsv(field) == input);
    return 0;
}
