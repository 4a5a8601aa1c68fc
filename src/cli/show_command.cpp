#include "cli/show_command.h"

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/store_arguments.h"
#include "store/mail_reading.h"

namespace qm::cli {

namespace {

const command_voice voice{"show", show_syntax};

}  // namespace

int run_show(int argc, char** argv) {
    int status = 0;
    std::optional<message_argument> message = message_of_command(argc, argv, voice, status);
    if (!message) return status;

    std::string document = reading_document(message->directory);
    if (!document.ends_with('\n')) document.push_back('\n');
    if (!print(document)) {
        voice.complain("the message could not be written");
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
