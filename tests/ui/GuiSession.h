#pragma once
// A desktop session against tavrel-sim, for the end-to-end GUI tests and the
// screenshot tool: the demo's environment, request and releases (written by
// scripts/demo-lib.sh), a simulator behind a pseudo-terminal mapped to COM1,
// the application started on those settings, the main window with the Qt
// host, and an operator that answers message boxes as they open.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Host.h"
#include "app/UpdateApp.h"
#include "common/SimProcess.h"
#include "common/TempDir.h"
#include "engine/ProcessEngine.h"
#include "ui/MainFrame.h"
#include "ui/QtHost.h"

// Answers every message box that opens (OK, Yes or Retry; else its escape
// button) and keeps its caption and text.
class CBoxOperator : public QObject {
public:
    struct Box {
        std::string caption;
        std::string text;
    };
    static constexpr int kPollMs = 20;

    CBoxOperator()
    {
        m_timer.setInterval(kPollMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { AnswerOpenBox(); });
        m_timer.start();
    }
    const std::vector<Box>& Boxes() const { return m_boxes; }
    bool Saw(const std::string& text) const
    {
        for (const Box& box : m_boxes)
            if (box.text.find(text) != std::string::npos) return true;
        return false;
    }
    // Called with each box before it is answered (the screenshot tool grabs it).
    std::function<void(QMessageBox&)> onBox;
    // While paused, boxes are left to the test.
    void Pause(bool paused) { m_bPaused = paused; }

private:
    void AnswerOpenBox()
    {
        if (m_bPaused) return;
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        m_boxes.push_back({box->windowTitle().toStdString(), box->text().toStdString()});
        if (onBox) onBox(*box);
        for (auto which : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Retry}) {
            if (QAbstractButton* button = box->button(which)) {
                button->click();
                return;
            }
        }
        if (box->escapeButton()) box->escapeButton()->click();
    }

    QTimer m_timer;
    std::vector<Box> m_boxes;
    bool m_bPaused = false;
};

class CGuiSession {
public:
    static inline const std::string kBin = TAVREL_BINARY_DIR "/src/";

    // Extra settings lines, in their sections, before Start().
    std::vector<std::string> miscSettings = {"Auto speed min. range=9600", "Auto speed max. range=115200",
                                             "Rescue enable=NO", "Reserved 3=2",
                                             "Show the communications box=NO"};

    // Options of the simulator beside its files (for example "--pace").
    std::vector<std::string> simOptions;

    // Changes the demo receiver before the simulator starts.
    std::function<void(nlohmann::json&)> editReceiver;

    // Files, simulator, settings, main window. False with `error` set on failure.
    bool Start(std::string& error)
    {
        if (!m_dir.Ok()) return Fail(error, "no temporary directory");
        const std::string script = std::string(TAVREL_SOURCE_DIR) + "/scripts/demo-lib.sh";
        const std::string command = "work='" + m_dir.Path() + "' cli='" + kBin + "tavrel-cli' sim='" + kBin +
                                    "tavrel-sim' bash -c '. \"" + script + "\" && demo_files' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return Fail(error, "scripts/demo-lib.sh failed");
        if (editReceiver) {
            nlohmann::json receiver = nlohmann::json::parse(ReadFile(m_dir.File("receiver.json")), nullptr, false);
            if (receiver.is_discarded()) return Fail(error, "the demo receiver is not JSON");
            editReceiver(receiver);
            m_dir.Write("receiver.json", receiver.dump(2));
        }
        std::string ready;
        std::vector<std::string> simArgs = {"--receiver", m_dir.File("receiver.json"), "--image-dir",
                                            m_dir.File("images"), "--stats", m_dir.File("sim-stats.json"),
                                            "--log", m_dir.File("sim.log")};
        simArgs.insert(simArgs.end(), simOptions.begin(), simOptions.end());
        if (!m_sim.Start(kBin + "tavrel-sim", simArgs, ready, 5000) ||
            ready.rfind("ready ", 0) != 0)
            return Fail(error, "tavrel-sim did not start: " + ready);
        m_tty = ready.substr(6);
        WriteSettings();
        SetHost(&m_host);
        if (!App().StartUpCore(m_dir.File("config"), m_dir.File("Tavrel.log")))
            return Fail(error, "start-up failed");
        // The history of the session's processes stays in its directory.
        App().m_strHistoryPath = m_dir.File("history.sqlite");
        m_frame = std::make_unique<CMainFrame>(m_host);
        m_frame->show();
        m_frame->activateWindow();
        return true;
    }

    ~CGuiSession()
    {
        m_frame.reset();
        SetHost(nullptr);
        m_sim.Stop();
    }

    CMainFrame& Frame() { return *m_frame; }
    CQtHost& Host() { return m_host; }
    CBoxOperator& Operator() { return m_operator; }
    const CTempDir& Dir() const { return m_dir; }
    std::string RequestPath() const { return m_dir.File("request/demo.sfl"); }

    bool Idle() const { return m_frame->Engine().IsIdle() && !m_frame->Engine().IsRunning(); }
    // Waits until the process that runs has ended.
    bool WaitIdle(int timeoutMs) { return QTest::qWaitFor([this] { return Idle(); }, timeoutMs); }

    std::string Log() const { return ReadFile(m_dir.File("Tavrel.log")); }
    // The simulator's image of `board` holds the demo release of the same name.
    bool ImageEqualsRelease(const std::string& board, const std::string& lower) const
    {
        const std::string image = m_dir.File("images/" + board + ".srec");
        const std::string bin = m_dir.File(lower + "-image.bin");
        const std::string command = "objcopy -I srec -O binary '" + image + "' '" + bin + "' && cmp -s '" + bin +
                                    "' '" + m_dir.File(lower + ".bin") + "'";
        return std::system(command.c_str()) == 0;
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    static bool Fail(std::string& error, const std::string& why)
    {
        error = why;
        return false;
    }

    void WriteSettings()
    {
        std::string ini = "[Paths]\nProducts files=" + m_dir.Path() + "/env/\n";
        ini += "[Times out]\nBetween 2 write (ms.)=0\n[Miscellaneous]\n";
        for (const std::string& line : miscSettings) ini += line + "\n";
        ini += "[Ports]\nCOM1=" + m_tty + "\n";
        m_dir.Write("config/Tavrel.ini", ini);
    }

    CTempDir m_dir;
    CSimProcess m_sim;
    std::string m_tty;
    CQtHost m_host;
    CBoxOperator m_operator;
    std::unique_ptr<CMainFrame> m_frame;
};
