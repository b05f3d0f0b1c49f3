#include "sim/SimConfig.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {
namespace {

using nlohmann::json;

constexpr std::array<long, 10> kTableRates = {300, 1200, 4800, 9600, 19200,
                                              38400, 57600, 115200, 128000, 256000};
constexpr int kMaxTimeMs = 3600 * 1000;
constexpr long kMaxReportedRate = 10000000;   // a port table figure, not a line rate
constexpr size_t kMaxBoards = 64;
constexpr size_t kMaxTextLength = 64;
constexpr size_t kMaxSentenceList = 16;
constexpr size_t kMaxFileBytes = 1 << 20;

// Raised inside this file only and turned into the error text by the parser.
struct ConfigError {
    std::string message;
};

[[noreturn]] void Fail(const std::string& path, const std::string& what)
{
    throw ConfigError{path + ": " + what};
}

// Reads the members of one JSON object and remembers which were read, so that
// an unknown (misspelt) member is reported instead of silently ignored.
class ObjectReader {
public:
    ObjectReader(const json& value, std::string path) : m_value(value), m_path(std::move(path))
    {
        if (!m_value.is_object())
            Fail(m_path, "expected an object");
    }

    std::string Child(const std::string& key) const
    {
        return m_path.empty() ? key : m_path + "." + key;
    }

    const json* Find(const std::string& key)
    {
        m_known.insert(key);
        auto it = m_value.find(key);
        return it == m_value.end() || it->is_null() ? nullptr : &*it;
    }

    std::string Text(const std::string& key, const std::string& fallback, bool required = false)
    {
        const json* v = Find(key);
        if (!v) {
            if (required)
                Fail(Child(key), "missing");
            return fallback;
        }
        return CheckedText(*v, Child(key));
    }

    long Integer(const std::string& key, long fallback, long low, long high)
    {
        const json* v = Find(key);
        if (!v)
            return fallback;
        return CheckedInteger(*v, Child(key), low, high);
    }

    bool Flag(const std::string& key, bool fallback)
    {
        const json* v = Find(key);
        if (!v)
            return fallback;
        if (!v->is_boolean())
            Fail(Child(key), "expected true or false");
        return v->get<bool>();
    }

    long Rate(const std::string& key, long fallback)
    {
        const json* v = Find(key);
        if (!v)
            return fallback;
        return CheckedRate(*v, Child(key));
    }

    std::vector<std::string> TextList(const std::string& key)
    {
        std::vector<std::string> list;
        const json* v = Find(key);
        if (!v)
            return list;
        if (!v->is_array())
            Fail(Child(key), "expected a list of texts");
        for (size_t i = 0; i < v->size(); ++i)
            list.push_back(CheckedText((*v)[i], Child(key) + "[" + std::to_string(i) + "]"));
        return list;
    }

    char Letter(const std::string& key, char low, char high, bool required)
    {
        const json* v = Find(key);
        if (!v) {
            if (required)
                Fail(Child(key), "missing");
            return 0;
        }
        std::string text = CheckedText(*v, Child(key));
        if (text.size() != 1 || text[0] < low || text[0] > high)
            Fail(Child(key), std::string("expected one letter ") + low + ".." + high);
        return text[0];
    }

    void RejectUnknown() const
    {
        for (auto it = m_value.begin(); it != m_value.end(); ++it) {
            if (!m_known.count(it.key()))
                Fail(Child(it.key()), "unknown field");
        }
    }

    static std::string CheckedText(const json& v, const std::string& path)
    {
        if (!v.is_string())
            Fail(path, "expected a text");
        std::string text = v.get<std::string>();
        if (text.size() > kMaxTextLength)
            Fail(path, "longer than " + std::to_string(kMaxTextLength) + " characters");
        // Texts go into sentences: no separators, line ends or non-printables.
        for (unsigned char c : text) {
            if (c < 0x20 || c > 0x7E || c == ',' || c == '$' || c == '*')
                Fail(path, "only printable ASCII without ',', '$' or '*' is allowed");
        }
        return text;
    }

    static long CheckedInteger(const json& v, const std::string& path, long low, long high)
    {
        if (!v.is_number_integer())
            Fail(path, "expected a whole number");
        long value = v.is_number_unsigned() && v.get<unsigned long>() > static_cast<unsigned long>(high)
                         ? high + 1
                         : v.get<long>();
        if (value < low || value > high)
            Fail(path, "expected a number from " + std::to_string(low) + " to " + std::to_string(high));
        return value;
    }

    static long CheckedRate(const json& v, const std::string& path)
    {
        if (!v.is_number_integer() || !IsTableRate(v.get<long>()))
            Fail(path, "expected one of the rates 300, 1200, 4800, 9600, 19200, 38400, 57600, "
                       "115200, 128000, 256000");
        return v.get<long>();
    }

private:
    const json& m_value;
    std::string m_path;
    std::set<std::string> m_known;
};

// Reads `key` as a list of objects, each turned into an item by `readItem`;
// a missing key is an empty list.
template <typename Item, typename ReadItem>
std::vector<Item> ReadObjectList(ObjectReader& reader, const std::string& key, const std::string& shape,
                                 ReadItem readItem)
{
    std::vector<Item> list;
    const json* v = reader.Find(key);
    if (!v)
        return list;
    if (!v->is_array())
        Fail(reader.Child(key), "expected a list of " + shape);
    for (size_t i = 0; i < v->size(); ++i) {
        ObjectReader item((*v)[i], reader.Child(key) + "[" + std::to_string(i) + "]");
        Item value = readItem(item);
        item.RejectUnknown();
        list.push_back(std::move(value));
    }
    return list;
}

std::vector<BlockFault> ReadBlockFaults(ObjectReader& reader, const std::string& key)
{
    return ReadObjectList<BlockFault>(reader, key, "{\"block\": n, \"times\": n}", [](ObjectReader& item) {
        BlockFault fault;
        if (!item.Find("block"))
            Fail(item.Child("block"), "missing");
        fault.block = static_cast<uint32_t>(item.Integer("block", 1, 1, 0xFFFFFE));
        fault.times = static_cast<int>(item.Integer("times", 1, 1, 1000));
        return fault;
    });
}

std::vector<SilenceFault> ReadSilenceFaults(ObjectReader& reader, const std::string& key)
{
    const std::string shape = "{\"sentence\": text, \"times\": n}";
    return ReadObjectList<SilenceFault>(reader, key, shape, [](ObjectReader& item) {
        SilenceFault fault;
        const json* sentence = item.Find("sentence");
        if (!sentence)
            Fail(item.Child("sentence"), "missing");
        if (!sentence->is_string() || sentence->get<std::string>().rfind("$PKVR", 0) != 0
            || sentence->get<std::string>().size() > kMaxTextLength)
            Fail(item.Child("sentence"), "expected the beginning of a \"$PKVR\" sentence");
        fault.prefix = sentence->get<std::string>();
        fault.times = static_cast<int>(item.Integer("times", 0, 0, 1000));
        return fault;
    });
}

// {"A": 9600, "B": 19200}: port letters and their rates. Line rates come from
// the rate table; `anyFigure` takes any positive number, for the port table of
// a faulty board, which need not show a line rate.
std::vector<PortRate> ReadPortRates(ObjectReader& reader, const std::string& key, bool anyFigure)
{
    std::vector<PortRate> ports;
    const json* v = reader.Find(key);
    if (!v)
        return ports;
    if (!v->is_object())
        Fail(reader.Child(key), "expected an object such as {\"A\": 9600}");
    for (auto it = v->begin(); it != v->end(); ++it) {
        const std::string path = reader.Child(key + "." + it.key());
        if (it.key().size() != 1 || it.key()[0] < 'A' || it.key()[0] > 'H')
            Fail(path, "a port letter is one of A..H");
        const long rate = anyFigure ? ObjectReader::CheckedInteger(it.value(), path, 1, kMaxReportedRate)
                                    : ObjectReader::CheckedRate(it.value(), path);
        ports.push_back({it.key()[0], rate});
    }
    return ports;
}

bool IsSentenceText(const json& v)
{
    if (!v.is_string())
        return false;
    const std::string text = v.get<std::string>();
    if (text.rfind("$PKVR", 0) != 0 || text.size() > kMaxTextLength)
        return false;
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E || c == '*')
            return false;
    }
    return true;
}

// A list of whole "$PKVR" sentences (commas allowed).
std::vector<std::string> ReadSentenceList(ObjectReader& reader, const std::string& key)
{
    std::vector<std::string> list;
    const json* v = reader.Find(key);
    if (!v)
        return list;
    if (!v->is_array() || v->size() > kMaxSentenceList)
        Fail(reader.Child(key), "expected a list of at most " + std::to_string(kMaxSentenceList) + " sentences");
    for (size_t i = 0; i < v->size(); ++i) {
        if (!IsSentenceText((*v)[i]))
            Fail(reader.Child(key) + "[" + std::to_string(i) + "]",
                 "expected a \"$PKVR\" sentence of printable ASCII without '*'");
        list.push_back((*v)[i].get<std::string>());
    }
    return list;
}

std::vector<WrongAnswerFault> ReadWrongAnswerFaults(ObjectReader& reader)
{
    const std::string shape = "{\"sentence\": text, \"answer\": text, \"times\": n}";
    return ReadObjectList<WrongAnswerFault>(reader, "wrong_answer", shape, [](ObjectReader& item) {
        WrongAnswerFault fault;
        for (const char* key : {"sentence", "answer"}) {
            const json* text = item.Find(key);
            if (!text)
                Fail(item.Child(key), "missing");
            if (!IsSentenceText(*text))
                Fail(item.Child(key), "expected a \"$PKVR\" sentence of printable ASCII without '*'");
            (std::string(key) == "sentence" ? fault.prefix : fault.answer) = text->get<std::string>();
        }
        fault.times = static_cast<int>(item.Integer("times", 0, 0, 1000));
        return fault;
    });
}

BoardFaults ReadFaults(ObjectReader& board)
{
    BoardFaults faults;
    const json* v = board.Find("faults");
    if (!v)
        return faults;
    ObjectReader reader(*v, board.Child("faults"));
    faults.noAnswer = ReadSilenceFaults(reader, "no_answer");
    faults.ignored = ReadSilenceFaults(reader, "ignored");
    faults.wrongAnswer = ReadWrongAnswerFaults(reader);
    faults.modeDeniedLetter = reader.Letter("mode_denied", 'A', 'L', false);
    faults.modeEndDeniedLetter = reader.Letter("mode_end_denied", 'A', 'L', false);
    faults.reportedPortRates = ReadPortRates(reader, "reported_port_rates", true);
    faults.eraseFails = reader.Flag("erase_fails", false);
    faults.resend = ReadBlockFaults(reader, "resend");
    faults.corruptBlock = ReadBlockFaults(reader, "corrupt_block");
    faults.stuckAtBlock = static_cast<uint32_t>(reader.Integer("stuck_at_block", 0, 0, 0xFFFFFE));
    faults.checksumMismatch = reader.Flag("checksum_mismatch", false);
    if (reader.Find("checksum_delay_ms"))
        faults.checksumDelayMs = static_cast<int>(reader.Integer("checksum_delay_ms", 0, 0, kMaxTimeMs));
    faults.checksumNever = reader.Flag("checksum_never", false);
    faults.checksumLines = ReadSentenceList(reader, "checksum_lines");
    faults.neverBack = reader.Flag("never_back", false);
    faults.backWithSoftware = reader.TextList("back_with_software");
    faults.dropAtBlock = static_cast<uint32_t>(reader.Integer("drop_at_block", 0, 0, 0xFFFFFE));
    reader.RejectUnknown();
    return faults;
}

RescueConfig ReadRescue(ObjectReader& board)
{
    RescueConfig rescue;
    const json* v = board.Find("rescue");
    if (!v)
        return rescue;
    ObjectReader reader(*v, board.Child("rescue"));
    rescue.supported = reader.Flag("supported", true);
    rescue.broken = reader.Flag("broken", false);
    rescue.windowMs = static_cast<int>(reader.Integer("window_ms", rescue.windowMs, 100, kMaxTimeMs));
    rescue.autoPowerCycleMs = static_cast<int>(reader.Integer("auto_power_cycle_ms", 0, 0, kMaxTimeMs));
    rescue.rate = reader.Rate("rate", rescue.rate);
    rescue.text = reader.Text("text", rescue.text);
    if (rescue.text.find("UCRQ") == std::string::npos)
        Fail(reader.Child("text"), "must contain \"UCRQ\"");
    reader.RejectUnknown();
    if (rescue.broken && !rescue.supported)
        Fail(board.Child("rescue.broken"), "a broken board needs \"supported\": true");
    return rescue;
}

BoardConfig ReadBoard(const json& value, const std::string& path)
{
    ObjectReader reader(value, path);
    BoardConfig board;
    board.name = reader.Text("name", "", true);
    if (board.name.empty())
        Fail(reader.Child("name"), "must not be empty");
    board.subassy = reader.Text("subassy", "", true);
    if (board.subassy.empty())
        Fail(reader.Child("subassy"), "must not be empty");
    board.hardware = reader.Text("hardware", "");
    board.bootLoader = reader.Text("boot_loader", "", true);
    board.software = reader.TextList("software");
    board.softwareAfterLoad = reader.TextList("software_after_load");
    board.parent = reader.Text("parent", "");
    board.letter = reader.Letter("letter", 'A', 'L', !board.parent.empty());
    board.rate = reader.Rate("rate", board.rate);
    board.ports = ReadPortRates(reader, "ports", false);
    board.progrId = static_cast<int>(reader.Integer("progr_id", board.progrId, 0, 99999));
    if (reader.Find("dest_code"))
        board.destCode = static_cast<int>(reader.Integer("dest_code", 0, 0, 255));
    board.eraseMs = static_cast<int>(reader.Integer("erase_ms", board.eraseMs, 0, kMaxTimeMs));
    board.restartMs = static_cast<int>(reader.Integer("restart_ms", board.restartMs, 0, kMaxTimeMs));
    board.keepsRate = reader.Flag("keeps_rate", false);
    board.checksumForm = static_cast<int>(reader.Integer("checksum_form", 6, 6, 7));
    board.checksumDelayMs = static_cast<int>(
        reader.Integer("checksum_delay_ms", board.checksumDelayMs, 0, kMaxTimeMs));
    board.checksumExtra = reader.Text("checksum_extra", board.checksumExtra);
    board.rescue = ReadRescue(reader);
    board.faults = ReadFaults(reader);
    reader.RejectUnknown();
    return board;
}

void CheckTree(ReceiverConfig& config)
{
    std::vector<BoardConfig>& boards = config.boards;
    auto root = std::find_if(boards.begin(), boards.end(),
                             [](const BoardConfig& b) { return b.parent.empty(); });
    if (root == boards.end())
        Fail("boards", "one board must have no \"parent\" (the board cabled to the PC)");
    if (std::count_if(boards.begin(), boards.end(), [](const BoardConfig& b) { return b.parent.empty(); }) > 1)
        Fail("boards", "only one board may have no \"parent\"");
    std::set<std::string> names;
    for (size_t i = 0; i < boards.size(); ++i) {
        if (!names.insert(boards[i].name).second)
            Fail("boards[" + std::to_string(i) + "].name", "\"" + boards[i].name + "\" is used twice");
    }
    std::set<std::pair<std::string, char>> places;
    for (size_t i = 0; i < boards.size(); ++i) {
        const BoardConfig& b = boards[i];
        if (b.parent.empty())
            continue;
        std::string path = "boards[" + std::to_string(i) + "]";
        if (!names.count(b.parent))
            Fail(path + ".parent", "no board is named \"" + b.parent + "\"");
        if (!places.insert({b.parent, b.letter}).second)
            Fail(path + ".letter", std::string("two boards hang on ") + b.letter + " of \"" + b.parent + "\"");
    }
    // Every board must reach the root: a parent chain longer than the list is a cycle.
    for (size_t i = 0; i < boards.size(); ++i) {
        std::string at = boards[i].name;
        size_t hops = 0;
        while (!at.empty() && hops <= boards.size()) {
            auto it = std::find_if(boards.begin(), boards.end(), [&](const BoardConfig& b) { return b.name == at; });
            at = it->parent;
            ++hops;
        }
        if (hops > boards.size())
            Fail("boards[" + std::to_string(i) + "].parent", "the parent links form a loop");
    }
    std::rotate(boards.begin(), root, root + 1);
}

}  // namespace

bool IsTableRate(long rate)
{
    return std::find(kTableRates.begin(), kTableRates.end(), rate) != kTableRates.end();
}

int DestinationCodeOfLetter(char letter)
{
    if (letter >= 'A' && letter <= 'H')
        return 0x08 + (letter - 'A');
    if (letter >= 'I' && letter <= 'L')
        return 0x10 + (letter - 'I');
    return -1;
}

bool ParseReceiverConfig(const std::string& text, ReceiverConfig& config, std::string& error)
{
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& e) {
        error = std::string("not valid JSON: ") + e.what();
        return false;
    }
    try {
        ReceiverConfig result;
        ObjectReader top(document, "");
        const json* boards = top.Find("boards");
        if (!boards)
            Fail("boards", "missing");
        if (!boards->is_array() || boards->empty() || boards->size() > kMaxBoards)
            Fail("boards", "expected a list of 1 to " + std::to_string(kMaxBoards) + " boards");
        for (size_t i = 0; i < boards->size(); ++i)
            result.boards.push_back(ReadBoard((*boards)[i], "boards[" + std::to_string(i) + "]"));
        if (const json* line = top.Find("line")) {
            ObjectReader reader(*line, "line");
            result.line.noiseBytes = static_cast<int>(reader.Integer("noise_bytes", 0, 0, 64));
            result.line.nmea = reader.Flag("nmea", false);
            result.line.splitPiece = static_cast<int>(reader.Integer("split_piece", 0, 0, 255));
            result.line.splitDelayMs = static_cast<int>(reader.Integer("split_delay_ms", 0, 0, 10000));
            reader.RejectUnknown();
        }
        result.reprobeAnswers = top.Flag("reprobe_answers", false);
        top.RejectUnknown();
        CheckTree(result);
        config = std::move(result);
        return true;
    } catch (const ConfigError& e) {
        error = e.message;
        return false;
    }
}

bool LoadReceiverConfig(const std::string& path, ReceiverConfig& config, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string text;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxFileBytes) {
            error = path + ": larger than 1 MiB";
            return false;
        }
    }
    return ParseReceiverConfig(text, config, error);
}

}  // namespace sim
