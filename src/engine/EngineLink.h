#pragma once
// The serial link as the engine uses it. The engine's step files reach
// CSerialLink only through these calls, so that they need not see the link's
// header next to the model's (both name an "OpenResult").
#include <cstdint>

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
