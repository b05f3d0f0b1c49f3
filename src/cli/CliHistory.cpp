#include "cli/CliHistory.h"

#include <iostream>

#include "app/Paths.h"
#include "app/UpdateApp.h"
#include "cli/CliCommand.h"
#include "engine/ProcessEngine.h"
#include "history/HistoryRecorder.h"

std::string CliHistoryPath()
{
    return App().HistoryPath();
}

CCliHistory::CCliHistory(CProcessEngine& engine) : m_engine(engine)
{
    if (!App().m_bKeepHistory) return;
    m_pRecorder = std::make_unique<CHistoryRecorder>(CliHistoryPath(), HistoryWriterInfo{"tavrel-cli", App().m_strVersion});
    m_pRecorder->onNotice = [](const std::string& notice) {
        std::cerr << kErrorPrefix << "warning: " << notice << "\n";
    };
    m_engine.onRecorderFailure = [](const std::string& reason) {
        std::cerr << kErrorPrefix << "warning: history not written: " << reason << "\n";
    };
    m_engine.SetRecorder(m_pRecorder.get());
}

CCliHistory::~CCliHistory()
{
    m_engine.SetRecorder(nullptr);
    m_engine.onRecorderFailure = nullptr;
}

void CCliHistory::AmendReason(const std::string& reason)
{
    if (m_pRecorder && !reason.empty()) m_pRecorder->AmendRunReason(reason);
}
