#include <cstdio>
#include <cstring>
#include <string>

#include "cli/account_command.h"
#include "cli/commands.h"
#include "cli/import_command.h"
#include "cli/list_command.h"
#include "cli/sync_command.h"
#include "cli/new_command.h"
#include "cli/parts_command.h"
#include "cli/save_command.h"
#include "cli/show_command.h"

namespace qm::cli {

// The commands, in the order --help lists them.
const command commands[] = {
    {"account", account_usage, run_account},
    {"import", import_usage, run_import},
    {"list", list_usage, run_list},
    {"new", new_usage, run_new},
    {"parts", parts_usage, run_parts},
    {"save", save_usage, run_save},
    {"show", show_usage, run_show},
    {"sync", sync_usage, run_sync},
    {nullptr, nullptr, nullptr},
};

}  // namespace qm::cli

namespace {

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage: quillmere-cli COMMAND [ARGUMENTS]\n"
        "\n"
        "Quillmere's mail store and jobs from a shell. Settings and mail are found in\n"
        "$QUILLMERE_HOME, else beside the program, else in ~/.local/share/quillmere/.\n"
        "\n"
        "Commands:\n",
        out);
    for (const auto& c : qm::cli::commands) {
        if (c.name) std::fprintf(out, "  %s\n", c.usage);
    }
    std::fputs(
        "\n"
        "Options:\n"
        "  --help      show this text\n"
        "  --version   show the version\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        print_usage(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h") {
        print_usage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("quillmere-cli %s\n", QUILLMERE_VERSION);
        return 0;
    }
    for (const auto& c : qm::cli::commands) {
        if (c.name && name == c.name) return c.run(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "quillmere-cli: unknown command \"%s\" (see --help)\n", name.c_str());
    return 2;
}
