#include "switch_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <openssl/ssl.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const description =
    "A claims switch for tests and demonstrations. It listens on a TCP port\n"
    "(plain or TLS with a required client certificate) and reads claims in the\n"
    "upstream frame: a 4-byte big-endian total length (16 + data length), a\n"
    "12-byte sequence field and the claim data (at most 8192 bytes). Every\n"
    "claim is answered in the same frame with its sequence field unchanged.\n"
    "\n"
    "The answer is a paid NCPDP 5.1 response built from the claim's request\n"
    "header: version/release, transaction code, transaction count, status 'A',\n"
    "service provider ID qualifier and ID, date of service; a message segment\n"
    "(AM20, F4 \"CLAIM PAID\"); per transaction a response status segment\n"
    "(AM21, \"ANP\", F3 authorization number) and, when the claim's transaction\n"
    "carries the fields EM and D2, a claim segment (AM22) echoing them.\n"
    "\n"
    "With --twofish the claim data is decrypted and the answer data encrypted\n"
    "(fresh contexts per connection); headers stay clear.\n"
    "\n"
    "Faults (--delay, --no-answer, --close, --bad-length, --reverse) apply to\n"
    "every claim of a connection from the claim number --fault-from on; claims\n"
    "are counted per connection from 1. A reverse batch that never fills is\n"
    "not answered.\n"
    "\n"
    "On start it prints \"listening on HOST:PORT\" (with the real port when\n"
    "--port is 0). SIGTERM and SIGINT stop it cleanly.\n"
    "\n"
    "Modem mode (--modem DEVICE): instead of listening, the simulator plays the\n"
    "modem on a serial device (raw, 8N1, 19200 baud; a socat pty in tests) and\n"
    "the switch that answers its calls. In command mode it takes lines that\n"
    "start with AT and end in CR, echoes them (ATE0/ATE1; ATZ and AT&F turn\n"
    "echo back on) and answers with verbose result codes: OK, ERROR (V0 too:\n"
    "numeric result codes are not offered), and for a dial (ATD, ATDT or ATDP\n"
    "and a number) CONNECT <speed>, BUSY or NO CARRIER. ATH/ATH0 and ATZ hang\n"
    "up. Other lines are ignored.\n"
    "\n"
    "On a call the switch sends ENQ right after CONNECT and reads claim frames:\n"
    "STX, claim, ETX and the check byte (XOR of the claim and ETX, low 7 bits).\n"
    "A frame with a wrong check byte gets NAK; a good one gets the paid\n"
    "response above in the same framing. The caller answers ACK, and the switch\n"
    "sends ENQ for the next claim; or NAK, and the same response frame comes\n"
    "again. EOT from the caller ends the call. When the switch hangs up, the\n"
    "modem says NO CARRIER and returns to command mode. \"+++\" outside a frame\n"
    "(no guard time needed) answers OK and holds the call in command mode: ATO\n"
    "goes back on line, ATH hangs up. A pty carries no DTR, so a caller that\n"
    "closes the device cannot be seen: an AT command line arriving outside a\n"
    "frame during a call counts as the caller having dropped the line, and the\n"
    "call ends without a word before the command is answered. Bytes sent while\n"
    "the caller has the device closed wait in the pty for its next open. If the\n"
    "device goes away (socat ended) it is opened again as soon as it is back,\n"
    "for up to 30 seconds.\n"
    "\n"
    "On start it prints \"modem on DEVICE\"; each dial, claim and hang-up is\n"
    "logged on standard error. The faults (--busy, --no-carrier, --no-enq,\n"
    "--nak-first, --bad-lrc, --silent-after-frame, --eot-instead-of-enq)\n"
    "only apply with --modem; the network options do not.";

[[noreturn]] void Fail(const QString& message)
{
    std::fprintf(stderr, "tuq-switch-sim: %s\n", qPrintable(message));
    std::exit(2);
}

long long NumberOption(const QCommandLineParser& parser, const QString& name, long long min, long long max)
{
    bool ok = false;
    long long value = parser.value(name).toLongLong(&ok);
    if (!ok || value < min || value > max)
        Fail(QString("--%1 needs a number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

int TlsVersion(const QString& text)
{
    if (text == "1.0")
        return TLS1_VERSION;
    if (text == "1.1")
        return TLS1_1_VERSION;
    if (text == "1.2")
        return TLS1_2_VERSION;
    if (text == "1.3")
        return TLS1_3_VERSION;
    Fail("--tls-max needs 1.0, 1.1, 1.2 or 1.3");
}

void AddOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"host", "Address to listen on (default 127.0.0.1).", "address", "127.0.0.1"},
        {"port", "Port to listen on; 0 picks a free one (default 6101).", "port", "6101"},
        {"tls", "Speak TLS (1.2 or later); needs --cert and --ca."},
        {"cert", "Server certificate file (PEM).", "file"},
        {"key", "Server private key file (PEM); default: the --cert file.", "file"},
        {"key-password", "Password of an encrypted server key.", "password"},
        {"ca", "CA file that client certificates must verify against.", "file"},
        {"tls-max", "Offer at most this TLS version (1.0, 1.1, 1.2, 1.3). Below 1.2 "
                    "only that version is offered, to test clients that refuse it.", "version"},
        {"twofish", "Claim and answer data are Twofish-encrypted."},
        {"delay", "Answer each claim this many milliseconds after it arrived.", "ms", "0"},
        {"no-answer", "Read claims but never answer them."},
        {"close", "Close the connection when a claim arrives, without answering."},
        {"bad-length", "Write this number into the answer's length field instead of the "
                       "true total length (8209 = 16 + 8193 is over the limit).", "value"},
        {"reverse", "Hold answers until this many claims are in, then send them last "
                    "first.", "count", "0"},
        {"fault-from", "Apply the faults from this claim number of a connection on "
                       "(default 1).", "number", "1"},
        {"verbose", "Print one line per claim and answer on standard error."},
        {"modem", "Play modem and switch on this serial device instead of listening.", "device"},
        {"connect-speed", "The speed the modem reports in CONNECT (default 9600).", "bps", "9600"},
        {"busy", "The first N dials answer BUSY.", "N", "0"},
        {"no-carrier", "Every dial answers NO CARRIER."},
        {"no-enq", "Connect, but the switch never sends ENQ."},
        {"nak-first", "The first good claim frame of a call gets NAK, so it is sent again."},
        {"bad-lrc", "The first response frame of a call has a wrong check byte; the "
                    "caller's NAK brings the right frame."},
        {"silent-after-frame", "Never answer a claim frame."},
        {"eot-instead-of-enq", "After the caller's ACK send EOT instead of ENQ and hang up."},
    });
}

TlsOptions ReadTlsOptions(const QCommandLineParser& parser)
{
    TlsOptions tls;
    tls.enabled = parser.isSet("tls");
    tls.certFile = parser.value("cert").toStdString();
    tls.keyFile = parser.isSet("key") ? parser.value("key").toStdString() : tls.certFile;
    tls.keyPassword = parser.value("key-password").toStdString();
    tls.caFile = parser.value("ca").toStdString();
    if (parser.isSet("tls-max"))
        tls.maxVersion = TlsVersion(parser.value("tls-max"));
    if (tls.enabled && (tls.certFile.empty() || tls.caFile.empty()))
        Fail("--tls needs --cert and --ca");
    return tls;
}

FaultOptions ReadFaultOptions(const QCommandLineParser& parser)
{
    FaultOptions faults;
    faults.delayMs = static_cast<int>(NumberOption(parser, "delay", 0, 3600000));
    faults.noAnswer = parser.isSet("no-answer");
    faults.closeConnection = parser.isSet("close");
    if (parser.isSet("bad-length"))
        faults.lengthField = static_cast<std::uint32_t>(NumberOption(parser, "bad-length", 0, 0xFFFFFFFFLL));
    faults.reverseBatch = static_cast<int>(NumberOption(parser, "reverse", 0, 100000));
    faults.fromClaim = static_cast<int>(NumberOption(parser, "fault-from", 1, 100000000));
    if (faults.noAnswer && faults.closeConnection)
        Fail("--no-answer and --close exclude each other");
    return faults;
}

const QStringList networkOnly = {"host", "port", "tls", "cert", "key", "key-password", "ca", "tls-max",
                                   "twofish", "delay", "no-answer", "close", "bad-length", "reverse",
                                   "fault-from", "verbose"};
const QStringList modemOnly = {"connect-speed", "busy", "no-carrier", "no-enq", "nak-first",
                                 "bad-lrc", "silent-after-frame", "eot-instead-of-enq"};

ModemOptions ReadModemOptions(const QCommandLineParser& parser)
{
    const bool modem = parser.isSet("modem");
    for (const QString& name : modem ? networkOnly : modemOnly)
        if (parser.isSet(name))
            Fail(QString(modem ? "--%1 does not apply to --modem" : "--%1 needs --modem").arg(name));
    ModemOptions options;
    options.device = parser.value("modem").toStdString();
    if (modem && options.device.empty())
        Fail("--modem needs a device");
    options.connectSpeed = static_cast<int>(NumberOption(parser, "connect-speed", 300, 1000000));
    options.busyDials = static_cast<int>(NumberOption(parser, "busy", 0, 100000));
    options.noCarrier = parser.isSet("no-carrier");
    options.noEnq = parser.isSet("no-enq");
    options.nakFirst = parser.isSet("nak-first");
    options.badLrc = parser.isSet("bad-lrc");
    options.silentAfterFrame = parser.isSet("silent-after-frame");
    options.eotInsteadOfEnq = parser.isSet("eot-instead-of-enq");
    return options;
}

}  // namespace

SwitchOptions ParseSwitchOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    AddOptions(parser);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        Fail("unexpected argument " + parser.positionalArguments().first());

    SwitchOptions options;
    // First, so that an option of the other mode is named as such.
    options.modem = ReadModemOptions(parser);
    options.host = parser.value("host").toStdString();
    options.port = static_cast<std::uint16_t>(NumberOption(parser, "port", 0, 65535));
    options.twofish = parser.isSet("twofish");
    options.verbose = parser.isSet("verbose");
    options.tls = ReadTlsOptions(parser);
    options.faults = ReadFaultOptions(parser);
    return options;
}
