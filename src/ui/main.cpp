// tavrel: the desktop program. Start-up: one copy per desktop, the
// application object (settings, log, edit rights), the main window with its
// document (empty, or the request named on the command line, whose transfer
// then starts by itself), the start-up picture; shutdown saves the settings.
#include <QApplication>
#include <QFileInfo>
#include <QScreen>

#include <csignal>
#include <iostream>
#include <string>

#include "app/BuildVersion.h"
#include "app/CommandLine.h"
#include "app/ExitSignals.h"
#include "app/Host.h"
#include "app/UpdateApp.h"
#include "app/Version.h"
#include "ui/Artwork.h"
#include "ui/MainFrame.h"
#include "ui/QtHost.h"
#include "ui/SingleInstance.h"
#include "ui/Sounds.h"
#include "ui/SplashScreen.h"

namespace {

constexpr int kStartSound = 176;
constexpr int kExitSound = 179;
constexpr int kExitSoundMs = 500;   // lets the shutdown sound start before the program ends

const char* const kUsage =
    "usage: tavrel [--config-dir DIR] [--log FILE] [--history FILE] [request.sfl]\n"
    "       tavrel --help | --version\n"
    "  --config-dir DIR  settings directory (Tavrel.ini); default $TAVREL_HOME,\n"
    "                    else $XDG_CONFIG_HOME/tavrel\n"
    "  --log FILE        log file; default $XDG_STATE_HOME/tavrel/Tavrel.log\n"
    "  --history FILE    history of runs; default $XDG_DATA_HOME/tavrel/history.sqlite\n"
    "  request.sfl       a transfer request: opened and transferred at once\n";

struct Options {
    std::string configDir;
    std::string logPath;
    std::string historyPath;
    std::string request;
};

// Takes the value of option `name` at args[i] ("--name VALUE" or
// "--name=VALUE"): 1 taken, 0 not this option, -1 value missing.
int TakeValue(const QStringList& args, int& i, const char* name, std::string& target)
{
    const QString word = args[i];
    const QString option = QString::fromLatin1(name);
    if (word == option) {
        if (i + 1 >= args.size()) return -1;
        target = args[++i].toStdString();
        return 1;
    }
    if (word.startsWith(option + "=")) {
        target = word.mid(option.size() + 1).toStdString();
        return 1;
    }
    return 0;
}

// Our two options take a value; other words beginning with '-' are switches
// of the toolkit; the first other word names the request.
bool ParseOptions(const QStringList& args, Options& opts)
{
    for (int i = 1; i < args.size(); ++i) {
        int taken = TakeValue(args, i, "--config-dir", opts.configDir);
        if (taken == 0) taken = TakeValue(args, i, "--log", opts.logPath);
        if (taken == 0) taken = TakeValue(args, i, "--history", opts.historyPath);
        if (taken < 0) {
            std::cerr << "tavrel: " << args[i].toStdString() << " needs a value\n";
            return false;
        }
        if (taken > 0) continue;
        if (!args[i].startsWith('-') && opts.request.empty())
            opts.request = args[i].toStdString();
    }
    return true;
}

enum TextRequest { TEXT_NONE, TEXT_HELP, TEXT_VERSION };

// --help and --version are answered before the toolkit starts, so they work
// without a display.
TextRequest AsksForText(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--config-dir" || word == "--log" || word == "--history") ++i;   // their value is not an option
        else if (word == "--help" || word == "-h") return TEXT_HELP;
        else if (word == "--version" || word == "-V") return TEXT_VERSION;
    }
    return TEXT_NONE;
}

// The same lines as tavrel-cli --version.
int PrintVersion()
{
    int number = 0;
    std::string text, libraryText;
    if (CheckVersionBlocks(&ProgramVersionBlock(), nullptr, number, text, libraryText) == -2) return 1;
    std::cout << "Tavrel " << text << "\nversion number " << number << "\npackage version "
              << BuildPackageVersion() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    switch (AsksForText(argc, argv)) {
    case TEXT_HELP: std::cout << kUsage; return 0;
    case TEXT_VERSION: return PrintVersion();
    case TEXT_NONE: break;
    }
    QApplication qapp(argc, argv);
    // No display name: the platform would append it to every window title.
    QApplication::setApplicationName("tavrel");
    QApplication::setDesktopFileName("tavrel");
    QApplication::setWindowIcon(ApplicationIcon());

    Options opts;
    if (!ParseOptions(QApplication::arguments(), opts)) return 2;
    const QString requestPath =
        opts.request.empty() ? QString() : QFileInfo(QString::fromStdString(opts.request)).absoluteFilePath();

    CSingleInstance instance;
    if (instance.HandToRunningCopy(requestPath)) return 0;

    CQtHost host;
    SetHost(&host);
    CUpdateApp& app = App();
    if (!app.StartUpCore(opts.configDir, opts.logPath)) {
        SetHost(nullptr);
        return 1;
    }
    if (!app.m_bLogOk) host.Beep(BEEP_EXCLAMATION);
    app.m_strHistoryPath = opts.historyPath;
    PlayWaveResource(kStartSound);
    CommandLineInfo info;
    info.requestFile = requestPath.toStdString();
    app.ApplyCommandLine(info);

    int code = 0;
    {
        CMainFrame frame(host);
        QObject::connect(&instance, &CSingleInstance::activationRequested, &frame,
                         &CMainFrame::ActivateFromOtherInstance);
        // SIGTERM, SIGHUP and SIGINT end a transfer as its Abort does, then the program.
        CExitSignals exitSignals;
        exitSignals.onSignal = [&frame](int signal) { frame.OnExitSignal(signal); };
        exitSignals.Catch({SIGINT, SIGTERM, SIGHUP});
        bool opened = false;
        if (app.m_bCmdLineStart) {
            opened = frame.OpenDocument(app.m_strCmdLineFile);
            // A request that does not open leaves an idle window.
            if (!opened) app.m_bCmdLineStart = false;
        } else {
            frame.NewDocument();
        }
        frame.show();
        if (const QScreen* screen = frame.screen())
            frame.move(screen->availableGeometry().center() - frame.rect().center());

        if (opened) {
            frame.ArmCommandLineTransfer();
        } else {
            auto* splash = new CSplashScreen(&frame);
            QObject::connect(splash, &CSplashScreen::finished, &frame, &CMainFrame::ArmCommunicationTimer);
            splash->ShowCentred();
        }
        code = QApplication::exec();
        // Ended by a signal, after the clean-up: the caller sees which one.
        if (StopReason() > 0) code = 128 + StopReason();

        PlayWaveResource(kExitSound);
        app.PumpDelay(kExitSoundMs);
    }
    SetHost(nullptr);
    return code;
}
