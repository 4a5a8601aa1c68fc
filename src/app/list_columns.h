#pragma once

#include <QObject>

#include "config/layout.h"

namespace qm {

class listview_mail;

// The widths of the mail list's columns: the user's own where the layout
// keeps one, else what the list's font needs to show the column whole. The
// subject column without a width of the user's takes the room the others
// leave, as the window grows and shrinks. A column the user widens keeps its
// width from then on, across folders and runs.
class list_columns : public QObject {
public:
    list_columns(listview_mail* list, Layout& layout);

    // After the font or the set of columns changed.
    void apply();

private:
    void fit_subject();

    listview_mail* list_;
    Layout& layout_;
    bool applying_ = false;
};

}  // namespace qm
