#pragma once
// tavrel-cli commands. Each command lives in its own cmd_*.cpp file and
// registers itself with a static CliRegistrar:
//
//   static int RunImport(CliArgs& args);
//   static CliRegistrar reg({"import", "Convert a release file into its .vle file",
//                            "usage: tavrel-cli import FILE [--progress]\n...", RunImport});
//
// Exit codes: 0 success, 1 failure, 2 usage error.
#include <string>
#include <vector>

// Global options of this run, set by main before the command runs.
struct CliGlobals {
    bool quiet = false;     // -q: errors only
    bool verbose = false;   // -v: every logged line on stderr too
    std::string envDir;     // --env-dir: the environment directory for this run
    bool answerYes = false; // --yes
    std::string historyPath;   // --history: the history file for this run
};
CliGlobals& Globals();

struct CliArgs {
    std::vector<std::string> words;   // the command's own arguments, global options removed

    // Removes "--name" from words; true when it was there.
    bool Flag(const std::string& name);
    // Removes "--name VALUE" (or "--name=VALUE") from words; true when it was there.
    // An empty value is noted as a usage error that Positionals reports.
    bool Option(const std::string& name, std::string& value);
    // The remaining positional arguments; a word still starting with "--" is a usage error.
    bool Positionals(std::vector<std::string>& out, std::string& error) const;

    std::string optionError;   // the first option given without its value
    std::vector<std::string> optionNames;   // "--name" of every Flag and Option asked for, to offer

private:
    void NoteOptionName(const std::string& flag);
};

struct CliCommand {
    std::string name;      // one or more words: "version", "env list", "vle dump"
    std::string summary;   // one line for the command list
    std::string usage;     // the text of "--help"
    int (*run)(CliArgs& args);
};

struct CliRegistrar {
    explicit CliRegistrar(const CliCommand& command);
};

const std::vector<CliCommand>& CliCommands();

// Takes "--dir D" (the environment directory for this run, as the global
// --env-dir) and the positionals.
bool TakeDirAndWords(CliArgs& args, std::vector<std::string>& words, std::string& error);
// Sets the environment directory of this run (--env-dir, --dir) without
// storing it: a command that saves the settings writes back the stored one.
void UseEnvDir(const std::string& dir);
// The "Products files" setting as Tavrel.ini holds it, back in place before
// a command saves the settings.
void RestoreStoredEnvDir();

// The closest of `candidates` to `word` (few enough edits to be a typing
// slip), or empty.
std::string ClosestName(const std::string& word, const std::vector<std::string>& candidates);
// Edits from one word to the other (a swap of neighbours is one), ignoring case.
std::size_t EditDistance(const std::string& a, const std::string& b);
// What to tell after an unknown name: "; closest: X" when `close` is not
// empty, else "; there are: A, B, C" (the first few of `names`), or, when
// there are many and `listedBy` names a command, "; `<listedBy>` lists them".
// Empty when there are no names.
std::string OfferText(const std::string& close, const std::vector<std::string>& names,
                      const std::string& listedBy = {});
// OfferText with the closest of `names` to `word`.
std::string OfferNames(const std::string& word, const std::vector<std::string>& names,
                       const std::string& listedBy = {});

// Every error and warning of the program starts with this.
inline constexpr const char* kErrorPrefix = "tavrel-cli: ";
// Prints "tavrel-cli: <text>" on stderr and returns 2 (usage error).
int CliUsageError(const std::string& text);
// Prints "tavrel-cli: <text>" on stderr and returns 1 (failure).
int CliFailure(const std::string& text);
