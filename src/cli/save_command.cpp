#include "cli/save_command.h"

#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/store_arguments.h"
#include "cli/terminal_reporter.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "store/attachments.h"

namespace qm::cli {

namespace {

const command_voice voice{"save", save_syntax};

struct save_arguments {
    message_argument message;
    int part = 0;
    std::string file;  // CP932, as given
    bool force = false;
};

bool parse_arguments(int argc, char** argv, save_arguments& arguments, std::string& problem) {
    std::vector<const char*> operands;
    for (argument_reader reader(argc, argv); reader.next();) {
        if (reader.is("--force")) {
            arguments.force = true;
        } else if (reader.unknown(problem)) {
            return false;
        } else {
            operands.push_back(reader.current());
        }
    }
    if (!take_message(operands, arguments.message, problem)) return false;
    if (operands.size() < 4) {
        problem = operands.size() < 3 ? "no part number given" : "no file given";
        return false;
    }
    if (operands.size() > 4) {
        problem = "more than a folder, a message, a part and a file given";
        return false;
    }
    return take_number(operands[2], "the part number", arguments.part, problem) &&
           take_text(operands[3], "the file name", arguments.file, problem);
}

}  // namespace

int run_save(int argc, char** argv) {
    save_arguments arguments;
    std::string problem;
    if (!parse_arguments(argc, argv, arguments, problem)) return voice.usage_error(problem);
    if (!prepare_context()) return 1;
    if (!find_message(arguments.message, voice)) return 1;

    const std::string shown_file = terminal_text(arguments.file);
    if (arguments.part < 1 || !path_exists(part_file(arguments.message.directory, arguments.part))) {
        voice.complain("message " + std::to_string(arguments.message.number) + " has no part " +
                       std::to_string(arguments.part) + " (see quillmere-cli parts)");
        return 1;
    }
    if (!arguments.force && path_exists(arguments.file)) {
        voice.complain(shown_file + " exists already; nothing was written (--force replaces it)");
        return 1;
    }
    if (!restore_part(arguments.message.directory, arguments.part, arguments.file, arguments.force)) {
        // An unknown transfer encoding, or a file that cannot be written.
        voice.complain("part " + std::to_string(arguments.part) + " could not be restored into " + shown_file);
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
