#pragma once
// What the main window and the Qt host call to reach the editors: the two
// host calls of the model (repair of a .def file, board choice for a request
// line) and the File and Environment commands that open the editors. The
// enabling rules are the main window's; these only run the commands.
#include <vector>

class QString;
class QWidget;
class CEnvDef;
class CUpdateDoc;

// CHost::RepairEnvironment: the environment editor in `mode` on a copy of
// `environment`, opening board `boardIndex` on its first error. True when
// the user left it with OK after saving a file (the caller reads it again).
bool ExecRepairEnvironment(QWidget* parent, int mode, const CEnvDef& environment, int boardIndex);
// CHost::ChooseEnvironmentBoard: the environment editor in its board-choice
// mode on `environments`, positioned on `envIndex`. True with the chosen
// environment and board when left with OK.
bool ExecChooseEnvironmentBoard(QWidget* parent, const std::vector<CEnvDef>& environments, int envIndex,
                                int& chosenEnv, int& chosenBoard);

// File > New: the request editor on a new request. True when the document
// took the new lines (the view runs its first update again).
bool RunNewRequestCommand(QWidget* parent, CUpdateDoc& doc);
// File > View content: the request editor on the loaded request (view-only
// without edit rights). True when the document's lines were replaced.
bool RunViewContentCommand(QWidget* parent, CUpdateDoc& doc);
// File > Import: the release import, its prompt starting at the release
// file of the first line of a loaded request, in the "Last SFL path" folder.
int RunImportCommand(const CUpdateDoc& doc);
// Environment > List.
void RunEnvironmentListCommand(QWidget* parent, CUpdateDoc& doc);
// Environment > Set Directory. True when the directory changed (and was scanned).
bool RunSetDirectoryCommand(QWidget* parent, CUpdateDoc& doc);
// Environment > Open (also Ctrl+E).
void RunEnvironmentOpenCommand(QWidget* parent, CUpdateDoc& doc);
// Environment Open on a given environment and board (-1: none), as the
// environment list opens it.
void RunEnvironmentOpen(QWidget* parent, CUpdateDoc& doc, int envIndex, int boardIndex);

// Screenshots: each editor with realistic content saved as <dir>/<name>.png.
void GrabEditorDialogs(const QString& dir);
