// Pictures of the editors with realistic content, for the documentation.
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>

#include "app/UpdateApp.h"
#include "model/ModelFiles.h"
#include "ui/editors/BoardConfDlg.h"
#include "ui/editors/BoardDefDlg.h"
#include "ui/editors/EditorCommands.h"
#include "ui/editors/EnvDefDlg.h"
#include "ui/editors/EnvListDlg.h"
#include "ui/editors/NewEnvDlg.h"
#include "ui/editors/TransferDlg.h"

namespace {

CBoardDef SampleBoard(const char* name, const char* id, const char* hardw, const char* boot, int progId,
                      bool relayed, int destination, int parent, int maxSpeed)
{
    CBoardDef b;
    b.m_strName = name;
    b.m_strSubassyId = id;
    b.m_strSubassyHardw = hardw;
    b.m_strBootLoader = boot;
    b.m_strBrowseFilter = "*.s";
    b.m_nProgId = progId;
    b.m_bRelayed = relayed ? 1 : 0;
    b.m_nDestination = destination;
    b.m_nProcessing = 0;
    b.m_nMaxSpeed = maxSpeed;
    b.m_nParentBoard = parent;
    b.m_nEraseTimeout = 60;
    b.m_nRestartTimeout = 30;
    b.m_nSaveSpeed = SAVE_SPEED_CHECKED;
    return b;
}

// The environment directory of the run, or a typical one.
std::string SampleDirectory()
{
    return App().m_strEnvDir.empty() ? std::string("/home/operator/.local/share/tavrel/Products/")
                                     : DirectoryWithSlash(App().m_strEnvDir);
}

std::vector<CEnvDef> SampleEnvironments()
{
    CEnvDef receiver;
    receiver.SetBoards("Receiver R7", {SampleBoard("CPU main", "CM", "10,12", "CMB2", 1, false, 0, -1, 7),
                                       SampleBoard("GPS engine", "GP", "4", "GPB1", 2, true, 1, 0, 5),
                                       SampleBoard("Signal DSP", "DS", "2", "DSB1", 3, true, 9, 0, -1),
                                       SampleBoard("Control unit", "UC", "1", "UCB1", 4, true, 2, 0, 3)});
    receiver.m_strFilePath = SampleDirectory() + "receiver-r7.def";
    CEnvDef bench;
    bench.SetBoards("Bench", {SampleBoard("Test board", "TB", "1", "TBB1", 1, false, 0, -1, 7)});
    bench.m_strFilePath = SampleDirectory() + "bench.def";
    return {receiver, bench};
}

CBoardConf SampleLine(const CEnvDef& env, int board, const char* release, const char* softId, int speed)
{
    CBoardConf line;
    line.m_nEnvIndex = 0;
    line.m_strEnvName = env.m_strName;
    line.m_nBoardIndex = board;
    line.m_strBoardName = env.m_boards[static_cast<size_t>(board)].m_strName;
    line.m_strSubassyHardw = env.m_boards[static_cast<size_t>(board)].m_strSubassyHardw;
    line.m_strReleaseFile = release;
    line.m_strSoftId = softId;
    line.m_nTransferSpeed = speed;
    line.m_nConfigSpeed = speed;
    line.m_bBoardAlone = env.m_boards[static_cast<size_t>(board)].m_bRelayed ? 0 : 1;
    return line;
}

void Grab(QWidget& dialog, const QString& dir, const char* name)
{
    dialog.show();
    QCoreApplication::processEvents();
    dialog.grab().save(QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png")));
    dialog.hide();
}

}   // namespace

void GrabEditorDialogs(const QString& dir)
{
    QDir().mkpath(dir);
    const std::vector<CEnvDef> envs = SampleEnvironments();
    const CEnvDef& receiver = envs.front();
    const std::vector<CBoardConf> lines = {SampleLine(receiver, 0, "cpu_v31.s", "CM31", 7),
                                           SampleLine(receiver, 1, "gps_v12.s", "GP12", 5)};

    CBoardDefDlg boardDef(ENV_MODE_EDIT, receiver, 1, -1);
    Grab(boardDef, dir, "board-definition");
    CBoardConfDlg boardLine(receiver);
    boardLine.SetLine(lines[1]);
    Grab(boardLine, dir, "transfer-board-parameters");
    CTransferDlg transfer(TRANSFER_MODE_EDIT, envs, lines);
    Grab(transfer, dir, "transfer-request");
    CEnvDefDlg environment(ENV_MODE_EDIT, envs, 0, -1);
    environment.List()->SelectRow(1);
    Grab(environment, dir, "environment-definition");
    CEnvListDlg list(envs, 0, {});
    Grab(list, dir, "environment-list");
    CNewEnvDlg newEnv;
    newEnv.NameEdit()->setText(QStringLiteral("Receiver R8"));
    Grab(newEnv, dir, "new-environment");
}
