#pragma once
// The recent-file list of the File menu: the four request files used last,
// most recent first, kept in the settings ("Recent File List").
#include <string>
#include <vector>

inline constexpr std::size_t kRecentFileMax = 4;

// Puts `path` at the top (moving it up when it is already listed; names are
// compared as given) and keeps at most four entries.
void AddRecentFile(std::vector<std::string>& list, const std::string& path);
// Drops `path` (a file that no longer opens); false when it was not listed.
bool RemoveRecentFile(std::vector<std::string>& list, const std::string& path);
// The menu text of entry `index`: "&1 " and the name, shortened with "..."
// in the middle of its folder part when longer than `maxChars`.
std::string RecentFileMenuText(std::size_t index, const std::string& path, std::size_t maxChars = 40);
