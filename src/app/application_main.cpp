#include "app/application_main.h"

#include <QApplication>
#include <clocale>

#include "app/ending_signals.h"
#include "app/icons.h"
#include "app/running_instance.h"
#include "app/window_.h"
#include "config/layout.h"
#include "config/settings.h"
#include "platform/program_context.h"
#include "platform/string_table.h"
#include "store/program_session.h"
#include "ui/japanese_translations.h"
#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace qm {

namespace {

int start_failed(int text_id) {
    show_message(nullptr, message_kind::error, load_string(text_id));
    return 0;
}

}  // namespace

int application_main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt takes the user's locale; the core's numbers stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("quillmere"));
    QApplication::setDesktopFileName(QStringLiteral("quillmere"));
    QApplication::setWindowIcon(main_icon());
    load_japanese_translations(app);

    if (init_context() != context_result::ok) return start_failed(str::file_error);
    Layout layout;
    program_session session(program_session::owner::window);
    switch (session.start(settings(), layout)) {
    case session_start::ok:
        break;
    case session_start::already_running:
        ask_running_instance_to_raise();
        return 0;
    case session_start::system_error:
        return start_failed(str::system_error);
    case session_start::file_error:
        return start_failed(str::file_error);
    }

    window_ window(settings(), layout);
    raise_listener listener([&window] { window.raise_to_front(); });
    ending_signals signals_;
    QObject::connect(&signals_, &ending_signals::ending, &window, &window_::end_session);
    window.show();
    window.start();
    const int code = QApplication::exec();
    session.end();
    return code;
}

}  // namespace qm
