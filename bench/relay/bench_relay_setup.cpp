#include "bench_relay_setup.h"

#include "bench_programs.h"

#include "config/settings.h"

#include <chrono>
#include <cstdlib>
#include <future>

namespace {

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
