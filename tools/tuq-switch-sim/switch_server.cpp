#include "switch_server.h"

#include "client_connection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool ResolveIPv4(const std::string& host, in_addr& address, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

}  // namespace

SwitchServer::SwitchServer(const SwitchOptions& options, SSL_CTX* tls)
    : options_(options), tls_(tls)
{
}

SwitchServer::~SwitchServer()
{
    stopAll();
    if (listenFd_ >= 0)
        ::close(listenFd_);
    if (finishedEvent_ >= 0)
        ::close(finishedEvent_);
}

bool SwitchServer::listen(std::string& error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    if (!ResolveIPv4(options_.host, address.sin_addr, error))
        return false;

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    finishedEvent_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listenFd_ < 0 || finishedEvent_ < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return false;
    }
    int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listenFd_, SOMAXCONN) != 0) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": "
            + std::strerror(errno);
        return false;
    }
    socklen_t size = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    return true;
}

void SwitchServer::run(int stopFd)
{
    for (;;) {
        pollfd fds[3] = {{listenFd_, POLLIN, 0}, {finishedEvent_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("tuq-switch-sim: poll");
            break;
        }
        if (fds[2].revents)
            break;
        if (fds[1].revents)
            reapFinished();
        if (fds[0].revents)
            accept();
    }
    stopAll();
}

void SwitchServer::accept()
{
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
            std::perror("tuq-switch-sim: accept");
        return;
    }
    auto connection = std::make_unique<Connection>();
    Connection* c = connection.get();
    c->fd = fd;
    int number = ++accepted_;
    if (options_.verbose)
        std::fprintf(stderr, "tuq-switch-sim: connection %d accepted\n", number);
    c->thread = std::thread([this, c, number] {
        ClientConnection(c->fd, number, options_, tls_, authorizations_).run();
        c->finished = true;
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(finishedEvent_, &one, sizeof one);
    });
    connections_.push_back(std::move(connection));
}

void SwitchServer::reapFinished()
{
    std::uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(finishedEvent_, &count, sizeof count);
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = **it;
        if (!c.finished) {
            ++it;
            continue;
        }
        c.thread.join();
        ::close(c.fd);
        it = connections_.erase(it);
    }
}

void SwitchServer::stopAll()
{
    // Shutting the sockets down wakes every thread from its wait or read.
    for (auto& c : connections_)
        ::shutdown(c->fd, SHUT_RDWR);
    for (auto& c : connections_) {
        c->thread.join();
        ::close(c->fd);
    }
    connections_.clear();
}
