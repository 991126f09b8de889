#include "tls_server_context.h"

#include <openssl/err.h>

#include <cstring>

namespace {

int CopyPassword(char* buf, int size, int /*rwflag*/, void* userdata)
{
    const auto* password = static_cast<const std::string*>(userdata);
    int n = static_cast<int>(password->size());
    if (n > size - 1)
        n = size - 1;
    std::memcpy(buf, password->data(), static_cast<size_t>(n));
    buf[n] = '\0';
    return n;
}

bool SetProtocolRange(SSL_CTX* ctx, int maxVersion)
{
    if (maxVersion == 0)
        return SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1;
    if (maxVersion < TLS1_2_VERSION) {
        // Old protocols are refused at the default security level.
        SSL_CTX_set_security_level(ctx, 0);
        return SSL_CTX_set_min_proto_version(ctx, maxVersion) == 1
            && SSL_CTX_set_max_proto_version(ctx, maxVersion) == 1;
    }
    return SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1
        && SSL_CTX_set_max_proto_version(ctx, maxVersion) == 1;
}

bool LoadIdentity(SSL_CTX* ctx, const TlsOptions& tls, std::string& error)
{
    if (SSL_CTX_use_certificate_chain_file(ctx, tls.certFile.c_str()) != 1) {
        error = "cannot load certificate " + tls.certFile + ": " + TakeTlsErrors();
        return false;
    }
    // The callback only runs while the key is loaded, so the address of the
    // options' string is good for that long.
    SSL_CTX_set_default_passwd_cb_userdata(ctx, const_cast<std::string*>(&tls.keyPassword));
    SSL_CTX_set_default_passwd_cb(ctx, CopyPassword);
    bool keyLoaded = SSL_CTX_use_PrivateKey_file(ctx, tls.keyFile.c_str(), SSL_FILETYPE_PEM) == 1;
    SSL_CTX_set_default_passwd_cb(ctx, nullptr);
    SSL_CTX_set_default_passwd_cb_userdata(ctx, nullptr);
    if (!keyLoaded || SSL_CTX_check_private_key(ctx) != 1) {
        error = "cannot load private key " + tls.keyFile + ": " + TakeTlsErrors();
        return false;
    }
    return true;
}

bool RequireClientCertificates(SSL_CTX* ctx, const TlsOptions& tls, std::string& error)
{
    if (SSL_CTX_load_verify_locations(ctx, tls.caFile.c_str(), nullptr) != 1) {
        error = "cannot load CA file " + tls.caFile + ": " + TakeTlsErrors();
        return false;
    }
    if (STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(tls.caFile.c_str()))
        SSL_CTX_set_client_CA_list(ctx, names);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    return true;
}

}  // namespace

std::string TakeTlsErrors()
{
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        if (!text.empty())
            text += "; ";
        text += buf;
    }
    return text.empty() ? "no details" : text;
}

SslCtxPtr NewTlsServerContext(const TlsOptions& tls, std::string& error)
{
    SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (!ctx) {
        error = "cannot create TLS context: " + TakeTlsErrors();
        return nullptr;
    }
    if (!SetProtocolRange(ctx.get(), tls.maxVersion)) {
        error = "cannot set the TLS versions: " + TakeTlsErrors();
        return nullptr;
    }
    if (!LoadIdentity(ctx.get(), tls, error) || !RequireClientCertificates(ctx.get(), tls, error))
        return nullptr;
    return ctx;
}
