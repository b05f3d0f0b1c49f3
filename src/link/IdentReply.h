#pragma once
// The rows of an identification answer as the Reply dialog lists them: one
// row per answer sentence, up to the last sentence of the series.
#include <string>
#include <vector>

struct IdentReplyRow {
    std::string number;     // field 3, " x" when missing
    std::string hardware;   // field 4, " xxxxxx" when missing
    std::string software;   // field 5, " xxxxxxxxxxxxxxx" when missing
    std::string port;       // field 6, empty when missing
    // 1 the directly connected board, 0 a board behind a parent's port,
    // 2 a board in its boot loader ("U" in its identification), -1 no image
    // (another line of the board above).
    int image = -1;
};

std::vector<IdentReplyRow> IdentReplyRows(const std::string& answer);

// The sentences of the first complete series of an answer, without their
// line ends: up to the line numbered as its total (an answer collected over
// two questions holds the series twice), or every line when none ends it.
std::vector<std::string> IdentSeriesLines(const std::string& answer);
