#pragma once
// The description of a simulated receiver: its board tree, their rates,
// timings and the faults to inject, as read from the receiver JSON file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A sentence that goes unanswered: `times` answers are dropped, then the
// board answers again; 0 means every time.
struct SilenceFault {
    std::string prefix;
    int times = 0;
};

// A block that is asked for again (or corrupted on the line) `times` times.
struct BlockFault {
    uint32_t block = 0;
    int times = 1;
};

struct PortRate {
    char letter = 'A';
    long rate = 9600;
};

// A sentence answered with another text: `times` times, then as usual; 0
// means every time.
struct WrongAnswerFault {
    std::string prefix;
    std::string answer;
    int times = 0;
};

struct BoardFaults {
    std::vector<SilenceFault> noAnswer;
    std::vector<SilenceFault> ignored;      // neither acted on nor answered
    std::vector<WrongAnswerFault> wrongAnswer;
    char modeDeniedLetter = 0;              // answer M,B with this letter instead
    char modeEndDeniedLetter = 0;           // answer M,E and M,A with this letter instead
    std::vector<PortRate> reportedPortRates;    // HARDRS shows these rates (any number)
    bool eraseFails = false;
    std::vector<BlockFault> resend;
    std::vector<BlockFault> corruptBlock;
    uint32_t stuckAtBlock = 0;              // 0: none; else every 'D' record from this
                                            // block on is answered by a resend request for it
    bool checksumMismatch = false;
    std::optional<int> checksumDelayMs;     // overrides the board's delay (a late message)
    bool checksumNever = false;
    std::vector<std::string> checksumLines; // sentences sent before the checksum message
    bool neverBack = false;
    std::vector<std::string> backWithSoftware;  // software after a restart instead of the new one
    uint32_t dropAtBlock = 0;               // 0: the line is never dropped
};

struct RescueConfig {
    bool supported = false;
    bool broken = false;
    int windowMs = 5000;
    int autoPowerCycleMs = 0;               // 0: only SIGUSR1 power-cycles
    long rate = 9600;
    std::string text = "UCRQ";
};

struct BoardConfig {
    std::string name;
    std::string subassy;
    std::string hardware;
    std::string bootLoader;
    std::vector<std::string> software;
    std::vector<std::string> softwareAfterLoad;
    std::string parent;                     // empty for the board cabled to the PC
    char letter = 0;                        // 'A'..'L' on the parent
    long rate = 9600;
    std::vector<PortRate> ports;
    int progrId = 1;
    std::optional<int> destCode;            // destination code its records must carry
    int eraseMs = 1000;
    int restartMs = 3000;
    bool keepsRate = false;
    int checksumForm = 6;
    int checksumDelayMs = 1000;
    std::string checksumExtra = "0";        // the extra field of the 7-field form
    RescueConfig rescue;
    BoardFaults faults;
};

struct LineFaults {
    int noiseBytes = 0;                     // noise bytes before every answer
    bool nmea = false;                      // a foreign NMEA line before every answer
    int splitPiece = 0;                     // answers cut into pieces of this size
    int splitDelayMs = 0;
};

struct ReceiverConfig {
    std::vector<BoardConfig> boards;        // boards[0] is the board cabled to the PC
    LineFaults line;
    bool reprobeAnswers = false;
};

// Reads and checks a receiver description. On failure returns false and sets
// `error` to a message that names the faulty field ("boards[1].rate: ...").
bool LoadReceiverConfig(const std::string& path, ReceiverConfig& config, std::string& error);
bool ParseReceiverConfig(const std::string& text, ReceiverConfig& config, std::string& error);

// The ten line rates the receiver knows, 300 .. 256000 bit/s.
bool IsTableRate(long rate);
// The record destination code of a port ('A'..'H') or Dpram ('I'..'L') letter.
int DestinationCodeOfLetter(char letter);

}  // namespace sim
