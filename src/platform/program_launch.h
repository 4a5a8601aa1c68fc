#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Starting the programs the user chose (the text viewer and editor) and the
// program registered for a document type.

// Splits a command text (UTF-8, in which no byte of a character can be
// taken for a quote or a backslash, as a CP932 second byte can) into words
// as a POSIX shell would, without running one: blanks separate words; single
// quotes keep everything up to the next single quote; double quotes keep
// everything up to the next double quote, except that a backslash before
// "$", "`", "\"", "\\" or a line feed escapes it; outside quotes a backslash
// takes the next character literally (a backslash and a line feed vanish).
// Nothing else is interpreted: no variables, globbing, redirection or
// separators. nullopt for a quote that is not closed or a text that ends in
// a lone backslash.
std::optional<std::vector<std::string>> split_command_words(std::string_view text);

// Whether the program word names a program that is refused: a name ending
// in ".com" or ".bat", any case (DOS programs and batch files).
bool is_refused_program(std::string_view program_word);

// Starts `program` (CP932; "%NAME%" expanded, then split into words as
// above, so it may carry arguments) with `document` (a CP932 path) as one
// more argument, passed as it is. A program text that names an existing
// file as a whole is that file, blanks and all. Without a program (empty or
// only blanks) runs "xdg-open document". Refused (false) when the program
// word ends in .com or .bat, when the text cannot be split, or when a path
// has no UTF-8 form. True when the child process was started; it is not
// waited for, and it never stays behind as a zombie. xdg-open is waited for
// up to opener_failure_wait: when it ends with a failure (no program for
// the document, none that starts) in that time, the answer is false.
bool start_program(std::string_view program, std::string_view document);
inline constexpr std::chrono::milliseconds opener_failure_wait{2000};

}  // namespace qm
