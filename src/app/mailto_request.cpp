#include "app/mailto_request.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "app/window_.h"
#include "platform/string_table.h"
#include "ui/dialog_make_mail.h"
#include "text/display_text.h"
#include "ui/message_box.h"

namespace qm {

namespace {

constexpr int modal_poll_ms = 200;

// What the dialog cannot hold, said before it opens.
std::string notes_on(const mailto_link& link) {
    std::string notes;
    if (const std::vector<std::string> left_out = left_out_recipients(link); !left_out.empty()) {
        notes = load_string(str::mailto_left_out);
        for (const std::string& address : left_out) notes += "\n" + address;
    }
    if (link.replaced) {
        if (!notes.empty()) notes += "\n\n";
        notes += load_string(str::mailto_replaced);
    }
    return notes;
}

void open_mailto(window_& window, const std::string& uri) {
    mailto_link link;
    if (const mailto_result result = parse_mailto(uri, link); result != mailto_result::ok) {
        show_message(&window, message_kind::error, load_string(mailto_refusal_text(result)));
        return;
    }
    if (const std::string notes = notes_on(link); !notes.empty())
        show_message(&window, message_kind::notice, notes);
    window.compose_new_mail(new_mail_start{first_recipient(link), link.subject, link.body});
}

// Runs `act` on the window once no modal dialog of the program is open.
void when_free(QPointer<window_> window, std::function<void(window_&)> act, int delay_ms) {
    QTimer::singleShot(delay_ms, window.data(), [window, act = std::move(act)]() mutable {
        if (!window) return;
        if (QApplication::activeModalWidget()) {
            when_free(window, std::move(act), modal_poll_ms);
            return;
        }
        act(*window);
    });
}

}  // namespace

int mailto_refusal_text(mailto_result result) {
    switch (result) {
    case mailto_result::bad_escape:
        return str::mailto_bad_escape;
    case mailto_result::bad_utf8:
        return str::mailto_bad_text;
    case mailto_result::bad_address:
        return str::mailto_bad_address;
    case mailto_result::ok:
    case mailto_result::not_mailto:
        break;
    }
    return str::mailto_not_link;
}

void open_mailto_when_free(window_& window, std::string uri) {
    window.raise_to_front();
    when_free(QPointer<window_>(&window), [uri = std::move(uri)](window_& shown) { open_mailto(shown, uri); }, 0);
}

void send_draft_when_free(window_& window, std::string directory) {
    window.raise_to_front();
    when_free(QPointer<window_>(&window), [directory = std::move(directory)](window_& shown) {
        shown.send_draft(typed_to_cp932(directory).text);
    }, 0);
}

}  // namespace qm
