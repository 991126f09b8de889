#include "pharmacy_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const description =
    "A pharmacy system for tests, benchmarks and checking an installation.\n"
    "\n"
    "Socket mode (--port): opens --connections connections to an inbound\n"
    "socket port at once and sends --claims claims on each, one after the\n"
    "other: every claim waits for its reply before the next is sent. With\n"
    "--outstanding N up to N claims of a connection wait for their replies\n"
    "at once, as a pipelining peer sends them; replies may then come in any\n"
    "order and are matched to their claims by the sequence field.\n"
    "Framings: \"mxsock\" (24-byte claim header \"01\" \"00\" \"000540\", 8-digit\n"
    "sequence, 6-digit length) or \"tuq\" (4-byte big-endian total length and a\n"
    "12-byte sequence field); with --twofish the claim and reply data are\n"
    "Twofish-encrypted with fresh contexts per connection. Every reply must\n"
    "repeat its claim's header and sequence field and declare a length of at\n"
    "most 8192. A connection stops at its first wrong or missing reply; its\n"
    "remaining claims count as failed.\n"
    "\n"
    "Serial mode (--serial DEVICE): dials out through Corvane's modem on a\n"
    "serial line (raw, 8N1, no flow control), as the pharmacy system of\n"
    "--profile does. Give --profile, --baud, --lrc and --visa2 as Corvane's\n"
    "serial settings are (PharmacyConfig, Baud, Lrc, Visa2). Each call sends\n"
    "\"ATE1V1\" (\"ATE0V1\" with --echo off), \"ATZ\" and \"ATDT\" + --phone, each\n"
    "ended by CR, and checks every byte the modem answers: the echo or CR LF,\n"
    "\"OK\" (profile 1: no OK and no CR LF), the profile's CONNECT report with\n"
    "the --baud speed (profile 1: \"9\"), one ENQ (two in profiles 2 and 7).\n"
    "A claim goes as STX, claim, ETX and, with --lrc, the check byte; its\n"
    "response must come framed the same way with a right check byte, and is\n"
    "acknowledged with ACK (the letter v in profile 6; --nak-first answers the\n"
    "first response with NAK and expects it again, unchanged). VISA I: one\n"
    "claim per call; the modem ends the call with EOT and its NO CARRIER report\n"
    "and the next claim dials again. VISA II (--visa2): after each\n"
    "acknowledgement the modem sends ENQ and the next claim goes on the same\n"
    "call; at the end \"ATH0\" (or \"+++\" with --hangup plus) must bring the\n"
    "NO CARRIER report. The run stops at the first wrong or missing byte and\n"
    "says what was expected and what came.\n"
    "Profiles: 0 Unspecified, 1 3PM Xenix Multi-Tech, 2 HCC Synercom US\n"
    "Robotics Sportster V.92, 3 WinTapi US Robotics Courier V.Everything,\n"
    "4 McKesson Pharmaserve For Windows 09/2004, 5 McKesson Pharmaserve For\n"
    "Windows 33.6, 6 Zadall, 7 HCC Synercom US Robotics Sportster V.92 DTR2CD.\n"
    "\n"
    "The claims are NCPDP 5.1 billing claims (B1) with one transaction whose\n"
    "prescription number (D2) differs per claim. Every reply must begin with\n"
    "the claim's version/release and transaction code and carry no\n"
    "prescription number but the claim's.\n"
    "\n"
    "At the end one line gives the counts, claims per second and the reply\n"
    "latency p50/p99 (claim sent to reply received). The exit status is 0 only\n"
    "when every claim got a right reply, 1 when one did not, 2 for a wrong\n"
    "command line.";

const QStringList socketOnly{"host", "port", "framing", "twofish", "connections", "outstanding"};
const QStringList serialOnly{"profile", "baud", "echo", "phone", "lrc", "visa2", "hangup", "nak-first"};

[[noreturn]] void Fail(const QString& message)
{
    std::fprintf(stderr, "pharmacy-sim: %s\n", qPrintable(message));
    std::exit(2);
}

int NumberOption(const QCommandLineParser& parser, const QString& name, int min, int max)
{
    bool ok = false;
    int value = parser.value(name).toInt(&ok);
    if (!ok || value < min || value > max)
        Fail(QString("--%1 needs a number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

bool ChoiceOption(const QCommandLineParser& parser, const QString& name, const QString& yes, const QString& no)
{
    const QString value = parser.value(name);
    if (value != yes && value != no)
        Fail(QString("--%1 needs %2 or %3").arg(name, yes, no));
    return value == yes;
}

InboundFraming FramingOption(const QString& text)
{
    if (text == "mxsock")
        return InboundFraming::MxSock;
    if (text == "tuq")
        return InboundFraming::TuqHeader;
    Fail("--framing needs mxsock or tuq");
}

void RejectOptionsOfOtherMode(const QCommandLineParser& parser, const QStringList& names, const char* mode)
{
    for (const QString& name : names)
        if (parser.isSet(name))
            Fail(QString("--%1 belongs to the %2 mode").arg(name, mode));
}

SocketLoadOptions SocketOptions(const QCommandLineParser& parser)
{
    RejectOptionsOfOtherMode(parser, serialOnly, "serial");
    if (!parser.isSet("port"))
        Fail("give --port (socket mode) or --serial (serial mode)");
    SocketLoadOptions options;
    options.host = parser.value("host").toStdString();
    options.port = static_cast<std::uint16_t>(NumberOption(parser, "port", 1, 65535));
    options.framing = FramingOption(parser.value("framing"));
    options.twofish = parser.isSet("twofish");
    options.connections = NumberOption(parser, "connections", 1, 9999);
    options.claimsPerConnection = NumberOption(parser, "claims", 1, 99999);
    options.outstanding = NumberOption(parser, "outstanding", 1, 1000);
    options.replyTimeoutSeconds = NumberOption(parser, "timeout", 1, 86400);
    options.expectPaid = parser.isSet("expect-paid");
    return options;
}

SerialLoadOptions SerialOptions(const QCommandLineParser& parser)
{
    RejectOptionsOfOtherMode(parser, socketOnly, "socket");
    SerialLoadOptions options;
    options.device = parser.value("serial").toStdString();
    options.profile = NumberOption(parser, "profile", 0, 7);
    options.baud = NumberOption(parser, "baud", 50, 4000000);
    options.echo = parser.isSet("echo") ? ChoiceOption(parser, "echo", "on", "off") : options.profile != 1;
    options.phone = parser.value("phone").toStdString();
    if (options.phone.empty() || options.phone.find_first_not_of("0123456789,-*#W") != std::string::npos)
        Fail("--phone needs digits (and , - * # W)");
    options.lrc = parser.isSet("lrc");
    options.visa2 = parser.isSet("visa2");
    options.hangupWithEscape = ChoiceOption(parser, "hangup", "plus", "ath");
    if (parser.isSet("hangup") && !options.visa2)
        Fail("--hangup applies to VISA II calls (--visa2) only");
    options.nakFirst = parser.isSet("nak-first");
    options.claims = NumberOption(parser, "claims", 1, 99999);
    options.timeoutSeconds = NumberOption(parser, "timeout", 1, 86400);
    options.expectPaid = parser.isSet("expect-paid");
    return options;
}

}  // namespace

PharmacyOptions ParsePharmacyOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"host", "Socket mode: address of the inbound port (default 127.0.0.1).", "address", "127.0.0.1"},
        {"port", "Socket mode: the inbound port.", "port"},
        {"framing", "Socket mode: mxsock (default) or tuq.", "framing", "mxsock"},
        {"twofish", "Socket mode: encrypt claim data and decrypt reply data with Twofish."},
        {"connections", "Socket mode: concurrent connections (default 1).", "count", "1"},
        {"outstanding", "Socket mode: claims in flight per connection (default 1).", "count", "1"},
        {"serial", "Serial mode: the serial device, e.g. /dev/ttyS0.", "device"},
        {"profile", "Serial mode: the pharmacy-system profile, 0 to 7 (default 0).", "number", "0"},
        {"baud", "Serial mode: line speed, also expected in the CONNECT report (default 19200).", "speed",
         "19200"},
        {"echo", "Serial mode: on or off, the echo the command lines ask for (default on; off in profile 1).",
         "setting"},
        {"phone", "Serial mode: the number dialled (default 5550100).", "digits", "5550100"},
        {"lrc", "Serial mode: claims and responses carry the LRC check byte after ETX."},
        {"visa2", "Serial mode: VISA II, all claims on one call (default VISA I, one call per claim)."},
        {"hangup", "Serial mode, VISA II: end the call with ath (\"ATH0\", default) or plus (\"+++\").", "command",
         "ath"},
        {"nak-first", "Serial mode: answer the first response with NAK once and expect it again."},
        {"claims", "Claims per connection, or in all in serial mode (default 1).", "count", "1"},
        {"timeout", "Seconds of silence allowed while an answer is awaited (default 60).", "seconds", "60"},
        {"expect-paid", "Every reply must be a paid response (status segment \"ANP\")."},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        Fail("unexpected argument " + parser.positionalArguments().first());
    if (parser.isSet("port") && parser.isSet("serial"))
        Fail("give either --port (socket mode) or --serial (serial mode), not both");

    PharmacyOptions options;
    options.serial = parser.isSet("serial");
    if (options.serial)
        options.serialLine = SerialOptions(parser);
    else
        options.socket = SocketOptions(parser);
    return options;
}
