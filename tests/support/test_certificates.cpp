#include "support/test_certificates.h"

#include <cstdlib>
#include <stdexcept>

#include "support/test_support.h"

namespace qm::test {

namespace {

// Runs the openssl command in the directory; throws with its output when it fails.
void run_openssl(const temp_dir& directory, const std::string& arguments) {
    std::string command = "cd '" + directory.path() + "' && openssl " + arguments + " >openssl.log 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("test certificates: openssl failed: " + read_bytes(directory / "openssl.log"));
}

const char* new_key = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -noenc -days 30";

tls_identity issue(const temp_dir& directory, const std::string& stem, const std::string& name,
                   const std::string& alt_names, bool by_ca = true) {
    run_openssl(directory, "req -x509" + std::string(new_key) + (by_ca ? " -CA ca.crt -CAkey ca.key" : "") +
                               " -keyout " + stem + ".key -out " + stem + ".crt -subj /CN=" + name +
                               " -addext subjectAltName=" + alt_names +
                               " -addext basicConstraints=critical,CA:FALSE -addext extendedKeyUsage=serverAuth");
    return {directory / (stem + ".crt"), directory / (stem + ".key")};
}

test_certificates make_all(const temp_dir& directory) {
    run_openssl(directory, "req -x509" + std::string(new_key) +
                               " -keyout ca.key -out ca.crt -subj '/CN=Quillmere Test CA'"
                               " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    return {directory / "ca.crt",
            issue(directory, "localhost", "localhost", "DNS:localhost,IP:127.0.0.1,IP:::1"),
            issue(directory, "other", "mail.example.invalid", "DNS:mail.example.invalid"),
            issue(directory, "self", "localhost", "DNS:localhost,IP:127.0.0.1", false)};
}

}  // namespace

const test_certificates& shared_test_certificates() {
    static const temp_dir directory;
    static const test_certificates made = make_all(directory);
    return made;
}

}  // namespace qm::test
