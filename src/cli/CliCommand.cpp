// The tavrel-cli command registry and argument helpers.
#include "cli/CliCommand.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "app/UpdateApp.h"
#include "model/ModelFiles.h"

namespace {

// Function-local so that registrars in other files may run in any order.
std::vector<CliCommand>& Registry()
{
    static std::vector<CliCommand> commands;
    return commands;
}

}  // namespace

CliRegistrar::CliRegistrar(const CliCommand& command)
{
    Registry().push_back(command);
}

const std::vector<CliCommand>& CliCommands()
{
    return Registry();
}

void CliArgs::NoteOptionName(const std::string& flag)
{
    if (std::find(optionNames.begin(), optionNames.end(), flag) == optionNames.end()) optionNames.push_back(flag);
}

bool CliArgs::Flag(const std::string& name)
{
    const std::string flag = "--" + name;
    NoteOptionName(flag);
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (*it == flag) {
            words.erase(it);
            return true;
        }
    }
    return false;
}

bool CliArgs::Option(const std::string& name, std::string& value)
{
    const std::string flag = "--" + name;
    NoteOptionName(flag);
    for (auto it = words.begin(); it != words.end(); ++it) {
        bool found = false;
        if (*it == flag && it + 1 != words.end()) {
            value = *(it + 1);
            words.erase(it, it + 2);
            found = true;
        } else if (it->compare(0, flag.size() + 1, flag + "=") == 0) {
            value = it->substr(flag.size() + 1);
            words.erase(it);
            found = true;
        }
        if (!found) continue;
        if (value.empty() && optionError.empty()) optionError = flag + " needs a value";
        return true;
    }
    return false;
}

namespace {

// "--name" of "--name=VALUE".
std::string OptionNameOf(const std::string& word)
{
    return word.substr(0, word.find('='));
}

}  // namespace

bool CliArgs::Positionals(std::vector<std::string>& out, std::string& error) const
{
    out.clear();
    if (!optionError.empty()) {
        error = optionError;
        return false;
    }
    for (const std::string& w : words) {
        if (w.size() > 2 && w.compare(0, 2, "--") == 0) {
            error = "unknown option " + w + OfferNames(OptionNameOf(w), optionNames);
            return false;
        }
        out.push_back(w);
    }
    return true;
}

namespace {

void PrintError(const std::string& text)
{
    std::cerr << kErrorPrefix << text << "\n";
}

// "Products files" as read from Tavrel.ini, before --env-dir or --dir.
std::string& StoredEnvDir()
{
    static std::string dir;
    return dir;
}

bool g_bEnvDirOverridden = false;

}  // namespace

int CliUsageError(const std::string& text)
{
    PrintError(text);
    return 2;
}

int CliFailure(const std::string& text)
{
    PrintError(text);
    return 1;
}

CliGlobals& Globals()
{
    static CliGlobals globals;
    return globals;
}

void UseEnvDir(const std::string& dir)
{
    if (!g_bEnvDirOverridden) StoredEnvDir() = App().m_strEnvDir;
    g_bEnvDirOverridden = true;
    App().m_strEnvDir = DirectoryWithSlash(dir);
}

void RestoreStoredEnvDir()
{
    if (g_bEnvDirOverridden) App().m_strEnvDir = StoredEnvDir();
    g_bEnvDirOverridden = false;
}

bool TakeDirAndWords(CliArgs& args, std::vector<std::string>& words, std::string& error)
{
    std::string dir;
    if (args.Option("dir", dir)) {
        if (dir.empty()) {
            error = "--dir needs a directory";
            return false;
        }
        UseEnvDir(dir);
    }
    return args.Positionals(words, error);
}

std::size_t EditDistance(const std::string& a, const std::string& b)
{
    // Insertions, deletions, substitutions and swaps of neighbours, one edit each.
    auto same = [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    };
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
            if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::string ClosestName(const std::string& word, const std::vector<std::string>& candidates)
{
    // A slip: at most a third of the longer name, and never the whole word.
    // Names longer than any a person types are not compared (the table of
    // edits grows with the product of the lengths).
    constexpr std::size_t kLongestName = 128;
    std::string best;
    std::size_t bestDistance = 0;
    if (word.size() > kLongestName) return best;
    for (const std::string& candidate : candidates) {
        if (candidate.size() > kLongestName) continue;
        const std::size_t distance = EditDistance(word, candidate);
        const std::size_t allowed = std::max<std::size_t>(1, std::max(word.size(), candidate.size()) / 3);
        if (distance > allowed || distance >= std::max(word.size(), candidate.size())) continue;
        if (best.empty() || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

std::string OfferText(const std::string& close, const std::vector<std::string>& names, const std::string& listedBy)
{
    constexpr std::size_t kNamesListed = 6;   // names offered when none is close
    if (names.empty()) return {};
    if (!close.empty()) return "; closest: " + close;
    if (names.size() > kNamesListed && !listedBy.empty()) return "; `" + listedBy + "` lists them";
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < kNamesListed; ++i) list += (i ? ", " : "") + names[i];
    return "; there are: " + list + (names.size() > kNamesListed ? ", ..." : "");
}

std::string OfferNames(const std::string& word, const std::vector<std::string>& names, const std::string& listedBy)
{
    return OfferText(ClosestName(word, names), names, listedBy);
}
