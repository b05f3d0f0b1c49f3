#pragma once
// The check of a transfer request's lines against the environments loaded in
// g_envList: what keeps a line from linking, with the closest names, before
// a transfer finds out.
#include <string>
#include <vector>

class CBoardConf;

// One text per line that does not link ("line 2 (\"GSP\"): no board \"GSP\"
// with hardware \"20\" in environment \"DEMO\"; closest: GPS"), lines numbered
// from 1. `envDir` names the directory that was scanned. Empty when every
// line links.
std::vector<std::string> RequestLineProblems(const std::vector<CBoardConf>& lines, const std::string& envDir);
