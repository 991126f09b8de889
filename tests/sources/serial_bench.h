#pragma once
#include "ports/comm_port.h"
#include "ports/null_modem.h"
#include "recording_host.h"
#include "sources/modem_emulator.h"
#include "sources/visa_exchange.h"
#include "test_env.h"
#include "wait_for.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One turn of a dialogue: what the pharmacy system says, what it must hear
// next, and what else happens once it has heard it.
struct Step {
    Step(std::string say, std::string hear, std::function<void()> after = {})
        : say(std::move(say)), hear(std::move(hear)), after(std::move(after))
    {
    }
    std::string say;
    std::string hear;
    std::function<void()> after;
};

// The modem emulator and its VISA exchange on one end of an in-process
// null-modem cable, a pharmacy system's port on the other, and a host that
// answers every claim from a script. The pharmacy side answers from the
// port's notifications, as a real one would, so that it is heard while the
// exchange waits inside its own event loop.
class SerialBench : public ::testing::Test {
protected:
    SerialBench();

    // Opens the data source in the profile as the controller does.
    void Open(int profile);
    // Plays the steps; each must hear exactly its bytes next, nothing else.
    void Run(const std::vector<Step>& steps);
    bool Logged(const std::string& line) const;

    TestHome home;
    NullModemPair cable;
    RecordingHost host;
    ModemEmulator modem{host};
    VisaExchange visa{host, modem};
    TApdWinsockPort pharmacy;

private:
    void Advance();

    std::string heard_;
    size_t consumed_ = 0;
    std::vector<Step> script_;
    size_t step_ = 0;
    std::string failure_;
};

// The check byte of a VISA packet's text (with ETX folded in).
std::string WithLrc(const std::string& textAndEtx);
