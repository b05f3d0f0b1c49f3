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

struct CliArgs {
    std::vector<std::string> words;   // the command's own arguments, global options removed

    // Removes "--name" from words; true when it was there.
    bool Flag(const std::string& name);
    // Removes "--name VALUE" (or "--name=VALUE") from words; true when it was there.
    bool Option(const std::string& name, std::string& value);
    // The remaining positional arguments; a word still starting with "--" is a usage error.
    bool Positionals(std::vector<std::string>& out, std::string& error) const;
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

// Takes "--dir D" (the environment directory for this run) and the positionals.
bool TakeDirAndWords(CliArgs& args, std::vector<std::string>& words, std::string& error);

// Prints "tavrel-cli: <text>" on stderr and returns 2 (usage error).
int CliUsageError(const std::string& text);
// Prints "tavrel-cli: <text>" on stderr and returns 1 (failure).
int CliFailure(const std::string& text);
