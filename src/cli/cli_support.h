#pragma once

#include <string>
#include <string_view>

namespace qm::cli {

// What a command says on stderr, each line beginning with its name.
struct command_voice {
    const char* name;    // "import", "list" ...
    const char* syntax;  // the synopsis that follows "Usage: quillmere-cli "

    void complain(const std::string& text) const;
    // The problem and the synopsis; the exit status of a usage error (2).
    int usage_error(const std::string& text) const;
};

// Walks a command's arguments. Before a "--" argument a word that begins
// with "-" is an option; after it every word is an operand.
class argument_reader {
public:
    argument_reader(int argc, char** argv) : argc_(argc), argv_(argv) {}

    // Moves to the next argument, over the "--" that ends the options; false
    // at the end.
    bool next();
    const char* current() const { return argv_[index_]; }
    // Whether the current argument is the option `name`.
    bool is(std::string_view name) const { return !options_ended_ && current() == name; }
    // Whether it is an option that no test with is() matched ("-" alone is an
    // operand).
    bool is_option() const;
    // The argument after the current option (taken as it is), or nullptr.
    const char* value() { return ++index_ < argc_ ? argv_[index_] : nullptr; }

private:
    int argc_;
    char** argv_;
    int index_ = -1;
    bool options_ended_ = false;
};

std::string unknown_option(std::string_view argument);

// An argument in CP932; false (with the problem named after `what`) when it
// has none.
bool take_text(const char* argument, const char* what, std::string& value, std::string& problem);

// An account is one directory of the mailbox: a single folder name that is
// neither hidden nor a way out of the mailbox.
bool valid_account_name(std::string_view name);

// An account argument in CP932 that `valid` accepts; false with the problem
// named otherwise.
bool take_account(const char* argument, bool (*valid)(std::string_view), std::string& account,
                  std::string& problem);

// The mailbox root as the mailbox setting gives it, ending with "/" (read
// without making anything).
std::string mailbox_root();

}  // namespace qm::cli
