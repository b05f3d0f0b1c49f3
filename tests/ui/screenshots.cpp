// tavrel-screenshots OUTDIR: pictures of the desktop program for the README.
// Runs the main window against tavrel-sim on a real display (make screenshots
// runs it under Xvfb): the window idle, a Query with its Reply dialog, a
// Transfer in its data phase and its wait dialog, the end report, the About
// box, the start-up picture, the link's windows and the editors, each
// written as OUTDIR/<name>.png.
#include <QApplication>
#include <QDir>
#include <QTimer>

#include <iostream>
#include <set>

#include "GuiSession.h"
#include "ui/AboutDlg.h"
#include "ui/ReplyDlg.h"
#include "ui/SplashScreen.h"
#include "ui/UpdateView.h"
#include "ui/WaitDlg.h"
#include "ui/editors/EditorCommands.h"
#include "ui/link/LinkDialogs.h"

namespace {

constexpr int kProcessTimeoutMs = 120000;
constexpr long kDataPhaseBlock = 150;   // grab the data phase once this far in

class CPhotographer {
public:
    explicit CPhotographer(const QString& dir) : m_dir(dir) {}
    void Take(QWidget& widget, const QString& name)
    {
        if (m_taken.count(name)) return;
        QApplication::processEvents();
        const QString path = m_dir.filePath(name + ".png");
        if (widget.grab().save(path)) {
            m_taken.insert(name);
            std::cout << "screenshots: " << path.toStdString() << "\n";
        } else {
            std::cerr << "screenshots: cannot write " << path.toStdString() << "\n";
        }
    }
    bool Has(const QString& name) const { return m_taken.count(name) != 0; }
    std::size_t Count() const { return m_taken.size(); }

private:
    QDir m_dir;
    std::set<QString> m_taken;
};

void Press(CMainFrame& frame, Qt::Key key)
{
    QApplication::setActiveWindow(&frame);
    QTimer::singleShot(0, &frame, [&frame, key] { QTest::keyClick(&frame, key, Qt::ControlModifier); });
}

bool RunAndWatch(CGuiSession& session, Qt::Key key, const std::function<void()>& watch)
{
    QTimer timer;
    bool started = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        started |= !session.Idle();
        watch();
    });
    timer.start(20);
    Press(session.Frame(), key);
    return QTest::qWaitFor([&] { return started && session.Idle(); }, kProcessTimeoutMs);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: tavrel-screenshots OUTDIR\n";
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    CPhotographer camera(outDir);

    CGuiSession session;
    std::string error;
    if (!session.Start(error)) {
        std::cerr << "screenshots: " << error << "\n";
        return 1;
    }
    CMainFrame& frame = session.Frame();
    QTest::qWait(300);
    camera.Take(frame, "main-idle");

    // A Query: the Reply dialog with the answer of both boards.
    RunAndWatch(session, Qt::Key_Q, [] {});
    if (CReplyDlg* reply = session.Host().ReplyDialog()) {
        camera.Take(*reply, "reply-dialog");
        reply->close();
    }

    // A Transfer of the demo request: the data phase, a wait, the end report.
    if (!frame.OpenDocument(session.RequestPath())) {
        std::cerr << "screenshots: the demo request does not open\n";
        return 1;
    }
    session.Operator().onBox = [&](QMessageBox& box) {
        if (box.text().contains("Transfer completed")) camera.Take(box, "end-report");
    };
    RunAndWatch(session, Qt::Key_T, [&] {
        CUpdateView& view = frame.View();
        if (frame.Engine().m_nStep == 26 && view.ControlText(IDC_BLOCKS).trimmed().section(' ', 0, 0).toLong() >=
                                                kDataPhaseBlock)
            camera.Take(frame, "main-transfer");
        if (CWaitDlg* wait = session.Host().WaitDialog(); wait && wait->isVisible()) camera.Take(*wait, "wait-dialog");
    });

    CAboutDlg about(&frame);
    about.show();
    QTest::qWait(200);
    camera.Take(about, "about-box");
    about.close();

    auto* splash = new CSplashScreen(&frame);
    splash->ShowCentred();
    QTest::qWait(200);
    camera.Take(*splash, "splash");
    splash->close();

    // The link's windows and the editors, each with sample content.
    GrabLinkDialogs(outDir);
    GrabEditorDialogs(outDir);

    const char* const expected[] = {"main-idle", "reply-dialog", "main-transfer", "wait-dialog", "end-report",
                                    "about-box", "splash"};
    int missing = 0;
    for (const char* name : expected) {
        if (camera.Has(name)) continue;
        std::cerr << "screenshots: no picture of " << name << "\n";
        ++missing;
    }
    return missing == 0 ? 0 : 1;
}
