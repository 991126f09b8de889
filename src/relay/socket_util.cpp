#include "relay/socket_util.h"

#include "relay/mx_thread.h"
#include "base/net_log.h"

#include "base/format_text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

// ---------------------------------------------------------------- SocketSet

bool SocketSet::Add(int socket)
{
    if (Contains(socket))
        return true;
    if (Full() || socket < 0)
        return false;
    if (static_cast<size_t>(socket) >= member_.size())
        member_.resize(static_cast<size_t>(socket) + 1);
    member_[static_cast<size_t>(socket)] = true;
    sockets_.push_back(socket);
    return true;
}

void SocketSet::Remove(int socket)
{
    if (!Contains(socket))
        return;
    member_[static_cast<size_t>(socket)] = false;
    sockets_.erase(std::find(sockets_.begin(), sockets_.end(), socket));
}

bool SocketSet::Contains(int socket) const
{
    return socket >= 0 && static_cast<size_t>(socket) < member_.size() && member_[static_cast<size_t>(socket)];
}

void SocketSet::Clear()
{
    for (int socket : sockets_)
        member_[static_cast<size_t>(socket)] = false;
    sockets_.clear();
}

int SocketSet::Count() const
{
    return static_cast<int>(sockets_.size());
}

bool SocketSet::Full() const
{
    return Count() >= kCapacity;
}

// ---------------------------------------------------------------- helpers

int mxSockInit(SocketLog)
{
    return 0;
}

bool SetNonBlocking(int socket)
{
    int flags = fcntl(socket, F_GETFL, 0);
    return flags != -1 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) != -1;
}

void SetNoDelay(int socket)
{
    int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

namespace {

// 0, or a non-zero resolver code.
int ResolveIPv4(const char* host, in_addr* address)
{
    if (IsDottedQuad(host))
        return inet_pton(AF_INET, host, address) == 1 ? 0 : EAI_NONAME;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host, nullptr, &hints, &found);
    if (rc != 0)
        return rc;
    *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 0;
}

} // namespace

TcpOpenResult OpenTcpSocket(const char* host, int port, bool nonBlocking, sockaddr_in* address,
                            int* socketOut)
{
    *socketOut = -1;
    *address = {};
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<uint16_t>(port));
    if (int code = ResolveIPv4(host, &address->sin_addr); code != 0)
        return {TcpOpenStep::Unresolved, code};
    int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return {TcpOpenStep::SocketFailed, errno};
    *socketOut = sock;
    if (nonBlocking && !SetNonBlocking(sock))
        return {TcpOpenStep::NonBlockingFailed, errno};
    return {};
}

void LogResolveError(int code, SocketLog log)
{
    std::string text = code == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(code);
    if (log)
        log("mxErrorMessage(%d) => '%s'", code, text.c_str());
}

void mxErrorMessage(int code, SocketLog log)
{
    if (!log)
        log = mxLog;
    char buffer[256];
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string message = text ? text : "";
    if (message.empty() || message.rfind("Unknown error", 0) == 0) {
        log("mxErrorMessage(): Undefined error code: %d", code);
        return;
    }
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    std::replace_if(message.begin(), message.end(),
                    [](char c) { return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; },
                    ' ');
    log("mxErrorMessage(%d) => '%s'", code, message.c_str());
}

bool IsDottedQuad(const char* text)
{
    if (!text || std::strlen(text) > 15)
        return false;
    std::string rest = text;
    int parts = 0;
    size_t start = 0;
    while (true) {
        size_t dot = rest.find('.', start);
        std::string part = rest.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 3)
            return false;
        if (!std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        if (std::stoi(part) > 255)
            return false;
        ++parts;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return parts == 4;
}

std::string ConnectionLabel(int number)
{
    timeval now{};
    gettimeofday(&now, nullptr);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    int millis = static_cast<int>(now.tv_usec / 1000);
    std::string seconds = FormatText("%07.4f", local.tm_sec + millis / 1000.0);
    return FormatText("%.4d%.2d%.2d%.2d%.2d%.2s%.4s%.4d", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday, local.tm_hour, local.tm_min, seconds.c_str(),
                      seconds.c_str() + 3, number);
}

void RaiseDescriptorLimit(int wanted, SocketLog log)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= static_cast<rlim_t>(wanted))
        return;
    rlim_t target = static_cast<rlim_t>(wanted);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < target)
        target = limit.rlim_max;
    rlimit raised = {target, limit.rlim_max};
    if (setrlimit(RLIMIT_NOFILE, &raised) != 0 || target < static_cast<rlim_t>(wanted)) {
        if (log)
            log("RaiseDescriptorLimit() Open file limit %lu of %d wanted; fewer clients can be served.",
                static_cast<unsigned long>(target), wanted);
    }
}

// ---------------------------------------------------------------- open/close

int mxCloseSocket(int socket, SocketLog log)
{
    if (close(socket) != 0) {
        if (log)
            log("mxCloseSocket() Error(%d) closing socket(%d)%s", errno, socket, "");
        return -1;
    }
    if (log)
        log("mxCloseSocket() Socket(%d) closed", socket);
    return 0;
}

namespace {

// The host name of this machine, or empty with errno kept.
std::string LocalHostName()
{
    char name[kMaxHostNameLength + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

// errno holds error afterwards, for callers that tell causes apart.
int FailAndClose(int code, int socket, int error, SocketLog log)
{
    if (log)
        mxErrorMessage(error, log);
    mxCloseSocket(socket, log);
    errno = error;
    return code;
}

// mxOpenSocket's lines and result for a socket that could not be opened.
int OpenFailed(const TcpOpenResult& opened, const std::string& name, int socket, SocketLog log)
{
    switch (opened.step) {
    case TcpOpenStep::Unresolved:
        if (log) {
            log("mxOpenSocket(): gethostbyname(%s) error(%d)", name.c_str(), opened.error);
            LogResolveError(opened.error, log);
        }
        return kOpenUnresolved;
    case TcpOpenStep::SocketFailed:
        if (log) {
            log("mxOpenSocket() Error: socket() Failed(%d)", opened.error);
            mxErrorMessage(opened.error, log);
        }
        return kOpenSocketFailed;
    case TcpOpenStep::NonBlockingFailed:
        if (log)
            log("mxOpenSocket(): ioctlsocket failed (%d)", opened.error);
        return FailAndClose(kOpenNonBlockingFailed, socket, opened.error, log);
    case TcpOpenStep::Opened:
        break;
    }
    return 0;
}

// Binds the socket to address and listens: 0, or the failure's code with
// the socket closed.
int Listen(int socket, const sockaddr_in& address, SocketLog log)
{
    // A relay restarted right after its clients left must bind again at once.
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        if (log)
            log("mxOpenSocket(): Error %d on bind()", error);
        return FailAndClose(kOpenBindFailed, socket, error, log);
    }
    // The design's backlog of 5 was Winsock 1.1's largest; here it
    // would drop the SYNs of pharmacies that connect at the same moment,
    // and each would retry a whole second later.
    if (listen(socket, SOMAXCONN) != 0) {
        int error = errno;
        if (log)
            log("mxOpenSocket(): listen() Failed(%d)", error);
        return FailAndClose(kOpenListenFailed, socket, error, log);
    }
    return 0;
}

} // namespace

int mxOpenSocket(const char* host, int port, sockaddr_in* address, int* socketOut,
                 SocketLog log, bool listening, bool nonBlocking)
{
    bool hostGiven = host && *host;
    if (!listening && !hostGiven) {
        if (log)
            log("mxOpenSocket() Error: Host name/IP was not specified.");
        return kOpenNoHost;
    }
    if (port < 0 || port > 65535) {
        if (log)
            log("mxOpenSocket() Error: Invalid port(%d); valid values(0 to 65535)", port);
        return kOpenBadPort;
    }
    if (hostGiven && std::strlen(host) > kMaxHostNameLength) {
        if (log)
            log("mxOpenSocket() Error: Host name of %zu characters refused; at most %d are allowed.",
                std::strlen(host), kMaxHostNameLength);
        return kOpenUnresolved;
    }
    if (mxSockInit(log) != 0)
        return kOpenInitFailed;

    std::string name = hostGiven ? host : LocalHostName();
    if (name.empty()) {
        int error = errno;
        if (log) {
            log("mxOpenSocket(): gethostname(%s) error(%d)", "", error);
            mxErrorMessage(error, log);
        }
        return kOpenNoLocalName;
    }

    sockaddr_in resolved{};
    int sock = -1;
    TcpOpenResult opened = OpenTcpSocket(name.c_str(), port, nonBlocking, &resolved, &sock);
    if (opened.step != TcpOpenStep::Opened)
        return OpenFailed(opened, name, sock, log);
    if (listening) {
        if (int rc = Listen(sock, resolved, log); rc != 0)
            return rc;
    }

    if (address)
        *address = resolved;
    *socketOut = sock;
    return 0;
}

int mxOpenListenSock(const char* host, int port, sockaddr_in* address, int* socketOut,
                     SocketLog log)
{
    int rc = mxOpenSocket(host, port, address, socketOut, log, true, true);
    if (rc == 0 && log)
        log("mxOpenListenSock() Successful: Host(%s) Port(%d) listenSocket(%d)",
            host ? host : "null", port, *socketOut);
    return rc;
}

int FindFreeListenPort(const char* host, int seedPort, SocketLog log)
{
    for (int port = std::max(seedPort, 0); port <= 65535; ++port) {
        int sock = -1;
        int rc = mxOpenListenSock(host, port, nullptr, &sock, log);
        if (rc == 0) {
            mxCloseSocket(sock, log);
            return port;
        }
        // Only a taken port is worth trying the next one; any other failure
        // (a host that is not this machine's, say) would repeat for every port.
        if (rc != kOpenBindFailed || errno != EADDRINUSE)
            return -1;
    }
    return -1;
}

// ---------------------------------------------------------------- I/O

int mxRecv(int socket, char* buffer, int size, int* error, SocketLog log)
{
    while (true) {
        ssize_t got = recv(socket, buffer, static_cast<size_t>(size), 0);
        if (got >= 0) {
            *error = 0;
            return static_cast<int>(got);
        }
        *error = errno;
        if (*error == EINTR) {
            if (log)
                log("mxRecv(%d) Interrupted recv() system call", socket);
            continue;
        }
        if (log) {
            if (*error == EWOULDBLOCK)
                log("mxRecv(%d) EWOULDBLOCK error(%d)", socket, *error);
            else if (*error == EAGAIN)
                log("mxRecv(%d) EAGAIN error(%d)", socket, *error);
            else {
                log("mxRecv(%d) Unexpected error(%d)", socket, *error);
                mxErrorMessage(*error, log);
            }
        }
        return -1;
    }
}

int mxSend(int socket, const char* data, int size, int* error)
{
    ssize_t sent;
    do
        sent = send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    *error = sent < 0 ? errno : 0;
    return static_cast<int>(sent);
}

// ---------------------------------------------------------------- WinSelect

namespace {

constexpr short kReadEvents = POLLIN | POLLHUP | POLLERR | POLLNVAL;
constexpr short kWriteEvents = POLLOUT | POLLHUP | POLLERR | POLLNVAL;
constexpr short kErrorEvents = POLLPRI | POLLERR | POLLNVAL;

struct WatchedSet {
    SocketSet* set;
    short events;     // asked for
    short readyWhen;  // revents that count as ready
};

void LogTimeout(int timeout, time_t startWall, long elapsed)
{
    time_t now = time(nullptr);
    mxLog("WinSelect() Timeout RT(%d) CT(%ld) TS(%ld) CT-TS(%ld)", timeout, static_cast<long>(now),
          static_cast<long>(startWall), elapsed);
}

void ClearAll(const std::vector<WatchedSet>& sets)
{
    for (const WatchedSet& w : sets)
        w.set->Clear();
}

void LogPollError(int error)
{
    switch (error) {
    case EFAULT: mxLog("WinSelect() Error(%d) WSAEFAULT", error); break;
    case EINVAL: mxLog("WinSelect() Error(%d) WSAEINVAL", error); break;
    case EBADF: mxLog("WinSelect() Error(%d) WSAENOTSOCK", error); break;
    default: mxLog("WinSelect() UNEXPECTED ERROR(%d)", error); break;
    }
    mxErrorMessage(error, mxLog);
}

} // namespace

namespace {

int WakeDescriptor()
{
    static const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd;
}

void DrainWakeDescriptor()
{
    uint64_t count = 0;
    while (read(WakeDescriptor(), &count, sizeof count) > 0) {
    }
}

} // namespace

void WakeWinSelect()
{
    uint64_t one = 1;
    ssize_t written = write(WakeDescriptor(), &one, sizeof one);
    (void)written;
}

int WinSelect(SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet, int timeoutSeconds)
{
    if (timeoutSeconds < 0) {
        mxLog("    WinSelect() theTimeout(%d)", timeoutSeconds);
        timeoutSeconds = 0;
    }
    std::vector<WatchedSet> sets;
    if (readSet)
        sets.push_back({readSet, POLLIN, kReadEvents});
    if (writeSet)
        sets.push_back({writeSet, POLLOUT, kWriteEvents});
    if (errorSet)
        sets.push_back({errorSet, POLLPRI, kErrorEvents});

    // One poll entry per socket and set, so a socket in two sets counts twice
    // when ready in both, as it would with select(). The wake-up descriptor
    // comes last and is never counted as a socket.
    std::vector<pollfd> fds;
    for (const WatchedSet& w : sets)
        for (int s : w.set->Sockets())
            fds.push_back({s, w.events, 0});
    fds.push_back({WakeDescriptor(), POLLIN, 0});

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const time_t startWall = time(nullptr);
    const auto limit = std::chrono::seconds(timeoutSeconds);

    while (true) {
        auto elapsed = Clock::now() - start;
        if (timeoutSeconds > 0 && elapsed >= limit) {
            LogTimeout(timeoutSeconds, startWall,
                       static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count()));
            ClearAll(sets);
            return 0;
        }
        int sliceMs = 1000;
        if (timeoutSeconds > 0)
            sliceMs = static_cast<int>(std::min<long long>(
                sliceMs, std::chrono::duration_cast<std::chrono::milliseconds>(limit - elapsed).count() + 1));

        for (pollfd& p : fds)
            p.revents = 0;
        int rc = poll(fds.data(), fds.size(), sliceMs);
        if (rc > 0 && (fds.back().revents & POLLIN))
            DrainWakeDescriptor();
        if (rc < 0) {
            int error = errno;
            // A signal landing on this thread is no reason to stop serving.
            if (error == EINTR || error == EAGAIN) {
                mxLog("WinSelect() Error(%d) WSAEINTR", error);
                continue;
            }
            LogPollError(error);
            return -1;
        }
        if (rc > 0) {
            std::vector<std::vector<int>> readyPerSet;
            int ready = 0;
            size_t index = 0;
            for (const WatchedSet& w : sets) {
                readyPerSet.emplace_back();
                for (int s : w.set->Sockets()) {
                    if (fds[index++].revents & w.readyWhen)
                        readyPerSet.back().push_back(s);
                }
                ready += static_cast<int>(readyPerSet.back().size());
            }
            if (ready > 0) {
                for (size_t i = 0; i < sets.size(); ++i) {
                    sets[i].set->Clear();
                    for (int s : readyPerSet[i])
                        sets[i].set->Add(s);
                }
                return ready;
            }
        }
        if (mxSockShouldTerminate()) {
            ClearAll(sets);
            return 0;
        }
    }
}
