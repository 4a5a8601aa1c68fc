#pragma once

// What the option dialogs' tests share: a fresh data directory with its
// "quillmere.ini", the settings loaded from it, and the name dialogs the
// list buttons open.

#include <string>

#include "config/settings.h"
#include "entry_dialog_test.h"
#include "ui/dialog_name.h"

namespace qm::test {

class option_dialog_test : public ::testing::Test {
protected:
    option_dialog_test() {
        set_context({dir.cp(), dir.cp(), dir.cp("work/"), dir.cp()});
        EXPECT_TRUE(write_default_settings());
        reload();
    }
    ~option_dialog_test() override { set_context(saved_); }

    void reload() {
        load_view_settings(settings);
        load_function_settings(settings);
    }
    std::string ini() const { return read_bytes(dir / "quillmere.ini"); }
    // The lines of one section of "quillmere.ini", with line feeds.
    std::string section(const std::string& name) const {
        const std::string text = ini();
        const std::size_t start = text.find("[" + name + "]\r\n");
        if (start == std::string::npos) return {};
        const std::size_t body = text.find('\n', start) + 1;
        std::string lines = text.substr(body, text.find("\r\n[", body) + 2 - body);
        std::erase(lines, '\r');
        return lines;
    }
    // "quillmere.ini" cannot be rewritten: its companion's name is taken by
    // a directory, which stops root as well.
    void block_settings_file() const { write_bytes(dir / "quillmere.$$$/x", ""); }

    // Presses `opener` and hands the name dialog it opens to `use`.
    static void with_name_dialog(const std::function<void()>& opener, const std::function<void(dialog_name&)>& use) {
        with_modal<dialog_name>(opener, use);
    }
    static void enter_name(dialog_name& ask, const char* text) {
        ask.field()->clear();
        QTest::keyClicks(ask.field(), QString::fromUtf8(text));
        QTest::keyClick(ask.field(), Qt::Key_Return);
    }

    temp_dir dir;
    Settings settings;
    recording_reporter report;

private:
    program_context saved_ = context();
};

}  // namespace qm::test
