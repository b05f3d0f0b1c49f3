// tavrel-sim: a simulated receiver (a tree of boards) behind a pseudo-terminal.
#include "sim/SimLoop.h"

#include "app/BuildVersion.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintUsage(std::FILE* to)
{
    std::fputs("usage: tavrel-sim --receiver FILE.json [--link PATH] [--image-dir DIR]\n"
               "                  [--stats FILE] [--pace] [--log FILE]\n"
               "       tavrel-sim --version\n"
               "Creates a pseudo-terminal, prints \"ready <device>\" and answers as the\n"
               "receiver described by FILE.json until SIGTERM or SIGINT. SIGUSR1\n"
               "switches the receiver off and on.\n",
               to);
}

// Options that take a value; returns false on an unknown option.
bool TakeOption(const std::string& name, const char* value, sim::SimOptions& options)
{
    if (name == "--receiver")
        options.receiverFile = value;
    else if (name == "--link")
        options.linkPath = value;
    else if (name == "--image-dir")
        options.imageDir = value;
    else if (name == "--stats")
        options.statsFile = value;
    else if (name == "--log")
        options.logFile = value;
    else
        return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    sim::SimOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return sim::kExitOk;
        }
        if (arg == "--version" || arg == "-V") {
            std::printf("tavrel-sim %s\n", BuildPackageVersion());
            return sim::kExitOk;
        }
        if (arg == "--pace") {
            options.pace = true;
            continue;
        }
        std::string name = arg, value;
        size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc && arg.rfind("--", 0) == 0) {
            value = argv[++i];
        } else {
            std::fprintf(stderr, "tavrel-sim: %s needs a value\n", arg.c_str());
            PrintUsage(stderr);
            return sim::kExitBadInput;
        }
        if (!TakeOption(name, value.c_str(), options)) {
            std::fprintf(stderr, "tavrel-sim: unknown option %s\n", name.c_str());
            PrintUsage(stderr);
            return sim::kExitBadInput;
        }
    }
    if (options.receiverFile.empty()) {
        std::fprintf(stderr, "tavrel-sim: --receiver FILE.json is required\n");
        PrintUsage(stderr);
        return sim::kExitBadInput;
    }
    return sim::RunSimulator(options);
}
