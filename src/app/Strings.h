#pragma once
// The string table: every numbered message the user sees or the log records,
// with its exact text, looked up by number.
#include <string>

// UTF-8 text of message `id`, or an empty string when the table has no such id.
std::string GetString(int id);

// Message `id` on one line: its line ends turned into spaces, trailing blanks
// dropped (for a reason or a report line).
std::string GetOneLineString(int id);

// True when the table holds `id`.
bool HasString(int id);
