#pragma once
// The serial link as the engine uses it. The engine's step files reach
// CSerialLink only through these calls, so that they need not see the link's
// header next to the model's (both name an "OpenResult").
#include <cstdint>
#include <memory>
#include <string>

class CSerialLink;
class QEvent;

int LinkOpen(CSerialLink& link, class QObject* notifyTarget);
bool LinkClose(CSerialLink& link);
int LinkRead(CSerialLink& link, char* buffer, int maxCount);
int LinkWrite(CSerialLink& link, const char* bytes, int count);
void LinkPurgeReceive(CSerialLink& link);
bool LinkSetWriteTimeout(CSerialLink& link, int ms);
void LinkSetPort(CSerialLink& link, int portNumber);
void LinkSetBaudRate(CSerialLink& link, uint32_t rate);
uint32_t LinkBaudRate(const CSerialLink& link);
bool IsCommNotifyEvent(const QEvent* event);

// A link set up from the communication settings of App(), for the owners of
// an engine (tavrel-cli, the tests).
struct SerialLinkDeleter {
    void operator()(CSerialLink* link) const;
};
using SerialLinkPtr = std::unique_ptr<CSerialLink, SerialLinkDeleter>;
SerialLinkPtr CreateConfiguredLink();
// Opens this device instead of the mapped "COMn" (tavrel-cli --port PATH).
void LinkSetDevicePath(CSerialLink& link, const std::string& path);
