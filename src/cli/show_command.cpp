#include "cli/show_command.h"

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
    std::vector<const char*> operands;
    std::string problem;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.unknown(problem)) return voice.usage_error(problem);
        operands.push_back(reader.current());
    }
    message_argument message;
    if (!take_message(operands, message, problem)) return voice.usage_error(problem);
    if (operands.size() > 2) return voice.usage_error("more than a folder and a message number given");
    if (!prepare_context()) return 1;
    if (!find_message(message, voice)) return 1;

    std::string document = reading_document(message.directory);
    if (!document.ends_with('\n')) document.push_back('\n');
    if (!print(document)) {
        voice.complain("the message could not be written");
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
