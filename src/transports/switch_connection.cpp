#include "transports/switch_connection.h"

#include "base/claim_error.h"
#include "base/form_view.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "relay/frames.h"
#include "transports/read_char_timed.h"

#include <algorithm>
#include <cctype>

namespace {

long claimSequence = 0;

// Like the conversion the reply's length field always had: leading blanks, an
// optional sign and digits only; anything else is refused with a message.
bool ParseLengthField(const std::string& field, int& value, std::string& error)
{
    size_t at = field.find_first_not_of(' ');
    std::string text = at == std::string::npos ? std::string() : field.substr(at);
    size_t digits = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    bool valid = text.size() > digits &&
                 std::all_of(text.begin() + static_cast<long>(digits), text.end(),
                             [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!valid) {
        error = "'" + field + "' is not a valid integer value";
        return false;
    }
    value = std::stoi(text);
    return true;
}

// The dump of a partial reply, as the log has always shown it.
void DumpPartial(const std::string& bytes)
{
    LogDump("  Claim", bytes.data(), static_cast<int>(bytes.size()));
}

// Every part of the relay's address is needed before an attempt is made.
void RefuseMissingSettings(const std::string& address, const std::string& port, int timeout)
{
    if (address.empty() && port.empty())
        throw ClaimError("Specify a Host Name/IP Address and Port Number/Name prior to sending data (Click Options button)");
    if (address.empty())
        throw ClaimError("Specify a Host Name/IP Address prior to sending data (Click Options button)");
    if (port.empty())
        throw ClaimError("Specify a Port Number/Name prior to sending data (Click Options button)");
    if (timeout <= 0)
        throw ClaimError("Specify a connection timeout >= 0 prior to sending data (Click Options button)");
}

} // namespace

long NextClaimSequence()
{
    ++claimSequence;
    if (claimSequence > 99999999)
        claimSequence = 1;
    return claimSequence;
}

void SetClaimSequenceForTests(long value)
{
    claimSequence = value;
}

SwitchConnection::SwitchConnection(ControllerState& state, FormView& view, StartRelay startRelay,
                                   QObject* parent)
    : QObject(parent)
    , state_(state)
    , view_(view)
    , startRelay_(std::move(startRelay))
    , modem_(state, view, ApdComPort)
{
    connect(&ApdComPort, &TApdWinsockPort::OnWsConnect, this, &SwitchConnection::ApdComPortWsConnect);
    connect(&ApdComPort, &TApdWinsockPort::OnWsDisconnect, this, &SwitchConnection::ApdComPortWsDisconnect);
    connect(&ApdComPort, &TApdWinsockPort::OnWsError, this, &SwitchConnection::ApdComPortWsError);
    connect(&ApdComPort, &TApdWinsockPort::OnTriggerTimer, this, &SwitchConnection::ApdComPortTriggerTimer);
}

SwitchConnection::~SwitchConnection() = default;

void SwitchConnection::ConnectToSwitch()
{
    ClearConnectOutcome();
    state_.cancelRequested = false;
    state_.connectInProgress = true;

    if (IsOutboundNetworkConfigured()) {
        try {
            WinSockConnect();
        } catch (const std::exception& socketError) {
            if (!GetConnectViaTapi())
                throw ClaimError(socketError.what());
            ClearConnectOutcome();
            try {
                modem_.TapiConnect();
            } catch (const std::exception& modemError) {
                LogMsg("TAPI connection failed with Exception '%s'", modemError.what());
                throw ClaimError(FormatText("Connections failed.  Exceptions...\n\n'%s\n\n%s", socketError.what(),
                                            modemError.what()));
            }
        }
    } else if (GetConnectViaTapi()) {
        try {
            modem_.TapiConnect();
        } catch (const std::exception& modemError) {
            LogMsg("TAPI connection failed with Exception '%s'", modemError.what());
            throw ClaimError(modemError.what());
        }
    } else {
        throw ClaimError("Network and modem connection parameters were not specified");
    }
}

void SwitchConnection::WinSockConnect()
{
    ClearConnectOutcome();

    if (dialUpStep_)
        dialUpStep_();

    LogMsg("Calling StartMxSock() from WinSockConnect().");
    if (!startRelay_(true))
        throw ClaimError("Could not establish network connection");
    if (!IsInboundSocketConfigured())
        throw ClaimError("Socket Port data source parameters were not specified");

    try {
        LocalConnect();
    } catch (const std::exception& error) {
        LogMsg("Network connection failed with Exception '%s'", error.what());
        if (ApdComPort.Open())
            ApdComPort.SetOpen(false);
        throw ClaimError(FormatText("Network connection failed with Exception '%s'", error.what()));
    }

    TwofishEncoder.reset();
    TwofishDecoder.reset();
    TwofishEncoder = CreateTwofishContext(TwofishBlocks);
    if (!TwofishEncoder) {
        ApdComPort.SetOpen(false);
        throw ClaimError("Could not open encryption software to encode buffer.");
    }
    TwofishDecoder = CreateTwofishContext(TwofishBlocks);
    if (!TwofishDecoder) {
        TwofishEncoder.reset();
        ApdComPort.SetOpen(false);
        throw ClaimError("Could not open encryption software to decode buffer.");
    }
}

void SwitchConnection::LocalConnect()
{
    AimPortAtRelay();
    int timeout = GetOutboundConnectTimeout();
    view_.SetStatusText("Connecting to Tuq via Network...");

    ClearConnectOutcome();
    RefuseMissingSettings(ApdComPort.WsAddress(), ApdComPort.WsPort(), timeout);

    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (AttemptConnect(attempt, timeout))
            break;
        if (attempt < 3)
            DelayTicks(Secs2Ticks(1), true);
    }

    ProcessPendingEvents();
    ThrowUnlessConnected();
}

// The port takes its settings only while closed, so a connection that is
// still up is replaced rather than refused.
void SwitchConnection::AimPortAtRelay()
{
    if (ApdComPort.Open())
        ApdComPort.SetOpen(false);
    ApdComPort.SetDeviceLayer(dlWinsock);
    ApdComPort.SetTapiMode(tmOff);
    ApdComPort.SetWsTelnet(false);
    std::string address = GetInboundHostName();
    int portNumber = GetInboundPort();
    std::string port = portNumber != 0 ? std::to_string(portNumber) : std::string();
    ApdComPort.SetWsAddress(address);
    ApdComPort.SetWsPort(port);
}

void SwitchConnection::ClearConnectOutcome()
{
    state_.switchConnected = false;
    state_.switchError = 0;
    state_.connectTimedOut = false;
}

// True when the attempts end here: connected, or cancelled.
bool SwitchConnection::AttemptConnect(int attempt, int timeout)
{
    LogMsg("Connecting to Tuq via Network # %d; Attempt # %d.", 0, attempt);
    ClearConnectOutcome();
    try {
        ApdComPort.SetOpen(true);
        connectTimerHandle_ = ApdComPort.AddTimerTrigger();
        ApdComPort.SetTimerTrigger(connectTimerHandle_, Secs2Ticks(timeout), true);
    } catch (...) {
        RemoveConnectTrigger();
        throw;
    }
    WaitForAttemptEnd();
    RemoveConnectTrigger();

    if (state_.cancelRequested)
        return true;
    if (state_.switchConnected && !state_.connectTimedOut && state_.switchError == 0) {
        LogMsg("Connection established.");
        return true;
    }
    ApdComPort.SetOpen(false);
    return false;
}

void SwitchConnection::ThrowUnlessConnected()
{
    if (state_.switchConnected && !state_.cancelRequested && state_.switchError == 0) {
        LogMsg("Winsock Connect operation to Tuq complete");
        return;
    }
    if (state_.cancelRequested) {
        LogMsg("Winsock Connect operation to Tuq cancelled");
        throw ClaimError("Winsock connection operation to Tuq cancelled");
    }
    if (state_.connectTimedOut) {
        LogMsg("Winsock connection to Tuq timed out");
        throw ClaimError("Winsock connection to Tuq timed out");
    }
    if (!state_.switchConnected) {
        LogMsg("Winsock did not open port to Tuq");
        throw ClaimError("Winsock connection did not open to Tuq");
    }
    throw ClaimError(PortErrorText(state_.switchError));
}

// The timer trigger bounds the attempt, so the wait itself needs no limit.
void SwitchConnection::WaitForAttemptEnd()
{
    ProcessPendingEvents();
    while (!state_.switchConnected && !state_.cancelRequested && state_.switchError == 0 && !state_.connectTimedOut)
        WaitForEvents(kMaxWaitSliceMs);
}

void SwitchConnection::RemoveConnectTrigger()
{
    if (connectTimerHandle_ == 0)
        return;
    quint16 handle = connectTimerHandle_;
    connectTimerHandle_ = 0;
    if (!ApdComPort.Open())
        return; // the triggers went with the port
    ApdComPort.SetTimerTrigger(handle, 0, false);
    ApdComPort.RemoveTrigger(handle);
}

void SwitchConnection::CloseSocket()
{
    if (!IsSocketMode())
        return;
    if (ApdComPort.Open()) {
        LogMsg("Closing the Winsock connection");
        ApdComPort.SetOpen(false);
    }
    TwofishEncoder.reset();
    TwofishDecoder.reset();
}

int SwitchConnection::SocketExchange(const std::string& claim, std::string& reply)
{
    const int wait = GetOutboundOverallTimeout() + 2;
    std::string record = BuildClaimHeader(NextClaimSequence(), static_cast<int>(claim.size())) + claim;

    ProcessPendingEvents();
    if (state_.cancelRequested) {
        reply.clear();
        return -1;
    }
    LogMsg("Socket WriteBuffer(%d)(%s)", static_cast<int>(record.size()), PrintableText(record).c_str());
    EncryptBuffer(TwofishEncoder.get(), record.data() + kClaimHeaderSize,
                  static_cast<int>(record.size()) - kClaimHeaderSize);
    if (!SendRecord(record, reply))
        return -1;

    view_.SetStatusText(view_.StatusText() + "  Awaiting response...");
    LogMsg("Waiting %d seconds (includes %d extra secs) for Response (Header Version and Buffer Length)", wait, 2);

    std::string header;
    if (!ReadHeader(wait, header, reply))
        return -1;
    LogMsg("Claim Header(%d)(%.*s)", kClaimHeaderSize, kClaimHeaderSize, header.c_str());
    reply = header;
    if (header.compare(0, 2, "01") != 0) {
        LogMsg("Unsupported record version received (%2.2s).  Expected version (%2.2s)", header.c_str(), "01");
        reply.clear();
        return -1;
    }
    int length = 0;
    std::string error;
    if (!ParseLengthField(header.substr(18, 6), length, error)) {
        LogMsg("Could not convert record length to int.  Exception:  '%s'", error.c_str());
        return -1;
    }
    LogMsg("Extracted record length (%d)", length);
    LogMsg("Reading claim data.");

    reply.clear();
    for (int i = 0; i < length; ++i) {
        ProcessPendingEvents();
        char c = 0;
        if (StopRequested() || !ReadCharTimed(ApdComPort, wait, c)) {
            // A cancel or port error that ends the wait is not a time-out.
            if (StopRequested()) {
                LogMsg("Claim data received prior to cancel / error (%d)", static_cast<int>(reply.size()));
            } else {
                LogMsg("ReadCharTimed() Failed");
                LogMsg("Claim data received prior to error (%d)", static_cast<int>(reply.size()));
            }
            DumpPartial(reply);
            return -1;
        }
        reply += c;
        if (i == 0)
            LogMsg("Received first claim character.");
    }
    DecryptBuffer(TwofishDecoder.get(), reply.data(), static_cast<int>(reply.size()));
    LogMsg("Decoded Resp(%d)(%s)", length < 0 ? 0 : length, PrintableText(reply).c_str());
    return 0;
}

bool SwitchConnection::SendRecord(const std::string& record, std::string& reply)
{
    const int overallSize = static_cast<int>(record.size());
    try {
        int lcv = 1;
        while (lcv <= overallSize) {
            int bytesLeft = overallSize - lcv + 1;
            LogMsg("socket_send_buffer() lcv(%d) bytesLeft(%d) OverallSize(%d)", lcv, bytesLeft, overallSize);
            int blockSize = 0;
            do {
                ProcessPendingEvents();
                if (StopRequested()) {
                    reply.clear();
                    return false;
                }
                blockSize = std::min({ApdComPort.OutBuffFree(), bytesLeft, 65535});
                if (blockSize <= 0)
                    WaitForEvents(kMaxWaitSliceMs); // woken by the bytes leaving
            } while (blockSize <= 0);
            LogMsg("Sending Data, lcv(%d) BlockSize(%d) OverallSize(%d)", lcv, blockSize, overallSize);
            ApdComPort.PutBlock(record.data() + lcv - 1, blockSize);
            lcv += blockSize;
        }
    } catch (const std::exception& error) {
        LogMsg("PutBlock failed with Exception '%s'", error.what());
        reply.clear();
        return false;
    }
    return true;
}

bool SwitchConnection::ReadHeader(int wait, std::string& header, std::string& reply)
{
    while (static_cast<int>(header.size()) < kClaimHeaderSize) {
        ProcessPendingEvents();
        int count = static_cast<int>(header.size());
        char c = 0;
        if (StopRequested() || !ReadCharTimed(ApdComPort, wait, c)) {
            // A cancel or port error that ends the wait is not a time-out.
            if (StopRequested()) {
                LogMsg("Header data received prior to cancel / error (%d)", count);
            } else {
                LogMsg("ReadCharTimed() Failed");
                LogMsg("Header data received prior to error (%d)", count);
            }
            LogMsg("  Header(%d)(%.*s)", count, count, header.c_str());
            reply.clear();
            return false;
        }
        header += c;
        if (header.size() == 1)
            LogMsg("Received first header character (0x%.2x).", static_cast<unsigned char>(c));
    }
    return true;
}

bool SwitchConnection::ReadCharTimed(TApdWinsockPort& port, int seconds, char& c)
{
    return ::ReadCharTimed(port, seconds, c, state_);
}

void SwitchConnection::ApdComPortWsConnect()
{
    LogMsg("Received Port 'Connect' event from Tuq");
    state_.switchConnected = true;
}

void SwitchConnection::ApdComPortWsDisconnect()
{
    LogMsg("Received Port 'Disconnect' event from Tuq.");
    state_.switchConnected = false;
}

void SwitchConnection::ApdComPortWsError(int errCode)
{
    state_.switchError = static_cast<int16_t>(errCode);
    LogMsg("Received Port Error event from Tuq.  ErrCode = %d", errCode);
    LogMsg("  Port Error Message = '%s'", PortErrorText(errCode).c_str());
    view_.SetStatusText("Received Tuq connection error.");
    emit SocketErrorReported();
}

void SwitchConnection::ApdComPortTriggerTimer(quint16 handle)
{
    if (handle == 0 || handle != connectTimerHandle_)
        return;
    LogMsg("Received Port Trigger Timer event from Tuq (connection timed out)");
    state_.connectTimedOut = true;
    view_.SetStatusText("Received Tuq connection time out.");
}
