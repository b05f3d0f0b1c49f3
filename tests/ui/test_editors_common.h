#pragma once
// Shared by the editor tests: a host that opens the real editors for the
// model's two host calls, a fixture with a temporary environment directory,
// helpers that act on controls as a user would, and a way to act on a modal
// dialog that a command opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/Strings.h"
#include "app/UpdateApp.h"
#include "common/ScriptedHost.h"
#include "model/BoardDef.h"
#include "model/ModelFiles.h"
#include "ui/editors/EditorCommands.h"

// The scripted host with the model's editor calls forwarded to the real
// editors, as the desktop program's host does.
class CEditorTestHost : public CScriptedHost {
public:
    bool RepairEnvironment(int mode, const CEnvDef& environment, int boardIndex) override
    {
        repairs.push_back({mode, boardIndex});
        return ExecRepairEnvironment(nullptr, mode, environment, boardIndex);
    }
    bool ChooseEnvironmentBoard(const std::vector<CEnvDef>& environments, int envIndex, int& chosenEnv,
                                int& chosenBoard) override
    {
        boardChoiceOpenedOn.push_back(envIndex);
        return ExecChooseEnvironmentBoard(nullptr, environments, envIndex, chosenEnv, chosenBoard);
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const Box& b : boxes) out.push_back(b.text);
        return out;
    }
};

// Runs `action` on the next modal dialog of type T that opens, from the
// event loop of the command that opens it. Gives up (and fails the test)
// after a few seconds, closing whatever is modal so that the test ends.
template <class T>
void OnNextModal(std::function<void(T&)> action)
{
    constexpr int kPollMs = 5;
    constexpr int kGiveUpMs = 10000;
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, action, waited] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
            return;
        }
        *waited += kPollMs;
        if (*waited < kGiveUpMs) return;
        timer->stop();
        timer->deleteLater();
        ADD_FAILURE() << "the expected dialog " << T::staticMetaObject.className() << " did not open";
        while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->done(QDialog::Rejected);
    });
    timer->start(kPollMs);
}

// --- acting on controls ----------------------------------------------------------------

inline void Click(QWidget* widget)
{
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

// A double-click as the platform delivers it: press, release, then the double-click.
inline void DoubleClick(QWidget* widget, const QPoint& where)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, where);
}

// Replaces the text of an edit field by typing, as a user would.
inline void Type(QWidget* widget, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(widget);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) edit = spin->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(edit, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Chooses the item of a drop-down list showing `text` (-1 text: no item).
inline void Choose(QWidget* widget, const QString& text)
{
    auto* list = qobject_cast<QComboBox*>(widget);
    ASSERT_NE(list, nullptr);
    const int index = list->findText(text);
    ASSERT_TRUE(index >= 0 || text.isEmpty()) << text.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
}

inline QString ShownText(QWidget* widget)
{
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) return spin->text();
    if (auto* list = qobject_cast<QComboBox*>(widget)) return list->currentText();
    return {};
}

inline std::vector<QString> Items(QWidget* widget)
{
    std::vector<QString> items;
    if (auto* list = qobject_cast<QComboBox*>(widget))
        for (int i = 0; i < list->count(); ++i) items.push_back(list->itemText(i));
    return items;
}

// --- files and the command-line tool ----------------------------------------------------

inline std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Runs tavrel-cli with `arguments` and its own settings directory; its exit code.
inline int RunCli(const QStringList& arguments, const QString& configDir, QString* output = nullptr)
{
    QProcess cli;
    QStringList all = {QStringLiteral("--config-dir"), configDir, QStringLiteral("--log"),
                       QDir(configDir).filePath(QStringLiteral("cli.log"))};
    all += arguments;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    cli.setWorkingDirectory(configDir);
    cli.start(QStringLiteral(TAVREL_BINARY_DIR "/src/tavrel-cli"), all);
    cli.closeWriteChannel();
    if (!cli.waitForFinished(60000)) return -1;
    if (output) *output = QString::fromUtf8(cli.readAll());
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

// --- records -------------------------------------------------------------------------------

inline CBoardDef MakeBoard(const std::string& name, bool relayed, int destination, int parent, int maxSpeed = 7)
{
    CBoardDef b;
    b.m_strName = name;
    b.m_strSubassyId = "CM";
    b.m_strSubassyHardw = "10";
    b.m_strBootLoader = "CMB2";
    b.m_nProgId = 1;
    b.m_bRelayed = relayed ? 1 : 0;
    b.m_nDestination = destination;
    b.m_nProcessing = 0;
    b.m_nMaxSpeed = maxSpeed;
    b.m_nParentBoard = parent;
    b.m_nSaveSpeed = SAVE_SPEED_CHECKED;
    return b;
}

// A connected board on port A, a relayed board on its port B and a relayed
// board on its Dpram 2.
inline CEnvDef MakeEnvironment(const std::string& name)
{
    CEnvDef env;
    env.SetBoards(name, {MakeBoard("CPU", false, 0, -1, 7), MakeBoard("GPS", true, 1, 0, 3),
                         MakeBoard("DSP", true, 9, 0, -1)});
    return env;
}

// --- fixture -------------------------------------------------------------------------------

// A temporary environment directory (App().m_strEnvDir), a request folder
// ("Last SFL path"), edit rights, version 20, the editor test host and an
// empty clipboard.
class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("env"));
        QDir(m_dir.path()).mkpath(QStringLiteral("request"));
        QDir(m_dir.path()).mkpath(QStringLiteral("config"));
        m_savedEnvDir = App().m_strEnvDir;
        m_savedSflPath = App().m_strLastSflPath;
        App().m_strEnvDir = EnvDir();
        App().m_strLastSflPath = RequestDir();
        App().SetConfigDir(ConfigDir());
        App().m_bEditRights = true;
        App().m_nVersion = 20;
        App().m_nReserved1 = 0;
        host.defaultAnswer = ANSWER_NO;
        SetHost(&host);
        g_envList.clear();
        QApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        while (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->done(QDialog::Rejected);
        SetHost(nullptr);
        App().m_strEnvDir = m_savedEnvDir;
        App().m_strLastSflPath = m_savedSflPath;
        g_envList.clear();
    }
    std::string EnvDir() const { return m_dir.path().toStdString() + "/env/"; }
    std::string RequestDir() const { return m_dir.path().toStdString() + "/request/"; }
    std::string ConfigDir() const { return m_dir.path().toStdString() + "/config"; }
    std::string Path(const std::string& name) const { return m_dir.path().toStdString() + "/" + name; }
    // Writes `env` as <env dir>/<file>; returns the path.
    std::string WriteEnvironment(const CEnvDef& env, const std::string& file)
    {
        const std::string path = EnvDir() + file;
        EXPECT_TRUE(SaveEnvironmentFile(env, path));
        return path;
    }

    CEditorTestHost host;

private:
    QTemporaryDir m_dir;
    std::string m_savedEnvDir;
    std::string m_savedSflPath;
};
