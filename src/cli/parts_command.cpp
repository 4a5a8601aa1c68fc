#include "cli/parts_command.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "cli/store_arguments.h"
#include "message/header_fields.h"
#include "message/part_file.h"
#include "platform/file_operations.h"
#include "store/attachments.h"
#include "text/utf8_text.h"

namespace qm::cli {

namespace {

const command_voice voice{"parts", parts_syntax};

// What the attachment list shows, and in its place the text part it leaves
// out.
std::vector<std::vector<std::string>> part_rows(const std::string& message_dir) {
    std::vector<std::vector<std::string>> rows;
    for (const part_row& row : list_parts(message_dir))
        rows.push_back({std::to_string(row.number), row.media_type, row.file_name, std::to_string(row.size)});
    int body = find_text_part(message_dir);
    if (body > 0) {
        std::size_t at = std::min(static_cast<std::size_t>(body - 1), rows.size());
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at),
                    {std::to_string(body), "body", "", std::to_string(file_size(part_file(message_dir, body)))});
    }
    return rows;
}

}  // namespace

int run_parts(int argc, char** argv) {
    int status = 0;
    std::optional<message_argument> message = message_of_command(argc, argv, voice, status);
    if (!message) return status;

    std::string shown;
    for (const std::vector<std::string>& row : part_rows(message->directory)) shown += terminal_row(row);
    if (!print(with_visible_controls(shown))) {
        voice.complain("the parts could not be written");
        return 1;
    }
    return 0;
}

}  // namespace qm::cli
