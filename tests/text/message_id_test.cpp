#include <regex>
#include <set>

#include "support/test_support.h"
#include "text/message_id.h"

namespace qm::test {
namespace {

// Ten thousand ids made in one second are all different, in the form the receivers take (the time, the
// random part that alone tells programs apart, the count), with the domain of the sender's address.
TEST(MessageId, TenThousandIdsAreAllDifferentAndWellFormed) {
    const std::regex form(R"(<20251207194512\.[0-9a-f]{16}\.\d+@example\.jp>)");
    std::set<std::string> random_parts;
    for (int i = 0; i < 10000; ++i) {
        const std::string id = make_message_id("Taro <taro@example.jp>", 1765136712);
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        random_parts.insert(id.substr(16, 16));
    }
    EXPECT_EQ(random_parts.size(), 10000u);
    for (auto [address, domain] : {std::pair{"a@b@mail.example.com", "mail.example.com"}, {"a@[192.0.2.1]", "[192.0.2.1]"},
                                   {"taro", "localhost.invalid"}, {"a@bad domain", "localhost.invalid"},
                                   {"a@example..jp", "localhost.invalid"}, {"a@", "localhost.invalid"}})
        EXPECT_EQ(message_id_domain(address), domain) << address;
}

}  // namespace
}  // namespace qm::test
