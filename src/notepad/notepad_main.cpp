#include "notepad/notepad_main.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <optional>

#include "config/settings.h"
#include "platform/cp932.h"
#include "platform/program_context.h"
#include "platform/program_launch.h"
#include "platform/string_table.h"
#include "text/display_text.h"
#include "ui/message_box.h"
#include "ui/view_style.h"

namespace qm {

namespace {

// Told on the terminal too, for a user who started the program from a shell.
std::nullptr_t refuse(const std::string& utf8_text) {
    std::fprintf(stderr, "quillmere-notepad: %s\n", utf8_text.c_str());
    show_message_utf8(nullptr, message_kind::error, utf8_text);
    return nullptr;
}

std::string with_name(int id, std::string_view disk_name) {
    return display_utf8(load_string(id)) + "\n" + std::string(disk_name);
}

// The editor's 送信: Quillmere beside this program sends the draft, the
// running copy when one runs ("quillmere --send DRAFT").
bool send_through_quillmere(const std::string& draft_directory) {
    const std::string program = QCoreApplication::applicationDirPath().toStdString() + "/quillmere";
    const std::optional<std::string> as_named = utf8_to_cp932("'" + program + "' --send");
    return as_named && program.find('\'') == std::string::npos && start_program(*as_named, draft_directory);
}

constexpr const char* usage_text =
    "Usage: quillmere-notepad [--] FILE\n"
    "\n"
    "The text viewer and editor of the Quillmere mail client: shows and edits\n"
    "one CP932 (or marked UTF-8) text file with CR LF line ends.\n"
    "\n"
    "  FILE       the file to show\n"
    "  --         the next argument is the file, even when it begins with \"-\"\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

bool is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }

}  // namespace

std::optional<int> answered_notepad_option(int argc, char** argv) {
    if (argc != 2) return std::nullopt;
    if (is(argv[1], "--help") || is(argv[1], "-h")) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (is(argv[1], "--version")) {
        std::printf("quillmere-notepad %s\n", QUILLMERE_VERSION);
        return 0;
    }
    return std::nullopt;
}

QFont notepad_font() {
    Settings s;
    if (init_context() == context_result::ok) load_view_settings(s);
    return view_font(s);
}

std::unique_ptr<notepad_window> open_notepad(int argc, char** argv, const QFont& font) {
    if (argc == 3 && is(argv[1], "--")) {
        --argc;
        ++argv;
    }
    if (argc != 2) return refuse(display_utf8(load_string(str::notepad_no_file)));
    const std::string_view argument = argv[1];
    const std::optional<std::string> path = program_name(argument);
    if (!path) {
        // A name with a character the program cannot hold: say which one.
        typed_text typed = typed_to_cp932(argument);
        return refuse(typed.ok ? with_name(str::notepad_unreadable_file, argument) : refusal_notice(typed));
    }
    text_document document;
    held_file hold;
    switch (open_text_document(*path, document, hold)) {
    case document_opening::ok:
        break;
    case document_opening::missing:
        return refuse(with_name(str::notepad_missing_file, argument));
    case document_opening::unreadable:
        return refuse(with_name(str::notepad_unreadable_file, argument));
    }
    return std::make_unique<notepad_window>(std::move(document), std::move(hold), font, send_through_quillmere);
}

int notepad_main(int argc, char** argv) {
    std::unique_ptr<notepad_window> window = open_notepad(argc, argv, notepad_font());
    if (!window) return 1;
    window->show();
    return QApplication::exec();
}

}  // namespace qm
