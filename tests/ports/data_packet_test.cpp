#include "ports/comm_port.h"
#include "ports/data_packet.h"
#include "ports/null_modem.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "wait_for.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The four matchers of the modem emulator on the receiving end of a
// null-modem cable, each recording what it delivers as "NAME:data".
class MatcherBench : public ::testing::Test {
protected:
    MatcherBench()
    {
        pharmacy.SetDevicePath(cable.PathA());
        source.SetDevicePath(cable.PathB());
        Add("AT", "AT", ecString, "\r", 90);
        Add("ESC", "+++", 0, "", 364);
        Add("EOT", "\x04", 0, "", 364);
        Add("CLAIM", "\x02", ecString, "\x03?", 182);
        pharmacy.SetOpen(true);
        source.SetOpen(true);
        QObject::connect(&source, &TApdWinsockPort::OnTriggerAvail, [this](int count) {
            seenBySource += source.GetBlock(count);
        });
    }

    void Add(const std::string& name, const std::string& start, int endCond,
             const std::string& end, int ticks)
    {
        auto matcher = std::make_unique<TApdDataPacket>(source);
        matcher->SetAutoEnable(false);
        matcher->SetStartString(start);
        matcher->SetEndCond(endCond);
        matcher->SetEndString(end);
        matcher->SetTimeOut(ticks);
        matcher->OnStringPacket = [this, name](TApdDataPacket&, const std::string& data) {
            events.push_back(name + ":" + data);
        };
        matcher->OnTimeout = [this, name](TApdDataPacket&) { events.push_back(name + ":timeout"); };
        matchers[name] = std::move(matcher);
    }

    // Sends each piece on its own and waits until the source has seen it.
    void Send(const std::vector<std::string>& pieces)
    {
        for (const std::string& piece : pieces) {
            sent += piece;
            pharmacy.PutString(piece);
            ASSERT_TRUE(WaitFor([&] { return seenBySource.size() == sent.size(); }));
        }
    }

    TApdDataPacket& M(const std::string& name) { return *matchers.at(name); }

    NullModemPair cable;
    TApdWinsockPort pharmacy, source;
    std::map<std::string, std::unique_ptr<TApdDataPacket>> matchers;
    std::vector<std::string> events;
    std::string sent, seenBySource;
};

struct StreamCase {
    std::string label;
    std::vector<std::string> armed;
    std::vector<std::string> pieces;
    std::vector<std::string> events;
    std::vector<std::string> stillArmed;
};

void PrintTo(const StreamCase& c, std::ostream* out)
{
    *out << c.label;
}

class StreamTest : public MatcherBench, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StreamTest, DeliversThePacketsOfTheStream)
{
    const StreamCase& c = GetParam();
    for (const std::string& name : c.armed)
        M(name).SetEnabled(true);

    Send(c.pieces);

    EXPECT_EQ(events, c.events);
    for (const auto& [name, matcher] : matchers) {
        bool expectArmed = std::find(c.stillArmed.begin(), c.stillArmed.end(), name) != c.stillArmed.end();
        EXPECT_EQ(matcher->Mode() != dpIdle, expectArmed) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamTest,
    ::testing::Values(
        StreamCase{"LowerCaseCommandKeepsItsCase", {"AT"}, {"at", "dt555\r"}, {"AT:atdt555\r"}, {}},
        StreamCase{"StrayBytesBeforeTheCommandAreDropped", {"AT"}, {"xyzA", "T&F\r"}, {"AT:AT&F\r"}, {}},
        StreamCase{"WildcardTakesTheByteAfterEtx",
                   {"CLAIM"}, {"\x02" "abc\x03\x03"}, {"CLAIM:\x02" "abc\x03\x03"}, {}},
        StreamCase{"ClaimInPieces",
                   {"CLAIM", "AT"}, {"\x02" "ab", "c\x03", "L"}, {"CLAIM:\x02" "abc\x03L"}, {"AT"}},
        StreamCase{"EscapeInsideAClaimDoesNotFire",
                   {"CLAIM", "ESC"}, {"\x02" "a+++b\x03x"}, {"CLAIM:\x02" "a+++b\x03x"}, {"ESC"}},
        StreamCase{"EscapeAloneDeliversAtOnce", {"ESC", "AT"}, {"+", "++"}, {"ESC:+++"}, {"AT"}},
        StreamCase{"EotWithoutEndCondition", {"EOT", "CLAIM"}, {"\x04"}, {"EOT:\x04"}, {"CLAIM"}},
        StreamCase{"SecondClaimDroppedWhileDisarmed",
                   {"CLAIM"}, {"\x02" "a\x03x\x02" "b\x03y"}, {"CLAIM:\x02" "a\x03x"}, {}},
        StreamCase{"NothingArmedNothingDelivered", {}, {"AT\r\x02" "a\x03x"}, {}, {}},
        StreamCase{"AllBytesOfEveryValueInAClaim",
                   {"CLAIM"},
                   {std::string("\x02\x00\x1c\xff+", 5), std::string("\x7f\x03\x00", 3)},
                   {"CLAIM:" + std::string("\x02\x00\x1c\xff+\x7f\x03\x00", 8)},
                   {}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.label; });

// After a packet the rest of the buffer is scanned again by the matchers its
// handler armed.
TEST_F(MatcherBench, HandlerArmsTheNextMatcherForTheRestOfThePiece)
{
    M("AT").OnStringPacket = [this](TApdDataPacket&, const std::string& data) {
        events.push_back("AT:" + data);
        M("CLAIM").SetEnabled(true);
    };
    M("AT").SetEnabled(true);
    Send({"ATDT\r\x02" "c\x03z"});
    EXPECT_EQ(events, (std::vector<std::string>{"AT:ATDT\r", "CLAIM:\x02" "c\x03z"}));
}

TEST_F(MatcherBench, ReArmedClaimMatcherTakesOnlyNewBytes)
{
    M("CLAIM").SetEnabled(true);
    Send({"\x02" "a\x03x\x02" "b\x03y"});
    M("CLAIM").SetEnabled(true);
    Send({"\x02" "c\x03z"});
    EXPECT_EQ(events, (std::vector<std::string>{"CLAIM:\x02" "a\x03x", "CLAIM:\x02" "c\x03z"}));
}

TEST_F(MatcherBench, EndStringIsFoundAtItsFirstOccurrenceAfterAFailedPartialMatch)
{
    Add("ANGLE", "<", ecString, "aab", 0);
    M("ANGLE").SetEnabled(true);
    Send({"<aa", "ab", "aab"});
    EXPECT_EQ(events, std::vector<std::string>{"ANGLE:<aaab"});
}

TEST_F(MatcherBench, BackslashMakesTheWildcardLiteral)
{
    Add("QUERY", "\\?", 0, "", 0);
    M("QUERY").SetEnabled(true);
    Send({"x", "?"});
    EXPECT_EQ(events, std::vector<std::string>{"QUERY:?"});
}

TEST_F(MatcherBench, StartedPacketTimesOutAndItsBytesAreDiscarded)
{
    M("CLAIM").SetTimeOut(2);
    M("CLAIM").SetEnabled(true);
    M("AT").SetEnabled(true);
    Send({"\x02" "abc\x03"});
    ASSERT_TRUE(WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<std::string>{"CLAIM:timeout"});
    EXPECT_EQ(M("CLAIM").Mode(), dpIdle);

    // The capture is over: the command matcher sees new bytes, not old ones.
    Send({"AT\r"});
    EXPECT_EQ(events, (std::vector<std::string>{"CLAIM:timeout", "AT:AT\r"}));
}

TEST_F(MatcherBench, HandlerThatRaisesLeavesTheMatcherSettled)
{
    std::vector<QString> failures;
    QObject::connect(&M("AT"), &TApdDataPacket::HandlerFailed,
                     [&](const QString& message) { failures.push_back(message); });
    M("AT").OnStringPacket = [](TApdDataPacket&, const std::string&) {
        throw std::runtime_error("handler failed");
    };
    M("AT").SetEnabled(true);
    M("CLAIM").SetEnabled(true);
    Send({"AT\r\x02" "q\x03w"});
    EXPECT_EQ(failures, std::vector<QString>{"handler failed"});
    EXPECT_EQ(M("AT").Mode(), dpIdle);
    EXPECT_FALSE(M("AT").Enabled());
    EXPECT_EQ(events, std::vector<std::string>{"CLAIM:\x02" "q\x03w"});
}

TEST_F(MatcherBench, ArmingWithoutPatternsIsRefused)
{
    TApdDataPacket noStart(source);
    EXPECT_THROW(noStart.SetEnabled(true), std::invalid_argument);
    TApdDataPacket noEnd(source);
    noEnd.SetStartString("A");
    noEnd.SetEndCond(ecString);
    EXPECT_THROW(noEnd.SetEnabled(true), std::invalid_argument);
    EXPECT_FALSE(noEnd.Enabled());
}

TEST_F(MatcherBench, ReopenedPortReArmsEnabledMatchersFromScratch)
{
    M("CLAIM").SetEnabled(true);
    Send({"\x02" "half"});
    EXPECT_EQ(M("CLAIM").Mode(), dpCollecting);
    source.SetOpen(false);
    EXPECT_EQ(M("CLAIM").Mode(), dpIdle);
    source.SetOpen(true);
    EXPECT_EQ(M("CLAIM").Mode(), dpWaitStart);
    Send({"rest\x03x\x02" "new\x03y"});
    EXPECT_EQ(events, std::vector<std::string>{"CLAIM:\x02" "new\x03y"});
}

TEST_F(MatcherBench, ChangingTheEndStringReArmsTheMatcher)
{
    M("CLAIM").SetEnabled(true);
    M("CLAIM").SetEndString("\x03");
    EXPECT_EQ(M("CLAIM").Mode(), dpWaitStart);
    Send({"\x02" "ab\x03" "c"});
    EXPECT_EQ(events, std::vector<std::string>{"CLAIM:\x02" "ab\x03"});
}

}  // namespace
