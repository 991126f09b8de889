#include "pharmacy_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const description =
    "A pharmacy system for tests and benchmarks. It opens --connections\n"
    "connections to an inbound socket port at once and sends --claims claims\n"
    "on each, one after the other: every claim waits for its reply before the\n"
    "next is sent.\n"
    "\n"
    "Framings: \"mxsock\" (24-byte claim header \"01\" \"00\" \"000540\", 8-digit\n"
    "sequence, 6-digit length) or \"tuq\" (4-byte big-endian total length and a\n"
    "12-byte sequence field); with --twofish the claim and reply data are\n"
    "Twofish-encrypted with fresh contexts per connection.\n"
    "\n"
    "The claims are NCPDP 5.1 billing claims (B1) with one transaction whose\n"
    "prescription number (D2) differs per claim. Every reply must repeat its\n"
    "claim's header and sequence field, declare a length of at most 8192, begin\n"
    "with the claim's version/release and transaction code, and carry no\n"
    "prescription number but the claim's. A connection stops at its first\n"
    "wrong or missing reply; its remaining claims count as failed.\n"
    "\n"
    "At the end one line gives the counts, claims per second and the reply\n"
    "latency p50/p99. The exit status is 0 only when every claim got a right\n"
    "reply.";

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

InboundFraming FramingOption(const QString& text)
{
    if (text == "mxsock")
        return InboundFraming::MxSock;
    if (text == "tuq")
        return InboundFraming::TuqHeader;
    Fail("--framing needs mxsock or tuq");
}

}  // namespace

SocketLoadOptions ParsePharmacyOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addOptions({
        {"host", "Address of the inbound port (default 127.0.0.1).", "address", "127.0.0.1"},
        {"port", "The inbound port (required).", "port"},
        {"framing", "mxsock (default) or tuq.", "framing", "mxsock"},
        {"twofish", "Encrypt claim data and decrypt reply data with Twofish."},
        {"connections", "Concurrent connections (default 1).", "count", "1"},
        {"claims", "Claims per connection (default 1).", "count", "1"},
        {"timeout", "Seconds of silence allowed while a reply is awaited (default 60).", "seconds", "60"},
        {"expect-paid", "Every reply must be a paid response (status segment \"ANP\")."},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        Fail("unexpected argument " + parser.positionalArguments().first());
    if (!parser.isSet("port"))
        Fail("--port is required");

    SocketLoadOptions options;
    options.host = parser.value("host").toStdString();
    options.port = static_cast<std::uint16_t>(NumberOption(parser, "port", 1, 65535));
    options.framing = FramingOption(parser.value("framing"));
    options.twofish = parser.isSet("twofish");
    options.connections = NumberOption(parser, "connections", 1, 9999);
    options.claimsPerConnection = NumberOption(parser, "claims", 1, 99999);
    options.replyTimeoutSeconds = NumberOption(parser, "timeout", 1, 86400);
    options.expectPaid = parser.isSet("expect-paid");
    return options;
}
