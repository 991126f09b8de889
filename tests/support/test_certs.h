#pragma once
#include <string>

// Certificates made at test time for TLS tests: a CA, a server certificate
// it signed (CN 127.0.0.1, alternative names 127.0.0.1 and localhost), a
// client certificate it signed with the client's private key in the same
// PEM file, encrypted with a password, and a second CA that signed nothing
// of the above. All files are PEM.
struct TestCerts {
    std::string caFile;
    std::string serverCertFile;
    std::string serverKeyFile;   // not encrypted
    std::string clientFile;      // certificate, then the encrypted key
    std::string clientPassword;
    std::string otherCaFile;
};

// Writes the files into folder (which must exist). Throws std::runtime_error
// when OpenSSL fails.
TestCerts MakeTestCerts(const std::string& folder, const std::string& clientPassword = "client-secret");
