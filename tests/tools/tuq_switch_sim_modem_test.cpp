// tuq-switch-sim --modem run as a process on one end of a socat pty pair,
// with a scripted caller (Corvane's side of a dial-up call) on the other.
#include "pty_pair.h"
#include "sim_support.h"
#include "test_env.h"

#include "base/lrc.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

using sim::ClaimWithPrescription;

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr int waitMs = 30000;

const std::string paidHeader = "51B11A011234567893     20261209";

// The simulator in modem mode as a child process.
class ModemSim {
public:
    ModemSim(const std::string& device, const QStringList& faults)
    {
        process_.start(QString::fromStdString(ProgramPath("tuq-switch-sim")),
                       QStringList{"--modem", QString::fromStdString(device)} + faults);
        process_.waitForStarted(waitMs);
    }
    ~ModemSim()
    {
        if (process_.state() != QProcess::NotRunning)
            terminate();
    }

    bool waitForReady() { return waitFor(QProcess::StandardOutput, "modem on "); }
    // Waits for text on standard error, where the simulator logs.
    bool waitForLog(const QString& text) { return waitFor(QProcess::StandardError, text); }
    // SIGTERM, then the exit code (-1 when it did not end normally).
    int terminate()
    {
        process_.terminate();
        return waitForExit();
    }
    int waitForExit()
    {
        bool finished = process_.waitForFinished(waitMs);
        collect();
        return finished && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    std::string log() const { return errors_.toStdString(); }

private:
    void collect()
    {
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        errors_ += QString::fromUtf8(process_.readAllStandardError());
    }
    bool waitFor(QProcess::ProcessChannel channel, const QString& text)
    {
        process_.setReadChannel(channel);
        for (;;) {
            collect();
            if ((channel == QProcess::StandardOutput ? output_ : errors_).contains(text))
                return true;
            if (!process_.waitForReadyRead(waitMs))
                return false;
        }
    }

    QProcess process_;
    QString output_;
    QString errors_;
};

// The calling end of the line: raw, every read bounded.
class Caller {
public:
    explicit Caller(std::string device) : device_(std::move(device)) { open(); }
    ~Caller() { ::close(fd_); }

    // Closes the device and opens it again, as a program that ends a call by
    // closing its port and later starts the next one.
    void reopen()
    {
        ::close(fd_);
        open();
    }
    bool send(const std::string& bytes)
    {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // size bytes, or fewer when the line stayed quiet for the whole limit.
    std::string receive(size_t size)
    {
        std::string bytes;
        while (bytes.size() < size) {
            pollfd p{fd_, POLLIN, 0};
            char buf[512];
            ssize_t got = ::poll(&p, 1, waitMs) == 1 ? ::read(fd_, buf, std::min(sizeof buf, size - bytes.size())) : -1;
            if (got <= 0)
                break;
            bytes.append(buf, static_cast<size_t>(got));
        }
        return bytes;
    }
    // A response frame: STX, text up to ETX, check byte. False when the
    // frame does not start with STX or does not end.
    bool receiveFrame(std::string& text, unsigned char& lrc)
    {
        if (receive(1) != std::string(1, STX))
            return false;
        text.clear();
        for (std::string byte = receive(1); byte != std::string(1, ETX); byte = receive(1)) {
            if (byte.empty())
                return false;
            text += byte;
        }
        std::string check = receive(1);
        lrc = check.empty() ? 0 : static_cast<unsigned char>(check[0]);
        return !check.empty();
    }

private:
    void open()
    {
        fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }

    std::string device_;
    int fd_ = -1;
};

// One turn of the caller.
struct Step {
    enum Kind {
        Say,               // sends `send`, must then hear `hear`
        Claim,             // sends the claim frame of prescription `rx`
        ClaimWrongLrc,     // the same with a wrong check byte
        Response,          // must hear the paid response frame to prescription `rx`
        ResponseWrongLrc,  // the same with a wrong check byte
        SameResponse,      // must hear the last response again, with the right check byte
        Reopen,            // closes the device and opens it again
    } kind;
    std::string send;
    std::string hear;
    std::string rx;
};

Step Say(std::string send, std::string hear)
{
    return {Step::Say, std::move(send), std::move(hear), ""};
}

Step Claim(std::string rx)
{
    return {Step::Claim, "", "", std::move(rx)};
}

Step Response(std::string rx)
{
    return {Step::Response, "", "", std::move(rx)};
}

const Step ackGetsEnq = Say(std::string(1, ACK), std::string(1, ENQ));
const Step nakHeard = Say("", std::string(1, NAK));
const Step escape = Say("+++", "\r\nOK\r\n");

// A tone dial with echo on, answered with `result`.
Step Dial(const std::string& result)
{
    return Say("ATDT5550100\r", "ATDT5550100\r\r\n" + result);
}

const Step connected = Dial("CONNECT 9600\r\n\x05");

std::string ClaimFrame(const std::string& rx, bool wrongLrc)
{
    const std::string claim = ClaimWithPrescription(rx);
    return STX + claim + ETX + static_cast<char>(ComputeLrc(claim) ^ (wrongLrc ? 0x01 : 0x00));
}

// Plays the steps; what went wrong, empty when they all ran as expected.
std::string Play(Caller& caller, const std::vector<Step>& steps)
{
    std::string lastResponse;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        const std::string where = "step " + std::to_string(i + 1) + ": ";
        switch (step.kind) {
        case Step::Say: {
            if (!caller.send(step.send))
                return where + "cannot send";
            const std::string heard = caller.receive(step.hear.size());
            if (heard != step.hear)
                return where + "heard [" + heard + "] instead of [" + step.hear + "]";
            break;
        }
        case Step::Claim:
        case Step::ClaimWrongLrc:
            if (!caller.send(ClaimFrame(step.rx, step.kind == Step::ClaimWrongLrc)))
                return where + "cannot send the claim frame";
            break;
        case Step::Response:
        case Step::ResponseWrongLrc:
        case Step::SameResponse: {
            std::string text;
            unsigned char lrc = 0;
            if (!caller.receiveFrame(text, lrc))
                return where + "no whole response frame";
            const bool lrcRight = lrc == ComputeLrc(text);
            if (lrcRight != (step.kind != Step::ResponseWrongLrc))
                return where + "the response's check byte is " + (lrcRight ? "right" : "wrong");
            if (step.kind == Step::SameResponse ? text != lastResponse
                                                : text.rfind(paidHeader, 0) != 0
                        || text.find("\x1c" "D2" + step.rx) == std::string::npos)
                return where + "not the expected paid response: " + text;
            lastResponse = text;
            break;
        }
        case Step::Reopen:
            caller.reopen();
            break;
        }
    }
    return {};
}

struct Case {
    const char* name;
    QStringList faults;
    std::vector<Step> steps;
    const char* logged;  // a line the simulator must have logged, if any
};

TEST(SwitchSimModem, PlaysModemAndSwitchThroughEachCallAndFault)
{
    const Step responseWrongLrc{Step::ResponseWrongLrc, "", "", "0000001"};
    const Step sameResponse{Step::SameResponse, "", "", ""};
    const Step claimWrongLrc{Step::ClaimWrongLrc, "", "", "0000001"};
    const Case cases[] = {
        {"a paid response, ENQ after the ACK, EOT ends the call", {},
         {Say("ATZ\r", "ATZ\r\r\nOK\r\n"), Say("ATE0V1\r", "ATE0V1\r\r\nOK\r\n"),
          Say("AT&FE0X4&K3S7=60\r", "\r\nOK\r\n"), Say("ATDT5550100\r", "\r\nCONNECT 9600\r\n\x05"),
          Claim("0000001"), Response("0000001"), ackGetsEnq, Say("\x04", "\r\nNO CARRIER\r\n"),
          Say("AT\r", "\r\nOK\r\n")},
         "call 1: claim 1 (99 bytes) paid, authorization 1"},
        {"two claims on one call, then +++ and ATH0", {},
         {connected, Claim("0000001"), Response("0000001"), ackGetsEnq, Claim("0000002"), Response("0000002"),
          ackGetsEnq, escape, Say("ATH0\r", "ATH0\r\r\nOK\r\n"), Say("ATO\r", "ATO\r\r\nNO CARRIER\r\n")},
         "call 1: claim 2 (99 bytes) paid, authorization 2"},
        {"+++ holds the call, ATO goes back on line", {},
         {connected, escape, Say("ATO\r", "ATO\r\r\nCONNECT 9600\r\n"), Claim("0000001"), Response("0000001"),
          ackGetsEnq},
         "escape, the call is held in command mode"},
        {"busy, then a connect at the speed asked", {"--busy", "1", "--connect-speed", "2400"},
         {Dial("BUSY\r\n"), Dial("CONNECT 2400\r\n\x05"), Claim("0000001"), Response("0000001"), ackGetsEnq},
         "dial 1 to 5550100: BUSY"},
        {"no carrier on every dial", {"--no-carrier"},
         {Dial("NO CARRIER\r\n"), Dial("NO CARRIER\r\n"), Say("AT\r", "AT\r\r\nOK\r\n")},
         "dial 2 to 5550100: NO CARRIER"},
        // The escape's OK comes first only when no ENQ was sent before it.
        {"a connect without ENQ", {"--no-enq"},
         {Dial("CONNECT 9600\r\n"), escape, Say("ATH\r", "ATH\r\r\nOK\r\n")},
         "dial 1 to 5550100: CONNECT 9600"},
        {"NAK first: the same frame again gets the response", {"--nak-first"},
         {connected, Claim("0000001"), nakHeard, Claim("0000001"), Response("0000001"), ackGetsEnq,
          Claim("0000002"), Response("0000002"), ackGetsEnq},
         "first claim frame of the call, NAK as asked"},
        {"a wrong check byte on the response: NAK brings the right frame", {"--bad-lrc"},
         {connected, Claim("0000001"), responseWrongLrc, Say(std::string(1, NAK), ""), sameResponse, ackGetsEnq,
          Claim("0000002"), Response("0000002"), ackGetsEnq},
         "NAK for the response, sending it again"},
        {"silence after a claim frame", {"--silent-after-frame"},
         {connected, Claim("0000001"), escape, Say("ATH0\r", "ATH0\r\r\nOK\r\n")},
         "claim 1 (99 bytes) left unanswered"},
        {"EOT instead of ENQ, then the modem hangs up", {"--eot-instead-of-enq"},
         {connected, Claim("0000001"), Response("0000001"), Say(std::string(1, ACK), "\x04\r\nNO CARRIER\r\n"),
          Say("ATO\r", "ATO\r\r\nNO CARRIER\r\n")},
         "response acknowledged, EOT and hanging up as asked"},
        {"a claim frame with a wrong check byte gets NAK", {},
         {connected, claimWrongLrc, nakHeard, Claim("0000001"), Response("0000001"), ackGetsEnq},
         "claim frame with a wrong check byte (99 bytes), NAK"},
        {"a caller that closed the device mid-call and dials again", {},
         {connected, {Step::Reopen, "", "", ""}, Say("ATZ\r", "ATZ\r\r\nOK\r\n"), connected, Claim("0000001"),
          Response("0000001"), ackGetsEnq},
         "call 1 ended: a command line came in, the caller dropped the line"},
        {"commands a modem refuses, and one it takes in lower case", {},
         {Say("ATV0\r", "ATV0\r\r\nERROR\r\n"), Say("ATD\r", "ATD\r\r\nERROR\r\n"),
          Say("ATDTX\r", "ATDTX\r\r\nERROR\r\n"), Say("ATH1\r", "ATH1\r\r\nERROR\r\n"),
          Say("ATS7\r", "ATS7\r\r\nERROR\r\n"), Say("HELLO\r", "HELLO\r"), Say("at\r", "at\r\r\nOK\r\n"),
          Say("atd t 555-0100\r", "atd t 555-0100\r\r\nCONNECT 9600\r\n\x05")},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pair;
        ASSERT_TRUE(pair.Ready());
        ModemSim sim(pair.PathA(), c.faults);
        ASSERT_TRUE(sim.waitForReady()) << sim.log();
        Caller caller(pair.PathB());
        EXPECT_EQ(Play(caller, c.steps), "") << sim.log();
        if (c.logged) {
            EXPECT_TRUE(sim.waitForLog(c.logged)) << sim.log();
        }
        EXPECT_EQ(sim.terminate(), 0);
    }
}

// Two ptys linked by socat under names that outlive it, so that the line
// can go away and come back under the same name.
class RestartablePair {
public:
    std::string pathA() const { return dir_.filePath("a").toStdString(); }
    std::string pathB() const { return dir_.filePath("b").toStdString(); }
    bool start()
    {
        socat_.setProcessChannelMode(QProcess::MergedChannels);
        socat_.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + dir_.filePath("a"),
                               "pty,raw,echo=0,link=" + dir_.filePath("b")});
        QByteArray log;
        while (!log.contains("starting data transfer loop") && socat_.waitForReadyRead(waitMs))
            log += socat_.readAll();
        return log.contains("starting data transfer loop");
    }
    void stop()
    {
        socat_.terminate();
        socat_.waitForFinished(waitMs);
    }
    ~RestartablePair() { stop(); }

private:
    QTemporaryDir dir_;
    QProcess socat_;
};

TEST(SwitchSimModem, OpensTheDeviceAgainWhenTheLineComesBack)
{
    RestartablePair pair;
    ASSERT_TRUE(pair.start());
    ModemSim sim(pair.pathA(), {});
    ASSERT_TRUE(sim.waitForReady()) << sim.log();
    {
        Caller caller(pair.pathB());
        EXPECT_EQ(Play(caller, {connected}), "");
    }
    pair.stop();
    ASSERT_TRUE(sim.waitForLog("the line was lost")) << sim.log();
    ASSERT_TRUE(pair.start());
    ASSERT_TRUE(sim.waitForLog("is open again")) << sim.log();
    Caller caller(pair.pathB());
    // The call ended with the line; the modem is back in command mode.
    EXPECT_EQ(Play(caller, {Say("ATO\r", "ATO\r\r\nNO CARRIER\r\n"), connected, Claim("0000001"),
                            Response("0000001"), ackGetsEnq}),
              "");
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SwitchSimModem, WrongCommandLinesAreRefused)
{
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    const QString device = QString::fromStdString(pair.PathA());
    const struct {
        QStringList args;
        int exitCode;
        const char* message;
    } wrong[] = {
        {{"--busy", "1", "--port", "0"}, 2, "--busy needs --modem"},
        {{"--modem", device, "--tls"}, 2, "--tls does not apply to --modem"},
        {{"--modem", device, "--port", "0"}, 2, "--port does not apply to --modem"},
        {{"--modem", device, "--busy", "twice"}, 2, "--busy needs a number"},
        {{"--modem", device, "--connect-speed", "0"}, 2, "--connect-speed needs a number"},
        {{"--modem", QString::fromStdString(pair.PathA()) + ".missing"}, 1, "cannot open"},
    };
    for (const auto& w : wrong) {
        sim::ToolProcess sim("tuq-switch-sim", w.args);
        EXPECT_EQ(sim.waitForExit(), w.exitCode) << w.args.join(' ').toStdString();
        EXPECT_TRUE(sim.errors().contains(w.message)) << sim.errors().toStdString();
    }
}

}  // namespace
