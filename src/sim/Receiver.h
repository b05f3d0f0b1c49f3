#pragma once
// The simulated receiver: a tree of boards behind one line. It takes the
// bytes that reach the connected board, acts on sentences and data records as
// the boards would, and queues the bytes the boards send back.
#include "sim/LineParser.h"
#include "sim/SimConfig.h"
#include "sim/SparseImage.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class DeviceSentence;

namespace sim {

class SimLog;

struct BoardStats {
    long sentences = 0;
    long records = 0;
    long dataBytes = 0;
    long resendsAsked = 0;
    long errors = 0;
    long loads = 0;
    long checksums = 0;
};

struct LineStats {
    long bytesReceived = 0;
    long bytesLost = 0;         // arrived while the PC link had the wrong rate
    long garbageBytes = 0;
    long bytesSent = 0;
    long powerCycles = 0;
    // The data phase of the last load: from its 'L' record to its last 'D'
    // record, the one before the 'F' record (the program pauses before the
    // 'F' record: the line is idle then by design).
    long phaseBytes = 0;
    long phaseRate = 0;
    int64_t phaseStartMs = -1;
    int64_t phaseEndMs = -1;
    long phaseBytesToLastData = -1;    // -1: no 'D' record yet
    int64_t phaseLastDataMs = -1;
};

enum class Power {
    Running,        // answers
    Restarting,     // silent for its restart time
    Hidden,         // relayed board back from a restart, not yet re-probed
    Dead,           // never came back
    Broken,         // software does not start: silent until a power cycle
    PowerOnWindow,  // boot loader listening for DC2 after a power cycle
    RescueLoader,   // caught in its rescue loader, waiting for a release
};

struct Board {
    const BoardConfig* cfg = nullptr;
    Board* parent = nullptr;
    std::vector<Board*> children;

    Power power = Power::Running;
    bool broken = false;
    bool lineDropped = false;
    long rate = 9600;
    std::map<char, long> portRates;
    std::vector<std::string> software;
    Board* relayTo = nullptr;
    uint64_t generation = 0;    // bumped on power cycle and restart; stale timers check it

    // Transfer state.
    bool transferMode = false;
    bool programming = false;   // "P" accepted
    bool receiving = false;     // 'L' accepted
    bool loadComplete = false;  // 'F' arrived with every block in place
    bool restartAfterLoad = false;
    long announcedSize = 0;
    uint32_t expectedBlock = 1;
    bool awaiting = false;      // a resend was asked for expectedBlock
    int unexpectedSinceAsk = 0;
    uint32_t lastAddressEnd = 0;
    long receivedBytes = 0;
    uint8_t lastDestCode = 0;

    std::map<std::string, int> silenceUsed;
    std::map<std::string, int> ignoredUsed;
    std::map<std::string, int> wrongAnswerUsed;
    std::map<uint32_t, int> resendUsed;
    std::map<uint32_t, int> corruptUsed;

    SparseImage image;
    bool imageDirty = false;
    BoardStats stats;
};

class Receiver {
public:
    Receiver(const ReceiverConfig& config, SimLog* log);

    void SetNow(int64_t ms) { m_now = ms; }
    // Bytes that reached the connected board at the right rate.
    void OnBytes(const uint8_t* data, size_t size);
    // Bytes sent at a wrong rate: lost, but a DC2 among them still means the
    // operator is about to power-cycle (the automatic power cycle).
    void OnLostBytes(const uint8_t* data, size_t size);
    void PowerCycle();
    // The program reopened the line at another rate: a half-received sentence
    // or record is forgotten.
    void LineReset() { m_parser.Reset(); }

    // Rate at which the connected board listens and answers.
    long LinkRate() const;

    void RunDueTimers();
    int64_t NextDueMs() const;   // -1 when nothing is pending
    // Takes the next piece of output due now and the rate it goes out at;
    // false when none.
    bool TakeOutput(std::string& bytes, long& rate);

    // Boards whose image changed since the last call.
    std::vector<const Board*> TakeDirtyImages();
    const std::vector<std::unique_ptr<Board>>& Boards() const { return m_boards; }
    nlohmann::json StatsJson() const;
    bool TakeStatsChanged();

private:
    using Action = std::function<void()>;
    void Schedule(int delayMs, Action action);
    void Log(const std::string& line);

    // What arrives.
    void OnSentence(const std::string& text);
    void OnRecord(const std::string& raw);
    void OnWakeUp();
    bool RootHears() const;
    static bool CanAct(const Board& b);

    // Sentences, by type.
    void HandleIdent(Board& b, const DeviceSentence& s, const std::string& text);
    void HandleHardrs(Board& b, const DeviceSentence& s);
    void HandleJoin(Board& b, const DeviceSentence& s);
    bool HandleLeave(const DeviceSentence& s);
    void HandleXsoft(Board& b, const DeviceSentence& s, const std::string& text);
    void HandleModeEnd(Board& b, const DeviceSentence& s, const std::string& text, bool ok);
    void HandleErase(Board& b, const DeviceSentence& s);
    void CompleteLoad(Board& b);
    void HandleProgram(Board& b, const DeviceSentence& s, const std::string& text);

    // Records.
    void HandleFirstRecord(Board& b, size_t rawSize);
    void HandleDataRecord(Board& b, const DecodedRecord& r);
    void HandleClosingRecord(Board& b, const DecodedRecord& r);
    void EndDataPhase(size_t closingRecordSize);
    void RecordError(Board& b, const std::string& reason);
    void AskResend(Board& b, int64_t knownAddress = -1);
    bool DestinationAccepted(const Board& b, uint8_t code) const;
    void SendChecksum(Board& b, uint64_t generation, bool complete);

    // Board life.
    void Restart(Board& b);
    void FinishRestart(Board& b, uint64_t generation);
    void ResetBoard(Board& b);
    void EnterRescueLoader(Board& b);

    // Answers.
    std::vector<std::string> IdentEntries(const Board& b) const;
    void AppendSeries(const Board& b, bool relayed, std::vector<std::string>& lines) const;
    void AnswerSeries(const Board& b);
    void Answer(const Board& from, const std::string& sentence);
    void SendBytes(const std::string& bytes);
    static bool Matches(const std::vector<SilenceFault>& faults, std::map<std::string, int>& used,
                        const std::string& text);
    bool Silenced(Board& b, const std::string& text);
    const WrongAnswerFault* WrongAnswer(Board& b, const std::string& text);
    static bool Visible(const Board& b);
    Board* ChildAt(Board& b, char letter) const;
    Board* HiddenBelow(Board& b, char letter) const;

    const ReceiverConfig& m_config;
    SimLog* m_log;
    int64_t m_now = 0;
    std::vector<std::unique_ptr<Board>> m_boards;
    Board* m_root = nullptr;
    Board* m_addressed = nullptr;
    LineParser m_parser;
    bool m_autoCycleArmed = false;
    bool m_mute = false;            // the sentence being handled goes unanswered

    struct Timer {
        int64_t due;
        uint64_t order;
        Action action;
    };
    std::vector<Timer> m_timers;
    uint64_t m_timerOrder = 0;
    struct Output {
        int64_t due;
        long rate;
        std::string bytes;
    };
    std::deque<Output> m_output;
    int64_t m_outputFreeAt = 0;
    uint32_t m_noiseSeed = 0x2545F491;

    LineStats m_line;
    long m_sentences = 0;
    long m_records = 0;
    bool m_statsChanged = true;
};

}  // namespace sim
