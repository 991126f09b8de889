#include "bench_relay_setup.h"

#include "config/settings.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>

namespace {

std::uint16_t FreeLoopbackPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

void WriteRelaySettings(std::uint16_t inboundPort, std::uint16_t switchPort)
{
    SetDataSourceSocketPort();
    SetInboundHostName("127.0.0.1");
    SetInboundPort(inboundPort);
    SetInboundSocketFormat(2);  // Tuq Header, no Twofish
    SetInboundIdleTimeout(0);
    SetEnableNetwork1(true);
    SetOutboundHostName1("127.0.0.1");
    SetOutboundPort1A(switchPort);
    SetOutboundPort1B(0);
    SetEnableNetwork2(false);
    SetEnableNetwork3(false);
    SetEnableOutboundSSLCommunications(false);
    SetEnableOutboundTwofishSecurity(false);
    SetPersistentOutboundConnection(true);
    SetEnableNetworkDebugMessages(false);
}

}  // namespace

BenchRelay::BenchRelay(const std::string& folder, std::uint16_t switchPort)
{
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("CORVANE_SETTINGS", (folder + "/Corvane.reg").c_str(), 1);
    port_ = FreeLoopbackPort();
    WriteRelaySettings(port_, switchPort);
}

BenchRelay::~BenchRelay()
{
    thread_.reset();
}

bool BenchRelay::start()
{
    auto ready = std::make_shared<std::promise<void>>();
    std::future<void> started = ready->get_future();
    RelayCallbacks callbacks;
    callbacks.OnReady = [ready] { ready->set_value(); };
    thread_ = std::make_unique<TMxSockThread>(callbacks);
    thread_->Resume();
    return started.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
}
