#pragma once

#include <string>
#include <string_view>

#include "store/program_session.h"

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
    // For an option no test with is() matched: sets the problem that names
    // it and answers true.
    bool unknown(std::string& problem) const;
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

// An account argument in CP932 that is a valid account title (the rule the
// account dialog applies); false with the problem named otherwise.
bool take_account(const char* argument, std::string& account, std::string& problem);

// The program context for a command: the data directory ($QUILLMERE_HOME,
// ...) and the temporary directory. False (after a message on stderr) when a
// directory cannot be found or made.
bool prepare_context();

// What a command that changes the store or the work directory holds while it
// runs: the window's start and end (store/program_session.h) without the
// settings files: the single-instance lock (so that it never works beside the
// window or another such command) and the work directory, which goes again at
// the end unless downloaded mail waits in it.
class store_session {
public:
    // Prepares the program context, takes the lock and makes the work
    // directory. False, after a message on stderr, when a directory cannot be
    // found or made, or when Quillmere is running already (nothing is changed
    // then).
    bool begin();

private:
    program_session session_{program_session::owner::command};
};

}  // namespace qm::cli
