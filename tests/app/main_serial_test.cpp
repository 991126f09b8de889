// The whole serial road as processes: pharmacy-sim on one end of a socat pty
// pair, corvane with the serial source on the other, its relay, and the
// switch simulator.
#include "config/settings.h"
#include "pty_pair.h"
#include "sim_support.h"
#include "test_env.h"

#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <ostream>
#include <sys/socket.h>
#include <unistd.h>

namespace {


class SerialRoadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ptys.Ready()); }

    // Starts the switch and corvane on the modem end in the given profile.
    void StartCorvane(int profile, bool lrc, bool visa2, const QStringList& switchFaults = {})
    {
        switchSim = std::make_unique<sim::ToolProcess>(
            "tuq-switch-sim", QStringList{"--port", "0", "--twofish"} + switchFaults);
        std::uint16_t switchPort = switchSim->waitForListening();
        ASSERT_NE(switchPort, 0);

        SetDataSourceSerialPort();
        SetEnableDebugMessages(true);
        SetDebugFileName(home.path() + "/TuqLog.txt");
        SetSystemID("SERIALRD");
        SetInboundHostName("127.0.0.1");
        SetInboundPort(sim::UnusedLoopbackPort());
        SetInboundSocketFormat(1);
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1A(switchPort);
        SetOutboundPort1B(0);
        SetEnableOutboundTwofishSecurity(true);
        SetPharmacyConfig(profile);
        SetComNumber(1);
        SetComPortDevice(1, ptys.PathB());
        SetLrc(lrc);
        SetVisa2(visa2);
        SetEnqHalfSecDelay(false);

        corvane = std::make_unique<sim::ToolProcess>("corvane", QStringList{"-headless"});
        ASSERT_TRUE(WaitForLog("OpenSourcePort successful.")) << Log();
    }

    std::string Log() const { return ReadWholeFile(home.path() + "/TuqLog.txt"); }

    bool WaitForLog(const std::string& text, int seconds = 60)
    {
        for (int waited = 0; waited < seconds * 20; ++waited) {
            if (Log().find(text) != std::string::npos)
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    std::unique_ptr<sim::ToolProcess> Pharmacy(const QStringList& args)
    {
        return std::make_unique<sim::ToolProcess>(
            "pharmacy-sim",
            QStringList{"--serial", QString::fromStdString(ptys.PathA()), "--timeout", "30"} + args);
    }

    TestHome home;
    PtyPair ptys;
    std::unique_ptr<sim::ToolProcess> switchSim;
    std::unique_ptr<sim::ToolProcess> corvane;
};

struct RoadCase {
    int profile;
    bool lrc;
    bool visa2;
};

void PrintTo(const RoadCase& c, std::ostream* out)
{
    *out << "profile " << c.profile << (c.lrc ? " lrc" : "") << (c.visa2 ? " visa2" : " visa1");
}

class SerialRoadCaseTest : public SerialRoadTest, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(SerialRoadCaseTest, EveryClaimGetsItsPaidResponse)
{
    const RoadCase& c = GetParam();
    StartCorvane(c.profile, c.lrc, c.visa2);
    QStringList args{"--profile", QString::number(c.profile), "--claims", "3", "--expect-paid"};
    if (c.lrc)
        args << "--lrc";
    if (c.visa2)
        args << "--visa2";
    auto pharmacy = Pharmacy(args);
    EXPECT_EQ(pharmacy->waitForExit(), 0) << pharmacy->output().toStdString()
                                          << pharmacy->errors().toStdString() << Log();
    EXPECT_NE(pharmacy->output().indexOf("claims=3 ok=3 failed=0"), -1)
        << pharmacy->output().toStdString();
    EXPECT_EQ(corvane->terminate(), 0);
}

INSTANTIATE_TEST_SUITE_P(Profiles, SerialRoadCaseTest,
                         ::testing::Values(RoadCase{0, true, false}, RoadCase{0, false, true},
                                           RoadCase{1, false, false}, RoadCase{1, true, true},
                                           RoadCase{4, true, true}, RoadCase{7, false, false},
                                           RoadCase{7, true, true}));

// The switch drops the connection: the relay's TUQ02 reject reaches the
// pharmacy as an ordinary response in VISA framing.
TEST_F(SerialRoadTest, SwitchFaultArrivesAsTheRelaysReject)
{
    StartCorvane(0, true, false, {"--close"});
    auto pharmacy = Pharmacy({"--profile", "0", "--lrc", "--claims", "1"});
    EXPECT_EQ(pharmacy->waitForExit(), 0) << pharmacy->errors().toStdString() << Log();
    EXPECT_NE(Log().find("TUQ02 HOST DISCONNECTED (SERIALRD)"), std::string::npos) << Log();
    EXPECT_EQ(corvane->terminate(), 0);
}

// Corvane stops while the switch sits on a claim: the pharmacy hears EOT and
// the NO CARRIER report, never a stale or made-up response.
TEST_F(SerialRoadTest, StopMidClaimGivesEotAndNoCarrier)
{
    StartCorvane(0, false, false, {"--no-answer"});
    auto pharmacy = Pharmacy({"--profile", "0", "--claims", "1"});
    ASSERT_TRUE(WaitForLog("SndBuf(")) << Log();
    EXPECT_EQ(corvane->terminate(), 0);
    EXPECT_EQ(pharmacy->waitForExit(), 1);
    EXPECT_NE(pharmacy->errors().indexOf("Corvane hung up (<EOT>, NO CARRIER) instead of answering"), -1)
        << pharmacy->errors().toStdString() << pharmacy->output().toStdString();
}

}  // namespace
