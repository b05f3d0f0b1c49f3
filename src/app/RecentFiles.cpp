#include "app/RecentFiles.h"

#include <algorithm>

void AddRecentFile(std::vector<std::string>& list, const std::string& path)
{
    if (path.empty()) return;
    RemoveRecentFile(list, path);
    list.insert(list.begin(), path);
    if (list.size() > kRecentFileMax) list.resize(kRecentFileMax);
}

bool RemoveRecentFile(std::vector<std::string>& list, const std::string& path)
{
    const auto it = std::find(list.begin(), list.end(), path);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

std::string RecentFileMenuText(std::size_t index, const std::string& path, std::size_t maxChars)
{
    std::string shown = path;
    if (shown.size() > maxChars) {
        // Keep the file name whole and as much of the folder's start as fits.
        const std::size_t slash = shown.find_last_of("/\\");
        const std::string name = slash == std::string::npos ? shown : shown.substr(slash);
        if (name.size() + 3 >= maxChars)
            shown = "..." + name;
        else
            shown = shown.substr(0, maxChars - name.size() - 3) + "..." + name;
    }
    // A '&' in a file name would become a mnemonic: double it.
    std::string escaped;
    for (char c : shown) {
        escaped += c;
        if (c == '&') escaped += '&';
    }
    return "&" + std::to_string(index + 1) + " " + escaped;
}
