#pragma once
#include <netinet/in.h>
#include <string>
#include <vector>

// The relay's thin layer over POSIX stream sockets. Every operation takes an
// optional printf-style writer for its log lines; null writes nothing.

using SocketLog = int (*)(const char* format, ...);

constexpr int kMaxHostNameLength = 511;

// The relay's socket set: at most 5000 client connections plus the
// listening and the upstream socket, distinct descriptors of any number, in
// the order they were added. Membership is a table indexed by the
// descriptor, so a test costs the same with 5000 sockets as with one.
class SocketSet {
public:
    static constexpr int kClientCapacity = 5000;
    static constexpr int kCapacity = kClientCapacity + 2;

    // False when the set is full; a socket already present is not added twice.
    bool Add(int socket);
    // Removes the socket, moving the later entries down.
    void Remove(int socket);
    bool Contains(int socket) const;
    void Clear();
    int Count() const;
    bool Full() const;
    const std::vector<int>& Sockets() const { return sockets_; }

private:
    std::vector<int> sockets_;
    std::vector<bool> member_;  // indexed by descriptor
};

// The socket library needs no start-up on POSIX: always 0.
int mxSockInit(SocketLog log);

// Closes the socket. Returns 0, or -1 with the failure logged.
int mxCloseSocket(int socket, SocketLog log);

// Result codes of mxOpenSocket.
enum : int {
    kOpenNoHost = -1,
    kOpenBadPort = -2,
    kOpenInitFailed = -3,
    kOpenNoLocalName = -4,
    kOpenUnresolved = -5,
    kOpenSocketFailed = -6,
    kOpenBindFailed = -7,
    kOpenListenFailed = -8,
    kOpenNonBlockingFailed = -9,
};

// Opens a TCP socket; a listening socket is bound to the address of host
// (the local host name when host is null or empty) with the system's largest
// backlog (SOMAXCONN).
// After kOpenBindFailed errno holds bind()'s error.
int mxOpenSocket(const char* host, int port, sockaddr_in* address, int* socketOut,
                 SocketLog log, bool listening, bool nonBlocking);

// A non-blocking listening socket.
int mxOpenListenSock(const char* host, int port, sockaddr_in* address, int* socketOut,
                     SocketLog log);

// The first port at or above seedPort that can be listened on, or -1: past
// 65535, or at the first failure other than a port in use.
int FindFreeListenPort(const char* host, int seedPort, SocketLog log);

// recv() with the relay's conventions: the byte count (0: the peer closed)
// with error 0, or -1 with errno in error. Interrupted calls are repeated.
int mxRecv(int socket, char* buffer, int size, int* error, SocketLog log);

// send() of the whole buffer in one call, never raising SIGPIPE. Returns
// the bytes accepted or -1 with errno in error.
int mxSend(int socket, const char* data, int size, int* error);

// Wakes a WinSelect that is waiting, so that a stop request takes effect at
// once instead of at the end of the current one-second slice.
void WakeWinSelect();

// Waits until a socket of the given sets is ready, in one-second slices that
// honour the relay's terminate request. timeoutSeconds 0 means no limit.
// Returns the number of ready entries (the sets then hold only the ready
// sockets), 0 on timeout or terminate request (the sets emptied), -1 on failure.
int WinSelect(SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet, int timeoutSeconds);

// Logs the system's text for an errno code; a null writer logs to the
// network log.
void mxErrorMessage(int code, SocketLog log);

bool IsDottedQuad(const char* text);

// "%.4d%.2d%.2d%.2d%.2d%.2s%.4s%.4d": local time down to the fraction of the
// second, then number.
std::string ConnectionLabel(int number);

// Switches a descriptor to non-blocking mode; false on failure (errno set).
bool SetNonBlocking(int socket);

// Turns Nagle's algorithm off: a claim or reply goes out when it is
// written instead of waiting for the peer to acknowledge the one before.
void SetNoDelay(int socket);

// Where OpenTcpSocket stopped; error in its result tells why.
enum class TcpOpenStep {
    Opened,
    Unresolved,         // error: the resolver's code, for LogResolveError
    SocketFailed,       // error: socket()'s errno
    NonBlockingFailed,  // error: errno; the socket stays open
};

struct TcpOpenResult {
    TcpOpenStep step = TcpOpenStep::Opened;
    int error = 0;
};

// The relay's one way to a TCP socket, for the listener and the upstream
// client alike: host (a dotted quad or a name) resolved to its first IPv4
// address, with port, into address; then an IPv4 stream socket, closed on
// exec and non-blocking when asked, in socketOut (-1 when none was made).
// Logs nothing, so that each caller keeps its own lines. After
// NonBlockingFailed the socket is open for those lines; the caller closes it.
TcpOpenResult OpenTcpSocket(const char* host, int port, bool nonBlocking, sockaddr_in* address,
                            int* socketOut);
// Logs the resolver's text for an Unresolved code the way mxErrorMessage does.
void LogResolveError(int code, SocketLog log);

// Raises the open-descriptor limit so that wanted descriptors fit; logs
// through log when the system refuses.
void RaiseDescriptorLimit(int wanted, SocketLog log);
