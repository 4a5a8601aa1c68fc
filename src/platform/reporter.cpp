#include "platform/reporter.h"

namespace qm {

const std::string& message_title(message_kind kind) {
    switch (kind) {
        case message_kind::notice: return load_string(str::title_notice);
        case message_kind::confirm: return load_string(str::title_confirm);
        case message_kind::error: break;
    }
    return load_string(str::title_error);
}

}  // namespace qm
