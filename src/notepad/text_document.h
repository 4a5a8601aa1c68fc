#pragma once

#include <string>
#include <string_view>

#include "notepad/held_file.h"

namespace qm {

// A text file as the notepad shows it: CP932 text whose lines end with
// CR LF, read and written in text mode like every file of the program; or
// UTF-8 text that says so with its first bytes (EF BB BF), as the copy of a
// mail that holds characters CP932 lacks.
struct text_document {
    std::string path;   // CP932; a symbolic link is followed to its file
    std::string text;   // CP932 (UTF-8 when `utf8`, without the mark), line feeds only, up to a Ctrl-Z
    bool utf8 = false;
    bool read_only = false;       // the file has no write permission, or its directory cannot take a new file
    bool text_after_end = false;  // bytes follow the Ctrl-Z that ended the text: saving would drop them
    // The message directory (ending with "/") when the file is the header
    // "0" or the body "1" of a draft (its status says "D"): the mail it
    // belongs to can be sent from the editor.
    std::string draft_directory;
};

// Qt lays out a line whole, which takes seconds for a line of megabytes
// (minutes without a blank): a read-only text shows a line longer than
// shown_line_limit bytes in pieces. A file with a line longer than
// editable_line_limit is shown read-only, so that saving never breaks it.
inline constexpr std::size_t shown_line_limit = 4096;
inline constexpr std::size_t editable_line_limit = 65536;

enum class document_opening { ok, missing, unreadable };

// Reads the file for showing and holds it open in `hold`. Only a regular
// file that can be read is opened; nothing is created or written.
document_opening open_text_document(std::string_view path, text_document& document, held_file& hold);

// Writes `text` (CP932 with line feeds; UTF-8 after the mark with `utf8`)
// as the whole file with CR LF line ends. The new contents go into the file's companion, which takes the
// file's place in one step, so that the file is never half-written; the
// file keeps its permissions. `hold` then holds the new file, which it
// opened before the new file took the name. On a failure the file and
// `hold` stay as they were.
bool save_text_document(std::string_view path, std::string_view text, held_file& hold, bool utf8 = false);

inline constexpr std::string_view utf8_text_mark = "\xEF\xBB\xBF";

// The text as the window shows it (CP932, or UTF-8 with `utf8`).
std::string shown_text(const text_document& document);

// The window title: the file's name, and a mark when it cannot be saved.
std::string document_title(std::string_view path, bool read_only);

// The title that names the mail (UTF-8): "件名 - 下書き" for a draft,
// "件名 - 閲覧" for the copy of a mail the viewer shows (a "qlm_" file, its
// subject from its Subject line); the file's title for any other file, and
// for a mail without a subject.
std::string mail_title(const text_document& document);

}  // namespace qm
