#include "engine/EngineLink.h"

#include <QEvent>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/UpdateApp.h"
#include "link/SerialLink.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bits on the wire per byte: start, 8 data bits, two stop bits.
constexpr int kBitsPerByte = 11;
// Time the device on the other end needs to take bytes that have left.
constexpr std::chrono::milliseconds kPeerReadMargin{30};
// Longest drain before a close.
constexpr std::chrono::milliseconds kMaxDrain{2000};

// When the last bytes written are off the wire. A pseudo-terminal reports no
// queued output and a close discards what its peer has not read yet, so the
// engine lets the last sentence (a rate change, a relay command) leave before
// it closes the port, as a real line does.
struct WireState {
    const CSerialLink* link = nullptr;
    Clock::time_point freeAt{};
};
WireState g_wire;

void NoteWrite(const CSerialLink& link, int bytes)
{
    if (bytes <= 0) return;
    const uint32_t rate = std::max<uint32_t>(link.BaudRate(), 300);
    const auto now = Clock::now();
    const auto start = (g_wire.link == &link && g_wire.freeAt > now) ? g_wire.freeAt : now;
    const auto wire = std::chrono::microseconds(static_cast<long long>(bytes) * kBitsPerByte * 1000000LL / rate);
    g_wire.link = &link;
    g_wire.freeAt = start + std::chrono::duration_cast<Clock::duration>(wire);
}

void DrainBeforeClose(const CSerialLink& link)
{
    if (g_wire.link != &link || !link.IsOpen()) return;
    const auto until = std::min(g_wire.freeAt + kPeerReadMargin, Clock::now() + kMaxDrain);
    if (until > Clock::now()) std::this_thread::sleep_until(until);
    g_wire.link = nullptr;
}

}  // namespace

int LinkOpen(CSerialLink& link, QObject* notifyTarget) { return link.Open(notifyTarget); }

bool LinkClose(CSerialLink& link)
{
    DrainBeforeClose(link);
    return link.Close();
}
int LinkRead(CSerialLink& link, char* buffer, int maxCount) { return link.Read(buffer, maxCount); }
int LinkWrite(CSerialLink& link, const char* bytes, int count)
{
    const int written = link.Write(bytes, count);
    NoteWrite(link, written);
    return written;
}
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
