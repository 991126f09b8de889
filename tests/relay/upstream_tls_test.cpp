#include "relay_fixture.h"
#include "switch_peer.h"

#include "relay/security_flag.h"
#include "test_certs.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

class TlsTest : public RelayTestBase, public ::testing::Test {
protected:
    TlsTest() : certs(MakeTestCerts(home.path()))
    {
        SetEnableOutboundSSLCommunications(true);
        SetSSLCertificateFileName(certs.clientFile);
        SetSSLClientPassword(certs.clientPassword);
        SetSSLCAFileName(certs.caFile);
    }

    SwitchPeerOptions TlsPeer() const
    {
        SwitchPeerOptions options;
        options.certFile = certs.serverCertFile;
        options.keyFile = certs.serverKeyFile;
        options.caFile = certs.caFile;
        return options;
    }

    // Starts a persistent relay against peer and tells whether it started.
    bool RelayStartsAgainst(SwitchPeer& peer)
    {
        UseHost(1, "127.0.0.1", peer.port(), 0);
        RelayRun relay;
        return relay.WaitReady();
    }

    TestCerts certs;
};

std::string Tuq12(const std::string& text)
{
    std::string field = text;
    field.resize(12, ' ');
    return field;
}

} // namespace

TEST_F(TlsTest, ClaimTravelsOverTlsWithAndWithoutTwofish)
{
    for (bool twofish : {false, true}) {
        SwitchPeerOptions options = TlsPeer();
        options.twofish = twofish;
        SwitchPeer peer(SwitchPeer::Echo(), options);
        UseHost(1, "127.0.0.1", peer.port(), 0);
        SetEnableOutboundTwofishSecurity(twofish);
        RelayRun relay;
        ASSERT_TRUE(relay.WaitReady());
        InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
        for (std::string tag : {"one", "two"}) {
            client.SendClaim(Tuq12(tag), SampleClaim(tag));
            auto reply = client.ReadReply();
            ASSERT_TRUE(reply) << NetLog();
            EXPECT_EQ(reply->data, "RSP:" + SampleClaim(tag));
        }
        EXPECT_EQ(peer.connections(), 1);
    }
    EXPECT_FALSE(LogHas("Possible cause"));
}

TEST_F(TlsTest, SwitchClosingTheTlsLinkAnswersTuq08)
{
    SwitchPeer peer([](SwitchConnection& c, const UpstreamRequest&) { c.Close(); }, TlsPeer());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("x"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ08 HOST RESPONSE ERROR (TESTSYS1)"), std::string::npos);
}

TEST_F(TlsTest, UnknownServerCertificateIsRefused)
{
    SetSSLCAFileName(certs.otherCaFile);
    SwitchPeer peer(SwitchPeer::Echo(), TlsPeer());
    EXPECT_FALSE(RelayStartsAgainst(peer));
    EXPECT_TRUE(LogHas("SSL_ERROR_SSL, Lib(20), Func(0), Reason(134)"));
    EXPECT_TRUE(LogHas("certificate verify failed"));
    EXPECT_TRUE(LogHas("mxOpen():  Cannot connect to an Tuq host."));
}

TEST_F(TlsTest, WrongKeyPasswordGivesTheHint)
{
    SetSSLClientPassword("not the password");
    SwitchPeer peer(SwitchPeer::Echo(), TlsPeer());
    EXPECT_FALSE(RelayStartsAgainst(peer));
    EXPECT_TRUE(LogHas("in SSL_CTX_use_PrivateKey_file(), Lib("));
    EXPECT_TRUE(LogHas("mxTryConnect(1) Possible cause of SSL failure is an invalid 'SSL Client Private Key "
                       "Password' specified in 'Options' panel"))
        << NetLog();
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(TlsTest, UnreadableFileIsNamedWithTheReason)
{
    struct Case {
        const char* what;
        std::function<void(const std::string&)> use;
    } cases[] = {
        {"certificate", [](const std::string& path) { SetSSLCertificateFileName(path); }},
        {"CA", [](const std::string& path) { SetSSLCAFileName(path); }},
    };
    for (const Case& c : cases) {
        SetSSLCertificateFileName(certs.clientFile);
        SetSSLCAFileName(certs.caFile);
        std::string missing = home.path() + "/no-" + c.what + ".pem";
        c.use(missing);
        SwitchPeer peer(SwitchPeer::Echo(), TlsPeer());
        EXPECT_FALSE(RelayStartsAgainst(peer)) << c.what;
        EXPECT_TRUE(LogHas("mxTryConnect() Cannot use the " + std::string(c.what) + " file '" + missing +
                           "': No such file or directory"))
            << NetLog();
        EXPECT_FALSE(LogHas("certificate verify failed")) << c.what;
    }
}

TEST_F(TlsTest, ServerOfferingOnlyTls10IsRefused)
{
    SwitchPeerOptions options = TlsPeer();
    options.onlyTls10 = true;
    SwitchPeer peer(SwitchPeer::Echo(), options);
    EXPECT_FALSE(RelayStartsAgainst(peer));
    EXPECT_TRUE(LogHas("mxTryConnect() SSL_connect Error("));
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(TlsTest, NoSecuritySwitchUsesPlainTcp)
{
    SetSecurityDisabled(true);
    SwitchPeer peer(SwitchPeer::Echo());
    bool started = RelayStartsAgainst(peer);
    SetSecurityDisabled(false);
    EXPECT_TRUE(started);
}

TEST_F(TlsTest, StopRequestEndsAHandshakeWithoutTimeLimit)
{
    // A switch that takes the connection but never answers the handshake.
    int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    listen(silent, 4);
    socklen_t size = sizeof address;
    getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
    UseHost(1, "127.0.0.1", ntohs(address.sin_port), 0);
    SetOutboundConnectTimeout(0);

    RelayRun relay;
    pollfd pending{silent, POLLIN, 0};
    ASSERT_EQ(poll(&pending, 1, 20000), 1);  // the relay's connection is queued
    relay.Stop();
    EXPECT_TRUE(relay.WaitEnded(20));
    EXPECT_FALSE(relay.WaitReady(0));
    EXPECT_TRUE(LogHas("Detected Terminate condition - After mxOpen"));
    close(silent);
}
