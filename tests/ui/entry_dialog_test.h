#pragma once

// What the dialog tests share: a data directory, typing, the modal dialog an
// entry point opens, reading a list, a look at the dialog, and the stores'
// fixtures and stand-in programs they build on.

#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/typing.h"
#include "platform/file_operations.h"
#include "platform/program_context.h"
#include "store/store_fixture.h"
#include "support/recording_program.h"
#include "support/test_support.h"

namespace qm::test {

// A fresh directory that is the program's data directory while the test runs.
class data_directory_test : public ::testing::Test {
protected:
    data_directory_test() { set_context({dir.cp(), dir.cp(), dir.cp(), dir.cp()}); }

    const saved_context saved;
    temp_dir dir;
    recording_reporter report;
};

// The program runs from `directory` (UTF-8, ending with "/") until the test ends.
inline void run_from(const std::string& directory) {
    program_context moved = context();
    moved.executable_directory = sj(directory);
    set_context(moved);
}

inline QString ui(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }

inline void press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// The rows of a list, each with its columns joined by `between`.
inline std::vector<std::string> tree_rows(const QTreeWidget* list, const QString& between) {
    std::vector<std::string> rows;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QStringList columns;
        for (int column = 0; column < list->columnCount(); ++column) columns << list->topLevelItem(row)->text(column);
        rows.push_back(columns.join(between).toStdString());
    }
    return rows;
}
inline void select_row(QTreeWidget* list, int row) { list->setCurrentItem(list->topLevelItem(row)); }

// Runs `use` on the modal dialog D that `opener` opens; one left open is cancelled.
template <class D>
void with_modal(const std::function<void()>& opener, const std::function<void(D&)>& use) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<D*>(modal)) {
            seen = true;
            use(*dialog);
        }
        if (modal && modal->isVisible()) qobject_cast<QDialog*>(modal)->reject();
    });
    opener();
    EXPECT_TRUE(seen);
}

// Runs `action`; any modal dialog it opens is closed at once and counted.
inline int modal_dialogs_opened_by(const std::function<void()>& action) {
    int opened = 0;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++opened;
            modal->close();
        }
    });
    action();
    QApplication::processEvents();
    return opened;
}

// Shows the dialog: its title (the name a screen reader and the end-to-end
// tests find it by) and a name for every field a screen reader meets.
inline void look_at(QDialog& dialog, const std::string& title) {
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), ui(title));
    for (QWidget* field : dialog.findChildren<QWidget*>()) {
        const bool part_of_spin_box = qobject_cast<QAbstractSpinBox*>(field->parentWidget());
        if (field->isVisible() && !part_of_spin_box &&
            (qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field) || qobject_cast<QTreeWidget*>(field))) {
            EXPECT_FALSE(field->accessibleName().isEmpty()) << title << ": " << field->metaObject()->className();
        }
    }
}

}  // namespace qm::test
