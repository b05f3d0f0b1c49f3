#pragma once
// Helpers of the model tests: golden bytes written as hex, a host that
// records boxes and answers from a script, and a fixture with a temporary
// environment directory.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/Host.h"
#include "app/UpdateApp.h"
#include "model/BoardDef.h"
#include "model/ModelFiles.h"

using Bytes = std::vector<uint8_t>;

// "FF FF 01 00" -> bytes; spaces are ignored.
inline Bytes Hex(const std::string& hex)
{
    Bytes out;
    std::string digits;
    for (char c : hex)
        if (c != ' ' && c != '\n')
            digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A text in its one-byte length form.
inline Bytes ShortText(const std::string& text)
{
    Bytes out{static_cast<uint8_t>(text.size())};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

inline Bytes Le32(int32_t v)
{
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Zeros(size_t n) { return Bytes(n, 0); }

struct RecordedBox {
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
};

// Records every box; answers from `answers` (then OK for OK boxes, No otherwise).
class CRecordingHost : public CHost {
public:
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override
    {
        boxes.push_back({text, caption, buttons, icon});
        if (!answers.empty()) {
            const MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == MB_OK_ONLY ? ANSWER_OK : ANSWER_NO;
    }
    void Beep(BeepKind) override {}
    bool PromptFileName(const std::string&, std::string&, const std::string&, const std::string&,
                        const std::string&, bool) override
    {
        return false;
    }
    bool PromptDirectory(std::string&) override { return false; }
    bool AbortKeyPressed() override { return false; }

    bool RepairEnvironment(int mode, const CEnvDef& environment, int boardIndex) override
    {
        repairs.push_back({mode, boardIndex});
        return repair ? repair(environment, boardIndex) : false;
    }
    bool ChooseEnvironmentBoard(const std::vector<CEnvDef>&, int envIndex, int& chosenEnv,
                                int& chosenBoard) override
    {
        choiceOpenedOn.push_back(envIndex);
        if (choices.empty())
            return false;
        const auto c = choices.front();
        choices.pop_front();
        chosenEnv = c.first;
        chosenBoard = c.second;
        return c.first >= 0;
    }

    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const RecordedBox& b : boxes)
            out.push_back(b.text);
        return out;
    }

    std::vector<RecordedBox> boxes;
    std::deque<MsgAnswer> answers;
    std::vector<std::pair<int, int>> repairs;
    std::function<bool(const CEnvDef&, int)> repair;
    std::deque<std::pair<int, int>> choices;   // env -1 = cancel
    std::vector<int> choiceOpenedOn;
};

// A temporary environment directory set as App().m_strEnvDir, a recording
// host, edit rights on and version 20.
class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_savedEnvDir = App().m_strEnvDir;
        m_savedSflPath = App().m_strLastSflPath;
        App().m_strEnvDir = Dir();
        App().m_bEditRights = true;
        App().m_nVersion = 20;
        App().m_nReserved1 = 0;
        SetHost(&host);
        g_envList.clear();
    }
    void TearDown() override
    {
        SetHost(nullptr);
        App().m_strEnvDir = m_savedEnvDir;
        App().m_strLastSflPath = m_savedSflPath;
        g_envList.clear();
    }
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    std::string Write(const std::string& name, const Bytes& bytes)
    {
        const std::string path = Dir() + name;
        EXPECT_TRUE(WriteModelFile(path, bytes));
        return path;
    }
    Bytes Read(const std::string& path)
    {
        Bytes bytes;
        EXPECT_EQ(ReadModelFile(path, bytes), FileReadResult::Ok);
        return bytes;
    }

    CRecordingHost host;

private:
    QTemporaryDir m_dir;
    std::string m_savedEnvDir;
    std::string m_savedSflPath;
};
