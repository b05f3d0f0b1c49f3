// tavrel-bench-gui-transfer CONFIG_DIR LOG REQUEST.sfl: one transfer of a
// request through the desktop program's main window and Qt host (offscreen
// by default), answering the end report, then exit: 0 when every board line
// ended OK. bench/line/run.sh times it beside tavrel-cli.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <iostream>

#include "app/Host.h"
#include "app/UpdateApp.h"
#include "engine/EngineTypes.h"
#include "engine/ProcessEngine.h"
#include "model/UpdateDoc.h"
#include "ui/Commands.h"
#include "ui/MainFrame.h"
#include "ui/QtHost.h"

namespace {
constexpr int kBoxPollMs = 50;

// The operator at the end: OK on every box.
void AnswerBoxes(QTimer& timer)
{
    QObject::connect(&timer, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible() && box->button(QMessageBox::Ok)) box->button(QMessageBox::Ok)->click();
    });
    timer.start(kBoxPollMs);
}
}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::cerr << "usage: tavrel-bench-gui-transfer CONFIG_DIR LOG REQUEST.sfl\n";
        return 2;
    }
    CQtHost host;
    SetHost(&host);
    if (!App().StartUpCore(argv[1], argv[2])) return 1;
    int code = 1;
    {
        CMainFrame frame(host);
        frame.show();
        if (!frame.OpenDocument(argv[3])) return 1;
        QTimer boxes;
        AnswerBoxes(boxes);
        QTimer::singleShot(0, &frame, [&frame] { frame.RunCommand(ID_TRANSFER); });
        QTimer idle;
        QObject::connect(&idle, &QTimer::timeout, [&] {
            if (!frame.Engine().IsIdle() || frame.Engine().IsRunning()) return;
            bool allOk = !frame.Document().m_lines.empty();
            for (const CBoardConf& line : frame.Document().m_lines) allOk &= line.m_nResult == RESULT_OK;
            code = allOk ? 0 : 1;
            QApplication::quit();
        });
        QTimer::singleShot(500, [&idle] { idle.start(100); });
        QApplication::exec();
    }
    SetHost(nullptr);
    return code;
}
