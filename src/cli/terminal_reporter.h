#pragma once

#include "platform/reporter.h"

namespace qm {

// Shows the core's messages on the terminal: the text in UTF-8 on stderr,
// prefixed by its title. Questions are answered with `answer` (a command-line
// job has asked its questions through its arguments already).
class terminal_reporter : public reporter {
public:
    explicit terminal_reporter(bool answer = true) : answer_(answer) {}
    bool show(message_kind kind, std::string_view text) override;

    // How many errors were shown.
    int errors() const { return errors_; }

private:
    bool answer_;
    int errors_ = 0;
};

// A CP932 text as UTF-8 for the terminal (bytes without a UTF-8 form shown
// as "?").
std::string terminal_text(std::string_view cp932);

}  // namespace qm
