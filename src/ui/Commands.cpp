#include "ui/Commands.h"

#include <algorithm>

#include "app/Strings.h"

namespace {

const std::vector<CommandInfo> kCommands = {
    {ID_FILE_NEW, "&New", "Ctrl+N", false},
    {ID_FILE_OPEN, "&Open...", "Ctrl+O", false},
    {ID_VIEW_CONTENT, "&View content", "Ctrl+V", false},
    {ID_FILE_SAVE, "&Save", "", false},
    {ID_FILE_SAVE_AS, "Save &As", "", false},
    {ID_IMPORT, "&Import", "Ctrl+I", false},
    {ID_APP_EXIT, "E&xit", "", false},
    {ID_ENV_LIST, "List", "Ctrl+L", false},
    {ID_ENV_SET_DIR, "&Set Directory", "", false},
    {ID_ENV_OPEN, "&Open", "", false},
    {ID_COMMUNICATION, "&Communication", "Ctrl+C", false},
    {ID_QUERY_AUTO_CONFIG, "Query auto configure", "", true},
    {ID_RESCUE_ENABLE, "Rescue mode", "", true},
    {ID_REPAIR, "&Repair", "Ctrl+R", false},
    {ID_VIEW_LOG, "View &Log file", "Ctrl+G", false},
    {ID_FILE_SEND_MAIL, "Send to ...", "", false},
    {ID_HISTORY, "Transfer history…", "", false},
    {ID_QUERY, "&Query", "Ctrl+Q", false},
    {ID_TRANSFER, "&Transfer", "Ctrl+T", false},
    {ID_RESCUE_MODE, "&Rescue mode", "", false},
    {ID_APP_ABOUT, "&About Tavrel", "", false},
};

const std::vector<MenuInfo> kMainMenus = {
    {"&File", {ID_FILE_NEW, ID_FILE_OPEN, ID_VIEW_CONTENT, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, ID_IMPORT, 0,
               ID_FILE_MRU_FIRST, 0, ID_APP_EXIT}},
    {"&Environment", {ID_ENV_LIST, ID_ENV_SET_DIR, 0, ID_ENV_OPEN}},
    {"&Options", {ID_COMMUNICATION, 0, ID_QUERY_AUTO_CONFIG, ID_RESCUE_ENABLE, 0, ID_REPAIR}},
    {"&Log", {ID_VIEW_LOG, ID_FILE_SEND_MAIL, 0, ID_HISTORY}},
    {"&Device", {ID_QUERY, 0, ID_TRANSFER, 0, ID_RESCUE_MODE}},
    {"&?", {ID_APP_ABOUT}},
};

// The view's context menu; -1 is its sub-menu "&Environnment".
const MenuInfo kContextMenu = {
    "", {ID_FILE_NEW, ID_FILE_OPEN, ID_VIEW_CONTENT, 0, ID_IMPORT, 0, -1, 0, ID_COMMUNICATION, ID_REPAIR, 0,
         ID_QUERY, ID_TRANSFER, ID_RESCUE_MODE}};
const std::vector<MenuInfo> kContextSubMenus = {
    {"&Environnment", {ID_ENV_LIST, ID_ENV_SET_DIR, 0, ID_ENV_OPEN}},
};

const std::vector<int> kToolbar = {ID_FILE_NEW,      ID_FILE_OPEN, ID_FILE_SAVE_AS, 0,
                                   ID_COMMUNICATION, ID_VIEW_CONTENT, 0,
                                   ID_VIEW_LOG,      ID_FILE_SEND_MAIL, 0,
                                   ID_QUERY,         0,            ID_TRANSFER};

const std::vector<ExtraShortcut> kExtraShortcuts = {
    {"Ctrl+A", ID_FILE_SAVE_AS},
    {"Ctrl+E", ID_ENV_OPEN},
    {"Ctrl+X", ID_APP_EXIT},
};

// What a command needs to be enabled; every listed need must hold.
enum Need : unsigned {
    NEED_NOTHING = 0,
    NEED_IDLE = 1u << 0,
    NEED_ENVIRONMENT = 1u << 1,
    NEED_REQUEST = 1u << 2,
    NEED_RIGHTS = 1u << 3,
    NEED_LOG = 1u << 4,
    NEED_MAIL = 1u << 5,
    NEED_RESCUE_ON = 1u << 6,
    NEED_RECENT_ENTRY = 1u << 7,
};

// Which switch a toggle shows as its check mark (shown only while idle).
enum CheckMark { CHECK_NONE, CHECK_QUERY_AUTO, CHECK_RESCUE };

struct EnablingRow {
    int id;
    unsigned needs;
    CheckMark check;
};

// Recent-file entries are disabled during a process: opening another request
// would replace the document the process is working on.
const EnablingRow kEnabling[] = {
    {ID_FILE_NEW, NEED_IDLE | NEED_ENVIRONMENT | NEED_RIGHTS, CHECK_NONE},
    {ID_FILE_OPEN, NEED_IDLE | NEED_ENVIRONMENT, CHECK_NONE},
    {ID_VIEW_CONTENT, NEED_IDLE | NEED_REQUEST | NEED_ENVIRONMENT, CHECK_NONE},
    {ID_FILE_SAVE, NEED_IDLE | NEED_REQUEST | NEED_ENVIRONMENT | NEED_RIGHTS, CHECK_NONE},
    {ID_FILE_SAVE_AS, NEED_IDLE | NEED_REQUEST | NEED_ENVIRONMENT | NEED_RIGHTS, CHECK_NONE},
    {ID_IMPORT, NEED_IDLE, CHECK_NONE},
    {ID_FILE_MRU_FIRST, NEED_IDLE | NEED_RECENT_ENTRY, CHECK_NONE},
    {ID_FILE_MRU_FIRST + 1, NEED_IDLE | NEED_RECENT_ENTRY, CHECK_NONE},
    {ID_FILE_MRU_FIRST + 2, NEED_IDLE | NEED_RECENT_ENTRY, CHECK_NONE},
    {ID_FILE_MRU_LAST, NEED_IDLE | NEED_RECENT_ENTRY, CHECK_NONE},
    {ID_APP_EXIT, NEED_IDLE, CHECK_NONE},
    {ID_ENV_LIST, NEED_IDLE | NEED_ENVIRONMENT, CHECK_NONE},
    {ID_ENV_SET_DIR, NEED_IDLE, CHECK_NONE},
    {ID_ENV_OPEN, NEED_IDLE | NEED_ENVIRONMENT, CHECK_NONE},
    {ID_COMMUNICATION, NEED_IDLE, CHECK_NONE},
    {ID_QUERY_AUTO_CONFIG, NEED_NOTHING, CHECK_QUERY_AUTO},
    {ID_RESCUE_ENABLE, NEED_NOTHING, CHECK_RESCUE},
    {ID_REPAIR, NEED_IDLE, CHECK_NONE},
    {ID_VIEW_LOG, NEED_LOG, CHECK_NONE},
    {ID_FILE_SEND_MAIL, NEED_IDLE | NEED_MAIL, CHECK_NONE},
    {ID_HISTORY, NEED_NOTHING, CHECK_NONE},
    {ID_QUERY, NEED_IDLE, CHECK_NONE},
    {ID_TRANSFER, NEED_IDLE | NEED_REQUEST | NEED_ENVIRONMENT, CHECK_NONE},
    {ID_RESCUE_MODE, NEED_IDLE | NEED_RESCUE_ON, CHECK_NONE},
    {ID_APP_ABOUT, NEED_NOTHING, CHECK_NONE},
};

bool NeedsMet(unsigned needs, int id, const CommandState& s)
{
    auto holds = [needs](Need n) { return (needs & n) == 0; };
    return (holds(NEED_IDLE) || !s.processRunning) && (holds(NEED_ENVIRONMENT) || s.environmentsExist) &&
           (holds(NEED_REQUEST) || s.requestLoaded) && (holds(NEED_RIGHTS) || s.editRights) &&
           (holds(NEED_LOG) || s.logOk) && (holds(NEED_MAIL) || s.mailAvailable) &&
           (holds(NEED_RESCUE_ON) || s.rescueEnable) &&
           (holds(NEED_RECENT_ENTRY) || id - ID_FILE_MRU_FIRST < s.recentCount);
}

bool CheckShown(CheckMark check, const CommandState& s)
{
    if (s.processRunning) return false;
    switch (check) {
    case CHECK_QUERY_AUTO: return s.queryAutoSpeed;
    case CHECK_RESCUE: return s.rescueEnable;
    case CHECK_NONE: break;
    }
    return false;
}

}  // namespace

const std::vector<CommandInfo>& CommandTable() { return kCommands; }

const CommandInfo* FindCommand(int id)
{
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [id](const CommandInfo& c) { return c.id == id; });
    return it == kCommands.end() ? nullptr : &*it;
}

const std::vector<MenuInfo>& MainMenus() { return kMainMenus; }
const MenuInfo& ContextMenu() { return kContextMenu; }
const std::vector<MenuInfo>& ContextSubMenus() { return kContextSubMenus; }
const std::vector<int>& ToolbarButtons() { return kToolbar; }
const std::vector<ExtraShortcut>& ExtraShortcuts() { return kExtraShortcuts; }

CommandUi CommandEnabling(int id, const CommandState& state)
{
    for (const EnablingRow& row : kEnabling)
        if (row.id == id) return {NeedsMet(row.needs, id, state), CheckShown(row.check, state)};
    return {};
}

std::string CommandPrompt(int id)
{
    const std::string text = GetString(id);
    return text.substr(0, text.find('\n'));
}

std::string CommandToolTip(int id)
{
    const std::string text = GetString(id);
    const std::size_t cut = text.find('\n');
    return cut == std::string::npos ? std::string() : text.substr(cut + 1);
}
