#pragma once
// Helpers of the model tests: golden bytes written as hex and a fixture with
// a temporary environment directory and the scripted host.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>
#include <string>
#include <vector>

#include "app/Host.h"
#include "common/ScriptedHost.h"
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
    Bytes out;
    out.reserve(text.size() + 1);
    out.push_back(static_cast<uint8_t>(text.size()));
    for (char c : text) out.push_back(static_cast<uint8_t>(c));
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

// The scripted host with the box texts in order.
class CModelTestHost : public CScriptedHost {
public:
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const Box& b : boxes)
            out.push_back(b.text);
        return out;
    }
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
        host.defaultAnswer = ANSWER_NO;
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

    CModelTestHost host;

private:
    QTemporaryDir m_dir;
    std::string m_savedEnvDir;
    std::string m_savedSflPath;
};
