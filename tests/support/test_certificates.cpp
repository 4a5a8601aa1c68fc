#include "support/test_certificates.h"

#include <filesystem>

namespace qm::test {

const test_certificates& shared_test_certificates() {
    // Found beside this file, so that the benchmarks that borrow it need no definition of the data folder.
    static const std::string directory =
        std::filesystem::path(__FILE__).parent_path().parent_path().string() + "/data/servers/certs/";
    static const test_certificates made = {directory + "ca.crt",
                                           {directory + "localhost.crt", directory + "localhost.key"},
                                           {directory + "other.crt", directory + "other.key"},
                                           {directory + "self.crt", directory + "self.key"}};
    return made;
}

}  // namespace qm::test
