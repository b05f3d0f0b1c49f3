// Command-line parsing shared by the desktop program and tavrel-cli.
#include "app/CommandLine.h"

namespace {

// "-x", "--name" and the classic "/p", "/Embedding" are switches. A word that
// starts with '/' but holds another '/' or a '.' is an absolute path, which on
// this platform also starts with '/'.
bool IsSwitch(const std::string& word)
{
    if (word[0] == '-') return true;
    if (word[0] != '/') return false;
    return word.find_first_of("/.", 1) == std::string::npos;
}

}  // namespace

CommandLineInfo ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLineInfo info;
    for (const std::string& word : args) {
        if (word.empty()) continue;
        if (IsSwitch(word))
            info.switches.push_back(word);
        else if (info.requestFile.empty())
            info.requestFile = word;
        else
            info.extra.push_back(word);
    }
    return info;
}
