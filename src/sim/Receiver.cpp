#include "sim/Receiver.h"

#include "link/DataRecord.h"
#include "link/DeviceSentence.h"
#include "sim/SimLog.h"

#include <algorithm>
#include <cstdio>

namespace sim {
namespace {

constexpr uint8_t kWakeUpByte = 0x12;
constexpr int kBitsPerByte = 11;            // start, 8 data, 2 stop bits
constexpr int kReaskAfterRecords = 64;      // a lost resend request is repeated
constexpr size_t kMaxPendingOutput = 4096;  // pieces; beyond that the line loses bytes
constexpr int kResendKindIndex = 4;         // 'C'
constexpr const char* kForeignNmea = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

std::string Trimmed(const std::string& text)
{
    size_t end = text.find_first_of("\r\n");
    return text.substr(0, end);
}

std::string FieldText(const DeviceSentence& s, int n)
{
    std::string text;
    return s.Text(n, text) ? text : std::string();
}

char FieldLetter(const DeviceSentence& s, int n)
{
    std::string text = FieldText(s, n);
    return text.size() == 1 ? text[0] : '\0';
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

const char* PowerName(Power p)
{
    switch (p) {
    case Power::Running: return "running";
    case Power::Restarting: return "restarting";
    case Power::Hidden: return "waiting for re-probe";
    case Power::Dead: return "dead";
    case Power::Broken: return "broken";
    case Power::PowerOnWindow: return "power-on window";
    case Power::RescueLoader: return "rescue loader";
    }
    return "?";
}

std::map<char, long> DefaultPorts(const Board& b)
{
    std::map<char, long> ports;
    for (const PortRate& p : b.cfg->ports)
        ports[p.letter] = p.rate;
    for (const Board* c : b.children) {
        if (c->cfg->letter <= 'H' && !ports.count(c->cfg->letter))
            ports[c->cfg->letter] = c->cfg->rate;
    }
    return ports;
}

}  // namespace

Receiver::Receiver(const ReceiverConfig& config, SimLog* log) : m_config(config), m_log(log)
{
    for (const BoardConfig& cfg : config.boards) {
        auto b = std::make_unique<Board>();
        b->cfg = &cfg;
        b->rate = cfg.rate;
        b->software = cfg.software;
        b->broken = cfg.rescue.broken;
        b->power = b->broken ? Power::Broken : Power::Running;
        m_boards.push_back(std::move(b));
    }
    for (auto& b : m_boards) {
        for (auto& p : m_boards) {
            if (p->cfg->name == b->cfg->parent)
                b->parent = p.get();
        }
        if (b->parent)
            b->parent->children.push_back(b.get());
    }
    for (auto& b : m_boards) {
        std::sort(b->children.begin(), b->children.end(),
                  [](const Board* x, const Board* y) { return x->cfg->letter < y->cfg->letter; });
        b->portRates = DefaultPorts(*b);
    }
    m_root = m_boards.front().get();
    m_addressed = m_root;
}

void Receiver::Log(const std::string& line)
{
    if (m_log)
        m_log->Write(line);
}

void Receiver::Schedule(int delayMs, Action action)
{
    m_timers.push_back({m_now + delayMs, m_timerOrder++, std::move(action)});
}

void Receiver::RunDueTimers()
{
    for (;;) {
        auto due = std::min_element(m_timers.begin(), m_timers.end(), [](const Timer& a, const Timer& b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
        if (due == m_timers.end() || due->due > m_now)
            return;
        Action action = std::move(due->action);
        m_timers.erase(due);
        action();
        m_statsChanged = true;
    }
}

int64_t Receiver::NextDueMs() const
{
    int64_t next = -1;
    for (const Timer& t : m_timers)
        next = next < 0 ? t.due : std::min(next, t.due);
    if (!m_output.empty())
        next = next < 0 ? m_output.front().due : std::min(next, m_output.front().due);
    return next;
}

bool Receiver::TakeOutput(std::string& bytes, long& rate)
{
    if (m_output.empty() || m_output.front().due > m_now)
        return false;
    bytes = std::move(m_output.front().bytes);
    rate = m_output.front().rate;
    m_output.pop_front();
    m_line.bytesSent += static_cast<long>(bytes.size());
    return true;
}

long Receiver::LinkRate() const
{
    if (m_root->power == Power::Broken || m_root->power == Power::PowerOnWindow)
        return m_root->cfg->rescue.rate;
    return m_root->rate;
}

bool Receiver::CanAct(const Board& b)
{
    return (b.power == Power::Running || b.power == Power::RescueLoader) && !b.lineDropped;
}

bool Receiver::Visible(const Board& b)
{
    return CanAct(b);
}

bool Receiver::RootHears() const
{
    return CanAct(*m_root);
}

Board* Receiver::HiddenBelow(Board& b, char letter) const
{
    // A board deeper in the tree, behind a board that answers for it.
    for (Board* c : b.children) {
        if (!CanAct(*c))
            continue;
        for (Board* g : c->children) {
            if (g->cfg->letter == letter && g->power == Power::Hidden)
                return g;
        }
        if (Board* deeper = HiddenBelow(*c, letter))
            return deeper;
    }
    return nullptr;
}

Board* Receiver::ChildAt(Board& b, char letter) const
{
    for (Board* c : b.children) {
        if (c->cfg->letter == letter)
            return c;
    }
    return nullptr;
}

// ---------------------------------------------------------------- arrival

void Receiver::OnBytes(const uint8_t* data, size_t size)
{
    m_line.bytesReceived += static_cast<long>(size);
    m_statsChanged = true;
    std::vector<LineItem> items;
    m_parser.Feed(data, size, items);
    for (const LineItem& item : items) {
        switch (item.kind) {
        case LineItem::Kind::Sentence: OnSentence(item.bytes); break;
        case LineItem::Kind::Record: OnRecord(item.bytes); break;
        case LineItem::Kind::WakeUp: OnWakeUp(); break;
        case LineItem::Kind::Garbage: m_line.garbageBytes += static_cast<long>(item.bytes.size()); break;
        }
        if (m_line.phaseStartMs >= 0 && m_line.phaseEndMs < 0)
            m_line.phaseBytes += static_cast<long>(item.bytes.size());
    }
}

void Receiver::OnLostBytes(const uint8_t* data, size_t size)
{
    m_line.bytesLost += static_cast<long>(size);
    m_statsChanged = true;
    if (std::find(data, data + size, kWakeUpByte) == data + size)
        return;
    const RescueConfig& rescue = m_root->cfg->rescue;
    if (rescue.supported && rescue.autoPowerCycleMs > 0 && !m_autoCycleArmed
        && m_root->power != Power::PowerOnWindow && m_root->power != Power::RescueLoader) {
        m_autoCycleArmed = true;
        Log("DC2 received: power cycle in " + std::to_string(rescue.autoPowerCycleMs) + " ms");
        Schedule(rescue.autoPowerCycleMs, [this] { PowerCycle(); });
    }
}

void Receiver::OnWakeUp()
{
    if (m_root->power == Power::PowerOnWindow) {
        EnterRescueLoader(*m_root);
        AnswerSeries(*m_root);
    } else if (m_root->power == Power::RescueLoader) {
        AnswerSeries(*m_root);
    } else {
        const uint8_t dc2 = kWakeUpByte;
        m_line.bytesLost -= 1;  // heard, not lost: only arms the power cycle
        OnLostBytes(&dc2, 1);
    }
}

void Receiver::OnSentence(const std::string& text)
{
    if (text.rfind("$PKVR", 0) != 0) {
        m_line.garbageBytes += static_cast<long>(text.size());
        return;
    }
    ++m_sentences;
    std::string line = Trimmed(text);
    if (!RootHears()) {
        Log("<< " + line + "   (not heard)");
        return;
    }
    DeviceSentence s(text);
    std::string type = FieldText(s, 1);
    if (type == "JOIN" && FieldText(s, 3) == "0") {
        Log("<< " + line);
        if (!HandleLeave(s))
            Log("   nothing relays to that letter");
        return;
    }
    Board& b = *m_addressed;
    if (!CanAct(b)) {
        Log("<< " + line + "   (" + b.cfg->name + " is " + PowerName(b.power) + ")");
        return;
    }
    Log("<< " + line + "   (" + b.cfg->name + ")");
    ++b.stats.sentences;
    if (Matches(b.cfg->faults.ignored, b.ignoredUsed, line)) {
        Log("   " + b.cfg->name + " ignores it (injected)");
        return;
    }
    m_mute = Silenced(b, line);
    if (m_mute)
        Log("   " + b.cfg->name + " leaves it unanswered (injected)");
    if (const WrongAnswerFault* wrong = WrongAnswer(b, line); wrong && !m_mute) {
        Log("   " + b.cfg->name + " answers something else (injected)");
        Answer(b, wrong->answer);
        m_mute = true;
    }
    if (type == "IDENT")
        HandleIdent(b, s, line);
    else if (type == "HARDRS")
        HandleHardrs(b, s);
    else if (type == "JOIN")
        HandleJoin(b, s);
    else if (type == "XSOFT")
        HandleXsoft(b, s, line);
    m_mute = false;
}

bool Receiver::Matches(const std::vector<SilenceFault>& faults, std::map<std::string, int>& used,
                       const std::string& text)
{
    for (const SilenceFault& f : faults) {
        if (text.rfind(f.prefix, 0) != 0)
            continue;
        int& count = used[f.prefix];
        if (f.times == 0 || count < f.times) {
            ++count;
            return true;
        }
    }
    return false;
}

bool Receiver::Silenced(Board& b, const std::string& text)
{
    return Matches(b.cfg->faults.noAnswer, b.silenceUsed, text);
}

const WrongAnswerFault* Receiver::WrongAnswer(Board& b, const std::string& text)
{
    for (const WrongAnswerFault& f : b.cfg->faults.wrongAnswer) {
        if (text.rfind(f.prefix, 0) != 0)
            continue;
        int& used = b.wrongAnswerUsed[f.prefix];
        if (f.times == 0 || used < f.times) {
            ++used;
            return &f;
        }
    }
    return nullptr;
}

// --------------------------------------------------------------- sentences

void Receiver::HandleIdent(Board& b, const DeviceSentence& s, const std::string&)
{
    char letter = FieldLetter(s, 6);
    if (!letter) {
        AnswerSeries(b);
        return;
    }
    Board* child = ChildAt(b, letter);
    if (!child)
        child = HiddenBelow(b, letter);
    if (!child) {
        Log(std::string("   no board behind ") + letter);
        return;
    }
    if (child->power == Power::Hidden) {
        child->power = Power::Running;
        Log("   " + child->cfg->name + " found again behind " + letter);
    }
    if (m_config.reprobeAnswers && Visible(*child)) {
        std::vector<std::string> lines;
        AppendSeries(*child, true, lines);
        for (size_t i = 0; i < lines.size(); ++i)
            Answer(b, "$PKVR,IDENT," + std::to_string(lines.size()) + "," + std::to_string(i + 1) + "," + lines[i]);
    }
}

void Receiver::HandleHardrs(Board& b, const DeviceSentence& s)
{
    if (s.Count() <= 2) {
        const auto& ports = b.portRates;
        if (ports.empty()) {
            Answer(b, "$PKVR,HARDRS,0,0,,");
            return;
        }
        size_t i = 0;
        for (const auto& [letter, rate] : ports) {
            long shown = rate;
            for (const PortRate& r : b.cfg->faults.reportedPortRates) {
                if (r.letter == letter)
                    shown = r.rate;
            }
            Answer(b, "$PKVR,HARDRS," + std::to_string(ports.size()) + "," + std::to_string(++i) + ","
                          + std::string(1, letter) + "," + std::to_string(shown));
        }
        return;
    }
    long rate = 0;
    if (!s.Int(5, rate) || !IsTableRate(rate)) {
        RecordError(b, "HARDRS without a known rate");
        return;
    }
    char letter = FieldLetter(s, 4);
    if (!letter && FieldText(s, 4).empty()) {
        Log("   " + b.cfg->name + " now at " + std::to_string(rate) + " bit/s");
        b.rate = rate;
    } else if (letter >= 'A' && letter <= 'H') {
        Log("   " + b.cfg->name + " port " + letter + " now at " + std::to_string(rate) + " bit/s");
        b.portRates[letter] = rate;
    } else {
        RecordError(b, "HARDRS for an unknown port");
    }
}

void Receiver::HandleJoin(Board& b, const DeviceSentence& s)
{
    if (FieldText(s, 3) != "2")
        return;
    char letter = FieldLetter(s, 5);
    Board* child = ChildAt(b, letter);
    if (!child) {
        RecordError(b, std::string("JOIN towards ") + (letter ? letter : '?') + ": no board there");
        return;
    }
    b.relayTo = child;
    m_addressed = child;
    Log("   " + b.cfg->name + " relays to " + child->cfg->name);
}

bool Receiver::HandleLeave(const DeviceSentence& s)
{
    char letter = FieldLetter(s, 2);
    if (!letter)
        return FieldText(s, 2).empty();  // "$PKVR,JOIN,,0": accepted, nothing changes
    for (Board* p = m_addressed->parent; p; p = p->parent) {
        if (p->relayTo && p->relayTo->cfg->letter == letter && CanAct(*p)) {
            for (Board* q = p; q;) {
                Board* next = q->relayTo;
                q->relayTo = nullptr;
                q = next;
            }
            m_addressed = p;
            Log("   " + p->cfg->name + " stops relaying");
            return true;
        }
    }
    return false;
}

void Receiver::HandleXsoft(Board& b, const DeviceSentence& s, const std::string& line)
{
    std::string what = FieldText(s, 2);
    if (what == "M") {
        std::string mode = FieldText(s, 3);
        if (mode == "B") {
            char denied = b.cfg->faults.modeDeniedLetter;
            if (denied) {
                Answer(b, "$PKVR,XSOFT,M,B," + std::string(1, denied) + "," + FieldText(s, 5));
                return;
            }
            Answer(b, line);
        } else if (mode == "D") {
            b.transferMode = true;
            Answer(b, "$PKVR,XSOFT,M,D");
        } else if (mode == "E" || mode == "A") {
            HandleModeEnd(b, s, line, mode == "E");
        }
    } else if (what == "E") {
        HandleErase(b, s);
    } else if (what == "P") {
        HandleProgram(b, s, line);
    }
}

void Receiver::HandleModeEnd(Board& b, const DeviceSentence& s, const std::string& line, bool ok)
{
    Board* child = ChildAt(b, FieldLetter(s, 4));
    Board& target = child && (child->transferMode || child->loadComplete) ? *child : b;
    const char denied = b.cfg->faults.modeEndDeniedLetter;
    if (denied) {
        // Answered for another destination: the board stays in transfer mode.
        Answer(b, "$PKVR,XSOFT,M," + FieldText(s, 3) + "," + std::string(1, denied) + "," + FieldText(s, 5));
        return;
    }
    Answer(b, line);
    target.transferMode = false;
    target.programming = false;
    target.receiving = false;
    if (!ok || !target.loadComplete) {
        target.loadComplete = false;
        return;
    }
    CompleteLoad(target);
}

void Receiver::CompleteLoad(Board& b)
{
    b.loadComplete = false;
    b.transferMode = false;
    ++b.stats.loads;
    b.broken = false;
    if (b.restartAfterLoad) {
        Restart(b);
    } else {
        if (!b.cfg->softwareAfterLoad.empty())
            b.software = b.cfg->softwareAfterLoad;
        // A board loaded from its rescue loader leaves the loader for the new software.
        if (b.power == Power::RescueLoader) b.power = Power::Running;
        Log("   " + b.cfg->name + " runs its new software without restart");
    }
}

void Receiver::HandleErase(Board& b, const DeviceSentence& s)
{
    long id = -1;
    bool haveId = s.Int(3, id);
    bool ok = haveId && id == b.cfg->progrId && b.transferMode && !b.cfg->faults.eraseFails;
    if (ok) {
        b.image.Clear();
        b.imageDirty = true;
        b.programming = b.receiving = b.loadComplete = false;
    } else {
        ++b.stats.errors;
        Log("   " + b.cfg->name + (b.transferMode ? " fails to erase" : " is not in transfer mode"));
    }
    std::string answer = "$PKVR,XSOFT,E," + std::string(ok ? "" : "-") + std::to_string(haveId ? id : 0);
    bool mute = m_mute;
    uint64_t generation = b.generation;
    Board* board = &b;
    Schedule(b.cfg->eraseMs, [this, board, answer, mute, generation] {
        if (!mute && board->generation == generation && CanAct(*board))
            Answer(*board, answer);
    });
}

void Receiver::HandleProgram(Board& b, const DeviceSentence& s, const std::string& line)
{
    long id = -1, size = 0, restart = 0;
    if (s.Int(3, id) && id == b.cfg->progrId && s.Int(4, size) && size >= 0) {
        s.Int(5, restart);
        b.programming = true;
        b.receiving = false;
        b.announcedSize = size;
        b.restartAfterLoad = restart == 1;
    } else {
        RecordError(b, "announce for another Progr.ID or without a size");
    }
    Answer(b, line);
}

// ----------------------------------------------------------------- records

bool Receiver::DestinationAccepted(const Board& b, uint8_t code) const
{
    if (b.cfg->destCode)
        return code == *b.cfg->destCode;
    if (b.parent)
        return code == DestinationCodeOfLetter(b.cfg->letter);
    return DestinationIndexOfCode(code) >= 0;
}

void Receiver::OnRecord(const std::string& raw)
{
    ++m_records;
    if (!RootHears())
        return;
    Board& b = *m_addressed;
    if (!CanAct(b))
        return;
    ++b.stats.records;
    DecodedRecord r;
    std::string reason;
    if (!DecodeRecord(raw, r, reason)) {
        RecordError(b, "bad record (" + reason + ")");
        return;
    }
    if (!DestinationAccepted(b, r.destCode)) {
        RecordError(b, "destination code " + Hex4(r.destCode));
        return;
    }
    b.lastDestCode = r.destCode;
    if (r.type == 'D') {
        auto fault = std::find_if(b.cfg->faults.corruptBlock.begin(), b.cfg->faults.corruptBlock.end(),
                                  [&](const BlockFault& f) { return f.block == r.value; });
        if (fault != b.cfg->faults.corruptBlock.end() && b.corruptUsed[r.value] < fault->times) {
            ++b.corruptUsed[r.value];
            RecordError(b, "block " + std::to_string(r.value) + " corrupted on the line (injected)");
            return;
        }
    }
    switch (r.type) {
    case 'L': HandleFirstRecord(b, raw.size()); break;
    case 'D':
        if (m_line.phaseStartMs >= 0 && m_line.phaseEndMs < 0) {
            m_line.phaseLastDataMs = m_now;
            m_line.phaseBytesToLastData = m_line.phaseBytes + static_cast<long>(raw.size());
        }
        HandleDataRecord(b, r);
        break;
    case 'F':
        EndDataPhase(raw.size());
        HandleClosingRecord(b, r);
        break;
    }
}

void Receiver::RecordError(Board& b, const std::string& reason)
{
    ++b.stats.errors;
    Log("   " + b.cfg->name + ": " + reason);
    if (b.receiving)
        AskResend(b);
}

void Receiver::AskResend(Board& b, int64_t knownAddress)
{
    if (b.awaiting && ++b.unexpectedSinceAsk < kReaskAfterRecords)
        return;
    b.awaiting = true;
    b.unexpectedSinceAsk = 0;
    ++b.stats.resendsAsked;
    // The address of a missing block is where the previous one ended.
    uint32_t address = knownAddress >= 0 ? static_cast<uint32_t>(knownAddress)
                       : b.expectedBlock == 1 ? 0 : b.lastAddressEnd;
    int destIndex = DestinationIndexOfCode(b.lastDestCode);
    if (destIndex < 0 && b.parent)
        destIndex = b.cfg->letter <= 'H' ? b.cfg->letter - 'A' : 8 + (b.cfg->letter - 'I');
    DataRecord record;
    if (!record.SetDestination(std::max(destIndex, 0)) || !record.SetKind(kResendKindIndex)
        || !record.BuildFrom('R', b.expectedBlock, address, nullptr, 0)) {
        Log("   cannot build a resend request");
        return;
    }
    char text[80];
    std::snprintf(text, sizeof text, "   %s asks block %u again (address %08X)", b.cfg->name.c_str(),
                  b.expectedBlock, address);
    Log(text);
    SendBytes(record.WireBytes());
}

void Receiver::HandleFirstRecord(Board& b, size_t)
{
    if (!b.programming) {
        RecordError(b, "'L' record before the announce");
        return;
    }
    b.receiving = true;
    b.expectedBlock = 1;
    b.awaiting = false;
    b.unexpectedSinceAsk = 0;
    b.lastAddressEnd = 0;
    b.receivedBytes = 0;
    b.loadComplete = false;
    m_line.phaseStartMs = m_now;
    m_line.phaseEndMs = -1;
    m_line.phaseBytes = 0;
    m_line.phaseBytesToLastData = -1;
    m_line.phaseLastDataMs = -1;
    m_line.phaseRate = LinkRate();
    Log("   " + b.cfg->name + " starts receiving");
}

void Receiver::HandleDataRecord(Board& b, const DecodedRecord& r)
{
    if (!b.receiving) {
        RecordError(b, "'D' record outside a load");
        return;
    }
    if (b.cfg->faults.dropAtBlock && r.value == b.cfg->faults.dropAtBlock) {
        b.lineDropped = true;
        Log("   line to " + b.cfg->name + " dropped at block " + std::to_string(r.value) + " (injected)");
        return;
    }
    const uint32_t stuck = b.cfg->faults.stuckAtBlock;
    if (stuck != 0 && r.value >= stuck && b.expectedBlock == stuck) {
        // It cannot keep that block: every record brings the same request again.
        Log("   " + b.cfg->name + " cannot take block " + std::to_string(stuck) + " (injected)");
        b.awaiting = false;
        AskResend(b);
        return;
    }
    if (r.value > b.expectedBlock) {
        AskResend(b);
        return;
    }
    if (r.value < b.expectedBlock)
        return;  // sent again after a resend request: already here
    if (b.awaiting && r.kind != 'C') {
        // The block asked for again comes back as a resend ('C'), nothing else.
        RecordError(b, "block " + std::to_string(r.value) + " resent with kind '" + std::string(1, r.kind)
                           + "', not 'C'");
        return;
    }
    b.awaiting = false;
    auto fault = std::find_if(b.cfg->faults.resend.begin(), b.cfg->faults.resend.end(),
                              [&](const BlockFault& f) { return f.block == r.value; });
    if (fault != b.cfg->faults.resend.end() && b.resendUsed[r.value] < fault->times) {
        ++b.resendUsed[r.value];
        Log("   " + b.cfg->name + " rejects block " + std::to_string(r.value) + " (injected)");
        AskResend(b, r.address);
        return;
    }
    if (!b.image.Write(r.address, r.data)) {
        RecordError(b, "block past the end of the address space");
        return;
    }
    b.receivedBytes += static_cast<long>(r.data.size());
    b.stats.dataBytes += static_cast<long>(r.data.size());
    b.lastAddressEnd = r.address + static_cast<uint32_t>(r.data.size());
    ++b.expectedBlock;
}

void Receiver::EndDataPhase(size_t closingRecordSize)
{
    if (m_line.phaseStartMs < 0 || m_line.phaseEndMs >= 0)
        return;
    if (m_line.phaseLastDataMs >= 0) {
        m_line.phaseEndMs = m_line.phaseLastDataMs;
        m_line.phaseBytes = m_line.phaseBytesToLastData;
    } else {
        // An empty release: the phase is the opening and the closing record.
        m_line.phaseEndMs = m_now;
        m_line.phaseBytes += static_cast<long>(closingRecordSize);
    }
}

void Receiver::HandleClosingRecord(Board& b, const DecodedRecord& r)
{
    if (!b.receiving) {
        RecordError(b, "'F' record outside a load");
        return;
    }
    b.receiving = false;
    b.programming = false;
    b.imageDirty = true;
    if (r.kind == 'A') {
        Log("   " + b.cfg->name + ": load aborted");
        return;
    }
    bool complete = !b.awaiting && r.value == b.expectedBlock && b.receivedBytes == b.announcedSize;
    b.loadComplete = complete;
    Log("   " + b.cfg->name + ": end of data, " + std::to_string(b.receivedBytes) + " bytes"
        + (complete ? "" : " (incomplete)"));
    int delay = b.cfg->faults.checksumDelayMs.value_or(b.cfg->checksumDelayMs);
    uint64_t generation = b.generation;
    Board* board = &b;
    Schedule(delay, [this, board, generation, complete] { SendChecksum(*board, generation, complete); });
}

void Receiver::SendChecksum(Board& b, uint64_t generation, bool complete)
{
    if (b.generation != generation || !CanAct(b))
        return;
    for (const std::string& line : b.cfg->faults.checksumLines)
        Answer(b, line);
    if (b.cfg->faults.checksumNever) {
        Log("   " + b.cfg->name + " sends no checksum message (injected)");
        return;
    }
    unsigned v1 = b.image.Sum();
    // The second value is the sum the board read back; an incomplete load
    // or an injected fault makes the two disagree.
    unsigned v2 = complete ? v1 : ~v1;
    if (b.cfg->faults.checksumMismatch)
        v2 = v1 ^ 0x5A5A;
    std::string text = "$PKVR,XSOFT,C,";
    if (b.cfg->checksumForm == 7)
        text += b.cfg->checksumExtra + ",";
    text += std::to_string(b.cfg->progrId) + "," + Hex4(v1) + "," + Hex4(v2);
    ++b.stats.checksums;
    Answer(b, text);
    // Nobody sends the end of transfer mode to the board cabled to the PC
    // (that sentence travels through a parent): it ends the load itself.
    if (&b == m_root && complete)
        CompleteLoad(b);
}

// -------------------------------------------------------------- board life

void Receiver::Restart(Board& b)
{
    ++b.generation;
    b.power = Power::Restarting;
    b.relayTo = nullptr;
    if (&b == m_root)
        m_addressed = m_root;
    if (!b.cfg->keepsRate) {
        b.rate = b.cfg->rate;
        b.portRates = DefaultPorts(b);
    }
    Log("   " + b.cfg->name + " restarts for " + std::to_string(b.cfg->restartMs) + " ms");
    uint64_t generation = b.generation;
    Board* board = &b;
    Schedule(b.cfg->restartMs, [this, board, generation] { FinishRestart(*board, generation); });
}

void Receiver::FinishRestart(Board& b, uint64_t generation)
{
    if (b.generation != generation || b.power != Power::Restarting)
        return;
    if (b.cfg->faults.neverBack) {
        b.power = Power::Dead;
        Log("   " + b.cfg->name + " does not come back (injected)");
        return;
    }
    if (!b.cfg->faults.backWithSoftware.empty())
        b.software = b.cfg->faults.backWithSoftware;
    else if (!b.cfg->softwareAfterLoad.empty())
        b.software = b.cfg->softwareAfterLoad;
    b.power = b.parent ? Power::Hidden : Power::Running;
    Log("   " + b.cfg->name + " is up again");
}

void Receiver::ResetBoard(Board& b)
{
    ++b.generation;
    b.lineDropped = false;
    b.relayTo = nullptr;
    if (!b.cfg->keepsRate) {
        b.rate = b.cfg->rate;
        b.portRates = DefaultPorts(b);
    }
    b.transferMode = b.programming = b.receiving = b.loadComplete = false;
    b.awaiting = false;
    b.power = b.broken ? Power::Broken : Power::Running;
}

void Receiver::PowerCycle()
{
    ++m_line.powerCycles;
    m_statsChanged = true;
    m_autoCycleArmed = false;
    m_output.clear();
    m_parser.Reset();
    for (auto& b : m_boards)
        ResetBoard(*b);
    m_addressed = m_root;
    Log("power cycle");
    const RescueConfig& rescue = m_root->cfg->rescue;
    if (!rescue.supported)
        return;
    m_root->power = Power::PowerOnWindow;
    uint64_t generation = m_root->generation;
    Schedule(rescue.windowMs, [this, generation] {
        if (m_root->generation == generation && m_root->power == Power::PowerOnWindow) {
            m_root->power = m_root->broken ? Power::Broken : Power::Running;
            Log("power-on window closed: " + m_root->cfg->name + " is " + PowerName(m_root->power));
        }
    });
}

void Receiver::EnterRescueLoader(Board& b)
{
    b.power = Power::RescueLoader;
    b.rate = b.cfg->rescue.rate;
    b.relayTo = nullptr;
    Log("   " + b.cfg->name + " waits in its rescue loader");
}

// ----------------------------------------------------------------- answers

std::vector<std::string> Receiver::IdentEntries(const Board& b) const
{
    std::vector<std::string> entries = {b.cfg->bootLoader};
    if (b.power == Power::RescueLoader)
        entries.push_back(b.cfg->rescue.text);
    else
        entries.insert(entries.end(), b.software.begin(), b.software.end());
    return entries;
}

void Receiver::AppendSeries(const Board& b, bool relayed, std::vector<std::string>& lines) const
{
    for (const std::string& entry : IdentEntries(b)) {
        std::string line = b.cfg->subassy + b.cfg->hardware + "," + entry;
        if (relayed)
            line += std::string(",") + b.cfg->letter;
        lines.push_back(line);
    }
    if (b.power == Power::RescueLoader)
        return;  // the rescue loader knows nothing of the boards behind it
    for (const Board* c : b.children) {
        if (Visible(*c))
            AppendSeries(*c, true, lines);
    }
}

void Receiver::AnswerSeries(const Board& b)
{
    std::vector<std::string> lines;
    AppendSeries(b, false, lines);
    for (size_t i = 0; i < lines.size(); ++i)
        Answer(b, "$PKVR,IDENT," + std::to_string(lines.size()) + "," + std::to_string(i + 1) + "," + lines[i]);
}

void Receiver::Answer(const Board& from, const std::string& sentence)
{
    if (m_mute)
        return;
    Log(">> " + sentence + "   (" + from.cfg->name + ")");
    std::string bytes;
    const LineFaults& line = m_config.line;
    for (int i = 0; i < line.noiseBytes; ++i) {
        // Any byte value, the starts of sentences and records included.
        m_noiseSeed = m_noiseSeed * 1103515245u + 12345u;
        bytes += static_cast<char>((m_noiseSeed >> 16) & 0xFF);
    }
    if (line.nmea)
        bytes += kForeignNmea;
    bytes += sentence + "\r\n";
    SendBytes(bytes);
}

void Receiver::SendBytes(const std::string& bytes)
{
    const LineFaults& line = m_config.line;
    size_t piece = line.splitPiece > 0 ? static_cast<size_t>(line.splitPiece) : bytes.size();
    int64_t due = std::max(m_now, m_outputFreeAt);
    for (size_t offset = 0; offset < bytes.size(); offset += piece) {
        if (m_output.size() >= kMaxPendingOutput)
            break;
        if (offset > 0)
            due += line.splitDelayMs;
        m_output.push_back({due, LinkRate(), bytes.substr(offset, piece)});
    }
    m_outputFreeAt = due;
}

// ------------------------------------------------------------------- stats

std::vector<const Board*> Receiver::TakeDirtyImages()
{
    std::vector<const Board*> dirty;
    for (auto& b : m_boards) {
        if (b->imageDirty) {
            b->imageDirty = false;
            dirty.push_back(b.get());
        }
    }
    return dirty;
}

bool Receiver::TakeStatsChanged()
{
    bool changed = m_statsChanged;
    m_statsChanged = false;
    return changed;
}

nlohmann::json Receiver::StatsJson() const
{
    using nlohmann::json;
    long resends = 0, errors = 0;
    json boards = json::array();
    for (const auto& b : m_boards) {
        resends += b->stats.resendsAsked;
        errors += b->stats.errors;
        json ports = json::object();
        for (const auto& [letter, rate] : b->portRates)
            ports[std::string(1, letter)] = rate;
        boards.push_back({{"name", b->cfg->name},
                          {"state", PowerName(b->power)},
                          {"rate", b->rate},
                          {"ports", ports},
                          {"relays_to", b->relayTo ? json(std::string(1, b->relayTo->cfg->letter)) : json()},
                          {"transfer_mode", b->transferMode},
                          {"software", b->software},
                          {"sentences", b->stats.sentences},
                          {"records", b->stats.records},
                          {"data_bytes", b->stats.dataBytes},
                          {"resends_asked", b->stats.resendsAsked},
                          {"errors", b->stats.errors},
                          {"loads", b->stats.loads},
                          {"checksums_sent", b->stats.checksums},
                          {"image_bytes", b->image.ByteCount()},
                          {"image_sum", Hex4(b->image.Sum())}});
    }
    json stats = {{"sentences", m_sentences},
                  {"records", m_records},
                  {"bytes_received", m_line.bytesReceived},
                  {"bytes_lost", m_line.bytesLost},
                  {"garbage_bytes", m_line.garbageBytes},
                  {"bytes_sent", m_line.bytesSent},
                  {"power_cycles", m_line.powerCycles},
                  {"resends_asked", resends},
                  {"errors", errors},
                  {"link_rate", LinkRate()},
                  {"addressed", m_addressed->cfg->name},
                  {"boards", boards}};
    if (m_line.phaseStartMs >= 0 && m_line.phaseRate > 0) {
        int64_t end = m_line.phaseEndMs >= 0 ? m_line.phaseEndMs : m_now;
        double wire = static_cast<double>(m_line.phaseBytes) * kBitsPerByte / static_cast<double>(m_line.phaseRate);
        // The 'L' record was on the wire before its arrival started the phase.
        double lead = 17.0 * kBitsPerByte / static_cast<double>(m_line.phaseRate);
        double elapsed = static_cast<double>(end - m_line.phaseStartMs) / 1000.0 + lead;
        stats["data_phase"] = {{"bytes", m_line.phaseBytes},
                               {"rate", m_line.phaseRate},
                               {"finished", m_line.phaseEndMs >= 0},
                               {"wire_time_s", wire},
                               {"elapsed_s", elapsed},
                               {"utilisation", elapsed > 0 ? std::min(1.0, wire / elapsed) : 0.0}};
    } else {
        stats["data_phase"] = nullptr;
    }
    return stats;
}

}  // namespace sim
