// pharmacy-sim --serial run as a process against a scripted modem side on
// the other end of a socat pty pair.
#include "pty_pair.h"
#include "sim_support.h"

#include "base/lrc.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <thread>
#include <vector>

namespace {

using namespace sim;

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr int waitMs = 30000;


// One turn of the modem side: what it must hear and what it answers.
struct Step {
    enum Kind {
        Say,            // hears `heard`, answers `answer`
        Claim,          // hears a claim packet, answers its response packet
        ClaimBadLrc,    // the same with a wrong check byte
        ClaimRefused,   // hears a claim packet, answers `answer`
        ResendOnNak,    // hears NAK, answers the last response packet again
    } kind;
    std::string heard;
    std::string answer;
};

Step Say(std::string heard, std::string answer)
{
    return {Step::Say, std::move(heard), std::move(answer)};
}

// The modem side, played from a script on its own thread.
class FakeModem {
public:
    FakeModem(const std::string& device, std::vector<Step> script, bool lrc)
        : script_(std::move(script)), lrc_(lrc)
    {
        fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
        thread_ = std::thread([this] { play(); });
    }
    ~FakeModem()
    {
        finish();
        ::close(fd_);
    }
    // Waits for the script to end; what went wrong, empty when it ran through.
    std::string finish()
    {
        if (thread_.joinable())
            thread_.join();
        return error_;
    }

private:
    void play()
    {
        for (const Step& step : script_) {
            if (!(step.kind == Step::Say || step.kind == Step::ResendOnNak ? hear(step) : hearClaim(step)))
                return;
        }
    }

    bool hear(const Step& step)
    {
        const std::string heard = step.kind == Step::ResendOnNak ? "\x15" : step.heard;
        std::string got;
        if (!read(heard.size(), got) || got != heard)
            return fail("heard " + got + " instead of " + heard);
        return say(step.kind == Step::ResendOnNak ? lastResponse_ : step.answer);
    }

    bool hearClaim(const Step& step)
    {
        std::string packet;
        std::string byte;
        while (packet.empty() || packet.back() != ETX) {
            if (!read(1, byte))
                return fail("no whole claim packet came");
            packet += byte;
        }
        const std::string claim = packet.substr(1, packet.size() - 2);
        if (packet.front() != STX || claim.size() < 6)
            return fail("claim packet without STX: " + packet);
        if (lrc_ && (!read(1, byte) || static_cast<unsigned char>(byte[0]) != ComputeLrc(claim)))
            return fail("claim packet without its check byte");
        if (step.kind == Step::ClaimRefused)
            return say(step.answer);
        // A paid response that keeps the claim's version, code and prescription.
        const std::string response = claim.substr(6) + "\x1c" "AM21" "\x1c" "ANP";
        lastResponse_ = STX + response + ETX;
        if (lrc_)
            lastResponse_ += static_cast<char>(ComputeLrc(response) ^ (step.kind == Step::ClaimBadLrc ? 0x01 : 0));
        return say(lastResponse_);
    }

    bool read(size_t size, std::string& bytes)
    {
        bytes.clear();
        while (bytes.size() < size) {
            pollfd p{fd_, POLLIN, 0};
            char buf[256];
            ssize_t got = ::poll(&p, 1, waitMs) == 1 ? ::read(fd_, buf, std::min(sizeof buf, size - bytes.size())) : -1;
            if (got <= 0)
                return false;
            bytes.append(buf, static_cast<size_t>(got));
        }
        return true;
    }

    bool say(const std::string& bytes)
    {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) || fail("write failed");
    }

    bool fail(const std::string& what)
    {
        error_ = what;
        return false;
    }

    std::vector<Step> script_;
    bool lrc_;
    int fd_ = -1;
    std::string lastResponse_;
    std::string error_;
    std::thread thread_;
};

const Step claim{Step::Claim, "", ""};
const Step ack = Say("\x06", "\x04" "NO CARRIER\r\n+++");

// A call with echo on in profiles 0 and 6: the echo setting, ATZ, and a
// tone dial answered with its echo and `report`.
std::vector<Step> EchoingCall(const std::string& report)
{
    return {Say("ATE1V1\r", "ATE1V1\r\r\nOK\r\n"), Say("ATZ\r", "ATZ\r\r\nOK\r\n"),
            Say("ATDT5550100\r", "ATDT5550100\r\r\n" + report)};
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    const char* name;
    QStringList args;
    std::vector<Step> script;
    int exitCode;
    const char* message;  // on standard error; the summary line when the run is right
};

TEST(PharmacySimSerial, FollowsTheModemDialogueOfEachProfileAndNamesEveryMismatch)
{
    const std::string connect19200 = "CONNECT 19200\r\n\x05";
    const Case cases[] = {
        {"profile 0, VISA I, LRC", {"--lrc", "--claims", "2", "--expect-paid"},
         EchoingCall(connect19200) + std::vector{claim, ack} + EchoingCall(connect19200) + std::vector{claim, ack},
         0, "claims=2 ok=2 failed=0 "},
        {"profile 1, numeric result codes", {"--profile", "1"},
         {Say("ATE0V1\r", ""), Say("ATZ\r", ""), Say("ATDT5550100\r", "9\r\x05"), claim, Say("\x06", "\x04" "3\r")},
         0, "claims=1 ok=1 failed=0 "},
        {"profile 2, two ENQs", {"--profile", "2", "--echo", "off", "--lrc"},
         {Say("ATE0V1\r", "\r\nOK\r\n"), Say("ATZ\r", "\r\nOK\r\n"),
          Say("ATDT5550100\r", "\r\nCONNECT 19200\r\n\x05\x05"), claim,
          Say("\x06", "\x04\r\nNO CARRIER\r\n")},
         0, "claims=1 ok=1 failed=0 "},
        {"profile 6, the letter v, a NAK first", {"--profile", "6", "--baud", "9600", "--nak-first"},
         EchoingCall("CONNECT 9600\r\n\x05") + std::vector{claim, Step{Step::ResendOnNak, "", ""},
                                                           Say("v", "\x04" "NO CARRIER\r\n+++")},
         0, "claims=1 ok=1 failed=0 "},
        {"profile 3, VISA II, ATH0", {"--profile", "3", "--echo", "off", "--visa2", "--claims", "2"},
         {Say("ATE0V1\r", "\r\nOK\r\n"), Say("ATZ\r", "\r\nOK\r\n"),
          Say("ATDT5550100\r", "\r\nCONNECT 19200/NONE\r\n\x05"), claim, Say("\x06", "\x05"), claim,
          Say("\x06", "\x05"), Say("ATH0\r", "\r\nOK\r\nNO CARRIER\r\n+++")},
         0, "claims=2 ok=2 failed=0 "},
        {"profile 7, VISA II, +++", {"--profile", "7", "--visa2", "--claims", "2", "--hangup", "plus"},
         {Say("ATE1V1\r", "ATE1V1\r\r\nOK\r\n"), Say("ATZ\r", "ATZ\r\r\nOK\r\n"),
          Say("ATDT5550100\r", "ATDT5550100\r\r\nCONNECT 19200\r\n\x05\x05"), claim, Say("\x06", "\x05"), claim,
          Say("\x06", "\x05"), Say("+++", "+++\r\n\r\nNO CARRIER\r\n")},
         0, "claims=2 ok=2 failed=0 "},
        {"wrong CONNECT speed", {}, EchoingCall("CONNECT 9600\r\n\x05"),
         1, "claim 1: answer to \"ATDT5550100<CR>\": expected \"ATDT5550100<CR><CR><LF>CONNECT 19200<CR><LF><ENQ>\","
            " received \"ATDT5550100<CR><CR><LF>CONNECT 9"},
        {"OK in profile 1", {"--profile", "1"}, {Say("ATE0V1\r", "\r\nOK\r\n")},
         1, "claim 1: answer to \"ATE0V1<CR>\": expected nothing, received \"<CR>"},
        {"no switch behind the modem", {}, EchoingCall("NO CARRIER\r\n+++"),
         1, "claim 1: answer to \"ATDT5550100<CR>\": NO CARRIER, Corvane could not connect to the claims switch"},
        {"bad check byte in the response", {"--lrc"},
         EchoingCall(connect19200) + std::vector{Step{Step::ClaimBadLrc, "", ""}},
         1, "claim 1: response: the check byte (LRC) after <ETX> is 0x"},
        {"no ENQ", {"--timeout", "1"}, EchoingCall("CONNECT 19200\r\n"),
         1, "but the end of it, \"<ENQ>\", did not come within 1 s"},
        {"hang-up instead of a response", {},
         EchoingCall(connect19200) + std::vector{Step{Step::ClaimRefused, "", "\x04" "NO CARRIER\r\n+++"}},
         1, "Corvane hung up (<EOT>, NO CARRIER) instead of answering"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair ptys;
        ASSERT_TRUE(ptys.Ready());
        FakeModem modem(ptys.PathB(), c.script, c.args.contains("--lrc"));
        // A stuck dialogue ends with the tool's own message, before the wait for its exit gives up.
        QStringList args = QStringList{"--serial", QString::fromStdString(ptys.PathA())} + c.args;
        if (!args.contains("--timeout"))
            args << "--timeout" << "20";
        ToolProcess pharmacy("pharmacy-sim", args);
        EXPECT_EQ(pharmacy.waitForExit(), c.exitCode) << pharmacy.errors().toStdString();
        EXPECT_EQ(modem.finish(), "");
        if (c.exitCode == 0) {
            EXPECT_TRUE(pharmacy.output().startsWith(c.message)) << pharmacy.output().toStdString();
            EXPECT_TRUE(pharmacy.output().contains(" p99=")) << pharmacy.output().toStdString();
            EXPECT_EQ(pharmacy.errors(), "");
        } else {
            EXPECT_TRUE(pharmacy.errors().contains(c.message)) << pharmacy.errors().toStdString();
        }
    }
}

}  // namespace
