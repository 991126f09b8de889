#include "relay/mx_thread.h"
#include "relay/socket_util.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::vector<std::string> logged;

void Record(const char* format, va_list args)
{
    char line[1024];
    vsnprintf(line, sizeof line, format, args);
    logged.emplace_back(line);
}

int Capture(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Record(format, args);
    va_end(args);
    return 0;
}

// Like a log whose file cannot be opened: errno changes under the caller.
int CaptureLosingErrno(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Record(format, args);
    va_end(args);
    errno = ENOENT;
    return -1;
}

bool Logged(const std::string& text)
{
    for (const std::string& line : logged)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

// A connected pair of loopback stream sockets.
struct SocketPair {
    SocketPair()
    {
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        a = fds[0];
        b = fds[1];
    }
    ~SocketPair()
    {
        close(a);
        close(b);
    }
    int a, b;
};

} // namespace

TEST(Socket, DottedQuadRecognition)
{
    for (const char* bad : {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.a", "1234.1.1.1", "", "1..2.3", "localhost"})
        EXPECT_FALSE(IsDottedQuad(bad)) << bad;
    EXPECT_FALSE(IsDottedQuad(nullptr));
    for (const char* good : {"127.0.0.1", "0.0.0.0", "255.255.255.255"})
        EXPECT_TRUE(IsDottedQuad(good)) << good;
}

TEST(Socket, OpenRefusesBadArguments)
{
    logged.clear();
    int sock = -1;
    EXPECT_EQ(mxOpenSocket("127.0.0.1", 65536, nullptr, &sock, Capture, false, false), kOpenBadPort);
    EXPECT_TRUE(Logged("mxOpenSocket() Error: Invalid port(65536); valid values(0 to 65535)"));
    EXPECT_EQ(mxOpenSocket(nullptr, 80, nullptr, &sock, Capture, false, false), kOpenNoHost);
    EXPECT_TRUE(Logged("mxOpenSocket() Error: Host name/IP was not specified."));

    std::string longName(512, 'a');
    EXPECT_EQ(mxOpenSocket(longName.c_str(), 80, nullptr, &sock, Capture, true, true), kOpenUnresolved);
    EXPECT_TRUE(Logged("512 characters refused; at most 511"));
    EXPECT_EQ(sock, -1);
}

TEST(Socket, ListenResolvesNamesAndFindsTheNextFreePort)
{
    logged.clear();
    int first = -1;
    sockaddr_in address{};
    ASSERT_EQ(mxOpenListenSock("localhost", 0, &address, &first, Capture), 0);
    EXPECT_TRUE(Logged("mxOpenListenSock() Successful: Host(localhost) Port(0) listenSocket("));
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), INADDR_LOOPBACK);

    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(first, reinterpret_cast<sockaddr*>(&bound), &size);
    int taken = ntohs(bound.sin_port);
    int found = FindFreeListenPort("127.0.0.1", taken, nullptr);
    EXPECT_GT(found, taken);
    EXPECT_EQ(mxCloseSocket(first, Capture), 0);
    EXPECT_TRUE(Logged("mxCloseSocket() Socket(" + std::to_string(first) + ") closed"));
}

TEST(Socket, FindFreePortPassesATakenPortWhateverTheLogDoesToErrno)
{
    int first = -1;
    sockaddr_in address{};
    ASSERT_EQ(mxOpenListenSock("127.0.0.1", 0, nullptr, &first, nullptr), 0);
    socklen_t size = sizeof address;
    getsockname(first, reinterpret_cast<sockaddr*>(&address), &size);
    int taken = ntohs(address.sin_port);
    logged.clear();
    EXPECT_GT(FindFreeListenPort("127.0.0.1", taken, CaptureLosingErrno), taken);
    EXPECT_TRUE(Logged("mxErrorMessage(" + std::to_string(EADDRINUSE) + ")"));
    mxCloseSocket(first, nullptr);
}

TEST(Socket, FindFreePortGivesUpAtTheTop)
{
    int sock = -1;
    bool holding = mxOpenListenSock("127.0.0.1", 65535, nullptr, &sock, nullptr) == 0;
    EXPECT_EQ(FindFreeListenPort("127.0.0.1", 65535, nullptr), -1);
    if (holding)
        mxCloseSocket(sock, nullptr);
    EXPECT_EQ(FindFreeListenPort("no-such-host.invalid", 5101, nullptr), -1);
}

TEST(Socket, FindFreePortStopsAtTheFirstFailureOtherThanAPortInUse)
{
    // 192.0.2.10 is no address of this machine: every bind would fail alike.
    logged.clear();
    EXPECT_EQ(FindFreeListenPort("192.0.2.10", 5101, Capture), -1);
    size_t binds = std::count_if(logged.begin(), logged.end(), [](const std::string& line) {
        return line.find("mxOpenSocket(): Error " + std::to_string(EADDRNOTAVAIL) + " on bind()") != std::string::npos;
    });
    EXPECT_EQ(binds, 1u);
}

TEST(Socket, RecvReportsWouldBlockAndClose)
{
    SocketPair pair;
    ASSERT_TRUE(SetNonBlocking(pair.a));
    char buffer[8];
    int error = 0;
    logged.clear();
    EXPECT_EQ(mxRecv(pair.a, buffer, sizeof buffer, &error, Capture), -1);
    EXPECT_EQ(error, EWOULDBLOCK);
    EXPECT_TRUE(Logged("EWOULDBLOCK error("));

    int sendError = 0;
    EXPECT_EQ(mxSend(pair.b, "abc", 3, &sendError), 3);
    EXPECT_EQ(mxRecv(pair.a, buffer, sizeof buffer, &error, Capture), 3);
    EXPECT_EQ(error, 0);
    shutdown(pair.b, SHUT_WR);
    EXPECT_EQ(mxRecv(pair.a, buffer, sizeof buffer, &error, Capture), 0);
}

TEST(Socket, ErrorMessagesAreOneLine)
{
    logged.clear();
    mxErrorMessage(ENOENT, Capture);
    mxErrorMessage(987654, Capture);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "mxErrorMessage(2) => 'No such file or directory'");
    EXPECT_EQ(logged[1], "mxErrorMessage(): Undefined error code: 987654");
}

TEST(Socket, ConnectionLabelLayout)
{
    std::string label = ConnectionLabel(42);
    ASSERT_EQ(label.size(), 22u);
    EXPECT_EQ(label.substr(18), "0042");
    for (char c : label)
        EXPECT_TRUE(c >= '0' && c <= '9') << label;
}

TEST(Socket, SetKeepsOrderAndCapacity)
{
    SocketSet set;
    for (int s = 0; s < SocketSet::kCapacity; ++s)
        ASSERT_TRUE(set.Add(s + 10000));
    EXPECT_FALSE(set.Add(1));
    EXPECT_TRUE(set.Add(10000));  // already present
    set.Remove(10001);
    EXPECT_EQ(set.Count(), SocketSet::kCapacity - 1);
    EXPECT_EQ(set.Sockets()[1], 10002);
}

TEST(Socket, WaitReportsOnlyReadySocketsOfAnyNumber)
{
    RaiseDescriptorLimit(SocketSet::kCapacity + 64, nullptr);
    SocketPair quiet, busy;
    // Descriptor numbers far above select()'s limit.
    int high = dup2(busy.a, 3000);
    ASSERT_EQ(high, 3000);
    TMxSockThread relay;  // not started: only its stop request matters here
    int error = 0;
    mxSend(busy.b, "x", 1, &error);

    SocketSet readSet;
    readSet.Add(quiet.a);
    readSet.Add(high);
    EXPECT_EQ(WinSelect(&readSet, nullptr, nullptr, 0), 1);
    ASSERT_EQ(readSet.Count(), 1);
    EXPECT_EQ(readSet.Sockets()[0], high);
    close(high);
}

TEST(Socket, WaitTimesOutWithSetsEmptied)
{
    SocketPair quiet;
    TMxSockThread relay;
    SocketSet readSet;
    readSet.Add(quiet.a);
    EXPECT_EQ(WinSelect(&readSet, nullptr, nullptr, 1), 0);
    EXPECT_EQ(readSet.Count(), 0);
}

TEST(Socket, WaitWithoutLimitEndsOnStopRequest)
{
    SocketPair quiet;
    TMxSockThread relay;
    SocketSet readSet;
    readSet.Add(quiet.a);
    auto waiting = std::async(std::launch::async, [&] { return WinSelect(&readSet, nullptr, nullptr, 0); });
    relay.Terminate();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
    EXPECT_EQ(readSet.Count(), 0);
}
