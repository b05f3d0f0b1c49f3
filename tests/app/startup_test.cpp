// Version check, edit rights, command line and the pumping delay.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <regex>

#include "app/BuildVersion.h"
#include "app/CommandLine.h"
#include "app/UpdateApp.h"
#include "app/Version.h"
#include "common/ScriptedHost.h"
#include "common/TempDir.h"

namespace {

struct VersionRow {
    const char* fileVersion;
    const char* text;     // empty: unreadable
    int number;
};

TEST(Version, ParseAndReduce)
{
    const VersionRow rows[] = {
        {"2, 0, 0, 1", "V2.0 04/02/2002", 20},
        {"3, 12, 0, 0", "V3.12 04/02/2002", 31},
        {"3, 12, 5, 0", "V3.12\xC3\x9F" "5 04/02/2002", 31},
        {"4,150,0", "V4.150 04/02/2002", 41},
        {"1, 9, 2", "V1.9\xC3\x9F" "2 04/02/2002", 19},
        {"0, 1, 0, 0", "", 0},       // major 0
        {"2, 0", "", 0},             // build missing
        {"2, x, 0, 0", "", 0},
        {"2, -1, 0, 0", "", 0},
        {"", "", 0},
        {"9999999999, 0, 0", "", 0},
    };
    for (const VersionRow& r : rows) {
        ParsedVersion v;
        const bool ok = ParseFileVersion(r.fileVersion, v);
        EXPECT_EQ(ok, *r.text != '\0') << r.fileVersion;
        if (!ok) continue;
        EXPECT_EQ(VersionText(v, "04/02/2002"), r.text) << r.fileVersion;
        EXPECT_EQ(VersionNumber(v), r.number) << r.fileVersion;
    }
}

TEST(Version, CheckCodes)
{
    const VersionBlock program{"2, 0, 0, 1", "04/02/2002", true};
    const struct {
        const VersionBlock* program;
        VersionBlock library;
        bool hasLibrary;
        int code;
        const char* libraryText;
    } rows[] = {
        {&program, {}, false, -1, ""},
        {&program, {"2, 0, 3, 0", "x", true}, true, 1, "V2.0\xC3\x9F" "3 x"},
        {&program, {"2, 1, 0, 0", "y", true}, true, 0, "V2.1 y"},
        {&program, {"2, 0, 0, 0", "z", false}, true, -3, "(Unknown version)"},
        {&program, {"abc", "z", true}, true, -3, "(Unknown version)"},
        {nullptr, {}, false, -2, ""},
    };
    for (const auto& r : rows) {
        int number = 0;
        std::string programText, libraryText;
        EXPECT_EQ(CheckVersionBlocks(r.program, r.hasLibrary ? &r.library : nullptr, number,
                                     programText, libraryText),
                  r.code);
        EXPECT_EQ(libraryText, r.libraryText);
    }
    CUpdateApp app;
    int number = 0;
    std::string text, lib;
    EXPECT_EQ(app.CheckVersions(number, text, lib), -1);
    EXPECT_EQ(text, "V2.0 04/02/2002");
    EXPECT_EQ(number, 20);
}

// The package version and the version block come from the one version:
// FileVersion "2, 0, 0, 1" is package 2.0.0.1, then the commit of a git build.
TEST(Version, PackageVersionIsTheVersionBlocks)
{
    std::string dotted = ProgramVersionBlock().fileVersion;
    for (std::size_t comma; (comma = dotted.find(", ")) != std::string::npos;) dotted.replace(comma, 2, ".");
    const std::string package = BuildPackageVersion();
    ASSERT_EQ(package.compare(0, dotted.size(), dotted), 0) << package;
    const std::string commit = package.substr(dotted.size());
    EXPECT_TRUE(commit.empty() || std::regex_match(commit, std::regex(R"(\+git[0-9]+\.g[0-9a-f]{7,}(\.dirty)?)")))
        << package;
}

TEST(EditRights, EightFlagsFromTheFirstEightBytes)
{
    const struct {
        const char* bytes;    // nullptr: no file
        std::size_t size;
        const char* flags;    // '1' set
    } rows[] = {
        {"YyNnYxY?", 8, "11001010"},
        {"YYYYYYYYYY", 10, "11111111"},
        {"YYYYYYY", 7, "00000000"},       // shorter file leaves every flag clear
        {"yNNNNNNN", 8, "10000000"},
        {"\0YYYYYYY", 8, "01111111"},
        {nullptr, 0, "00000000"},
    };
    for (const auto& r : rows) {
        CTempDir dir;
        if (r.bytes) dir.Write("Tavrel.sec", std::string(r.bytes, r.size));
        CUpdateApp app;
        app.m_abRights.fill(true);
        app.ReadEditRights(dir.File("Tavrel.sec"));
        std::string flags;
        for (bool f : app.m_abRights) flags += f ? '1' : '0';
        EXPECT_EQ(flags, r.flags) << (r.bytes ? r.bytes : "(none)");
        EXPECT_EQ(app.m_bEditRights, r.flags[0] == '1');
    }
}

TEST(CommandLine, FirstNonSwitchIsTheRequestFile)
{
    const struct {
        std::vector<std::string> args;
        const char* file;
        std::size_t switches;
    } rows[] = {
        {{}, "", 0},
        {{"req.sfl"}, "req.sfl", 0},
        {{"/p", "-x", "req.sfl", "other.sfl"}, "req.sfl", 2},
        {{"/Embedding", "/home/u/req.sfl"}, "/home/u/req.sfl", 1},
        {{"/req.sfl"}, "/req.sfl", 0},
        {{"--flag", ""}, "", 1},
    };
    for (const auto& r : rows) {
        const CommandLineInfo info = ParseCommandLine(r.args);
        EXPECT_EQ(info.requestFile, r.file);
        EXPECT_EQ(info.switches.size(), r.switches);
        CUpdateApp app;
        app.ApplyCommandLine(info);
        EXPECT_EQ(app.m_bCmdLineStart, *r.file != '\0');
    }
}

TEST(Pump, AbortKeyEndsTheDelay)
{
    CScriptedHost host;
    CHostScope scope(host);
    CUpdateApp app;
    host.PressAbortAtPoll(2);
    EXPECT_EQ(app.PumpDelay(60000), 1);
    EXPECT_EQ(app.PumpDelay(1), 0);
    host.PressAbortAtPoll(1);
    EXPECT_EQ(app.PumpMessages(), 1);
}

TEST(Pump, EventsAreDispatchedDuringTheDelay)
{
    int argc = 1;
    char name[] = "test_app";
    char* argv[] = {name, nullptr};
    QCoreApplication qapp(argc, argv);
    CScriptedHost host;
    CHostScope scope(host);
    CUpdateApp app;

    int fired = 0;
    QTimer::singleShot(5, [&] { ++fired; });
    EXPECT_EQ(app.PumpDelay(30), 0);
    EXPECT_EQ(fired, 1);

    // An abort pressed from inside a dispatched event ends the wait early.
    QTimer::singleShot(1, [&] { host.PressAbortAtPoll(1); });
    EXPECT_EQ(app.PumpDelay(60000), 1);
}

}  // namespace
