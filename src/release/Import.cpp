#include "release/Import.h"

#include "app/Host.h"
#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "release/ContentSniff.h"

namespace {

constexpr int MSG_FILE_NOT_FOUND = 6;
constexpr int MSG_UNKNOWN_FORMAT = 10;
constexpr int MSG_CHOOSE_RELEASE = 24;
constexpr int MSG_NO_DISK_SPACE = 16;
constexpr int MSG_BAD_LOCAL_FILE = 17;
constexpr int MSG_READ_ERROR = 18;
constexpr int MSG_ABORTED_BY_USER = 44;
constexpr int MSG_UNKNOWN_ERROR = 46;
constexpr int MSG_CONVERTED = 48;
constexpr int MSG_ALREADY_CONVERTED = 50;
constexpr int MSG_START_CONVERTING = 51;
constexpr int CAPTION_IMPORT = 143;
constexpr int TEXT_NONE = 161;
constexpr int IMPORT_NO_READER = -4;

std::string FileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Quoted(const std::string& text)
{
    std::string quoted(1, '"');
    quoted.append(text);
    quoted.push_back('"');
    return quoted;
}

std::string VleLine(const std::string& vlePath) { return FormatText("(%s)\r\n", {vlePath}); }

// The message and outcome of an import code.
void DescribeResult(ImportOutcome& out, const std::string& path)
{
    out.success = out.code == CONVERT_OK || out.code == IMPORT_ALREADY_CONVERTED;
    switch (out.code) {
    case CONVERT_OK:
        out.message = GetString(MSG_CONVERTED) + VleLine(out.vlePath);
        break;
    case IMPORT_ALREADY_CONVERTED:
        out.message = FormatString(MSG_ALREADY_CONVERTED, {path}) + VleLine(out.vlePath);
        break;
    case CONVERT_NO_SPACE: out.message = GetString(MSG_NO_DISK_SPACE); break;
    case CONVERT_BAD_FORMAT:
    case IMPORT_UNKNOWN_FORMAT: out.message = FormatString(MSG_UNKNOWN_FORMAT, {path}); break;
    case IMPORT_NOT_OPENED: out.message = FormatString(MSG_FILE_NOT_FOUND, {path}); break;
    case CONVERT_VLE_ERROR: out.message = GetString(MSG_BAD_LOCAL_FILE); break;
    case CONVERT_READ_ERROR: out.message = GetString(MSG_READ_ERROR); break;
    case CONVERT_ABORTED: out.message = GetString(MSG_ABORTED_BY_USER); break;
    default: out.message = GetString(MSG_UNKNOWN_ERROR); break;
    }
}

// Opens the reader of `type` on the file and converts it unless it is up to date.
int ConvertWithReader(int type, const std::string& path, CProgressIndicator* progress, ImportOutcome& out)
{
    std::unique_ptr<CFileBase> reader = CreateReader(type);
    if (!reader)
        return IMPORT_NO_READER;   // reported as an unknown error
    reader->SetSource(path, progress);
    if (!reader->OpenRelease())
        return IMPORT_NOT_OPENED;
    out.vlePath = VlePathFor(path);
    int code = IMPORT_ALREADY_CONVERTED;
    if (!reader->IsConverted()) {
        code = reader->ConvertToVle();
        out.packed = reader->Packing();
    } else {
        reader->Recognise();   // what the format name tells without reading the data
        out.packed = reader->VleIsPacked();
    }
    out.format = reader->FormatName();
    out.problem = reader->Problem();
    reader->Close();
    return code;
}

void ResetView()
{
    Host().SetOverallProgress(0, 100);
    Host().SetActivityBlink(false);
    Host().SetFileNameText(GetString(TEXT_NONE));
}

}  // namespace

std::string SharedVleText(const std::string& releasePath, const std::vector<std::string>& others)
{
    if (others.empty())
        return {};
    std::string text = Quoted(FileNameOf(releasePath));
    for (size_t i = 0; i < others.size(); ++i) {
        text.append(i + 1 == others.size() ? " and " : ", ");
        text.append(Quoted(others[i]));
    }
    text.append(" share one .vle file (");
    text.append(FileNameOf(VlePathFor(releasePath)));
    text.append("): it is made again at every conversion.\r\n");
    return text;
}

void CViewProgress::SetPos(int percent) { Host().SetOverallProgress(percent, 100); }

ImportOutcome ImportReleasePath(const std::string& path, CProgressIndicator* progress, bool showBox,
                                bool forceRaw)
{
    ImportOutcome out;
    Host().SetActivityBlink(true);
    App().WriteLogNote(FormatString(MSG_START_CONVERTING, {path}));

    const ReleaseRecognition recognition = RecogniseRelease(path, forceRaw);
    const int type = recognition.type;
    if (type == IMPORT_NO_FILE) {
        out.code = IMPORT_NO_FILE;
        ResetView();   // the indicator turned on above must not keep blinking
        return out;
    }
    if (type < 0) {
        out.code = IMPORT_UNKNOWN_FORMAT;
        out.problem = recognition.refusal;
        if (!out.problem.empty())
            App().WriteLogNote(Quoted(path) + ": " + out.problem + "\r\n");
    } else {
        Host().SetFileNameText(FileNameOf(path));
        out.code = ConvertWithReader(type, path, progress, out);
    }
    DescribeResult(out, path);
    if (type >= 0) {
        out.sharing = ReleasesSharingVle(path);
        out.message += SharedVleText(path, out.sharing);
    }

    App().WriteLogNote(out.message);
    if (showBox)
        ShowMessage(out.message, CAPTION_IMPORT, MB_OK_ONLY, out.success ? ICON_INFORMATION : ICON_STOP);
    ResetView();
    return out;
}

int ImportReleaseFile(const std::string& initialName)
{
    // The prompt starts in the request's folder ("Last SFL path"), where the
    // release files of a request are looked for.
    std::string path = initialName;
    if (!Host().PromptFileName(GetString(MSG_CHOOSE_RELEASE), path, "", "", App().m_strLastSflPath, true))
        return 0;
    CViewProgress progress;
    return ImportReleasePath(path, &progress, true).success ? 1 : 0;
}
