#pragma once
// Choosing and previewing a transfer: `transfer --board NAME` keeps only the
// named lines of the request, `transfer --dry-run` checks what can be checked
// without sending anything and says what the transfer would do.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class CSerialLink;
class CUpdateDoc;

// Keeps the lines of `doc` whose board is one of `boards` (in request order);
// false with `error` naming an unknown board and the closest names.
bool KeepChosenBoards(CUpdateDoc& doc, const std::vector<std::string>& boards, std::string& error);

// One line of the preview.
struct BoardPreview {
    std::string board;
    std::string release;     // the release file's path
    std::string format;      // what it reads as; empty when it cannot be read
    long long bytes = 0;     // data bytes of the release
    int rate = 0;            // the line rate of the transfer (bit/s)
    long long seconds = 0;   // expected time of the data at that rate
    std::string problem;     // why it cannot be loaded; empty when it can
};

// The release of every line of `doc` (converted into its .vle, nothing sent).
std::vector<BoardPreview> PreviewBoards(CUpdateDoc& doc);
nlohmann::json PreviewJson(const std::vector<BoardPreview>& boards);
// One line per board for people.
std::vector<std::string> PreviewLines(const std::vector<BoardPreview>& boards);
