// CSerialLink on pseudo-terminals: open and close, rates, write time-out,
// notifications of the watch thread.
#include <gtest/gtest.h>

#include <QEvent>
#include <QObject>

#include <unistd.h>

#include <asm/termbits.h>

#include "PtyPair.h"
#include "app/CommSettings.h"
#include "link/PortSetup.h"
#include "link/SerialLink.h"

namespace {

class NotifyCounter : public QObject {
public:
    int count = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != CommNotifyEventType())
            return QObject::event(e);
        ++count;
        return true;
    }
};

std::string ReadAllFrom(CSerialLink& link)
{
    std::string out;
    char buffer[512];
    int n;
    while ((n = link.Read(buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    return out;
}

TEST(SerialLink, OpenCloseReopenAndResults)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    NotifyCounter target;
    CSerialLink link;
    EXPECT_EQ(link.Open(nullptr, pty.slavePath), OPEN_NOTHING);
    EXPECT_FALSE(link.Close());
    EXPECT_EQ(link.GetWriteTimeout(), -1);
    EXPECT_EQ(link.Write("x", 1), -1);

    ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK);
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(link.Open(&target), OPEN_NOTHING);
    CommTimeouts timeouts;
    EXPECT_EQ(link.GetWriteTimeout(&timeouts), 1000);
    EXPECT_EQ(timeouts.nWriteMultiplierMs, 10);
    EXPECT_FALSE(link.SetWriteTimeout(-5));
    EXPECT_EQ(link.GetWriteTimeout(), 1000);
    EXPECT_TRUE(link.SetWriteTimeout(200));
    EXPECT_EQ(link.GetWriteTimeout(), 200);

    if (geteuid() != 0) {   // the exclusive flag does not bind root
        CSerialLink second;
        EXPECT_EQ(second.Open(&target, pty.slavePath), OPEN_NO_PORT);
    }
    EXPECT_TRUE(link.Close());
    EXPECT_FALSE(link.Close());
    ASSERT_EQ(link.Open(&target), OPEN_OK);   // the path is kept
    EXPECT_EQ(link.GetWriteTimeout(), 1000);  // every open starts at 1 000 ms
    EXPECT_EQ(link.Write("$PKVR,IDENT\r\n", 13), 13);
    EXPECT_TRUE(PumpUntil([&] { return pty.ReadNow() == "$PKVR,IDENT\r\n"; }, 2000));
    EXPECT_TRUE(link.Close());
}

TEST(SerialLink, SentenceWrittenBeforeARateChangeIsNotLost)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    NotifyCounter target;
    CSerialLink link;
    ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK);
    const std::string sentence = "$PKVR,HARDRS,,,,115200\r\n";
    ASSERT_EQ(link.Write(sentence), static_cast<int>(sentence.size()));
    link.Close();
    link.SetBaudRate(115200);
    ASSERT_EQ(link.Open(&target), OPEN_OK);
    EXPECT_EQ(pty.ReadNow(), sentence);
    link.Close();
}

TEST(SerialLink, PathsThatAreNoPorts)
{
    NotifyCounter target;
    for (const char* path : {"/dev/null", "/nonexistent/tty", "/tmp"}) {
        CSerialLink link;
        EXPECT_EQ(link.Open(&target, path), OPEN_NO_PORT) << path;
        EXPECT_FALSE(link.IsOpen());
    }
}

TEST(SerialLink, EveryRateIsSetOnTheLine)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    NotifyCounter target;
    CSerialLink link;
    link.SetStopBits(2);
    for (int rate : kBaudRates) {
        link.SetBaudRate(static_cast<uint32_t>(rate));
        ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK) << rate;
        EXPECT_EQ(pty.SlaveRate(), static_cast<uint32_t>(rate));
        uint32_t flags = pty.SlaveControlFlags();
        EXPECT_EQ(flags & CSIZE, static_cast<uint32_t>(CS8)) << rate;
        EXPECT_TRUE(flags & CSTOPB) << rate;
        EXPECT_FALSE(flags & PARENB) << rate;
        link.Close();
    }
}

TEST(SerialLink, UnreadWriteEndsShortAtItsTimeOut)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    NotifyCounter target;
    CSerialLink link;
    ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK);
    ASSERT_TRUE(link.SetWriteTimeout(50));
    if (!pty.StopSlaveOutput(true))
        GTEST_SKIP() << "output flow control not available on this pseudo-terminal";
    const std::string block(20, 'a');
    int written = link.Write(block);
    EXPECT_GE(written, 0);
    EXPECT_LT(written, 20);
    ASSERT_TRUE(pty.StopSlaveOutput(false));
    EXPECT_EQ(link.Write(block), 20);
    link.Close();
}

TEST(SerialLink, OneNotificationPerBurstUntilRead)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(true));
    NotifyCounter target;
    CSerialLink link;
    ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK);

    pty.Send("$PKVR,IDENT,1,1\r\n");
    ASSERT_TRUE(PumpUntil([&] { return target.count == 1; }, 2000));
    pty.Send("more bytes\n");
    PumpFor(150);
    EXPECT_EQ(target.count, 1);   // nothing more until the reader has read
    EXPECT_EQ(ReadAllFrom(link), "$PKVR,IDENT,1,1\r\nmore bytes\n");
    PumpFor(100);
    EXPECT_EQ(target.count, 1);   // nothing is waiting any more

    pty.Send("x");
    ASSERT_TRUE(PumpUntil([&] { return target.count == 2; }, 2000));
    EXPECT_EQ(ReadAllFrom(link), "x");

    // Handing the link to another target re-arms the notification.
    NotifyCounter other;
    pty.Send("y");
    ASSERT_TRUE(PumpUntil([&] { return target.count == 3; }, 2000));
    link.SetNotifyTarget(&other);
    ASSERT_TRUE(PumpUntil([&] { return other.count == 1; }, 2000));
    EXPECT_EQ(ReadAllFrom(link), "y");

    link.Close();
    pty.Send("after close");
    PumpFor(150);
    EXPECT_EQ(other.count, 1);
    EXPECT_EQ(target.count, 3);
}

TEST(SerialLink, VanishedDeviceReadsNothingAndDoesNotFlood)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Create(false));
    NotifyCounter target;
    CSerialLink link;
    ASSERT_EQ(link.Open(&target, pty.slavePath), OPEN_OK);
    pty.CloseMaster();
    char buffer[64];
    // The reader reads at every notification, as the engine does.
    int reads = 0;
    PumpUntil([&] {
        if (target.count > reads) {
            reads = target.count;
            EXPECT_EQ(link.Read(buffer, sizeof buffer), 0);
        }
        return false;
    }, 1200);
    EXPECT_GE(target.count, 1);
    EXPECT_LE(target.count, 1200 / CSerialLink::kHangupRetryMs + 2);
    int written = link.Write("abc", 3);
    EXPECT_LT(written, 3);
    EXPECT_TRUE(link.Close());
}

}  // namespace
