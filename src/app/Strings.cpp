// The string table: one row per numbered message, in id order. Texts are
// UTF-8 and exact, CR LF and odd spacing included; callers format them.
#include "app/Strings.h"

#include <algorithm>
#include <iterator>

namespace {

struct StringRow {
    int id;
    const char* text;
};

constexpr StringRow kStrings[] = {
    {6, " \"%s\" file not found.\r\n"},
    {7, "Communication is impossible.\r\n"},
    {8, "Communication error"},
    {10, "Format of \"%s\" file is unknown.\r\n"},
    {11, "Query error"},
    {12, "Reception time-out (see log file)\r\n"},
    {13, "Same board selected several times."},
    {14, "Process was aborted due to invalid reception. . \r\n(see log file)\r\n"},
    {16, "Not enough disk space.\r\nProcess aborted.\r\n"},
    {17, "Erroneous local file.\r\nProcess aborted.\r\n"},
    {18, "Error reading file.\r\nProcess aborted.\r\n"},
    {19, "Too many errors.\r\nProcess aborted.\r\n"},
    {22, "Process aborted.\r\n"},
    {23, "Continue ?"},
    {24, "Choose a release file"},
    {26, "Save an environment definition file"},
    {27, "!! \"%s\" file will be erased.\r\n"},
    {28, "Error"},
    {30, "Warning"},
    {31, "Are you sure ?"},
    {32, "The environment definition has been modified.\r\nDo you want to save it ?\r\n"},
    {33, "The connected device is not the expected one.\r\n(see log file)\r\n"},
    {35, "Can't remove \"'%s\" file.\r\n"},
    {36, "Error erasing memory.\r\nSee log file)\r\n"},
    {37, "Error reading \"%s\" file.\r\n"},
    {39, "Cannot find \"%s\" board in the \"%s\" environment used in the sfl file.\r\n"},
    {40, "Would you like to link it to another environment? \r\n"},
    {42, "Transfer completed successfully."},
    {43, "End of transfer"},
    {44, "!! Process aborted by the user.\r\n"},
    {45, "Cannot find the requested data block.\r\n(see log file)\r\n"},
    {46, "Unknown error.\r\n"},
    {47, "The '%s' board will not be updated.\r\n"},
    {48, "Translation completed successfully.\r\n"},
    {49, "Are you sure you want to abort  the process ?\r\n"},
    {50, "\"%s\" file is already converted.\r\n"},
    {51, "\r\nStart converting \"%s\" file.\r\n"},
    {52, "Incorrect message.\r\n"},
    {53, "Erasing in progress."},
    {54, "Enabling rescue mode"},
    {55, "Error sending data.\r\n"},
    {56, "Fatal error.\r\n"},
    {57, "Unable to open the port. \r\n"},
    {58, "! Timer resource error.\r\n"},
    {59, "Re-start in progress"},
    {60, "The imported files directory does not exist !\r\n"},
    {61, "Operation completed, anomalous event(s) detected"},
    {63, "The 'Name' field is not correctly filled"},
    {64, "The \"Subassy ID\" field is not correctly filled."},
    {65, "The \"Subassy hardw.\" field is not correctly filled."},
    {66, "The \"Boot loader\" field is not correctly filled."},
    {67, "The \"Progr.ID\" field is not correctly filled."},
    {68, "The \"Max speed\" field is not correctly filled."},
    {69, "The \"Destination\" field is not correctly filled."},
    {70, "The \"Processing' field is not correctly filled."},
    {72, "The \"Parent board\" field is not correctly filled."},
    {73, "All the boards must belong to the same environment .\r\n(\"%s\" board belongs to \"%s\" environment)\r\n"},
    {74, "Open a transfer request file"},
    {75, "Changes will be lost.\r\n"},
    {76, "Waiting checksum message in progress."},
    {77, "Select a board"},
    {78, "The transfer baud rate is too high.\r\nIt will be set to the maximum speed found in this board definition.\r\n"},
    {79, "The config. baud rate is too high.\r\nIt will be set to the maximum speed found in this board definition.\r\n"},
    {80, "Tranfer board parameters have been modified !"},
    {81, "The \"Release file name\" field is not correctly filled."},
    {82, "The \"Soft identification\" field is not correctly filled."},
    {87, "Transfer mode request denied !\r\n"},
    {88, "End-of-transfer mode error !\r\n"},
    {89, "A fault was detected in the parent board of the \"%s\" board.\r\n"},
    {90, "Environment definition"},
    {91, "A modification is required in the \"%s\" environment file"},
    {92, "Invalid environnment file \"%s\""},
    {93, "Unable to communicate with your remote system.\n"},
    {94, "Transfer"},
    {95, "Query"},
    {96, "Not found at re-start.\r\n"},
    {97, "OK\r\n"},
    {98, "'%s'    :  "},
    {99, "Not updated.\r\n"},
    {100, "No environment definition file has been found in the directory '%s' .\n(Use the environment directory command) \n"},
    {101, "Transfer aborted by the user.\r\n"},
    {102, "Unknown result.\r\n"},
    {103, "%4d Mb"},
    {104, "New release soft not found at re-start.\r\n"},
    {105, "Unavailable"},
    {106, "Waiting ..."},
    {107, "Nom"},
    {108, "Identification"},
    {109, "\"Boot\""},
    {110, "Code"},
    {111, "Relayed"},
    {112, "Dest."},
    {113, "Filter"},
    {114, "Max."},
    {115, "Yes"},
    {116, "No"},
    {117, "Unused"},
    {118, "Board"},
    {119, "Soft version"},
    {120, "Restart"},
    {121, "Baud rate"},
    {122, "Alone"},
    {123, "The \"Save transfer speed\" field is not correctly filled."},
    {124, "File name"},
    {125, "Hardware"},
    {126, "Software"},
    {127, "Port"},
    {128, "Restoring baud rate ..."},
    {129, "Can't correctly restore all the serial parameters.\r\n"},
    {130, "incorrect serial parameters.\r\n"},
    {131, "%ld minutes remaining"},
    {132, "%ld seconds remaining"},
    {133, "Connected system"},
    {134, "%5ld retries"},
    {135, "%5ld blocks"},
    {136, "The non-relayed \"%s\" board  is not found, updating is impossible.\r\n"},
    {137, "The relayed \"%s\" board  attached to \"%s\" is not found, updating is impossible.\r\n"},
    {138, "The \"Board alone\" field is incompatible with the board definition."},
    {139, "The \"Board alone\" field of \"%s\" board will be modified due to \"%s\" environment.\r\n"},
    {140, "Time out waiting for checksum message.\r\n"},
    {141, "Incorrect checksum message.\r\n(see log file)\r\n"},
    {142, "Checksum error (%s/%s)\r\n"},
    {143, "Import process"},
    {144, "The \"%s\" board does not support the rescue mode !"},
    {148, "Switching to rescue mode"},
    {149, "Click Ok then switch the receiver off \nthen switch it back on"},
    {150, "Min. baud rate and Max. baud rate are incompatible values !"},
    {153, "Communication is impossible.\r\nDo you want to retry in rescue mode ?\r\n"},
    {154, "Query auto configure"},
    {155, "\"%s\" board error"},
    {156, "Untitled.def"},
    {157, "Transfer Files (*.sfl)"},
    {158, "*.sfl"},
    {159, "Definition Files (*.def)"},
    {160, "*.def"},
    {161, "none"},
    {162, "!! Fields marked with * are used to determine board definitions contained in Sfl files. \nIf these fields are modified, the corresponding Sfl files will have to be modified as well."},
    {163, "Note that the release file must be at the same location as the SFL file.\n"},
    {164, "The '%s' environment described in the '%s' file already exists, it will not be loaded.\n"},
    {165, "%dmin %ds"},
    {166, "%dmin"},
    {167, "%ds"},
    {168, "The %s file %s is not compatible.\r\n"},
    {169, "(Unknown version)"},
    {178, "Transfer failed (see log file).\r\n"},
    {32768, "Set communications parameters.\nCommunications"},
    {32770, "Query hardware identification and software revision.\nQuery"},
    {32775, "Transfer the software new release.\nStart transfer"},
    {32784, "View file content.\nFile content"},
    {32786, "Open the environment definition files.\nOpen environments"},
    {32789, "List available environments.\nList available environments"},
    {32792, "Set the definition files (*.def) directory."},
    {32795, "Set communication parameters of a board."},
    {32798, "View current log file.\nOpen log file"},
    {32852, "Convert a release file into a '.vle' file."},
    {32862, "Starts to set the connected board in Rescue mode\nRescue"},
    {32864, "Enable/disable query auto-configure"},
    {32865, "Enable/disable rescue mode."},
    {32870, "Show the record of every load: which board got which release, when and how it ended.\nTransfer history"},
    {57345, "Ready"},
    {57600, "Create a new transfer request file.\nNew transfer request file"},
    {57601, "Open a transfer request file.\nOpen a transfer request file"},
    {57603, "Save the active transfer request file."},
    {57604, "Save the active transfer request file with a new name.\nSave transfer request file"},
    {57612, "Send log file to mail recipient\nSend log file to mail recipient"},
    {57616, "Open this transfer request file."},
    {57617, "Open this transfer request file."},
    {57618, "Open this transfer request file."},
    {57619, "Open this transfer request file."},
    {57664, "Display the program information and copyright\nAbout"},
    {57665, "Close the active window and prompt saving the transfer request file"},
    {59137, "CAP"},
    {59138, "NUM"},
    {59139, "SCRL"},
    {61442, "All Files (*.*)"},
    {61840, "Unable to load mail system support."},
    {61841, "Mail system DLL is invalid."},
    {61842, "Send Mail failed to send message."},
};

constexpr bool IsSortedById()
{
    for (std::size_t i = 1; i < std::size(kStrings); ++i)
        if (kStrings[i - 1].id >= kStrings[i].id) return false;
    return true;
}
static_assert(IsSortedById(), "string table rows must be in strictly increasing id order");

const StringRow* FindRow(int id)
{
    const auto* end = std::end(kStrings);
    const auto* row = std::lower_bound(std::begin(kStrings), end, id,
                                       [](const StringRow& r, int key) { return r.id < key; });
    return (row != end && row->id == id) ? row : nullptr;
}

}  // namespace

std::string GetString(int id)
{
    const StringRow* row = FindRow(id);
    return row ? std::string(row->text) : std::string();
}

std::string GetOneLineString(int id)
{
    std::string text = GetString(id);
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool HasString(int id)
{
    return FindRow(id) != nullptr;
}
