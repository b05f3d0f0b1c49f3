#include "ui/editors/EditorCommands.h"

#include <QDir>

#include "app/Host.h"
#include "app/UpdateApp.h"
#include "model/ModelFiles.h"
#include "model/UpdateDoc.h"
#include "release/Import.h"
#include "ui/editors/EnvDefDlg.h"
#include "ui/editors/EnvListDlg.h"
#include "ui/editors/TransferDlg.h"

namespace {

const char* const kUntitled = "Untitled";

// The editing mode with edit rights, the view-only mode without them.
int ModeForRights(int editMode) { return App().m_bEditRights ? editMode : ENV_MODE_VIEW; }

bool RequestLoaded(const CUpdateDoc& doc) { return doc.m_bLinked && !doc.m_lines.empty(); }

int FirstLineEnvironment(const CUpdateDoc& doc) { return RequestLoaded(doc) ? doc.m_lines.front().m_nEnvIndex : -1; }

// Links a loaded request's lines again after g_envList was rebuilt. Lines
// that no longer link leave the request unloaded, so that no process runs
// on board indexes of the old list.
void RelinkLoadedRequest(CUpdateDoc& doc)
{
    if (RequestLoaded(doc))
        doc.m_bLinked = doc.LinkLines();
}

// Rebuilds g_envList. The relay chains of the lines point into the old
// list, so they go first; a loaded request is linked again.
void ReloadEnvironments(CUpdateDoc& doc, int mode)
{
    for (CBoardConf& line : doc.m_lines)
        line.m_hops.clear();
    ScanEnvironmentDirectory(mode);
    RelinkLoadedRequest(doc);
}

bool EnvironmentsDiffer(const std::vector<CEnvDef>& a, const std::vector<CEnvDef>& b)
{
    if (a.size() != b.size())
        return true;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].IsDifferent(b[i]))
            return true;
    return false;
}

}   // namespace

bool ExecRepairEnvironment(QWidget* parent, int mode, const CEnvDef& environment, int boardIndex)
{
    CEnvDefDlg dlg(mode, {environment}, 0, boardIndex, parent);
    return dlg.exec() == QDialog::Accepted && dlg.FilesChanged();
}

bool ExecChooseEnvironmentBoard(QWidget* parent, const std::vector<CEnvDef>& environments, int envIndex,
                                int& chosenEnv, int& chosenBoard)
{
    CEnvDefDlg dlg(ENV_MODE_CHOOSE_BOARD, environments, envIndex, -1, parent);
    if (dlg.exec() != QDialog::Accepted || dlg.SelectedEnvironment() < 0 || dlg.SelectedBoard() < 0)
        return false;
    chosenEnv = dlg.SelectedEnvironment();
    chosenBoard = dlg.SelectedBoard();
    return true;
}

bool RunNewRequestCommand(QWidget* parent, CUpdateDoc& doc)
{
    const std::string title = doc.GetTitle();
    doc.SetTitle(kUntitled);
    const std::vector<CBoardConf> none;
    CTransferDlg dlg(TRANSFER_MODE_NEW, g_envList, none, parent);
    if (dlg.exec() != QDialog::Accepted) {
        doc.SetTitle(title);
        return false;
    }
    // No path: the first Save asks where the new request goes.
    doc.SetPathName(std::string());
    doc.SetTitle(kUntitled);
    doc.SetModifiedFlag(true);
    doc.MarkTitleModified();
    doc.m_bLinked = 1;
    doc.m_lines = dlg.Lines();
    doc.m_bHasRelayed = doc.AnyRelayed() ? 1 : 0;
    return true;
}

bool RunViewContentCommand(QWidget* parent, CUpdateDoc& doc)
{
    if (!doc.LinkLines()) {
        doc.m_bLinked = 0;
        return false;
    }
    const int mode = App().m_bEditRights ? TRANSFER_MODE_EDIT : TRANSFER_MODE_VIEW;
    CTransferDlg dlg(mode, g_envList, doc.m_lines, parent);
    if (dlg.exec() != QDialog::Accepted || mode == TRANSFER_MODE_VIEW || !LinesDiffer(dlg.Lines(), doc.m_lines))
        return false;
    doc.SetModifiedFlag(true);
    doc.MarkTitleModified();
    doc.m_lines = dlg.Lines();
    doc.m_bHasRelayed = doc.AnyRelayed() ? 1 : 0;
    return true;
}

int RunImportCommand(const CUpdateDoc& doc)
{
    return ImportReleaseFile(RequestLoaded(doc) ? doc.m_lines.front().m_strReleaseFile : std::string());
}

void RunEnvironmentOpen(QWidget* parent, CUpdateDoc& doc, int envIndex, int boardIndex)
{
    const QString workingDir = QDir::currentPath();
    CEnvDefDlg dlg(ModeForRights(ENV_MODE_EDIT), g_envList, envIndex, boardIndex, parent);
    const bool ok = dlg.exec() == QDialog::Accepted;
    QDir::setCurrent(workingDir);
    if (ok)
        ReloadEnvironments(doc, ModeForRights(ENV_MODE_EDIT));
    else
        RelinkLoadedRequest(doc);
}

void RunEnvironmentOpenCommand(QWidget* parent, CUpdateDoc& doc)
{
    RunEnvironmentOpen(parent, doc, FirstLineEnvironment(doc), -1);
}

void RunEnvironmentListCommand(QWidget* parent, CUpdateDoc& doc)
{
    CEnvListDlg* list = nullptr;
    CEnvListDlg dlg(
        g_envList, FirstLineEnvironment(doc),
        [&doc, &list](int envIndex, int boardIndex) { RunEnvironmentOpen(list, doc, envIndex, boardIndex); },
        parent);
    list = &dlg;
    dlg.exec();
    if (App().m_bEditRights && EnvironmentsDiffer(g_envList, dlg.Environments()))
        ReloadEnvironments(doc, ENV_MODE_EDIT);
}

bool RunSetDirectoryCommand(QWidget* /*parent*/, CUpdateDoc& doc)
{
    std::string dir = App().m_strEnvDir;
    if (!Host().PromptDirectory(dir))
        return false;
    dir = DirectoryWithSlash(dir);
    if (dir.empty() || dir == DirectoryWithSlash(App().m_strEnvDir))
        return false;
    App().m_strEnvDir = dir;
    App().SaveSettings();
    ReloadEnvironments(doc, ScanModeForRights());
    return true;
}
