#include "engine/EngineLink.h"

#include "app/UpdateApp.h"

SerialLinkPtr CreateConfiguredLink()
{
    auto link = std::make_unique<CSerialLink>();
    link->ApplySettings(App().m_comm);
    return link;
}
