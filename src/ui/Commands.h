#pragma once
// The commands of the main window: ids, menu texts, accelerators, the menus,
// the toolbar and the context menu as tables, and the rule that enables each
// command as one table over the program's state.
#include <string>
#include <vector>

enum CommandId {
    ID_ABORT = 2,
    ID_COMMUNICATION = 32768,
    ID_QUERY = 32770,
    ID_TRANSFER = 32775,
    ID_VIEW_CONTENT = 32784,
    ID_ENV_OPEN = 32786,
    ID_ENV_LIST = 32789,
    ID_ENV_SET_DIR = 32792,
    ID_REPAIR = 32795,
    ID_VIEW_LOG = 32798,
    ID_IMPORT = 32852,
    ID_RESCUE_MODE = 32862,
    ID_QUERY_AUTO_CONFIG = 32864,
    ID_RESCUE_ENABLE = 32865,
    ID_HISTORY = 32870,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_SEND_MAIL = 57612,
    ID_FILE_MRU_FIRST = 57616,
    ID_FILE_MRU_LAST = 57619,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

// Status-bar texts.
enum StatusText {
    IDS_READY = 57345,
    IDS_INDICATOR_CAPS = 59137,
    IDS_INDICATOR_NUM = 59138,
    IDS_INDICATOR_SCRL = 59139,
};

// One command as the menus show it. The prompt and the tool tip are the
// string of the same id (before and after its line break).
struct CommandInfo {
    int id;
    const char* text;       // with '&'; empty for commands without menu text
    const char* shortcut;   // "Ctrl+N", or empty
    bool checkable;
};
const std::vector<CommandInfo>& CommandTable();
const CommandInfo* FindCommand(int id);

// A menu: title and items; id 0 is a separator, ID_FILE_MRU_FIRST stands for
// the recent-file list, a negative id opens the sub-menu of that index in
// SubMenus().
struct MenuInfo {
    const char* title;
    std::vector<int> items;
};
const std::vector<MenuInfo>& MainMenus();
const MenuInfo& ContextMenu();
const std::vector<MenuInfo>& ContextSubMenus();

// Toolbar buttons in order; 0 is a separator.
const std::vector<int>& ToolbarButtons();

// Keys that run a command without a menu text naming them.
struct ExtraShortcut {
    const char* shortcut;
    int id;
};
const std::vector<ExtraShortcut>& ExtraShortcuts();

// The state the enabling rules read.
struct CommandState {
    bool processRunning = false;
    bool environmentsExist = false;
    bool requestLoaded = false;
    bool editRights = false;
    bool logOk = false;
    bool mailAvailable = false;
    bool queryAutoSpeed = false;
    bool rescueEnable = false;
    int recentCount = 0;
};

struct CommandUi {
    bool enabled = false;
    bool checked = false;
};
CommandUi CommandEnabling(int id, const CommandState& state);

// The prompt (status bar) and tool tip of a command, from the string table.
std::string CommandPrompt(int id);
std::string CommandToolTip(int id);
