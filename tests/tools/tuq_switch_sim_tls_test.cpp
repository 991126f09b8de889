// tuq-switch-sim over TLS with certificates made at test time.
#include "sim_support.h"
#include "test_certs.h"

#include "relay/frames.h"
#include "base/twofish.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

using namespace sim;

int CopyPassword(char* buf, int size, int, void* userdata)
{
    const auto* password = static_cast<const std::string*>(userdata);
    int n = std::min(static_cast<int>(password->size()), size - 1);
    std::memcpy(buf, password->data(), static_cast<size_t>(n));
    return n;
}

// A blocking TLS client that verifies the switch against the CA and, when
// given one, presents the client certificate.
class TlsClient {
public:
    TlsClient(const TestCerts& certs, bool presentCertificate) : password_(certs.clientPassword)
    {
        ctx_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
        SSL_CTX_load_verify_locations(ctx_, certs.caFile.c_str(), nullptr);
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        if (presentCertificate) {
            SSL_CTX_set_default_passwd_cb_userdata(ctx_, &password_);
            SSL_CTX_set_default_passwd_cb(ctx_, CopyPassword);
            SSL_CTX_use_certificate_file(ctx_, certs.clientFile.c_str(), SSL_FILETYPE_PEM);
            SSL_CTX_use_PrivateKey_file(ctx_, certs.clientFile.c_str(), SSL_FILETYPE_PEM);
        }
    }

    ~TlsClient()
    {
        SSL_free(ssl_);
        SSL_CTX_free(ctx_);
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool connect(std::uint16_t port)
    {
        fd_ = ConnectLoopback(port);
        ssl_ = SSL_new(ctx_);
        SSL_set_fd(ssl_, fd_);
        return fd_ >= 0 && SSL_connect(ssl_) == 1;
    }

    int version() const { return SSL_version(ssl_); }

    bool write(const std::string& bytes)
    {
        size_t written = 0;
        return SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written) == 1 && written == bytes.size();
    }

    bool readExact(size_t size, std::string& bytes)
    {
        bytes.assign(size, '\0');
        for (size_t done = 0, got = 0; done < size; done += got)
            if (SSL_read_ex(ssl_, bytes.data() + done, size - done, &got) != 1)
                return false;
        return true;
    }

    bool readFrame(UpstreamFrame& frame)
    {
        std::string header;
        if (!readExact(kUpstreamHeaderSize, header))
            return false;
        frame.lengthField = ReadBigEndian32(header.data());
        frame.sequence = header.substr(4);
        long long size = DeclaredDataLength16(header.data());
        return size >= 0 && size <= kMaxFrameData && readExact(static_cast<size_t>(size), frame.data);
    }

private:
    std::string password_;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    int fd_ = -1;
};

class SwitchSimTlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        certs_ = MakeTestCerts(dir_.path().toStdString());
    }

    std::uint16_t start(const QStringList& extra)
    {
        sim_ = std::make_unique<ToolProcess>(
            "tuq-switch-sim", QStringList{"--port", "0", "--tls", "--cert", QString::fromStdString(certs_.serverCertFile),
                                          "--key", QString::fromStdString(certs_.serverKeyFile), "--ca",
                                          QString::fromStdString(certs_.caFile)} + extra);
        return sim_->waitForListening();
    }

    QTemporaryDir dir_;
    TestCerts certs_;
    std::unique_ptr<ToolProcess> sim_;
};

TEST_F(SwitchSimTlsTest, AnswersOverTlsWithAndWithoutTwofishAndVersionLimit)
{
    struct Case {
        QStringList args;
        bool twofish;
        int version;
    };
    const Case cases[] = {
        {{}, false, TLS1_3_VERSION},
        {{"--twofish"}, true, TLS1_3_VERSION},
        {{"--tls-max", "1.2"}, false, TLS1_2_VERSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        std::uint16_t port = start(c.args);
        ASSERT_NE(port, 0) << sim_->errors().toStdString();
        TlsClient client(certs_, true);
        ASSERT_TRUE(client.connect(port));
        EXPECT_EQ(client.version(), c.version);

        auto encoder = CreateTwofishContext(c.twofish ? TwofishBlocks : TwofishNone);
        auto decoder = CreateTwofishContext(c.twofish ? TwofishBlocks : TwofishNone);
        std::string claim = ClaimWithPrescription("0004711");
        EncryptBuffer(encoder.get(), claim.data(), static_cast<int>(claim.size()));
        ASSERT_TRUE(client.write(EncodeUpstreamFrame("000000042   ", claim)));
        UpstreamFrame answer;
        ASSERT_TRUE(client.readFrame(answer));
        EXPECT_EQ(answer.sequence, "000000042   ");
        DecryptBuffer(decoder.get(), answer.data.data(), static_cast<int>(answer.data.size()));
        EXPECT_EQ(answer.data.substr(0, 6), "51B11A");
        EXPECT_NE(answer.data.find("\x1c" "ANP"), std::string::npos);
        EXPECT_NE(answer.data.find("\x1c" "D20004711"), std::string::npos);
    }
}

TEST_F(SwitchSimTlsTest, ClientWithoutCertificateGetsNoAnswer)
{
    std::uint16_t port = start({});
    ASSERT_NE(port, 0);
    TlsClient client(certs_, false);
    // With TLS 1.3 the refusal may only show on the first read.
    if (client.connect(port) && client.write(EncodeUpstreamFrame("000000001   ", ClaimWithPrescription("0000001")))) {
        UpstreamFrame answer;
        EXPECT_FALSE(client.readFrame(answer));
    }
    EXPECT_EQ(sim_->terminate(), 0);
    EXPECT_TRUE(sim_->errors().contains("TLS handshake failed")) << sim_->errors().toStdString();
}

TEST_F(SwitchSimTlsTest, OfferingOnlyAnOldProtocolFailsTheHandshake)
{
    std::uint16_t port = start({"--tls-max", "1.1"});
    ASSERT_NE(port, 0) << sim_->errors().toStdString();
    TlsClient client(certs_, true);
    EXPECT_FALSE(client.connect(port));
}

}  // namespace
