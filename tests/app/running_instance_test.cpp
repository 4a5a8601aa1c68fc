// A second start hands its requests to the running window as whole lines,
// however the bytes arrive (the window's side is driven end to end).

#include <gtest/gtest.h>

#include "app/running_instance.h"

namespace qm::test {
namespace {

// The same bytes fed whole and in pieces of every size give the same
// requests; a line not yet ended waits.
TEST(RunningInstance, RequestsAreWholeLinesHoweverTheyArrive) {
    using kind = instance_request::kind;
    const std::string stream = "raise\nmailto mailto:a@example.jp?subject=%E4%BC%9A\r\nhello\n\nraise\nmailto x";
    const std::vector<instance_request> expected = {
        {kind::raise, {}}, {kind::open_link, "mailto:a@example.jp?subject=%E4%BC%9A"}, {kind::raise, {}}};
    for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
        std::string received;
        std::vector<instance_request> requests;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            received += stream.substr(at, piece);
            for (instance_request& r : take_requests(received)) requests.push_back(std::move(r));
        }
        EXPECT_EQ(requests, expected) << piece;
        EXPECT_EQ(received, "mailto x") << piece;
    }
}

}  // namespace
}  // namespace qm::test
