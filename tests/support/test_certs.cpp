#include "test_certs.h"

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

void Check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificates: ") + what + " failed");
}

KeyPtr NewKey()
{
    KeyPtr key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    Check(key != nullptr, "key generation");
    return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    Check(ext != nullptr, "certificate extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// A certificate for key, signed by issuerKey under issuer (self-signed when
// issuer is null).
CertPtr NewCert(const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial,
                bool isCa, const char* altNames)
{
    CertPtr cert(X509_new(), X509_free);
    Check(cert != nullptr, "X509_new");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 365L * 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Corvane Test"),
                               -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1,
                               -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    if (isCa) {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    }
    if (altNames)
        AddExtension(cert.get(), signer, NID_subject_alt_name, altNames);
    Check(X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) > 0, "X509_sign");
    return cert;
}

struct File {
    explicit File(const std::string& path) : f(std::fopen(path.c_str(), "wb")) { Check(f != nullptr, "fopen"); }
    ~File() { std::fclose(f); }
    FILE* f;
};

void WriteCert(const std::string& path, X509* cert)
{
    File file(path);
    Check(PEM_write_X509(file.f, cert) == 1, "PEM_write_X509");
}

} // namespace

TestCerts MakeTestCerts(const std::string& folder, const std::string& clientPassword)
{
    TestCerts certs;
    certs.caFile = folder + "/ca.pem";
    certs.serverCertFile = folder + "/server.pem";
    certs.serverKeyFile = folder + "/server-key.pem";
    certs.clientFile = folder + "/client.pem";
    certs.clientPassword = clientPassword;
    certs.otherCaFile = folder + "/other-ca.pem";

    KeyPtr caKey = NewKey();
    CertPtr ca = NewCert("Corvane Test CA", caKey.get(), nullptr, nullptr, 1, true, nullptr);
    WriteCert(certs.caFile, ca.get());

    KeyPtr serverKey = NewKey();
    CertPtr server = NewCert("127.0.0.1", serverKey.get(), ca.get(), caKey.get(), 2, false,
                             "IP:127.0.0.1,DNS:localhost");
    WriteCert(certs.serverCertFile, server.get());
    {
        File file(certs.serverKeyFile);
        Check(PEM_write_PrivateKey(file.f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1,
              "server key");
    }

    KeyPtr clientKey = NewKey();
    CertPtr client = NewCert("Corvane Test Pharmacy", clientKey.get(), ca.get(), caKey.get(), 3, false, nullptr);
    {
        File file(certs.clientFile);
        Check(PEM_write_X509(file.f, client.get()) == 1, "client certificate");
        Check(PEM_write_PrivateKey(file.f, clientKey.get(), EVP_aes_256_cbc(),
                                   reinterpret_cast<const unsigned char*>(clientPassword.data()),
                                   static_cast<int>(clientPassword.size()), nullptr, nullptr) == 1,
              "client key");
    }

    KeyPtr otherKey = NewKey();
    CertPtr other = NewCert("Unrelated Test CA", otherKey.get(), nullptr, nullptr, 4, true, nullptr);
    WriteCert(certs.otherCaFile, other.get());
    return certs;
}
