#pragma once
// The clipboard of the editors: a board definition or a board line is put
// as Tavrel's own format (the archive bytes, under its MIME type and its
// Windows name) and as plain text (its description). Paste reads only the
// archive form; clipboard data is foreign input, so its size is bounded and
// damaged data is refused with a message.
#include <cstddef>

class CBoardConf;
class CBoardDef;

// Largest clipboard record that is read; anything larger is refused as damaged.
inline constexpr size_t CLIPBOARD_MAX_RECORD_BYTES = 64 * 1024;

enum class PasteResult { Pasted, Absent, Damaged };

void CopyBoardDef(const CBoardDef& board);
void CopyBoardConf(const CBoardConf& line);
bool ClipboardHasBoardDef();
bool ClipboardHasBoardConf();
// Reads the clipboard into `board` / `line`, untouched unless Pasted. Damaged
// data is reported in a box.
PasteResult PasteBoardDef(CBoardDef& board);
PasteResult PasteBoardConf(CBoardConf& line);
