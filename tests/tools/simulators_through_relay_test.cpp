// The whole socket path: pharmacy-sim -> relay thread -> tuq-switch-sim.
#include "relay_fixture.h"
#include "sim_support.h"

#include <gtest/gtest.h>

namespace {

using namespace sim;

struct PathCase {
    int inboundFormat;  // 0/1 MxSock, 2/3 Tuq Header; odd with Twofish
    bool outboundTwofish;
};

class SimulatorsThroughRelay : public RelayTestBase, public ::testing::TestWithParam<PathCase> {};

TEST_P(SimulatorsThroughRelay, EveryClaimGetsItsPaidResponse)
{
    const PathCase c = GetParam();
    ToolProcess sim("tuq-switch-sim", c.outboundTwofish ? QStringList{"--port", "0", "--twofish"}
                                                        : QStringList{"--port", "0"});
    std::uint16_t switchPort = sim.waitForListening();
    ASSERT_NE(switchPort, 0);
    UseHost(1, "127.0.0.1", switchPort, 0);
    SetInboundSocketFormat(c.inboundFormat);
    SetEnableOutboundTwofishSecurity(c.outboundTwofish);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());

    QStringList args{"--port", QString::number(inboundPort), "--framing", c.inboundFormat >= 2 ? "tuq" : "mxsock",
                     "--connections", "3", "--claims", "5", "--expect-paid"};
    if (c.inboundFormat % 2 == 1)
        args << "--twofish";
    ToolProcess pharmacy("pharmacy-sim", args);
    EXPECT_EQ(pharmacy.waitForExit(), 0) << pharmacy.errors().toStdString();
    EXPECT_TRUE(pharmacy.output().startsWith("claims=15 ok=15 failed=0 ")) << pharmacy.output().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Framings, SimulatorsThroughRelay,
                         ::testing::Values(PathCase{0, false}, PathCase{1, false}, PathCase{2, false},
                                           PathCase{3, true}),
                         [](const ::testing::TestParamInfo<PathCase>& info) {
                             return "Format" + std::to_string(info.param.inboundFormat)
                                 + (info.param.outboundTwofish ? "OutboundTwofish" : "Plain");
                         });

}  // namespace
