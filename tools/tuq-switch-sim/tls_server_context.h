#pragma once
#include "switch_options.h"

#include <memory>
#include <openssl/ssl.h>
#include <string>

struct SslCtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;

// A server context: certificate and key loaded, client certificates required
// and verified against the CA file, TLS 1.2 or later unless tls.maxVersion
// asks for an older protocol. Empty with error set when anything fails.
SslCtxPtr NewTlsServerContext(const TlsOptions& tls, std::string& error);

// The OpenSSL error queue as one line (and the queue emptied).
std::string TakeTlsErrors();
