#pragma once
// The program's command line: words starting with "/" or "-" are switches
// (ours or the framework's); the first other word names a transfer request
// file to open and transfer at once.
#include <string>
#include <vector>

struct CommandLineInfo {
    std::string requestFile;              // empty when none was named
    std::vector<std::string> switches;    // in the order given
    std::vector<std::string> extra;       // further non-switch words (not used)
};

// `args` excludes the program name.
CommandLineInfo ParseCommandLine(const std::vector<std::string>& args);
