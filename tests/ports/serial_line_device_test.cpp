#include "port_test_util.h"

#include "config/settings.h"
#include "test_env.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct PtyPorts : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(ptys.Ready()) << "socat did not make the pty pair";
        port.SetDevicePath(ptys.PathA());
        peer.SetDevicePath(ptys.PathB());
    }
    PtyPair ptys;
    TApdWinsockPort port, peer;
};

termios SettingsOf(const std::string& path)
{
    termios tio{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) {
        EXPECT_EQ(tcgetattr(fd, &tio), 0);
        ::close(fd);
    }
    return tio;
}

} // namespace

TEST_F(PtyPorts, BytesCrossBothWays)
{
    port.SetOpen(true);
    peer.SetOpen(true);
    PortRecorder atPort(port), atPeer(peer);
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    port.PutString(allBytes);
    peer.PutString("\x05" "ENQ");
    ASSERT_TRUE(WaitFor([&] { return atPeer.received.size() >= 256 && atPort.received.size() >= 4; }));
    EXPECT_EQ(atPeer.received, allBytes);
    EXPECT_EQ(atPort.received, "\x05" "ENQ");
}

struct FramingCase {
    int baud;
    TParity parity;
    int dataBits, stopBits;
    tcflag_t size, parityFlags;
    speed_t speed;
};

const FramingCase kFramings[] = {
    {19200, pNone, 8, 1, CS8, 0, B19200},
    {9600, pEven, 7, 2, CS7, PARENB, B9600},
    {2400, pOdd, 7, 1, CS7, PARENB | PARODD, B2400},
    {1200, pMark, 6, 1, CS6, PARENB | PARODD | CMSPAR, B1200},
    {300, pSpace, 5, 2, CS5, PARENB | CMSPAR, B300},
};

TEST(LineTermios, FramingBecomesRawTermios)
{
    for (const FramingCase& c : kFramings) {
        termios tio{};
        tio.c_lflag = ICANON | ECHO;
        tio.c_cflag = CRTSCTS;
        const LineSettings settings{c.baud, c.parity, c.dataBits, c.stopBits};
        SetLineTermios(tio, settings);
        EXPECT_EQ(tio.c_cflag & CSIZE, c.size) << c.baud;
        EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags) << c.baud;
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits == 2) << c.baud;
        EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD | CRTSCTS), tcflag_t(CLOCAL | CREAD)) << c.baud;
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
        const LineSettings back = LineSettingsOf(tio);
        EXPECT_EQ(back.baud, c.baud);
        EXPECT_EQ(back.parity, c.parity);
        EXPECT_EQ(back.dataBits, c.dataBits);
        EXPECT_EQ(back.stopBits, c.stopBits);
    }
}

// A pty keeps speed, stop bits and the raw mode but always reads 8 data bits
// without parity, so those two are checked on the termios values above.
TEST_F(PtyPorts, SpeedAndStopBitsReachTheDevice)
{
    for (const FramingCase& c : kFramings) {
        port.SetBaud(c.baud);
        port.SetParity(c.parity);
        port.SetDataBits(c.dataBits);
        port.SetStopBits(c.stopBits);
        port.SetOpen(true);
        const termios tio = SettingsOf(ptys.PathA());
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stopBits == 2) << c.baud;
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
        port.SetOpen(false);
    }
}

TEST_F(PtyPorts, UnsupportedSettingsRefuseToOpen)
{
    port.SetBaud(12345);
    EXPECT_THROW(port.SetOpen(true), EPortError);
    EXPECT_FALSE(port.Open());
    port.SetBaud(9600);
    port.SetDataBits(9);
    EXPECT_THROW(port.SetOpen(true), EPortError);
    port.SetDataBits(8);
    EXPECT_NO_THROW(port.SetOpen(true));
}

TEST_F(PtyPorts, LineWithoutModemLinesKeepsTheProgramsLevels)
{
    port.SetDTR(false);
    port.SetOpen(true);
    EXPECT_FALSE(port.DTR());
    port.SetRTS(false);
    EXPECT_FALSE(port.RTS());
    port.SetDTR(true);
    EXPECT_TRUE(port.DTR());
    // Inputs read as on a cable that asserts them, so nothing waits forever.
    EXPECT_TRUE(port.CTS());
    EXPECT_TRUE(port.DSR());
    EXPECT_TRUE(port.DCD());
    EXPECT_FALSE(port.RI());
}

TEST_F(PtyPorts, SecondPortCannotTakeAnOpenLine)
{
    port.SetOpen(true);
    TApdWinsockPort other;
    other.SetDevicePath(ptys.PathA());
    EXPECT_THROW(other.SetOpen(true), EPortError);
}

TEST_F(PtyPorts, ComNumberOpensTheMappedDevice)
{
    TestHome home;
    SetComPortDevice(7, ptys.PathA());
    port.SetDevicePath("");
    port.SetComNumber(7);
    port.SetOpen(true);
    peer.SetOpen(true);
    PortRecorder atPeer(peer);
    port.PutString("via COM7");
    EXPECT_TRUE(WaitFor([&] { return atPeer.received == "via COM7"; }));
}

TEST(SerialPort, NoComNumberIsAnError)
{
    TApdWinsockPort port;
    try {
        port.SetOpen(true);
        FAIL() << "opened without a port number";
    } catch (const EPortError& e) {
        EXPECT_EQ(e.Code(), ecNoComPort);
    }
}

TEST_F(PtyPorts, HandedOverLineKeepsItsSettings)
{
    port.SetBaud(2400);
    port.SetStopBits(2);
    port.SetOpen(true);
    const int fd = port.DetachLine();
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(port.Open());

    TApdWinsockPort modemPort;
    modemPort.SetTapiMode(tmOn);
    modemPort.AttachTapiLine(fd);
    modemPort.SetOpen(true);
    EXPECT_EQ(modemPort.Baud(), 2400);
    EXPECT_EQ(modemPort.StopBits(), 2);
    peer.SetOpen(true);
    PortRecorder atPeer(peer);
    modemPort.PutString("ENQ?");
    EXPECT_TRUE(WaitFor([&] { return atPeer.received == "ENQ?"; }));
}
