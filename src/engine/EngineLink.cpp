#include "engine/EngineLink.h"

#include <QEvent>

#include "app/UpdateApp.h"
#include "link/SerialLink.h"

int LinkOpen(CSerialLink& link, QObject* notifyTarget) { return link.Open(notifyTarget); }
bool LinkClose(CSerialLink& link) { return link.Close(); }
int LinkRead(CSerialLink& link, char* buffer, int maxCount) { return link.Read(buffer, maxCount); }
int LinkWrite(CSerialLink& link, const char* bytes, int count) { return link.Write(bytes, count); }
void LinkPurgeReceive(CSerialLink& link) { link.PurgeReceive(0); }
bool LinkSetWriteTimeout(CSerialLink& link, int ms) { return link.SetWriteTimeout(ms); }
void LinkSetPort(CSerialLink& link, int portNumber) { link.SetPortNumber(portNumber); }
void LinkSetBaudRate(CSerialLink& link, uint32_t rate) { link.SetBaudRate(rate); }
uint32_t LinkBaudRate(const CSerialLink& link) { return link.BaudRate(); }
bool IsCommNotifyEvent(const QEvent* event) { return event->type() == CommNotifyEventType(); }

void SerialLinkDeleter::operator()(CSerialLink* link) const { delete link; }

SerialLinkPtr CreateConfiguredLink()
{
    SerialLinkPtr link(new CSerialLink);
    link->ApplySettings(App().m_comm);
    return link;
}

void LinkSetDevicePath(CSerialLink& link, const std::string& path) { link.SetDevicePath(path); }
