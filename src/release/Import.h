#pragma once
// The Import command: converts a release file chosen by the user into its
// .vle file, with its log lines and its one message box.
#include <string>
#include <vector>

#include "release/FileBase.h"

// Import code for a .vle file that was already up to date.
constexpr int IMPORT_ALREADY_CONVERTED = 100;
// Import code for a release file that does not exist (no message).
constexpr int IMPORT_NO_FILE = -2;
// Import code for a release file of no known format (no reader opened it).
constexpr int IMPORT_UNKNOWN_FORMAT = -1;
// Import code for a release file that the reader could not open.
constexpr int IMPORT_NOT_OPENED = -3;

struct ImportOutcome {
    int code = IMPORT_NO_FILE;   // ConvertResult, IMPORT_ALREADY_CONVERTED or a negative code
    bool success = false;
    std::string message;         // the text logged and shown; empty for IMPORT_NO_FILE
    std::string vlePath;
    std::string format;          // what the file was read as (the reader's FormatName); empty when none
    std::string problem;         // where a faulty file is at fault ("line 12: checksum error")
    bool packed = false;         // the .vle file holds packed records
    std::vector<std::string> sharing;   // other release files beside it with the same .vle name
};

// The progress indicator of the main view (its overall progress bar).
class CViewProgress : public CProgressIndicator {
public:
    void SetPos(int percent) override;
};

// Converts `path`, logs the start and the result, and, with `showBox`, shows
// the result in the "Import process" box. Drives the view's activity
// indicator and file-name text; `progress` receives the percentage.
// `forceRaw` converts any non-empty file as a raw image.
ImportOutcome ImportReleasePath(const std::string& path, CProgressIndicator* progress, bool showBox,
                                bool forceRaw = false);

// The command: asks for the release file (starting at `initialName`, in the
// "Last SFL path" folder), then
// ImportReleasePath with the view's progress bar. Returns 1 on success.
int ImportReleaseFile(const std::string& initialName);

// The line that says a release file shares its .vle file with others beside
// it, so that the .vle is made again at every conversion; empty when none does.
std::string SharedVleText(const std::string& releasePath, const std::vector<std::string>& others);
