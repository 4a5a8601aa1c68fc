#include "platform/kill_point.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace qm {

namespace {

struct kill_order {
    std::string step;  // empty: no kill ordered
    long count = 1;
    std::atomic<long> reached{0};

    kill_order() {
        const char* value = std::getenv("QUILLMERE_KILL_AT");
        if (!value || !*value) return;
        std::string text(value);
        std::size_t colon = text.find(':');
        step = text.substr(0, colon);
        if (colon != std::string::npos) count = std::atol(text.c_str() + colon + 1);
    }
};

kill_order& order() {
    static kill_order parsed;
    return parsed;
}

}  // namespace

void kill_point(std::string_view step) {
    kill_order& wanted = order();
    if (wanted.step.empty() || wanted.step != step) return;
    if (wanted.reached.fetch_add(1) + 1 == wanted.count) ::kill(::getpid(), SIGKILL);
}

}  // namespace qm
