#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* usage_text =
    "Usage: quillmere-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Quillmere's mail store and jobs from a shell.\n"
    "\n"
    "Options:\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(usage_text, stderr);
        return 2;
    }
    std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("quillmere-cli %s\n", QUILLMERE_VERSION);
        return 0;
    }
    std::fprintf(stderr, "quillmere-cli: unknown command \"%s\" (see --help)\n", command.c_str());
    return 2;
}
