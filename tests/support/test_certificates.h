#pragma once

#include <string>

namespace qm::test {

// A certificate and its private key, as PEM files.
struct tls_identity {
    std::string certificate_file;
    std::string key_file;
};

// A test certificate authority and server certificates it signed.
struct test_certificates {
    std::string ca_file;       // the CA certificate: point SSL_CERT_FILE at it
    tls_identity localhost;    // for "localhost", 127.0.0.1 and ::1
    tls_identity other_host;   // for "mail.example.invalid" only (a wrong host name)
    tls_identity self_signed;  // for localhost and 127.0.0.1, signed by nobody the client trusts
};

// Files of tests/data/servers/certs (valid for a hundred years, the CA's key not kept).
const test_certificates& shared_test_certificates();

}  // namespace qm::test
