#pragma once

// What the option dialogs' tests share: a fresh data directory with its
// "quillmere.ini" and the settings loaded from it.

#include <string>

#include "config/settings.h"
#include "entry_dialog_test.h"

namespace qm::test {

class option_dialog_test : public data_directory_test {
protected:
    option_dialog_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(write_default_settings());
        load_view_settings(settings);
        load_function_settings(settings);
    }

    std::string ini() const { return read_bytes(dir / "quillmere.ini"); }
    // Whether "quillmere.ini" holds `lines` (UTF-8 with "\n", in CP932 with CR LF there).
    bool holds(const std::string& lines) const { return ini().find(crlf(sj(lines))) != std::string::npos; }
    // "quillmere.ini" cannot be rewritten: its companion's name is taken by
    // a directory, which stops root as well.
    void block_settings_file() const { write_bytes(dir / "quillmere.$$$/x", ""); }

    Settings settings;
};

}  // namespace qm::test
