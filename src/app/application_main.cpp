#include "app/application_main.h"

#include <QApplication>
#include <QSessionManager>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/ending_signals.h"
#include "app/icons.h"
#include "app/mailto_request.h"
#include "app/memory_use.h"
#include "app/running_instance.h"
#include "app/window_.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "store/program_session.h"
#include "text/mailto.h"
#include "ui/japanese_translations.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

int start_failed(int text_id) {
    show_message(nullptr, message_kind::error, load_string(text_id));
    return 0;
}

constexpr int usage_exit_code = 2;

void print_usage(std::FILE* out) {
    std::fputs(
        "Usage: quillmere [mailto:LINK | --send DRAFT]\n"
        "\n"
        "Quillmere, a mail client. Settings and mail are found in $QUILLMERE_HOME,\n"
        "else beside a portable copy of the program, else in ~/.local/share/quillmere/.\n"
        "Only one copy runs: a second start brings its window to the front.\n"
        "\n"
        "  mailto:LINK  open the new-mail dialog with the link's recipient, subject and\n"
        "               body (in the running copy, when one runs)\n"
        "  --send DRAFT send a draft (its message directory): into the outbox, then the\n"
        "               send round (in the running copy, when one runs); the editor's 送信\n"
        "  --help       show this text\n"
        "  --version    show the version\n",
        out);
}

// --help and --version are answered before any window or display is needed.
std::optional<int> answered_option(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            print_usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillmere %s\n", QUILLMERE_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

// What the program was started with (Qt's own options already taken away):
// a mailto: link, or "--send" and a draft; nothing, told on stderr, for
// arguments it does not take.
struct start_request {
    std::optional<std::string> link;
    std::optional<std::string> draft;  // UTF-8
};

start_request start_arguments(bool& bad) {
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    bad = false;
    if (arguments.isEmpty()) return {};
    const QByteArray first = arguments.first().toUtf8();
    if (arguments.size() == 1 && is_mailto_uri(std::string_view(first.constData(), first.size())))
        return {std::string(first.constData(), static_cast<std::size_t>(first.size())), std::nullopt};
    if (arguments.size() == 2 && arguments.first() == QStringLiteral("--send"))
        return {std::nullopt, arguments.last().toStdString()};
    std::fprintf(stderr, "quillmere: unknown argument \"%s\" (see --help)\n",
                 qPrintable(arguments.size() == 1 ? arguments.first() : arguments.join(' ')));
    bad = true;
    return {};
}

// A second start with a link: the link is checked here, where the user
// sees a refusal, and then handed to the running copy.
int hand_over(const std::string& link) {
    mailto_link parsed;
    if (const mailto_result result = parse_mailto(link, parsed); result != mailto_result::ok) {
        show_message(nullptr, message_kind::error, load_string(mailto_refusal_text(result)));
        return 1;
    }
    if (!hand_link_to_running_instance(link)) {
        show_message(nullptr, message_kind::error, load_string(str::mailto_not_handed));
        return 1;
    }
    return 0;
}

}  // namespace

int application_main(int argc, char** argv) {
    if (const std::optional<int> code = answered_option(argc, argv)) return *code;
    give_back_freed_memory();
    QApplication app(argc, argv);
    // Qt takes the user's locale; the core's numbers stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));
    QApplication::setWindowIcon(main_icon());
    load_japanese_translations(app);
    bool bad_arguments = false;
    const start_request request = start_arguments(bad_arguments);
    const std::optional<std::string>& link = request.link;
    if (bad_arguments) return usage_exit_code;

    if (init_context() != context_result::ok) return start_failed(str::file_error);
    Layout layout;
    program_session session(program_session::owner::window);
    switch (session.start(settings(), layout)) {
    case session_start::ok:
        break;
    case session_start::already_running:
        if (link) return hand_over(*link);
        if (request.draft) return hand_draft_to_running_instance(*request.draft) ? 0 : 1;
        ask_running_instance_to_raise();
        return 0;
    case session_start::system_error:
        return start_failed(str::system_error);
    case session_start::file_error:
        return start_failed(str::file_error);
    }

    window_ window(settings(), layout);
    raise_listener listener([&window] { window.raise_to_front(); },
                            [&window](const std::string& uri) { open_mailto_when_free(window, uri); },
                            [&window](const std::string& draft) { send_draft_when_free(window, draft); });
    ending_signals signals_;
    QObject::connect(&signals_, &ending_signals::ending, &window, &window_::end_session);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager& manager) {
        const bool may_interact = manager.allowsInteraction();
        const bool agreed = window.agree_to_end_session(may_interact);
        if (may_interact) manager.release();
        if (!agreed) manager.cancel();
    });
    window.show();
    window.start();
    if (link) open_mailto_when_free(window, *link);
    if (request.draft) send_draft_when_free(window, *request.draft);
    const int code = QApplication::exec();
    session.end();
    return code;
}

}  // namespace qm
